; Kestrane installer. Built by installer/CMakeLists.txt, which passes:
;   VERSION, VERSION_MAJOR, VERSION_MINOR, VERSION_PATCH  from project(VERSION)
;   VERSION_H    the generated version.h (product name, publisher, home page)
;   FILTER_H     filters/wic/wic_filter.h (our filter's registry names)
;   OUTFILE      the setup program to write
;   GUI_EXE, CLI_EXE, FILTER_DLL, GUIDE_TXT  the files to install
;   ICON         optional: the program's icon, also used for the installer
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION | VERSION_H | FILTER_H | OUTFILE | GUI_EXE | CLI_EXE | FILTER_DLL | GUIDE_TXT
  !error "Build this script through CMake (target installer)."
!endif

; The names the code uses come from the same header, so they cannot drift.
!searchparse /file "${VERSION_H}" '#define KESTRANE_PRODUCT_NAME "' PRODUCT '"'
!searchparse /file "${VERSION_H}" '#define KESTRANE_PUBLISHER "' PUBLISHER '"'
!searchparse /file "${VERSION_H}" '#define KESTRANE_HOME_PAGE "' HOME_PAGE '"'
!searchparse /file "${VERSION_H}" '#define KESTRANE_VERSION_STRING "' HEADER_VERSION '"'
!searchparse /file "${FILTER_H}" '#define WIC_FILTER_KEY_NAME "' FILTER_KEY_NAME '"'
!searchparse /file "${FILTER_H}" '#define WIC_FILTER_VALUE_LEFT "' FILTER_VALUE_LEFT '"'
!if "${HEADER_VERSION}" != "${VERSION}"
  !error "version.h says ${HEADER_VERSION}, CMake says ${VERSION}: reconfigure the build."
!endif

!define GUI_NAME "kestrane.exe"
!define CLI_NAME "kestrane-cli.exe"
!define FILTER_NAME "kestrane-import.flt"
!define GUIDE_NAME "user-guide.txt"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define FILTER_PARENT "Software\Microsoft\Shared Tools\Graphics Filters"
!define FILTER_ROOT "${FILTER_PARENT}\Import"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinVer.nsh"

!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
; The installer runs elevated: what its Finish page starts would be too, with
; every filter Kestrane loads. Explorer starts them as the logged-on user.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
!define MUI_FINISHPAGE_SHOWREADME
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION ShowGuideAsUser
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function StartAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${GUI_NAME}"'
FunctionEnd

Function ShowGuideAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${GUIDE_NAME}"'
FunctionEnd

; The registered filter is loaded by every program on the machine that reads
; images through graphics filters: its folder must be writable by
; administrators only, wherever it is (a folder such as C:\Kestrane inherits
; "Authenticated Users: Modify" from C:\). Administrators and SYSTEM full,
; Users read and run, nothing inherited, no broad group's own entries left.
Function ProtectInstallFolder
  ; A folder that was there before, and not ours, may be anything (Program
  ; Files itself): its permissions are not ours to change. The filter then
  ; registers only if that folder is protected already.
  ${If} ${FileExists} "$INSTDIR\*.*"
  ${AndIfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    DetailPrint "$INSTDIR was there before: its permissions stay as they are."
    Return
  ${EndIf}
  CreateDirectory "$INSTDIR"
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /remove:g *S-1-1-0 *S-1-5-11 *S-1-5-4 *S-1-5-32-546 *S-1-5-7 *S-1-5-32-545'
  Pop $0
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
  Pop $0
  ${If} $0 != 0
    ; The filter then refuses to register, and says so below.
    DetailPrint "Could not protect $INSTDIR (icacls: $0)."
  ${EndIf}
FunctionEnd

; The program is 32-bit and reads the 32-bit registry view; keep our own
; entries there too, whatever Windows runs the installer.
Function .onInit
  ; The programs are built for Windows 7 and later (and the filter needs its
  ; imaging component).
  ${IfNot} ${AtLeastWin7}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs Windows 7 or later." /SD IDOK
    SetErrorLevel 1
    Quit
  ${EndIf}
  SetRegView 32
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 32
  SetShellVarContext all
FunctionEnd

Section "Kestrane" SecMain
  SectionIn RO

  ; Remember whether the filter keys exist before our filter creates them, so
  ; that uninstalling can remove them again when nobody else has used them.
  ClearErrors
  EnumRegKey $0 HKLM "${FILTER_PARENT}" 0
  ${If} ${Errors}
    StrCpy $R9 "${FILTER_PARENT}"
  ${Else}
    ClearErrors
    EnumRegKey $0 HKLM "${FILTER_ROOT}" 0
    ${If} ${Errors}
      StrCpy $R9 "${FILTER_ROOT}"
    ${Else}
      StrCpy $R9 ""
    ${EndIf}
  ${EndIf}

  Call ProtectInstallFolder
  SetOutPath "$INSTDIR"
  File "/oname=${GUI_NAME}" "${GUI_EXE}"
  File "/oname=${CLI_NAME}" "${CLI_EXE}"
  File "/oname=${FILTER_NAME}" "${FILTER_DLL}"
  File "/oname=${GUIDE_NAME}" "${GUIDE_TXT}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; DllRegisterServer, exactly what "regsvr32 kestrane-import.flt" runs.
  ClearErrors
  RegDLL "$INSTDIR\${FILTER_NAME}"
  ${If} ${Errors}
    DetailPrint "Could not register the image import filter."
    MessageBox MB_ICONEXCLAMATION|MB_OK "The image import filter could not be registered.$\r$\n\
      Kestrane cannot read images without it. Run, as administrator:$\r$\n\
      regsvr32 $\"$INSTDIR\${FILTER_NAME}$\"" /SD IDOK
    SetErrorLevel 2
  ${Else}
    ; The filter leaves to filters already installed the types they read,
    ; and records which it left to whom.
    ReadRegStr $0 HKLM "${FILTER_ROOT}\${FILTER_KEY_NAME}" "Extensions"
    ReadRegStr $1 HKLM "${FILTER_ROOT}\${FILTER_KEY_NAME}" "${FILTER_VALUE_LEFT}"
    ${If} $0 == ""
      StrCpy $0 "none"
    ${EndIf}
    DetailPrint "Image import filter registered for: $0"
    ${If} $1 != ""
      DetailPrint "Left to other makers' filters: $1"
    ${EndIf}
  ${EndIf}

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\${PRODUCT}.lnk" "$INSTDIR\${GUI_NAME}"
  CreateShortcut "${MENU_FOLDER}\${PRODUCT} User Guide.lnk" "$INSTDIR\${GUIDE_NAME}"
  ; Explorer appends the selected paths to the command. Send To has no
  ; all-users folder: $SENDTO is the installing user's even in the "all"
  ; context, so the uninstaller deletes the path recorded here.
  CreateShortcut "$SENDTO\${PRODUCT}.lnk" "$INSTDIR\${GUI_NAME}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOME_PAGE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${GUI_NAME},0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "SendToShortcut" "$SENDTO\${PRODUCT}.lnk"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
  ; Keep an earlier install's record when reinstalling over it.
  ${If} $R9 != ""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "CreatedFilterKey" "$R9"
  ${EndIf}
SectionEnd

; Deletes every filter subkey whose library is the one in $INSTDIR: a fallback
; for a DllUnregisterServer that failed, never touching other makers' filters.
Function un.RemoveOurFilterKeys
  StrCpy $0 0
  ${Do}
    ClearErrors
    EnumRegKey $1 HKLM "${FILTER_ROOT}" $0
    ${If} ${Errors}
    ${OrIf} $1 == ""
      ${ExitDo}
    ${EndIf}
    ReadRegStr $2 HKLM "${FILTER_ROOT}\$1" "Path"
    ${If} $2 == "$INSTDIR\${FILTER_NAME}"
      DeleteRegKey HKLM "${FILTER_ROOT}\$1"
      ; the next subkey now has this index
    ${Else}
      IntOp $0 $0 + 1
    ${EndIf}
  ${Loop}
FunctionEnd

Section "Uninstall"
  ; The library must still be there to unregister itself.
  ${If} ${FileExists} "$INSTDIR\${FILTER_NAME}"
    ClearErrors
    UnRegDLL "$INSTDIR\${FILTER_NAME}"
    ${If} ${Errors}
      DetailPrint "The image import filter did not unregister itself; removing its key."
    ${EndIf}
  ${EndIf}
  Call un.RemoveOurFilterKeys

  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "CreatedFilterKey"
  ${If} $0 != ""
    DeleteRegKey /ifempty HKLM "${FILTER_ROOT}"
    ${If} $0 == "${FILTER_PARENT}"
      DeleteRegKey /ifempty HKLM "${FILTER_PARENT}"
    ${EndIf}
  ${EndIf}

  Delete "${MENU_FOLDER}\${PRODUCT}.lnk"
  Delete "${MENU_FOLDER}\${PRODUCT} User Guide.lnk"
  RMDir "${MENU_FOLDER}"
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "SendToShortcut"
  ${If} $0 != ""
    Delete "$0"
  ${EndIf}

  Delete "$INSTDIR\${GUI_NAME}"
  Delete "$INSTDIR\${CLI_NAME}"
  Delete "$INSTDIR\${FILTER_NAME}"
  Delete "$INSTDIR\${GUIDE_NAME}"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Not /r: whatever the user saved in the folder stays, and so does the folder.
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

// Reads the graphics import filter registrations; never writes the registry.
#include "import/filter_lookup.h"

#include "core/program_path.h"
#include "import/filter_api.h"

namespace {

constexpr DWORD kNameBufferSize = 260;  // an "Extensions" list and its terminator
constexpr int kCompareBufferSize = 256;

// Copies text into a compare buffer, lower-cased; false when it does not fit.
bool CopyLowered(char (&buffer)[kCompareBufferSize], const char *text)
{
    int length = lstrlenA(text);
    if (length >= kCompareBufferSize)
        return false;
    lstrcpynA(buffer, text, kCompareBufferSize);
    // CharLowerA, as the lookup always lowered: our filter's registration
    // shares this rule and so imports user32, which every program that loads
    // a filter or registers one (regsvr32 too) has loaded already.
    CharLowerA(buffer);
    return true;
}

// A REG_SZ value read whole into buffer and terminated; false for any other
// type, for a value that does not fit, or when it cannot be read.
bool ReadStringValue(HKEY key, const char *name, char *buffer, DWORD *size)
{
    DWORD capacity = *size;
    DWORD type = 0;
    if (capacity == 0 ||
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), size) != ERROR_SUCCESS)
        return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || *size > capacity)
        return false;
    // A stored string need not carry its terminator.
    if (*size == capacity && buffer[capacity - 1] != '\0')
        return false;
    buffer[*size < capacity ? *size : capacity - 1] = '\0';
    return true;
}

// The library's path, exactly in the program's code page, in MAX_PATH
// bytes: the ANSI read would put a look-alike in place of a character the
// code page lacks, naming another file. The path as written, not expanded.
bool ReadPathValue(HKEY key, char *path, DWORD *size)
{
    wchar_t wide[MAX_PATH + 1];
    DWORD bytes = MAX_PATH * sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, L"" FILTER_VALUE_PATH, nullptr, &type, reinterpret_cast<BYTE *>(wide),
                         &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    wide[bytes / sizeof(wchar_t)] = L'\0';  // a stored string need not carry its terminator
    if (ToProgramPath(wide, path, MAX_PATH) != PATH_CONVERTED)
        return false;
    *size = DWORD(lstrlenA(path) + 1);
    return true;
}

// Every process that uses graphics filters loads the library: a Path
// relative to the current folder names another file in each of them, and
// one on a network share is a file the machine does not hold.
bool NamesLocalFile(const char *path)
{
    const char letter = char(path[0] | 0x20);
    if (letter < 'a' || letter > 'z' || path[1] != ':' || (path[2] != '\\' && path[2] != '/'))
        return false;  // relative, drive-relative ("C:x"), or a \\server or \\?\ path
    const char root[] = {path[0], ':', '\\', '\0'};
    const UINT type = GetDriveTypeA(root);
    return type != DRIVE_REMOTE && type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
}

}  // namespace

const char *FindTextNoCase(const char *text, const char *pattern)
{
    char loweredText[kCompareBufferSize], loweredPattern[kCompareBufferSize];
    if (!text || !pattern || !CopyLowered(loweredText, text) || !CopyLowered(loweredPattern, pattern))
        return nullptr;
    int textLength = lstrlenA(loweredText), patternLength = lstrlenA(loweredPattern);
    for (int start = 0; start + patternLength <= textLength; start++) {
        int i = 0;
        while (i < patternLength && loweredText[start + i] == loweredPattern[i])
            i++;
        if (i == patternLength)
            return text + start;
    }
    return nullptr;
}

int ExtensionListContains(const char *list, const char *extension)
{
    int extensionLength = extension ? lstrlenA(extension) : 0;
    // An empty extension would be found everywhere without ever moving on.
    if (!list || extensionLength == 0)
        return 0;
    // The list may be longer than the compare buffers: search it one entry at
    // a time. Entries are whole, so this finds whole-entry matches as well as
    // the endings ("png" in "apng") that a search of the whole string would.
    const char *entry = list;
    for (;;) {
        const char *end = entry;
        while (*end && *end != ',' && *end != '\t')
            end++;
        int entryLength = int(end - entry);
        if (entryLength >= extensionLength && entryLength < kCompareBufferSize) {
            char piece[kCompareBufferSize];
            lstrcpynA(piece, entry, entryLength + 1);
            const char *found = FindTextNoCase(piece, extension);
            while (found) {
                if (found[extensionLength] == '\0')
                    return 1;
                found = FindTextNoCase(found + extensionLength, extension);
            }
        }
        if (*end == '\0')
            return 0;
        entry = end + 1;
    }
}

int FindFilterServing(const char *extension, const char *passOver, char *filterName, char *libraryPath,
                      DWORD *libraryPathSize)
{
    if (!extension)
        return 0;
    HKEY root;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FILTER_ROOT_KEY, 0, KEY_READ, &root) != ERROR_SUCCESS)
        return 0;
    int found = 0;
    char name[kFilterNameCapacity], list[kNameBufferSize];
    for (DWORD index = 0; !found; index++) {
        DWORD size = sizeof name;
        const LONG listed = RegEnumKeyExA(root, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (listed == ERROR_MORE_DATA)
            continue;  // a name this buffer cannot hold (in a multibyte code page): the filters after it may serve
        if (listed != ERROR_SUCCESS)
            break;
        HKEY filter;
        if ((passOver && lstrcmpiA(name, passOver) == 0) ||
            RegOpenKeyExA(root, name, 0, KEY_READ, &filter) != ERROR_SUCCESS)
            continue;
        size = sizeof list;
        char path[MAX_PATH];
        DWORD pathSize = 0;
        // A filter whose library is gone, or is not a local file named in
        // full, cannot serve: the next one that lists the extension may. The
        // Path is checked as it will be loaded.
        if (ReadStringValue(filter, FILTER_VALUE_EXTENSIONS, list, &size) &&
            ExtensionListContains(list, extension) && ReadPathValue(filter, path, &pathSize) &&
            NamesLocalFile(path)) {
            DWORD attributes = GetFileAttributesA(path);
            found = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
        RegCloseKey(filter);
        if (!found)
            continue;
        if (filterName)
            lstrcpynA(filterName, name, int(kFilterNameCapacity));
        // On failure the caller's buffer must stay as it was.
        if (libraryPath && libraryPathSize && DWORD(lstrlenA(path)) < *libraryPathSize) {
            lstrcpynA(libraryPath, path, int(*libraryPathSize));
            *libraryPathSize = pathSize;
        }
    }
    RegCloseKey(root);
    return found;
}

int FindImportFilter(char *libraryPath, DWORD *libraryPathSize, const char *extension)
{
    return FindFilterServing(extension, nullptr, nullptr, libraryPath, libraryPathSize);
}

#include "cli/sources.h"

#include <windows.h>

#include <cstring>

#include "cli/cli_texts.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/program_path.h"
#include "core/source_list.h"
#include "core/status.h"

namespace {

// Length of the directory part of a path: up to and with its last separator.
template <typename Char> size_t DirectoryLength(const Char *path)
{
    size_t length = 0;
    for (size_t i = 0; path[i]; i++)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':')
            length = i + 1;
    return length;
}

// Only the file name is a pattern: "fr*mes\a.png" names one file.
bool IsPattern(const char *path)
{
    return std::strpbrk(path + DirectoryLength(path), "*?") != nullptr;
}

// From the program's code page (UTF-8 under its manifest); false when it does not fit.
bool ToWide(const char *text, wchar_t *wide, int capacity)
{
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, capacity) > 0;
}

bool SameCharacter(wchar_t a, wchar_t b)
{
    return CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// The file system matches a pattern against short 8.3 names too, so that
// *.png would take in "frame.png_old" (FRAME~1.PNG): each long name is
// matched again. '*' is any run of characters, '?' exactly one.
bool NameMatches(const wchar_t *name, const wchar_t *pattern)
{
    const wchar_t *afterStar = nullptr, *starName = nullptr;
    while (*name) {
        if (*pattern == L'*') {
            afterStar = ++pattern;
            starName = name;
        } else if (*pattern && (*pattern == L'?' || SameCharacter(*pattern, *name))) {
            pattern++;
            name++;
        } else if (afterStar) {
            pattern = afterStar;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == L'*')
        pattern++;
    return *pattern == L'\0';
}

// Where the dialog's sorted list box would put a row named `name` among the
// rows first … count − 1: its comparison and its binary search, so that an
// equal name goes before its twin.
int SortedPosition(const wchar_t *name, int first)
{
    int low = first, high = g_sourceList->count - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        const char *path = SourceListGet(g_sourceList, middle);
        wchar_t rowName[MAX_PATH];
        if (!ToWide(path + DirectoryLength(path), rowName, MAX_PATH))
            rowName[0] = L'\0';  // not reached: every entry was made from a wide name
        int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, rowName, -1, name, -1);
        if (order == CSTR_EQUAL)
            return middle;
        if (order == CSTR_GREATER_THAN)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return low;
}

bool AddImage(const char *path, int index, const char *outputFullPath)
{
    char fullPath[MAX_PATH];
    if (!FullPath(path, fullPath)) {
        PrintStatus(MSG_CANT_READ_IMAGE, path);
        return false;
    }
    if (outputFullPath[0] && lstrcmpiA(fullPath, outputFullPath) == 0) {
        PrintStatus(CLI_OUTPUT_IS_INPUT, path);
        return false;
    }
    char *copy = CopyPath(fullPath);
    if (!copy || !SourceListInsert(g_sourceList, index, copy)) {
        CoreFree(copy);
        PrintStatus(MSG_MEMORY_ERROR);
        return false;
    }
    return true;
}

bool AddMatch(const char *pattern, const wchar_t *name, int first, const char *outputFullPath)
{
    // Room for the longest directory and name in UTF-8, so that a path too
    // long for the filters is reported whole, then refused.
    char path[8 * MAX_PATH];
    size_t directoryLength = DirectoryLength(pattern);
    std::memcpy(path, pattern, directoryLength);
    // A look-alike in place of a character the code page lacks would add
    // another file: such a name is refused, as such an argument is.
    char *name8 = path + directoryLength;
    const size_t room = sizeof path - directoryLength;
    ProgramPathResult result = ToProgramPath(name, name8, room);
    if (result == PATH_UNUSABLE) {
        ShowWideText(name, name8, room);
        PrintStatus(MSG_PATH_UNUSABLE, path);
    } else if (result == PATH_TOO_LONG) {
        PrintStatus(MSG_CANT_READ_IMAGE, pattern);
    }
    if (result != PATH_CONVERTED)
        return false;
    return AddImage(path, SortedPosition(name, first), outputFullPath);
}

bool AddPatternMatches(const char *pattern, const char *outputFullPath)
{
    wchar_t widePattern[MAX_PATH];
    if (!ToWide(pattern, widePattern, MAX_PATH)) {
        PrintStatus(MSG_CANT_READ_IMAGE, pattern);
        return false;
    }
    const wchar_t *namePattern = widePattern + DirectoryLength(widePattern);
    int first = g_sourceList->count;
    bool ok = true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(widePattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                NameMatches(found.cFileName, namePattern))
                ok = AddMatch(pattern, found.cFileName, first, outputFullPath);
        } while (ok && FindNextFileW(search, &found));
        FindClose(search);
    }
    if (ok && g_sourceList->count == first) {
        PrintStatus(CLI_NO_MATCH, pattern);
        return false;
    }
    return ok;
}

}  // namespace

bool FullPath(const char *path, char *fullPath)
{
    DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    return length > 0 && length < MAX_PATH;
}

bool AddImageArguments(char **images, int count, const char *outputFullPath)
{
    for (int i = 0; i < count; i++) {
        bool added = IsPattern(images[i]) ? AddPatternMatches(images[i], outputFullPath)
                                          : AddImage(images[i], g_sourceList->count, outputFullPath);
        if (!added)
            return false;
    }
    return true;
}

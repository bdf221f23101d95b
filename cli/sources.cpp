#include "cli/sources.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "cli/cli_texts.h"
#include "core/core_alloc.h"
#include "core/messages.h"
#include "core/natural_order.h"
#include "core/program_path.h"
#include "core/source_list.h"
#include "core/status.h"
#include "import/filter_lookup.h"

namespace {

constexpr int kListPathCapacity = 4 * MAX_PATH;  // room to report a long path whole
constexpr LONGLONG kMaxListBytes = 64 << 20;

bool g_natural;  // the order asked for by the call under way

// Entries first … count − 1 in natural order, when it was asked for.
void OrderAddedImages(int first)
{
    if (g_natural)
        SortNaturally(g_sourceList->items + first, g_sourceList->count - first);
}

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

// A file the window would take: one whose type has an import filter.
bool HasImageFilter(const wchar_t *name)
{
    const wchar_t *dot = std::wcsrchr(name, L'.');
    char extension[MAX_PATH];
    return dot && dot[1] && ToProgramPath(dot + 1, extension, sizeof extension) == PATH_CONVERTED &&
           FindImportFilter(nullptr, nullptr, extension);
}

bool AddImage(const char *path, int index, const char *outputFullPath)
{
    char fullPath[MAX_PATH];
    if (!FullPath(path, fullPath)) {
        PrintStatus(lstrlenA(path) > 0 ? MSG_PATH_TOO_LONG : MSG_CANT_READ_IMAGE, path);
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

// The files `pattern` matches (all image files of a folder for "DIR\\*"
// with imagesOnly), in name order; how many, or -1 after PrintStatus.
int AddMatchingFiles(const char *pattern, const char *outputFullPath, bool imagesOnly)
{
    wchar_t widePattern[MAX_PATH];
    if (!ToWide(pattern, widePattern, MAX_PATH)) {
        PrintStatus(MSG_CANT_READ_IMAGE, pattern);
        return -1;
    }
    const wchar_t *namePattern = widePattern + DirectoryLength(widePattern);
    int first = g_sourceList->count;
    bool ok = true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(widePattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                NameMatches(found.cFileName, namePattern) && (!imagesOnly || HasImageFilter(found.cFileName)))
                ok = AddMatch(pattern, found.cFileName, first, outputFullPath);
        } while (ok && FindNextFileW(search, &found));
        FindClose(search);
    }
    if (ok)
        OrderAddedImages(first);
    return ok ? g_sourceList->count - first : -1;
}

bool AddPatternMatches(const char *pattern, const char *outputFullPath)
{
    int added = AddMatchingFiles(pattern, outputFullPath, false);
    if (added == 0)
        PrintStatus(CLI_NO_MATCH, pattern);
    return added > 0;
}

bool AddArgument(const char *argument, const char *outputFullPath)
{
    return IsPattern(argument) ? AddPatternMatches(argument, outputFullPath)
                               : AddImage(argument, g_sourceList->count, outputFullPath);
}

// One line of a list: a path, relative to the list's folder unless it is
// a full one. False after PrintStatus.
bool AddListedPath(const wchar_t *folder, const wchar_t *line, const char *outputFullPath)
{
    bool full = line[0] == L'\\' || line[0] == L'/' || (line[0] && line[1] == L':');
    static wchar_t wide[kListPathCapacity];
    static char path[kListPathCapacity];
    wide[0] = L'\0';
    if (!full)
        lstrcpynW(wide, folder, kListPathCapacity);
    size_t length = size_t(lstrlenW(wide));
    if (length + size_t(lstrlenW(line)) >= kListPathCapacity) {
        ShowWideText(line, path, sizeof path);
        PrintStatus(MSG_PATH_TOO_LONG, path);
        return false;
    }
    lstrcpyW(wide + length, line);
    ProgramPathResult result = ToProgramPath(wide, path, sizeof path);
    if (result != PATH_CONVERTED) {
        ShowWideText(wide, path, sizeof path);
        PrintStatus(result == PATH_TOO_LONG ? MSG_PATH_TOO_LONG : MSG_PATH_UNUSABLE, path);
        return false;
    }
    return AddArgument(path, outputFullPath);
}

// The whole list file in a block of its own, with a terminating zero.
char *ReadListFile(const char *listPath, DWORD *size)
{
    HANDLE file = CreateFileA(listPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    LARGE_INTEGER fileSize = {};
    char *text = nullptr;
    if (GetFileSizeEx(file, &fileSize) && fileSize.QuadPart < kMaxListBytes)
        text = static_cast<char *>(CoreAlloc(size_t(fileSize.QuadPart) + 1));
    *size = 0;
    if (text &&
        (!ReadFile(file, text, DWORD(fileSize.QuadPart), size, nullptr) || *size != fileSize.QuadPart)) {
        CoreFree(text);
        text = nullptr;
    }
    CloseHandle(file);
    if (text)
        text[*size] = '\0';
    return text;
}

// @FILE: UTF-8 with or without its byte-order mark, one path a line, LF or
// CRLF; blank lines and lines starting with # are skipped.
bool AddListedImages(const char *listPath, const char *outputFullPath)
{
    DWORD size = 0;
    char *text = ReadListFile(listPath, &size);
    static wchar_t folder[kListPathCapacity], line[kListPathCapacity];
    wchar_t *namePart = nullptr;
    if (!text || !ToWide(listPath, line, kListPathCapacity) ||
        !GetFullPathNameW(line, kListPathCapacity, folder, &namePart) || !namePart) {
        CoreFree(text);
        PrintStatus(CLI_CANT_READ_LIST, listPath);
        return false;
    }
    // A zero byte would end the list early without a word: such a file is no text list.
    if (std::memchr(text, '\0', size)) {
        CoreFree(text);
        PrintStatus(CLI_LIST_NOT_TEXT, listPath);
        return false;
    }
    *namePart = L'\0';
    int first = g_sourceList->count;
    bool ok = true;
    char *next = text + (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0);
    while (ok && *next) {
        char *start = next, *end = std::strchr(start, '\n');
        next = end ? end + 1 : start + std::strlen(start);
        if (!end)
            end = next;
        if (end > start && end[-1] == '\r')
            end--;
        *end = '\0';
        if (start[strspn(start, " \t")] == '\0' || start[0] == '#')
            continue;
        if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, start, -1, line, kListPathCapacity)) {
            if (GetLastError() == ERROR_INSUFFICIENT_BUFFER)
                PrintStatus(MSG_PATH_TOO_LONG, start);
            else
                PrintStatus(CLI_LIST_BAD_LINE, listPath, start);
            ok = false;
        } else {
            ok = AddListedPath(folder, line, outputFullPath);
        }
    }
    CoreFree(text);
    if (ok && g_sourceList->count == first) {
        PrintStatus(CLI_LIST_EMPTY, listPath);
        return false;
    }
    if (ok)
        OrderAddedImages(first);
    return ok;
}

}  // namespace

bool FullPath(const char *path, char *fullPath)
{
    DWORD length = GetFullPathNameA(path, MAX_PATH, fullPath, nullptr);
    return length > 0 && length < MAX_PATH;
}

bool AddImageArguments(char **images, int count, const char *outputFullPath, bool natural)
{
    g_natural = natural;
    for (int i = 0; i < count; i++) {
        bool added = images[i][0] == '@' ? AddListedImages(images[i] + 1, outputFullPath)
                                         : AddArgument(images[i], outputFullPath);
        if (!added)
            return false;
    }
    return true;
}

int AddFolderImages(const char *folder, const char *outputFullPath, bool natural)
{
    g_natural = natural;
    char pattern[MAX_PATH];
    int length = lstrlenA(folder);
    if (length + 3 > MAX_PATH) {
        PrintStatus(MSG_PATH_TOO_LONG, folder);
        return -1;
    }
    lstrcpyA(pattern, folder);
    lstrcpyA(pattern + length, length > 0 && folder[length - 1] == '\\' ? "*" : "\\*");
    return AddMatchingFiles(pattern, outputFullPath, true);
}

#include "filters/wic/gif_colours.h"

namespace {

// A file read a few bytes at a time, as a GIF's blocks are laid out.
struct Reader {
    HANDLE file;
    bool Read(void *bytes, DWORD count)
    {
        DWORD read = 0;
        return ReadFile(file, bytes, count, &read, nullptr) && read == count;
    }
    bool Skip(LONG count)
    {
        LARGE_INTEGER distance = {};
        distance.QuadPart = count;
        return SetFilePointerEx(file, distance, nullptr, FILE_CURRENT) != FALSE;
    }
};

constexpr BYTE kColourTableFlag = 0x80;
constexpr BYTE kExtensionIntroducer = 0x21, kImageSeparator = 0x2C;

bool LacksColours(Reader *reader)
{
    BYTE screen[13];  // the signature and the logical screen descriptor
    if (!reader->Read(screen, sizeof screen) || screen[0] != 'G' || screen[1] != 'I' || screen[2] != 'F')
        return false;
    const bool global = screen[10] & kColourTableFlag;
    if (global)
        return false;
    for (;;) {
        BYTE introducer = 0;
        if (!reader->Read(&introducer, 1))
            return false;
        if (introducer == kImageSeparator) {
            BYTE descriptor[9];  // left, top, width, height, then the flags
            return reader->Read(descriptor, sizeof descriptor) && !(descriptor[8] & kColourTableFlag);
        }
        if (introducer != kExtensionIntroducer || !reader->Skip(1))
            return false;  // the trailer, or not a GIF as we know it
        for (BYTE size = 0;;) {  // the extension's sub-blocks, up to an empty one
            if (!reader->Read(&size, 1))
                return false;
            if (size == 0)
                break;
            if (!reader->Skip(size))
                return false;
        }
    }
}

}  // namespace

bool GifFirstFrameLacksColours(const wchar_t *path)
{
    Reader reader = {CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr)};
    if (reader.file == INVALID_HANDLE_VALUE)
        return false;
    const bool lacks = LacksColours(&reader);
    CloseHandle(reader.file);
    return lacks;
}

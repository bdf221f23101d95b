// Filter pictures to PackedDibs: playing a metafile into a 24-bit bitmap, and
// finding (and normalising) the bitmap an older filter's metafile carries.
#include "import/metafile.h"

#include <climits>
#include <cstdint>
#include <cstring>

namespace {

// Images larger than this are refused before anything is allocated: the block
// size must stay well inside what LocalAlloc and the job's arithmetic take.
constexpr uint64_t kMaxImageBytes = 0x7FFFFFFFu - kDibHeaderSize;

// Owns the desktop's DC, a memory DC compatible with it and a 24-bit
// bottom-up DIB section of the given size.
class BitmapCanvas {
  public:
    BitmapCanvas(int width, int height)
    {
        header_.biSize = sizeof header_;
        header_.biWidth = width;
        header_.biHeight = height;
        header_.biPlanes = 1;
        header_.biBitCount = 24;
        header_.biCompression = BI_RGB;
        header_.biSizeImage = DibStride(uint32_t(width), 24) * uint32_t(height);
        desktop_ = GetDesktopWindow();
        screen_ = GetDC(desktop_);
        if (!screen_)
            return;
        memory_ = CreateCompatibleDC(screen_);
        BITMAPINFO info = {};
        info.bmiHeader = header_;
        section_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    }
    ~BitmapCanvas()
    {
        if (section_)
            DeleteObject(section_);
        if (memory_)
            DeleteDC(memory_);
        if (screen_)
            ReleaseDC(desktop_, screen_);
    }
    BitmapCanvas(const BitmapCanvas &) = delete;
    BitmapCanvas &operator=(const BitmapCanvas &) = delete;

    bool Ready() const { return memory_ && section_ && bits_; }
    HDC Screen() const { return screen_; }
    HDC Memory() const { return memory_; }
    HBITMAP Section() const { return section_; }

    // The section's pixels behind a copy of its header, in a new block.
    PackedDib Copy() const
    {
        GdiFlush();
        PackedDib dib = AllocPackedDib(kDibHeaderSize + header_.biSizeImage);
        if (dib) {
            std::memcpy(dib, &header_, kDibHeaderSize);
            std::memcpy(reinterpret_cast<BYTE *>(dib) + kDibHeaderSize, bits_, header_.biSizeImage);
        }
        return dib;
    }

  private:
    BITMAPINFOHEADER header_ = {};
    HWND desktop_ = nullptr;
    HDC screen_ = nullptr;
    HDC memory_ = nullptr;
    HBITMAP section_ = nullptr;
    void *bits_ = nullptr;
};

// True when a width × height 24-bit image fits the limits above.
bool Fits24BitImage(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX)
        return false;
    uint32_t stride = DibStride(uint32_t(width), 24);
    return stride != 0 && uint64_t(stride) * uint64_t(height) <= kMaxImageBytes;
}

uint32_t ReadU32(const BYTE *p)
{
    uint32_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

uint16_t ReadU16(const BYTE *p)
{
    uint16_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Where the packed bitmap starts in a record of this kind, or 0.
size_t BitmapOffset(uint16_t function)
{
    switch (function) {
    case 0x0940:  // META_DIBBITBLT
        return 22;
    case 0x0B41:  // META_DIBSTRETCHBLT
        return 26;
    case 0x0D33:  // META_SETDIBTODEV
        return 24;
    case 0x0F43:  // META_STRETCHDIB
        return 28;
    default:
        return 0;
    }
}

constexpr size_t kMetaHeaderBytes = 18;
constexpr size_t kRecordHeadBytes = 6;

}  // namespace

PackedDib RenderMetafile(HMETAFILE metafile, int left, int top, int right, int bottom)
{
    // Refusing empty and inverted boxes keeps every result bottom-up and at
    // least one pixel large.
    int64_t width = int64_t(right) - left, height = int64_t(bottom) - top;
    if (!metafile || !Fits24BitImage(width, height))
        return nullptr;
    BitmapCanvas canvas{int(width), int(height)};
    if (!canvas.Ready())
        return nullptr;
    HDC dc = canvas.Memory();
    HGDIOBJ previous = SelectObject(dc, canvas.Section());
    if (!previous)
        return nullptr;
    // One logical unit per pixel, the box's corner at the bitmap's origin.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, left, top, nullptr);
    SetWindowExtEx(dc, int(width), int(height), nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetViewportExtEx(dc, int(width), int(height), nullptr);
    BOOL played = PlayMetaFile(dc, metafile);
    SelectObject(dc, previous);
    return played ? canvas.Copy() : nullptr;
}

const BYTE *FindMetafileDib(const BYTE *metafileBytes, size_t size, size_t *available)
{
    if (available)
        *available = 0;
    if (!metafileBytes || size < kMetaHeaderBytes)
        return nullptr;
    // Sizes count 16-bit words; all arithmetic stays in 64 bits and below
    // `end`, so no size can wrap the position round the address space.
    uint64_t declared = 2 * uint64_t(ReadU32(metafileBytes + 6));
    uint64_t end = declared < size ? declared : size;
    uint64_t position = 2 * uint64_t(ReadU16(metafileBytes + 2));
    while (position < end && end - position >= kRecordHeadBytes) {
        const BYTE *record = metafileBytes + position;
        uint64_t length = 2 * uint64_t(ReadU32(record));
        // Too short to hold its own head (0 would never move on) or running
        // past the end: the rest cannot be walked.
        if (length < kRecordHeadBytes || length > end - position)
            return nullptr;
        size_t offset = BitmapOffset(ReadU16(record + 4));
        // The bitmap-less forms of the blit records (pattern fills) are too
        // short to hold a bitmap header; a later record may still carry one.
        if (offset && length >= offset + sizeof(BITMAPINFOHEADER)) {
            if (available)
                *available = size_t(length - offset);
            return record + offset;
        }
        position += length;
    }
    return nullptr;
}

PackedDib CopyDibAs24Bit(const BYTE *dib, size_t size)
{
    BITMAPINFOHEADER header;
    if (!dib || size < sizeof header)
        return nullptr;
    std::memcpy(&header, dib, sizeof header);
    if (header.biSize < sizeof header || header.biSize > size || header.biPlanes != 1)
        return nullptr;
    uint32_t bits = header.biBitCount;
    bool bitfields = header.biCompression == BI_BITFIELDS;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return nullptr;
    if (header.biCompression != BI_RGB && !(bitfields && (bits == 16 || bits == 32)))
        return nullptr;
    // The masks follow a plain 40-byte header; longer headers hold them.
    if (bitfields && header.biSize != sizeof header && header.biSize < sizeof header + 12)
        return nullptr;
    int64_t width = header.biWidth;
    // A negative height marks a top-down bitmap.
    int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    if (!Fits24BitImage(width, height))
        return nullptr;

    // Rebuild the BITMAPINFO in our own buffer with a plain header, so that
    // GDI reads nothing but what was checked to lie inside the record.
    struct {
        BITMAPINFOHEADER header;
        DWORD table[3 + 256];
    } info = {};
    info.header = header;
    info.header.biSize = sizeof header;
    uint64_t tableBytes = 0;  // what lies between the header and the bits
    uint32_t masks = bitfields ? 3 : 0;
    if (bitfields && header.biSize == sizeof header)
        tableBytes += 12;
    const BYTE *maskSource = header.biSize == sizeof header ? dib + header.biSize : dib + sizeof header;
    uint64_t colours = header.biClrUsed;
    if (bits <= 8) {
        if (colours == 0)
            colours = 1u << bits;
        if (colours > (1u << bits))
            return nullptr;
        info.header.biClrUsed = uint32_t(colours);
    } else {
        info.header.biClrUsed = 0;  // an optional palette for deeper images is skipped
    }
    tableBytes += 4 * colours;
    uint64_t sourceImage = uint64_t(DibStride(uint32_t(width), bits)) * uint64_t(height);
    if (uint64_t(header.biSize) + tableBytes + sourceImage > size)
        return nullptr;
    std::memcpy(info.table, maskSource, 4 * masks);
    if (bits <= 8)  // no masks then
        std::memcpy(info.table, dib + header.biSize, size_t(4 * colours));
    info.header.biSizeImage = uint32_t(sourceImage);
    const BYTE *sourceBits = dib + header.biSize + tableBytes;

    BitmapCanvas canvas{int(width), int(height)};
    if (!canvas.Ready())
        return nullptr;
    // SetDIBits does the depth, palette, mask and row-order conversion.
    if (SetDIBits(canvas.Screen(), canvas.Section(), 0, UINT(height), sourceBits,
                  reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS) != int(height))
        return nullptr;
    return canvas.Copy();
}

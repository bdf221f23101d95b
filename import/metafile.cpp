// A current filter's picture to a PackedDib: the metafile played into a
// 24-bit bitmap.
#include "import/metafile.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// Owns a memory DC and a 24-bit bottom-up DIB section of the given size.
// Neither needs the desktop window's DC, whose getting and releasing are
// Wine server requests for every image.
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
        memory_ = CreateCompatibleDC(nullptr);
        if (!memory_)
            return;
        BITMAPINFO info = {};
        info.bmiHeader = header_;
        section_ = CreateDIBSection(memory_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    }
    ~BitmapCanvas()
    {
        if (section_)
            DeleteObject(section_);
        if (memory_)
            DeleteDC(memory_);
    }
    BitmapCanvas(const BitmapCanvas &) = delete;
    BitmapCanvas &operator=(const BitmapCanvas &) = delete;

    bool Ready() const { return memory_ && section_ && bits_; }
    bool Fits(int width, int height) const { return header_.biWidth == width && header_.biHeight == height; }
    // Black again, as a new section is.
    void Clear()
    {
        GdiFlush();
        std::memset(bits_, 0, header_.biSizeImage);
    }
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
    HDC memory_ = nullptr;
    HBITMAP section_ = nullptr;
    void *bits_ = nullptr;
};

// Set where one thread renders image after image: the canvas of the last
// size is kept for the next, which spares making and deleting a DC and a
// section (under Wine, mapping and unmapping its memory) for every image.
bool g_keepCanvas;
std::unique_ptr<BitmapCanvas> g_kept;

// A new canvas, or the one kept when it has the size, cleared.
BitmapCanvas *CanvasFor(int width, int height, std::unique_ptr<BitmapCanvas> *made)
{
    if (g_keepCanvas && g_kept && g_kept->Fits(width, height)) {
        g_kept->Clear();
        return g_kept.get();
    }
    made->reset(new (std::nothrow) BitmapCanvas(width, height));
    if (!*made || !(*made)->Ready())
        return nullptr;
    if (!g_keepCanvas)
        return made->get();
    g_kept = std::move(*made);
    return g_kept.get();
}

// The picture most filters make, and ours, is one bitmap drawn whole and 1:1
// over the box: the pixels playback would give are that bitmap's, copied
// here from the metafile's bytes without a DC or a section. Null for any
// other picture, which is played.
PackedDib CopyWholeBoxBitmap(HMETAFILE metafile, int left, int top, int width, int height)
{
    const UINT size = GetMetaFileBitsEx(metafile, 0, nullptr);
    std::unique_ptr<uint8_t[]> bytes(size ? new (std::nothrow) uint8_t[size] : nullptr);
    if (!bytes || GetMetaFileBitsEx(metafile, size, bytes.get()) != size)
        return nullptr;
    size_t available = 0;
    const uint8_t *dib = FindWholeBoxBitmap(bytes.get(), size, left, top, width, height, &available);
    return dib ? CopyDibAs24Bit(dib, available) : nullptr;
}

}  // namespace

void KeepRenderCanvas(bool keep)
{
    g_keepCanvas = keep;
    if (!keep)
        g_kept.reset();
}

PackedDib RenderMetafile(HMETAFILE metafile, int left, int top, int right, int bottom)
{
    // Refusing empty and inverted boxes keeps every result bottom-up and at
    // least one pixel large.
    int64_t width = int64_t(right) - left, height = int64_t(bottom) - top;
    if (!metafile || !Fits24BitImage(width, height))
        return nullptr;
    if (PackedDib whole = CopyWholeBoxBitmap(metafile, left, top, int(width), int(height)))
        return whole;
    std::unique_ptr<BitmapCanvas> made;
    BitmapCanvas *canvas = CanvasFor(int(width), int(height), &made);
    if (!canvas)
        return nullptr;
    HDC dc = canvas->Memory();
    HGDIOBJ previous = SelectObject(dc, canvas->Section());
    if (!previous)
        return nullptr;
    // Whatever the records set is undone, for a canvas that is kept.
    int saved = SaveDC(dc);
    // One logical unit per pixel, the box's corner at the bitmap's origin.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, left, top, nullptr);
    SetWindowExtEx(dc, int(width), int(height), nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetViewportExtEx(dc, int(width), int(height), nullptr);
    BOOL played = PlayMetaFile(dc, metafile);
    if (saved)
        RestoreDC(dc, saved);
    SelectObject(dc, previous);
    return played ? canvas->Copy() : nullptr;
}

#include "frames/split.h"

#include <climits>
#include <cstring>
#include <initializer_list>

#include "core/core_alloc.h"
#include "core/gif_canvas.h"
#include "core/gif_images.h"
#include "core/mapped_file.h"
#include "core/messages.h"
#include "core/natural_order.h"
#include "core/sheet_data.h"
#include "core/shp16.h"
#include "core/status.h"
#include "frames/imaging.h"
#include "import/seh_guard.h"

namespace {

// One frame of the file, as the imaging component reads it.
struct FramePlace {
    UINT width, height;
    UINT left, top, disposal;  // a GIF's; 0 for other pictures
};

// A picture opened through the imaging component, with the frame being read
// and its 32-bit BGRA converter. It lives outside the guarded decode, which a
// fault leaves without running destructors: ReleasePicture (guarded, since
// the component may fault again) lets go of it in the reverse order of making.
struct Picture {
    IWICBitmapDecoder *decoder;
    IWICBitmapFrameDecode *frame;
    IWICFormatConverter *converter;
    bool gif;
    ImageFrames image;
    FramePlace first;  // frame 0, placed on the picture as our filter places it
};

void ReleasePicture(void *context)
{
    Picture *picture = static_cast<Picture *>(context);
    for (IUnknown **object :
         {reinterpret_cast<IUnknown **>(&picture->converter), reinterpret_cast<IUnknown **>(&picture->frame),
          reinterpret_cast<IUnknown **>(&picture->decoder)}) {
        if (*object)
            (*object)->Release();
        *object = nullptr;
    }
}

// A whole number from the frame's metadata (GIF fields are 8 or 16 bits);
// 0 when it is missing, as it is for a frame without that block.
UINT ReadNumber(IWICMetadataQueryReader *reader, const wchar_t *name)
{
    PROPVARIANT value;
    PropVariantInit(&value);
    if (!reader || FAILED(reader->GetMetadataByName(name, &value)))
        return 0;
    UINT number = value.vt == VT_UI1 ? value.bVal : value.vt == VT_UI2 ? value.uiVal : 0;
    PropVariantClear(&value);
    return number;
}

IWICMetadataQueryReader *QueryReader(IWICBitmapFrameDecode *frame)
{
    IWICMetadataQueryReader *reader = nullptr;
    return SUCCEEDED(frame->GetMetadataQueryReader(&reader)) ? reader : nullptr;
}

// Makes frame `index` the one read, through a 32-bit BGRA converter: the
// format our filter composites every picture with alpha from, and one that
// gives the same colours for the pictures it copies straight.
HRESULT SelectFrame(IWICImagingFactory *factory, Picture *picture, UINT index, FramePlace *place)
{
    if (picture->converter)
        picture->converter->Release();
    if (picture->frame)
        picture->frame->Release();
    picture->converter = nullptr;
    picture->frame = nullptr;
    *place = FramePlace{};
    HRESULT hr = picture->decoder->GetFrame(index, &picture->frame);
    if (SUCCEEDED(hr))
        hr = picture->frame->GetSize(&place->width, &place->height);
    if (SUCCEEDED(hr) && picture->gif) {
        IWICMetadataQueryReader *reader = QueryReader(picture->frame);
        place->left = ReadNumber(reader, L"/imgdesc/Left");
        place->top = ReadNumber(reader, L"/imgdesc/Top");
        place->disposal = ReadNumber(reader, L"/grctlext/Disposal");
        if (reader)
            reader->Release();
    }
    if (SUCCEEDED(hr))
        hr = factory->CreateFormatConverter(&picture->converter);
    if (SUCCEEDED(hr))
        hr =
            picture->converter->Initialize(picture->frame, GUID_WICPixelFormat32bppBGRA,
                                           WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom);
    return hr;
}

// Opens the file and finds the picture's size as our filter makes it: a
// GIF's first frame sits on the logical screen, which grows to take in a
// frame that reaches past it; other pictures are their first frame.
bool OpenPicture(IWICImagingFactory *factory, const char *path, Picture *picture)
{
    wchar_t widePath[MAX_PATH];
    GUID container = {};
    UINT frames = 1, screenWidth = 0, screenHeight = 0;
    HRESULT hr =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, widePath, MAX_PATH) ? S_OK : E_FAIL;
    if (SUCCEEDED(hr))
        hr = factory->CreateDecoderFromFilename(widePath, nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &picture->decoder);
    if (SUCCEEDED(hr))
        hr = picture->decoder->GetContainerFormat(&container);
    picture->gif = SUCCEEDED(hr) && IsEqualGUID(container, GUID_ContainerFormatGif);
    if (picture->gif) {
        hr = picture->decoder->GetFrameCount(&frames);
        IWICMetadataQueryReader *screen = nullptr;
        if (SUCCEEDED(picture->decoder->GetMetadataQueryReader(&screen))) {
            screenWidth = ReadNumber(screen, L"/logscrdesc/Width");
            screenHeight = ReadNumber(screen, L"/logscrdesc/Height");
            screen->Release();
        }
    }
    FramePlace &first = picture->first;
    if (SUCCEEDED(hr))
        hr = SelectFrame(factory, picture, 0, &first);
    // WICRect counts in INT.
    const uint64_t width = first.left + uint64_t(first.width), height = first.top + uint64_t(first.height);
    if (FAILED(hr) || frames == 0 || first.width == 0 || first.height == 0 || width > INT_MAX ||
        height > INT_MAX) {
        PrintStatus(MSG_CANT_READ_IMAGE, path);
        return false;
    }
    picture->image = {uint32_t(GifPictureSide(screenWidth, first.left, first.width)),
                      uint32_t(GifPictureSide(screenHeight, first.top, first.height)), frames};
    return true;
}

// The number of frame files the split makes, or false after PrintStatus when
// the picture cannot be split so.
bool CountFrames(const Picture &picture, const char *path, const SheetCut &cut, uint32_t *count)
{
    const uint32_t width = picture.image.width, height = picture.image.height;
    uint32_t cellWidth = cut.cellWidth, cellHeight = cut.cellHeight;
    const bool layout = cut.margin != 0 || cut.spacing != 0;
    if (cellWidth == 0 && cellHeight == 0) {
        if (picture.image.frameCount < 2) {
            PrintStatus(MSG_NOT_ANIMATED, path);
            return false;
        }
        *count = picture.image.frameCount;
        cellWidth = width;
        cellHeight = height;
    } else if (cellWidth == 0 || cellHeight == 0) {
        PrintStatus(MSG_CELL_EMPTY, cellWidth, cellHeight);
        return false;
    } else if (uint64_t(cellWidth) + cut.margin > width || uint64_t(cellHeight) + cut.margin > height) {
        PrintStatus(MSG_CELL_TOO_LARGE, cellWidth, cellHeight, width, height);
        return false;
    } else if (!CellsAlong(width, cellWidth, cut.margin, cut.spacing) ||
               !CellsAlong(height, cellHeight, cut.margin, cut.spacing)) {
        if (layout)
            PrintStatus(MSG_CELLS_DONT_FILL, cellWidth, cellHeight, cut.margin, cut.spacing, width, height);
        else
            PrintStatus(MSG_CELLS_DONT_DIVIDE, cellWidth, cellHeight, width, height);
        return false;
    } else {
        // At most 2^31 × 2^31 cells of 1 pixel: the product fits in 64 bits.
        const uint64_t cells = CellsAlong(width, cellWidth, cut.margin, cut.spacing) *
                               CellsAlong(height, cellHeight, cut.margin, cut.spacing);
        *count = cells > kShpMaxField ? kShpMaxField + 1 : uint32_t(cells);
    }
    // Frames the sprite file could not hold would be made for nothing.
    if (*count > kShpMaxField || cellWidth > kShpMaxField || cellHeight > kShpMaxField) {
        PrintStatus(MSG_TOO_LARGE);
        return false;
    }
    return true;
}

// A block of width × height pixels of 4 bytes, or null after PrintStatus.
uint8_t *AllocPixels(uint32_t width, uint32_t height)
{
    const uint64_t bytes = uint64_t(width) * height * 4;
    void *block = bytes <= UINT_MAX && bytes <= SIZE_MAX ? CoreAlloc(size_t(bytes)) : nullptr;
    if (!block)
        PrintStatus(MSG_MEMORY_ERROR);
    return static_cast<uint8_t *>(block);
}

// The next frame file: 24-bit when every pixel is opaque, so that it reads
// as any picture without alpha; otherwise 32-bit with the alpha as it is,
// which our filter composites over black as it would the original. `rows`
// takes the 24-bit copy and may be `pixels` itself.
bool WriteBgraFrame(FrameFiles *files, IWICImagingFactory *factory, const uint8_t *pixels, uint8_t *rows,
                    uint32_t width, uint32_t height)
{
    const size_t count = size_t(width) * height;
    if (!AllOpaque(pixels, count))
        return WriteFrameFile(files, factory, pixels, width * 4, width, height, 32);
    DropAlpha(pixels, count, rows);
    return WriteFrameFile(files, factory, rows, width * 3, width, height, 24);
}

// Decodes the selected GIF frame and draws it on the canvas. False after
// PrintStatus.
bool DrawFrame(Picture *picture, const FramePlace &place, GifCanvas *canvas, const char *path)
{
    uint8_t *frame = AllocPixels(place.width, place.height);
    if (!frame)
        return false;
    HRESULT hr =
        picture->converter->CopyPixels(nullptr, place.width * 4, place.width * place.height * 4, frame);
    bool drawn = SUCCEEDED(hr) && GifCanvasDraw(canvas, frame, place.width, place.height, place.left,
                                                place.top, place.disposal);
    CoreFree(frame);
    if (FAILED(hr))
        PrintStatus(MSG_CANT_READ_IMAGE, path);
    else if (!drawn)
        PrintStatus(MSG_MEMORY_ERROR);
    return drawn;
}

// Every frame as a viewer shows it, each written before the next is drawn.
bool WriteGifFrames(IWICImagingFactory *factory, Picture *picture, GifCanvas *canvas, uint8_t *rows,
                    FrameFiles *files, const char *path)
{
    for (UINT i = 0; i < picture->image.frameCount; i++) {
        FramePlace place = picture->first;
        if (i > 0 && FAILED(SelectFrame(factory, picture, i, &place))) {
            PrintStatus(MSG_CANT_READ_IMAGE, path);
            return false;
        }
        if (!DrawFrame(picture, place, canvas, path) ||
            !WriteBgraFrame(files, factory, canvas->pixels, rows, canvas->width, canvas->height))
            return false;
    }
    return true;
}

// A rectangle of the picture in 4-byte pixels, rows packed: from the GIF's
// canvas when there is one, else straight from the decoder's converter.
bool ReadRect(Picture *picture, const GifCanvas &canvas, uint32_t x, uint32_t y, uint32_t width,
              uint32_t height, uint8_t *pixels, const char *path)
{
    const size_t rowBytes = size_t(width) * 4;
    HRESULT hr = S_OK;
    if (canvas.pixels) {
        for (uint32_t k = 0; k < height; k++)
            std::memcpy(pixels + k * rowBytes, canvas.pixels + (size_t(y + k) * canvas.width + x) * 4,
                        rowBytes);
    } else {
        const WICRect rect = {INT(x), INT(y), INT(width), INT(height)};
        hr = picture->converter->CopyPixels(&rect, UINT(rowBytes), UINT(rowBytes * height), pixels);
    }
    if (FAILED(hr))
        PrintStatus(MSG_CANT_READ_IMAGE, path);
    return SUCCEEDED(hr);
}

// Cells left to right, then top to bottom, each read alone.
bool WriteCells(IWICImagingFactory *factory, Picture *picture, const GifCanvas &canvas, uint8_t *cell,
                const SheetCut &cut, FrameFiles *files, const char *path)
{
    const uint32_t across =
                       uint32_t(CellsAlong(picture->image.width, cut.cellWidth, cut.margin, cut.spacing)),
                   down =
                       uint32_t(CellsAlong(picture->image.height, cut.cellHeight, cut.margin, cut.spacing));
    for (uint32_t row = 0; row < down; row++)
        for (uint32_t column = 0; column < across; column++) {
            const uint32_t x = cut.margin + column * (cut.cellWidth + cut.spacing),
                           y = cut.margin + row * (cut.cellHeight + cut.spacing);
            if (!ReadRect(picture, canvas, x, y, cut.cellWidth, cut.cellHeight, cell, path) ||
                !WriteBgraFrame(files, factory, cell, cell, cut.cellWidth, cut.cellHeight))
                return false;
        }
    return true;
}

// The data file's bytes, whole; false after PrintStatus.
bool ReadDataFile(const char *path, char **text, size_t *size)
{
    *text = nullptr;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER length = {};
    bool ok = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &length) && length.QuadPart < (64 << 20);
    *text = ok ? static_cast<char *>(CoreAlloc(size_t(length.QuadPart) + 1)) : nullptr;
    DWORD read = 0;
    ok = *text && ReadFile(file, *text, DWORD(length.QuadPart), &read, nullptr) && read == length.QuadPart;
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!ok) {
        CoreFree(*text);
        *text = nullptr;
        PrintStatus(MSG_CANT_READ_DATA, path);
    }
    *size = read;
    return ok;
}

// Every frame the data describes, in its order, whole again: cut from the
// sheet, turned back when it is stored turned 90 degrees clockwise, and
// placed where it sat on a source frame, black around. `cut` holds the
// largest frame, `frame` a source frame.
bool WriteDataFrames(IWICImagingFactory *factory, Picture *picture, const GifCanvas &canvas,
                     const SheetData &data, uint8_t *cut, uint8_t *frame, FrameFiles *files, const char *path)
{
    const uint32_t width = data.sourceWidth, height = data.sourceHeight;
    for (uint32_t i = 0; i < data.count; i++) {
        const SheetFrame &f = data.frames[i];
        const uint32_t across = f.rotated ? f.height : f.width, down = f.rotated ? f.width : f.height;
        if (!ReadRect(picture, canvas, f.x, f.y, across, down, cut, path))
            return false;
        for (size_t k = 0; k < size_t(width) * height; k++)
            std::memcpy(frame + k * 4, "\0\0\0\xff", 4);
        for (uint32_t y = 0; y < f.height; y++)
            for (uint32_t x = 0; x < f.width; x++) {
                // Turned clockwise, the frame's left column became the cut's top row.
                const size_t from =
                    f.rotated ? size_t(x) * across + (across - 1 - y) : size_t(y) * across + x;
                std::memcpy(frame + ((size_t(f.top) + y) * width + f.left + x) * 4, cut + from * 4, 4);
            }
        if (!WriteBgraFrame(files, factory, frame, frame, width, height))
            return false;
    }
    return true;
}

// One inspection or split: what it is given and everything it holds, kept
// outside the guarded call so that it is let go of however the call ended.
struct SplitRun {
    const char *path, *directory;
    SheetCut cut;
    FolderRule rule;
    bool split;  // false: the picture is only inspected
    IWICImagingFactory *factory;
    Picture picture;
    GifCanvas canvas;
    uint8_t *block, *cutBlock;
    SheetData data;
    FrameFiles *files;
    bool begun, ok;
};

// The frames a data file describes, all checked before the first is written.
void SplitByData(SplitRun *run)
{
    char *text = nullptr;
    size_t size = 0;
    const bool read = ReadDataFile(run->cut.dataPath, &text, &size) &&
                      ReadSheetData(run->cut.dataPath, text, size, run->picture.image.width,
                                    run->picture.image.height, &run->data);
    CoreFree(text);
    if (!read)
        return;
    // Each frame fits in its source size, at most 65535 x 65535: the largest fits in 32 bits.
    uint64_t largest = 0;
    for (uint32_t i = 0; i < run->data.count; i++)
        if (uint64_t(run->data.frames[i].width) * run->data.frames[i].height > largest)
            largest = uint64_t(run->data.frames[i].width) * run->data.frames[i].height;
    if (run->picture.gif) {
        if (!GifCanvasCreate(&run->canvas, run->picture.image.width, run->picture.image.height)) {
            PrintStatus(MSG_MEMORY_ERROR);
            return;
        }
        if (!DrawFrame(&run->picture, run->picture.first, &run->canvas, run->path))
            return;
    }
    run->block = AllocPixels(run->data.sourceWidth, run->data.sourceHeight);
    run->cutBlock = run->block ? AllocPixels(uint32_t(largest), 1) : nullptr;
    if (!run->cutBlock || !BeginFrameFiles(run->files, run->directory, run->data.count, run->rule))
        return;
    run->begun = true;
    run->ok = WriteDataFrames(run->factory, &run->picture, run->canvas, run->data, run->cutBlock, run->block,
                              run->files, run->path);
}

void InspectOrSplit(void *context)
{
    SplitRun *run = static_cast<SplitRun *>(context);
    Picture *picture = &run->picture;
    uint32_t count = 0;
    if (!OpenPicture(run->factory, run->path, picture))
        return;
    if (run->split && run->cut.dataPath) {
        SplitByData(run);
        return;
    }
    if (run->split && !CountFrames(*picture, run->path, run->cut, &count))
        return;
    if (!run->split) {
        run->ok = true;
        return;
    }
    // Everything is in memory before the first file is made: the canvas a
    // GIF is drawn on, and a block for one cell or for the canvas's 24-bit copy.
    const bool cells = run->cut.cellWidth != 0;
    if (picture->gif) {
        if (!GifCanvasCreate(&run->canvas, picture->image.width, picture->image.height)) {
            PrintStatus(MSG_MEMORY_ERROR);
            return;
        }
        if (cells && !DrawFrame(picture, picture->first, &run->canvas, run->path))
            return;
    }
    run->block = cells ? AllocPixels(run->cut.cellWidth, run->cut.cellHeight)
                       : AllocPixels(run->canvas.width, run->canvas.height);
    if (!run->block || !BeginFrameFiles(run->files, run->directory, count, run->rule))
        return;
    run->begun = true;
    run->ok =
        cells ? WriteCells(run->factory, picture, run->canvas, run->block, run->cut, run->files, run->path)
              : WriteGifFrames(run->factory, picture, &run->canvas, run->block, run->files, run->path);
}

// A GIF (whatever its name) with a frame that has no colours of its own to
// show: what a decoder makes of it is the decoder's own, so it is refused.
bool GifLacksColours(const char *path)
{
    MappedFile bytes(path);
    return FirstGifImageWithoutColours(bytes.data, bytes.size) != kGifImagesHaveColours;
}

// The decode runs under the guard of the filter calls: a fault inside the
// imaging component fails the file with a message, and the frame files
// written so far go again.
bool RunSplit(SplitRun *run)
{
    ImagingSession imaging;
    run->factory = imaging.Factory();
    if (!run->factory)
        return false;
    if (!RunGuarded(InspectOrSplit, run)) {
        PrintStatus(MSG_CANT_READ_IMAGE, run->path);
        run->ok = false;
    }
    RunGuarded(ReleasePicture, &run->picture);
    if (run->begun)
        EndFrameFiles(run->files);
    CoreFree(run->block);
    CoreFree(run->cutBlock);
    ReleaseSheetData(&run->data);
    GifCanvasRelease(&run->canvas);
    return run->ok;
}

}  // namespace

uint64_t CellsAlong(uint32_t side, uint32_t cell, uint32_t margin, uint32_t spacing)
{
    for (uint64_t end : {uint64_t(margin), 2 * uint64_t(margin)}) {
        const uint64_t room = side >= end ? side - end + uint64_t(spacing) : 0,
                       step = uint64_t(cell) + spacing;
        if (cell > 0 && room >= step && room % step == 0)
            return room / step;
        if (margin == 0)
            break;
    }
    return 0;
}

bool InspectImage(const char *path, ImageFrames *image)
{
    FrameFiles unused;
    SplitRun run = {};
    run.path = path;
    run.files = &unused;
    if (!RunSplit(&run))
        return false;
    *image = run.picture.image;
    return true;
}

uint32_t GifFrameCount(const char *path)
{
    const char *dot = std::strrchr(NameOfPath(path), '.');
    if (!dot || lstrcmpiA(dot, ".gif") != 0)
        return 0;
    MappedFile bytes(path);
    return CountGifImages(bytes.data, bytes.size);
}

bool SplitImage(const char *path, uint32_t cellWidth, uint32_t cellHeight, const char *directory,
                FolderRule rule, FrameFiles *files)
{
    return SplitSheet(path, SheetCut{cellWidth, cellHeight, 0, 0, nullptr}, directory, rule, files);
}

bool SplitSheet(const char *path, const SheetCut &cut, const char *directory, FolderRule rule,
                FrameFiles *files)
{
    *files = FrameFiles{};
    SplitRun run = {};
    run.path = path;
    run.directory = directory;
    run.cut = cut;
    run.rule = rule;
    run.split = true;
    run.files = files;
    if (GifLacksColours(path)) {
        PrintStatus(MSG_CANT_READ_IMAGE, path);
        return false;
    }
    return RunSplit(&run);
}

// Benchmark helper: times the conversion of a list of images three ways in
// one process, printing one line of figures per mode.
//   kestrane-bench decode FILE...      bare imaging-component decode, one factory
//   kestrane-bench stages FILE...      the loader's stages one by one
//   kestrane-bench job OUTPUT FILE...  ConvertToShp as the programs run it
//   kestrane-bench dither OUTPUT FILE... the job exact, ordered and diffused in turn
//   kestrane-bench records SIDE        metafile records a filter could hand over
#include <initguid.h>
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/convert.h"
#include "core/output_file.h"
#include "core/shp16.h"
#include "core/source_list.h"
#include "core/status.h"
#include "import/filter_api.h"
#include "import/filter_lookup.h"
#include "import/metafile.h"
#include "tests/support/wic_first_frame.h"

namespace {

double g_tickMs;

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * g_tickMs;
}

// (a): what decoding alone costs when COM and the factory are set up once.
int BareDecode(int count, char **files)
{
    double start = NowMs();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    IWICImagingFactory *factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void **>(&factory))))
        return 1;
    double setup = NowMs() - start;
    std::vector<BYTE> pixels;
    int failures = 0;
    start = NowMs();
    for (int i = 0; i < count; i++) {
        wchar_t path[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, files[i], -1, path, MAX_PATH);
        UINT width = 0, height = 0;
        HRESULT hr = DecodeFirstFrame(factory, path, GUID_WICPixelFormat32bppBGRA, &pixels, &width, &height);
        failures += FAILED(hr);
    }
    double total = NowMs() - start;
    factory->Release();
    CoUninitialize();
    std::printf("decode frames=%d failures=%d setup_ms=%.2f total_ms=%.1f per_frame_ms=%.3f\n", count,
                failures, setup, total, total / count);
    return failures ? 1 : 0;
}

// The loader's road for one image, timed stage by stage with the program's
// own functions, then the job's conversion and write.
int Stages(int count, char **files)
{
    enum { kLookup, kLoad, kImport, kRender, kFree, kConvert, kWrite, kStageCount };
    static const char *const kNames[kStageCount] = {"lookup",  "load",    "import", "render",
                                                    "release", "convert", "write"};
    double stage[kStageCount] = {};
    double firstImport = 0;  // includes loading the imaging component once
    std::vector<uint8_t> shp;
    uint32_t width = 0, height = 0;
    for (int i = 0; i < count; i++) {
        const char *dot = std::strrchr(files[i], '.');
        char library[MAX_PATH] = "";
        DWORD size = MAX_PATH;
        double t0 = NowMs();
        int found = FindImportFilter(library, &size, dot ? dot + 1 : "");
        double t1 = NowMs();
        HMODULE module = found ? LoadLibraryA(library) : nullptr;
        auto getInfo = module ? reinterpret_cast<GetFilterInfoFunction>(
                                    reinterpret_cast<void *>(GetProcAddress(module, FILTER_GET_INFO)))
                              : nullptr;
        auto import = module ? reinterpret_cast<ImportGrFunction>(
                                   reinterpret_cast<void *>(GetProcAddress(module, FILTER_IMPORT)))
                             : nullptr;
        auto setPref = module ? reinterpret_cast<SetFilterPrefFunction>(
                                    reinterpret_cast<void *>(GetProcAddress(module, FILTER_SET_PREF)))
                              : nullptr;
        double t2 = NowMs();
        if (!getInfo || !import || !setPref) {
            std::fprintf(stderr, "no usable filter for %s\n", files[i]);
            return 1;
        }
        HGLOBAL preferences = nullptr;
        getInfo(kFilterInfoVersion, "", &preferences, 0);
        setPref(preferences, FILTER_PREF_PROGRESS, "No", 2, 1);
        setPref(preferences, FILTER_PREF_OPTIONS, "No", 2, 1);
        FilterFileSpec file = {};
        lstrcpynA(file.path, files[i], sizeof(file.path));
        FilterPicture picture = {};
        int result = import(nullptr, &file, &picture, preferences);
        setPref(preferences, FILTER_PREF_PROGRESS, "Yes", 4, 1);
        double t3 = NowMs();
        PackedDib dib = nullptr;
        if (result == 0 && picture.picture) {
            HMETAFILE metafile = static_cast<HMETAFILE>(picture.picture);
            dib = RenderMetafile(metafile, picture.left, picture.top, picture.right, picture.bottom);
            DeleteMetaFile(metafile);
        }
        double t4 = NowMs();
        if (preferences)
            GlobalFree(preferences);
        FreeLibrary(module);
        double t5 = NowMs();
        if (!dib) {
            std::fprintf(stderr, "cannot import %s\n", files[i]);
            return 1;
        }
        if (i == 0) {
            width = uint32_t(dib->biWidth);
            height = uint32_t(dib->biHeight);
            size_t bytes = 0;
            ShpFileSize(width, height, uint32_t(count), &bytes);
            shp.resize(bytes);
            WriteShpHeaders(shp.data(), width, height, uint32_t(count));
        }
        if (uint32_t(dib->biWidth) != width || uint32_t(dib->biHeight) != height) {
            std::fprintf(stderr, "%s has another size\n", files[i]);
            return 1;
        }
        const uint8_t *rows = reinterpret_cast<const uint8_t *>(dib) + dib->biSize;
        ConvertDibToFrame(rows, DibStride(width, 24), width, height,
                          shp.data() + ShpFrameOffset(width, height, uint32_t(count), uint32_t(i)));
        FreePackedDib(dib);
        double t6 = NowMs();
        stage[kLookup] += t1 - t0;
        stage[kLoad] += t2 - t1;
        stage[kImport] += t3 - t2;
        if (i == 0)
            firstImport = t3 - t2;
        stage[kRender] += t4 - t3;
        stage[kFree] += t5 - t4;
        stage[kConvert] += t6 - t5;
    }
    double t0 = NowMs();
    WriteResult written = WriteFileReplacing("bench-stages.shp", shp.data(), shp.size());
    stage[kWrite] = NowMs() - t0;
    DeleteFileA("bench-stages.shp");
    if (written != WRITE_OK)
        return 1;
    double total = 0;
    std::printf("stages frames=%d", count);
    for (int s = 0; s < kStageCount; s++) {
        std::printf(" %s_ms=%.3f", kNames[s], stage[s] / count);
        total += stage[s];
    }
    std::printf(" total_ms=%.3f first_import_ms=%.2f\n", total / count, firstImport);
    return 0;
}

// Candidate hand-overs from a filter to the program: how a width × height
// 24-bit bottom-up bitmap, already decoded, becomes a metafile, and how that
// metafile plays back through RenderMetafile. Rounds interleave the
// candidates so that a disturbance of the machine falls on all alike.
enum RecordKind { kDrawnStretchDib, kStretchDib, kSetDibToDevice, kDibStretchBlt };
struct RecordCandidate {
    const char *name;
    RecordKind kind;
    WORD bitCount;
};

void PutWord(BYTE *p, DWORD value)
{
    p[0] = BYTE(value);
    p[1] = BYTE(value >> 8);
}

void PutDword(BYTE *p, DWORD value)
{
    PutWord(p, value);
    PutWord(p + 2, value >> 16);
}

// The metafile as bytes: header, one bitmap record at (0, 0) one to one, end.
HMETAFILE BuildMetafile(RecordKind kind, const BITMAPINFOHEADER &info, const BYTE *bits)
{
    const DWORD parameterBytes = kind == kStretchDib ? 22 : kind == kSetDibToDevice ? 18 : 20;
    const DWORD recordBytes = 6 + parameterBytes + sizeof info + info.biSizeImage;
    const DWORD total = 18 + recordBytes + 6;
    BYTE *bytes = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, total));
    if (!bytes)
        return nullptr;
    PutWord(bytes, 1);
    PutWord(bytes + 2, 9);
    PutWord(bytes + 4, 0x300);
    PutDword(bytes + 6, total / 2);
    PutDword(bytes + 12, recordBytes / 2);
    BYTE *record = bytes + 18, *p = record + 6;
    WORD w = WORD(info.biWidth), h = WORD(info.biHeight);
    PutDword(record, recordBytes / 2);
    if (kind == kSetDibToDevice) {  // colour use, lines, first line, source y, x, height, width, y, x
        const WORD words[] = {DIB_RGB_COLORS, h, 0, 0, 0, h, w, 0, 0};
        PutWord(record + 4, META_SETDIBTODEV);
        for (WORD word : words)
            PutWord(p, word), p += 2;
    } else {  // raster operation, [colour use], source height, width, y, x, height, width, y, x
        PutWord(record + 4, kind == kStretchDib ? META_STRETCHDIB : META_DIBSTRETCHBLT);
        PutDword(p, SRCCOPY), p += 4;
        if (kind == kStretchDib)
            PutWord(p, DIB_RGB_COLORS), p += 2;
        const WORD words[] = {h, w, 0, 0, h, w, 0, 0};
        for (WORD word : words)
            PutWord(p, word), p += 2;
    }
    std::memcpy(p, &info, sizeof info);
    std::memcpy(p + sizeof info, bits, info.biSizeImage);  // where a filter decodes in place
    PutDword(record + recordBytes, 3);
    HMETAFILE metafile = SetMetaFileBitsEx(total, bytes);
    HeapFree(GetProcessHeap(), 0, bytes);
    return metafile;
}

// The same drawn through a metafile DC, from a buffer of the filter's own.
HMETAFILE DrawMetafile(const BITMAPINFOHEADER &info, const BYTE *bits)
{
    BYTE *own = static_cast<BYTE *>(HeapAlloc(GetProcessHeap(), 0, info.biSizeImage));
    if (!own)
        return nullptr;
    std::memcpy(own, bits, info.biSizeImage);  // where a filter decodes
    HDC dc = CreateMetaFileA(nullptr);
    int w = info.biWidth, h = info.biHeight;
    StretchDIBits(dc, 0, 0, w, h, 0, 0, w, h, own, reinterpret_cast<const BITMAPINFO *>(&info),
                  DIB_RGB_COLORS, SRCCOPY);
    HMETAFILE metafile = CloseMetaFile(dc);
    HeapFree(GetProcessHeap(), 0, own);
    return metafile;
}

int Records(int side)
{
    const RecordCandidate candidates[] = {
        {"drawn-stretchdib-24", kDrawnStretchDib, 24}, {"bytes-stretchdib-24", kStretchDib, 24},
        {"bytes-setdibtodev-24", kSetDibToDevice, 24}, {"bytes-dibstretchblt-24", kDibStretchBlt, 24},
        {"bytes-stretchdib-32", kStretchDib, 32},
    };
    const int count = sizeof candidates / sizeof candidates[0], rounds = side >= 1024 ? 31 : 201;
    // The same random picture at 24 and 32 bits per pixel.
    std::vector<BYTE> bits24(size_t(DibStride(side, 24)) * side), bits32(size_t(side) * side * 4);
    uint32_t seed = 1;
    for (size_t i = 0; i < bits32.size(); i++)
        bits32[i] = BYTE((seed = seed * 1103515245 + 12345) >> 16);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++)
            std::memcpy(&bits24[size_t(y) * DibStride(side, 24) + 3 * x], &bits32[(size_t(y) * side + x) * 4],
                        3);
    std::vector<double> make[count], render[count];
    bool exact[count];
    for (int round = 0; round < rounds; round++) {
        for (int c = 0; c < count; c++) {
            BITMAPINFOHEADER info = {};
            info.biSize = sizeof info;
            info.biWidth = info.biHeight = side;
            info.biPlanes = 1;
            info.biBitCount = candidates[c].bitCount;
            info.biSizeImage = DibStride(side, info.biBitCount) * side;
            const BYTE *bits = info.biBitCount == 24 ? bits24.data() : bits32.data();
            double t0 = NowMs();
            HMETAFILE metafile = candidates[c].kind == kDrawnStretchDib
                                     ? DrawMetafile(info, bits)
                                     : BuildMetafile(candidates[c].kind, info, bits);
            double t1 = NowMs();
            PackedDib dib = RenderMetafile(metafile, 0, 0, side, side);
            DeleteMetaFile(metafile);
            double t2 = NowMs();
            if (round == 0)
                exact[c] = dib && std::memcmp(reinterpret_cast<BYTE *>(dib) + dib->biSize, bits24.data(),
                                              bits24.size()) == 0;
            FreePackedDib(dib);
            make[c].push_back(t1 - t0);
            render[c].push_back(t2 - t1);
        }
    }
    for (int c = 0; c < count; c++) {
        std::sort(make[c].begin(), make[c].end());
        std::sort(render[c].begin(), render[c].end());
        std::printf("records side=%d %-22s make_ms=%.3f render_ms=%.3f (medians of %d) pixels_exact=%s\n",
                    side, candidates[c].name, make[c][rounds / 2], render[c][rounds / 2], rounds,
                    exact[c] ? "yes" : "NO");
    }
    return 0;
}

char g_status[kStatusBufferSize];

int Job(const char *output, int count, char **files)
{
    g_sourceList = SourceListCreate();
    for (int i = 0; g_sourceList && i < count; i++)
        SourceListInsert(g_sourceList, i, CopyPath(files[i]));
    if (!g_sourceList || g_sourceList->count != count)
        return 1;
    double start = NowMs();
    int ok = ConvertToShp(output);
    double total = NowMs() - start;
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    std::printf("job frames=%d ok=%d total_ms=%.1f per_frame_ms=%.3f status=\"%s\"\n", count, ok, total,
                total / count, g_status);
    return ok ? 0 : 1;
}

// Rounds of the job exact, ordered and diffused in turn, in one process: the
// fastest of each (the one least disturbed by the machine's other load) and
// its ratio to the fastest exact one.
int DitherJobs(const char *output, int count, char **files)
{
    constexpr int kRounds = 7;
    g_sourceList = SourceListCreate();
    for (int i = 0; g_sourceList && i < count; i++)
        SourceListInsert(g_sourceList, i, CopyPath(files[i]));
    if (!g_sourceList || g_sourceList->count != count)
        return 1;
    const struct {
        const char *name;
        DitherMode dither;
    } modes[] = {{"exact", DITHER_NONE}, {"ordered", DITHER_ORDERED}, {"diffusion", DITHER_DIFFUSION}};
    double best[3] = {1e300, 1e300, 1e300};
    int ok = 1;
    for (int round = 0; ok && round < kRounds; round++)
        for (int m = 0; ok && m < 3; m++) {
            ConvertOptions options = {};
            options.dither = modes[m].dither;
            double start = NowMs();
            ok = ConvertToShpWith(output, options);
            best[m] = std::min(best[m], (NowMs() - start) / count);
        }
    SourceListRelease(g_sourceList);
    g_sourceList = nullptr;
    for (int m = 0; m < 3; m++)
        std::printf(
            "dither job=%-9s best_per_frame_ms=%.3f ratio_to_exact=%.3f (fastest of %d rounds) ok=%d\n",
            modes[m].name, best[m], best[m] / best[0], kRounds, ok);
    return ok ? 0 : 1;
}

}  // namespace

void ShowStatus(const char *text)
{
    lstrcpynA(g_status, text, sizeof g_status);
}

int main(int argc, char **argv)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_tickMs = 1000.0 / double(frequency.QuadPart);
    if (argc >= 3 && std::strcmp(argv[1], "decode") == 0)
        return BareDecode(argc - 2, argv + 2);
    if (argc >= 3 && std::strcmp(argv[1], "stages") == 0)
        return Stages(argc - 2, argv + 2);
    if (argc >= 4 && std::strcmp(argv[1], "job") == 0)
        return Job(argv[2], argc - 3, argv + 3);
    if (argc >= 4 && std::strcmp(argv[1], "dither") == 0)
        return DitherJobs(argv[2], argc - 3, argv + 3);
    if (argc == 3 && std::strcmp(argv[1], "records") == 0 && std::atoi(argv[2]) > 0)
        return Records(std::atoi(argv[2]));
    std::fputs("Usage: kestrane-bench decode FILE... | stages FILE... | job OUTPUT FILE... | dither OUTPUT "
               "FILE... | records SIDE\n",
               stderr);
    return 2;
}

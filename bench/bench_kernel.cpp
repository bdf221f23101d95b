// Benchmark (not a test): converting one 1024 × 1024 image to RGB565 with
// every path the processor has, and dithering it, against memcpy of the same source bytes in
// the same run. Each figure is the fastest of many runs, the one least
// disturbed by whatever else the machine does; the median is shown beside it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "core/dither.h"
#include "core/packed_dib.h"
#include "core/rgb565_rows.h"
#include "core/shp16.h"

namespace {

constexpr uint32_t kSide = 1024;
constexpr int kRuns = 101;

struct Timing {
    double best, median;  // seconds
};

template <typename Work> Timing Measure(Work work)
{
    std::vector<double> seconds;
    for (int i = 0; i < kRuns; i++) {
        auto start = std::chrono::steady_clock::now();
        work();
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return {seconds.front(), seconds[seconds.size() / 2]};
}

}  // namespace

int main()
{
    const uint32_t stride = DibStride(kSide, 24);
    const size_t sourceBytes = size_t(stride) * kSide;
    std::vector<uint8_t> source(sourceBytes), copy(sourceBytes), frame(2 * size_t(kSide) * kSide);
    std::mt19937 random(1);
    for (uint8_t &byte : source)
        byte = static_cast<uint8_t>(random());

    const Timing copied = Measure([&] { std::memcpy(copy.data(), source.data(), sourceBytes); });
    auto report = [&](const char *name, Timing timing) {
        std::printf("kernel %-17s best_MB/s=%6.0f ratio_to_memcpy=%.2f best_ms=%.3f median_ms=%.3f\n", name,
                    sourceBytes / timing.best / 1e6, copied.best / timing.best, timing.best * 1e3,
                    timing.median * 1e3);
    };
    std::printf("kernel image=%ux%u source_bytes=%zu\n", kSide, kSide, sourceBytes);
    report("memcpy", copied);
    const struct {
        const char *name;
        Rgb565RowFunction convert;
    } paths[] = {
        {"plain", Rgb565RowPlain},
#if KESTRANE_X86_ROWS
        {"sse2", ProcessorHasSse2() ? Rgb565RowSse2 : nullptr},
        {"ssse3", ProcessorHasSsse3() ? Rgb565RowSsse3 : nullptr},
#endif
    };
    for (const auto &path : paths) {
        if (!path.convert) {
            std::printf("kernel %-17s not available on this processor\n", path.name);
            continue;
        }
        report(path.name, Measure([&] {
                   for (uint32_t k = 0; k < kSide; k++)
                       path.convert(&source[k * stride], kSide, &frame[(kSide - 1 - k) * 2 * size_t(kSide)]);
               }));
    }
    report("ConvertDibToFrame",
           Measure([&] { ConvertDibToFrame(source.data(), stride, kSide, kSide, frame.data()); }));
    // Dithering, which the job does instead of the conversion when asked.
    // Diffusion changes the rows it reads, so it works on a copy.
    std::vector<uint8_t> scratch(source);
    report("dither ordered", Measure([&] {
               DitherRows(DITHER_ORDERED, scratch.data(), stride, kSide, kSide, frame.data(), 2 * kSide, 0,
                          0);
           }));
    report("dither diffusion", Measure([&] {
               DitherRows(DITHER_DIFFUSION, scratch.data(), stride, kSide, kSide, frame.data(), 2 * kSide, 0,
                          0);
           }));
    // Uses the results, so that no copy or conversion can be left out.
    unsigned sum = 0;
    for (size_t i = 0; i < frame.size(); i += 4097)
        sum += frame[i] + copy[i];
    std::printf("kernel checksum=%u\n", sum);
    return 0;
}

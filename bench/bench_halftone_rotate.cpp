// Halftoning and rotations of an A4 600 dpi page, next to the JBIG compression
// of the same page, which is the cost they are measured against.
#include <benchmark/benchmark.h>

#include <cstring>
#include <utility>
#include <vector>

#include "common/platform.h"
#include "common/rotate.h"
#include "jbigCompress/jbig_compress.h"
#include "prnt/halftone.h"
#include "sample_page.h"

namespace {

const std::vector<uint8_t>& SamplePage() {
    static const std::vector<uint8_t> page = MakeSamplePage();
    return page;
}

const std::vector<uint8_t>& BlankPage() {
    static const std::vector<uint8_t> page(static_cast<std::size_t>(kSamplePageWidth) * kSamplePageHeight, 255);
    return page;
}

const std::vector<uint8_t>& Grey(int blank) { return blank ? BlankPage() : SamplePage(); }

constexpr std::size_t kPixels = static_cast<std::size_t>(kSamplePageWidth) * kSamplePageHeight;

// The dot page as the job driver sends it: 1 bit (platform Z, 600 dpi) or
// 2 bits (platform M, DPI1200) per dot.
std::vector<uint8_t> DotPage(int platform, int dpi1200) {
    const bool twoBit = platform == PLATFORM_M && dpi1200 == 1;
    std::vector<uint8_t> dots(kPixels / (twoBit ? 4 : 8), 0);
    HalftoneDither(SamplePage().data(), kSamplePageWidth, kSamplePageHeight, dots.data(),
                   kSamplePageWidth, 0, dpi1200, platform);
    return dots;
}

template <int Platform, int Dpi1200, bool PerPixel>
void BM_HalftoneDither(benchmark::State& state) {
    const std::vector<uint8_t>& grey = Grey(static_cast<int>(state.range(0)));
    const bool twoBit = Platform == PLATFORM_M && Dpi1200 == 1;
    std::vector<uint8_t> dots(kPixels / (twoBit ? 4 : 8));
    const auto dither = PerPixel ? HalftoneDitherPerPixel : HalftoneDither;
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(dots.data(), 0, dots.size());  // the driver hands over a zeroed page
        state.ResumeTiming();
        dither(grey.data(), kSamplePageWidth, kSamplePageHeight, dots.data(), kSamplePageWidth, 0,
               Dpi1200, Platform);
        benchmark::DoNotOptimize(dots.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels));
}
BENCHMARK_TEMPLATE(BM_HalftoneDither, PLATFORM_Z, 0, false)
    ->ArgName("blank")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_HalftoneDither, PLATFORM_M, 1, false)
    ->ArgName("blank")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
// The one-dot-at-a-time rule, for comparison.
BENCHMARK_TEMPLATE(BM_HalftoneDither, PLATFORM_Z, 0, true)
    ->ArgName("blank")->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Rotate90(benchmark::State& state) {
    std::vector<uint8_t> image = Grey(static_cast<int>(state.range(0)));
    uint32_t width = kSamplePageWidth, height = kSamplePageHeight;
    for (auto _ : state) {
        Rotate90(image.data(), width, height);
        std::swap(width, height);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels));
}
// The warm-up lets the allocator settle: the first work buffers of a process are
// fresh pages, and their faults would be measured instead of the turn.
BENCHMARK(BM_Rotate90)->ArgName("blank")->Arg(0)->Arg(1)->MinWarmUpTime(0.5)->Unit(benchmark::kMillisecond);

void BM_Rotate180(benchmark::State& state) {
    std::vector<uint8_t> image = Grey(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Rotate180(reinterpret_cast<char*>(image.data()), kSamplePageWidth, kSamplePageHeight);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPixels));
}
BENCHMARK(BM_Rotate180)->ArgName("blank")->Arg(0)->Arg(1)->MinWarmUpTime(0.5)->Unit(benchmark::kMillisecond);

// One JBIG-KIT stream over `lines` rows of `widthDots` dots starting at `bits`.
std::size_t Compress(uint8_t* bits, unsigned long widthDots, unsigned long lines, int order,
                     int options, unsigned long l0) {
    JBIG_BIH bih{};
    bih.ParamP = 1;
    bih.ParamImgWidth = static_cast<uint32_t>(widthDots);
    bih.ParamImgHeight = static_cast<uint32_t>(lines);
    bih.ParamL0 = static_cast<uint32_t>(l0);
    bih.ParamOrder = static_cast<uint8_t>(order);
    bih.ParamOption = static_cast<uint8_t>(options);
    static ByteBuffer out;  // reused, as the filter's output buffer is within a page
    out.size = 0;
    JBIGCompress(bih, bits, &out);
    return static_cast<std::size_t>(out.size);
}

// PLATFORM_Z: 256-line bands, each its own stream (order 3, LRLTWO|TPDON|TPBON).
void BM_JbigCompressBandsZ(benchmark::State& state) {
    std::vector<uint8_t> dots = DotPage(PLATFORM_Z, 0);
    const std::size_t rowBytes = kSamplePageWidth / 8;
    std::size_t compressed = 0;
    for (auto _ : state) {
        compressed = 0;
        for (uint32_t top = 0; top < kSamplePageHeight; top += 256) {
            const uint32_t lines = kSamplePageHeight - top < 256 ? kSamplePageHeight - top : 256;
            compressed += Compress(dots.data() + top * rowBytes, kSamplePageWidth, lines, 3, 0x58, lines);
        }
    }
    state.counters["compressed_bytes"] = static_cast<double>(compressed);
}
BENCHMARK(BM_JbigCompressBandsZ)->Unit(benchmark::kMillisecond);

// PLATFORM_M: the whole page in one stream, L0 256 (order 3, LRLTWO|TPDON|TPBON|DPON);
// range 1 = the 2-bit page, twice as wide.
void BM_JbigCompressPageM(benchmark::State& state) {
    const int twoBit = static_cast<int>(state.range(0));
    std::vector<uint8_t> dots = DotPage(PLATFORM_M, twoBit);
    const unsigned long width = kSamplePageWidth * (twoBit ? 2 : 1);
    std::size_t compressed = 0;
    for (auto _ : state) compressed = Compress(dots.data(), width, kSamplePageHeight, 3, 0x5C, 256);
    state.counters["compressed_bytes"] = static_cast<double>(compressed);
}
BENCHMARK(BM_JbigCompressPageM)->ArgName("twobit")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

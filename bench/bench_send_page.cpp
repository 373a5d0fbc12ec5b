// Prnt_SendPage on an A4 600 dpi page per platform (JBIG compression and image
// commands) with the printer stream dropped, and the memory one page takes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/halftone.h"
#include "prnt/image.h"
#include "sample_page.h"

namespace {

constexpr std::size_t kDotBytes = static_cast<std::size_t>(kSamplePageWidth) / 8 * kSamplePageHeight;

std::size_t gWireBytes = 0;

std::size_t DropBytes(const void*, std::size_t count) {
    gWireBytes += count;
    return 1;
}

// The 1-bit dot page as the job driver hands it over: the sample page
// halftoned with the platform's 600 dpi screen, or a blank page.
std::vector<uint8_t>& DotPage(int platform, bool blank) {
    static std::vector<uint8_t> pages[4][2];
    std::vector<uint8_t>& dots = pages[platform][blank ? 1 : 0];
    if (dots.empty()) {
        dots.assign(kDotBytes, 0);
        if (!blank) {
            const std::vector<uint8_t> grey = MakeSamplePage();
            HalftoneDither(grey.data(), kSamplePageWidth, kSamplePageHeight, dots.data(),
                           kSamplePageWidth, 0, 0, platform);
        }
    }
    return dots;
}

GDI_SEND_PAGE_PARAM PageParam(int platform, bool blank) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = kSamplePageWidth;
    page.whlImgH = kSamplePageHeight;
    if (platform == PLATFORM_C) {
        page.rasImgW = kSamplePageWidth;
        page.rasImgH = 768;
    }
    page.sendImgBuf = DotPage(platform, blank).data();
    return page;
}

template <int Platform>
void BM_SendPage(benchmark::State& state) {
    const bool blank = state.range(0) != 0;
    GDI_SEND_PAGE_PARAM page = PageParam(Platform, blank);
    SetDeviceWriter(DropBytes);
    gWireBytes = 0;
    for (auto _ : state) {
        if (Prnt_SendPage(&page, Platform) != 1) {
            state.SkipWithError(prntLastError);
            break;
        }
    }
    SetDeviceWriter(nullptr);
    const double pages = static_cast<double>(state.iterations() ? state.iterations() : 1);
    state.counters["wire_KiB"] = static_cast<double>(gWireBytes) / pages / 1024.0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kDotBytes));
}
BENCHMARK_TEMPLATE(BM_SendPage, PLATFORM_C)->ArgName("blank")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_SendPage, PLATFORM_Z)->ArgName("blank")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_SendPage, PLATFORM_M)->ArgName("blank")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Resident memory that one Prnt_SendPage adds on top of the dot page: a forked
// child starts with its maximum resident size equal to what it shares with the
// parent, sends one page, and reports how far the maximum rose. The parent
// first hands its freed heap back, which the child would otherwise reuse
// without a rise; run it on its own (--benchmark_filter=PeakMemory) all the same.
template <int Platform>
void BM_SendPagePeakMemory(benchmark::State& state) {
    const bool blank = state.range(0) != 0;
    GDI_SEND_PAGE_PARAM page = PageParam(Platform, blank);
    long extraKiB = -1;
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) {
            state.SkipWithError("pipe");
            break;
        }
        malloc_trim(0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            rusage before{}, after{};
            getrusage(RUSAGE_SELF, &before);
            SetDeviceWriter(DropBytes);
            const int sent = Prnt_SendPage(&page, Platform);
            getrusage(RUSAGE_SELF, &after);
            const long extra = sent == 1 ? after.ru_maxrss - before.ru_maxrss : -1;
            const bool written = write(fds[1], &extra, sizeof extra) == sizeof extra;
            _exit(written ? 0 : 1);
        }
        close(fds[1]);
        if (pid < 0 || read(fds[0], &extraKiB, sizeof extraKiB) != sizeof extraKiB) extraKiB = -1;
        close(fds[0]);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
    if (extraKiB < 0) state.SkipWithError("the child did not send its page");
    state.counters["dot_page_MiB"] = static_cast<double>(kDotBytes) / (1024.0 * 1024.0);
    state.counters["peak_extra_MiB"] = static_cast<double>(extraKiB) / 1024.0;
}
BENCHMARK_TEMPLATE(BM_SendPagePeakMemory, PLATFORM_C)->ArgName("blank")->Arg(0)->Arg(1)->Iterations(1);
BENCHMARK_TEMPLATE(BM_SendPagePeakMemory, PLATFORM_Z)->ArgName("blank")->Arg(0)->Arg(1)->Iterations(1);
BENCHMARK_TEMPLATE(BM_SendPagePeakMemory, PLATFORM_M)->ArgName("blank")->Arg(0)->Arg(1)->Iterations(1);

}  // namespace

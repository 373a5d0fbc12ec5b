// Whole-filter benchmark: runs the built rastertoNorvex as CUPS runs it on A4
// 600 dpi sample pages for each platform, and sets its time per page against
// the library floor, the time libcups and JBIG-KIT alone take for the same page;
// then our JBIG encoder against JBIG-KIT on the same dots and parameters.
//
// Usage: norvex_filter_bench --filter BIN --ppd-dir DIR --pages DIR --work DIR
//                            [--runs N] [--job-pages K] [--streams DIR] [--verbose]
//                            [--first-page-only]
// --pages DIR holds text.ras, mixed.ras and photo.ras (one A4 page each, 8-bit
// grey); the blank page is written here. bench/run.sh renders the pages and
// runs this program.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <cups/raster.h>

extern "C" {
#include <jbig.h>
}

#include "jbigCompress/jbig_compress.h"
#include "norvexdecode.h"

namespace {

struct PlatformCase {
    Platform platform;
    const char* name;
    const char* ppd;  // file in --ppd-dir
};

// One model of each controller platform.
const PlatformCase kPlatforms[] = {
    {PLATFORM_C, "C", "norvex-orvane-210.ppd"},
    {PLATFORM_Z, "Z", "norvex-kavrin.ppd"},
    {PLATFORM_M, "M", "norvex-lurran-3010.ppd"},
};

const char* const kPageKinds[] = {"text", "mixed", "photo", "blank"};

struct Args {
    std::string filter, ppdDir, pagesDir, workDir, streamsDir;
    int runs = 9;
    int jobPages = 8;
    bool verbose = false;  // every run on standard error
    bool firstPageOnly = false;  // only the time to the first page
};

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "norvex_filter_bench: %s\n", message.c_str());
    std::exit(2);
}

bool ParseArgs(int argc, char** argv, Args& args) {
    for (; argc > 1; --argc) {
        if (std::strcmp(argv[argc - 1], "--verbose") == 0)
            args.verbose = true;
        else if (std::strcmp(argv[argc - 1], "--first-page-only") == 0)
            args.firstPageOnly = true;
        else
            break;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--filter") args.filter = value;
        else if (key == "--ppd-dir") args.ppdDir = value;
        else if (key == "--pages") args.pagesDir = value;
        else if (key == "--work") args.workDir = value;
        else if (key == "--streams") args.streamsDir = value;
        else if (key == "--runs") args.runs = std::atoi(value.c_str());
        else if (key == "--job-pages") args.jobPages = std::atoi(value.c_str());
        else return false;
    }
    return argc % 2 == 1 && !args.filter.empty() && !args.ppdDir.empty() && !args.pagesDir.empty() &&
           !args.workDir.empty() && args.runs > 0 && args.jobPages > 1;
}

double Milliseconds(const timespec& a, const timespec& b) {
    return (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6;
}

// Wall and processor time of a stretch of work, in milliseconds.
struct Times {
    double wall = 0;
    double cpu = 0;
};

struct Stopwatch {
    timespec wall0, cpu0;
    Stopwatch() {
        clock_gettime(CLOCK_MONOTONIC, &wall0);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    }
    Times Elapsed() const {
        timespec wall1, cpu1;
        clock_gettime(CLOCK_MONOTONIC, &wall1);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
        return Times{Milliseconds(wall0, wall1), Milliseconds(cpu0, cpu1)};
    }
};

// ---- Raster files, through libcups's own reader and writer.

struct RasterPage {
    cups_page_header2_t header;
    std::vector<unsigned char> pixels;
};

RasterPage ReadFirstPage(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) Die("cannot open " + path);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    RasterPage page{};
    if (ras == nullptr || !cupsRasterReadHeader2(ras, &page.header)) Die("no raster page in " + path);
    const unsigned bytes = page.header.cupsBytesPerLine * page.header.cupsHeight;
    page.pixels.resize(bytes);
    if (cupsRasterReadPixels(ras, page.pixels.data(), bytes) != bytes) Die("short raster page in " + path);
    cupsRasterClose(ras);
    close(fd);
    return page;
}

// A job of `copies` times the page, written as CUPS's raster writer (and
// ghostscript's cups device) writes it: uncompressed.
void WriteJob(const std::string& path, RasterPage& page, int copies) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Die("cannot write " + path);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
    bool ok = ras != nullptr;
    for (int i = 0; ok && i < copies; ++i) {
        ok = cupsRasterWriteHeader2(ras, &page.header) &&
             cupsRasterWritePixels(ras, page.pixels.data(), page.pixels.size()) == page.pixels.size();
    }
    if (ras) cupsRasterClose(ras);
    if (close(fd) != 0 || !ok) Die("cannot write " + path);
}

// ---- The filter, started as CUPS starts it.
//
// A child's peak resident size counts what it shared with its parent when it
// was forked, even after exec. The filter is therefore started by a launcher
// forked before this program holds any page, and which stays that small.

struct FilterRun {
    Times time;
    long maxRssKiB = 0;
    int status = -1;
};

struct RunRequest {
    char options[256];
    int threads;  // NORVEX_THREADS; 0: not set (the filter's default)
    char ppd[1024];
    char raster[1024];
    char output[1024];
};

struct Launcher {
    pid_t pid = -1;
    int requests = -1;  // write end
    int replies = -1;   // read end
};

bool ReadAll(int fd, void* data, std::size_t size) {
    auto* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One run: argv of 6 entries and the raster file, the PPD named by the
// environment, the printer stream into `output`, the log dropped.
FilterRun SpawnFilter(const char* filter, const RunRequest& req) {
    const std::string ppdVar = std::string("PPD=") + req.ppd;
    const std::string threadsVar = "NORVEX_THREADS=" + std::to_string(req.threads);
    timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(req.output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        if (out < 0 || null < 0) _exit(126);
        dup2(null, 0);
        dup2(out, 1);
        dup2(null, 2);
        char* const argv[] = {const_cast<char*>(filter), const_cast<char*>("1"), const_cast<char*>("bench"),
                              const_cast<char*>("sample page"), const_cast<char*>("1"), const_cast<char*>(req.options),
                              const_cast<char*>(req.raster), nullptr};
        char* const envp[] = {const_cast<char*>(ppdVar.c_str()),
                              req.threads > 0 ? const_cast<char*>(threadsVar.c_str()) : nullptr, nullptr};
        execve(filter, argv, envp);
        _exit(127);
    }
    FilterRun run;
    if (pid < 0) return run;
    int status = 0;
    rusage usage{};
    // The filter's own resource use, as getrusage(RUSAGE_CHILDREN) gives it
    // for a process whose only child it was.
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) return run;
    clock_gettime(CLOCK_MONOTONIC, &end);
    run.time.wall = Milliseconds(start, end);
    run.time.cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.maxRssKiB = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

Launcher StartLauncher(const std::string& filter) {
    int requests[2], replies[2];
    if (pipe(requests) != 0 || pipe(replies) != 0) Die("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) Die("fork failed");
    if (pid == 0) {
        close(requests[1]);
        close(replies[0]);
        RunRequest req;
        while (ReadAll(requests[0], &req, sizeof req)) {
            const FilterRun run = SpawnFilter(filter.c_str(), req);
            if (!WriteAll(replies[1], &run, sizeof run)) break;
        }
        _exit(0);
    }
    close(requests[0]);
    close(replies[1]);
    return Launcher{pid, requests[1], replies[0]};
}

void StopLauncher(Launcher& launcher) {
    close(launcher.requests);
    close(launcher.replies);
    waitpid(launcher.pid, nullptr, 0);
}

FilterRun RunFilter(const Launcher& launcher, const std::string& ppd, const std::string& raster,
                    const std::string& output, const std::string& options = "", int threads = 0,
                    bool mustPrint = true) {
    RunRequest req{};
    if (options.size() >= sizeof req.options) Die("options too long");
    std::strcpy(req.options, options.c_str());
    req.threads = threads;
    if (ppd.size() >= sizeof req.ppd || raster.size() >= sizeof req.raster || output.size() >= sizeof req.output)
        Die("path too long");
    std::strcpy(req.ppd, ppd.c_str());
    std::strcpy(req.raster, raster.c_str());
    std::strcpy(req.output, output.c_str());
    FilterRun run;
    if (!WriteAll(launcher.requests, &req, sizeof req) || !ReadAll(launcher.replies, &run, sizeof run))
        Die("the launcher is gone");
    if (mustPrint && run.status != 0) Die("the filter failed (status " + std::to_string(run.status) + ") on " + raster);
    return run;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) Die("cannot read " + path);
    uint8_t buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    return bytes;
}

// The stream is checked as the printer would check it; its first page's dots
// are the image the floor encodes.
DecodedPage CheckStream(const std::string& path, int pages, bool keepDots) {
    const std::vector<uint8_t> stream = ReadFile(path);
    DecodeOptions options;
    options.keepBitmaps = keepDots;
    DecodeResult result = DecodeStream(stream.data(), stream.size(), options);
    const std::string summary = FormatSummary(result);
    if (!result.ok() || static_cast<int>(result.pages.size()) != pages ||
        (keepDots && !result.pages[0].complete))
        Die(path + " is not a well-formed stream of " + std::to_string(pages) + " pages: " + summary);
    return keepDots ? result.pages[0] : DecodedPage{};
}

// ---- The library floor.

// libcups reading every page of the job, line by line as a CUPS raster
// filter reads; the time per page. The job's file is read, like the filter
// reads it, so that neither finds its pages in the processor's caches.
Times FloorRead(const std::string& path, int pages, std::vector<unsigned char>& line) {
    const Stopwatch watch;
    const int fd = open(path.c_str(), O_RDONLY);
    cups_raster_t* ras = cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t header;
    for (int page = 0; page < pages; ++page) {
        if (ras == nullptr || !cupsRasterReadHeader2(ras, &header)) Die("cannot read " + path);
        line.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y)
            if (cupsRasterReadPixels(ras, line.data(), header.cupsBytesPerLine) == 0) Die("short page " + path);
    }
    cupsRasterClose(ras);
    close(fd);
    const Times total = watch.Elapsed();
    return Times{total.wall / pages, total.cpu / pages};
}

void CountBytes(unsigned char*, std::size_t len, void* total) { *static_cast<std::size_t*>(total) += len; }

std::size_t Encode(unsigned char* bits, unsigned long width, unsigned long rows, int order, int options,
                   unsigned long l0, int mx) {
    std::size_t total = 0;
    unsigned char* planes[1] = {bits};
    jbg_enc_state s;
    jbg_enc_init(&s, width, rows, 1, planes, CountBytes, &total);
    jbg_enc_layers(&s, 0);
    jbg_enc_lrange(&s, 0, -1);
    jbg_enc_options(&s, order, options, l0, mx, 0);
    jbg_enc_out(&s);
    jbg_enc_free(&s);
    return total;
}

// JBIG-KIT encoding the page's dots with the platform's parameters: Z in
// 256-line bands (order 3, options 0x58), C the whole page (L0 768, MX 8,
// order 0, options 0x08), M the whole page (L0 256, order 3, options 0x5C).
Times FloorJbig(Platform platform, DecodedPage& page) {
    const Stopwatch watch;
    const std::size_t stride = page.stride;
    const uint32_t width = page.width * static_cast<uint32_t>(page.bitsPerDot);  // in bits
    if (platform == PLATFORM_Z) {
        for (uint32_t top = 0; top < page.height; top += 256) {
            const uint32_t rows = std::min<uint32_t>(256, page.height - top);
            Encode(page.bits.data() + top * stride, width, rows, 3, 0x58, rows, 0);
        }
    } else if (platform == PLATFORM_C) {
        // The stripe is 768 lines at 600 dpi across, 384 at 1200 (twice as wide).
        Encode(page.bits.data(), width, page.height, 0, 0x08, width > 5000 ? 384 : 768, 8);
    } else {
        Encode(page.bits.data(), width, page.height, 3, 0x5C, 256, 0);
    }
    return watch.Elapsed();
}

// ---- Our encoder against JBIG-KIT, both behind the filter's compression
// entry, on the page's dots with the filter's parameters (as FloorJbig).

using Compress = int (*)(JBIG_BIH, uint8_t*, ByteBuffer*);

// The coded page: its bytes, which must be the same for both encoders.
std::vector<uint8_t> CodePage(Compress compress, Platform platform, DecodedPage& page) {
    const uint32_t width = page.width * static_cast<uint32_t>(page.bitsPerDot);
    JBIG_BIH bih{};
    bih.ParamP = 1;
    bih.ParamImgWidth = width;
    bih.ParamImgHeight = page.height;
    ByteBuffer out;
    if (platform == PLATFORM_Z) {
        bih.ParamOrder = 3;
        bih.ParamOption = 0x58;
        for (uint32_t top = 0; top < page.height; top += 256) {
            bih.ParamImgHeight = bih.ParamL0 = std::min<uint32_t>(256, page.height - top);
            if (!compress(bih, page.bits.data() + top * page.stride, &out)) Die("JBIG encoding failed");
        }
    } else {
        if (platform == PLATFORM_C) {
            bih.ParamL0 = width > 5000 ? 384 : 768;
            bih.ParamMx = 8;
            bih.ParamOption = 0x08;
        } else {
            bih.ParamL0 = 256;
            bih.ParamOrder = 3;
            bih.ParamOption = 0x5C;
        }
        if (!compress(bih, page.bits.data(), &out)) Die("JBIG encoding failed");
    }
    return std::vector<uint8_t>(out.data, out.data + out.size);
}

// Processor time per page of `reps` codings.
double CodingCpuMs(Compress compress, Platform platform, DecodedPage& page, int reps) {
    const Stopwatch watch;
    for (int k = 0; k < reps; ++k) CodePage(compress, platform, page);
    return watch.Elapsed().cpu / reps;
}

// ---- Measurement and report.

// Per page kind: the filter on its default threads and on one (NORVEX_THREADS=1).
struct Row {
    std::string kind;
    double filterMs = 0, seqFilterMs = 0;  // per page, once the job runs
    double cpuMs = 0, seqCpuMs = 0;        // processor time per page (user + system)
    double readMs = 1e300, jbigMs = 1e300;
    double kitCpuMs = 1e300, oursCpuMs = 1e300;  // JBIG coding alone, processor time per page
    double firstPageMs = 1e300, seqFirstPageMs = 1e300;  // a one-page job, start-up included
    double peakMiB = 0, jobPeakMiB = 0;                  // of a one-page job, of the whole job
    double Floor() const { return readMs + jbigMs; }
};

// One page kind on one platform.
struct Cell {
    const PlatformCase* pc;
    std::string kind, onePage, jobFile, ppd, options;
    DecodedPage dots;
    Row row;
    double fastestJobMs = 1e300, seqFastestJobMs = 1e300;
    double jobCpuMs = 1e300, seqJobCpuMs = 1e300, oneCpuMs = 1e300, seqOneCpuMs = 1e300;
};

// The first runs keep the streams, which are checked, and warm the caches.
Cell PrepareCell(const Args& args, const Launcher& launcher, const PlatformCase& pc, const std::string& kind,
                 const std::string& onePage, const std::string& jobFile, const std::string& options) {
    Cell cell{&pc, kind, onePage, jobFile, args.ppdDir + "/" + pc.ppd, options, {}, {}};
    cell.row.kind = kind;
    const std::string streams = args.streamsDir.empty() ? args.workDir : args.streamsDir;
    const std::string oneOut = streams + "/" + pc.name + "-" + kind + ".prn";
    const std::string jobOut = streams + "/" + pc.name + "-" + kind + "-x" + std::to_string(args.jobPages) + ".prn";
    RunFilter(launcher, cell.ppd, onePage, oneOut, options);
    RunFilter(launcher, cell.ppd, jobFile, jobOut, options);
    cell.dots = CheckStream(oneOut, 1, true);
    CheckStream(jobOut, args.jobPages, false);
    if (CodePage(JBIGCompress, pc.platform, cell.dots) != CodePage(JBIGCompressWithJbigkit, pc.platform, cell.dots))
        Die(std::string(pc.name) + " " + kind + ": our JBIG encoder and JBIG-KIT write different bytes");
    return cell;
}

// Other work on the machine only ever slows a run down, at times by half: the
// fastest of several runs is the nearest to the cost of the work itself, for
// the filter and for the floor alike. The runs of all pages and platforms take
// turns, so that a busy spell does not fall on one of them alone.
void Sample(const Args& args, const Launcher& launcher, Cell& cell, int run) {
    Row& row = cell.row;
    std::vector<unsigned char> line;
    const Times read = FloorRead(cell.jobFile, args.jobPages, line);
    Times jbig;
    for (int k = 0; k < args.jobPages; ++k) {
        const Times page = FloorJbig(cell.pc->platform, cell.dots);
        jbig.wall += page.wall / args.jobPages;
        jbig.cpu += page.cpu / args.jobPages;
    }
    row.readMs = std::min(row.readMs, read.wall);
    row.jbigMs = std::min(row.jbigMs, jbig.wall);
    // Turn about, so that a busy spell of the machine does not fall on one alone.
    constexpr int kCodings = 3;
    row.kitCpuMs = std::min(row.kitCpuMs, CodingCpuMs(JBIGCompressWithJbigkit, cell.pc->platform, cell.dots, kCodings));
    row.oursCpuMs = std::min(row.oursCpuMs, CodingCpuMs(JBIGCompress, cell.pc->platform, cell.dots, kCodings));
    if (args.verbose)
        std::fprintf(stderr, "%s %-5s run %d: floor %.1f + %.1f ms (cpu %.1f + %.1f)\n", cell.pc->name,
                     cell.kind.c_str(), run, read.wall, jbig.wall, read.cpu, jbig.cpu);
    const FilterRun one = RunFilter(launcher, cell.ppd, cell.onePage, "/dev/null", cell.options);
    const FilterRun job = RunFilter(launcher, cell.ppd, cell.jobFile, "/dev/null", cell.options);
    const FilterRun seqOne = RunFilter(launcher, cell.ppd, cell.onePage, "/dev/null", cell.options, 1);
    const FilterRun seqJob = RunFilter(launcher, cell.ppd, cell.jobFile, "/dev/null", cell.options, 1);
    row.firstPageMs = std::min(row.firstPageMs, one.time.wall);
    row.seqFirstPageMs = std::min(row.seqFirstPageMs, seqOne.time.wall);
    cell.fastestJobMs = std::min(cell.fastestJobMs, job.time.wall);
    cell.seqFastestJobMs = std::min(cell.seqFastestJobMs, seqJob.time.wall);
    cell.oneCpuMs = std::min(cell.oneCpuMs, one.time.cpu);
    cell.seqOneCpuMs = std::min(cell.seqOneCpuMs, seqOne.time.cpu);
    cell.jobCpuMs = std::min(cell.jobCpuMs, job.time.cpu);
    cell.seqJobCpuMs = std::min(cell.seqJobCpuMs, seqJob.time.cpu);
    row.peakMiB = std::max(row.peakMiB, one.maxRssKiB / 1024.0);
    row.jobPeakMiB = std::max(row.jobPeakMiB, job.maxRssKiB / 1024.0);
    // Start-up and the job's opening and close are in both jobs: what is left
    // is what every further page costs.
    const int more = args.jobPages - 1;
    row.filterMs = (cell.fastestJobMs - row.firstPageMs) / more;
    row.seqFilterMs = (cell.seqFastestJobMs - row.seqFirstPageMs) / more;
    row.cpuMs = (cell.jobCpuMs - cell.oneCpuMs) / more;
    row.seqCpuMs = (cell.seqJobCpuMs - cell.seqOneCpuMs) / more;
    if (args.verbose)
        std::fprintf(stderr, "%s %-10s run %d: 1-page job %.1f ms (seq %.1f), %d-page job %.1f ms (seq %.1f)\n",
                     cell.pc->name, cell.kind.c_str(), run, one.time.wall, seqOne.time.wall, args.jobPages,
                     job.time.wall, seqJob.time.wall);
}

// Start-up and close of the filter alone: a job with no page (the filter says
// so and exits 1), fastest of the runs.
double StartUpMs(const Args& args, const Launcher& launcher, const PlatformCase& pc, const std::string& empty) {
    double fastest = 1e300;
    for (int r = 0; r < args.runs; ++r)
        fastest = std::min(fastest, RunFilter(launcher, args.ppdDir + "/" + pc.ppd, empty, "/dev/null", "", 0,
                                              false).time.wall);
    return fastest;
}

// ---- Time to the first page.
//
// A renderer hands the filter page 1 whole and then stops in the middle of a
// line of page 2 (a heavy page still being rendered). The time from page 1's
// last raster line reaching the filter's input to page 1's page end on the
// printer stream; kStallLimitMs when it does not come while page 2 waits.

constexpr double kStallLimitMs = 5000;
constexpr std::size_t kRasterSyncBytes = 4, kRasterHeaderBytes = 1796;

double FirstPageMs(const Args& args, const std::string& filter, const std::string& ppd,
                   const std::vector<uint8_t>& job, std::size_t pageBytes, std::size_t lineBytes,
                   int threads) {
    const std::string output = args.workDir + "/first-page.prn";
    int input[2];
    if (pipe(input) != 0) Die("pipe failed");
    const std::string ppdVar = "PPD=" + ppd;
    const std::string threadsVar = "NORVEX_THREADS=" + std::to_string(threads);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        if (out < 0 || null < 0) _exit(126);
        dup2(input[0], 0);
        dup2(out, 1);
        dup2(null, 2);
        close(input[0]);
        close(input[1]);
        char* const argv[] = {const_cast<char*>(filter.c_str()), const_cast<char*>("1"), const_cast<char*>("bench"),
                              const_cast<char*>("stalled page"), const_cast<char*>("1"), const_cast<char*>(""),
                              nullptr};
        char* const envp[] = {const_cast<char*>(ppdVar.c_str()), const_cast<char*>(threadsVar.c_str()), nullptr};
        execve(filter.c_str(), argv, envp);
        _exit(127);
    }
    close(input[0]);
    const std::size_t pageOneEnd = kRasterSyncBytes + kRasterHeaderBytes + pageBytes;
    const std::size_t stall = pageOneEnd + kRasterHeaderBytes + pageBytes / 2 + lineBytes / 2;
    if (!WriteAll(input[1], job.data(), pageOneEnd)) Die("the filter stopped reading");
    const Stopwatch watch;
    if (!WriteAll(input[1], job.data() + pageOneEnd, stall - pageOneEnd)) Die("the filter stopped reading");
    double ms = kStallLimitMs;
    while (watch.Elapsed().wall < kStallLimitMs) {
        const std::vector<uint8_t> stream = ReadFile(output);
        DecodeOptions options;
        options.keepBitmaps = false;
        const DecodeResult result = DecodeStream(stream.data(), stream.size(), options);
        if (!result.pages.empty() && result.pages[0].complete) {
            ms = watch.Elapsed().wall;
            break;
        }
        usleep(500);
    }
    if (!WriteAll(input[1], job.data() + stall, job.size() - stall)) Die("the filter stopped reading");
    close(input[1]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) Die("waitpid failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("the filter failed on the stalled job");
    unlink(output.c_str());
    return ms;
}

void PrintFirstPage(const Args& args, const std::string& filter) {
    RasterPage text = ReadFirstPage(args.pagesDir + "/text.ras");
    RasterPage photo = ReadFirstPage(args.pagesDir + "/photo.ras");
    const std::string path = args.workDir + "/job-stalled.ras";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    cups_raster_t* ras = fd >= 0 ? cupsRasterOpen(fd, CUPS_RASTER_WRITE) : nullptr;
    bool ok = ras != nullptr;
    for (RasterPage* page : {&text, &photo})
        ok = ok && cupsRasterWriteHeader2(ras, &page->header) &&
             cupsRasterWritePixels(ras, page->pixels.data(), page->pixels.size()) == page->pixels.size();
    if (ras) cupsRasterClose(ras);
    if (fd < 0 || close(fd) != 0 || !ok) Die("cannot write " + path);
    const std::vector<uint8_t> job = ReadFile(path);
    unlink(path.c_str());
    if (text.pixels.size() != photo.pixels.size() ||
        job.size() != kRasterSyncBytes + 2 * (kRasterHeaderBytes + text.pixels.size()))
        Die("unexpected raster layout in " + path);
    signal(SIGPIPE, SIG_IGN);
    std::printf("\nTime to the first page: page 1 (text) written whole, page 2 (photo) stopped in the "
                "middle of a line;\nfrom page 1's last raster line to its page end on the printer stream, "
                "fastest of %d runs; par: NORVEX_THREADS=2, seq: 1 (%.0f: not while page 2 waits)\n\n",
                std::min(args.runs, 3), kStallLimitMs);
    std::printf("| platform | par ms | seq ms |\n|----------|-------:|-------:|\n");
    for (const PlatformCase& pc : kPlatforms) {
        double par = kStallLimitMs, seq = kStallLimitMs;
        for (int r = 0; r < std::min(args.runs, 3); ++r) {
            par = std::min(par, FirstPageMs(args, filter, args.ppdDir + "/" + pc.ppd, job, text.pixels.size(),
                                            text.header.cupsBytesPerLine, 2));
            seq = std::min(seq, FirstPageMs(args, filter, args.ppdDir + "/" + pc.ppd, job, text.pixels.size(),
                                            text.header.cupsBytesPerLine, 1));
        }
        std::printf("| %-8s | %6.1f | %6.1f |\n", pc.name, par, seq);
    }
    std::fflush(stdout);
}

void PrintTable(const PlatformCase& pc, const std::vector<Cell>& cells, const Args& args, double startUpMs) {
    std::printf("\nPlatform %s (%s), A4, fastest of %d runs; par: default threads, seq: NORVEX_THREADS=1;\n"
                "start-up (a job with no page) %.1f ms; the 1-page ratio leaves it out\n\n",
                pc.name, pc.ppd, args.runs, startUpMs);
    std::printf("| page       | floor ms/page (read + JBIG) | par ms/page | ratio | seq ms/page | ratio "
                "| cpu ms/page par / seq | 1-page job ms par / seq | ratio | peak RSS MiB 1 page / job |\n");
    std::printf("|------------|----------------------------:|------------:|------:|------------:|------:"
                "|----------------------:|------------------------:|------:|--------------------------:|\n");
    for (const Cell& cell : cells) {
        if (cell.pc != &pc) continue;
        const Row& r = cell.row;
        std::printf("| %-10s | %10.1f (%5.1f + %5.1f) | %11.1f | %5.2f | %11.1f | %5.2f | %10.1f / %8.1f "
                    "| %11.1f / %9.1f | %5.2f | %12.1f / %10.1f |\n",
                    r.kind.c_str(), r.Floor(), r.readMs, r.jbigMs, r.filterMs, r.filterMs / r.Floor(),
                    r.seqFilterMs, r.seqFilterMs / r.Floor(), r.cpuMs, r.seqCpuMs, r.firstPageMs,
                    r.seqFirstPageMs, (r.firstPageMs - startUpMs) / r.Floor(), r.peakMiB, r.jobPeakMiB);
    }
    std::printf("\nJBIG coding alone on the page's dots, platform %s's parameters, the same bytes "
                "(checked), processor time per page, fastest of %d runs\n\n", pc.name, args.runs);
    std::printf("| page       | JBIG-KIT cpu ms | ours cpu ms | ours / JBIG-KIT |\n");
    std::printf("|------------|----------------:|------------:|----------------:|\n");
    for (const Cell& cell : cells) {
        if (cell.pc != &pc) continue;
        const Row& r = cell.row;
        std::printf("| %-10s | %15.2f | %11.2f | %15.2f |\n", r.kind.c_str(), r.kitCpuMs, r.oursCpuMs,
                    r.kitCpuMs > 0 ? r.oursCpuMs / r.kitCpuMs : 0.0);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (!ParseArgs(argc, argv, args)) {
        std::fputs("usage: norvex_filter_bench --filter BIN --ppd-dir DIR --pages DIR --work DIR "
                   "[--runs N] [--job-pages K] [--streams DIR] [--verbose] [--first-page-only]\n",
                   stderr);
        return 2;
    }
    if (args.firstPageOnly) {
        PrintFirstPage(args, args.filter);
        return 0;
    }
    Launcher launcher = StartLauncher(args.filter);
    std::printf("Whole filter per page: (time of a %d-page job - time of a 1-page job) / %d.\n"
                "Floor: libcups reading the page line by line + JBIG-KIT encoding its dots.\n",
                args.jobPages, args.jobPages - 1);

    std::vector<std::string> files;
    std::vector<Cell> cells;
    // Kinds at 600 dpi, then the 1200 dpi pages: C at 1200 x 600 (its own
    // rendering, kind-1200.ras, twice as wide) and M with DPI1200 (2 bits a dot).
    for (int hi = 0; hi < 2; ++hi) {
        for (const char* kind : kPageKinds) {
            const bool blank = std::strcmp(kind, "blank") == 0;
            const std::string suffix = hi ? "-1200" : "";
            RasterPage page = ReadFirstPage(args.pagesDir + "/" + (blank ? "text" : kind) + suffix + ".ras");
            if (blank) std::fill(page.pixels.begin(), page.pixels.end(), 0xFF);
            const std::string name = std::string(kind) + suffix;
            const std::string onePage = args.workDir + "/job-" + name + "-x1.ras";
            const std::string jobFile = args.workDir + "/job-" + name + "-x" + std::to_string(args.jobPages) + ".ras";
            WriteJob(onePage, page, 1);
            WriteJob(jobFile, page, args.jobPages);
            files.push_back(onePage);
            files.push_back(jobFile);
            for (const PlatformCase& pc : kPlatforms) {
                if (!hi) {
                    cells.push_back(PrepareCell(args, launcher, pc, kind, onePage, jobFile, ""));
                } else if (pc.platform == PLATFORM_C) {
                    cells.push_back(PrepareCell(args, launcher, pc, name, onePage, jobFile, ""));
                }
            }
            if (hi) {
                // M at DPI1200 takes the 600 dpi page.
                const std::string lowOne = args.workDir + "/job-" + kind + "-x1.ras";
                const std::string lowJob = args.workDir + "/job-" + kind + "-x" + std::to_string(args.jobPages) + ".ras";
                cells.push_back(PrepareCell(args, launcher, kPlatforms[2], std::string(kind) + "-2bit", lowOne,
                                            lowJob, "DPI1200"));
            }
        }
    }
    for (int r = 1; r <= args.runs; ++r)
        for (Cell& cell : cells) Sample(args, launcher, cell, r);
    const std::string empty = args.workDir + "/job-none.ras";
    RasterPage none = ReadFirstPage(args.pagesDir + "/text.ras");
    WriteJob(empty, none, 0);
    files.push_back(empty);
    std::vector<double> startUp;
    for (const PlatformCase& pc : kPlatforms) startUp.push_back(StartUpMs(args, launcher, pc, empty));
    StopLauncher(launcher);
    for (const std::string& file : files) unlink(file.c_str());
    for (std::size_t i = 0; i < std::size(kPlatforms); ++i) PrintTable(kPlatforms[i], cells, args, startUp[i]);
    PrintFirstPage(args, args.filter);
    return 0;
}

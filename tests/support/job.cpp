// The one way the tests build and run a job, and the halftone reference.
#include "support/job.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "rastertoNorvex/job.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The file's first line starting with `prefix`; "" if none.
std::string FirstLine(const std::string& path, const std::string& prefix) {
    for (const std::string& line : Lines(ReadAll(path)))
        if (StartsWith(line, prefix)) return line;
    return "";
}

// Starts the program with standard input from `inputFd` (or the invocation's
// file) and the output in files of `dir`.
pid_t Start(const Job& inv, const TempDir& dir, int inputFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = inputFd >= 0 ? inputFd : open(inv.input.empty() ? "/dev/null" : inv.input.c_str(), O_RDONLY);
    int out = open(dir.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int gone[2];
    if (inv.closedOutput && pipe(gone) == 0) {
        close(gone[0]);
        out = gone[1];
    }
    const int err = open(dir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (inv.ppd.empty())
        unsetenv("PPD");
    else
        setenv("PPD", inv.ppd.c_str(), 1);
    for (const auto& e : inv.env) putenv(const_cast<char*>(e.c_str()));
    signal(SIGPIPE, SIG_DFL);  // as CUPS starts its filters, whatever the test ignores
    if (inv.noKeepAlive) {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        sigprocmask(SIG_BLOCK, &alarm, nullptr);
    }
    std::vector<char*> argv = {const_cast<char*>(inv.program.c_str())};
    for (const auto& a : inv.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(inv.program.c_str(), argv.data());
    _exit(127);
}

JobRun Collect(pid_t pid, const TempDir& dir) {
    JobRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::string out = ReadAll(dir.File("stdout"));
    run.out.assign(out.begin(), out.end());
    run.err = ReadAll(dir.File("stderr"));
    run.errLines = Lines(run.err);
    return run;
}

std::vector<uint8_t> gInProcessOut;
std::size_t gInProcessLimit = SIZE_MAX;
int gWritesAfterClose = -1;  // -1: the connection is open

// The printer takes blocks until the stream would pass the limit; that block
// and every later one fail as a closed connection does.
std::size_t KeepOutput(const void* data, std::size_t count) {
    if (gWritesAfterClose >= 0 || gInProcessOut.size() + count > gInProcessLimit) {
        ++gWritesAfterClose;
        errno = EPIPE;
        return 0;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    gInProcessOut.insert(gInProcessOut.end(), p, p + count);
    return 1;
}

JobRun RunInProcess(const Job& inv) {
    std::vector<std::string> args = inv.args;
    args.insert(args.begin(), inv.program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;  // restored after the job
    for (const std::string& e : inv.env) {
        const std::string name = e.substr(0, e.find('='));
        const char* old = std::getenv(name.c_str());
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), e.substr(name.size() + 1).c_str(), 1);
    }
    JobRequest request;
    request.argc = static_cast<int>(args.size());
    request.argv = argv.data();
    request.ppdPath = inv.ppd.empty() ? nullptr : inv.ppd.c_str();
    request.input = open(inv.input.empty() ? "/dev/null" : inv.input.c_str(), O_RDONLY);
    request.output = KeepOutput;
    request.interactive = false;
    gInProcessOut.clear();
    gInProcessLimit = inv.outputLimit;
    gWritesAfterClose = -1;
    JobRun run;
    // The job catches SIGTERM; a child forked later must not show that handler
    // before its own program has installed one.
    struct sigaction term {};
    sigaction(SIGTERM, nullptr, &term);
    testing::internal::CaptureStderr();
    run.status = RunJob(request);
    sigaction(SIGTERM, &term, nullptr);
    run.err = testing::internal::GetCapturedStderr();
    run.errLines = Lines(run.err);
    run.out = gInProcessOut;
    run.writesAfterClose = std::max(gWritesAfterClose, 0);
    close(request.input);
    for (const auto& [name, value] : saved) value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    return run;
}

// The printer's 600 dpi screen as its data sheet prints it: rows 0 to 7; rows 8
// to 15 are rows 0 to 7 with their halves exchanged.
constexpr uint8_t kScreen600[8][16] = {
    {6, 82, 233, 254, 251, 226, 70, 5, 7, 85, 235, 255, 252, 228, 73, 5},
    {55, 121, 165, 218, 211, 152, 114, 49, 57, 122, 167, 220, 213, 156, 115, 47},
    {199, 134, 105, 41, 27, 95, 126, 192, 202, 136, 107, 45, 31, 97, 123, 190},
    {243, 180, 18, 3, 1, 13, 172, 238, 244, 182, 19, 3, 1, 12, 170, 237},
    {248, 222, 65, 4, 10, 79, 232, 253, 250, 224, 67, 4, 9, 76, 230, 252},
    {208, 145, 109, 53, 62, 119, 162, 216, 210, 149, 112, 51, 59, 117, 159, 215},
    {22, 88, 131, 197, 206, 142, 102, 38, 24, 91, 128, 195, 204, 139, 100, 34},
    {2, 16, 177, 241, 247, 187, 21, 2, 1, 15, 175, 240, 245, 185, 20, 2},
};

unsigned Threshold(unsigned row, unsigned column) {
    return kScreen600[row % 8][(column + (row % 16 >= 8 ? 8 : 0)) % 16];
}

// The 2-bit dot of a tone code: 0, then 1 up to 23, 2 up to 63, 3 above.
unsigned TwoBitDot(int code) { return code == 0 ? 0 : code <= 23 ? 1 : code <= 63 ? 2 : 3; }

}  // namespace

bool JobRun::HasLine(const std::string& line) const {
    return std::find(errLines.begin(), errLines.end(), line) != errLines.end();
}

int JobRun::CountLinesStartingWith(const std::string& prefix) const {
    return static_cast<int>(
        std::count_if(errLines.begin(), errLines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }));
}

TempDir::TempDir() {
    char pattern[] = "/tmp/norvex-test.XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

JobRun Execute(const Job& inv) {
    if (inv.inProcess) return RunInProcess(inv);
    TempDir scratch;
    return Collect(Start(inv, scratch, -1), scratch);
}

FilterProcess::FilterProcess(const Job& invocation) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;  // the program keeps only its read end, as fd 0
    signal(SIGPIPE, SIG_IGN);                // Feed fails instead when it stops reading
    pid_ = Start(invocation, scratch_, fds[0]);
    close(fds[0]);
    input_ = fds[1];
}

FilterProcess::~FilterProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (input_ >= 0) close(input_);
}

bool FilterProcess::Feed(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0 && input_ >= 0) {
        const ssize_t n = write(input_, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return input_ >= 0;
}

// Polls `done` every 5 ms until it holds or `timeoutMs` have passed.
static bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 5, usleep(5000))
        if (done()) return true;
    return false;
}

bool FilterProcess::WaitForLine(const std::string& prefix, int timeoutMs) {
    return WaitFor([&] { return !FirstLine(scratch_.File("stderr"), prefix).empty(); }, timeoutMs);
}

bool FilterProcess::WaitForOutput(const std::function<bool(const std::vector<uint8_t>&)>& done, int timeoutMs) {
    return WaitFor([&] {
        const std::string out = ReadAll(scratch_.File("stdout"));
        return done(std::vector<uint8_t>(out.begin(), out.end()));
    }, timeoutMs);
}

bool FilterProcess::WaitForTermHandler(int timeoutMs) {
    return WaitFor([&] {
        const std::string caught = FirstLine("/proc/" + std::to_string(pid_) + "/status", "SigCgt:");
        return !caught.empty() && (std::stoull(caught.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) == 1;
    }, timeoutMs);
}

void FilterProcess::Signal(int signal) { kill(pid_, signal); }

JobRun FilterProcess::Finish() {
    if (input_ >= 0) close(input_);
    input_ = -1;
    JobRun run = Collect(pid_, scratch_);
    pid_ = -1;
    return run;
}

Job PrinterJob(const TempDir& dir, const PPDFixture& ppd, const std::vector<RasterPage>& pages,
               const std::string& options) {
    Job job;
    job.ppd = WritePPD(dir.File("printer.ppd"), ppd);
    job.args[4] = options;
    job.input = dir.File("job.ras");
    if (!WriteRaster(job.input, pages)) ADD_FAILURE() << "libcups refused the raster";
    std::filesystem::create_directory(dir.File("spool"));
    job.env.push_back("TMPDIR=" + dir.File("spool"));
    return job;
}

std::vector<int> JobRun::PageOrder() const {
    std::vector<int> order;
    for (const DecodedPage& page : decoded.pages) order.push_back(page.pageNum);
    return order;
}

std::vector<std::string> JobRun::Commands(const std::string& name) const {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(listing)) {
        std::istringstream fields(line);
        std::string offset, command;
        fields >> offset >> command;
        if (command == name) lines.push_back(line);
    }
    return lines;
}

std::string Listing(const std::vector<uint8_t>& stream, DecodeResult* decoded, DecodeOptions options) {
    char* text = nullptr;
    std::size_t size = 0;
    options.listing = open_memstream(&text, &size);
    DecodeResult result = DecodeStream(stream.data(), stream.size(), options);
    std::fclose(options.listing);
    std::string listing(text, size);
    std::free(text);
    if (decoded) *decoded = std::move(result);
    return listing;
}

bool JobRun::Lists(const std::string& name, const std::string& fields) const {
    const std::vector<std::string> lines = Commands(name);
    return !lines.empty() && std::all_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(fields) != std::string::npos;
    });
}

JobRun Print(const Job& job) {
    JobRun run = Execute(job);
    run.listing = Listing(run.out, &run.decoded);
    for (const DecodeError& e : run.decoded.errors) ADD_FAILURE() << "malformed at " << e.offset << ": " << e.message;
    return run;
}

JobRun RunDecoder(const std::vector<std::string>& args, const std::vector<uint8_t>& input) {
    Job job;
    job.program = NORVEXDECODE_BIN;
    job.args = args;
    FilterProcess process(job);
    process.Feed(input.data(), input.size());  // fails harmlessly if it stops reading early
    return process.Finish();
}

std::string RasterBytes(const Job& job) { return ReadAll(job.input); }

// Ordered dither against the 600 dpi screen, tiled from the top left corner,
// written out from the printer's halftone rule one dot at a time: a dot where
// the grey is below the threshold; 2 bits on PLATFORM_M at 1200 dpi from the
// tone code 255 - grey - threshold (255 for black); negative print inverts
// every dot.
std::vector<uint8_t> ExpectedDots(const std::vector<uint8_t>& grey, unsigned w, unsigned h,
                                  int platform, int negative, int dpi1200) {
    const bool twoBit = platform == 3 && dpi1200 == 1;
    if (dpi1200 != 0 && !twoBit) ADD_FAILURE() << "no reference for the 1200 dpi screens";
    if (w % 16 != 0) ADD_FAILURE() << "the reference tiles whole 16-dot cells";
    const unsigned bits = twoBit ? 2 : 1;
    std::vector<uint8_t> dots(std::size_t{w} * h * bits / 8, 0);
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            const int v = grey[std::size_t{y} * w + x];
            const int t = static_cast<int>(Threshold(y, x));
            unsigned dot;
            if (twoBit) {
                const int code = v == 0 ? 255 : std::max(0, 255 - v - t);
                dot = TwoBitDot(code);
                if (negative) dot = 3 - dot;
            } else {
                dot = v < t ? 1 : 0;
                if (negative) dot ^= 1;
            }
            const std::size_t bit = (std::size_t{y} * w + x) * bits;
            dots[bit / 8] |= static_cast<uint8_t>(dot << (8 - bits - bit % 8));
        }
    }
    return dots;
}

std::vector<uint8_t> PageBits(const DecodedPage& page) {
    const std::size_t row = std::size_t{page.width} * page.bitsPerDot / 8;
    std::vector<uint8_t> bits;
    bits.reserve(row * page.height);
    for (uint32_t y = 0; y < page.height; ++y) {
        const auto start = page.bits.begin() + std::size_t{y} * page.stride;
        bits.insert(bits.end(), start, start + row);
    }
    return bits;
}

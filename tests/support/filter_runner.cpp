// Runs the built filter as CUPS does and captures what it writes.
#include "support/filter_runner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sched.h>
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

// Starts the program with standard input from `inputFd` (or the invocation's
// file) and the output in files of `dir`.
pid_t Start(const FilterInvocation& inv, const TempDir& dir, int inputFd) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int in = inputFd >= 0 ? inputFd : open(inv.stdinPath.empty() ? "/dev/null" : inv.stdinPath.c_str(), O_RDONLY);
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
    if (inv.emptyHostName && (unshare(CLONE_NEWUTS) != 0 || sethostname("", 0) != 0)) _exit(125);
    std::vector<char*> argv = {const_cast<char*>(inv.program.c_str())};
    for (const auto& a : inv.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(inv.program.c_str(), argv.data());
    _exit(127);
}

FilterRun Collect(pid_t pid, const TempDir& dir) {
    FilterRun run;
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

// The printer takes blocks until the stream would pass the limit; that block
// and every later one fail as a closed connection does.
std::size_t KeepOutput(const void* data, std::size_t count) {
    if (gInProcessOut.size() + count > gInProcessLimit) {
        gInProcessLimit = 0;
        errno = EPIPE;
        return 0;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    gInProcessOut.insert(gInProcessOut.end(), p, p + count);
    return 1;
}

FilterRun RunInProcess(const FilterInvocation& inv) {
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
    request.input = open(inv.stdinPath.empty() ? "/dev/null" : inv.stdinPath.c_str(), O_RDONLY);
    request.output = KeepOutput;
    request.interactive = false;
    gInProcessOut.clear();
    gInProcessLimit = inv.outputLimit;
    FilterRun run;
    testing::internal::CaptureStderr();
    run.status = RunJob(request);
    run.err = testing::internal::GetCapturedStderr();
    run.errLines = Lines(run.err);
    run.out = gInProcessOut;
    close(request.input);
    for (const auto& [name, value] : saved) value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    return run;
}

}  // namespace

bool FilterRun::HasLine(const std::string& line) const {
    return std::find(errLines.begin(), errLines.end(), line) != errLines.end();
}

int FilterRun::CountLinesStartingWith(const std::string& prefix) const {
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

FilterRun RunFilter(const FilterInvocation& inv) {
    if (inv.inProcess) return RunInProcess(inv);
    TempDir scratch;
    return Collect(Start(inv, scratch, -1), scratch);
}

FilterProcess::FilterProcess(const FilterInvocation& invocation) {
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

bool FilterProcess::WaitForLine(const std::string& prefix, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10, usleep(10000)) {
        const std::vector<std::string> lines = Lines(ReadAll(scratch_.File("stderr")));
        if (std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }))
            return true;
    }
    return false;
}

bool FilterProcess::WaitForOutput(const std::function<bool(const std::vector<uint8_t>&)>& done,
                                  int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10, usleep(10000)) {
        const std::string out = ReadAll(scratch_.File("stdout"));
        if (done(std::vector<uint8_t>(out.begin(), out.end()))) return true;
    }
    return false;
}

bool FilterProcess::WaitForTermHandler(int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 5, usleep(5000)) {
        for (const std::string& line : Lines(ReadAll("/proc/" + std::to_string(pid_) + "/status")))
            if (StartsWith(line, "SigCgt:") && (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1))
                return true;
    }
    return false;
}

void FilterProcess::Signal(int signal) { kill(pid_, signal); }

FilterRun FilterProcess::Finish() {
    if (input_ >= 0) close(input_);
    input_ = -1;
    FilterRun run = Collect(pid_, scratch_);
    pid_ = -1;
    return run;
}

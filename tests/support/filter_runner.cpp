// Runs the built filter as CUPS does and captures what it writes.
#include "support/filter_runner.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

bool FilterRun::HasLine(const std::string& line) const {
    for (const auto& l : errLines)
        if (l == line) return true;
    return false;
}

int FilterRun::CountLinesStartingWith(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : errLines)
        if (l.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
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

namespace {

// Starts the filter with standard input from `inputFd` (or the invocation's
// file) and the output in files of `dir`.
pid_t StartFilter(const FilterInvocation& inv, const TempDir& dir, int inputFd) {
    const std::string outPath = dir.File("stdout");
    const std::string errPath = dir.File("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = inputFd >= 0 ? inputFd
                                    : open(inv.stdinPath.empty() ? "/dev/null" : inv.stdinPath.c_str(),
                                           O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (inv.ppd.empty())
            unsetenv("PPD");
        else
            setenv("PPD", inv.ppd.c_str(), 1);
        for (const auto& e : inv.env) putenv(const_cast<char*>(e.c_str()));
        if (inv.emptyHostName && (unshare(CLONE_NEWUTS) != 0 || sethostname("", 0) != 0)) _exit(125);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(inv.program.c_str()));
        for (const auto& a : inv.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(inv.program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

FilterRun Collect(pid_t pid, const TempDir& dir) {
    const std::string outPath = dir.File("stdout");
    const std::string errPath = dir.File("stderr");
    FilterRun run;
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::string out = ReadAll(outPath);
    run.out.assign(out.begin(), out.end());
    run.err = ReadAll(errPath);
    std::istringstream lines(run.err);
    for (std::string line; std::getline(lines, line);) run.errLines.push_back(line);
    return run;
}

}  // namespace

FilterRun RunFilter(const FilterInvocation& inv) {
    TempDir scratch;
    return Collect(StartFilter(inv, scratch, -1), scratch);
}

FilterProcess::FilterProcess(const FilterInvocation& invocation) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;  // the filter keeps only its read end, as fd 0
    signal(SIGPIPE, SIG_IGN);
    pid_ = StartFilter(invocation, scratch_, fds[0]);
    close(fds[0]);
    input_ = fds[1];
}

FilterProcess::~FilterProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    CloseInput();
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

void FilterProcess::CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

bool FilterProcess::WaitForLine(const std::string& prefix, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        std::istringstream lines(ReadAll(scratch_.File("stderr")));
        for (std::string line; std::getline(lines, line);)
            if (line.compare(0, prefix.size(), prefix) == 0) return true;
        usleep(10000);
    }
    return false;
}

bool FilterProcess::WaitForTermHandler(int timeoutMs) {
    const std::string status = "/proc/" + std::to_string(pid_) + "/status";
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        std::istringstream lines(ReadAll(status));
        for (std::string line; std::getline(lines, line);) {
            if (line.compare(0, 7, "SigCgt:") != 0) continue;
            const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
            if (mask & (1ULL << (SIGTERM - 1))) return true;
        }
        usleep(5000);
    }
    return false;
}

void FilterProcess::Signal(int signal) { kill(pid_, signal); }

FilterRun FilterProcess::Finish() {
    CloseInput();
    FilterRun run = Collect(pid_, scratch_);
    pid_ = -1;
    return run;
}

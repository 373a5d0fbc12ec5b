// Runs the built filter as CUPS does and captures what it writes.
#include "support/filter_runner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
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

std::string TestData(const std::string& name) { return std::string(NORVEX_TEST_DATA) + "/" + name; }

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
    TempDir scratch;
    const std::string outPath = scratch.File("stdout");
    const std::string errPath = scratch.File("stderr");
    FilterRun run;

    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open(inv.stdinPath.empty() ? "/dev/null" : inv.stdinPath.c_str(), O_RDONLY);
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
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(NORVEX_FILTER_BIN));
        for (const auto& a : inv.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(NORVEX_FILTER_BIN, argv.data());
        _exit(127);
    }
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

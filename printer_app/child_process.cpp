// Spawning, stopping and reaping the children of a job. PAPPL opens devices,
// sockets and the state file without close-on-exec, so every child closes all
// but 0-2; each has a process group of its own, so that a wrapper script and
// its children stop together and nothing of one job touches another's.
#include "child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {

std::vector<char*> Pointers(const std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Moves `fd` to 3 or above, keeping close-on-exec.
bool AboveStandard(int& fd) {
    if (fd > 2) return true;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    fd = moved;
    return moved >= 0;
}

// Reads the first number after `key` in a /proc file of the child.
long long ProcNumber(pid_t pid, const char* file, const char* key) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), file);
    FILE* f = std::fopen(path, "re");
    if (f == nullptr) return -1;
    char text[512];
    const std::size_t got = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[got] = '\0';
    const char* at = std::strstr(text, key);
    long long value = -1;
    if (at == nullptr || std::sscanf(at + std::strlen(key), "%lld", &value) != 1) return -1;
    return value;
}

}  // namespace

std::vector<std::string> EnvironmentWith(const std::string& entry) {
    const std::size_t name = entry.find('=') + 1;
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
        if (entry.compare(0, name, *e, std::min(name, std::strlen(*e))) != 0) environment.emplace_back(*e);
    environment.push_back(entry);
    return environment;
}

bool MakePipe(int fds[2]) {
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    if (AboveStandard(fds[0]) && AboveStandard(fds[1])) return true;
    for (int i = 0; i < 2; ++i)
        if (fds[i] >= 0) close(fds[i]);
    errno = EMFILE;
    return false;
}

int SpawnChild(const ChildCommand& command, Child& child) {
    std::vector<char*> argv = Pointers(command.args);
    std::vector<char*> envp = Pointers(command.environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int sources[3] = {command.input, command.output, command.errors};
    for (int target = 0; target < 3; ++target) {
        if (sources[target] >= 0)
            posix_spawn_file_actions_adddup2(&actions, sources[target], target);
        else
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // The server ignores SIGPIPE and its threads may block signals: the child
    // starts as from a shell, so SIGTERM and a closed pipe end it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    if (command.fileSizeLimit > 0) sigdelset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    char* const* env = command.environment.empty() ? environ : envp.data();
    const char* program = command.program.c_str();
    const int error = command.program.find('/') == std::string::npos
                          ? posix_spawnp(&pid, program, &actions, &attributes, argv.data(), env)
                          : posix_spawn(&pid, program, &actions, &attributes, argv.data(), env);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return error;
    child = Child{};
    child.pid = pid;

    // posix_spawn cannot set limits: the bound is set at once, before the
    // child can have allocated more than its start-up.
    for (const auto& [resource, bound] : {std::pair{RLIMIT_AS, command.memoryLimit},
                                          std::pair{RLIMIT_FSIZE, command.fileSizeLimit}}) {
        if (bound == 0) continue;
        const rlimit limit{bound, bound};
        if (prlimit(pid, resource, &limit, nullptr) != 0 && errno != ESRCH) {
            const int failed = errno;
            SignalChild(child, SIGKILL);
            while (!ChildEnded(child)) usleep(1000);
            return failed;
        }
    }
    return 0;
}

void SignalChild(const Child& child, int signal) {
    if (child.pid > 0 && !child.ended) kill(-child.pid, signal);
}

bool ChildEnded(Child& child) {
    if (child.ended || child.pid <= 0) return true;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        if (errno == EINTR) return false;
        // Not our child any more: nothing is left to wait for.
        child.ended = true;
        child.status = W_EXITCODE(255, 0);
        return true;
    }
    if (info.si_pid == 0) return false;
    // While it is a zombie its group id cannot be taken by another process:
    // what it left behind in its group goes now.
    kill(-child.pid, SIGKILL);
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    child.status = status;
    child.ended = true;
    return true;
}

bool ChildSucceeded(const Child& child) {
    return child.ended && WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0;
}

std::size_t ChildMemory(const Child& child) {
    if (child.pid <= 0 || child.ended) return 0;
    const long long pages = ProcNumber(child.pid, "statm", "");
    return pages > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

long long ChildBytesRead(const Child& child) {
    if (child.pid <= 0 || child.ended) return -1;
    return ProcNumber(child.pid, "io", "rchar:");
}

std::string DescribeExit(int status) {
    char text[96];
    if (WIFSIGNALED(status)) {
        const char* name = sigdescr_np(WTERMSIG(status));
        std::snprintf(text, sizeof text, "was killed by signal %d (%s)", WTERMSIG(status),
                      name != nullptr ? name : "unknown");
    } else {
        std::snprintf(text, sizeof text, "exited with status %d", WEXITSTATUS(status));
    }
    return text;
}

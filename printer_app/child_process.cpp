// Spawning the children of a job. PAPPL opens devices,
// sockets and the state file without close-on-exec, so every child closes all
// but 0-2; each has a process group of its own, so that a wrapper script and
// its children stop together and nothing of one job touches another's.
#include "child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

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
    return 0;
}

// The child processes of a job (the filter, ghostscript): how they start, how
// they are stopped and how their end is collected.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

// A child in a process group of its own, whose id is its pid.
struct Child {
    pid_t pid = -1;
    bool ended = false;  // reaped; `status` is its wait status
    int status = 0;
};

struct ChildCommand {
    std::string program;                    // a path, or a name looked up in PATH
    std::vector<std::string> args;          // its argv, from argv[0]
    std::vector<std::string> environment;   // NAME=VALUE entries, or empty for the server's
    int input = -1, output = -1, errors = -1;  // its 0, 1 and 2; -1 is /dev/null
    std::size_t memoryLimit = 0;            // bytes of address space, 0 for no bound
    // Bytes of any file it writes, 0 for no bound: a write beyond fails
    // (EFBIG; SIGXFSZ stays ignored in it, as in the server).
    std::size_t fileSizeLimit = 0;
};

// The server's environment with NAME=VALUE in place of its own NAME.
std::vector<std::string> EnvironmentWith(const std::string& entry);

// A pipe whose ends are close-on-exec and never take descriptors 0-2 (which
// a server started with them closed would hand out), so that a spawn's
// dup2 onto 0-2 cannot overwrite another of its sources.
bool MakePipe(int fds[2]);

// Starts `command` with only descriptors 0-2, default signal actions, an empty
// signal mask and its memory bound. 0, or the errno that kept it from running.
int SpawnChild(const ChildCommand& command, Child& child);

// `signal` to the child's process group, unless it has been reaped.
void SignalChild(const Child& child, int signal);

// True once the child has ended, without waiting: what it left in its process
// group is killed, then it is reaped.
bool ChildEnded(Child& child);

// True for a child that exited with status 0.
bool ChildSucceeded(const Child& child);

// The address space the running child uses, in bytes (0 when unknown).
std::size_t ChildMemory(const Child& child);

// The bytes the running child has read so far (-1 when unknown).
long long ChildBytesRead(const Child& child);

// How a wait status ended the child, for the log: "exited with status 3",
// "was killed by signal 9 (Killed)".
std::string DescribeExit(int status);

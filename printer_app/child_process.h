// The child processes of a job (the filter, ghostscript): how they start.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A child in a process group of its own, whose id is its pid.
struct Child {
    pid_t pid = -1;
};

struct ChildCommand {
    std::string program;                    // a path, or a name looked up in PATH
    std::vector<std::string> args;          // its argv, from argv[0]
    std::vector<std::string> environment;   // NAME=VALUE entries, or empty for the server's
    int input = -1, output = -1, errors = -1;  // its 0, 1 and 2; -1 is /dev/null
};

// The server's environment with NAME=VALUE in place of its own NAME.
std::vector<std::string> EnvironmentWith(const std::string& entry);

// A pipe whose ends are close-on-exec and never take descriptors 0-2 (which
// a server started with them closed would hand out), so that a spawn's
// dup2 onto 0-2 cannot overwrite another of its sources.
bool MakePipe(int fds[2]);

// Starts `command` with only descriptors 0-2, default signal actions and an empty
// signal mask. 0, or the errno that kept it from running.
int SpawnChild(const ChildCommand& command, Child& child);

// The command socket's folder. PAPPL 1.3.1 binds a root server's socket as
// /run/NAME.sock, open to every local user, and takes it over from a server
// already running; it puts it under $SNAP_COMMON instead when that is set,
// which is the only way to choose the folder (the variable changes nothing
// else for an application with its own system callback).
#include "command_socket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kFolderVariable[] = "SNAP_COMMON";

// A server answers on `path` when a connection to it is accepted.
bool ServerAnswers(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
}

}  // namespace

void UseDefaultSocketDirectory() {
    if (getuid() == 0) setenv(kFolderVariable, kDefaultSocketDirectory, 0);
}

bool PrepareSocketDirectory(const std::string& folder, const char* appName, std::string& error) {
    if (getuid() != 0) return true;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "Unable to create " + folder + ": " + std::strerror(errno);
        return false;
    }
    struct stat info{};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        error = folder + " is not a folder of root's: the command socket cannot be kept there.";
        return false;
    }
    if ((info.st_mode & 0777) != 0700 && chmod(folder.c_str(), 0700) != 0) {
        error = "Unable to restrict " + folder + ": " + std::strerror(errno);
        return false;
    }
    const std::string socket = folder + "/" + appName + ".sock";
    if (ServerAnswers(socket)) {
        error = "Another server answers on " + socket +
                ": stop it, or start this one with -o socket-directory=DIR.";
        return false;
    }
    setenv(kFolderVariable, folder.c_str(), 1);
    return true;
}

// The stream to decode, from a file or standard input, mapped into memory.
#include "input.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "listing.h"

InputBytes::~InputBytes() {
    if (mapping != nullptr) munmap(mapping, size);
}

namespace {

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

// Copies a pipe into a temporary file that is gone from the directory at once.
bool Spool(int from, Fd& to, std::string* error) {
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/norvexdecode.XXXXXX";
    to.fd = mkstemp(&name[0]);
    if (to.fd < 0) {
        *error = Format("cannot spool standard input in %s: %s", name.c_str(), std::strerror(errno));
        return false;
    }
    unlink(name.c_str());
    uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = read(from, chunk, sizeof chunk);
        if (n == 0) return true;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = Format("cannot read standard input: %s", std::strerror(errno));
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(to.fd, chunk + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                *error = Format("cannot spool standard input: %s", std::strerror(errno));
                return false;
            }
            done += w;
        }
    }
}

}  // namespace

bool ReadInput(const char* path, InputBytes& input, std::string* error) {
    const bool fromStdin = path == nullptr || std::strcmp(path, "-") == 0;
    const char* name = fromStdin ? "standard input" : path;
    Fd opened, spooled;
    int fd = STDIN_FILENO;
    if (!fromStdin) {
        opened.fd = open(path, O_RDONLY);
        if (opened.fd < 0) {
            *error = Format("cannot open %s: %s", name, std::strerror(errno));
            return false;
        }
        fd = opened.fd;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        *error = Format("cannot read %s: %s", name, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (!Spool(fd, spooled, error)) return false;
        fd = spooled.fd;
        if (fstat(fd, &st) != 0) {
            *error = Format("cannot read %s: %s", name, std::strerror(errno));
            return false;
        }
    }
    if (st.st_size == 0) return true;  // an empty stream, which the decoder reports
    void* map = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        *error = Format("cannot map %s: %s", name, std::strerror(errno));
        return false;
    }
    input.mapping = map;
    input.data = static_cast<const uint8_t*>(map);
    input.size = static_cast<size_t>(st.st_size);
    return true;
}

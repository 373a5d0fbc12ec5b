// The raster input, read ahead in large blocks for libcups.
#include "rastertoNorvex/raster_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <unistd.h>

namespace {

// Four times a pipe's usual capacity: a pipe hands over at most 64 KiB a read.
constexpr std::size_t kBlockBytes = 256 * 1024;
// A pipe of this capacity (Linux's most for an unprivileged process) lets the
// renderer write four blocks ahead: at 64 KiB it would stop every 64 KiB for
// the job to read, some 500 times an A4 page, each a switch of process.
constexpr int kPipeBytes = 1024 * 1024;

// As libcups reads a descriptor itself: a signal or a not-yet-ready input is
// no error.
ssize_t ReadFd(int fd, void* buffer, std::size_t bytes) {
    ssize_t count;
    while ((count = read(fd, buffer, bytes)) < 0)
        if (errno != EINTR && errno != EAGAIN) return -1;
    return count;
}

// How often a job with a page about to be ready looks at its input again.
constexpr int kWaitingPollMs = 5;

// Returns once the input has something to read (or has ended or failed: the
// read then says so); until then the job gets on with its sends.
void WaitForInput(RasterInput& input) {
    pollfd ready{input.fd, POLLIN, 0};
    for (int timeout = 0;; timeout = kWaitingPollMs) {
        const int n = poll(&ready, 1, timeout);
        if (n > 0 || (n < 0 && errno != EINTR)) return;
        if (n == 0 && !input.whileWaiting(input.waitingContext)) return;
    }
}

}  // namespace

void StartRasterInput(RasterInput& input, int fd) {
    fcntl(fd, F_SETPIPE_SZ, kPipeBytes);  // a file, or a pipe held to less: it stays as it is
    input.fd = fd;
    input.block.reset(new (std::nothrow) uint8_t[kBlockBytes]);
    input.next = input.end = 0;
}

ssize_t ReadRasterInput(void* context, unsigned char* buffer, std::size_t bytes) {
    RasterInput& input = *static_cast<RasterInput*>(context);
    if (input.next == input.end) {
        if (input.whileWaiting) WaitForInput(input);
        if (!input.block || bytes >= kBlockBytes) return ReadFd(input.fd, buffer, bytes);
        const ssize_t count = ReadFd(input.fd, input.block.get(), kBlockBytes);
        if (count <= 0) return count;
        input.next = 0;
        input.end = static_cast<std::size_t>(count);
    }
    const std::size_t n = std::min(bytes, input.end - input.next);
    std::memcpy(buffer, input.block.get() + input.next, n);
    input.next += n;
    return static_cast<ssize_t>(n);
}

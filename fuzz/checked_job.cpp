// Runs whole jobs of the filter in-process and checks their printer streams.
#include "checked_job.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

#include "norvexdecode.h"
#include "rastertoNorvex/job.h"

namespace {

std::vector<uint8_t> gStream;

std::size_t KeepInMemory(const void* data, std::size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    gStream.insert(gStream.end(), bytes, bytes + count);
    return 1;
}

void WriteAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n <= 0) std::abort();
        bytes += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

int MemoryFile(const char* name, const uint8_t* bytes, size_t size) {
    const int fd = memfd_create(name, 0);
    if (fd < 0) std::abort();
    RefillMemoryFile(fd, bytes, size);
    return fd;
}

void RefillMemoryFile(int fd, const uint8_t* bytes, size_t size) {
    if (ftruncate(fd, 0) != 0) std::abort();
    lseek(fd, 0, SEEK_SET);
    WriteAll(fd, bytes, size);
    lseek(fd, 0, SEEK_SET);
}

std::string MemoryFilePath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

const std::vector<uint8_t>& RunCheckedJob(const CheckedJob& job) {
    std::string args[] = {"rastertoNorvex", "1", "fuzz", "fuzz job", job.copies, job.options};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                    args[4].data(), args[5].data(), nullptr};
    lseek(job.rasterFd, 0, SEEK_SET);
    gStream.clear();
    JobRequest request;
    request.argc = 6;
    request.argv = argv;
    request.ppdPath = job.ppdPath.c_str();
    request.input = job.rasterFd;
    request.output = KeepInMemory;
    request.interactive = false;
    request.threads = job.threads;
    RunJob(request);

    if (!gStream.empty()) {
        DecodeOptions options;
        options.platform = job.platform;
        options.keepBitmaps = false;
        const DecodeResult result = DecodeStream(gStream.data(), gStream.size(), options);
        if (!result.ok()) {
            // Seen when the target is run on the input by hand (the fuzzing runs
            // close standard error).
            std::fprintf(stderr, "fuzz: the filter sent a malformed stream (%zu bytes):\n",
                         gStream.size());
            for (const DecodeError& e : result.errors)
                std::fprintf(stderr, "fuzz:   at %zu: %s\n", e.offset, e.message.c_str());
            std::abort();
        }
    }
    return gStream;
}

// Runs whole jobs of the filter in-process for the fuzz targets and holds the
// printer stream of every accepted job against the decoder's checker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/platform.h"

// A descriptor for `bytes` that reads from the start; it stays open for the
// process (jobs read it again after SeekToStart).
int MemoryFile(const char* name, const uint8_t* bytes, size_t size);
// Replaces the contents of a MemoryFile and rewinds it.
void RefillMemoryFile(int fd, const uint8_t* bytes, size_t size);
// The path under which libcups opens a MemoryFile.
std::string MemoryFilePath(int fd);

struct CheckedJob {
    std::string ppdPath;
    std::string options;            // argv[5]
    std::string copies = "1";       // argv[4]
    int rasterFd = -1;              // the raster stream, read from its start
    Platform platform = PLATFORM_NONE;  // the stream's; PLATFORM_NONE: told by its opening
    int threads = 1;                // page-imaging threads (NORVEX_THREADS)
};

// Runs the job. A printer stream that the decoder finds malformed stops the
// process (a finding): the filter must never send what the printer cannot take.
// Returns the stream.
const std::vector<uint8_t>& RunCheckedJob(const CheckedJob& job);

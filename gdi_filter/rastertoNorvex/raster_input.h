// The raster input, read ahead in large blocks for libcups.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sys/types.h>

// libcups asks for an uncompressed raster one line at a time, which costs a
// read(2) for every line (several thousand a page). Handed to libcups as its
// read callback, this record reads the descriptor in large blocks and serves
// the lines from memory; every byte still comes in order, and a short or
// failed read reaches libcups as the read itself would have.
struct RasterInput {
    int fd = 0;
    std::unique_ptr<uint8_t[]> block;  // nullptr: no memory for it, reads go straight through
    std::size_t next = 0;
    std::size_t end = 0;
    // Called while the input has nothing to read (a renderer still working on
    // the next page): the job sends what is ready meanwhile. Returns true while
    // something will be ready to send soon, to be called again shortly.
    bool (*whileWaiting)(void* context) = nullptr;
    void* waitingContext = nullptr;
};

// The libcups read callback (cups_raster_iocb_t) over a RasterInput.
ssize_t ReadRasterInput(void* input, unsigned char* buffer, std::size_t bytes);

// Prepares `input` for reading `fd` from its start.
void StartRasterInput(RasterInput& input, int fd);

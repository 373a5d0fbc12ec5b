// The stream to decode, from a file or standard input, mapped into memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Owns the mapping; not copyable.
struct InputBytes {
    InputBytes() = default;
    ~InputBytes();
    InputBytes(const InputBytes&) = delete;
    InputBytes& operator=(const InputBytes&) = delete;

    const uint8_t* data = nullptr;
    size_t size = 0;
    void* mapping = nullptr;
};

// path nullptr or "-": standard input. A pipe is first copied into an unlinked
// temporary file, so no stream, however long, is held in the process's own
// memory. False with a message in `error` on failure.
bool ReadInput(const char* path, InputBytes& input, std::string* error);

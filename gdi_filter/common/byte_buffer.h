// A growable byte buffer: where the encoder's output and a page's compressed
// image collect, never written past its end.
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteBuffer {
    uint8_t* data = nullptr;
    int size = 0;      // bytes written
    int capacity = 0;  // bytes allocated

    ByteBuffer() = default;
    ~ByteBuffer();
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
};

// Makes room for at least `capacity` bytes in all; 0 when they cannot be had
// (the buffer is unchanged then).
int ReserveBytes(ByteBuffer* buf, std::size_t capacity);
// Appends `len` bytes, growing the buffer; 0 when it cannot grow (nothing is
// appended then).
int AppendBytes(ByteBuffer* buf, const void* data, std::size_t len);

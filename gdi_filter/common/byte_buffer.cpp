// A growable byte buffer: where the encoder's output and a page's compressed
// image collect, never written past its end.
#include "common/byte_buffer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

ByteBuffer::~ByteBuffer() { std::free(data); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data(std::exchange(other.data, nullptr)),
      size(std::exchange(other.size, 0)),
      capacity(std::exchange(other.capacity, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        std::free(data);
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        capacity = std::exchange(other.capacity, 0);
    }
    return *this;
}

int ReserveBytes(ByteBuffer* buf, std::size_t capacity) {
    if (capacity > static_cast<std::size_t>(INT_MAX)) return 0;
    if (capacity <= static_cast<std::size_t>(buf->capacity)) return 1;
    auto* grown = static_cast<uint8_t*>(std::realloc(buf->data, capacity));
    if (grown == nullptr) return 0;
    buf->data = grown;
    buf->capacity = static_cast<int>(capacity);
    return 1;
}

int AppendBytes(ByteBuffer* buf, const void* data, std::size_t len) {
    const std::size_t needed = static_cast<std::size_t>(buf->size) + len;
    if (needed > static_cast<std::size_t>(INT_MAX)) return 0;
    if (needed > static_cast<std::size_t>(buf->capacity)) {
        // Doubling keeps the appends of a page's many encoder calls cheap.
        std::size_t cap = std::max<std::size_t>(buf->capacity, 4096);
        while (cap < needed) cap = std::min<std::size_t>(cap * 2, INT_MAX);
        if (!ReserveBytes(buf, cap)) return 0;
    }
    if (len != 0) std::memcpy(buf->data + buf->size, data, len);
    buf->size = static_cast<int>(needed);
    return 1;
}

// One T.82 image entity fed piecewise to JBIG-KIT's decoder, with its header
// checked against the page commands before the library allocates the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {
#include <jbig.h>
}

constexpr size_t kJbigHeaderSize = 20;

// The 20-byte image header (BIH) that opens every image entity, big-endian numbers.
struct JbigHeader {
    uint8_t dl = 0, d = 0, p = 0, reserved = 0;
    uint32_t xd = 0, yd = 0, l0 = 0;
    uint8_t mx = 0, my = 0, order = 0, options = 0;
};

JbigHeader ReadJbigHeader(const uint8_t* bytes);  // kJbigHeaderSize bytes
std::string DescribeJbigHeader(const JbigHeader& header);

enum class JbigState { NeedMore, Complete, Failed };

// Not copyable: it owns the library's decoder state.
struct JbigImage {
    JbigImage(uint32_t width, uint32_t height);
    ~JbigImage();
    JbigImage(const JbigImage&) = delete;
    JbigImage& operator=(const JbigImage&) = delete;

    uint32_t width, height;  // what the page commands declare
    JbigState state = JbigState::NeedMore;
    uint8_t head[kJbigHeaderSize] = {};
    size_t headLen = 0;
    bool headerRead = false;
    JbigHeader header;
    size_t taken = 0;         // bytes of the entity taken so far
    size_t failAt = 0;        // position within the entity where it went wrong
    std::string failure;      // why, when state is Failed
    bool decoderLive = false;
    jbg_dec_state decoder;
};

// Feeds up to `len` bytes and returns how many the image took: all of them
// unless it completed (or failed) within them.
size_t FeedJbig(JbigImage& image, const uint8_t* data, size_t len);

// The decoded bitmap of a complete image: rows of (width + 7) / 8 bytes.
const uint8_t* JbigBitmap(const JbigImage& image);

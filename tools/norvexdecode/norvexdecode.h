// norvexdecode's in-process interface: walk a printer stream, check it and decode its pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/platform.h"

// Bounds on what a stream may declare; anything larger is refused before a byte
// is allocated for it. Page sizes are 16-bit on the wire (the 2-bit image of
// PLATFORM_M is twice as wide as its dots), so no real page comes near them.
constexpr uint32_t kMaxPageDots = 65535;
constexpr size_t kDefaultMaxPageBytes = size_t{1} << 30;  // 2 x 65535 bits x 65535 rows fits
constexpr size_t kMaxPackagePayload = 65536;              // PLATFORM_M image data package
constexpr size_t kMaxCompressedBytes = 0x7FFFFFFF;        // PLATFORM_C's length is signed 32-bit

// One page as the stream declares it and, when its image could be decoded, its dots.
struct DecodedPage {
    int index = 0;          // position in the stream, from 1
    int pageNum = 0;        // page number of the page specification (PLATFORM_M: the index)
    int copies = 0;
    uint32_t width = 0;     // dots per row
    uint32_t height = 0;    // rows
    int bitsPerDot = 1;     // 2 for the 2-bit pages of PLATFORM_M
    size_t offset = 0;      // byte offset of the page start
    bool complete = false;  // the whole image decoded to the declared size
    // The decoded JBIG bitmap: `height` rows of `stride` bytes, most significant
    // bit first, 1 = toner; in 2-bit pages each dot is two bits (the first dot in
    // bits 7-6). Empty unless the caller asked for bitmaps and the image decoded.
    uint32_t stride = 0;
    std::vector<uint8_t> bits;
};

// Toner level of one dot: 0 (none) to 1, or 0 to 3 on a 2-bit page.
int DotValue(const DecodedPage& page, uint32_t x, uint32_t y);

struct DecodeError {
    size_t offset = 0;
    std::string message;
};

struct DecodeOptions {
    Platform platform = PLATFORM_NONE;  // PLATFORM_NONE: told by the stream's opening
    FILE* listing = nullptr;            // one line per command; nullptr: no listing
    bool keepBitmaps = true;            // keep each page's bitmap in the result
    // Called once per page whose image decoded completely, with its bitmap, as
    // soon as the page ends; lets a caller write pages without keeping them all.
    std::function<void(const DecodedPage&)> onPage;
    size_t maxPageBytes = kDefaultMaxPageBytes;  // refuse larger page bitmaps
    size_t maxErrors = 50;                       // stop walking after this many
};

struct DecodeResult {
    Platform platform = PLATFORM_NONE;
    std::vector<DecodedPage> pages;
    std::vector<DecodeError> errors;  // in stream order; empty for a well-formed stream
    bool ok() const { return errors.empty(); }
};

// Walks the whole stream, checking every packet, and decodes each page's JBIG data.
DecodeResult DecodeStream(const uint8_t* data, size_t size, const DecodeOptions& options);

// The platform whose opening the stream begins with, or PLATFORM_NONE.
Platform DetectPlatform(const uint8_t* data, size_t size);

// "C", "Z", "M" or "?".
const char* PlatformName(Platform platform);

// One line that tests and scripts can read, for example
// "summary: platform=Z pages=1 [page=1 copies=1 size=4736x6780 depth=1] status=ok".
std::string FormatSummary(const DecodeResult& result);

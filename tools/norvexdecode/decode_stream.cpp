// Entry of the decoder: tells the platform, runs the walker of its framing and
// sums the result up.
#include <algorithm>

#include "listing.h"
#include "norvexdecode.h"
#include "stream_bytes.h"
#include "walk.h"

Platform DetectPlatform(const uint8_t* data, size_t size) {
    auto startsWith = [data, size](const uint8_t* bytes, size_t offset, size_t len) {
        return size >= offset + len && std::equal(bytes, bytes + len, data + offset);
    };
    if (startsWith(kUel, 0, kUelSize) && startsWith(kJzjz, kUelSize, sizeof kJzjz)) return PLATFORM_M;
    if (startsWith(kUelC, 0, kUelSize)) return PLATFORM_C;
    if (startsWith(kPjlHeader, 0, sizeof kPjlHeader - 2)) return PLATFORM_Z;  // ESC "%-12345X@PJL"
    return PLATFORM_NONE;
}

const char* PlatformName(Platform platform) {
    switch (platform) {
    case PLATFORM_C: return "C";
    case PLATFORM_Z: return "Z";
    case PLATFORM_M: return "M";
    default: return "?";
    }
}

DecodeResult DecodeStream(const uint8_t* data, size_t size, const DecodeOptions& options) {
    DecodeResult result;
    result.platform = options.platform;
    if (result.platform != PLATFORM_C && result.platform != PLATFORM_Z && result.platform != PLATFORM_M)
        result.platform = DetectPlatform(data, size);
    Walk w(data, size, options, result);
    switch (result.platform) {
    case PLATFORM_C:
    case PLATFORM_Z:
        WalkShortStream(w);
        break;
    case PLATFORM_M:
        WalkLongStream(w);
        break;
    default:
        Stop(w, 0, size == 0 ? "empty stream"
                             : "stream opens like no platform (C: ESC 0xFF \"-12345X\", Z: ESC \"%-12345X@PJL\", "
                               "M: ESC \"%-12345X\" \"JZJZ\"); name one with --platform");
        break;
    }
    return result;
}

std::string FormatSummary(const DecodeResult& result) {
    std::string line = Format("summary: platform=%s pages=%zu", PlatformName(result.platform), result.pages.size());
    for (const DecodedPage& p : result.pages)
        line += Format(" [page=%d copies=%d size=%ux%u depth=%d]", p.pageNum, p.copies, p.width, p.height,
                       p.bitsPerDot);
    return line + (result.ok() ? " status=ok" : " status=malformed");
}

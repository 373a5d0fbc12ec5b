// Fuzz target: arbitrary bytes through norvexdecode's stream walker and page
// decoder on each platform. Bad streams must come back as errors; nothing may
// crash, hang or read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "norvexdecode.h"

namespace {

// Keeps each input's work small; the bound itself is what a stream hits.
constexpr size_t kFuzzMaxPageBytes = size_t{16} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the platform (or detection from the opening), the
    // listing and how pages are handed over; the rest is the stream.
    const uint8_t mode = data[0];
    static FILE* const sink = std::fopen("/dev/null", "w");
    DecodeOptions options;
    options.platform = static_cast<Platform>(mode & 3);
    options.listing = (mode & 4) ? sink : nullptr;
    options.keepBitmaps = (mode & 8) != 0;
    options.maxPageBytes = kFuzzMaxPageBytes;
    size_t toner = 0;
    if (mode & 16)
        options.onPage = [&toner](const DecodedPage& page) {
            for (uint32_t y = 0; y < page.height; y += 61)
                for (uint32_t x = 0; x < page.width; x += 61) toner += DotValue(page, x, y);
        };
    const DecodeResult result = DecodeStream(data + 1, size - 1, options);
    // Every page in the result must be consistent with what it declares.
    for (const DecodedPage& page : result.pages) {
        if (page.bits.empty()) continue;
        if (page.bits.size() < size_t{page.stride} * page.height) __builtin_trap();
        DotValue(page, page.width - 1, page.height - 1);
    }
    FormatSummary(result);
    return 0;
}

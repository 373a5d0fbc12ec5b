// Quarter and half turns of the grey page, for long-edge feed and for pages
// printed upside down.
#include "common/rotate.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/last_error.h"

namespace {

struct FreeDeleter {
    void operator()(unsigned char* p) const { std::free(p); }
};
using WorkBuffer = std::unique_ptr<unsigned char[], FreeDeleter>;

// The one work buffer of a turn: the image's size, or null when that cannot be
// had (also when the size does not fit in memory addresses at all).
WorkBuffer AllocateWork(uint32_t widthBytes, uint32_t heightPixels) {
    const uint64_t size = static_cast<uint64_t>(widthBytes) * heightPixels;
    if (size > SIZE_MAX) return nullptr;
    return WorkBuffer(static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(size))));
}

constexpr uint32_t kTile = 64;  // a 64 x 64 tile of source and of work stays in the L1 cache
constexpr uint32_t kBlock = 8;

// Turns the rows x cols block whose bottom-left source byte is `bottomLeft`:
// each source column becomes one work row of `rows` bytes, read bottom up.
void TurnBlock(const unsigned char* bottomLeft, std::size_t srcStride, unsigned char* dst,
               std::size_t dstStride, uint32_t rows, uint32_t cols) {
    for (uint32_t c = 0; c < cols; ++c)
        for (uint32_t k = 0; k < rows; ++k) dst[c * dstStride + k] = (bottomLeft - k * srcStride)[c];
}

// The same for a full 8 x 8 block: a byte transpose in registers.
void TurnBlock8(const unsigned char* bottomLeft, std::size_t srcStride, unsigned char* dst,
                std::size_t dstStride) {
#if defined(__SSE2__)
    auto row = [&](uint32_t k) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bottomLeft - k * srcStride));
    };
    const __m128i r01 = _mm_unpacklo_epi8(row(0), row(1));
    const __m128i r23 = _mm_unpacklo_epi8(row(2), row(3));
    const __m128i r45 = _mm_unpacklo_epi8(row(4), row(5));
    const __m128i r67 = _mm_unpacklo_epi8(row(6), row(7));
    const __m128i lo03 = _mm_unpacklo_epi16(r01, r23), hi03 = _mm_unpackhi_epi16(r01, r23);
    const __m128i lo47 = _mm_unpacklo_epi16(r45, r67), hi47 = _mm_unpackhi_epi16(r45, r67);
    const __m128i cols[4] = {_mm_unpacklo_epi32(lo03, lo47), _mm_unpackhi_epi32(lo03, lo47),
                             _mm_unpacklo_epi32(hi03, hi47), _mm_unpackhi_epi32(hi03, hi47)};
    for (uint32_t pair = 0; pair < 4; ++pair) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (2 * pair) * dstStride), cols[pair]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + (2 * pair + 1) * dstStride),
                         _mm_srli_si128(cols[pair], 8));
    }
#else
    TurnBlock(bottomLeft, srcStride, dst, dstStride, kBlock, kBlock);
#endif
}

}  // namespace

int Rotate90(unsigned char* imgBuf, uint32_t widthBytes, uint32_t heightPixels) {
    if (imgBuf == nullptr || widthBytes == 0 || heightPixels == 0) return 0;
    WorkBuffer work = AllocateWork(widthBytes, heightPixels);
    if (!work) {
        // The caller keeps the page as it was, width and height unchanged.
        SetLastError("Rotate90() :: malloc memory Fail. \n");
        return 0;
    }
    const std::size_t W = widthBytes, H = heightPixels;
    // Source (r, c) goes to work (c, H - 1 - r): work row c is source column c
    // read from the bottom row up. Work columns advance as source rows go up.
    for (std::size_t done = 0; done < H; done += kTile) {
        const std::size_t rows = H - done < kTile ? H - done : kTile;
        const std::size_t bottom = H - 1 - done;  // source row of work column `done`
        for (std::size_t c0 = 0; c0 < W; c0 += kTile) {
            const std::size_t cols = W - c0 < kTile ? W - c0 : kTile;
            for (std::size_t k = 0; k < rows; k += kBlock) {
                const unsigned char* src = imgBuf + (bottom - k) * W + c0;
                unsigned char* dst = work.get() + c0 * H + done + k;
                const std::size_t n = rows - k < kBlock ? rows - k : kBlock;
                std::size_t c = 0;
                if (n == kBlock)
                    for (; c + kBlock <= cols; c += kBlock) TurnBlock8(src + c, W, dst + c * H, H);
                if (c < cols)
                    TurnBlock(src + c, W, dst + c * H, H, static_cast<uint32_t>(n),
                              static_cast<uint32_t>(cols - c));
            }
        }
    }
    std::memcpy(imgBuf, work.get(), W * H);
    return 1;
}

// The half turn reverses the byte sequence, which needs no second page: it is
// done in place, eight bytes from each end at a time, so a turned page costs
// no memory beyond the page itself.
int Rotate180(char* imgBuf, uint32_t widthBytes, uint32_t heightPixels) {
    if (imgBuf == nullptr || widthBytes == 0 || heightPixels == 0) return 0;
    unsigned char* lo = reinterpret_cast<unsigned char*>(imgBuf);
    unsigned char* hi = lo + static_cast<std::size_t>(widthBytes) * heightPixels;
    // A word read forwards and byte-swapped is the same word reversed.
    while (hi - lo >= 16) {
        uint64_t front, back;
        std::memcpy(&front, lo, 8);
        std::memcpy(&back, hi - 8, 8);
        front = __builtin_bswap64(front);
        back = __builtin_bswap64(back);
        std::memcpy(lo, &back, 8);
        std::memcpy(hi - 8, &front, 8);
        lo += 8;
        hi -= 8;
    }
    std::reverse(lo, hi);
    return 1;
}

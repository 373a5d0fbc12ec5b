// Ordered dither of the grey page against the platform's threshold matrix:
// 8-bit grey in, the packed 1-bit (or 2-bit) dot image that JBIG compresses out.
#include "prnt/halftone.h"

#include <array>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/platform.h"
#include "prnt/page.h"

namespace {

// Both tile indices wrap at 16 on every matrix. HT_TABLE_1200_C is 28 x 28, yet
// only its top-left 16 x 16 corner (rows 28 apart) is used, repeated every 16
// dots: that is the dot pattern the PLATFORM_C printers already receive.
constexpr uint32_t kTile = 16;

// How a page is dithered, from the platform, DPI1200 and NEGATIVEPRINT.
struct Screen {
    const uint8_t* matrix;  // row 0 of the threshold matrix
    uint32_t rowLength;     // values per matrix row
    bool twoBit;            // 4 dots per byte (PLATFORM_M at 1200 dpi)
    bool negativeDots;      // PLATFORM_M: each dot is inverted as it is made
    bool negativeBytes;     // PLATFORM_C/Z: each full byte is inverted
    bool countDots;         // PLATFORM_C/Z report the page's dots to the printer
};

bool ChooseScreen(int platform, int bNegative, int b1200dpi, Screen* screen) {
    const bool negative = bNegative != 0;
    switch (platform) {
        case PLATFORM_M:
            *screen = {&HT_TABLE_600[0][0], 16, b1200dpi == 1, negative, false, false};
            return true;
        case PLATFORM_Z:
            *screen = {b1200dpi ? &HT_TABLE_1200_Z[0][0] : &HT_TABLE_600[0][0], 16, false, false,
                       negative, true};
            return true;
        case PLATFORM_C:
            if (b1200dpi)
                *screen = {&HT_TABLE_1200_C[0][0], 28, false, false, negative, true};
            else
                *screen = {&HT_TABLE_600[0][0], 16, false, false, negative, true};
            return true;
        default:
            return false;
    }
}

// ---- One dot at a time: the rule itself, for rows that are not byte-aligned.

uint8_t DotValue(uint8_t v, uint8_t t, const Screen& screen) {
    if (screen.twoBit) {
        // Black (0) is always full toner; otherwise the darker the grey and the
        // lower the threshold, the higher the tone code.
        int code = v == 0 ? 255 : 255 - v - t;
        if (code < 0) code = 0;
        const uint8_t value = HT_TABLE_2BIG[code];
        return screen.negativeDots ? 3 - value : value;
    }
    const bool dot = v < t;
    return (screen.negativeDots ? !dot : dot) ? 1 : 0;
}

void DitherPerPixel(const uint8_t* src, uint32_t width, uint32_t rows, uint8_t* tar,
                    const Screen& screen, uint32_t* dotCount) {
    const uint32_t dotsPerByte = screen.twoBit ? 4 : 8;
    const uint32_t shift = screen.twoBit ? 2 : 1;
    uint32_t dots = 0, iHalftone = 0, jHalftone = 0, coverage = 0;
    for (uint32_t row = 0; row < rows; ++row) {
        const uint8_t* thresholds = screen.matrix + iHalftone * screen.rowLength;
        for (uint32_t col = 0; col < width; ++col) {
            const uint8_t value = DotValue(*src++, thresholds[jHalftone], screen);
            *tar |= value;
            if (screen.countDots) coverage += screen.negativeBytes ? (value == 0) : value;
            if (++dots == dotsPerByte) {
                if (screen.negativeBytes) *tar = static_cast<uint8_t>(~*tar);
                ++tar;
                dots = 0;
            } else {
                *tar = static_cast<uint8_t>(*tar << shift);
            }
            jHalftone = (jHalftone + 1) % kTile;
        }
        iHalftone = (iHalftone + 1) % kTile;
    }
    *dotCount += coverage;
}

// ---- Sixteen dots at a time, for byte-aligned rows (every width the driver uses).
//
// A row of a byte-aligned page starts at a known tile column, so the sixteen
// thresholds of a row are laid out once and compared with sixteen grey bytes at
// a time. Written for SSE2, which every x86-64 processor has; elsewhere all rows
// take the one-dot-at-a-time path.

#if defined(__SSE2__)

// Per-row thresholds, rotated to the row's starting tile column.
struct RowScreen {
    // 1-bit: a dot where grey <= limit[0] (threshold - 1; thresholds are >= 1).
    // 2-bit: the tone code reaches step L exactly where grey <= limit[L - 1].
    __m128i limit[3];
    __m128i invert;  // XOR over the dot values for negative print
};

// The lowest tone codes at which HT_TABLE_2BIG, which rises in steps, reaches
// the dot values 1, 2 and 3.
std::array<int, 3> TwoBitSteps() {
    std::array<int, 3> steps{};
    for (int level = 1; level <= 3; ++level) {
        int code = 0;
        while (code < 255 && HT_TABLE_2BIG[code] < level) ++code;
        steps[level - 1] = code;
    }
    return steps;
}

RowScreen MakeRowScreen(const uint8_t* thresholds, uint32_t firstColumn, const Screen& screen) {
    const bool negative = screen.negativeDots || screen.negativeBytes;
    alignas(16) uint8_t limit[3][kTile] = {};
    if (!screen.twoBit) {
        for (uint32_t k = 0; k < kTile; ++k)
            limit[0][k] = static_cast<uint8_t>(thresholds[(firstColumn + k) % kTile] - 1);
    } else {
        // code = 255 - v - t >= step  <=>  v <= 255 - t - step, for v >= 1. A
        // limit below 0 is raised to 0, which leaves black, always full toner.
        static const std::array<int, 3> steps = TwoBitSteps();
        for (int n = 0; n < 3; ++n) {
            for (uint32_t k = 0; k < kTile; ++k) {
                const int v = 255 - thresholds[(firstColumn + k) % kTile] - steps[n];
                limit[n][k] = static_cast<uint8_t>(v < 0 ? 0 : v);
            }
        }
    }
    RowScreen rs;
    for (int n = 0; n < 3; ++n) rs.limit[n] = _mm_load_si128(reinterpret_cast<const __m128i*>(limit[n]));
    // 1-bit: every output bit; 2-bit: 3 - value flips both bits of each lane.
    rs.invert = _mm_set1_epi8(static_cast<char>(!negative ? 0 : screen.twoBit ? 3 : 0xFF));
    return rs;
}

// All-ones lanes where grey <= limit (unsigned).
__m128i AtMost(__m128i grey, __m128i limit) { return _mm_cmpeq_epi8(_mm_min_epu8(grey, limit), grey); }

constexpr std::array<uint8_t, 256> MakeBitReversal() {
    std::array<uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b)
        for (int bit = 0; bit < 8; ++bit)
            if (b & (1 << bit)) table[b] = static_cast<uint8_t>(table[b] | 0x80 >> bit);
    return table;
}
// The compare mask puts lane 0 in bit 0; the printer wants the first dot in bit 7.
constexpr std::array<uint8_t, 256> kBitReversal = MakeBitReversal();

// Sixteen 1-bit dots into `bytes` (<= 2) output bytes; returns the dots as
// all-ones lanes, for the dot count.
__m128i Dots1(const uint8_t* grey, const RowScreen& rs, uint8_t* out, uint32_t bytes) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey));
    const __m128i dots = _mm_xor_si128(AtMost(v, rs.limit[0]), rs.invert);
    const uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(dots));
    out[0] = kBitReversal[mask & 0xFF];
    if (bytes > 1) out[1] = kBitReversal[mask >> 8];
    return dots;
}

// Sixteen 2-bit dots: four output bytes, in memory order.
uint32_t Dots2(const uint8_t* grey, const RowScreen& rs) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grey));
    // The steps are nested, so the dot value is the number of steps reached:
    // each reached step is an all-ones (-1) lane.
    const __m128i reached = _mm_add_epi8(_mm_add_epi8(AtMost(v, rs.limit[0]), AtMost(v, rs.limit[1])),
                                         AtMost(v, rs.limit[2]));
    const __m128i value = _mm_xor_si128(_mm_sub_epi8(_mm_setzero_si128(), reached), rs.invert);
    // Four lanes (values 0-3) of each 32-bit word into the word's low byte, first
    // lane in bits 7-6; no shifted copy of another lane reaches that byte.
    __m128i packed = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(value, 6), _mm_srli_epi32(value, 4)),
                                  _mm_or_si128(_mm_srli_epi32(value, 14), _mm_srli_epi32(value, 24)));
    packed = _mm_and_si128(packed, _mm_set1_epi32(0xFF));
    packed = _mm_packus_epi16(_mm_packs_epi32(packed, packed), packed);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
}

// Sum of the byte lanes.
uint32_t SumLanes(__m128i counts) {
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

bool IsWhite(const uint8_t* p, uint32_t n) {
    const __m128i white = _mm_set1_epi8(static_cast<char>(0xFF));
    for (; n >= 32; n -= 32, p += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(a, b), white)) != 0xFFFF) return false;
    }
    for (; n > 0; --n)
        if (*p++ != 0xFF) return false;
    return true;
}

// One 1-bit row; returns its dots.
uint32_t DitherRow1(const uint8_t* grey, uint32_t width, uint8_t* out, const RowScreen& rs) {
    uint32_t count = 0;
    __m128i counts = _mm_setzero_si128();  // per lane, at most 255 groups before a flush
    uint32_t pending = 0;
    for (uint32_t g = width / kTile; g > 0; --g, grey += kTile, out += 2) {
        counts = _mm_sub_epi8(counts, Dots1(grey, rs, out, 2));
        if (++pending == 255) {
            count += SumLanes(counts);
            counts = _mm_setzero_si128();
            pending = 0;
        }
    }
    count += SumLanes(counts);
    if (width % kTile) {  // 8 dots left: one byte, the padding's dots fall outside it
        uint8_t last[kTile];
        std::memset(last, 0xFF, sizeof last);
        std::memcpy(last, grey, width % kTile);
        Dots1(last, rs, out, 1);
        for (uint8_t b = *out; b; b = static_cast<uint8_t>(b & (b - 1))) ++count;
    }
    return count;
}

// One 2-bit row (no dot count on the platform that prints them).
void DitherRow2(const uint8_t* grey, uint32_t width, uint8_t* out, const RowScreen& rs) {
    for (uint32_t g = width / kTile; g > 0; --g, grey += kTile, out += 4) {
        const uint32_t four = Dots2(grey, rs);
        std::memcpy(out, &four, 4);
    }
    if (width % kTile) {  // 4, 8 or 12 dots left
        uint8_t last[kTile];
        std::memset(last, 0xFF, sizeof last);
        std::memcpy(last, grey, width % kTile);
        const uint32_t four = Dots2(last, rs);
        std::memcpy(out, &four, width % kTile / 4);
    }
}

void DitherAligned(const uint8_t* src, uint32_t width, uint32_t rows, uint8_t* tar,
                   const Screen& screen, uint32_t* dotCount) {
    const std::size_t rowBytes = screen.twoBit ? width / 4 : width / 8;
    const bool negative = screen.negativeDots || screen.negativeBytes;
    uint32_t firstColumn = 0;  // jHalftone at the start of the row
    uint32_t coverage = 0;
    for (uint32_t row = 0; row < rows; ++row, src += width, tar += rowBytes) {
        if (IsWhite(src, width)) {
            // White never makes a dot: the row is all white, or all black in negative.
            std::memset(tar, negative ? 0xFF : 0x00, rowBytes);
            if (negative) coverage += width;
        } else {
            const RowScreen rs = MakeRowScreen(screen.matrix + (row % kTile) * screen.rowLength,
                                               firstColumn, screen);
            if (screen.twoBit)
                DitherRow2(src, width, tar, rs);
            else
                coverage += DitherRow1(src, width, tar, rs);
        }
        firstColumn = (firstColumn + width) % kTile;
    }
    if (screen.countDots) *dotCount += coverage;
}
#endif  // __SSE2__

int Dither(const uint8_t* pSrcImgData, uint32_t srcImgWbytes, uint32_t srcImgHpixels,
           uint8_t* pTarImgData, int bNegative, int b1200dpi, int platform, bool allowAligned,
           uint32_t* dotCount) {
    Screen screen;
    if (pSrcImgData == nullptr || pTarImgData == nullptr) return 0;
    if (!ChooseScreen(platform, bNegative, b1200dpi, &screen)) return 0;
    // An empty page (no rows, or rows of no pixels) has no dots to make.
    if (srcImgHpixels == 0 || srcImgWbytes == 0) return 1;
#if defined(__SSE2__)
    const bool byteAligned = srcImgWbytes % (screen.twoBit ? 4 : 8) == 0;
    if (allowAligned && byteAligned) {
        DitherAligned(pSrcImgData, srcImgWbytes, srcImgHpixels, pTarImgData, screen, dotCount);
        return 1;
    }
#else
    (void)allowAligned;
#endif
    DitherPerPixel(pSrcImgData, srcImgWbytes, srcImgHpixels, pTarImgData, screen, dotCount);
    return 1;
}

}  // namespace

// realImgWByte does not take part: negative print inverts every dot of the page
// on every platform, also when the raster lines are shorter than one tile.
int HalftoneDither(const uint8_t* pSrcImgData, uint32_t srcImgWbytes, uint32_t srcImgHpixels,
                   uint8_t* pTarImgData, uint32_t /*realImgWByte*/, int bNegative, int b1200dpi,
                   int platform) {
    return Dither(pSrcImgData, srcImgWbytes, srcImgHpixels, pTarImgData, bNegative, b1200dpi,
                  platform, true, &gImageCoverage);
}

int HalftoneDitherBand(const uint8_t* pSrcImgData, uint32_t srcImgWbytes, uint32_t srcImgHpixels,
                       uint8_t* pTarImgData, int bNegative, int b1200dpi, int platform,
                       uint32_t* dotCount) {
    return Dither(pSrcImgData, srcImgWbytes, srcImgHpixels, pTarImgData, bNegative, b1200dpi,
                  platform, true, dotCount);
}

int HalftoneDitherPerPixel(const uint8_t* pSrcImgData, uint32_t srcImgWbytes,
                           uint32_t srcImgHpixels, uint8_t* pTarImgData, uint32_t /*realImgWByte*/,
                           int bNegative, int b1200dpi, int platform) {
    return Dither(pSrcImgData, srcImgWbytes, srcImgHpixels, pTarImgData, bNegative, b1200dpi,
                  platform, false, &gImageCoverage);
}

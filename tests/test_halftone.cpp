// Halftone screens and the dither that turns a grey page into printer dots.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/platform.h"
#include "prnt/halftone.h"
#include "prnt/page.h"
#include "support/device_capture.h"

namespace {

// Dithers `grey` (width x rows) and returns the dot bytes (bits per dot x pixels / 8, rounded up).
std::vector<uint8_t> Dither(const std::vector<uint8_t>& grey, uint32_t width, uint32_t rows, int platform,
                            int negative, int dpi1200, bool perPixel = false) {
    const std::size_t bits = std::size_t{width} * rows * (platform == PLATFORM_M && dpi1200 == 1 ? 2 : 1);
    std::vector<uint8_t> dots((bits + 7) / 8, 0);
    const auto fn = perPixel ? HalftoneDitherPerPixel : HalftoneDither;
    EXPECT_EQ(fn(grey.data(), width, rows, dots.data(), width, negative, dpi1200, platform), 1);
    return dots;
}

std::vector<uint8_t> Uniform(uint32_t width, uint32_t rows, uint8_t value) {
    return std::vector<uint8_t>(std::size_t{width} * rows, value);
}

template <std::size_t N>
bool HalvesSwapped(const uint8_t (&table)[N][N]) {
    for (std::size_t r = 0; r < N / 2; ++r)
        for (std::size_t c = 0; c < N; ++c)
            if (table[N / 2 + r][c] != table[r][(c + N / 2) % N]) return false;
    return true;
}

// Sum of (column + 1) x value of each row of the upper half: one wrong value
// or two values exchanged within a row change it.
template <std::size_t N>
std::vector<int> WeightedRows(const uint8_t (&table)[N][N]) {
    std::vector<int> sums;
    for (std::size_t r = 0; r < N / 2; ++r) {
        int sum = 0;
        for (std::size_t c = 0; c < N; ++c) sum += static_cast<int>(c + 1) * table[r][c];
        sums.push_back(sum);
    }
    return sums;
}

// Every screen's lower half is its upper half turned by half a row; the
// 1200 dpi screens' upper halves are those of the command reference (their
// weighted rows worked out from its printed tables; the 600 dpi screen is
// checked dot for dot by the end-to-end pages); the tone codes step at 1, 24
// and 64.
TEST(HalftoneTables, ScreensRepeatShiftedAndToneCodesStep) {
    EXPECT_TRUE(HalvesSwapped(HT_TABLE_600) && HalvesSwapped(HT_TABLE_1200_Z) && HalvesSwapped(HT_TABLE_1200_C));
    EXPECT_EQ(WeightedRows(HT_TABLE_1200_Z),
              (std::vector<int>{19184, 18378, 15456, 14512, 18961, 18320, 15625, 14994}));
    EXPECT_EQ(WeightedRows(HT_TABLE_1200_C),
              (std::vector<int>{53541, 48600, 43694, 37028, 39275, 43632, 46899, 53292, 48327, 43632, 37503,
                                39613, 44180, 47414}));
    const int codes[] = {0, 1, 23, 24, 63, 64, 255};
    const int values[] = {0, 1, 1, 2, 2, 3, 3};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(HT_TABLE_2BIG[codes[k]], values[k]) << codes[k];
}

// 32 x 28 meets every threshold of every screen. A white page gets dots (and
// counts them) only in negative print, and PLATFORM_M never counts.
TEST(HalftoneDither, BlackIsAlwaysADotAndWhiteOnlyInNegative) {
    for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
        for (int dpi1200 : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "platform " << platform << " dpi1200 " << dpi1200);
            for (bool perPixel : {false, true}) {
                const auto black = Dither(Uniform(32, 28, 0), 32, 28, platform, 0, dpi1200, perPixel);
                EXPECT_EQ(black, std::vector<uint8_t>(black.size(), 0xFF));
                gImageCoverage = 7;
                const auto white = Dither(Uniform(32, 28, 255), 32, 28, platform, 0, dpi1200, perPixel);
                EXPECT_EQ(white, std::vector<uint8_t>(white.size(), 0x00));
                EXPECT_EQ(gImageCoverage, 7u);
                const auto negative = Dither(Uniform(32, 28, 255), 32, 28, platform, 1, dpi1200, perPixel);
                EXPECT_EQ(negative, std::vector<uint8_t>(negative.size(), 0xFF));
                EXPECT_EQ(gImageCoverage, platform == PLATFORM_M ? 7u : 7u + 32 * 28);
            }
        }
    }
}

TEST(HalftoneDither, TwoBitToneCodes) {
    // Row 0 of HT_TABLE_600: column 1 is 82, column 6 is 70, column 7 is 5.
    std::vector<uint8_t> grey = Uniform(16, 1, 255);
    grey[1] = 100;  // code 73: value 3
    grey[6] = 200;  // code 0: value 0
    grey[7] = 200;  // code 50: value 2
    for (bool perPixel : {false, true}) {
        EXPECT_EQ(Dither(grey, 16, 1, PLATFORM_M, 0, 1, perPixel), Bytes({0x30, 0x02, 0x00, 0x00}));
        EXPECT_EQ(Dither(grey, 16, 1, PLATFORM_M, 1, 1, perPixel), Bytes({0xCF, 0xFD, 0xFF, 0xFF}));
    }
}

TEST(HalftoneDither, ShortRowsRunOnIntoTheNextByte) {
    // v = 100 against row 0 (columns 0-11) and row 1 (columns 12-15, then 0-7).
    gImageCoverage = 0;
    EXPECT_EQ(Dither(Uniform(12, 2, 100), 12, 2, PLATFORM_Z, 0, 0), Bytes({0x3C, 0x3E, 0x7E}));
    EXPECT_EQ(gImageCoverage, 15u);
    // Negative print inverts every byte, also the ones completed on tile
    // columns beyond this short line's 12 bytes.
    gImageCoverage = 0;
    EXPECT_EQ(Dither(Uniform(12, 2, 100), 12, 2, PLATFORM_Z, 1, 0), Bytes({0xC3, 0xC1, 0x81}));
    EXPECT_EQ(gImageCoverage, 9u);
    // The final partial byte keeps its dots shifted and uninverted.
    gImageCoverage = 0;
    EXPECT_EQ(Dither(Uniform(13, 1, 0), 13, 1, PLATFORM_Z, 0, 0), Bytes({0xFF, 0x3E}));
    EXPECT_EQ(Dither(Uniform(13, 1, 0), 13, 1, PLATFORM_C, 1, 0), Bytes({0x00, 0x3E}));
    EXPECT_EQ(gImageCoverage, 13u);
    EXPECT_EQ(Dither(Uniform(3, 1, 0), 3, 1, PLATFORM_M, 0, 1), Bytes({0xFC}));
}

TEST(HalftoneDither, EmptyPagesNullPointersAndUnknownPlatforms) {
    const std::vector<uint8_t> grey(64, 0);
    std::vector<uint8_t> target(64, 0xAA);
    gImageCoverage = 3;
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 0, target.data(), 16, 0, 0, PLATFORM_Z), 1);
    EXPECT_EQ(HalftoneDither(grey.data(), 0, 4, target.data(), 0, 1, 0, PLATFORM_C), 1);
    EXPECT_EQ(HalftoneDither(nullptr, 16, 1, target.data(), 16, 0, 0, PLATFORM_Z), 0);
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 1, nullptr, 16, 0, 0, PLATFORM_Z), 0);
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 1, target.data(), 16, 0, 0, PLATFORM_NONE), 0);
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 1, target.data(), 16, 0, 0, 4), 0);
    EXPECT_EQ(target, std::vector<uint8_t>(64, 0xAA));
    EXPECT_EQ(gImageCoverage, 3u);
}

// The fast path against the one-pixel-at-a-time reference, on rows that are
// white, white but for one pixel, noise, or noise with white runs.
TEST(HalftoneDither, FastPathMakesTheSameDotsAsOneAtATime) {
    std::mt19937 rng(20240611);
    for (uint32_t width : {4u, 12u, 20u, 36u, 104u, 4736u}) {
        for (uint32_t rows : {1u, 17u, 35u}) {
            std::vector<uint8_t> grey = Uniform(width, rows, 255);
            for (uint32_t r = 0; r < rows; ++r) {
                const int kind = static_cast<int>(rng() % 4);
                if (kind == 1) grey[std::size_t{r} * width + rng() % width] = static_cast<uint8_t>(rng());
                for (uint32_t c = 0; kind >= 2 && c < width; ++c)
                    grey[std::size_t{r} * width + c] = static_cast<uint8_t>(kind == 3 && rng() % 3 == 0 ? 255 : rng());
            }
            for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
                for (int negative : {0, 1}) {
                    for (int dpi1200 : {0, 1, 2}) {
                        SCOPED_TRACE(testing::Message() << width << "x" << rows << " platform " << platform
                                                        << " negative " << negative << " dpi1200 " << dpi1200);
                        gImageCoverage = 0;
                        const auto fast = Dither(grey, width, rows, platform, negative, dpi1200);
                        const uint32_t fastCoverage = gImageCoverage;
                        gImageCoverage = 0;
                        ASSERT_EQ(fast, Dither(grey, width, rows, platform, negative, dpi1200, true));
                        ASSERT_EQ(fastCoverage, gImageCoverage);
                    }
                }
            }
        }
    }
}

}  // namespace

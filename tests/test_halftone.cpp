// Halftone screens and the dither that turns a grey page into printer dots.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/platform.h"
#include "prnt/halftone.h"
#include "prnt/page.h"

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
// weighted rows worked out from its printed tables; the 600 dpi screen and
// the tone codes are checked dot for dot by the end-to-end pages).
TEST(HalftoneTables, ScreensRepeatShiftedAndToneCodesStep) {
    EXPECT_TRUE(HalvesSwapped(HT_TABLE_600) && HalvesSwapped(HT_TABLE_1200_Z) && HalvesSwapped(HT_TABLE_1200_C));
    EXPECT_EQ(WeightedRows(HT_TABLE_1200_Z),
              (std::vector<int>{19184, 18378, 15456, 14512, 18961, 18320, 15625, 14994}));
    EXPECT_EQ(WeightedRows(HT_TABLE_1200_C),
              (std::vector<int>{53541, 48600, 43694, 37028, 39275, 43632, 46899, 53292, 48327, 43632, 37503,
                                39613, 44180, 47414}));
}

// The fast path against the dots made one at a time as the screens define
// them (the only check of the 1200 dpi screens' dots; black is a dot and white
// only in negative print), on rows that are white, white but for one pixel,
// noise, or noise with white runs, with their dot counts.
TEST(HalftoneDither, FastPathMakesTheSameDotsAsOneAtATime) {
    std::mt19937 rng(20240611);
    for (uint32_t width : {4u, 12u, 20u, 36u, 104u, 4736u}) {
        for (uint32_t rows : {1u, 17u, 35u}) {
            std::vector<uint8_t> grey(std::size_t{width} * rows, 255);
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

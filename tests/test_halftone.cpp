// Halftone screens and the dither that turns a grey page into printer dots.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/platform.h"
#include "prnt/halftone.h"
#include "prnt/page.h"
#include "support/device_capture.h"

namespace {

template <std::size_t N>
void ExpectHalvesSwapped(const uint8_t (&table)[N][N]) {
    for (std::size_t r = 0; r < N / 2; ++r)
        for (std::size_t c = 0; c < N; ++c)
            EXPECT_EQ(table[N / 2 + r][c], table[r][(c + N / 2) % N]) << "row " << r << " col " << c;
}

template <std::size_t N>
void ExpectThresholdsInRange(const uint8_t (&table)[N][N]) {
    for (const auto& row : table)
        for (uint8_t t : row) EXPECT_GE(t, 1);  // so black (0) is always below a threshold
}

struct Page {
    uint32_t width, rows;
    std::vector<uint8_t> grey;
};

// Dithers `grey` (width x rows) and returns the dot bytes (bits per dot x pixels / 8, rounded up).
std::vector<uint8_t> Dither(const Page& page, int platform, int negative, int dpi1200,
                            bool perPixel = false) {
    const bool twoBit = platform == PLATFORM_M && dpi1200 == 1;
    const std::size_t bits = static_cast<std::size_t>(page.width) * page.rows * (twoBit ? 2 : 1);
    std::vector<uint8_t> dots((bits + 7) / 8, 0);
    const auto fn = perPixel ? HalftoneDitherPerPixel : HalftoneDither;
    EXPECT_EQ(fn(page.grey.data(), page.width, page.rows, dots.data(), page.width, negative,
                 dpi1200, platform),
              1);
    return dots;
}

Page Uniform(uint32_t width, uint32_t rows, uint8_t value) {
    return {width, rows, std::vector<uint8_t>(static_cast<std::size_t>(width) * rows, value)};
}

TEST(HalftoneTables, SecondHalfIsFirstHalfWithItsHalvesExchanged) {
    ExpectHalvesSwapped(HT_TABLE_600);
    ExpectHalvesSwapped(HT_TABLE_1200_Z);
    ExpectHalvesSwapped(HT_TABLE_1200_C);
}

TEST(HalftoneTables, HoldThePrintedValues) {
    EXPECT_EQ(HT_TABLE_600[0][0], 6);
    EXPECT_EQ(HT_TABLE_600[0][11], 255);
    EXPECT_EQ(HT_TABLE_600[3][4], 1);
    EXPECT_EQ(HT_TABLE_600[7][15], 2);
    EXPECT_EQ(HT_TABLE_600[8][0], 7);     // row 0, column 8
    EXPECT_EQ(HT_TABLE_600[13][15], 216);  // row 5, column 7
    EXPECT_EQ(HT_TABLE_1200_Z[0][0], 5);
    EXPECT_EQ(HT_TABLE_1200_Z[2][4], 22);
    EXPECT_EQ(HT_TABLE_1200_Z[6][15], 29);
    EXPECT_EQ(HT_TABLE_1200_Z[15][0], 1);  // row 7, column 8
    EXPECT_EQ(HT_TABLE_1200_C[0][6], 255);
    EXPECT_EQ(HT_TABLE_1200_C[10][7], 148);
    EXPECT_EQ(HT_TABLE_1200_C[13][27], 1);
    EXPECT_EQ(HT_TABLE_1200_C[24][7], 145);  // row 10, column 21
    EXPECT_EQ(HT_TABLE_1200_C[27][14], 1);   // row 13, column 0
    ExpectThresholdsInRange(HT_TABLE_600);
    ExpectThresholdsInRange(HT_TABLE_1200_Z);
    ExpectThresholdsInRange(HT_TABLE_1200_C);
}

TEST(HalftoneTables, TwoBitValuesStepAtCodes1_24_64) {
    const int codes[] = {0, 1, 23, 24, 63, 64, 255};
    const int values[] = {0, 1, 1, 2, 2, 3, 3};
    for (int k = 0; k < 7; ++k) EXPECT_EQ(HT_TABLE_2BIG[codes[k]], values[k]) << codes[k];
}

struct ScreenCase {
    int platform, dpi1200;
};
const ScreenCase kScreens[] = {{PLATFORM_C, 0}, {PLATFORM_C, 1}, {PLATFORM_Z, 0},
                               {PLATFORM_Z, 1}, {PLATFORM_M, 0}, {PLATFORM_M, 1}};

TEST(HalftoneDither, BlackIsAlwaysADotAndWhiteNever) {
    for (const ScreenCase& s : kScreens) {
        SCOPED_TRACE(testing::Message() << "platform " << s.platform << " dpi1200 " << s.dpi1200);
        for (bool perPixel : {false, true}) {
            // 16 x 16 meets every threshold of the tile once.
            const auto black = Dither(Uniform(16, 16, 0), s.platform, 0, s.dpi1200, perPixel);
            EXPECT_EQ(black, std::vector<uint8_t>(black.size(), 0xFF));
            const auto white = Dither(Uniform(16, 16, 255), s.platform, 0, s.dpi1200, perPixel);
            EXPECT_EQ(white, std::vector<uint8_t>(white.size(), 0x00));
        }
    }
}

TEST(HalftoneDither, TwoBitToneCodes) {
    // Row 0 of HT_TABLE_600: column 1 is 82, column 6 is 70, column 7 is 5.
    Page page = Uniform(16, 1, 255);
    page.grey[1] = 100;  // code 73: value 3
    page.grey[6] = 200;  // code 0: value 0
    page.grey[7] = 200;  // code 50: value 2
    for (bool perPixel : {false, true}) {
        EXPECT_EQ(Dither(page, PLATFORM_M, 0, 1, perPixel), Bytes({0x30, 0x02, 0x00, 0x00}));
        EXPECT_EQ(Dither(page, PLATFORM_M, 1, 1, perPixel), Bytes({0xCF, 0xFD, 0xFF, 0xFF}));
    }
}

TEST(HalftoneDither, WhitePageCountsOnlyNegativeDots) {
    const Page white = Uniform(64, 32, 255);
    for (const ScreenCase& s : kScreens) {
        SCOPED_TRACE(testing::Message() << "platform " << s.platform << " dpi1200 " << s.dpi1200);
        gImageCoverage = 7;
        const auto positive = Dither(white, s.platform, 0, s.dpi1200);
        EXPECT_EQ(positive, std::vector<uint8_t>(positive.size(), 0x00));
        EXPECT_EQ(gImageCoverage, 7u);
        const auto negative = Dither(white, s.platform, 1, s.dpi1200);
        EXPECT_EQ(negative, std::vector<uint8_t>(negative.size(), 0xFF));
        EXPECT_EQ(gImageCoverage, s.platform == PLATFORM_M ? 7u : 7u + 64 * 32);
    }
}

TEST(HalftoneDither, TwelvePixelRowsRunOnIntoTheNextByte) {
    // v = 100 against row 0 (columns 0-11) and row 1 (columns 12-15, then 0-7).
    const Page page = Uniform(12, 2, 100);
    gImageCoverage = 0;
    EXPECT_EQ(Dither(page, PLATFORM_Z, 0, 0), Bytes({0x3C, 0x3E, 0x7E}));
    EXPECT_EQ(gImageCoverage, 15u);
    // Negative print inverts every byte, also the ones completed on tile
    // columns beyond this short line's 12 bytes.
    gImageCoverage = 0;
    EXPECT_EQ(Dither(page, PLATFORM_Z, 1, 0), Bytes({0xC3, 0xC1, 0x81}));
    EXPECT_EQ(gImageCoverage, 9u);
}

TEST(HalftoneDither, FinalPartialByteKeepsItsDotsShiftedAndUninverted) {
    gImageCoverage = 0;
    EXPECT_EQ(Dither(Uniform(13, 1, 0), PLATFORM_Z, 0, 0), Bytes({0xFF, 0x3E}));
    EXPECT_EQ(gImageCoverage, 13u);
    gImageCoverage = 0;
    EXPECT_EQ(Dither(Uniform(13, 1, 0), PLATFORM_C, 1, 0), Bytes({0x00, 0x3E}));
    EXPECT_EQ(gImageCoverage, 0u);
    EXPECT_EQ(Dither(Uniform(3, 1, 0), PLATFORM_M, 0, 1), Bytes({0xFC}));
}

TEST(HalftoneDither, EmptyPageWritesNothing) {
    const std::vector<uint8_t> grey(64, 0);
    std::vector<uint8_t> target(64, 0xAA);
    gImageCoverage = 3;
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 0, target.data(), 16, 0, 0, PLATFORM_Z), 1);
    EXPECT_EQ(HalftoneDither(grey.data(), 0, 4, target.data(), 0, 1, 0, PLATFORM_C), 1);
    EXPECT_EQ(target, std::vector<uint8_t>(64, 0xAA));
    EXPECT_EQ(gImageCoverage, 3u);
}

TEST(HalftoneDither, RejectsNullPointersAndUnknownPlatforms) {
    const std::vector<uint8_t> grey(16, 0);
    std::vector<uint8_t> target(2, 0);
    EXPECT_EQ(HalftoneDither(nullptr, 16, 1, target.data(), 16, 0, 0, PLATFORM_Z), 0);
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 1, nullptr, 16, 0, 0, PLATFORM_Z), 0);
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 1, target.data(), 16, 0, 0, PLATFORM_NONE), 0);
    EXPECT_EQ(HalftoneDither(grey.data(), 16, 1, target.data(), 16, 0, 0, 4), 0);
    EXPECT_EQ(target, Bytes({0, 0}));
}

// Grey pages that exercise every branch of the fast path: white rows, white
// runs, noise, and values on both sides of the thresholds.
Page RandomPage(uint32_t width, uint32_t rows, std::mt19937& rng) {
    Page page = Uniform(width, rows, 255);
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* line = &page.grey[static_cast<std::size_t>(r) * width];
        switch (rng() % 4) {
            case 0: break;  // white row
            case 1: line[rng() % width] = static_cast<uint8_t>(rng()); break;
            case 2:
                for (uint32_t c = 0; c < width; ++c) line[c] = static_cast<uint8_t>(rng());
                break;
            default:
                for (uint32_t c = 0; c < width; ++c)
                    line[c] = static_cast<uint8_t>(rng() % 3 == 0 ? 255 : rng() % 256);
        }
    }
    return page;
}

TEST(HalftoneDither, FastPathMakesTheSameDotsAsOneAtATime) {
    std::mt19937 rng(20240611);
    const uint32_t widths[] = {4, 8, 12, 16, 20, 24, 36, 40, 100, 104, 136, 4736};
    for (uint32_t width : widths) {
        for (uint32_t rows : {1u, 17u, 35u}) {
            const Page page = RandomPage(width, rows, rng);
            for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M}) {
                for (int negative : {0, 1}) {
                    for (int dpi1200 : {0, 1, 2}) {
                        SCOPED_TRACE(testing::Message() << width << "x" << rows << " platform "
                                                        << platform << " negative " << negative
                                                        << " dpi1200 " << dpi1200);
                        gImageCoverage = 0;
                        const auto fast = Dither(page, platform, negative, dpi1200);
                        const uint32_t fastCoverage = gImageCoverage;
                        gImageCoverage = 0;
                        const auto reference = Dither(page, platform, negative, dpi1200, true);
                        ASSERT_EQ(fast, reference);
                        ASSERT_EQ(fastCoverage, gImageCoverage);
                    }
                }
            }
        }
    }
}

}  // namespace

// The page image: halftone screens and the dither that turns a grey page into
// printer dots; our JBIG encoder against JBIG-KIT, the reference: the same
// bytes for the suite's pages and for structured bitmaps, on every platform's
// parameters.
#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "common/platform.h"
#include "jbigCompress/jbig_compress.h"
#include "prnt/halftone.h"
#include "prnt/image.h"
#include "prnt/page.h"
#include "support/job.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Dithers `grey` (width x rows) and returns the dot bytes (bits per dot x pixels / 8, rounded up).
Bytes Dither(const Bytes& grey, uint32_t width, uint32_t rows, int platform, int negative, int dpi1200,
             bool perPixel = false) {
    const std::size_t bits = std::size_t{width} * rows * (platform == PLATFORM_M && dpi1200 == 1 ? 2 : 1);
    Bytes dots((bits + 7) / 8, 0);
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
            for (int platform : {PLATFORM_C, PLATFORM_Z, PLATFORM_M})
                for (int negative : {0, 1})
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

// The grey pages the suite prints (text strokes, every grey level with
// noise, blank), halftoned by the reference screen.
Bytes SuitePage(const std::string& kind, unsigned w, unsigned h, int platform, int twoBit) {
    Bytes grey(std::size_t{w} * h, 255);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            uint8_t& g = grey[std::size_t{y} * w + x];
            if (kind == "text")
                g = (y % 40 < 12 && (x * 7 + y) % 23 < 9) ? 0 : 255;
            else if (kind == "photo")
                g = static_cast<uint8_t>((x / 5 + y / 7 + ((x * 2654435761u) >> 28)) & 0xFF);
            else if (kind == "mixed")
                g = y < h / 2 ? ((y % 40 < 12 && (x * 7 + y) % 23 < 9) ? 0 : 255) : static_cast<uint8_t>(x * 255 / w);
        }
    return ExpectedDots(grey, w, h, platform, 0, twoBit);
}

// Bitmaps the pages do not reach: w dots a row, whole bytes per row.
Bytes Structured(const std::string& kind, unsigned w, unsigned h) {
    const std::size_t bpl = (w + 7) / 8;
    Bytes bits(bpl * h, 0);
    auto set = [&](unsigned x, unsigned y) { bits[y * bpl + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); };
    uint32_t noise = 12345;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            noise = noise * 1103515245u + 12345u;
            if (kind == "period 6" && (x + y * y) % 6 < 3) set(x, y);  // the moved pixel predicts best
            if (kind == "sparse 8" && y % 3 != 2 && (x + y) % 8 == 0) set(x, y);  // it predicts best, not by enough
            if (kind == "noise" && (noise >> 16) % 2) set(x, y);
            if (kind == "black") set(x, y);
            if (kind == "diagonals" && (x + 3 * y) % 17 < 2) set(x, y);
        }
    return bits;
}

TEST(JbigEncoder, WritesJbigkitsBytes) {
    const struct {
        const char* bitmap;
        int platform;
        unsigned width, height;  // dots of the bitmap
        int twoBit;              // M's 2-bit page: twice the width in bits
        bool moves;              // JBIG-KIT moves the adaptive pixel
    } rows[] = {
        // bitmap              platform     width height 2-bit moves
        {"text",              PLATFORM_C, 1216, 1200, 0, false},
        {"text",              PLATFORM_Z, 1216, 1200, 0, false},
        {"text",              PLATFORM_M, 1216, 1200, 0, false},
        {"photo",             PLATFORM_C, 1216, 1200, 0, true},
        {"photo",             PLATFORM_Z, 1216, 1200, 0, false},
        {"photo",             PLATFORM_M, 1216, 1200, 0, false},
        {"photo",             PLATFORM_M, 1216,  600, 1, false},
        {"mixed",             PLATFORM_C, 1216, 1200, 0, false},
        {"mixed",             PLATFORM_M, 1216,  600, 1, false},
        {"blank",             PLATFORM_C, 1216, 1200, 0, false},
        {"blank",             PLATFORM_Z, 1216,  300, 0, false},
        {"period 6",          PLATFORM_C,  266,   40, 0, true},  // 2048 pixels seen after 8 lines
        {"period 6",          PLATFORM_C,  267,   40, 0, true},  // 2056: the move is decided a line earlier
        {"sparse 8",          PLATFORM_C,  200,   40, 0, false},
        {"period 6",          PLATFORM_Z,  400,   40, 0, false},
        {"diagonals",         PLATFORM_C,  333,  257, 0, false},
        {"diagonals",         PLATFORM_Z,  333,  257, 0, false},
        {"noise",             PLATFORM_C,   61,   97, 0, false},
        {"noise",             PLATFORM_M,  256,    1, 0, false},
        {"black",             PLATFORM_C,    3,    1, 0, false},
        {"black",             PLATFORM_Z,  513,  513, 0, false},
    };
    for (const auto& row : rows) {  // JBIG-KIT's bytes and ours, banded on PLATFORM_Z as the filter bands
        SCOPED_TRACE(testing::Message() << row.bitmap << " on platform " << row.platform
                                        << (row.twoBit ? ", 2-bit" : "") << ", " << row.width << " x " << row.height);
        const unsigned bitsWide = row.width * (row.twoBit ? 2 : 1);
        const std::string kind = row.bitmap;
        const bool structured = kind != "text" && kind != "photo" && kind != "mixed" && kind != "blank";
        const Bytes bits = structured ? Structured(row.bitmap, bitsWide, row.height)
                                      : SuitePage(row.bitmap, row.width, row.height, row.platform, row.twoBit);
        GDI_SEND_PAGE_PARAM page{};
        page.whlImgW = static_cast<uint16_t>(bitsWide);
        page.whlImgH = static_cast<uint16_t>(row.height);
        page.rasImgH = row.height;
        const JBIG_BIH pageBih = JbigParamsFor(page, row.platform);
        const std::size_t bpl = (bitsWide + 7) / 8;
        bool moved = false;
        for (uint32_t band = 0; band < JbigBandCount(pageBih, row.platform); ++band) {
            JBIG_BIH bih = pageBih;
            uint32_t top = 0;
            if (row.platform == PLATFORM_Z) {
                top = band * kJbigBandHeight;
                bih.ParamImgHeight = bih.ParamL0 = std::min<uint32_t>(kJbigBandHeight, row.height - top);
            }
            Bytes ours(bits.begin() + top * bpl, bits.begin() + (top + bih.ParamImgHeight) * bpl);
            Bytes theirs = ours;
            ByteBuffer a, b;
            ASSERT_EQ(JBIGCompress(bih, ours.data(), &a), 1);
            ASSERT_EQ(JBIGCompressWithJbigkit(bih, theirs.data(), &b), 1);
            const Bytes got(a.data, a.data + a.size), want(b.data, b.data + b.size);
            const auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
            EXPECT_TRUE(got == want) << "band " << band << ": " << got.size() << " bytes against JBIG-KIT's "
                                     << want.size() << ", first difference at byte " << at;
            EXPECT_TRUE(ours == theirs) << "the padding bits are cleared alike";
            for (std::size_t k = 20; k + 1 < want.size(); ++k) moved |= want[k] == 0xff && want[k + 1] == 0x06;
        }
        EXPECT_EQ(moved, row.moves) << "the table no longer exercises the template move";
    }
}

}  // namespace

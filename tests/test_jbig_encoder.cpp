// Our JBIG encoder against JBIG-KIT, the reference: the same bytes for the
// suite's pages and for structured bitmaps, on every platform's parameters.
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/platform.h"
#include "jbigCompress/jbig_compress.h"
#include "prnt/image.h"
#include "support/job.h"

namespace {

using Bytes = std::vector<uint8_t>;

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
                g = y < h / 2 ? ((y % 40 < 12 && (x * 7 + y) % 23 < 9) ? 0 : 255)
                              : static_cast<uint8_t>(x * 255 / w);
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
            if (kind == "noise" && (noise >> 16) % 2) set(x, y);
            if (kind == "black") set(x, y);
            if (kind == "diagonals" && (x + 3 * y) % 17 < 2) set(x, y);
        }
    return bits;
}

struct Row {
    const char* bitmap;
    int platform;
    unsigned width, height;  // dots of the bitmap
    int twoBit;              // M's 2-bit page: twice the width in bits
    bool moves;              // JBIG-KIT moves the adaptive pixel
};

// JBIG-KIT's bytes and ours for one bitmap on a platform's parameters, banded
// on PLATFORM_Z as the filter bands.
void Compare(const Row& row) {
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
        std::size_t at = 0;
        while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
        EXPECT_TRUE(got == want) << "band " << band << ": " << got.size() << " bytes against JBIG-KIT's "
                                 << want.size() << ", first difference at byte " << at;
        EXPECT_TRUE(ours == theirs) << "the padding bits are cleared alike";
        for (std::size_t k = 20; k + 1 < want.size(); ++k) moved |= want[k] == 0xff && want[k + 1] == 0x06;
    }
    EXPECT_EQ(moved, row.moves) << "the table no longer exercises the template move";
}

TEST(JbigEncoder, WritesJbigkitsBytes) {
    const Row rows[] = {
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
        {"period 6",          PLATFORM_Z,  400,   40, 0, false},
        {"diagonals",         PLATFORM_C,  333,  257, 0, false},
        {"diagonals",         PLATFORM_Z,  333,  257, 0, false},
        {"noise",             PLATFORM_C,   61,   97, 0, false},
        {"noise",             PLATFORM_M,  256,    1, 0, false},
        {"black",             PLATFORM_C,    3,    1, 0, false},
        {"black",             PLATFORM_Z,  513,  513, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.bitmap) + " on platform " + std::to_string(row.platform) +
                     (row.twoBit ? ", 2-bit" : "") + ", " + std::to_string(row.width) + " x " +
                     std::to_string(row.height));
        Compare(row);
    }
}

}  // namespace

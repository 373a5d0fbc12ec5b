// Paper tables, model list, page size lookups and the oversize page override.
#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/paper_lookup.h"
#include "common/platform.h"
#include "prnt/model_list.h"
#include "prnt/paper_tables.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/paper_override.h"

namespace {

struct Table {
    const char* name;
    const PAPER_SIZE_INFO* rows;
    int entries;  // rows including the end row
};

const Table kTables[] = {
    {"Orvane", gPaperSizeArray_Orvane, 25},
    {"OrvaneMFP", gPaperSizeArray_OrvaneMFP, 24},
    {"Dolvek_Serith", gPaperSizeArray_Dolvek_Serith, 24},
    {"Lurran_Tessik", gPaperSizeArray_Lurran_Tessik, 24},
};

int Lookup(unsigned w, unsigned h, const PAPER_SIZE_INFO* table, int* feed) {
    const unsigned size[2] = {w, h};
    return GetPaperArrayIndex(size, table, feed);
}

TEST(PaperLookup, A4RowAndCodePerTable) {
    int feed = 0;
    int row = Lookup(595, 842, gPaperSizeArray_Orvane, &feed);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(gPaperSizeArray_Orvane[row].fwPaperNum, 1);
    row = Lookup(595, 842, gPaperSizeArray_Dolvek_Serith, &feed);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(gPaperSizeArray_Dolvek_Serith[row].fwPaperNum, 1);
    row = Lookup(595, 842, gPaperSizeArray_Lurran_Tessik, &feed);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(gPaperSizeArray_Lurran_Tessik[row].fwPaperNum, 9);
    EXPECT_EQ(feed, 0);
}

TEST(PaperLookup, A5OneLongerIsFedLongEdge) {
    for (const Table& t : kTables) {
        int feed = 0;
        EXPECT_EQ(Lookup(421, 595, t.rows, &feed), 0) << t.name;
        EXPECT_EQ(feed, 1) << t.name;
        feed = 7;
        EXPECT_EQ(Lookup(420, 595, t.rows, &feed), 0) << t.name;
        EXPECT_EQ(feed, 7) << t.name;
    }
}

TEST(PaperLookup, FirstB6RowWins) {
    int feed = 0;
    const int row = Lookup(354, 499, gPaperSizeArray_Orvane, &feed);
    EXPECT_EQ(row, 6);
    EXPECT_EQ(gPaperSizeArray_Orvane[row].fwPaperNum, 31);
}

TEST(PaperLookup, NoToleranceAndNoSwap) {
    int feed = 0;
    EXPECT_EQ(Lookup(842, 595, gPaperSizeArray_Orvane, &feed), -1);
    EXPECT_EQ(Lookup(596, 842, gPaperSizeArray_Orvane, &feed), -1);
    EXPECT_EQ(Lookup(842, 1191, gPaperSizeArray_Orvane, &feed), -1);
}

TEST(PaperTables, EndRowsAndRowCounts) {
    for (const Table& t : kTables) {
        int end = 0;
        while (t.rows[end].cupsPaperW != -1) ++end;
        EXPECT_EQ(end + 1, t.entries) << t.name;
        const PAPER_SIZE_INFO& last = t.rows[end];
        EXPECT_EQ(last.cupsPaperH, 0) << t.name;
        EXPECT_EQ(last.fwPaperW, 0) << t.name;
        EXPECT_EQ(last.fwPaperH, 0) << t.name;
        EXPECT_EQ(last.fwPaperNum, 0) << t.name;
        EXPECT_EQ(last.fwPaperMarginX, 0) << t.name;
        EXPECT_EQ(last.fwPaperMarginY, 0) << t.name;
        EXPECT_STREQ(last.strPageSize, "") << t.name;
        EXPECT_STREQ(t.rows[0].strPageSize, "A5") << t.name;
    }
}

TEST(PaperTables, NamesAndCodesAreUnique) {
    for (const Table& t : kTables) {
        std::set<std::string> names;
        std::set<int> codes;
        for (const PAPER_SIZE_INFO* r = t.rows; r->cupsPaperW != -1; ++r) {
            const bool seen = !names.insert(r->strPageSize).second;
            const bool knownDuplicate = t.rows == gPaperSizeArray_Orvane && r - t.rows == 18;
            EXPECT_EQ(seen, knownDuplicate) << t.name << " " << r->strPageSize;
            EXPECT_TRUE(codes.insert(r->fwPaperNum).second) << t.name << " " << r->strPageSize;
        }
    }
}

// A paper has the same size in points in every table.
TEST(PaperTables, PaperSizesAgreeAcrossTables) {
    std::map<std::string, std::pair<int, int>> sizes;
    for (const Table& t : kTables) {
        for (const PAPER_SIZE_INFO* r = t.rows; r->cupsPaperW != -1; ++r) {
            const auto entry =
                sizes.emplace(r->strPageSize, std::make_pair(r->cupsPaperW, r->cupsPaperH));
            EXPECT_EQ(entry.first->second, std::make_pair(r->cupsPaperW, r->cupsPaperH))
                << t.name << " " << r->strPageSize;
        }
    }
    EXPECT_EQ(sizes.size(), 23u);
    EXPECT_EQ(sizes["Letter"], std::make_pair(612, 792));
    EXPECT_EQ(sizes["Legal"], std::make_pair(612, 1008));
}

// The image fits the paper at 600 dpi and loses only the unprintable border
// (about 9 to 11 mm, plus the margins of the envelope rows) to it.
TEST(PaperTables, ImageSizeFitsThePaper) {
    for (const Table& t : kTables) {
        for (const PAPER_SIZE_INFO* r = t.rows; r->cupsPaperW != -1; ++r) {
            const double paperW = r->cupsPaperW * 600.0 / 72.0;
            const double paperH = r->cupsPaperH * 600.0 / 72.0;
            EXPECT_EQ(r->fwPaperW % 8, 0) << t.name << " " << r->strPageSize;
            EXPECT_LE(r->fwPaperW + r->fwPaperMarginX, paperW) << t.name << " " << r->strPageSize;
            EXPECT_GE(r->fwPaperW + 2 * r->fwPaperMarginX, paperW - 250)
                << t.name << " " << r->strPageSize;
            const double borderH = paperH - 2 * r->fwPaperMarginY - r->fwPaperH;
            EXPECT_GE(borderH, 200) << t.name << " " << r->strPageSize;
            EXPECT_LE(borderH, 245) << t.name << " " << r->strPageSize;
        }
    }
}

TEST(PaperTables, OnlyMfpEnvelopeRowsHaveMargins) {
    for (const Table& t : kTables) {
        for (int row = 0; t.rows[row].cupsPaperW != -1; ++row) {
            const bool margins = t.rows == gPaperSizeArray_OrvaneMFP && row >= 11 && row <= 16;
            EXPECT_EQ(t.rows[row].fwPaperMarginX, margins ? 240 : 0) << t.name << " " << row;
            EXPECT_EQ(t.rows[row].fwPaperMarginY, margins ? 120 : 0) << t.name << " " << row;
        }
    }
}

TEST(ModelList, NamesAreWellFormedAndUnique) {
    std::set<std::string> names;
    for (const NorvexModel& m : gNorvexModels) {
        const std::string name = m.name;
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_GE(name.size(), 19u) << name;
        EXPECT_LE(name.size(), 26u) << name;
        EXPECT_EQ(name.rfind("Norvex ", 0), 0u) << name;
        ASSERT_GE(name.size(), 14u);
        EXPECT_EQ(name.substr(name.size() - 7), " Series") << name;
        EXPECT_EQ(name.find("  "), std::string::npos) << name;
        EXPECT_GT(name.size(), std::strlen("Norvex  Series")) << name;  // a designation between
    }
    EXPECT_EQ(names.size(), 50u);
}

TEST(ModelList, GroupsSelectTableAndPlatform) {
    struct Group {
        int count;
        int platform;
        const PAPER_SIZE_INFO* table;
    };
    const Group groups[] = {{2, PLATFORM_C, gPaperSizeArray_Orvane},
                            {2, PLATFORM_C, gPaperSizeArray_OrvaneMFP},
                            {15, PLATFORM_Z, gPaperSizeArray_Dolvek_Serith},
                            {31, PLATFORM_M, gPaperSizeArray_Lurran_Tessik}};
    int index = 0;
    for (const Group& g : groups) {
        for (int i = 0; i < g.count; ++i, ++index) {
            const NorvexModel& m = gNorvexModels[index];
            EXPECT_EQ(m.platform, g.platform) << m.name;
            EXPECT_EQ(m.paperTable, g.table) << m.name;
            int platform = -1;
            EXPECT_EQ(GetPaperSizeArray(m.name, &platform), g.table) << m.name;
            EXPECT_EQ(platform, g.platform) << m.name;
        }
    }
    EXPECT_EQ(index, kModelCount);
    EXPECT_STREQ(gNorvexModels[4].name, "Norvex Kavrin Series");
    EXPECT_STREQ(gNorvexModels[5].name, "Norvex Quessan Series");
}

TEST(ModelList, MatchIsExactAndCaseSensitive) {
    for (const NorvexModel& m : gNorvexModels) {
        std::string upper = m.name, lower = m.name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const std::string& other :
             {upper, lower, std::string(m.name) + " ", std::string(m.name).substr(1)}) {
            int platform = -1;
            EXPECT_EQ(GetPaperSizeArray(other.c_str(), &platform), nullptr) << other;
            EXPECT_EQ(platform, 0) << other;
        }
    }
}

// The driver's model buffer is 1024 bytes and a PPD may fill it without a NUL.
TEST(ModelList, UnterminatedModelBufferIsNeverReadPast) {
    constexpr std::size_t kBuffer = 1024;
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    std::memset(buffer.get(), 'N', kBuffer);
    int platform = -1;
    EXPECT_EQ(GetPaperSizeArray(buffer.get(), &platform), nullptr);
    EXPECT_EQ(platform, 0);

    // A known name followed by more text is another name.
    const char* known = gNorvexModels[kModelCount - 1].name;
    std::memset(buffer.get(), ' ', kBuffer);
    std::memcpy(buffer.get(), known, std::strlen(known));
    EXPECT_EQ(GetPaperSizeArray(buffer.get(), &platform), nullptr);
    EXPECT_EQ(platform, 0);
}

class PageSizeOverride : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitCUPSDLL(); }

    static cups_page_header2_t Page(unsigned w, unsigned h) {
        cups_page_header2_t header{};
        header.PageSize[0] = w;
        header.PageSize[1] = h;
        return header;
    }
    static std::pair<unsigned, unsigned> SizeAfter(unsigned w, unsigned h, const char* pageSize,
                                                   const PAPER_SIZE_INFO* table) {
        cups_page_header2_t header = Page(w, h);
        cups_option_t option{const_cast<char*>("PageSize"),
                             const_cast<char*>(pageSize ? pageSize : "")};
        isCutThePaper(&header, table, pageSize ? 1 : 0, pageSize ? &option : nullptr);
        return {header.PageSize[0], header.PageSize[1]};
    }
};

TEST_F(PageSizeOverride, OversizedPageTakesTheNamedPaper) {
    const auto size = SizeAfter(842, 1191, "A4", gPaperSizeArray_Dolvek_Serith);
    EXPECT_EQ(size, std::make_pair(595u, 842u));
    int feed = 0;
    const int row = Lookup(size.first, size.second, gPaperSizeArray_Dolvek_Serith, &feed);
    ASSERT_GE(row, 0);
    EXPECT_STREQ(gPaperSizeArray_Dolvek_Serith[row].strPageSize, "A4");
}

TEST_F(PageSizeOverride, NameMustMatchExactly) {
    EXPECT_EQ(SizeAfter(842, 1191, "a4", gPaperSizeArray_Dolvek_Serith),
              std::make_pair(842u, 1191u));
    EXPECT_EQ(SizeAfter(842, 1191, "A4 ", gPaperSizeArray_Dolvek_Serith),
              std::make_pair(842u, 1191u));
    EXPECT_EQ(SizeAfter(842, 1191, nullptr, gPaperSizeArray_Dolvek_Serith),
              std::make_pair(842u, 1191u));
    int feed = 0;
    EXPECT_EQ(Lookup(842, 1191, gPaperSizeArray_Dolvek_Serith, &feed), -1);
}

TEST_F(PageSizeOverride, OnlyPagesLargerThanLegalBothWays) {
    for (const Table& t : kTables) {
        EXPECT_EQ(SizeAfter(612, 1008, "A4", t.rows), std::make_pair(612u, 1008u)) << t.name;
        EXPECT_EQ(SizeAfter(700, 900, "A4", t.rows), std::make_pair(700u, 900u)) << t.name;
        EXPECT_EQ(SizeAfter(613, 1008, "A4", t.rows), std::make_pair(613u, 1008u)) << t.name;
        EXPECT_EQ(SizeAfter(612, 1009, "A4", t.rows), std::make_pair(612u, 1009u)) << t.name;
        EXPECT_EQ(SizeAfter(613, 1009, "A4", t.rows), std::make_pair(595u, 842u)) << t.name;
    }
}

TEST_F(PageSizeOverride, OnlyPapersOfTheTable) {
    EXPECT_EQ(SizeAfter(900, 1200, "Letter", gPaperSizeArray_Lurran_Tessik),
              std::make_pair(612u, 792u));
    EXPECT_EQ(SizeAfter(900, 1200, "A3", gPaperSizeArray_Lurran_Tessik),
              std::make_pair(900u, 1200u));
    EXPECT_EQ(SizeAfter(900, 1200, "", gPaperSizeArray_Lurran_Tessik), std::make_pair(900u, 1200u));
}

TEST_F(PageSizeOverride, NoTableLeavesThePage) {
    EXPECT_EQ(SizeAfter(842, 1191, "A4", nullptr), std::make_pair(842u, 1191u));
}

}  // namespace

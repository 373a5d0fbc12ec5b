// Paper tables, model list, page size lookups and the oversize page override.
#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
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

TEST(PaperLookup, RowCodeAndFeed) {
    const struct {
        unsigned w, h;
        const PAPER_SIZE_INFO* table;
        int row, code;
    } cases[] = {
        {595, 842, gPaperSizeArray_Orvane, 2, 1},
        {595, 842, gPaperSizeArray_Dolvek_Serith, 1, 1},
        {595, 842, gPaperSizeArray_Lurran_Tessik, 1, 9},
        {354, 499, gPaperSizeArray_Orvane, 6, 31},  // the first B6 row wins
        {842, 595, gPaperSizeArray_Orvane, -1, 0},  // no swap and no tolerance
        {596, 842, gPaperSizeArray_Orvane, -1, 0},
        {842, 1191, gPaperSizeArray_Orvane, -1, 0},
    };
    for (const auto& c : cases) {
        const unsigned size[2] = {c.w, c.h};
        int feed = 7;
        const int row = GetPaperArrayIndex(size, c.table, &feed);
        EXPECT_EQ(row, c.row) << c.w << "x" << c.h;
        EXPECT_EQ(row >= 0 ? c.table[row].fwPaperNum : 0, c.code) << c.w << "x" << c.h;
        EXPECT_EQ(feed, 7);
    }
    // A5 one point longer is A5 fed long edge first.
    for (const Table& t : kTables) {
        for (unsigned w : {420u, 421u}) {
            const unsigned size[2] = {w, 595};
            int feed = 7;
            EXPECT_EQ(GetPaperArrayIndex(size, t.rows, &feed), 0) << t.name;
            EXPECT_EQ(feed, w == 421 ? 1 : 7) << t.name;
        }
    }
}

// Each table ends in its last entry; its codes are unique; every image is a
// whole number of bytes wide and fits its paper at 600 dpi, losing only the
// unprintable border (about 9 to 11 mm, plus the margins of the envelope rows).
TEST(PaperTables, AreConsistent) {
    for (const Table& t : kTables) {
        std::set<int> codes;
        int row = 0;
        for (const PAPER_SIZE_INFO* r = t.rows; r->cupsPaperW != -1; ++r, ++row) {
            SCOPED_TRACE(std::string(t.name) + " " + r->strPageSize);
            EXPECT_TRUE(codes.insert(r->fwPaperNum).second);
            EXPECT_EQ(r->fwPaperW % 8, 0);
            const double paperW = r->cupsPaperW * 600.0 / 72.0, paperH = r->cupsPaperH * 600.0 / 72.0;
            EXPECT_LE(r->fwPaperW + r->fwPaperMarginX, paperW);
            EXPECT_GE(r->fwPaperW + 2 * r->fwPaperMarginX, paperW - 250);
            const double borderH = paperH - 2 * r->fwPaperMarginY - r->fwPaperH;
            EXPECT_TRUE(borderH >= 200 && borderH <= 245) << borderH;
        }
        EXPECT_EQ(row + 1, t.entries) << t.name;
        EXPECT_STREQ(t.rows[row].strPageSize, "") << t.name;
    }
}

// Every model finds its own paper table and platform by its name.
TEST(ModelList, NamesSelectTableAndPlatform) {
    const std::map<const PAPER_SIZE_INFO*, int> platformOf = {{gPaperSizeArray_Orvane, PLATFORM_C},
                                                              {gPaperSizeArray_OrvaneMFP, PLATFORM_C},
                                                              {gPaperSizeArray_Dolvek_Serith, PLATFORM_Z},
                                                              {gPaperSizeArray_Lurran_Tessik, PLATFORM_M}};
    std::set<std::string> names;
    for (const NorvexModel& m : gNorvexModels) {
        EXPECT_TRUE(names.insert(m.name).second) << m.name;
        ASSERT_EQ(platformOf.count(m.paperTable), 1u) << m.name;
        EXPECT_EQ(m.platform, platformOf.at(m.paperTable)) << m.name;
        int platform = -1;
        EXPECT_EQ(GetPaperSizeArray(m.name, &platform), m.paperTable) << m.name;
        EXPECT_EQ(platform, m.platform) << m.name;
    }
}

TEST(ModelList, MatchIsExactAndCaseSensitive) {
    // The driver's model buffer is 1024 bytes and a PPD may fill it without a
    // NUL; a known name followed by more text is another name.
    std::vector<char> unterminated(1024, 'N'), longer(1024, ' ');
    std::memcpy(longer.data(), gNorvexModels[kModelCount - 1].name, std::strlen(gNorvexModels[kModelCount - 1].name));
    for (const std::vector<char>& buffer : {unterminated, longer}) {
        int platform = -1;
        EXPECT_EQ(GetPaperSizeArray(buffer.data(), &platform), nullptr);
        EXPECT_EQ(platform, 0);
    }
    std::vector<std::string> others;
    for (const NorvexModel& m : gNorvexModels) {
        std::string upper = m.name, lower = m.name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        others.insert(others.end(), {upper, lower, std::string(m.name) + " ", std::string(m.name).substr(1)});
    }
    for (const std::string& other : others) {
        int platform = -1;
        EXPECT_EQ(GetPaperSizeArray(other.c_str(), &platform), nullptr) << other;
        EXPECT_EQ(platform, 0) << other;
    }
}

// Only pages larger than Legal both ways take the paper PageSize names, if
// the table has a paper of exactly that name.
TEST(PageSizeOverride, OnlyOversizedPagesTakeANamedPaperOfTheTable) {
    InitCUPSDLL();
    struct Case {
        unsigned w, h;
        const char* pageSize;
        const PAPER_SIZE_INFO* table;
        unsigned wantW, wantH;
    };
    std::vector<Case> cases = {
        {842, 1191, "A4", gPaperSizeArray_Dolvek_Serith, 595, 842},
        {842, 1191, "a4", gPaperSizeArray_Dolvek_Serith, 842, 1191},
        {842, 1191, "A4 ", gPaperSizeArray_Dolvek_Serith, 842, 1191},
        {842, 1191, nullptr, gPaperSizeArray_Dolvek_Serith, 842, 1191},
        {900, 1200, "Letter", gPaperSizeArray_Lurran_Tessik, 612, 792},
        {900, 1200, "A3", gPaperSizeArray_Lurran_Tessik, 900, 1200},
        {900, 1200, "", gPaperSizeArray_Lurran_Tessik, 900, 1200},
        {842, 1191, "A4", nullptr, 842, 1191},
    };
    for (const Table& t : kTables) {
        for (auto [w, h] : {std::make_pair(612u, 1008u), std::make_pair(613u, 1008u), std::make_pair(612u, 1009u)})
            cases.push_back({w, h, "A4", t.rows, w, h});
        cases.push_back({613, 1009, "A4", t.rows, 595, 842});
    }
    for (const Case& c : cases) {
        cups_page_header2_t header{};
        header.PageSize[0] = c.w;
        header.PageSize[1] = c.h;
        cups_option_t option{const_cast<char*>("PageSize"), const_cast<char*>(c.pageSize ? c.pageSize : "")};
        isCutThePaper(&header, c.table, c.pageSize ? 1 : 0, c.pageSize ? &option : nullptr);
        EXPECT_EQ(std::make_pair(header.PageSize[0], header.PageSize[1]), std::make_pair(c.wantW, c.wantH))
            << c.w << "x" << c.h << " " << (c.pageSize ? c.pageSize : "(none)");
    }
}

}  // namespace

// The catalogue as the filter reads it: paper tables, model list, page size
// lookups and the oversize page override; the job options and the PPD
// defaults on PLATFORM_Z; the generated PPDs.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "catalogue/device_id.h"
#include "catalogue/driver_texts.h"
#include "catalogue/model_list.h"
#include "catalogue/paper_lookup.h"
#include "catalogue/paper_tables.h"
#include "catalogue/platform_traits.h"
#include "common/platform.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_options.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/paper_override.h"
#include "support/job.h"

namespace {

const std::map<const PAPER_SIZE_INFO*, int> kPlatformOf = {{gPaperSizeArray_Orvane, PLATFORM_C},
                                                           {gPaperSizeArray_OrvaneMFP, PLATFORM_C},
                                                           {gPaperSizeArray_Dolvek_Serith, PLATFORM_Z},
                                                           {gPaperSizeArray_Lurran_Tessik, PLATFORM_M}};

// The first row of the sheet's exact size wins, with no swap and no tolerance;
// A5 one point longer is A5 fed long edge first.
TEST(PaperLookup, RowAndFeed) {
    const struct {
        unsigned w, h;
        int row, feed;
    } cases[] = {{595, 842, 1, 7},  {842, 595, -1, 7}, {596, 842, -1, 7},
                 {842, 1191, -1, 7}, {420, 595, 0, 7},  {421, 595, 0, 1}};
    for (const auto& c : cases) {
        const unsigned size[2] = {c.w, c.h};
        int feed = 7;
        EXPECT_EQ(GetPaperArrayIndex(size, gPaperSizeArray_Dolvek_Serith, &feed), c.row) << c.w << "x" << c.h;
        EXPECT_EQ(feed, c.feed) << c.w << "x" << c.h;
    }
}

// Each table ends in its empty row; its codes are unique; every image is a
// whole number of bytes wide and fits its paper at 600 dpi, losing only the
// unprintable border (about 9 to 11 mm, plus the margins of the envelope rows).
TEST(PaperTables, AreConsistent) {
    for (const auto& [table, platform] : kPlatformOf) {
        std::set<int> codes;
        const PAPER_SIZE_INFO* r = table;
        for (; r->cupsPaperW != -1; ++r) {
            SCOPED_TRACE(r->strPageSize);
            EXPECT_TRUE(codes.insert(r->fwPaperNum).second);
            EXPECT_EQ(r->fwPaperW % 8, 0);
            const double paperW = r->cupsPaperW * 600.0 / 72.0, paperH = r->cupsPaperH * 600.0 / 72.0;
            EXPECT_LE(r->fwPaperW + r->fwPaperMarginX, paperW);
            EXPECT_GE(r->fwPaperW + 2 * r->fwPaperMarginX, paperW - 250);
            const double borderH = paperH - 2 * r->fwPaperMarginY - r->fwPaperH;
            EXPECT_TRUE(borderH >= 200 && borderH <= 245) << borderH;
        }
        EXPECT_STREQ(r->strPageSize, "");
    }
}

// The margins of a table hold what the crop takes from its worst row, with a
// point and a dot of rounding: (W + 1) * 600/72 + 1 - image dots, halved
// across; 1/100 mm rounded up. Custom sizes lose the 12-point PPD margins
// and a dot: (25 * 600/72 + 2) / 2 dots across.
TEST(PaperTables, MarginsHoldWhatTheCropCutsOff) {
    const struct {
        const PAPER_SIZE_INFO* table;
        int leftRight, bottomTop;
    } cases[] = {
        {gPaperSizeArray_Orvane, 446, 1056},         // custom sizes 105.2 dots; B5 (730 pt, 5835) 249.3
        {gPaperSizeArray_OrvaneMFP, 1019, 2055},     // EnvDL (313 pt, 2128) 240.7; (625 pt, 4724) 485.3
        {gPaperSizeArray_Dolvek_Serith, 520, 1056},  // Letter (613 pt, 4864) 122.7; B5 249.3
        {gPaperSizeArray_Lurran_Tessik, 520, 1039},  // Letter 122.7; Statement (613 pt, 4864) 245.3
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "table of " << c.table[0].strPageSize << " " << c.table[1].strPageSize);
        const UnprintableMargins m = LargestUnprintableMargins(c.table, kCustomMargin);
        EXPECT_EQ(m.leftRight, c.leftRight);
        EXPECT_EQ(m.bottomTop, c.bottomTop);
    }
}

// Every model finds its own entry (no other name is a prefix that wins) and a
// table of its platform; a name that differs in case or by a character is no
// model.
TEST(ModelList, NamesMatchExactlyAndCaseSensitive) {
    std::vector<std::string> others;
    for (const NorvexModel& m : gNorvexModels) {
        ASSERT_EQ(kPlatformOf.count(m.paperTable), 1u) << m.name;
        EXPECT_EQ(m.platform, kPlatformOf.at(m.paperTable)) << m.name;
        int platform = -1;
        EXPECT_EQ(GetPaperSizeArray(m.name, &platform), m.paperTable) << m.name;
        EXPECT_EQ(platform, m.platform) << m.name;
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

// Each model's device ID is its maker and the rest of its name; a device's
// ID finds its model in the variants printers write, and tells a Norvex
// device that no model matches from another maker's.
TEST(ModelList, DeviceIdsNameTheirModel) {
    for (const NorvexModel& m : gNorvexModels) {
        ASSERT_EQ(std::strncmp(m.name, "Norvex ", 7), 0) << m.name;
        EXPECT_EQ(DeviceIdOf(m), "MFG:Norvex;MDL:" + std::string(m.name + 7) + ";");
        bool isNorvex = false;
        EXPECT_EQ(ModelOfDeviceId(DeviceIdOf(m).c_str(), &isNorvex), &m) << m.name;
    }
    const struct {
        const char* deviceId;
        const char* model;  // nullptr: none
        bool isNorvex;
    } cases[] = {
        {"MFG:Norvex;MDL:Kavrin;", "Norvex Kavrin Series", true},
        {"MFG:Norvex Inc.;MDL:Kavrin Series;", "Norvex Kavrin Series", true},
        {"MFG:Norvex, Inc.;CMD:GDI;MDL:Norvex Lurran 3010 Series;CLS:PRINTER;", "Norvex Lurran 3010 Series", true},
        {"MFG:NORVEX;MDL:DOLVEK M1180 SERIES;", "Norvex Dolvek M1180 Series", true},
        {"manufacturer:norvex;model:serith 2120;", "Norvex Serith 2120 Series", true},
        {"MANUFACTURER:Norvex;MODEL:Pellan M340 Series;", "Norvex Pellan M340 Series", true},
        {" MFG: Norvex ;MDL:  Varda  M660   Series ; ", "Norvex Varda M660 Series", true},
        {"MDL:Norvex Orvane 230 Series;", "Norvex Orvane 230 Series", true},
        {"MFG:Norvex;MDL:Orvane 250 Series;", nullptr, true},
        {"MFG:Norvex;MDL:Lurran 9999;", nullptr, true},
        {"MFG:Norvex;MDL:Series;", nullptr, true},
        {"MFG:Norvex;", nullptr, true},
        {"MFG:Norvexia;MDL:Kavrin Series;", nullptr, false},
        {"MFG:Other;MDL:Kavrin Series;", nullptr, false},
        {"MDL:Kavrin Series;", nullptr, false},
        {"", nullptr, false},
    };
    for (const auto& c : cases) {
        bool isNorvex = !c.isNorvex;
        const NorvexModel* model = ModelOfDeviceId(c.deviceId, &isNorvex);
        EXPECT_STREQ(model != nullptr ? model->name : nullptr, c.model) << c.deviceId;
        EXPECT_EQ(isNorvex, c.isNorvex) << c.deviceId;
    }
}

// Only pages larger than Legal both ways take the paper PageSize names, if
// the table has a paper of exactly that name.
TEST(PageSizeOverride, OnlyOversizedPagesTakeANamedPaperOfTheTable) {
    InitCUPSDLL();
    struct Case {
        unsigned w, h;
        const char* pageSize;  // nullptr: no option
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
    for (const auto& [table, platform] : kPlatformOf) {
        for (auto [w, h] : {std::make_pair(612u, 1008u), std::make_pair(613u, 1008u), std::make_pair(612u, 1009u)})
            cases.push_back({w, h, "A4", table, w, h});
        cases.push_back({613, 1009, "A4", table, 595, 842});
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

class JobOptions : public ::testing::Test {
protected:
    void SetUp() override {
        InitCUPSIMAGEDLL();
        InitCUPSDLL();
    }
    using PPD = std::unique_ptr<ppd_file_t, void (*)(ppd_file_t*)>;
    static PPD Open(const std::string& path) { return PPD(pfppdOpenFile(path.c_str()), pfppdClose); }
    // The option text on PLATFORM_Z after the PPD defaults are added.
    std::string Complete(ppd_file_t* ppd, const std::string& argv5) {
        EXPECT_NE(ppd, nullptr);
        std::vector<char> parameters(kParametersSize, '\0');
        std::strcpy(parameters.data(), argv5.c_str());
        checkOptionKey(parameters.data(), argv5.c_str(), ppd);
        return parameters.data();
    }

    TempDir dir;
};

// Every vendor option of the catalogue is one the filter reads: "keyword=True" sets it.
TEST_F(JobOptions, CatalogueOptionsAreReadByTheFilter) {
    for (const VendorOption& option : kVendorOptions) {
        PrintFuncTable table = kPrintFuncTemplate;
        cups_option_t* options = nullptr;
        const int count = pfcupsParseOptions((std::string(option.keyword) + "=True").c_str(), 0, &options);
        cups_page_header2_t header{};
        GetFunctionValue(table.data(), count, options, &header);
        cupsFreeOptions(count, options);
        const auto read = std::find_if(table.begin(), table.end(),
                                       [&](const auto& f) { return std::strcmp(f.name, option.keyword) == 0; });
        ASSERT_NE(read, table.end()) << option.keyword;
        EXPECT_EQ(read->value, 1) << option.keyword;
    }
}

// True flags and densities 0, 2 and 4 are added unless the job names the
// option; a missing option adds nothing; an addition that does not fit is left out.
TEST_F(JobOptions, PPDDefaultsAreAddedOnPlatformZ) {
    const std::string full(kParametersSize - 5, 'x');
    const struct {
        const char *tonerMode, *imageRotation, *negativePrint, *density;
        std::string argv5, expected;
    } cases[] = {
        {"True", "False", "False", "4", "Collate=True", "Collate=True TonerMode Density=4"},
        {"True", "False", "False", "3", "", " TonerMode"},
        {"True", "False", "False", "0", "noTonerMode Density=3", "noTonerMode Density=3"},
        {"False", "", "False", "", "", ""},
        {"False", "False", "True", "2", full, full},
    };
    for (const auto& c : cases) {
        PPDFixture f;
        f.tonerMode = c.tonerMode;
        f.imageRotation = c.imageRotation;
        f.negativePrint = c.negativePrint;
        f.density = c.density;
        EXPECT_EQ(Complete(Open(WritePPD(dir.File("t.ppd"), f)).get(), c.argv5), c.expected);
    }
}

// The IPP-reason entries come back whole through the filter's own binding.
// (The build's PPD check holds the rest of each PPD against the model list.)
TEST_F(JobOptions, GeneratedPPDsCarryThePlatformAndManualDuplexEntries) {
    const struct {
        const char *file, *platform, *supportManualDuplex;
    } cases[] = {
        {"norvex-orvane-210.ppd", "PLATFORM_C", "FALSE"},
        {"norvex-kavrin.ppd", "PLATFORM_Z", "TRUE"},
        {"norvex-varda-m660.ppd", "PLATFORM_M", "FALSE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const PPD ppd = Open(std::string(NORVEX_PPD_DIR) + "/" + c.file);
        ASSERT_NE(ppd, nullptr);
        for (auto [keyword, text] : {std::make_pair("PlatForm", c.platform),
                                     std::make_pair("SupportManualDuplex", c.supportManualDuplex),
                                     std::make_pair("MDuplex", kTurnPagesText)}) {
            char buffer[kPPDTextSize];
            EXPECT_TRUE(GetPPDText(ppd.get(), keyword, buffer)) << keyword;
            EXPECT_STREQ(buffer, text);
        }
    }
    // Every option the filter looks for on PLATFORM_Z is there: only the density is added.
    EXPECT_EQ(Complete(Open(NORVEX_PPD_DIR "/norvex-kavrin.ppd").get(), ""), " Density=2");
}

}  // namespace

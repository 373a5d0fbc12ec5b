// Job options: the catalogue's options and the PPD defaults on PLATFORM_Z; the
// generated PPDs as the filter reads them.
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

#include "catalogue/driver_texts.h"
#include "catalogue/platform_traits.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job_state.h"
#include "rastertoNorvex/job_options.h"
#include "support/job.h"
#include "support/ppd_fixture.h"

namespace {

class JobOptions : public ::testing::Test {
protected:
    void SetUp() override {
        InitCUPSIMAGEDLL();
        InitCUPSDLL();
    }
    void TearDown() override { cupsFreeOptions(count, options); }

    PrintFuncTable Parse(const char* text) {
        PrintFuncTable table = kPrintFuncTemplate;
        cupsFreeOptions(count, options);
        options = nullptr;
        count = pfcupsParseOptions(text, 0, &options);
        GetFunctionValue(table.data(), count, options, &header);
        return table;
    }
    using PPD = std::unique_ptr<ppd_file_t, void (*)(ppd_file_t*)>;
    static PPD Open(const std::string& path) { return PPD(pfppdOpenFile(path.c_str()), pfppdClose); }
    static PPD Generated(const char* file) { return Open(std::string(NORVEX_PPD_DIR) + "/" + file); }
    // The option text on PLATFORM_Z after the PPD defaults are added.
    std::string Complete(ppd_file_t* ppd, const std::string& argv5) {
        EXPECT_NE(ppd, nullptr);
        std::vector<char> parameters(kParametersSize, '\0');
        std::strcpy(parameters.data(), argv5.c_str());
        checkOptionKey(parameters.data(), argv5.c_str(), ppd);
        return parameters.data();
    }

    cups_page_header2_t header{};
    int count = 0;
    cups_option_t* options = nullptr;
    TempDir dir;
};

// Every vendor option of the catalogue is one the filter reads: "keyword=True" sets it.
TEST_F(JobOptions, CatalogueOptionsAreReadByTheFilter) {
    for (const VendorOption& option : kVendorOptions) {
        int index = -1;
        for (int i = 0; i < FUNC_COUNT; ++i)
            if (std::strcmp(kPrintFuncTemplate[i].name, option.keyword) == 0) index = i;
        ASSERT_GE(index, 0) << option.keyword;
        EXPECT_EQ(Parse((std::string(option.keyword) + "=True").c_str())[index].value, 1) << option.keyword;
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
        const PPD ppd = Generated(c.file);
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
    EXPECT_EQ(Complete(Generated("norvex-kavrin.ppd").get(), ""), " Density=2");
}

}  // namespace

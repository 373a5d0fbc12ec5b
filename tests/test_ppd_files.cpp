// The generated PPDs as the filter reads them: the IPP-reason entries through
// the filter's own CUPS binding, and the option defaults it adds on PLATFORM_Z.
#include <gtest/gtest.h>

#include <string>

#include "driver_texts.h"
#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"
#include "rastertoNorvex/job_options.h"

namespace {

class GeneratedPPD : public ::testing::Test {
protected:
    void SetUp() override {
        InitCUPSIMAGEDLL();
        InitCUPSDLL();
    }
    void TearDown() override {
        if (ppd != nullptr) pfppdClose(ppd);
    }
    void Open(const char* file) {
        if (ppd != nullptr) pfppdClose(ppd);
        ppd = pfppdOpenFile((std::string(NORVEX_PPD_DIR) + "/" + file).c_str());
        ASSERT_NE(ppd, nullptr) << file;
    }
    std::string Text(const char* keyword) {
        char buffer[kPPDTextSize];
        return GetPPDText(ppd, keyword, buffer) ? buffer : "(absent)";
    }

    ppd_file_t* ppd = nullptr;
};

TEST_F(GeneratedPPD, CarriesThePlatformAndManualDuplexEntries) {
    struct Case {
        const char* file;
        const char* model;
        const char* platform;
        const char* supportManualDuplex;
    };
    const Case cases[] = {
        {"norvex-orvane-210.ppd", "Norvex Orvane 210 Series", "PLATFORM_C", "FALSE"},
        {"norvex-orvane-m270.ppd", "Norvex Orvane M270 Series", "PLATFORM_C", "FALSE"},
        {"norvex-kavrin.ppd", "Norvex Kavrin Series", "PLATFORM_Z", "TRUE"},
        {"norvex-pellan-m340.ppd", "Norvex Pellan M340 Series", "PLATFORM_Z", "TRUE"},
        {"norvex-varda-m660.ppd", "Norvex Varda M660 Series", "PLATFORM_M", "FALSE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Open(c.file);
        EXPECT_STREQ(ppd->modelname, c.model);
        EXPECT_EQ(Text("PlatForm"), c.platform);
        EXPECT_EQ(Text("SupportManualDuplex"), c.supportManualDuplex);
        // The whole instruction comes back: nothing was cut on the way.
        EXPECT_EQ(Text("MDuplex"), kTurnPagesText);
    }
}

TEST_F(GeneratedPPD, LeavesCopiesToTheFilterAndRendersTheWholeSheet) {
    Open("norvex-lurran-3010.ppd");
    EXPECT_FALSE(ppd->manual_copies);
    const ppd_size_t* a4 = ppdPageSize(ppd, "A4");
    ASSERT_NE(a4, nullptr);
    EXPECT_EQ(std::make_tuple(a4->left, a4->bottom, a4->right, a4->top), std::make_tuple(0.f, 0.f, 595.f, 842.f));
    for (float margin : ppd->custom_margins) EXPECT_EQ(margin, kCustomMargin);
}

TEST_F(GeneratedPPD, PlatformZDefaultsAddOnlyTheDensity) {
    Open("norvex-kavrin.ppd");
    char parameters[kParametersSize] = "";
    testing::internal::CaptureStderr();
    checkOptionKey(parameters, "", ppd);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, "");  // every option the filter looks for is there
    EXPECT_STREQ(parameters, " Density=2");
}

}  // namespace

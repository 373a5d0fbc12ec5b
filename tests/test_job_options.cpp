// Job options: the function table from the page header, the options and the
// PPD defaults on PLATFORM_Z.
#include <cstring>
#include <gtest/gtest.h>

#include "rastertoNorvex/cups_binding.h"
#include "rastertoNorvex/job.h"
#include "support/filter_runner.h"
#include "support/ppd_fixture.h"

namespace {

class JobOptions : public ::testing::Test {
protected:
    void SetUp() override {
        InitCUPSIMAGEDLL();
        InitCUPSDLL();
    }
    void TearDown() override { cupsFreeOptions(count, options); }

    PrintFuncTable Parse(const char* text, PrintFuncTable table = kPrintFuncTemplate) {
        cupsFreeOptions(count, options);
        options = nullptr;
        count = pfcupsParseOptions(text, 0, &options);
        testing::internal::CaptureStderr();
        GetFunctionValue(table.data(), count, options, &header);
        log = testing::internal::GetCapturedStderr();
        return table;
    }
    // The option text on PLATFORM_Z after the PPD defaults are added.
    std::string Complete(const PPDFixture& fixture, const std::string& argv5) {
        ppd_file_t* ppd = pfppdOpenFile(WritePPD(dir.File("t.ppd"), fixture).c_str());
        EXPECT_NE(ppd, nullptr);
        std::vector<char> parameters(kParametersSize, '\0');
        std::strcpy(parameters.data(), argv5.c_str());
        testing::internal::CaptureStderr();
        checkOptionKey(parameters.data(), argv5.c_str(), ppd);
        log = testing::internal::GetCapturedStderr();
        pfppdClose(ppd);
        return parameters.data();
    }

    cups_page_header2_t header{};
    int count = 0;
    cups_option_t* options = nullptr;
    std::string log;
    TempDir dir;
};

TEST_F(JobOptions, DuplexComesFromTheHeaderUnlessAnOptionSaysOtherwise) {
    header.Duplex = CUPS_TRUE;
    EXPECT_EQ(Parse("")[AUTODUPLEX].value, 1);
    header.Tumble = CUPS_TRUE;
    EXPECT_EQ(Parse("")[AUTODUPLEX].value, 2);
    header.Tumble = CUPS_FALSE;
    EXPECT_EQ(Parse("Duplex=None")[AUTODUPLEX].value, 0);
    header.Duplex = CUPS_FALSE;
    EXPECT_EQ(Parse("Duplex=DuplexTumble")[AUTODUPLEX].value, 2);
    EXPECT_EQ(Parse("Sides=two-sided-long-edge")[AUTODUPLONGEDGE].value, 1);
}

TEST_F(JobOptions, FlagsDensityAndInputSlot) {
    EXPECT_EQ(Parse("outputorder=true")[REVERSE].value, 1);
    EXPECT_EQ(Parse("outputorder=reverse")[REVERSE].value, 0);
    EXPECT_EQ(Parse("Collate=false", Parse("Collate=True"))[COLLATE].value, 1);  // true sets, false never clears
    EXPECT_EQ(Parse("NegativePrint")[NEGATIVEPRINT].value, 1);                  // a bare name is "true"
    EXPECT_EQ(Parse("Density=abc")[DENSITY].value, 0);
    EXPECT_EQ(Parse("")[DENSITY].value, 2);
    EXPECT_EQ(Parse("Density=4")[DENSITY].value, 4);
    EXPECT_EQ(Parse("InputSlot=Tray1")[INPUTSLOT].value, 0);
    EXPECT_EQ(Parse("InputSlot=manualfeed")[INPUTSLOT].value, 1);
    EXPECT_EQ(Parse("InputSlot=AutoFeed")[INPUTSLOT].value, 2);
    EXPECT_EQ(Parse("InputSlot=Auto")[INPUTSLOT].value, 0);
}

// True flags and densities 0, 2 and 4 are added unless the job names the
// option; a missing option is logged; an addition that does not fit is left out.
TEST_F(JobOptions, PPDDefaultsAreAddedOnPlatformZ) {
    const std::string full(kParametersSize - 5, 'x');
    const struct {
        const char *tonerMode, *imageRotation, *negativePrint, *density;
        std::string argv5, expected, log;
    } cases[] = {
        {"True", "False", "False", "4", "Collate=True", "Collate=True TonerMode Density=4", ""},
        {"True", "False", "False", "3", "", " TonerMode", ""},
        {"True", "False", "False", "0", "noTonerMode Density=3", "noTonerMode Density=3", ""},
        {"False", "", "False", "", "", "", "No find ImageRotation option\nNo find Density option\n"},
        {"False", "False", "True", "2", full, full, "DEBUG: No room"},
    };
    for (const auto& c : cases) {
        PPDFixture f;
        f.tonerMode = c.tonerMode;
        f.imageRotation = c.imageRotation;
        f.negativePrint = c.negativePrint;
        f.density = c.density;
        EXPECT_EQ(Complete(f, c.argv5), c.expected);
        EXPECT_NE(log.find(c.log), std::string::npos) << log;
    }
}

}  // namespace

// Job options: the function table from the page header, the options and the
// PPD defaults on PLATFORM_Z; PPD texts read as IPP-reason entries.
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
        std::memset(&header, 0, sizeof header);
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

    cups_page_header2_t header;
    int count = 0;
    cups_option_t* options = nullptr;
    std::string log;
};

TEST_F(JobOptions, DuplexComesFromTheHeaderUnlessAnOptionSaysOtherwise) {
    header.Duplex = CUPS_TRUE;
    header.Tumble = CUPS_FALSE;
    EXPECT_EQ(Parse("")[AUTODUPLEX].value, 1);
    header.Tumble = CUPS_TRUE;
    EXPECT_EQ(Parse("")[AUTODUPLEX].value, 2);

    header.Tumble = CUPS_FALSE;
    EXPECT_EQ(Parse("Duplex=None")[AUTODUPLEX].value, 0);
    EXPECT_EQ(log, "DEBUG: ##Duplex = 1\n");
    header.Duplex = CUPS_FALSE;
    EXPECT_EQ(Parse("Duplex=DuplexTumble")[AUTODUPLEX].value, 2);
    EXPECT_EQ(Parse("Sides=two-sided-long-edge")[AUTODUPLONGEDGE].value, 1);
}

TEST_F(JobOptions, FlagsAreSetByTrueAndNeverClearedByFalse) {
    EXPECT_EQ(Parse("outputorder=true")[REVERSE].value, 1);
    EXPECT_EQ(Parse("outputorder=reverse")[REVERSE].value, 0);
    PrintFuncTable on = Parse("Collate=True");
    EXPECT_EQ(on[COLLATE].value, 1);
    EXPECT_EQ(Parse("Collate=false", on)[COLLATE].value, 1);
    EXPECT_EQ(Parse("NegativePrint")[NEGATIVEPRINT].value, 1);  // a bare name is "true"
}

TEST_F(JobOptions, DensityAndInputSlot) {
    EXPECT_EQ(Parse("Density=abc")[DENSITY].value, 0);
    EXPECT_EQ(Parse("")[DENSITY].value, 2);
    EXPECT_EQ(Parse("Density=4")[DENSITY].value, 4);
    EXPECT_EQ(Parse("InputSlot=Tray1")[INPUTSLOT].value, 0);
    EXPECT_EQ(Parse("InputSlot=manualfeed")[INPUTSLOT].value, 1);
    EXPECT_EQ(Parse("InputSlot=AutoFeed")[INPUTSLOT].value, 2);
    EXPECT_EQ(Parse("InputSlot=Auto")[INPUTSLOT].value, 0);
}

class PPDDefaults : public ::testing::Test {
protected:
    void SetUp() override {
        InitCUPSIMAGEDLL();
        InitCUPSDLL();
    }
    // The option text on PLATFORM_Z after the PPD defaults are added.
    std::string Complete(const PPDFixture& fixture, const char* argv5) {
        const std::string path = WritePPD(dir.File("t.ppd"), fixture);
        ppd_file_t* ppd = pfppdOpenFile(path.c_str());
        EXPECT_NE(ppd, nullptr);
        std::vector<char> parameters(kParametersSize, '\0');
        std::strcpy(parameters.data(), argv5);
        testing::internal::CaptureStderr();
        checkOptionKey(parameters.data(), argv5, ppd);
        log = testing::internal::GetCapturedStderr();
        pfppdClose(ppd);
        return parameters.data();
    }
    TempDir dir;
    std::string log;
};

TEST_F(PPDDefaults, TrueFlagsAndListedDensitiesAreAdded) {
    PPDFixture f;
    f.tonerMode = "True";
    f.density = "4";
    EXPECT_EQ(Complete(f, "Collate=True"), "Collate=True TonerMode Density=4");
    f.density = "3";  // only 0, 2 and 4 are added
    EXPECT_EQ(Complete(f, ""), " TonerMode");
}

TEST_F(PPDDefaults, AnOptionTheJobNamesIsLeftToTheJob) {
    PPDFixture f;
    f.tonerMode = "True";
    f.density = "0";
    EXPECT_EQ(Complete(f, "noTonerMode Density=3"), "noTonerMode Density=3");
}

TEST_F(PPDDefaults, AMissingOptionIsLogged) {
    PPDFixture f;
    f.imageRotation = "";
    f.density = "";
    EXPECT_EQ(Complete(f, ""), "");
    EXPECT_EQ(log, "No find ImageRotation option\nNo find Density option\n");
}

TEST_F(PPDDefaults, AnAdditionThatDoesNotFitIsLeftOut) {
    PPDFixture f;
    f.negativePrint = "True";
    const std::string full(kParametersSize - 5, 'x');
    const std::string out = Complete(f, full.c_str());
    EXPECT_EQ(out, full);
    EXPECT_NE(log.find("DEBUG: No room"), std::string::npos);
}

TEST_F(PPDDefaults, IppReasonEntriesReturnTheirText) {
    PPDFixture f;
    f.platform = "platform_z";
    f.manualDuplexText = "Turn the printed sheets over";
    const std::string path = WritePPD(dir.File("r.ppd"), f);
    ppd_file_t* ppd = pfppdOpenFile(path.c_str());
    ASSERT_NE(ppd, nullptr);
    char text[kPPDTextSize];
    EXPECT_TRUE(GetPPDText(ppd, "PlatForm", text));
    EXPECT_STREQ(text, "platform_z");
    EXPECT_TRUE(GetPPDText(ppd, "MDuplex", text));
    EXPECT_STREQ(text, "Turn the printed sheets over");
    EXPECT_FALSE(GetPPDText(ppd, "SupportManualDuplex", text));
    pfppdClose(ppd);
}

}  // namespace

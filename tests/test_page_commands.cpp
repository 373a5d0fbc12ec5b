// Page start and end on the three controllers: command bytes, order, caching and failures.
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

#include "common/byte_order.h"
#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/page.h"
#include "support/device_capture.h"

namespace {

template <typename Record>
std::vector<uint8_t> Image(const Record& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof(Record));
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

int ByteSum(const std::vector<uint8_t>& bytes) {
    int sum = 0;
    for (uint8_t b : bytes) sum += b;
    return sum % 256;
}

// A4-like page: paper code 9, 600 dpi given as 60 on the short-packet platforms.
GDI_START_PAGE_PARAM PlainPage() {
    GDI_START_PAGE_PARAM page{};
    page.paperSize = 9;
    page.resolutionX = 60;
    page.resolutionY = 60;
    page.tray = 1;
    page.copies = 1;
    page.pageNum = 1;
    return page;
}

GDI_START_PAGE_PARAM CustomPage(uint16_t paperSize) {
    GDI_START_PAGE_PARAM page = PlainPage();
    page.paperSize = paperSize;
    page.userPhyPgW = 0x1234;
    page.userPhyPgH = 0x0567;
    page.userPrntAreaW = 0x1100;
    page.userPrntAreaH = 0x0480;
    return page;
}

// paramCmd -> ParamValue of each PLATFORM_M parameter record after the header.
struct LongParam {
    uint32_t code;
    uint32_t value;
    bool operator==(const LongParam& o) const { return code == o.code && value == o.value; }
};

std::vector<LongParam> LongParams(const std::vector<std::vector<uint8_t>>& writes) {
    std::vector<LongParam> params;
    for (std::size_t i = 1; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].size(), 12u);
        if (writes[i].size() != 12) continue;
        params.push_back({GetBE16(&writes[i][4]), GetBE32(&writes[i][8])});
    }
    return params;
}

const std::vector<uint8_t> kUelC = Bytes({0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58});
const std::vector<uint8_t> kZeros = Bytes({0x00, 0x00});
const std::vector<uint8_t> kFormFeed = Bytes({0x0B, 0x04, 0x18, 0xD9});
const std::vector<uint8_t> kHostUse = Bytes({0x0B, 0x04, 0x32, 0xBF});
const std::vector<uint8_t> kMachineDuplex = Bytes({0x0B, 0x04, 0x40, 0xB1});
const std::vector<uint8_t> kNonCustomPaper =
    Bytes({0x0B, 0x0C, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0xD6});
const std::vector<uint8_t> kPageSpecCode9 =
    Bytes({0x0B, 0x12, 0x12, 0x09, 0x00, 0x3C, 0x3C, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
           0x01, 0x00, 0x4D});

TEST(PageCoverage, PlatformCScalesByResolutionDensityAndWidth) {
    struct Case {
        int32_t density, widthMm;
        int32_t expected;
    };
    // 0.7 in single precision lies just below 0.7, hence 699.
    for (const Case& c : {Case{0, 210, 699}, Case{2, 210, 1000}, Case{2, 148, 1500},
                          Case{2, 125, 1000}, Case{2, 124, 2000}}) {
        gImageCoverage = 1000000;
        GDI_END_PAGE_PARAM end{};
        end.resolutionE = 600;
        end.densityE = c.density;
        end.paperWidthE = c.widthMm;
        GDI_COVERAGE_C cmd;
        EXPECT_EQ(GetCoverageCmd_C(&end, &cmd), 1);
        EXPECT_EQ(end.dotCnt, c.expected) << "density " << c.density << " width " << c.widthMm;
        EXPECT_EQ(static_cast<int32_t>(GetLE16(cmd.printedPoints)), c.expected);
    }
}

TEST(PageCoverage, ByteImages) {
    gImageCoverage = 1000000;
    GDI_END_PAGE_PARAM end{};
    end.resolutionE = 600;
    end.densityE = 2;
    end.paperWidthE = 210;
    GDI_COVERAGE_C c;
    GetCoverageCmd_C(&end, &c);
    EXPECT_EQ(Image(c), Bytes({0x0B, 0x06, 0x1E, 0xE8, 0x03, 0xE6}));

    gImageCoverage = 4100000;
    GDI_COVERAGE_Z z;
    EXPECT_EQ(GetCoverageCmd_Z(&z), 1);
    EXPECT_EQ(Image(z), Bytes({0x0B, 0x07, 0x19, 0x04, 0x00, 0x01, 0xD0}));
    gImageCoverage = 0;
}

TEST(PageCommands, ImageChecksumByteImage) {
    gImageChecksum = 0x9E;
    GDI_IMAGE_DATA_CHECKSUM cmd;
    EXPECT_EQ(GetImageDataChenksumCmd(&cmd), 1);
    EXPECT_EQ(Image(cmd), Bytes({0x0B, 0x06, 0x1A, 0x9E, 0x00, 0x37}));
    gImageChecksum = 0;
}

TEST(PageCommands, PageSpecByteImage) {
    const GDI_START_PAGE_PARAM page = PlainPage();
    GDI_PAGE_SPEC spec;
    EXPECT_EQ(GetPageSpecCmd(&page, &spec, PLATFORM_C), 1);
    EXPECT_EQ(Image(spec), kPageSpecCode9);
}

TEST(PageCommands, FeedEdgeReachesOnlyPlatformC) {
    GDI_START_PAGE_PARAM page = PlainPage();
    page.feedEdge = kFeedLongEdge;
    GDI_PAGE_SPEC spec;
    GetPageSpecCmd(&page, &spec, PLATFORM_C);
    EXPECT_EQ(spec.colorMode_feedEdge_marginUnit, 0x40);
    EXPECT_EQ(ByteSum(Image(spec)), 0);

    for (uint16_t feed : {0x40, 0xFF, 0xFFFF}) {
        page.feedEdge = feed;
        page.colorMode = 0x02;
        page.marginUnit = 0x01;
        GetPageSpecCmd(&page, &spec, PLATFORM_Z);
        EXPECT_EQ(spec.colorMode_feedEdge_marginUnit, 0);
        EXPECT_EQ(ByteSum(Image(spec)), 0);
    }
}

TEST(PageCommands, CustomPaperCodeDiffersByPlatform) {
    GDI_CUSTOM_PAPER cmd;
    const GDI_START_PAGE_PARAM plain = PlainPage();
    GetCustomPaperCmd(&plain, &cmd, PLATFORM_C);
    EXPECT_EQ(Image(cmd), kNonCustomPaper);

    const std::vector<uint8_t> sizes = Bytes({0x34, 0x12, 0x67, 0x05, 0x00, 0x11, 0x80, 0x04});
    auto SizesOf = [](const GDI_CUSTOM_PAPER& c) {
        const auto image = Image(c);
        return std::vector<uint8_t>(image.begin() + 3, image.begin() + 11);
    };
    const GDI_START_PAGE_PARAM custom255 = CustomPage(255);
    const GDI_START_PAGE_PARAM custom0 = CustomPage(0);

    GetCustomPaperCmd(&custom255, &cmd, PLATFORM_C);
    EXPECT_EQ(SizesOf(cmd), sizes);
    EXPECT_EQ(ByteSum(Image(cmd)), 0);
    GetCustomPaperCmd(&custom0, &cmd, PLATFORM_C);
    EXPECT_EQ(Image(cmd), kNonCustomPaper);

    GetCustomPaperCmd(&custom0, &cmd, PLATFORM_Z);
    EXPECT_EQ(SizesOf(cmd), sizes);
    EXPECT_EQ(ByteSum(Image(cmd)), 0);
    GetCustomPaperCmd(&custom255, &cmd, PLATFORM_Z);
    EXPECT_EQ(Image(cmd), kNonCustomPaper);

    GetCustomPaperCmd(&custom0, &cmd, PLATFORM_M);
    EXPECT_EQ(Image(cmd), kNonCustomPaper);
}

TEST(PageStart, PlatformCSequenceAndCoverageReset) {
    DeviceCapture device;
    gImageCoverage = 12345;
    const GDI_START_PAGE_PARAM page = PlainPage();
    EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_C), 1);
    EXPECT_EQ(gImageCoverage, 0u);
    EXPECT_EQ(device.bytes(),
              Concat({kZeros, kPageSpecCode9, kZeros, kNonCustomPaper, kZeros, kHostUse, kZeros}));
}

TEST(PageStart, PlatformZEndsAfterCustomPaper) {
    DeviceCapture device;
    gImageCoverage = 12345;
    const GDI_START_PAGE_PARAM page = PlainPage();
    EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_Z), 1);
    EXPECT_EQ(gImageCoverage, 0u);
    const auto& w = device.writes();
    ASSERT_EQ(w.size(), 5u);
    EXPECT_EQ(w[0], kZeros);
    EXPECT_EQ(w[1].size(), 18u);
    EXPECT_EQ(w[2], kZeros);
    EXPECT_EQ(w[3].size(), 12u);
    EXPECT_EQ(w[4], kZeros);
}

TEST(PageStart, PlatformMHeaderOfPlainAndCustomPages) {
    {
        DeviceCapture device;
        gImageCoverage = 777;
        const GDI_START_PAGE_PARAM page = PlainPage();
        EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
        EXPECT_EQ(gImageCoverage, 777u);  // PLATFORM_M never reports it
        ASSERT_EQ(device.writes().size(), 15u);
        EXPECT_EQ(device.writes()[0], Bytes({0x00, 0x00, 0x00, 0xB8, 0x00, 0x00, 0x00, 0x02, 0x00,
                                             0x00, 0x00, 0x0E, 0x00, 0xA8, 0x5A, 0x5A}));
        EXPECT_EQ(device.writes()[1],
                  Bytes({0x00, 0x00, 0x00, 0x0C, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x09}));
        EXPECT_EQ(device.bytes().size(), 184u);
    }
    {
        DeviceCapture device;
        const GDI_START_PAGE_PARAM page = CustomPage(0);
        EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
        ASSERT_EQ(device.writes().size(), 18u);
        EXPECT_EQ(device.writes()[0], Bytes({0x00, 0x00, 0x00, 0xDC, 0x00, 0x00, 0x00, 0x02, 0x00,
                                             0x00, 0x00, 0x11, 0x00, 0xCC, 0x5A, 0x5A}));
        EXPECT_EQ(device.bytes().size(), 220u);
    }
}

TEST(PageStart, PlatformMParametersInOrder) {
    DeviceCapture device;
    GDI_START_PAGE_PARAM page = CustomPage(0);
    page.copies = 3;
    page.tray = 2;
    page.mediaType = 4;
    page.resolutionX = 600;
    page.resolutionY = 600;
    page.densityLevel = 5;
    ASSERT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
    const std::vector<LongParam> expected = {
        {0x0003, 0},      {0x001A, 0},      {0x0018, 0x1234}, {0x0019, 0x0567}, {0x0004, 3},
        {0x0005, 2},      {0x0006, 4},      {0x0007, 1},      {0x0008, 600},    {0x0009, 600},
        {0x0016, 0},      {0x000C, 0x1100}, {0x000D, 0x0480}, {0x0010, 1},      {0x0011, 0x1100},
        {0x0012, 0x0480}, {0xFF00, 5},
    };
    EXPECT_EQ(LongParams(device.writes()), expected);
}

TEST(PageStart, PlatformMDensityByteImage) {
    DeviceCapture device;
    GDI_START_PAGE_PARAM page = PlainPage();
    page.densityLevel = 3;
    ASSERT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
    EXPECT_EQ(device.writes().back(),
              Bytes({0x00, 0x00, 0x00, 0x0C, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03}));
}

TEST(PageStart, PlatformMImageWidthCountsBits) {
    auto Widths = [](uint32_t is2bit) {
        DeviceCapture device;
        GDI_START_PAGE_PARAM page = PlainPage();
        page.userPrntAreaW = 4960;
        page.iIs2bit = is2bit;
        EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
        std::vector<uint32_t> values;  // IMG_WIDTH, VIDEO_DEPTH, VIDEO_WIDTH
        for (const LongParam& p : LongParams(device.writes()))
            if (p.code == 0x000C || p.code == 0x0010 || p.code == 0x0011) values.push_back(p.value);
        return values;
    };
    EXPECT_EQ(Widths(1), (std::vector<uint32_t>{9920, 2, 4960}));
    EXPECT_EQ(Widths(2), (std::vector<uint32_t>{4960, 1, 4960}));
    EXPECT_EQ(Widths(0), (std::vector<uint32_t>{4960, 1, 4960}));
}

TEST(PageStart, FailedCopiesParameterStopsAndComesFirst) {
    DeviceCapture device(3);  // header, paper size, then copies
    SetLastError("earlier text\n");
    const GDI_START_PAGE_PARAM page = PlainPage();
    EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 0);
    ASSERT_EQ(device.writes().size(), 2u);
    EXPECT_EQ(device.writes()[0].size(), 16u);
    EXPECT_EQ(device.writes()[1],
              Bytes({0x00, 0x00, 0x00, 0x0C, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x09}));
    EXPECT_STREQ(prntLastError,
                 "Prnt_StartPage() :: send COPIES_PARAM Fail 0 ==  \nearlier text\n");
}

TEST(PageStart, FailedPageSpecSendsNothingMore) {
    DeviceCapture device(2);  // the separator, then the page spec
    const GDI_START_PAGE_PARAM page = PlainPage();
    EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_C), 0);
    EXPECT_EQ(device.bytes(), kZeros);
    EXPECT_STREQ(prntLastError, "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n");
}

TEST(PageStartEnd, UnknownPlatformWritesNothing) {
    for (int platform : {0, 4}) {
        DeviceCapture device;
        gImageCoverage = 55;
        const GDI_START_PAGE_PARAM page = PlainPage();
        GDI_END_PAGE_PARAM end{};
        end.page = 1;
        end.bMachDup = 1;
        EXPECT_EQ(Prnt_StartPage(&page, platform), 0);
        EXPECT_EQ(Prnt_EndPage(&end, platform), 0);
        EXPECT_TRUE(device.bytes().empty());
        EXPECT_EQ(gImageCoverage, 55u);
        EXPECT_STREQ(prntLastError, "");
    }
    gImageCoverage = 0;
}

// Page end of a 1000-point page with image checksum 0x9E, as the printer sees it.
std::vector<uint8_t> PlatformCPageEnd() {
    return Concat({kUelC, kZeros, Bytes({0x0B, 0x06, 0x1A, 0x9E, 0x00, 0x37}), kZeros,
                   Bytes({0x0B, 0x06, 0x1E, 0xE8, 0x03, 0xE6}), kZeros, kFormFeed});
}

GDI_END_PAGE_PARAM EndOfPage(int32_t page, int32_t bMachDup) {
    gImageCoverage = 1000000;
    gImageChecksum = 0x9E;
    GDI_END_PAGE_PARAM end{};
    end.page = page;
    end.bMachDup = bMachDup;
    end.resolutionE = 600;
    end.paperWidthE = 210;
    end.densityE = 2;
    return end;
}

TEST(PageEnd, PlatformCReportsChecksumAndCoverage) {
    DeviceCapture device;
    GDI_END_PAGE_PARAM end = EndOfPage(1, 0);
    EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_C), 1);
    EXPECT_EQ(end.dotCnt, 1000);
    EXPECT_EQ(device.bytes(), PlatformCPageEnd());
}

TEST(PageEnd, PlatformCMachineDuplexAfterOddPagesOnly) {
    {
        DeviceCapture device;
        GDI_END_PAGE_PARAM end = EndOfPage(3, 1);
        EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_C), 1);
        EXPECT_EQ(device.bytes(), Concat({PlatformCPageEnd(), kZeros, kMachineDuplex}));
    }
    {
        DeviceCapture device;
        GDI_END_PAGE_PARAM end = EndOfPage(2, 1);
        EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_C), 1);
        EXPECT_EQ(device.bytes(), PlatformCPageEnd());
    }
}

TEST(PageEnd, FailedMachineDuplexAddsItsOwnMessage) {
    DeviceCapture device(9);  // the ninth device write is the machine duplex command
    GDI_END_PAGE_PARAM end = EndOfPage(1, 1);
    EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_C), 0);
    EXPECT_EQ(device.bytes(), Concat({PlatformCPageEnd(), kZeros}));
    EXPECT_STREQ(prntLastError,
                 "Prnt_EndPage() :: MachineDuplexCmd Fail .\n"
                 "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n");
}

TEST(PageEnd, PlatformZAndM) {
    {
        DeviceCapture device;
        GDI_END_PAGE_PARAM end = EndOfPage(1, 1);
        EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_Z), 1);
        EXPECT_EQ(device.bytes(), Concat({kZeros, kFormFeed}));
    }
    {
        DeviceCapture device;
        GDI_END_PAGE_PARAM end = EndOfPage(1, 1);
        EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_M), 1);
        EXPECT_EQ(device.bytes(), Bytes({0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0x00, 0x5A, 0x5A}));
    }
    {
        DeviceCapture device(2);
        GDI_END_PAGE_PARAM end = EndOfPage(1, 0);
        EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_Z), 0);
        EXPECT_STREQ(prntLastError, "Prnt_EndPage() :: send formFeedCmd Fail 0 ==  \n");
    }
}

TEST(PageStartEnd, EveryPageCommandIsSpooled) {
    DeviceCapture device;
    std::FILE* spool = std::tmpfile();
    ASSERT_NE(spool, nullptr);
    gCollateFile = fileno(spool);
    const GDI_START_PAGE_PARAM page = PlainPage();
    GDI_END_PAGE_PARAM end = EndOfPage(1, 1);
    EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_C), 1);
    gImageCoverage = 1000000;
    EXPECT_EQ(Prnt_EndPage(&end, PLATFORM_C), 1);
    gCollateFile = 0;

    std::vector<uint8_t> spooled(device.bytes().size() + 16);
    ASSERT_EQ(lseek(fileno(spool), 0, SEEK_SET), 0);
    const ssize_t n = read(fileno(spool), spooled.data(), spooled.size());
    std::fclose(spool);
    ASSERT_GT(n, 0);
    spooled.resize(static_cast<std::size_t>(n));
    EXPECT_EQ(spooled, device.bytes());
}

}  // namespace

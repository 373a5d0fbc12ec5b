// Page start and end on the three controllers: command bytes, order, caching and failures.
#include <algorithm>
#include <gtest/gtest.h>

#include "common/output.h"
#include "common/platform.h"
#include "prnt/document.h"
#include "prnt/page.h"
#include "support/device_capture.h"
#include "support/stream_builder.h"

namespace {

// A4-like page: paper code 9, 600 dpi given as 60 on the short-packet platforms.
GDI_START_PAGE_PARAM PlainPage() {
    GDI_START_PAGE_PARAM page{};
    page.paperSize = 9;
    page.resolutionX = page.resolutionY = 60;
    page.tray = page.copies = page.pageNum = 1;
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

const ByteVec kMachineDuplex = {0x0B, 0x04, 0x40, 0xB1};
const ByteVec kPageSpecCode9 = {0x0B, 0x12, 0x12, 0x09, 0x00, 0x3C, 0x3C, 0x01, 0x00,
                                0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x4D};
const ByteVec kPaperSizeParam9 = {0x00, 0x00, 0x00, 0x0C, 0x00, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x09};

TEST(PageCommands, CoverageByteImages) {
    // 0.7 in single precision lies just below 0.7, hence 699.
    for (auto [density, widthMm, expected] : {std::make_tuple(0, 210, 699), std::make_tuple(2, 210, 1000),
                                              std::make_tuple(2, 148, 1500), std::make_tuple(2, 125, 1000),
                                              std::make_tuple(2, 124, 2000)}) {
        gImageCoverage = 1000000;
        GDI_END_PAGE_PARAM end{};
        end.resolutionE = 600;
        end.densityE = density;
        end.paperWidthE = widthMm;
        GDI_COVERAGE_C cmd;
        EXPECT_EQ(GetCoverageCmd_C(&end, &cmd), 1);
        EXPECT_EQ(end.dotCnt, expected) << "density " << density << " width " << widthMm;
        EXPECT_EQ(RecordBytes(cmd), ShortCmd(0x1E, Le16(expected)));
    }
    EXPECT_EQ(ShortCmd(0x1E, Le16(1000)), kCoverageC1000);
    gImageCoverage = 4100000;
    GDI_COVERAGE_Z z;
    EXPECT_EQ(GetCoverageCmd_Z(&z), 1);
    EXPECT_EQ(RecordBytes(z), kCoverageZ4100);

    gImageChecksum = 0x9E;
    GDI_IMAGE_DATA_CHECKSUM checksum;
    EXPECT_EQ(GetImageDataChenksumCmd(&checksum), 1);
    EXPECT_EQ(RecordBytes(checksum), Bytes({0x0B, 0x06, 0x1A, 0x9E, 0x00, 0x37}));
    gImageCoverage = gImageChecksum = 0;
}

TEST(PageCommands, PageSpecCarriesTheFeedEdgeOnlyOnPlatformC) {
    GDI_START_PAGE_PARAM page = PlainPage();
    GDI_PAGE_SPEC spec;
    EXPECT_EQ(GetPageSpecCmd(&page, &spec, PLATFORM_C), 1);
    EXPECT_EQ(RecordBytes(spec), kPageSpecCode9);
    page.feedEdge = kFeedLongEdge;
    GetPageSpecCmd(&page, &spec, PLATFORM_C);
    EXPECT_EQ(RecordBytes(spec), ShortCmd(0x12, {9, 0, 60, 60, 1, 0x40, 1, 0, 0, 0, 0, 0, 1, 0}));
    for (uint16_t feed : {0x40, 0xFF, 0xFFFF}) {
        page.feedEdge = feed;
        page.colorMode = 0x02;
        page.marginUnit = 0x01;
        GetPageSpecCmd(&page, &spec, PLATFORM_Z);
        EXPECT_EQ(RecordBytes(spec), kPageSpecCode9) << feed;
    }
}

TEST(PageCommands, CustomPaperCodeDiffersByPlatform) {
    const ByteVec custom = ShortCmd(0x13, {0x34, 0x12, 0x67, 0x05, 0x00, 0x11, 0x80, 0x04});
    for (auto [platform, paperSize, isCustom] :
         {std::make_tuple(PLATFORM_C, 9, false), std::make_tuple(PLATFORM_C, 255, true),
          std::make_tuple(PLATFORM_C, 0, false), std::make_tuple(PLATFORM_Z, 0, true),
          std::make_tuple(PLATFORM_Z, 255, false), std::make_tuple(PLATFORM_M, 0, false)}) {
        const GDI_START_PAGE_PARAM page = CustomPage(static_cast<uint16_t>(paperSize));
        GDI_CUSTOM_PAPER cmd;
        GetCustomPaperCmd(&page, &cmd, platform);
        EXPECT_EQ(RecordBytes(cmd), isCustom ? custom : kNonCustomPaper) << platform << " " << paperSize;
    }
}

TEST(PageStart, ShortPacketSequenceResetsTheCoverage) {
    for (auto [platform, expected] :
         {std::make_pair(PLATFORM_C, Cat({kZeros, kPageSpecCode9, kZeros, kNonCustomPaper, kZeros, kHostUse, kZeros})),
          std::make_pair(PLATFORM_Z, Cat({kZeros, kPageSpecCode9, kZeros, kNonCustomPaper, kZeros}))}) {
        DeviceCapture device;
        gImageCoverage = 12345;
        const GDI_START_PAGE_PARAM page = PlainPage();
        EXPECT_EQ(Prnt_StartPage(&page, platform), 1);
        EXPECT_EQ(gImageCoverage, 0u);
        EXPECT_EQ(device.bytes(), expected) << platform;
    }
}

// A custom page carries three more parameters after the paper size; the
// length is the header's; the page's fields go into their parameters; an
// iIs2bit of 2 is one bit per dot; PLATFORM_M never reports the coverage.
TEST(PageStart, PlatformMHeaderAndParameters) {
    const ByteVec plainHeader = {0, 0, 0, 0xB8, 0, 0, 0, 0x02, 0, 0, 0, 0x0E, 0, 0xA8, 0x5A, 0x5A};
    const ByteVec customHeader = {0, 0, 0, 0xDC, 0, 0, 0, 0x02, 0, 0, 0, 0x11, 0, 0xCC, 0x5A, 0x5A};
    const ByteVec density3 = {0x00, 0x00, 0x00, 0x0C, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03};
    const struct {
        uint16_t paperSize;
        ByteVec header;
        std::vector<ByteVec> parameters;
    } cases[] = {
        {9, plainHeader,
         {Cat({plainHeader, kPaperSizeParam9}), density3, Cat({LongParam(0x000C, 0x1100), LongParam(0x000D, 0x0480),
                                                             LongParam(0x0010, 1), LongParam(0x0011, 0x1100)})}},
        {0, customHeader,
         {Cat({LongParam(0x0003, 0), LongParam(0x001A, 0), LongParam(0x0018, 0x1234), LongParam(0x0019, 0x0567),
               LongParam(0x0004, 3), LongParam(0x0005, 2), LongParam(0x0006, 4), LongParam(0x0007, 1),
               LongParam(0x0008, 600), LongParam(0x0009, 600), LongParam(0x0016, 0)})}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "paper " << c.paperSize);
        DeviceCapture device;
        gImageCoverage = 777;
        GDI_START_PAGE_PARAM page = CustomPage(c.paperSize);
        page.densityLevel = 3;
        page.iIs2bit = 2;
        page.copies = 3;  // copies, tray, media and resolution each in their parameter
        page.tray = 2;
        page.mediaType = 4;
        page.resolutionX = page.resolutionY = 600;
        EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 1);
        EXPECT_EQ(gImageCoverage, 777u);
        const ByteVec& sent = device.bytes();
        EXPECT_EQ(sent.size(), c.header[3]);
        EXPECT_EQ(ByteVec(sent.begin(), sent.begin() + 16), c.header);
        for (const ByteVec& parameter : c.parameters)
            EXPECT_NE(std::search(sent.begin(), sent.end(), parameter.begin(), parameter.end()), sent.end());
    }
    gImageCoverage = 0;
}

TEST(PageStart, FailedSendStopsAtIt) {
    DeviceCapture device(3);  // header, paper size, then copies
    const GDI_START_PAGE_PARAM page = PlainPage();
    EXPECT_EQ(Prnt_StartPage(&page, PLATFORM_M), 0);
    ASSERT_EQ(device.writes().size(), 2u);
    EXPECT_EQ(device.writes()[1], kPaperSizeParam9);
}

// A 1000-point A4 page with image checksum 0x9E.
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

const ByteVec kPageEndC = Cat({kUelC, kZeros, {0x0B, 0x06, 0x1A, 0x9E, 0x00, 0x37}, kZeros,
                               kCoverageC1000, kZeros, kFormFeed});

TEST(PageEnd, BytesPerPlatform) {
    // PLATFORM_C turns the sheet after the odd pages of a machine duplex job.
    const ByteVec endPageM = {0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x03,
                              0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5A, 0x5A};
    const struct {
        int platform, page, bMachDup;
        ByteVec sent;
        int failAt;  // the device write that fails (0: none)
    } cases[] = {
        {PLATFORM_C, 1, 0, kPageEndC, 0},
        {PLATFORM_C, 3, 1, Cat({kPageEndC, kZeros, kMachineDuplex}), 0},
        {PLATFORM_C, 2, 1, kPageEndC, 0},
        {PLATFORM_Z, 1, 1, Cat({kZeros, kFormFeed}), 0},
        {PLATFORM_M, 1, 1, endPageM, 0},
        {PLATFORM_C, 1, 1, Cat({kPageEndC, kZeros}), 9},  // the machine duplex command fails
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platform << " page " << c.page);
        DeviceCapture device(c.failAt);
        GDI_END_PAGE_PARAM end = EndOfPage(c.page, c.bMachDup);
        EXPECT_EQ(Prnt_EndPage(&end, c.platform), c.failAt == 0 ? 1 : 0);
        EXPECT_EQ(device.bytes(), c.sent);
        EXPECT_EQ(end.dotCnt, c.platform == PLATFORM_C ? 1000 : 0);
    }
}

}  // namespace

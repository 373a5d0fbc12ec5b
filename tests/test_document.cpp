// Document start and end on each platform: byte images, caching, failures.
#include <cstring>
#include <gtest/gtest.h>

#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/document.h"
#include "support/device_capture.h"
#include "support/job_environment.h"
#include "support/stream_builder.h"

namespace {

const ByteVec kEnterLanguage = Str("@PJL ENTER LANGUAGE=PL\r\n");
const ByteVec kKavrinRecord = Cat({{0x0B, 0x24, 0x1E, 0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20, 0x20,
                                    0x28, 0x2C},
                                   ByteVec(18, 0x20), {0x0A, 0x00, 0xC8}});
const ByteVec kSerithRecord = Cat({{0x0B, 0x28, 0x1E, 0x00, 0x17, 0x26, 0x00, 0x30, 0x40, 0x20, 0x17, 0x20, 0x20,
                                    0x00, 0x00},
                                   ByteVec(17, 0x20), {0x08, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59}});

GDI_START_DOC_PARAM StartParam(int32_t jobID, uint8_t densityLevel) {
    GDI_START_DOC_PARAM param{};
    param.jobID = jobID;
    param.DuplexMode = 0x20;
    param.saveMode = 0x10;
    param.densityLevel = densityLevel;
    return param;
}

// Sends a PLATFORM_Z document start for `model` with host name "printhost".
ByteVec StartZ(const char* model) {
    JobEnvironment env;
    env.SetHostName("printhost");
    DeviceCapture device;
    GDI_START_DOC_PARAM param = StartParam(513, 3);
    param.modelName = model;
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    return device.bytes();
}

ByteVec Tail(const ByteVec& bytes, std::size_t n) {
    return n <= bytes.size() ? ByteVec(bytes.end() - n, bytes.end()) : ByteVec{};
}

TEST(DocumentStart, PlatformCOpening) {
    JobEnvironment env;
    env.SetTimeZone("JST-9");  // 20:00 UTC on 2 December is already 3 December here
    env.SetClock(UtcTime(2026, 12, 2, 20, 0));
    DeviceCapture device;
    SpoolFile spool;
    gCollateFile = spool.fd;
    GDI_START_DOC_PARAM param = StartParam(7, 3);
    param.tonerSaveEnable = 1;
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_C), 1);
    const ByteVec expected =
        Cat({kUelC, {0x0B, 0x04, 0x16, 0xDB}, Str(kEndOfJobText + "versions=3.1.2.1"), kZeros, Str(kPjlHeaderText),
             kEnterLanguage, kZeros, {0x0B, 0x06, 0x11, 0x07, 0x30, 0xA7}, kZeros, {0x0B, 0x05, 0x19, 0x01, 0xD6},
             kZeros, {0x0B, 0x05, 0x15, 0x03, 0xD8}, {0x0B, 0x08, 0x1F, 0xEA, 0x07, 0x0C, 0x03, 0xCE}});
    EXPECT_EQ(device.bytes(), expected);
    EXPECT_EQ(spool.bytes(), expected);  // every send cached
    EXPECT_STREQ(prntLastError, "");
}

TEST(DocumentStart, PlatformMOpeningIs153Bytes) {
    DeviceCapture device;
    SpoolFile spool;
    gCollateFile = spool.fd;
    GDI_START_DOC_PARAM param{};
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_M), 1);
    ByteVec expected = Bytes({0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58, 0x4A, 0x5A, 0x4A, 0x5A,
                              0, 0, 0, 0x58, 0, 0, 0, 0x11, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A});
    for (int v : {0,   81,  115, 110, 150, 122, 100, 150, 200, 100, 81,  100, 100, 100, 100, 100, 100, 100,
                  100, 100, 100, 100, 100, 100, 120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100})
        Append(expected, Be16(v));
    Append(expected, Bytes({0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0x24, 0x5A, 0x5A,  //
                            0, 0, 0, 0x0C, 0, 0, 1, 0, 0, 0, 0, 0,                      //
                            0, 0, 0, 0x0C, 0, 1, 1, 0, 0, 0, 0, 0,                      //
                            0, 0, 0, 0x0C, 0, 2, 1, 0, 0, 0, 0, 1}));
    ASSERT_EQ(expected.size(), 153u);
    EXPECT_EQ(device.bytes(), expected);
    EXPECT_EQ(device.writes().size(), 7u);  // header and each record are sends of their own
    EXPECT_EQ(spool.bytes(), expected);
}

TEST(DocumentStart, PlatformZOpeningWithoutTonerRecord) {
    JobEnvironment env;
    env.SetTimeZone("EST5");  // 19:05 UTC is 14:05 here
    env.SetClock(UtcTime(2026, 12, 3, 19, 5));
    env.SetHostName("printhost");
    DeviceCapture device;
    SpoolFile spool;
    gCollateFile = spool.fd;
    GDI_START_DOC_PARAM param = StartParam(513, 3);
    param.modelName = "Norvex Dolvek Series";
    param.FineMode = 1;
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    const ByteVec fineMode = {0x0B, 0x05, 0x1F, 0x01, 0xD0};
    EXPECT_EQ(device.bytes(),
              Cat({Str(kPjlHeaderText + "@PJL JOBTIME=05:14:03:12:2026\r\n@PJL JOBOWNER=printhost\r\n"),
                   kEnterLanguage, kZeros, fineMode, kZeros, {0x0B, 0x09, 0x11, 0x30, 0x01, 0x02, 0x00, 0x00, 0xA8},
                   kZeros, {0x0B, 0x05, 0x15, 0x03, 0xD8}, kZeros}));
    // Only the owner line's end, the fine mode and the separators are spooled.
    EXPECT_EQ(spool.bytes(), Cat({Str("\r\n"), kZeros, fineMode, kZeros, kZeros, kZeros}));
}

// The toner record follows the model name, compared whole and case-sensitive.
TEST(DocumentStart, PlatformZLengthFollowsTheModel) {
    const std::size_t host = std::strlen("printhost");
    for (const char* other :
         {"Norvex Dolvek Series", "norvex kavrin series", "Norvex Kavrin Series2", "Norvex Quessan"})
        EXPECT_EQ(StartZ(other).size(), 113 + host) << other;

    const ByteVec quessan = StartZ("Norvex Quessan Series");
    EXPECT_EQ(quessan.size(), 153 + host);
    EXPECT_EQ(Tail(quessan, 40), kSerithRecord);
    EXPECT_EQ(std::string(quessan.begin() + 15, quessan.begin() + 28), "@PJL JOBTIME=");

    const ByteVec kavrin = StartZ("Norvex Kavrin Series");
    EXPECT_EQ(kavrin.size(), 175 + host);
    EXPECT_EQ(Tail(kavrin, 38), Cat({kZeros, kKavrinRecord}));
    EXPECT_EQ(std::string(kavrin.begin() + 15, kavrin.begin() + 41), "@PJL LANGUAGEVERSION=1.0\r\n");

    // The Kavrin name with trailing text is another model.
    JobEnvironment env;
    DeviceCapture device;
    const std::string longer = "Norvex Kavrin Series" + std::string(1004, 'N');
    GDI_START_DOC_PARAM param{};
    param.modelName = longer.c_str();
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    EXPECT_EQ(device.bytes().size(), 113 + std::strlen("host"));
}

TEST(DocumentStart, FailedSendStopsWithItsMessageFirst) {
    JobEnvironment env;
    DeviceCapture device(9);  // the C job specification
    GDI_START_DOC_PARAM param = StartParam(7, 3);
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_C), 0);
    EXPECT_NE(std::string(prntLastError).find("cmdJobSpec"), std::string::npos) << prntLastError;
    EXPECT_EQ(device.writes().size(), 8u);  // up to the separator in front of it
    EXPECT_EQ(Tail(device.bytes(), 26), Cat({kEnterLanguage, kZeros}));
}

TEST(DocumentEnd, BytesAndCachingPerPlatform) {
    const ByteVec machineDuplex = Cat({kZeros, {0x0B, 0x04, 0x40, 0xB1}});
    const ByteVec closingC = Cat({kZeros, {0x0B, 0x05, 0x31, 0x80, 0x3F}, kZeros, kReset, Str(kEndOfJobText)});
    const ByteVec endZ = Cat({kReset, Str(kEndOfJobText)});
    const ByteVec endM = Cat({{0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}, kUel});
    ASSERT_EQ(endZ.size(), 40u);
    ASSERT_EQ(endM.size(), 25u);
    const struct {
        int platform;
        GDI_END_DOC_PARAM param;
        ByteVec sent;
        bool cached;
    } cases[] = {
        {PLATFORM_Z, {3, 1}, endZ, true},
        {PLATFORM_M, {1, 0}, endM, false},
        // PLATFORM_C closes the sheet of an odd machine duplex job.
        {PLATFORM_C, {3, 1}, Cat({machineDuplex, closingC}), true},
        {PLATFORM_C, {2, 1}, closingC, true},
        {PLATFORM_C, {3, 2}, closingC, true},
        {PLATFORM_C, {3, 0}, closingC, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platform << " page " << c.param.page);
        DeviceCapture device;
        SpoolFile spool;
        gCollateFile = spool.fd;
        GDI_END_DOC_PARAM param = c.param;
        ASSERT_EQ(Prnt_EndDoc(&param, c.platform), 1);
        EXPECT_EQ(device.bytes(), c.sent);
        EXPECT_EQ(spool.bytes(), c.cached ? c.sent : ByteVec{});
    }
}

TEST(DocumentEnd, FailedMachineDuplexStopsTheEnd) {
    DeviceCapture device(2);
    GDI_END_DOC_PARAM param{5, 1};
    EXPECT_EQ(Prnt_EndDoc(&param, PLATFORM_C), 0);
    EXPECT_EQ(device.bytes(), kZeros);
}

// The job number and the toner save flag keep their low byte; every flag set is 0xBF.
TEST(DocumentCommands, ByteImages) {
    GDI_START_DOC_PARAM param = StartParam(513, 0);
    param.tonerSaveEnable = 0x101;
    GDI_JOB_SPEC_C jobSpec;
    GDI_TONER_SAVE tonerSave;
    ASSERT_EQ(GetJobSpecCmd_C(&param, &jobSpec), 1);
    ASSERT_EQ(GetTonerSaveCmd(&param, &tonerSave), 1);
    EXPECT_EQ(RecordBytes(jobSpec), Bytes({0x0B, 0x06, 0x11, 0x01, 0x30, 0xAD}));
    EXPECT_EQ(RecordBytes(tonerSave), Bytes({0x0B, 0x05, 0x19, 0x01, 0xD6}));
    param.watermarkEnable = 5;
    param.bookletEnable = param.posterEnable = param.nupEnable = param.overlapEnable = -1;
    EXPECT_EQ(JobSpecFlags(&param), 0xBF);
}

}  // namespace

// Document start and end on each platform: byte images, caching, failures.
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "common/last_error.h"
#include "common/output.h"
#include "common/platform.h"
#include "prnt/document.h"
#include "prnt/model_name.h"
#include "support/device_capture.h"
#include "support/job_environment.h"

namespace {

using ByteVec = std::vector<uint8_t>;

ByteVec Str(const std::string& text) { return ByteVec(text.begin(), text.end()); }

ByteVec Cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const ByteVec& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

ByteVec Repeat(uint8_t value, std::size_t n) { return ByteVec(n, value); }

template <typename Record>
ByteVec Image(const Record& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return ByteVec(p, p + sizeof record);
}

const ByteVec kZero = Bytes({0x00, 0x00});
const ByteVec kUelC = Bytes({0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58});
const ByteVec kUel = Bytes({0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58});
const ByteVec kPjlHeader = Str("\x1B%-12345X@PJL\r\n");
const ByteVec kEnterLanguage = Str("@PJL ENTER LANGUAGE=PL\r\n");
const ByteVec kEndOfJob = Str("\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n");
const ByteVec kReset = Bytes({0x0B, 0x04, 0x17, 0xDA});
const ByteVec kKavrinRecord =
    Cat({Bytes({0x0B, 0x24, 0x1E, 0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20, 0x20,
                0x28, 0x2C}),
         Repeat(0x20, 18), Bytes({0x0A, 0x00, 0xC8})});
const ByteVec kSerithRecord =
    Cat({Bytes({0x0B, 0x28, 0x1E, 0x00, 0x17, 0x26, 0x00, 0x30, 0x40, 0x20, 0x17, 0x20, 0x20,
                0x00, 0x00}),
         Repeat(0x20, 17), Bytes({0x08, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59})});

// What a send with bCache 1 leaves in the open collate spool file.
class CollateSpool {
public:
    CollateSpool() : file_(std::tmpfile()) { gCollateFile = fileno(file_); }
    ~CollateSpool() {
        gCollateFile = 0;
        std::fclose(file_);
    }
    ByteVec bytes() const {
        ByteVec out(static_cast<std::size_t>(lseek(fileno(file_), 0, SEEK_END)));
        if (!out.empty()) {
            EXPECT_EQ(pread(fileno(file_), out.data(), out.size(), 0),
                      static_cast<ssize_t>(out.size()));
        }
        return out;
    }

private:
    std::FILE* file_;
};

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
    env.SetModel(model);
    env.SetHostName("printhost");
    DeviceCapture device;
    GDI_START_DOC_PARAM param = StartParam(513, 3);
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
    CollateSpool spool;
    GDI_START_DOC_PARAM param = StartParam(7, 3);
    param.tonerSaveEnable = 1;
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_C), 1);
    const ByteVec expected =
        Cat({kUelC, Bytes({0x0B, 0x04, 0x16, 0xDB}), kEndOfJob, Str("versions=3.1.2.1"), kZero,
             kPjlHeader, kEnterLanguage, kZero, Bytes({0x0B, 0x06, 0x11, 0x07, 0x30, 0xA7}), kZero,
             Bytes({0x0B, 0x05, 0x19, 0x01, 0xD6}), kZero, Bytes({0x0B, 0x05, 0x15, 0x03, 0xD8}),
             Bytes({0x0B, 0x08, 0x1F, 0xEA, 0x07, 0x0C, 0x03, 0xCE})});
    EXPECT_EQ(device.bytes(), expected);
    EXPECT_EQ(spool.bytes(), expected);  // every send cached
    EXPECT_STREQ(prntLastError, "");
}

TEST(DocumentStart, PlatformMOpeningIs153Bytes) {
    DeviceCapture device;
    CollateSpool spool;
    GDI_START_DOC_PARAM param{};
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_M), 1);
    ByteVec tonerBody;
    for (int v : {0, 81, 115, 110, 150, 122, 100, 150, 200, 100, 81, 100, 100, 100,
                  100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
                  120, 135, 150, 180, 200, 120, 150, 190, 350, 400, 100, 100}) {
        tonerBody.push_back(static_cast<uint8_t>(v >> 8));
        tonerBody.push_back(static_cast<uint8_t>(v));
    }
    const ByteVec expected = Cat({
        Bytes({0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58, 0x4A, 0x5A, 0x4A, 0x5A}),
        Bytes({0, 0, 0, 0x58, 0, 0, 0, 0x11, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}), tonerBody,
        Bytes({0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0x24, 0x5A, 0x5A}),
        Bytes({0, 0, 0, 0x0C, 0, 0, 1, 0, 0, 0, 0, 0}),
        Bytes({0, 0, 0, 0x0C, 0, 1, 1, 0, 0, 0, 0, 0}),
        Bytes({0, 0, 0, 0x0C, 0, 2, 1, 0, 0, 0, 0, 1}),
    });
    ASSERT_EQ(expected.size(), 153u);
    EXPECT_EQ(device.bytes(), expected);
    EXPECT_EQ(device.writes().size(), 7u);  // header and each record are sends of their own
    EXPECT_EQ(spool.bytes(), expected);
}

TEST(DocumentStart, PlatformZOpeningWithoutTonerRecord) {
    JobEnvironment env;
    env.SetTimeZone("EST5");
    env.SetClock(UtcTime(2026, 12, 3, 19, 5));
    env.SetModel("Norvex Dolvek Series");
    env.SetHostName("printhost");
    DeviceCapture device;
    CollateSpool spool;
    GDI_START_DOC_PARAM param = StartParam(513, 3);
    param.FineMode = 1;
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    const ByteVec fineMode = Bytes({0x0B, 0x05, 0x1F, 0x01, 0xD0});
    EXPECT_EQ(device.bytes(),
              Cat({kPjlHeader, Str("@PJL JOBTIME=05:14:03:12:2026\r\n@PJL JOBOWNER=printhost\r\n"),
                   kEnterLanguage, kZero, fineMode, kZero,
                   Bytes({0x0B, 0x09, 0x11, 0x30, 0x01, 0x02, 0x00, 0x00, 0xA8}), kZero,
                   Bytes({0x0B, 0x05, 0x15, 0x03, 0xD8}), kZero}));
    // Only the owner line's end, the fine mode and the separators are spooled.
    EXPECT_EQ(spool.bytes(), Cat({Str("\r\n"), kZero, fineMode, kZero, kZero, kZero}));
}

TEST(DocumentStart, PlatformZLengthFollowsTheModel) {
    const std::size_t n = std::strlen("printhost");
    const ByteVec plain = StartZ("Norvex Dolvek Series");
    EXPECT_EQ(plain.size(), 113 + n);

    const ByteVec quessan = StartZ("Norvex Quessan Series");
    EXPECT_EQ(quessan.size(), 153 + n);
    EXPECT_EQ(Tail(quessan, 40), kSerithRecord);
    EXPECT_EQ(std::string(quessan.begin() + 15, quessan.begin() + 28), "@PJL JOBTIME=");

    const ByteVec kavrin = StartZ("Norvex Kavrin Series");
    EXPECT_EQ(kavrin.size(), 175 + n);
    EXPECT_EQ(Tail(kavrin, 38), Cat({kZero, kKavrinRecord}));
    EXPECT_EQ(std::string(kavrin.begin() + 15, kavrin.begin() + 41),
              "@PJL LANGUAGEVERSION=1.0\r\n");
}

TEST(DocumentStart, ModelNamesCompareWholeAndCaseSensitive) {
    const std::size_t n = std::strlen("printhost");
    EXPECT_EQ(StartZ("norvex kavrin series").size(), 113 + n);
    EXPECT_EQ(StartZ("Norvex Kavrin Series2").size(), 113 + n);
    EXPECT_EQ(StartZ("Norvex Quessan").size(), 113 + n);
}

TEST(DocumentStart, UnterminatedModelNameIsReadWithinItsBuffer) {
    JobEnvironment env;
    DeviceCapture device;
    // The Kavrin name with no end: the rest of the buffer is trailing text.
    std::memset(gPPDFile, 'N', sizeof gPPDFile);
    std::memcpy(gPPDFile, "Norvex Kavrin Series", 20);
    GDI_START_DOC_PARAM param{};
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    EXPECT_EQ(device.bytes().size(), 113 + std::strlen("host"));
}

TEST(DocumentStart, FailedSendStopsWithItsMessageFirst) {
    JobEnvironment env;
    DeviceCapture device(9);  // the C job specification
    SetLastError("earlier failure\n");
    GDI_START_DOC_PARAM param = StartParam(7, 3);
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_C), 0);
    EXPECT_STREQ(prntLastError,
                 "Prnt_StartDoc() :: send cmdJobSpec Fail 0 ==  \nearlier failure\n");
    EXPECT_EQ(device.writes().size(), 8u);  // up to the separator in front of it
    EXPECT_EQ(Tail(device.bytes(), 26), Cat({kEnterLanguage, kZero}));
}

TEST(DocumentStart, SerithAndPlatformMFailureMessages) {
    JobEnvironment env;
    env.SetModel("Norvex Quessan Series");
    GDI_START_DOC_PARAM param{};
    {
        DeviceCapture device(15);  // the Serith record, after 14 writes
        EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 0);
        EXPECT_STREQ(prntLastError, "Prnt_StartDoc() :: send cmdTonerParamSerith Fail 0 ==  \n");
    }
    {
        DeviceCapture device(6);  // second parameter record
        EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_M), 0);
        EXPECT_STREQ(prntLastError, "Prnt_StartDoc() :: send TOTAL_PAGE_PARAM Fail 0 ==  \n");
        EXPECT_EQ(device.bytes().size(), 9u + 4 + 88 + 16 + 12);
    }
}

TEST(DocumentStart, UnknownPlatformSendsAndRecordsNothing) {
    GDI_START_DOC_PARAM start{};
    GDI_END_DOC_PARAM end{3, 1};
    for (int platform : {0, 4}) {
        DeviceCapture device;
        EXPECT_EQ(Prnt_StartDoc(&start, platform), 0);
        EXPECT_EQ(Prnt_EndDoc(&end, platform), 0);
        EXPECT_TRUE(device.bytes().empty());
        EXPECT_STREQ(prntLastError, "");
    }
}

TEST(DocumentEnd, PlatformZIs40CachedBytes) {
    DeviceCapture device;
    CollateSpool spool;
    GDI_END_DOC_PARAM param{3, 1};
    ASSERT_EQ(Prnt_EndDoc(&param, PLATFORM_Z), 1);
    EXPECT_EQ(device.bytes(), Cat({kReset, kEndOfJob}));
    EXPECT_EQ(device.bytes().size(), 40u);
    EXPECT_EQ(spool.bytes(), device.bytes());
}

TEST(DocumentEnd, PlatformMIs25DeviceOnlyBytes) {
    DeviceCapture device;
    CollateSpool spool;
    GDI_END_DOC_PARAM param{1, 0};
    ASSERT_EQ(Prnt_EndDoc(&param, PLATFORM_M), 1);
    EXPECT_EQ(device.bytes(),
              Cat({Bytes({0, 0, 0, 0x10, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x5A, 0x5A}), kUel}));
    EXPECT_TRUE(spool.bytes().empty());
}

TEST(DocumentEnd, PlatformCClosesAnOddDuplexSheet) {
    const ByteVec machineDuplex = Cat({kZero, Bytes({0x0B, 0x04, 0x40, 0xB1})});
    const ByteVec closing =
        Cat({kZero, Bytes({0x0B, 0x05, 0x31, 0x80, 0x3F}), kZero, kReset, kEndOfJob});
    struct Case {
        int32_t page, bMachDup;
        bool duplexCmd;
    };
    for (const Case& c :
         {Case{3, 1, true}, Case{2, 1, false}, Case{3, 2, false}, Case{3, 0, false}}) {
        DeviceCapture device;
        CollateSpool spool;
        GDI_END_DOC_PARAM param{c.page, c.bMachDup};
        ASSERT_EQ(Prnt_EndDoc(&param, PLATFORM_C), 1);
        const ByteVec expected = c.duplexCmd ? Cat({machineDuplex, closing}) : closing;
        EXPECT_EQ(device.bytes(), expected) << "page " << c.page << " bMachDup " << c.bMachDup;
        EXPECT_EQ(spool.bytes(), expected);
    }
}

TEST(DocumentEnd, MachineDuplexFailureAddsItsOwnLine) {
    DeviceCapture device(2);
    GDI_END_DOC_PARAM param{5, 1};
    EXPECT_EQ(Prnt_EndDoc(&param, PLATFORM_C), 0);
    EXPECT_STREQ(prntLastError,
                 "Prnt_EndDoc() :: MachineDuplexCmd Fail .\n"
                 "SendMachineDuplexCmd() :: send machineDuplexCmd Fail 0 ==  \n");
    EXPECT_EQ(device.bytes(), kZero);
}

TEST(DocumentEnd, FailureMessages) {
    GDI_END_DOC_PARAM param{1, 0};
    {
        DeviceCapture device(2);
        EXPECT_EQ(Prnt_EndDoc(&param, PLATFORM_M), 0);
        EXPECT_STREQ(prntLastError, "Prnt_EndDoc() :: send UEL_CMD Fail 0 ==  \n");
    }
    {
        DeviceCapture device(2);
        EXPECT_EQ(Prnt_EndDoc(&param, PLATFORM_Z), 0);
        EXPECT_STREQ(prntLastError, "Prnt_EndDoc() :: send endOfJobCmd Fail 0 ==  \n");
    }
}

TEST(JobSpec, JobNumberOnEachPlatform) {
    const GDI_START_DOC_PARAM param = StartParam(513, 0);
    GDI_JOB_SPEC_Z z;
    GDI_JOB_SPEC_C c;
    ASSERT_EQ(GetJobSpecCmd_Z(&param, &z), 1);
    ASSERT_EQ(GetJobSpecCmd_C(&param, &c), 1);
    EXPECT_EQ(Image(z), Bytes({0x0B, 0x09, 0x11, 0x30, 0x01, 0x02, 0x00, 0x00, 0xA8}));
    EXPECT_EQ(Image(c), Bytes({0x0B, 0x06, 0x11, 0x01, 0x30, 0xAD}));
}

TEST(JobSpec, EveryFlagSet) {
    GDI_START_DOC_PARAM param = StartParam(1, 0);
    param.watermarkEnable = 5;
    param.bookletEnable = param.posterEnable = param.nupEnable = param.overlapEnable = -1;
    EXPECT_EQ(JobSpecFlags(&param), 0xBF);
}

TEST(DocumentCommands, TonerSaveTakesTheLowByte) {
    GDI_START_DOC_PARAM param{};
    param.tonerSaveEnable = 0x101;
    GDI_TONER_SAVE cmd;
    ASSERT_EQ(GetTonerSaveCmd(&param, &cmd), 1);
    EXPECT_EQ(Image(cmd), Bytes({0x0B, 0x05, 0x19, 0x01, 0xD6}));
}

TEST(DocumentCommands, TonerParameterRecords) {
    GDI_TONER_PARAM_DOLVEK kavrin;
    GDI_TONER_PARAM_SERITH serith;
    std::memset(&kavrin, 0xFF, sizeof kavrin);
    std::memset(&serith, 0xFF, sizeof serith);
    ASSERT_EQ(GetTonerParamCmdForKavrin(nullptr, &kavrin), 1);
    ASSERT_EQ(GetTonerParamCmdForSerith(nullptr, &serith), 1);
    EXPECT_EQ(Image(kavrin), kKavrinRecord);
    EXPECT_EQ(Image(serith), kSerithRecord);
}

}  // namespace

// Document start and end on each platform, with the PJL envelope: byte
// images, caching, failures.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "common/output.h"
#include "common/platform.h"
#include "prnt/document.h"
#include "prnt/pjl.h"
#include "support/device_capture.h"
#include "support/stream_builder.h"

namespace {

// An anonymous spool file: what the routing wrote to it, read back whole.
struct SpoolFile {
    SpoolFile() : file(std::tmpfile()), fd(fileno(file)) {}
    ~SpoolFile() { std::fclose(file); }
    ByteVec bytes() const {
        ByteVec out(static_cast<std::size_t>(lseek(fd, 0, SEEK_END)));
        EXPECT_EQ(pread(fd, out.data(), out.size(), 0), static_cast<ssize_t>(out.size()));
        return out;
    }
    std::FILE* file;
    int fd;
};

std::time_t gNow = 0;
const char* gHostName = nullptr;  // nullptr: the lookup fails

// Delivered the way gethostname does: cut to the caller's length, terminated
// only when there is room.
int FixedHostName(char* name, std::size_t len) {
    if (gHostName == nullptr) return -1;
    const std::size_t size = std::strlen(gHostName);
    std::memcpy(name, gHostName, std::min(size + 1, len));
    return size < len ? 0 : -1;
}

// The document start's time zone, clock and host name, fixed while it lives.
struct JobEnvironment {
    JobEnvironment(const char* tz, std::time_t now, const char* hostName) {
        setenv("TZ", tz, 1);
        tzset();
        gNow = now;
        gHostName = hostName;
        SetJobClock([] { return gNow; });
        SetHostNameSource(FixedHostName);
    }
    ~JobEnvironment() {
        SetJobClock(nullptr);
        SetHostNameSource(nullptr);
        unsetenv("TZ");
        tzset();
    }
};

std::time_t UtcTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return timegm(&t);
}

GDI_START_DOC_PARAM StartParam(int32_t jobID, const char* model = "Norvex Dolvek Series") {
    GDI_START_DOC_PARAM param{};
    param.jobID = jobID;
    param.DuplexMode = 0x20;
    param.saveMode = 0x10;
    param.densityLevel = 3;
    param.tonerSaveEnable = 1;
    param.FineMode = 1;
    param.modelName = model;
    return param;
}

// The local date and time go out: 20:00 UTC on 2 December is already
// 3 December at UTC+9, 19:05 UTC is 14:05 at UTC-5. On PLATFORM_Z only the
// owner line's end, the fine mode and the separators are spooled.
TEST(DocumentStart, OpeningOfEachPlatformAndWhatIsSpooled) {
    const ByteVec fineMode = {0x0B, 0x05, 0x1F, 0x01, 0xD0};
    const struct {
        int platform, jobID;
        const char* tz;
        std::time_t now;
        ByteVec sent, spooled;
    } cases[] = {
        {PLATFORM_C, 7, "JST-9", UtcTime(2026, 12, 2, 20, 0), OpeningC(), OpeningC()},
        {PLATFORM_Z, 513, "EST5", UtcTime(2026, 12, 3, 19, 5), OpeningZ(),
         Cat({Str("\r\n"), kZeros, fineMode, kZeros, kZeros, kZeros})},
        {PLATFORM_M, 513, "UTC0", 0, OpeningM(), OpeningM()},
    };
    ASSERT_EQ(OpeningM().size(), 153u);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platform);
        JobEnvironment env(c.tz, c.now, "printhost");
        DeviceCapture device;
        SpoolFile spool;
        gCollateFile = spool.fd;
        GDI_START_DOC_PARAM param = StartParam(c.jobID);
        ASSERT_EQ(Prnt_StartDoc(&param, c.platform), 1);
        EXPECT_EQ(device.bytes(), c.sent);
        EXPECT_EQ(spool.bytes(), c.spooled);
    }
}

// The toner record follows the model name, compared whole and case-sensitive;
// a host name of n bytes adds n.
TEST(DocumentStart, PlatformZLengthFollowsTheModel) {
    const ByteVec kavrinRecord = Cat({{0x0B, 0x24, 0x1E, 0x00, 0x1E, 0x24, 0x26, 0x2F, 0x50, 0x06, 0x20, 0x20, 0x20,
                                       0x28, 0x2C},
                                      ByteVec(18, 0x20), {0x0A, 0x00, 0xC8}});
    const ByteVec serithRecord = Cat({{0x0B, 0x28, 0x1E, 0x00, 0x17, 0x26, 0x00, 0x30, 0x40, 0x20, 0x17, 0x20, 0x20,
                                       0x00, 0x00},
                                      ByteVec(17, 0x20), {0x08, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x59}});
    const struct {
        const char* model;
        std::size_t size;
        ByteVec tail;
        const char* pjlAfterHeader;  // the line after the PJL header
    } cases[] = {
        {"Norvex Dolvek Series", 113, {}, "@PJL JOBTIME="},
        {"norvex kavrin series", 113, {}, "@PJL JOBTIME="},
        {"Norvex Kavrin Series2", 113, {}, "@PJL JOBTIME="},
        {"Norvex Quessan", 113, {}, "@PJL JOBTIME="},
        {"Norvex Quessan Series", 153, serithRecord, "@PJL JOBTIME="},
        {"Norvex Kavrin Series", 175, Cat({kZeros, kavrinRecord}), "@PJL LANGUAGEVERSION=1.0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        JobEnvironment env("UTC0", 0, "printhost");
        DeviceCapture device;
        GDI_START_DOC_PARAM param = StartParam(513, c.model);
        ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
        const ByteVec& sent = device.bytes();
        ASSERT_EQ(sent.size(), c.size + std::strlen("printhost"));
        EXPECT_EQ(ByteVec(sent.end() - c.tail.size(), sent.end()), c.tail);
        EXPECT_EQ(std::string(sent.begin() + 15, sent.end()).rfind(c.pjlAfterHeader, 0), 0u);
    }
}

TEST(DocumentStart, FailedSendStopsAtIt) {
    JobEnvironment env("UTC0", 0, "host");
    DeviceCapture device(9);  // the C job specification
    GDI_START_DOC_PARAM param = StartParam(7);
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_C), 0);
    const ByteVec& sent = device.bytes();
    const ByteVec opening = OpeningC();
    ASSERT_LT(sent.size(), opening.size());
    EXPECT_EQ(sent, ByteVec(opening.begin(), opening.begin() + static_cast<std::ptrdiff_t>(sent.size())));
    EXPECT_EQ(ByteVec(sent.end() - 2, sent.end()), kZeros);  // up to the separator in front of it
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
        int failAt;  // the device write that fails (0: none)
    } cases[] = {
        {PLATFORM_Z, {3, 1}, endZ, true, 0},
        {PLATFORM_M, {1, 0}, endM, false, 0},
        // PLATFORM_C closes the sheet of an odd machine duplex job.
        {PLATFORM_C, {3, 1}, Cat({machineDuplex, closingC}), true, 0},
        {PLATFORM_C, {2, 1}, closingC, true, 0},
        {PLATFORM_C, {3, 2}, closingC, true, 0},
        {PLATFORM_C, {3, 0}, closingC, true, 0},
        {PLATFORM_C, {5, 1}, kZeros, true, 2},  // a failed machine duplex command ends it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "platform " << c.platform << " page " << c.param.page);
        DeviceCapture device(c.failAt);
        SpoolFile spool;
        gCollateFile = spool.fd;
        GDI_END_DOC_PARAM param = c.param;
        ASSERT_EQ(Prnt_EndDoc(&param, c.platform), c.failAt == 0 ? 1 : 0);
        EXPECT_EQ(device.bytes(), c.sent);
        if (c.failAt == 0) {
            EXPECT_EQ(spool.bytes(), c.cached ? c.sent : ByteVec{});
        }
    }
}

// The job number and the toner save flag keep their low byte.
TEST(DocumentCommands, ByteImages) {
    GDI_START_DOC_PARAM param = StartParam(513);
    param.tonerSaveEnable = 0x101;
    GDI_JOB_SPEC_C jobSpec;
    GDI_TONER_SAVE tonerSave;
    ASSERT_EQ(GetJobSpecCmd_C(&param, &jobSpec), 1);
    ASSERT_EQ(GetTonerSaveCmd(&param, &tonerSave), 1);
    EXPECT_EQ(RecordBytes(jobSpec), Bytes({0x0B, 0x06, 0x11, 0x01, 0x30, 0xAD}));
    EXPECT_EQ(RecordBytes(tonerSave), Bytes({0x0B, 0x05, 0x19, 0x01, 0xD6}));
}

// A long host name is cut to 32 bytes; a failing lookup (after a job that
// had a name) and an empty name own the job with an empty value on a whole
// line, and the start goes on.
TEST(JobOwner, HostNameIsCutOrLeftEmpty) {
    const std::string longName = "an-unusually-long-print-server-name.example.org";
    const struct {
        bool fails;
        std::string name, line;
    } cases[] = {
        {false, longName, "@PJL JOBOWNER=an-unusually-long-print-server-n\r\n@PJL ENTER LANGUAGE"},
        {true, longName, "@PJL JOBOWNER=\r\n@PJL ENTER LANGUAGE"},
        {false, "", "@PJL JOBOWNER=\r\n@PJL ENTER LANGUAGE"},
    };
    for (const auto& c : cases) {
        JobEnvironment env("UTC0", 0, c.fails ? nullptr : c.name.c_str());
        DeviceCapture device;
        GDI_START_DOC_PARAM param{};
        ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
        const std::string sent(device.bytes().begin(), device.bytes().end());
        EXPECT_NE(sent.find(c.line), std::string::npos) << c.line;
    }
}

}  // namespace

// PJL job envelope: the job time text and the job owner line.
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "common/last_error.h"
#include "common/platform.h"
#include "prnt/document.h"
#include "prnt/pjl.h"
#include "support/device_capture.h"
#include "support/job_environment.h"

namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(JobTime, IsLocalMinutesHoursDayMonthYear) {
    JobEnvironment env;
    env.SetTimeZone("EST5");  // 19:05 UTC is 14:05 here
    env.SetClock(UtcTime(2026, 12, 3, 19, 5));
    char text[kSendTimeSize];
    GetSendTimePJL(text);
    EXPECT_STREQ(text, "05:14:03:12:2026\r\n");
}

TEST(JobTime, FiveDigitYearIsCutAndTheLineStillEnds) {
    JobEnvironment env;
    env.SetClock(UtcTime(10000, 1, 1, 0, 0));
    char text[kSendTimeSize + 4];
    std::memset(text, 0x55, sizeof text);
    GetSendTimePJL(text);
    EXPECT_STREQ(text, "00:00:01:01:1000\r\n");
    for (std::size_t i = kSendTimeSize; i < sizeof text; ++i) EXPECT_EQ(text[i], 0x55);
}

TEST(JobTime, LineFollowsThePJLHeaderOnPlatformZ) {
    JobEnvironment env;
    env.SetTimeZone("CET-1");  // 08:07 UTC is 09:07 here
    env.SetClock(UtcTime(2027, 2, 1, 8, 7));
    DeviceCapture device;
    GDI_START_DOC_PARAM param{};
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    EXPECT_EQ(Text(device.bytes()).substr(0, 46),
              "\x1B%-12345X@PJL\r\n@PJL JOBTIME=07:09:01:02:2027\r\n");
}

TEST(JobOwner, LongHostNameIsCutTo32Bytes) {
    JobEnvironment env;
    env.SetHostName("an-unusually-long-print-server-name.example.org");
    DeviceCapture device;
    GDI_START_DOC_PARAM param{};
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    EXPECT_NE(Text(device.bytes()).find("@PJL JOBOWNER=an-unusually-long-print-server-n\r\n"),
              std::string::npos);
    EXPECT_EQ(pjlPostComputerName[kComputerNameSize - 1], '\0');
}

TEST(JobOwner, NameThatCannotBeHadIsNotTakenFromAnEarlierJob) {
    JobEnvironment env;
    GDI_START_DOC_PARAM param{};
    {
        env.SetHostName("an-unusually-long-print-server-name.example.org");
        DeviceCapture device;
        ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    }
    env.FailHostName();
    DeviceCapture device;
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 0);
    EXPECT_STREQ(prntLastError, "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n");
}

TEST(JobOwner, EmptyHostNameEndsTheStartAfterTheKeyword) {
    JobEnvironment env;
    env.SetHostName("");
    DeviceCapture device;
    GDI_START_DOC_PARAM param{};
    EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 0);
    const std::string sent = Text(device.bytes());
    const std::string tail = "@PJL JOBOWNER=";
    ASSERT_GE(sent.size(), tail.size());
    EXPECT_EQ(sent.substr(sent.size() - tail.size()), tail);
    EXPECT_STREQ(prntLastError, "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n");
}

}  // namespace

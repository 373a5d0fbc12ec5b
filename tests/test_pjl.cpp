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

TEST(JobTime, FiveDigitYearIsCutAndTheLineStillEnds) {
    JobEnvironment env;
    env.SetClock(UtcTime(10000, 1, 1, 0, 0));
    char text[kSendTimeSize + 4];
    std::memset(text, 0x55, sizeof text);
    GetSendTimePJL(text);
    EXPECT_STREQ(text, "00:00:01:01:1000\r\n");
    for (std::size_t i = kSendTimeSize; i < sizeof text; ++i) EXPECT_EQ(text[i], 0x55);
}

TEST(JobOwner, LongHostNameIsCutTo32Bytes) {
    JobEnvironment env;
    env.SetHostName("an-unusually-long-print-server-name.example.org");
    DeviceCapture device;
    GDI_START_DOC_PARAM param{};
    ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    const std::string sent(device.bytes().begin(), device.bytes().end());
    EXPECT_NE(sent.find("@PJL JOBOWNER=an-unusually-long-print-server-n\r\n"), std::string::npos);
    EXPECT_EQ(pjlPostComputerName[kComputerNameSize - 1], '\0');
}

// Neither a failing lookup (after a job that had a name) nor an empty name
// sends an owner: the start ends after the keyword.
TEST(JobOwner, NoHostNameEndsTheStartAfterTheKeyword) {
    JobEnvironment env;
    GDI_START_DOC_PARAM param{};
    {
        env.SetHostName("an-unusually-long-print-server-name.example.org");
        DeviceCapture device;
        ASSERT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 1);
    }
    for (bool fails : {true, false}) {
        if (fails)
            env.FailHostName();
        else
            env.SetHostName("");
        DeviceCapture device;
        EXPECT_EQ(Prnt_StartDoc(&param, PLATFORM_Z), 0);
        const std::string sent(device.bytes().begin(), device.bytes().end());
        ASSERT_GE(sent.size(), 14u);
        EXPECT_EQ(sent.substr(sent.size() - 14), "@PJL JOBOWNER=");
        EXPECT_STREQ(prntLastError, "Prnt_StartDoc() :: send pjlHostName Fail 0 ==  \n");
    }
}

}  // namespace

// Packet framing: checksum, fixed commands, long-command header and records, the error text.
#include <gtest/gtest.h>
#include <string>

#include "common/checksum.h"
#include "common/last_error.h"
#include "prnt/fixed_commands.h"
#include "prnt/packet.h"
#include "support/device_capture.h"

namespace {

TEST(Checksum, IsTwosComplementOfTheByteSum) {
    EXPECT_EQ(CalcChecksum(Bytes({0x0B, 0x05, 0x15, 0x03}).data(), 4), 0xD8);
    EXPECT_EQ(CalcChecksum(Bytes({0x0B, 0x04, 0x16}).data(), 3), 0xDB);
    EXPECT_EQ(CalcChecksum(Bytes({0x0B, 0x05, 0x31, 0x80}).data(), 4), 0x3F);
    EXPECT_EQ(CalcChecksum(Bytes({0x01}).data(), 0), 0);
    EXPECT_EQ(CalcChecksum(Bytes({0x01}).data(), -3), 0);
    EXPECT_EQ(CalcChecksum(Bytes({0x80, 0x80}).data(), 2), 0);  // sum 0 gives 0
}

// Also the ones no other test sends (abort, manual duplex, query status).
TEST(FixedCommands, ShortCommandsSumToZero) {
    for (const char* cmd : {abortCmd, resetCmd, formFeedCmd, manualDuplexCmd_Z, manualDuplexCmd_C, queryStatusCmd,
                            hostUseCmd, machineDuplexCmd}) {
        const std::string bytes = cmd;
        EXPECT_EQ(bytes.size(), static_cast<uint8_t>(bytes[1]));
        int sum = 0;
        for (char b : bytes) sum += static_cast<uint8_t>(b);
        EXPECT_EQ(sum % 256, 0) << std::hex << int(static_cast<uint8_t>(bytes[2]));
    }
}

TEST(LongCommand, HeaderAndParameterRecordAreBigEndian) {
    GDI_JOB_SPEC_M header;
    EXPECT_EQ(SetCmdType(&header, 52, 0, 3, 36, 0x5A5A), 1);
    EXPECT_EQ(RecordBytes(header), Bytes({0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0x24, 0x5A, 0x5A}));
    GDI_SET_PARAM param;
    EXPECT_EQ(SetCmdParam(&param, 2, 1, 1), 1);
    EXPECT_EQ(RecordBytes(param), Bytes({0, 0, 0, 0x0C, 0, 2, 1, 0, 0, 0, 0, 1}));
}

TEST(LastError, NewestMessageComesFirstAndStaysWholeWhenFull) {
    ResetRoutingState();
    PrependLastError("first\n");
    PrependLastError("second\n");
    EXPECT_STREQ(prntLastError, "second\nfirst\n");

    const std::string old(1000, 'o');
    SetLastError(old.c_str());
    const std::string newest = "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n";
    PrependLastError(newest.c_str());
    EXPECT_EQ(std::string(prntLastError), newest + old.substr(0, 1023 - newest.size()));
    const std::string huge(5000, 'h');
    PrependLastError(huge.c_str());
    EXPECT_EQ(std::string(prntLastError), huge.substr(0, 1023));
    ResetRoutingState();
}

}  // namespace

// Packet framing: checksum, fixed commands, long-command header and records.
#include <cstring>
#include <gtest/gtest.h>

#include "common/byte_order.h"
#include "common/checksum.h"
#include "common/last_error.h"
#include "prnt/fixed_commands.h"
#include "prnt/packet.h"
#include "support/device_capture.h"

namespace {

template <std::size_t N>
std::vector<uint8_t> Sent(const char (&text)[N]) {
    DeviceCapture device;
    EXPECT_EQ(SendFixed(text, 0), 1);
    return device.bytes();
}

template <std::size_t N>
int ByteSum(const char (&text)[N]) {
    int sum = 0;
    for (std::size_t i = 0; i + 1 < N; ++i) sum += static_cast<uint8_t>(text[i]);
    return sum % 256;
}

TEST(Checksum, IsTwosComplementOfTheByteSum) {
    EXPECT_EQ(CalcChecksum(Bytes({0x0B, 0x05, 0x15, 0x03}).data(), 4), 0xD8);
    EXPECT_EQ(CalcChecksum(Bytes({0x0B, 0x04, 0x16}).data(), 3), 0xDB);
    EXPECT_EQ(CalcChecksum(Bytes({0x0B, 0x05, 0x31, 0x80}).data(), 4), 0x3F);
    EXPECT_EQ(CalcChecksum(Bytes({0x01}).data(), 0), 0);
    EXPECT_EQ(CalcChecksum(Bytes({0x01}).data(), -3), 0);
    EXPECT_EQ(CalcChecksum(Bytes({0x80, 0x80}).data(), 2), 0);  // sum 0 gives 0
}

TEST(FixedCommands, ShortCommandsSumToZero) {
    for (int sum : {ByteSum(abortCmd), ByteSum(resetCmd), ByteSum(formFeedCmd),
                    ByteSum(manualDuplexCmd_Z), ByteSum(manualDuplexCmd_C), ByteSum(queryStatusCmd),
                    ByteSum(hostUseCmd), ByteSum(machineDuplexCmd)})
        EXPECT_EQ(sum, 0);
}

TEST(FixedCommands, AreSentWithoutTheirTerminatingZero) {
    EXPECT_EQ(Sent(queryStatusCmd), Bytes({0x0B, 0x05, 0x31, 0x80, 0x3F}));
    EXPECT_EQ(Sent(UEL_CMD_C), Bytes({0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58}));
    EXPECT_EQ(Sent(UEL_CMD), Bytes({0x1B, 0x25, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58}));
    EXPECT_EQ(Sent(PJLheader).size(), 15u);
    EXPECT_EQ(Sent(pjlVersion).size(), 26u);
    EXPECT_EQ(Sent(pjlPreSendTime).size(), 13u);
    EXPECT_EQ(Sent(pjlPreComputerName).size(), 14u);
    EXPECT_EQ(Sent(CRLF), Bytes({0x0D, 0x0A}));
    EXPECT_EQ(Sent(pjlCmd).size(), 24u);
    EXPECT_EQ(Sent(fwVer).size(), 16u);
    EXPECT_EQ(Sent(pjlJZJZ_Gadrel), Bytes({0x4A, 0x5A, 0x4A, 0x5A}));
    const auto eoj = Sent(endOfJobCmd);
    ASSERT_EQ(eoj.size(), 36u);
    EXPECT_EQ(std::string(eoj.begin(), eoj.end()),
              "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n");
}

TEST(LongCommand, HeaderIsBigEndian) {
    GDI_JOB_SPEC_M header;
    EXPECT_EQ(SetCmdType(&header, 52, 0, 3, 36, 0x5A5A), 1);
    const auto* p = reinterpret_cast<const uint8_t*>(&header);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 16),
              Bytes({0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0x24, 0x5A, 0x5A}));
}

TEST(LongCommand, ParameterRecordIsBigEndian) {
    GDI_SET_PARAM param;
    EXPECT_EQ(SetCmdParam(&param, 2, 1, 1), 1);
    const auto* p = reinterpret_cast<const uint8_t*>(&param);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 12), Bytes({0, 0, 0, 0x0C, 0, 2, 1, 0, 0, 0, 0, 1}));
}

TEST(ByteOrder, FieldsAreWrittenByteByByte) {
    uint8_t le[2], be[4];
    PutLE16(le, 2026);
    PutBE32(be, 88);
    EXPECT_EQ(std::vector<uint8_t>(le, le + 2), Bytes({0xEA, 0x07}));
    EXPECT_EQ(std::vector<uint8_t>(be, be + 4), Bytes({0, 0, 0, 0x58}));
}

TEST(LastError, NewestMessageComesFirst) {
    ResetRoutingState();
    PrependLastError("first\n");
    PrependLastError("second\n");
    EXPECT_STREQ(prntLastError, "second\nfirst\n");
}

TEST(LastError, KeepsTheNewestMessageWholeWhenFull) {
    ResetRoutingState();
    const std::string old(1000, 'o');
    SetLastError(old.c_str());
    const std::string newest = "Prnt_StartPage() :: send cmdPageSpec Fail 0 ==  \n";
    PrependLastError(newest.c_str());
    const std::string text = prntLastError;
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.substr(0, newest.size()), newest);
    EXPECT_EQ(text.substr(newest.size()), old.substr(0, 1023 - newest.size()));

    const std::string huge(5000, 'h');
    PrependLastError(huge.c_str());
    EXPECT_EQ(std::string(prntLastError), huge.substr(0, 1023));
    ResetRoutingState();
}

}  // namespace

// Packet framing: checksum edges, fixed commands and the error text.
#include <gtest/gtest.h>
#include <string>

#include "common/checksum.h"
#include "common/last_error.h"
#include "prnt/fixed_commands.h"
#include "support/device_capture.h"

namespace {

// Ordinary sums are pinned by the byte images of the document and page commands.
TEST(Checksum, EmptyNegativeAndZeroSums) {
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

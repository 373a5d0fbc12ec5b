// Output routing (destinations, flags, results, the even-page size table),
// packet checksums, the fixed commands and the last-error text.
#include <gtest/gtest.h>
#include <string>

#include "common/checksum.h"
#include "common/last_error.h"
#include "common/output.h"
#include "prnt/fixed_commands.h"
#include "support/device_capture.h"

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(Routing, DeviceOnlyWhenNoSpoolIsOpen) {
    DeviceCapture device;
    EXPECT_EQ(SendDataToFile("abc", 3, 0), 1);
    EXPECT_EQ(SendDataToFile("de", 2, 1), 1);
    EXPECT_EQ(Text(device.bytes()), "abcde");
    EXPECT_EQ(g_ismiddlepage, 1);
}

TEST(Routing, NothingWrittenIsAFailure) {
    DeviceCapture device;
    gSendDataToDevice = 0;
    EXPECT_EQ(SendDataToFile("abc", 3, 0), 0);
    gSendDataToDevice = 1;
    EXPECT_EQ(SendDataToFile("abc", 0, 0), 0);  // zero bytes count as a failure
    EXPECT_TRUE(device.bytes().empty());
    SetLastError("earlier\n");
    EXPECT_EQ(SendDataToFile(nullptr, 3, 1), 0);
    EXPECT_STREQ(prntLastError, "SendDataToFile() :: NULL == pData");  // replaces the text
}

TEST(Routing, CachedDataAlsoGoesToTheOpenSpoolsByPageParity) {
    SpoolFile collate, odd, even;
    DeviceCapture device;
    gCollateFile = collate.fd;
    gManualDuplexOddFile = odd.fd;
    gManualDuplexEvenFile = even.fd;
    g_page = 3;
    EXPECT_EQ(SendDataToFile("p3", 2, 1), 1);
    EXPECT_EQ(SendDataToFile("dev", 3, 0), 1);  // device only
    g_page = 4;
    EXPECT_EQ(SendDataToFile("p4-a", 4, 1), 1);
    EXPECT_EQ(SendDataToFile("p4-b", 4, 1), 1);
    EXPECT_EQ(Text(device.bytes()), "p3devp4-ap4-b");
    EXPECT_EQ(Text(collate.bytes()), "p3p4-ap4-b");
    EXPECT_EQ(Text(odd.bytes()), "p3");
    EXPECT_EQ(Text(even.bytes()), "p4-ap4-b");
    EXPECT_EQ(gCacheSize[0], 0);
    EXPECT_EQ(gCacheSize[1], 8);
    // Even pages past the size table are spooled but never counted.
    g_page = kMaxManualDuplexPages + 2;
    EXPECT_EQ(SendDataToFile("x", 1, 1), 1);
    EXPECT_EQ(Text(even.bytes()), "p4-ap4-bx");
    EXPECT_EQ(gCacheSize[1], 8);
    for (std::size_t i = 2; i < gCacheSize.size(); ++i) EXPECT_EQ(gCacheSize[i], 0);
}

// A send is taken only when every destination took all of it; the first
// printer-stream error stays, so nothing after a hole reaches the printer.
TEST(Routing, AnyFailedDestinationFailsTheSendAndThePrinterStreamStaysFailed) {
    SpoolFile odd;
    DeviceCapture device(1);  // the device write fails
    gManualDuplexOddFile = odd.fd;
    g_page = 1;
    EXPECT_EQ(SendDataToFile("x", 1, 1), 0);
    EXPECT_EQ(Text(odd.bytes()), "x");
    EXPECT_NE(gPrinterStreamError, 0);
    EXPECT_EQ(SendDataToFile("y", 1, 0), 0);
    EXPECT_TRUE(device.bytes().empty());

    // A failing spool is given up; the printer's copy stays whole.
    DeviceCapture fine;
    SpoolFile even;
    gManualDuplexOddFile = -1;  // a spool write that fails (bad descriptor)
    gManualDuplexEvenFile = even.fd;
    g_page = 1;
    EXPECT_EQ(SendDataToFile("z", 1, 1), 1);
    EXPECT_EQ(Text(fine.bytes()), "z");
    EXPECT_EQ(gPrinterStreamError, 0);
    EXPECT_NE(gSpoolError, 0);
    gSendDataToDevice = 0;
    g_page = 2;
    EXPECT_EQ(SendDataToFile("w", 1, 1), 0);  // nothing spooled after it
    EXPECT_TRUE(even.bytes().empty());
}

TEST(Routing, ZeroSeparatorFailurePutsItsTextFirst) {
    DeviceCapture device(1);
    SetLastError("earlier\n");
    EXPECT_EQ(Insert00(), 0);
    EXPECT_STREQ(prntLastError, "Insert00() :: Send 00 00 to file Fail0 ==  \nearlier\n");
    EXPECT_TRUE(device.bytes().empty());
}

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
    ResetRouting();
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
    ResetRouting();
}

}  // namespace

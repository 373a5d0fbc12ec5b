// Output routing: destinations, flags, results and the even-page size table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "common/last_error.h"
#include "common/output.h"
#include "support/device_capture.h"
#include "support/filter_runner.h"

namespace {

// A spool file in a scratch directory, read back whole.
struct Spool {
    explicit Spool(const TempDir& dir, const char* name)
        : path(dir.File(name)), fd(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600)) {}
    ~Spool() { close(fd); }
    std::string Contents() const {
        std::string s(4096, '\0');
        const ssize_t n = pread(fd, s.data(), s.size(), 0);
        s.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return s;
    }
    std::string path;
    int fd;
};

TEST(Routing, DeviceOnlyWhenNoSpoolIsOpen) {
    DeviceCapture device;
    EXPECT_EQ(SendDataToFile("abc", 3, 0), 1);
    EXPECT_EQ(SendDataToFile("de", 2, 1), 1);
    EXPECT_EQ(std::string(device.bytes().begin(), device.bytes().end()), "abcde");
    EXPECT_EQ(g_ismiddlepage, 1);
}

TEST(Routing, NothingWrittenIsNotTaken) {
    DeviceCapture device;
    gSendDataToDevice = 0;
    EXPECT_EQ(SendDataToFile("abc", 3, 0), 0);
    gSendDataToDevice = 1;
    EXPECT_EQ(SendDataToFile("abc", 0, 0), 0);  // zero bytes count as a failure
    EXPECT_TRUE(device.bytes().empty());
}

TEST(Routing, NullDataReplacesTheLastError) {
    DeviceCapture device;
    SetLastError("earlier\n");
    EXPECT_EQ(SendDataToFile(nullptr, 3, 1), 0);
    EXPECT_STREQ(prntLastError, "SendDataToFile() :: NULL == pData");
}

TEST(Routing, CachedDataAlsoGoesToTheOpenSpoolsByPageParity) {
    TempDir dir;
    Spool collate(dir, "collate"), odd(dir, "odd"), even(dir, "even");
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

    EXPECT_EQ(std::string(device.bytes().begin(), device.bytes().end()), "p3devp4-ap4-b");
    EXPECT_EQ(collate.Contents(), "p3p4-ap4-b");
    EXPECT_EQ(odd.Contents(), "p3");
    EXPECT_EQ(even.Contents(), "p4-ap4-b");
    EXPECT_EQ(gCacheSize[0], 0);
    EXPECT_EQ(gCacheSize[1], 8);
}

TEST(Routing, TheResultIsThatOfTheLastDestination) {
    TempDir dir;
    Spool odd(dir, "odd");
    DeviceCapture device(1);  // the device write fails
    gManualDuplexOddFile = odd.fd;
    g_page = 1;
    EXPECT_EQ(SendDataToFile("x", 1, 1), 1);
    EXPECT_EQ(odd.Contents(), "x");
}

TEST(Routing, EvenPagesPastTheTableAreNeverCounted) {
    TempDir dir;
    Spool even(dir, "even");
    DeviceCapture device;
    gManualDuplexEvenFile = even.fd;
    g_page = kMaxManualDuplexPages + 2;
    EXPECT_EQ(SendDataToFile("x", 1, 1), 1);
    for (int32_t size : gCacheSize) EXPECT_EQ(size, 0);
}

TEST(Routing, ZeroSeparatorFailurePutsItsTextFirst) {
    DeviceCapture device(1);
    SetLastError("earlier\n");
    EXPECT_EQ(Insert00(), 0);
    EXPECT_STREQ(prntLastError, "Insert00() :: Send 00 00 to file Fail0 ==  \nearlier\n");
    EXPECT_EQ(Insert00(), 1);
    EXPECT_EQ(device.bytes(), Bytes({0, 0}));
}

}  // namespace

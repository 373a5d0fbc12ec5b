// Page image transfer: the commands around the image data and what a failed
// send or allocation leaves. (The data and its framing on every platform are
// decoded from the end-to-end pages by norvexdecode with JBIG-KIT.)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <gtest/gtest.h>
#include <vector>

#include "common/last_error.h"
#include "common/platform.h"
#include "prnt/image.h"
#include "prnt/page.h"
#include "support/device_capture.h"
#include "support/stream_builder.h"

namespace {

GDI_SEND_PAGE_PARAM PageParam(ByteVec& dots, int width, int height) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = static_cast<uint16_t>(width);
    page.whlImgH = static_cast<uint16_t>(height);
    page.sendImgBuf = dots.data();
    return page;
}

// The raster image command of an A4 page and PLATFORM_M's JBIG parameters.
TEST(ImageTransfer, CommandByteImages) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = page.rasImgW = 4960;
    page.whlImgH = 7016;
    page.rasImgH = 768;
    page.cmpImgBytes = 123456;
    GDI_RASTER_IMAGE cmd;
    EXPECT_EQ(GetRasterImageCmd(&page, &cmd), 1);
    EXPECT_EQ(RecordBytes(cmd), Bytes({0x0B, 0x12, 0x0C, 0x00, 0x20, 0x60, 0x13, 0x68, 0x1B, 0x60, 0x13, 0x00, 0x03,
                                       0x40, 0xE2, 0x01, 0x00, 0x28}));
    ByteVec white(4960 / 8 * 7016, 0);
    page = PageParam(white, 4960, 7016);
    DeviceCapture device;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_M), 1) << prntLastError;
    ASSERT_FALSE(device.writes().empty());
    EXPECT_EQ(device.writes()[0], Bytes({0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x5A, 0x5A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x13, 0x60,
                                         0x00, 0x00, 0x1B, 0x68, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x5C}));
}

// Packages of 64 KiB and one of the rest; an exactly full package has no empty follower.
TEST(ImageTransferM, PackagesSplitAt64KiB) {
    for (auto [len, payloads] : {std::make_pair(65536, std::vector<int>{65536}),
                                 std::make_pair(70000, std::vector<int>{65536, 4464}),
                                 std::make_pair(100, std::vector<int>{100})}) {
        ByteVec data(len);
        for (int i = 0; i < len; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 256);
        DeviceCapture device;
        ASSERT_EQ(SendJbigPackages(data.data(), len), 1);
        const auto& writes = device.writes();
        ASSERT_EQ(writes.size(), 2 * payloads.size() + 1);
        for (std::size_t i = 0, offset = 0; i < payloads.size(); offset += payloads[i++]) {
            EXPECT_EQ(writes[2 * i], LongHeader(16 + payloads[i], 5));
            EXPECT_TRUE(writes[2 * i + 1] == ByteVec(data.begin() + offset, data.begin() + offset + payloads[i]))
                << len << " package " << i;
        }
        EXPECT_EQ(writes.back(), LongHeader(16, 6));
    }
}

// A failed send stops the page: nothing more is sent.
TEST(ImageTransferFailure, FailedSendStopsThePage) {
    ByteVec dots(32 * 300);
    for (std::size_t i = 0; i < dots.size(); ++i) dots[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    for (auto [platform, failAt] : {std::make_pair(PLATFORM_Z, 1), std::make_pair(PLATFORM_C, 2),
                                    std::make_pair(PLATFORM_M, 4)}) {
        GDI_SEND_PAGE_PARAM page = PageParam(dots, 256, 300);
        DeviceCapture device(failAt);
        EXPECT_EQ(Prnt_SendPage(&page, platform), 0) << platform;
        EXPECT_EQ(device.writes().size(), static_cast<std::size_t>(failAt - 1)) << platform;
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// Runs in a death-test child: caps the address space `headroom` bytes above what
// the process already has, then sends a page of 65528 x 65535 dots (512 MiB raw)
// whose buffers cannot all be had. Every allocation fails before the (tiny)
// source image is read, so reading past it would crash the child.
void SendHugePageWithHeadroom(int platform, std::size_t headroom) {
    ByteVec dots(16, 0);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, 65528, 65535);
    DeviceCapture device;
    unsigned long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm || std::fscanf(statm, "%lu", &pages) != 1) _exit(2);
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit cap{limit, limit};
    if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(2);
    const int result = Prnt_SendPage(&page, platform);
    std::fputs(prntLastError, stderr);
    _exit(result == 0 && device.writes().empty() ? 0 : 1);
}
#endif

TEST(ImageTransferFailure, AllocationFailuresEndThePage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator cannot run under an address-space limit";
#else
    // A fresh process: its heap holds no freed blocks the buffers could reuse.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The output buffer (raw / 8: 64 MiB) is the first allocation; the encoder
    // appends to it and reads the bands in place.
    for (int platform : {PLATFORM_C, PLATFORM_Z})
        EXPECT_EXIT(SendHugePageWithHeadroom(platform, 32 << 20), testing::ExitedWithCode(0), "");
#endif
}

}  // namespace

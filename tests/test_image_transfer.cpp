// Page image transfer: what Prnt_SendPage puts on the wire, decoded back with
// JBIG-KIT's own decoder, and the framing of each platform.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

extern "C" {
#include <jbig.h>
}

#include "common/byte_order.h"
#include "common/last_error.h"
#include "common/platform.h"
#include "prnt/image.h"
#include "prnt/page.h"
#include "support/device_capture.h"
#include "support/stream_builder.h"

namespace {

// A packed dot image with what JBIG meets on a page: white rows, solid bars and noise.
ByteVec DotImage(int width, int height, uint32_t seed) {
    ByteVec image = RandomBitmap(width, height, seed, 30);
    const std::size_t row = width / 8;
    for (int y = 0; y < height; ++y)
        if (y % 64 < 6 || y % 64 > 40) std::fill_n(image.begin() + y * row, row, y % 64 < 6 ? 0xFF : 0x00);
    return image;
}

GDI_SEND_PAGE_PARAM PageParam(ByteVec& dots, int width, int height) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = static_cast<uint16_t>(width);
    page.whlImgH = static_cast<uint16_t>(height);
    page.sendImgBuf = dots.data();
    return page;
}

// One bi-level image entity through JBIG-KIT's decoder, which must take all of
// it and find an image of the given size.
ByteVec JbigDecode(const ByteVec& stream, unsigned long width, unsigned long height) {
    ByteVec dots;
    jbg_dec_state state;
    jbg_dec_init(&state);
    std::size_t consumed = 0;
    const int result = jbg_dec_in(&state, const_cast<uint8_t*>(stream.data()), stream.size(), &consumed);
    EXPECT_EQ(result, JBG_EOK);
    EXPECT_EQ(consumed, stream.size());
    if (result == JBG_EOK && jbg_dec_getwidth(&state) == width && jbg_dec_getheight(&state) == height) {
        const uint8_t* plane = jbg_dec_getimage(&state, 0);
        dots.assign(plane, plane + jbg_dec_getsize(&state));
    }
    jbg_dec_free(&state);
    return dots;
}

ByteVec Slice(const ByteVec& bytes, std::size_t from, std::size_t len) {
    return ByteVec(bytes.begin() + from, bytes.begin() + from + len);
}

TEST(ImageTransferZ, BandsOf256RowsDecodeToThePage) {
    for (auto [width, height, bands] : {std::make_tuple(1024, 600, std::vector<uint32_t>{256, 256, 88}),
                                        std::make_tuple(512, 512, std::vector<uint32_t>{256, 256}),
                                        std::make_tuple(64, 1, std::vector<uint32_t>{1})}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        ByteVec dots = DotImage(width, height, 7);
        GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
        DeviceCapture device;
        gImageCoverage = 4100000;
        ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_Z), 1) << prntLastError;
        EXPECT_EQ(page.cmpImgBytes, 0);
        // Coverage, separator, raster image command, then the whole band stream in one write.
        const auto& writes = device.writes();
        ASSERT_EQ(writes.size(), 4u);
        EXPECT_EQ(Cat({writes[0], writes[1], writes[2]}),
                  Cat({kCoverageZ4100, kZeros, RasterImageCmd(width, height, 0, 0, 0)}));
        const ByteVec& stream = writes[3];
        ByteVec rebuilt;
        std::size_t pos = 0;
        for (std::size_t i = 0; i < bands.size(); ++i) {
            ASSERT_LE(pos + 48 + 20, stream.size());
            const uint32_t size = GetLE32(&stream[pos + 23]), rows = bands[i];
            ASSERT_LE(pos + 48 + size, stream.size());
            EXPECT_EQ(Slice(stream, pos, 48), BandCmdZ(width, rows, size, i * 256)) << "band " << i;
            EXPECT_EQ(GetBE32(&stream[pos + 48 + 12]), rows);  // L0 of the T.82 header: one stripe
            Append(rebuilt, JbigDecode(Slice(stream, pos + 48, size), width, rows));
            pos += 48 + size;
        }
        EXPECT_EQ(pos, stream.size()) << "bytes after the last band";
        EXPECT_TRUE(rebuilt == dots) << "decoded bands differ from the dot image";
    }
}

// The image checksum is the byte sum of the data and of UEL_CMD_C (0x9E); a
// white page compresses to a short stream.
TEST(ImageTransferC, RasterImageCommandCarriesTheExactLengthAndTheDataFollows) {
    for (auto [width, height, blank] : {std::make_tuple(1024, 900, false), std::make_tuple(4736, 6780, true)}) {
        ByteVec dots = blank ? ByteVec(width / 8 * height, 0) : DotImage(width, height, 11);
        GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
        page.rasImgW = static_cast<uint16_t>(width);
        page.rasImgH = 768;
        DeviceCapture device;
        ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_C), 1) << prntLastError;
        ASSERT_EQ(device.writes().size(), 2u);
        const ByteVec& data = device.writes()[1];
        EXPECT_EQ(device.writes()[0], RasterImageCmd(width, height, width, 768, data.size()));
        EXPECT_EQ(page.cmpImgBytes, static_cast<int32_t>(data.size()));
        uint32_t sum = 0x9E;
        for (uint8_t b : data) sum += b;
        EXPECT_EQ(gImageChecksum, sum % 256);
        EXPECT_TRUE(!blank || data.size() < 1000u) << data.size();
        // One stripe of 768 rows (L0), MX 8, sequential order, TPBON only.
        ASSERT_GE(data.size(), 20u);
        EXPECT_EQ(GetBE32(&data[12]), 768u);
        EXPECT_EQ(Slice(data, 16, 4), Bytes({0x08, 0x00, 0x00, 0x08}));
        EXPECT_TRUE(JbigDecode(data, width, height) == dots) << "decoded image differs";
    }
}

// Noise does not compress: the stream outgrows the first guess at its size
// and needs two packages behind the JBIG parameters.
TEST(ImageTransfer, CommandByteImagesAndANoisyPlatformMPage) {
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
    {
        DeviceCapture device;
        ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_M), 1) << prntLastError;
        ASSERT_FALSE(device.writes().empty());
        EXPECT_EQ(device.writes()[0], Bytes({0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,
                                             0x00, 0x00, 0x5A, 0x5A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x13, 0x60,
                                             0x00, 0x00, 0x1B, 0x68, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x5C}));
    }
    ByteVec dots = RandomBitmap(1024, 900, 3, 50);
    page = PageParam(dots, 1024, 900);
    DeviceCapture device;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_M), 1) << prntLastError;
    const auto& w = device.writes();  // JBIG parameters, two packages of header and data, end
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(w[1], LongHeader(16 + 65536, 5));
    EXPECT_EQ(w[3], LongHeader(16 + w[4].size(), 5));
    EXPECT_EQ(w[5], LongHeader(16, 6));
    EXPECT_EQ(page.cmpImgBytes, static_cast<int32_t>(w[2].size() + w[4].size()));
    EXPECT_TRUE(JbigDecode(Cat({w[2], w[4]}), 1024, 900) == dots) << "decoded image differs";
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
            EXPECT_TRUE(writes[2 * i + 1] == Slice(data, offset, payloads[i])) << len << " package " << i;
        }
        EXPECT_EQ(writes.back(), LongHeader(16, 6));
    }
}

// A failed send stops the page: nothing more is sent.
TEST(ImageTransferFailure, FailedSendStopsThePage) {
    ByteVec dots = DotImage(256, 300, 5);
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

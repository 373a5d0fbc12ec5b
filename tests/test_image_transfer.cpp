// Page image transfer: what Prnt_SendPage puts on the wire, decoded back with
// JBIG-KIT's own decoder, and the framing of each platform.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
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

namespace {

// The nine bytes of UEL_CMD_C, which the PLATFORM_C image checksum includes.
const std::vector<uint8_t> kUelCmdC = Bytes({0x1B, 0xFF, 0x2D, 0x31, 0x32, 0x33, 0x34, 0x35, 0x58});

// A packed dot image with what JBIG meets on a page: a white margin, solid bars,
// a dithered gradient and a patch of noise.
std::vector<uint8_t> DotImage(int width, int height, uint32_t seed, bool allNoise = false) {
    static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    std::vector<uint8_t> image(static_cast<std::size_t>(width / 8) * height, 0);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const bool noise = (state >> 24) & 1;
            bool black;
            if (allNoise) black = noise;
            else if (x < 16 || y < 3) black = false;
            else if (y % 64 < 6) black = true;
            else if (x > width * 3 / 4) black = noise;
            else black = kBayer[y % 4][x % 4] * width < 16 * x;
            if (black) image[static_cast<std::size_t>(y) * (width / 8) + x / 8] |= 0x80 >> (x % 8);
        }
    }
    return image;
}

GDI_SEND_PAGE_PARAM PageParam(std::vector<uint8_t>& dots, int width, int height) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = static_cast<uint16_t>(width);
    page.whlImgH = static_cast<uint16_t>(height);
    page.sendImgBuf = dots.data();
    return page;
}

// One bi-level image entity through JBIG-KIT's decoder, which must take all of
// it and find an image of the given size.
std::vector<uint8_t> JbigDecode(const std::vector<uint8_t>& stream, unsigned long width,
                                unsigned long height) {
    std::vector<uint8_t> dots;
    jbg_dec_state state;
    jbg_dec_init(&state);
    std::size_t consumed = 0;
    const int result = jbg_dec_in(&state, const_cast<uint8_t*>(stream.data()), stream.size(), &consumed);
    EXPECT_EQ(result, JBG_EOK);
    EXPECT_EQ(consumed, stream.size());
    if (result == JBG_EOK) {
        EXPECT_EQ(jbg_dec_getwidth(&state), width);
        EXPECT_EQ(jbg_dec_getheight(&state), height);
        const uint8_t* plane = jbg_dec_getimage(&state, 0);
        dots.assign(plane, plane + jbg_dec_getsize(&state));
    }
    jbg_dec_free(&state);
    return dots;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, std::size_t from, std::size_t len) {
    return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + len);
}

int ByteSum(const std::vector<uint8_t>& bytes) {
    int sum = 0;
    for (uint8_t b : bytes) sum += b;
    return sum;
}

// Sends a PLATFORM_Z page and checks every band against the decoded image.
void CheckZBands(int width, int height, const std::vector<uint32_t>& expectedHeights) {
    auto dots = DotImage(width, height, 7);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
    DeviceCapture device;
    gImageCoverage = 4100000;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_Z), 1) << prntLastError;
    EXPECT_EQ(page.cmpImgBytes, 0);

    // Coverage, separator, raster image command, then the whole band stream in one write.
    const auto& writes = device.writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0], Bytes({0x0B, 0x07, 0x19, 0x04, 0x00, 0x01, 0xD0}));
    EXPECT_EQ(writes[1], Bytes({0x00, 0x00}));
    const auto& raster = writes[2];
    ASSERT_EQ(raster.size(), 18u);
    EXPECT_EQ(Slice(raster, 0, 5), Bytes({0x0B, 0x12, 0x0C, 0x00, 0x20}));
    EXPECT_EQ(GetLE16(&raster[5]), static_cast<uint32_t>(width));
    EXPECT_EQ(GetLE16(&raster[7]), static_cast<uint32_t>(height));
    EXPECT_EQ(GetLE32(&raster[13]), 0u);
    EXPECT_EQ(ByteSum(raster) % 256, 0);

    const auto& stream = writes[3];
    std::vector<uint8_t> rebuilt;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < expectedHeights.size(); ++i) {
        SCOPED_TRACE("band " + std::to_string(i));
        ASSERT_LE(pos + 48, stream.size());
        const auto cmd = Slice(stream, pos, 48);
        const uint32_t size = GetLE32(&cmd[23]);
        ASSERT_LE(pos + 48 + size, stream.size());
        const auto data = Slice(stream, pos + 48, size);
        pos += 48 + size;
        const uint32_t rows = expectedHeights[i];
        EXPECT_EQ(Slice(cmd, 0, 7), Bytes({0x0B, 0x30, 0x1A, 0x00, 0x00, 0x01, 0x00}));
        EXPECT_EQ(GetLE32(&cmd[7]), static_cast<uint32_t>(width));  // XD
        EXPECT_EQ(GetLE32(&cmd[11]), rows);                           // L0
        EXPECT_EQ(GetLE32(&cmd[15]), rows);                           // YD
        EXPECT_EQ(Slice(cmd, 19, 4), Bytes({0x00, 0x00, 0x03, 0x58}));
        EXPECT_EQ(GetLE32(&cmd[27]), size);     // padded = size
        EXPECT_EQ(GetLE32(&cmd[31]), 0u);       // posHorz
        EXPECT_EQ(GetLE32(&cmd[35]), i * 256);  // posVert
        EXPECT_EQ(GetLE32(&cmd[39]), 3u);       // plane
        EXPECT_EQ(GetLE32(&cmd[43]), 0u);       // bitSlicePane
        EXPECT_EQ(ByteSum(cmd) % 256, 0);
        // The T.82 header opening the data says the same, big-endian.
        ASSERT_GE(data.size(), 20u);
        EXPECT_EQ(GetBE32(&data[4]), static_cast<uint32_t>(width));
        EXPECT_EQ(GetBE32(&data[8]), rows);
        EXPECT_EQ(GetBE32(&data[12]), rows);
        const auto band = JbigDecode(data, width, rows);
        rebuilt.insert(rebuilt.end(), band.begin(), band.end());
    }
    EXPECT_EQ(pos, stream.size()) << "bytes after the last band";
    EXPECT_TRUE(rebuilt == dots) << "decoded bands differ from the dot image";
}

TEST(ImageTransferZ, SixHundredRowsGoInBandsOf256_256_88) { CheckZBands(1024, 600, {256, 256, 88}); }

TEST(ImageTransferZ, FiveHundredTwelveRowsAreExactlyTwoBands) { CheckZBands(512, 512, {256, 256}); }

TEST(ImageTransferZ, OneRowIsOneBandOfOneRow) { CheckZBands(64, 1, {1}); }

TEST(ImageTransferC, RasterImageCommandCarriesTheExactLengthAndTheDataFollows) {
    const int width = 1024, height = 900;
    auto dots = DotImage(width, height, 11);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
    page.rasImgW = width;
    page.rasImgH = 768;
    DeviceCapture device;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_C), 1) << prntLastError;

    const auto& bytes = device.bytes();
    ASSERT_EQ(device.writes().size(), 2u);
    ASSERT_GT(bytes.size(), 18u);
    const auto cmd = Slice(bytes, 0, 18);
    const auto data = Slice(bytes, 18, bytes.size() - 18);
    EXPECT_EQ(Slice(cmd, 0, 5), Bytes({0x0B, 0x12, 0x0C, 0x00, 0x20}));
    EXPECT_EQ(GetLE16(&cmd[5]), 1024u);
    EXPECT_EQ(GetLE16(&cmd[7]), 900u);
    EXPECT_EQ(GetLE16(&cmd[9]), 1024u);
    EXPECT_EQ(GetLE16(&cmd[11]), 768u);
    EXPECT_EQ(GetLE32(&cmd[13]), data.size());
    EXPECT_EQ(ByteSum(cmd) % 256, 0);
    EXPECT_EQ(page.cmpImgBytes, static_cast<int32_t>(data.size()));
    EXPECT_EQ(gImageChecksum, static_cast<uint32_t>((ByteSum(data) + ByteSum(kUelCmdC)) % 256));

    // One stripe of 768 rows (L0), MX 8, sequential order, TPBON only.
    ASSERT_GE(data.size(), 20u);
    EXPECT_EQ(GetBE32(&data[12]), 768u);
    EXPECT_EQ(Slice(data, 16, 4), Bytes({0x08, 0x00, 0x00, 0x08}));
    EXPECT_TRUE(JbigDecode(data, width, height) == dots) << "decoded image differs";
}

TEST(ImageTransferC, BlankPageIsAShortStreamWithItsChecksum) {
    const int width = 4736, height = 6780;
    std::vector<uint8_t> dots(width / 8 * height, 0);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
    page.rasImgW = width;
    page.rasImgH = 768;
    DeviceCapture device;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_C), 1) << prntLastError;
    const auto data = Slice(device.bytes(), 18, device.bytes().size() - 18);
    EXPECT_LT(data.size(), 1000u);
    EXPECT_EQ(gImageChecksum, static_cast<uint32_t>((ByteSum(data) + 0x9E) % 256));
    EXPECT_TRUE(JbigDecode(data, width, height) == dots);
}

TEST(ImageTransferC, RasterImageCommandByteImage) {
    GDI_SEND_PAGE_PARAM page{};
    page.compression = 0x20;
    page.whlImgW = 4960;
    page.whlImgH = 7016;
    page.rasImgW = 4960;
    page.rasImgH = 768;
    page.cmpImgBytes = 123456;
    GDI_RASTER_IMAGE cmd;
    EXPECT_EQ(GetRasterImageCmd(&page, &cmd), 1);
    const auto* p = reinterpret_cast<const uint8_t*>(&cmd);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 18),
              Bytes({0x0B, 0x12, 0x0C, 0x00, 0x20, 0x60, 0x13, 0x68, 0x1B, 0x60, 0x13, 0x00, 0x03,
                     0x40, 0xE2, 0x01, 0x00, 0x28}));
}

// PLATFORM_M stream: JBIG parameters, packages, end. Returns the joined payload.
std::vector<uint8_t> ParseM(const std::vector<uint8_t>& bytes, std::vector<uint32_t>* packageLens) {
    std::vector<uint8_t> payload;
    std::size_t pos = 36;
    while (pos + 16 <= bytes.size()) {
        const uint32_t cmdLen = GetBE32(&bytes[pos]);
        const uint32_t cmdType = GetBE32(&bytes[pos + 4]);
        EXPECT_EQ(Slice(bytes, pos + 8, 8), Bytes({0, 0, 0, 0, 0, 0, 0x5A, 0x5A}));
        if (cmdType == 6) {
            EXPECT_EQ(cmdLen, 16u);
            EXPECT_EQ(pos + 16, bytes.size()) << "JBIG_END_CMD is not last";
            return payload;
        }
        EXPECT_EQ(cmdType, 5u);
        if (cmdType != 5 || cmdLen < 16 || bytes.size() - pos < cmdLen) break;
        packageLens->push_back(cmdLen);
        payload.insert(payload.end(), bytes.begin() + pos + 16, bytes.begin() + pos + cmdLen);
        pos += cmdLen;
    }
    ADD_FAILURE() << "no JBIG_END_CMD";
    return payload;
}

TEST(ImageTransferM, JbigParamCommandByteImage) {
    const int width = 4960, height = 7016;
    std::vector<uint8_t> dots(width / 8 * height, 0);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
    DeviceCapture device;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_M), 1) << prntLastError;
    ASSERT_FALSE(device.writes().empty());
    EXPECT_EQ(device.writes()[0],
              Bytes({0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,
                     0x00, 0x00, 0x5A, 0x5A, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x13, 0x60,
                     0x00, 0x00, 0x1B, 0x68, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x03, 0x5C}));
}

// Noise does not compress: the stream outgrows the first guess at its size and
// needs two packages.
TEST(ImageTransferM, NoisyPageArrivesWholeInPackages) {
    const int width = 1024, height = 900;
    auto dots = DotImage(width, height, 3, true);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, width, height);
    DeviceCapture device;
    ASSERT_EQ(Prnt_SendPage(&page, PLATFORM_M), 1) << prntLastError;

    std::vector<uint32_t> packageLens;
    const auto data = ParseM(device.bytes(), &packageLens);
    EXPECT_EQ(page.cmpImgBytes, static_cast<int32_t>(data.size()));
    ASSERT_GT(data.size(), 65536u);
    ASSERT_EQ(packageLens.size(), 2u);
    EXPECT_EQ(packageLens[0], 65552u);
    EXPECT_EQ(packageLens[1], data.size() - 65536 + 16);
    EXPECT_TRUE(JbigDecode(data, width, height) == dots) << "decoded image differs";
}

std::vector<uint8_t> DataHeader(uint32_t cmdLen, uint32_t cmdType) {
    std::vector<uint8_t> header(16, 0);
    PutBE32(&header[0], cmdLen);
    PutBE32(&header[4], cmdType);
    header[14] = header[15] = 0x5A;
    return header;
}

void CheckPackages(int len, const std::vector<int>& payloads) {
    std::vector<uint8_t> data(len);
    for (int i = 0; i < len; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 256);
    DeviceCapture device;
    ASSERT_EQ(SendJbigPackages(data.data(), len), 1);
    const auto& writes = device.writes();
    ASSERT_EQ(writes.size(), 2 * payloads.size() + 1);
    int offset = 0;
    for (std::size_t i = 0; i < payloads.size(); ++i) {
        EXPECT_EQ(writes[2 * i], DataHeader(16 + payloads[i], 5));
        EXPECT_TRUE(writes[2 * i + 1] == Slice(data, offset, payloads[i])) << "package " << i;
        offset += payloads[i];
    }
    EXPECT_EQ(writes.back(), DataHeader(16, 6));
}

TEST(JbigPackages, ExactlyOneFullPackage) { CheckPackages(65536, {65536}); }
TEST(JbigPackages, FullPackageAndRemainder) { CheckPackages(70000, {65536, 4464}); }
TEST(JbigPackages, ShortStreamIsOnePackage) { CheckPackages(1000, {1000}); }

struct FailCase {
    int platform;
    int failAt;
    const char* message;
};

TEST(ImageTransferFailure, FailingSendStopsThePageWithItsMessageFirst) {
    const FailCase cases[] = {
        {PLATFORM_Z, 1, "Prnt_SendPage() :: send cmdCoverage Fail .  \n"},
        {PLATFORM_Z, 3, "Prnt_SendPage() :: send cmdRasterImage Fail .  \n"},
        {PLATFORM_Z, 4, "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"},
        {PLATFORM_C, 1, "Prnt_SendPage() :: send cmdRasterImage Fail .  \n"},
        {PLATFORM_C, 2, "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"},
        {PLATFORM_M, 1, "Prnt_SendPage() :: send JBIG_PARAM_CMD Fail 0 ==  \n"},
        {PLATFORM_M, 2, "Prnt_SendPage() :: send JBIG_DATA_CMD Fail 0 ==  \n"},
        {PLATFORM_M, 3, "Prnt_SendPage() :: Send compressed data and cmd fail.  \n"},
        {PLATFORM_M, 4, "Prnt_SendPage() :: send JBIG_END_CMD Fail 0 ==  \n"},
    };
    auto dots = DotImage(256, 300, 5);
    for (const FailCase& c : cases) {
        SCOPED_TRACE("platform " + std::to_string(c.platform) + ", write " + std::to_string(c.failAt));
        GDI_SEND_PAGE_PARAM page = PageParam(dots, 256, 300);
        DeviceCapture device(c.failAt);
        SetLastError("earlier failure\n");
        EXPECT_EQ(Prnt_SendPage(&page, c.platform), 0);
        EXPECT_EQ(std::string(prntLastError), std::string(c.message) + "earlier failure\n");
        EXPECT_EQ(device.writes().size(), static_cast<std::size_t>(c.failAt - 1));
    }
}

TEST(ImageTransferFailure, FailedSeparatorDoesNotStopThePage) {
    auto dots = DotImage(256, 300, 5);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, 256, 300);
    DeviceCapture device(2);
    EXPECT_EQ(Prnt_SendPage(&page, PLATFORM_Z), 1);
    EXPECT_EQ(device.writes().size(), 3u);
    EXPECT_STREQ(prntLastError, "Insert00() :: Send 00 00 to file Fail0 ==  \n");
}

TEST(ImageTransferRefusal, UnknownPlatformOrUnencodableImageSendsNothing) {
    auto dots = DotImage(256, 300, 5);
    const struct {
        int platform, width, height;
        const char* message;
    } cases[] = {
        {0, 256, 300, ""},
        {4, 256, 300, ""},
        {PLATFORM_C, 4737, 100, "Prnt_SendPage() :: whlImgW 4737 is not a multiple of 8 .  \n"},
        {PLATFORM_Z, 128, 0, "Prnt_SendPage() :: empty image 128 x 0 .  \n"},
    };
    for (const auto& c : cases) {
        GDI_SEND_PAGE_PARAM page = PageParam(dots, c.width, c.height);
        DeviceCapture device;
        EXPECT_EQ(Prnt_SendPage(&page, c.platform), 0);
        EXPECT_TRUE(device.writes().empty());
        EXPECT_STREQ(prntLastError, c.message);
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// Runs in a death-test child: caps the address space `headroom` bytes above what
// the process already has, then sends a page of 65528 x 65535 dots (512 MiB raw)
// whose buffers cannot all be had. Every allocation fails before the (tiny)
// source image is read, so reading past it would crash the child.
void SendHugePageWithHeadroom(int platform, std::size_t headroom) {
    std::vector<uint8_t> dots(16, 0);
    GDI_SEND_PAGE_PARAM page = PageParam(dots, 65528, 65535);
    DeviceCapture device;
    unsigned long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
    const rlimit cap{limit, limit};
    if (pages == 0 || setrlimit(RLIMIT_AS, &cap) != 0) _exit(2);
    const int result = Prnt_SendPage(&page, platform);
    std::fputs(prntLastError, stderr);
    _exit(result == 0 && device.writes().empty() ? 0 : 1);
}
#endif

TEST(ImageTransferFailure, AllocationFailuresEndThePageWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's allocator cannot run under an address-space limit";
#else
    // A fresh process: its heap holds no freed blocks the buffers could reuse.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    constexpr std::size_t kMiB = 1024 * 1024;
    // Allocated in this order: output buffer (raw / 8: 64 MiB); on PLATFORM_Z the
    // band buffer (256 rows: 2 MiB); collection buffer (one band / 8: 64 MiB on
    // PLATFORM_C).
    EXPECT_EXIT(SendHugePageWithHeadroom(PLATFORM_C, 32 * kMiB), testing::ExitedWithCode(0),
                "^Prnt_SendPage\\(\\) :: malloc Fail \\.  \n$");
    EXPECT_EXIT(SendHugePageWithHeadroom(PLATFORM_Z, 65 * kMiB), testing::ExitedWithCode(0),
                "^Prnt_SendPage\\(\\) :: JBIG compression Fail \\.  \n"
                "OutputJbigkitCompression\\(\\) :: malloc band buffer Fail \\.  \n$");
    EXPECT_EXIT(SendHugePageWithHeadroom(PLATFORM_C, 96 * kMiB), testing::ExitedWithCode(0),
                "^Prnt_SendPage\\(\\) :: JBIG compression Fail \\.  \n"
                "OutputJbigkitCompression\\(\\) :: malloc gpCompImgData Fail \\.  \n$");
#endif
}

}  // namespace

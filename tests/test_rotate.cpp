// Quarter and half turns of the one-byte-per-pixel page image.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/last_error.h"
#include "common/rotate.h"

namespace {

std::vector<unsigned char> RandomImage(uint32_t width, uint32_t height, std::mt19937& rng) {
    std::vector<unsigned char> image(static_cast<std::size_t>(width) * height);
    for (auto& b : image) b = static_cast<unsigned char>(rng());
    return image;
}

std::string Turned90(std::string image, uint32_t width, uint32_t height) {
    EXPECT_EQ(Rotate90(reinterpret_cast<unsigned char*>(&image[0]), width, height), 1);
    return image;
}

std::string Turned180(std::string image, uint32_t width, uint32_t height) {
    EXPECT_EQ(Rotate180(&image[0], width, height), 1);
    return image;
}

TEST(Rotate90, TurnsClockwise) {
    // Rows "abc" and "def" become the rows "da", "eb", "fc".
    EXPECT_EQ(Turned90("abcdef", 3, 2), "daebfc");
}

TEST(Rotate90, FollowsTheRuleAcrossTileAndBlockEdges) {
    std::mt19937 rng(90);
    const uint32_t sizes[][2] = {{130, 70}, {70, 130}, {64, 64}, {9, 1}, {1, 9}, {200, 137}};
    for (const auto& size : sizes) {
        const uint32_t W = size[0], H = size[1];
        SCOPED_TRACE(testing::Message() << W << "x" << H);
        std::vector<unsigned char> image = RandomImage(W, H, rng);
        std::vector<unsigned char> expected(image.size());
        for (uint32_t r = 0; r < H; ++r)
            for (uint32_t c = 0; c < W; ++c)
                expected[static_cast<std::size_t>(c) * H + (H - 1 - r)] = image[r * W + c];
        ASSERT_EQ(Rotate90(image.data(), W, H), 1);
        EXPECT_EQ(image, expected);
    }
}

TEST(Rotate180, TurnsEndToEnd) {
    EXPECT_EQ(Turned180("abcdef", 3, 2), "fedcba");
}

TEST(Rotate180, ReversesTheByteSequence) {
    std::mt19937 rng(180);
    for (uint32_t W : {130u, 7u, 1u}) {
        std::vector<unsigned char> image = RandomImage(W, 70, rng);
        const std::vector<unsigned char> expected(image.rbegin(), image.rend());
        ASSERT_EQ(Rotate180(reinterpret_cast<char*>(image.data()), W, 70), 1);
        EXPECT_EQ(image, expected) << W;
    }
}

TEST(Rotation, EmptyImageOrNullBufferIsLeftAlone) {
    std::string image = "abcdef";
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&image[0]);
    EXPECT_EQ(Rotate90(bytes, 0, 2), 0);
    EXPECT_EQ(Rotate90(bytes, 3, 0), 0);
    EXPECT_EQ(Rotate90(nullptr, 3, 2), 0);
    EXPECT_EQ(Rotate180(&image[0], 0, 2), 0);
    EXPECT_EQ(Rotate180(&image[0], 3, 0), 0);
    EXPECT_EQ(Rotate180(nullptr, 3, 2), 0);
    EXPECT_EQ(image, "abcdef");
}

TEST(Rotation, WorkBufferFailureLeavesTheImageAndSaysSo) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer aborts on an impossible allocation";
#endif
    // No machine has 2^64 bytes; the image itself is never touched.
    std::string image = "abcdef";
    std::strcpy(prntLastError, "older text");
    EXPECT_EQ(Rotate90(reinterpret_cast<unsigned char*>(&image[0]), 0xFFFFFFFFu, 0xFFFFFFFFu), 0);
    EXPECT_STREQ(prntLastError, "Rotate90() :: malloc memory Fail. \n");
    EXPECT_EQ(Rotate180(&image[0], 0xFFFFFFFFu, 0xFFFFFFFFu), 0);
    EXPECT_STREQ(prntLastError, "Rotate180() :: malloc memory Fail. \n");
    EXPECT_EQ(image, "abcdef");
}

}  // namespace

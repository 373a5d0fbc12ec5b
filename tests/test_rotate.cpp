// Quarter and half turns of the one-byte-per-pixel page image.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/last_error.h"
#include "common/rotate.h"

namespace {

// Sizes that cross the tiles and blocks the quarter turn works in.
TEST(Rotation, FollowsThePlainRuleAcrossTileAndBlockEdges) {
    std::mt19937 rng(90);
    for (auto [W, H] : {std::make_pair(130u, 70u), std::make_pair(70u, 130u), std::make_pair(64u, 64u),
                        std::make_pair(9u, 1u), std::make_pair(1u, 9u), std::make_pair(200u, 137u)}) {
        std::vector<unsigned char> image(std::size_t{W} * H);
        for (auto& b : image) b = static_cast<unsigned char>(rng());
        std::vector<unsigned char> quarter(image.size());
        for (uint32_t r = 0; r < H; ++r)
            for (uint32_t c = 0; c < W; ++c) quarter[std::size_t{c} * H + (H - 1 - r)] = image[r * W + c];
        const std::vector<unsigned char> half(image.rbegin(), image.rend());
        std::vector<unsigned char> turned = image;
        ASSERT_EQ(Rotate90(turned.data(), W, H), 1);
        EXPECT_EQ(turned, quarter) << W << "x" << H;
        turned = image;
        ASSERT_EQ(Rotate180(reinterpret_cast<char*>(turned.data()), W, H), 1);
        EXPECT_EQ(turned, half) << W << "x" << H;
    }
}

TEST(Rotation, EmptyImageNullBufferOrNoWorkBufferLeavesTheImage) {
    std::string image = "abcdef";
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&image[0]);
    EXPECT_EQ(Rotate90(bytes, 0, 2), 0);
    EXPECT_EQ(Rotate90(bytes, 3, 0), 0);
    EXPECT_EQ(Rotate90(nullptr, 3, 2), 0);
    EXPECT_EQ(Rotate180(&image[0], 0, 2), 0);
    EXPECT_EQ(Rotate180(&image[0], 3, 0), 0);
    EXPECT_EQ(Rotate180(nullptr, 3, 2), 0);
#if !defined(__SANITIZE_ADDRESS__)  // AddressSanitizer aborts on an impossible allocation
    // No machine has 2^64 bytes.
    std::strcpy(prntLastError, "older text");
    EXPECT_EQ(Rotate90(bytes, 0xFFFFFFFFu, 0xFFFFFFFFu), 0);
    EXPECT_STREQ(prntLastError, "Rotate90() :: malloc memory Fail. \n");
#endif
    EXPECT_EQ(image, "abcdef");
}

}  // namespace

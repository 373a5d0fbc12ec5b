// Quarter and half turns of the one-byte-per-pixel page image, on sizes the
// end-to-end pages (whole tiles) do not reach.
#include <gtest/gtest.h>

#include <random>
#include <vector>

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

}  // namespace

// zorvrandom stays in [0, 32766/32767 + 30518e-9] and its draws are even.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "engine/random.h"

namespace {

TEST(Random, BoundsReachBothEndsOfTheRange) {
    // The largest coarse part plus the largest fine part, added as zorvrandom adds them.
    const double largest = 30518 * 1e-9 + 32766 * 3.051850947599719e-05;
    EXPECT_LT(largest, 1.0);
    zorvsrand(12345);
    double lo = 1, hi = 0;
    for (int i = 0; i < 2'000'000; ++i) {
        const double u = zorvrandom();
        ASSERT_GE(u, 0.0);
        ASSERT_LE(u, largest);
        lo = std::min(lo, u);
        hi = std::max(hi, u);
    }
    EXPECT_LT(lo, 1e-5);
    EXPECT_GT(hi, 1 - 1e-5);
}

// 3 million walk steps and stickiness draws stay within six standard deviations.
TEST(Random, DrawsAreEven) {
    zorvsrand(777);
    const int n = 3'000'000;
    std::array<long, 3> steps{};
    std::array<long, 100> sticks{};
    for (int i = 0; i < n; ++i) {
        steps[static_cast<int>(zorvrandom() * 3.0)]++;
        sticks[static_cast<int>(zorvrandom() * 100.0)]++;
    }
    for (long c : steps) EXPECT_NEAR(static_cast<double>(c) / n, 1.0 / 3.0, 6 * std::sqrt(2.0 / 9 / n));
    for (long c : sticks) EXPECT_NEAR(static_cast<double>(c) / n, 0.01, 6 * std::sqrt(0.0099 / n));
}

}  // namespace

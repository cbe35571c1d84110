#include "canvas/defpalette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

using Rgb = std::array<int, 3>;

Rgb entry(int i)
{
    return {defaultpalette[i][0], defaultpalette[i][1], defaultpalette[i][2]};
}

TEST(DefaultPalette, ComponentsAreMultiplesOfFourUpTo252)
{
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE("entry " + std::to_string(i) + " channel " + std::to_string(c));
            EXPECT_EQ(defaultpalette[i][c] % 4, 0);
            EXPECT_LE(defaultpalette[i][c], 252);
        }
}

TEST(DefaultPalette, FixedEntries)
{
    const struct {
        int index;
        Rgb rgb;
    } fixed[] = {
        {0, {0, 0, 0}},       {1, {0, 72, 208}},    {14, {0, 0, 252}},    {51, {160, 0, 100}},
        {75, {252, 0, 0}},    {78, {252, 0, 0}},    {141, {252, 252, 0}}, {142, {252, 252, 0}},
        {189, {64, 252, 0}},  {190, {64, 252, 0}},  {235, {0, 180, 140}}, {255, {0, 76, 204}},
    };
    for (const auto& f : fixed) {
        SCOPED_TRACE("entry " + std::to_string(f.index));
        EXPECT_EQ(entry(f.index), f.rgb);
    }
}

// Each stretch lists the steps allowed from one entry to the next, per channel.
TEST(DefaultPalette, RampSteps)
{
    using Steps = std::vector<int>;
    const struct {
        int first, last;
        std::array<Steps, 3> steps;
    } stretches[] = {
        {1, 14, {Steps{0}, Steps{-4, -8}, Steps{0, 4}}},
        {14, 44, {Steps{4}, Steps{0}, Steps{-4}}},
        {44, 45, {Steps{8}, Steps{0}, Steps{-8}}},
        {45, 50, {Steps{4}, Steps{0}, Steps{-4}}},
        {52, 74, {Steps{4}, Steps{0}, Steps{-4}}},
        {74, 75, {Steps{8}, Steps{0}, Steps{-8}}},
        {75, 78, {Steps{0}, Steps{0}, Steps{0}}},
        {78, 141, {Steps{0}, Steps{4}, Steps{0}}},
        {141, 142, {Steps{0}, Steps{0}, Steps{0}}},
        {142, 189, {Steps{-4}, Steps{0}, Steps{0}}},
        {189, 190, {Steps{0}, Steps{0}, Steps{0}}},
        {190, 235, {Steps{0, -4}, Steps{0, -4}, Steps{0, 4}}},
        {235, 255, {Steps{0}, Steps{0, -4, -8}, Steps{0, 4, 8}}},
    };
    for (const auto& s : stretches)
        for (int i = s.first; i < s.last; ++i)
            for (int c = 0; c < 3; ++c) {
                SCOPED_TRACE("step " + std::to_string(i) + "->" + std::to_string(i + 1) +
                             " channel " + std::to_string(c));
                const int step = defaultpalette[i + 1][c] - defaultpalette[i][c];
                EXPECT_NE(std::find(s.steps[c].begin(), s.steps[c].end(), step), s.steps[c].end())
                    << "step " << step;
            }
}

// Entry 51 stands outside the blue-to-red ramp, which carries on across it.
TEST(DefaultPalette, Entry51LeavesTheRampIntact)
{
    EXPECT_EQ(defaultpalette[52][0] - defaultpalette[50][0], 8);
    EXPECT_EQ(defaultpalette[52][1], 0);
    EXPECT_EQ(defaultpalette[50][2] - defaultpalette[52][2], 8);
    EXPECT_NE(defaultpalette[51][0], (defaultpalette[50][0] + defaultpalette[52][0]) / 2);
}

// In the freely shaped stretches no colour simply repeats the one before it.
TEST(DefaultPalette, FreeStretchesChangeEveryEntry)
{
    for (const auto [first, last] : {std::array{1, 14}, std::array{190, 235}, std::array{235, 255}})
        for (int i = first; i < last; ++i) {
            SCOPED_TRACE("entry " + std::to_string(i + 1));
            EXPECT_NE(entry(i), entry(i + 1));
        }
}

} // namespace

#include "saver/palettes.h"

#include "canvas/defpalette.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using Rgb = std::array<int, 3>;

Rgb entry(int p, int i)
{
    return {palette[p][i][0], palette[p][i][1], palette[p][i][2]};
}

struct Listed {
    int index;
    Rgb rgb;
};

const std::vector<Listed> listed[7] = {
    {{0, {0, 0, 0}}, {1, {0, 72, 208}}, {14, {0, 0, 252}}, {75, {252, 0, 0}}, {78, {252, 0, 0}},
     {141, {252, 252, 0}}, {189, {64, 252, 0}}, {235, {0, 180, 140}}, {255, {0, 76, 204}}},
    {{0, {0, 0, 0}}, {1, {243, 233, 224}}, {55, {193, 147, 89}}, {119, {122, 88, 46}},
     {138, {72, 52, 26}}, {184, {0, 0, 0}}, {244, {255, 0, 0}}, {250, {255, 0, 0}},
     {251, {255, 34, 34}}, {255, {255, 166, 166}}},
    {{0, {0, 0, 0}}, {27, {0, 212, 24}}, {32, {160, 252, 168}}, {36, {0, 224, 32}},
     {64, {0, 0, 0}}, {91, {64, 212, 148}}, {96, {252, 252, 252}}, {101, {68, 216, 152}},
     {128, {0, 0, 0}}, {155, {0, 120, 212}}, {160, {80, 216, 252}}, {165, {0, 124, 216}},
     {192, {0, 0, 0}}, {219, {212, 0, 168}}, {224, {252, 120, 244}}, {229, {216, 0, 176}},
     {255, {4, 0, 8}}},
    {{0, {0, 0, 0}}, {1, {0, 4, 0}}, {32, {0, 200, 0}}, {64, {200, 252, 0}},
     {96, {252, 252, 252}}, {144, {252, 252, 0}}, {192, {0, 252, 0}}, {255, {0, 4, 0}}},
    {{0, {180, 192, 0}}, {25, {108, 244, 24}}, {57, {24, 244, 112}}, {82, {0, 192, 188}},
     {105, {16, 124, 236}}, {127, {68, 60, 252}}, {152, {144, 8, 228}}, {185, {228, 8, 140}},
     {209, {252, 60, 68}}, {235, {232, 136, 12}}, {255, {184, 196, 0}}},
    {{0, {0, 0, 0}}, {1, {160, 16, 0}}, {30, {252, 128, 0}}, {31, {152, 64, 0}},
     {60, {252, 252, 0}}, {61, {0, 48, 16}}, {90, {0, 252, 108}}, {91, {0, 48, 48}},
     {120, {0, 252, 252}}, {121, {0, 0, 96}}, {122, {0, 0, 0}}, {123, {4, 4, 104}},
     {150, {64, 64, 252}}, {151, {72, 0, 80}}, {180, {172, 96, 252}}, {181, {96, 0, 32}},
     {210, {252, 0, 172}}, {211, {96, 0, 0}}, {240, {252, 32, 32}}, {241, {246, 31, 0}},
     {255, {160, 17, 0}}},
    {{0, {8, 0, 8}}, {1, {24, 16, 8}}, {43, {248, 240, 8}}, {128, {248, 0, 248}},
     {171, {8, 240, 248}}, {255, {8, 16, 24}}},
};

TEST(SaverPalettes, ListedEntries)
{
    for (int p = 0; p < 7; ++p)
        for (const auto& l : listed[p]) {
            SCOPED_TRACE("palette " + std::to_string(p) + " entry " + std::to_string(l.index));
            EXPECT_EQ(entry(p, l.index), l.rgb);
        }
}

TEST(SaverPalettes, ChannelsRunNearlyLinearlyBetweenListedEntries)
{
    for (int p = 0; p < 6; ++p)
        for (std::size_t k = 0; k + 1 < listed[p].size(); ++k) {
            const Listed& a = listed[p][k];
            const Listed& b = listed[p][k + 1];
            for (int i = a.index + 1; i < b.index; ++i)
                for (int c = 0; c < 3; ++c) {
                    SCOPED_TRACE("palette " + std::to_string(p) + " entry " + std::to_string(i) +
                                 " channel " + std::to_string(c));
                    const double line = a.rgb[c] + double(b.rgb[c] - a.rgb[c]) *
                                                       (i - a.index) / (b.index - a.index);
                    EXPECT_LE(std::abs(palette[p][i][c] - line), 10.0);
                }
        }
}

TEST(SaverPalettes, FirstIsTheDefaultPalette)
{
    EXPECT_EQ(std::memcmp(palette[0], defaultpalette, sizeof palette[0]), 0);
}

TEST(SaverPalettes, HueWheelHalvesAreNearComplements)
{
    for (int i = 0; i < 128; ++i)
        for (int c = 0; c < 3; ++c) {
            SCOPED_TRACE("entry " + std::to_string(i) + " channel " + std::to_string(c));
            EXPECT_LE(std::abs(palette[4][i + 128][c] - (252 - palette[4][i][c])), 6);
        }
}

TEST(SaverPalettes, LatticeWalkUsesLatticeValues)
{
    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const Rgb e = entry(6, i);
        EXPECT_EQ(e[0] % 16, 8);
        EXPECT_EQ(e[1] % 16, 0);
        EXPECT_EQ(e[2] % 16, 8);
    }
}

TEST(SaverPalettes, LatticeWalkStepsAndClosesOnItself)
{
    for (int i = 0; i < 256; ++i) {
        const int j = (i + 1) % 256;
        SCOPED_TRACE("step " + std::to_string(i) + "->" + std::to_string(j));
        const Rgb a = entry(6, i);
        const Rgb b = entry(6, j);
        const int dr = std::abs(b[0] - a[0]);
        const int dg = std::abs(b[1] - a[1]);
        const int db = std::abs(b[2] - a[2]);
        EXPECT_EQ(dg, 16);
        EXPECT_TRUE((dr == 16 && db == 0) || (dr == 0 && db == 16)) << dr << ", " << db;
    }
}

TEST(SaverPalettes, LatticeWalkNeverRepeatsAColour)
{
    std::set<Rgb> seen;
    for (int i = 0; i < 256; ++i)
        seen.insert(entry(6, i));
    EXPECT_EQ(seen.size(), 256u);
}

TEST(SaverPalettes, InitRestoresTheBuiltInValues)
{
    unsigned char saved[7][256][3];
    std::memcpy(saved, palette, sizeof saved);
    for (auto& pal : palette)
        for (auto& e : pal)
            e[0] = e[1] = e[2] = 1;
    initpalettes();
    EXPECT_EQ(std::memcmp(saved, palette, sizeof saved), 0);
}

} // namespace

// The seven built-in palettes: every listed entry, the stretches between them,
// palette 4's mirror property and palette 6's lattice walk.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "saver/palettes.h"

namespace {

using Rgb = std::array<int, 3>;
Rgb entry(int p, int i) { return {palette[p][i][0], palette[p][i][1], palette[p][i][2]}; }

using Listed = std::pair<int, Rgb>;  // index, colour
const std::vector<Listed> listed[7] = {
    {{0, {0, 0, 0}}, {1, {0, 72, 208}}, {14, {0, 0, 252}}, {75, {252, 0, 0}}, {78, {252, 0, 0}},
     {141, {252, 252, 0}}, {189, {64, 252, 0}}, {235, {0, 180, 140}}, {255, {0, 76, 204}}},
    {{0, {0, 0, 0}}, {1, {243, 233, 224}}, {55, {193, 147, 89}}, {119, {122, 88, 46}}, {138, {72, 52, 26}},
     {184, {0, 0, 0}}, {244, {255, 0, 0}}, {250, {255, 0, 0}}, {251, {255, 34, 34}}, {255, {255, 166, 166}}},
    {{0, {0, 0, 0}}, {27, {0, 212, 24}}, {32, {160, 252, 168}}, {36, {0, 224, 32}}, {64, {0, 0, 0}},
     {91, {64, 212, 148}}, {96, {252, 252, 252}}, {101, {68, 216, 152}}, {128, {0, 0, 0}}, {155, {0, 120, 212}},
     {160, {80, 216, 252}}, {165, {0, 124, 216}}, {192, {0, 0, 0}}, {219, {212, 0, 168}}, {224, {252, 120, 244}},
     {229, {216, 0, 176}}, {255, {4, 0, 8}}},
    {{0, {0, 0, 0}}, {1, {0, 4, 0}}, {32, {0, 200, 0}}, {64, {200, 252, 0}}, {96, {252, 252, 252}},
     {144, {252, 252, 0}}, {192, {0, 252, 0}}, {255, {0, 4, 0}}},
    {{0, {180, 192, 0}}, {25, {108, 244, 24}}, {57, {24, 244, 112}}, {82, {0, 192, 188}}, {105, {16, 124, 236}},
     {127, {68, 60, 252}}, {152, {144, 8, 228}}, {185, {228, 8, 140}}, {209, {252, 60, 68}}, {235, {232, 136, 12}},
     {255, {184, 196, 0}}},
    {{0, {0, 0, 0}}, {1, {160, 16, 0}}, {30, {252, 128, 0}}, {31, {152, 64, 0}}, {60, {252, 252, 0}},
     {61, {0, 48, 16}}, {90, {0, 252, 108}}, {91, {0, 48, 48}}, {120, {0, 252, 252}}, {121, {0, 0, 96}},
     {122, {0, 0, 0}}, {123, {4, 4, 104}}, {150, {64, 64, 252}}, {151, {72, 0, 80}}, {180, {172, 96, 252}},
     {181, {96, 0, 32}}, {210, {252, 0, 172}}, {211, {96, 0, 0}}, {240, {252, 32, 32}}, {241, {246, 31, 0}},
     {255, {160, 17, 0}}},
    {{0, {8, 0, 8}}, {1, {24, 16, 8}}, {43, {248, 240, 8}}, {128, {248, 0, 248}}, {171, {8, 240, 248}},
     {255, {8, 16, 24}}},
};

// Each listed entry exactly; between two of them (palettes 0-5) every channel
// stays within 10 of the straight line.
TEST(SaverPalettes, ListedEntriesAndTheStretchesBetween) {
    for (int p = 0; p < 7; ++p)
        for (std::size_t k = 0; k < listed[p].size(); ++k) {
            const Listed& a = listed[p][k];
            SCOPED_TRACE("palette " + std::to_string(p) + " entry " + std::to_string(a.first));
            EXPECT_EQ(entry(p, a.first), a.second);
            if (p == 6 || k + 1 == listed[p].size()) continue;
            const Listed& b = listed[p][k + 1];
            for (int i = a.first + 1; i < b.first; ++i)
                for (int c = 0; c < 3; ++c)
                    EXPECT_LE(std::abs(palette[p][i][c] - (a.second[c] + double(b.second[c] - a.second[c]) * (i - a.first) /
                                                                          (b.first - a.first))),
                              10.0)
                        << "entry " << i << " channel " << c;
        }
}

// Palette 4's second half mirrors its first (each channel near 252 minus it);
// palette 6 walks a lattice: 256 distinct entries, each step 16 in green and
// in one of red and blue, closing on itself.
TEST(SaverPalettes, MirroredHueWheelAndClosedLatticeWalk) {
    for (int i = 0; i < 128; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(palette[4][i + 128][c] - (252 - palette[4][i][c])), 6) << i;
    std::set<Rgb> seen;
    for (int i = 0; i < 256; ++i) {
        const Rgb a = entry(6, i), b = entry(6, (i + 1) % 256);
        seen.insert(a);
        EXPECT_EQ(Rgb({a[0] % 16, a[1] % 16, a[2] % 16}), Rgb({8, 0, 8})) << i;
        const Rgb step = {std::abs(b[0] - a[0]), std::abs(b[1] - a[1]), std::abs(b[2] - a[2])};
        EXPECT_TRUE(step == Rgb({16, 16, 0}) || step == Rgb({0, 16, 16})) << "step " << i;
    }
    EXPECT_EQ(seen.size(), 256u);
}

}  // namespace

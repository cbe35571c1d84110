// zorv-dla's default palette and the saver's seven, entry by entry: the
// ramps that follow a rule are generated from it, listed entries are exact,
// and the stretches left free keep their course.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "canvas/defpalette.h"
#include "saver/palettes.h"

namespace {

using Rgb = std::array<int, 3>;
Rgb at(const unsigned char (&p)[256][3], int i) { return {p[i][0], p[i][1], p[i][2]}; }

// The default palette's fixed entries and its regular ramps; 0 marks the
// free stretches 2-13, 191-234 and 236-254.
std::array<Rgb, 256> defaultramps() {
    std::array<Rgb, 256> e{};
    e.fill({-1, -1, -1});
    e[0] = {0, 0, 0}, e[1] = {0, 72, 208}, e[235] = {0, 180, 140}, e[255] = {0, 76, 204};
    for (int i = 14; i <= 44; ++i) e[i] = {4 * (i - 14), 0, 252 - 4 * (i - 14)};   // blue to red
    for (int i = 45; i <= 74; ++i) e[i] = {128 + 4 * (i - 45), 0, 124 - 4 * (i - 45)};  // after the step of 8
    e[51] = {160, 0, 100};
    for (int i = 75; i <= 78; ++i) e[i] = {252, 0, 0};
    for (int i = 78; i <= 141; ++i) e[i] = {252, 4 * (i - 78), 0};  // red to yellow
    for (int i = 142; i <= 189; ++i) e[i] = {252 - 4 * (i - 142), 252, 0};  // yellow to green
    e[190] = {64, 252, 0};
    return e;
}

// Each free stretch keeps the course its ends and step sizes give it.
void expectstretch(const unsigned char (&p)[256][3], int from, int to, Rgb lo, Rgb hi, std::set<int> steps) {
    for (int i = from; i < to; ++i)
        for (int c = 0; c < 3; ++c) {
            const int step = p[i + 1][c] - p[i][c];
            EXPECT_TRUE(p[i + 1][c] % 4 == 0 && steps.count(std::abs(step)) && step * (hi[c] - lo[c]) >= 0)
                << "entry " << i + 1 << " channel " << c << " steps by " << step;
        }
}

void expectdefault(const unsigned char (&p)[256][3]) {
    const std::array<Rgb, 256> want = defaultramps();
    for (int i = 0; i < 256; ++i)
        if (want[i][0] >= 0) {
            EXPECT_EQ(at(p, i), want[i]) << "entry " << i;
        }
    expectstretch(p, 1, 14, {0, 72, 208}, {0, 0, 252}, {0, 4, 8});
    for (int i = 1; i < 14; ++i) EXPECT_TRUE(p[i + 1][1] != p[i][1]) << "green falls at every entry " << i + 1;
    expectstretch(p, 190, 235, {64, 252, 0}, {0, 180, 140}, {0, 4});
    expectstretch(p, 235, 255, {0, 180, 140}, {0, 76, 204}, {0, 4, 8});
}

TEST(Palettes, DefaultPaletteEntryByEntry) {
    expectdefault(defaultpalette);
    expectdefault(palette[0]);  // the saver's palette 0
}

using Listed = std::pair<int, Rgb>;  // index, colour
const std::vector<Listed> listed[7] = {
    {},  // palette 0: the default palette, above
    {{0, {0, 0, 0}}, {1, {243, 233, 224}}, {55, {193, 147, 89}}, {119, {122, 88, 46}}, {138, {72, 52, 26}},
     {184, {0, 0, 0}}, {244, {255, 0, 0}}, {250, {255, 0, 0}}, {251, {255, 34, 34}}, {255, {255, 166, 166}}},
    // Entry 1 is (0, 4, 0) as the seed circle of an inward run in palettes 2
    // and 3 shows it, not the (0, 8, 1) a straight rise from 0 to 27 would give.
    {{0, {0, 0, 0}}, {1, {0, 4, 0}}, {27, {0, 212, 24}}, {32, {160, 252, 168}}, {36, {0, 224, 32}}, {64, {0, 0, 0}},
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

// Palettes 1-6: each listed entry exactly; between two of them (palettes
// 1-5) every channel stays within 10 of the straight line.
TEST(Palettes, SaverPalettesListedEntriesAndTheStretchesBetween) {
    for (int p = 1; p < 7; ++p)
        for (std::size_t k = 0; k < listed[p].size(); ++k) {
            const auto& [i, colour] = listed[p][k];
            SCOPED_TRACE("palette " + std::to_string(p) + " entry " + std::to_string(i));
            EXPECT_EQ(at(palette[p], i), colour);
            if (p == 6 || k + 1 == listed[p].size()) continue;
            const auto& [j, next] = listed[p][k + 1];
            for (int n = i + 1; n < j; ++n)
                for (int c = 0; c < 3; ++c)
                    EXPECT_LE(std::abs(palette[p][n][c] - (colour[c] + double(next[c] - colour[c]) * (n - i) / (j - i))),
                              10.0)
                        << "entry " << n << " channel " << c;
        }
}

// Palette 4's second half mirrors its first (each channel within 6 of 252
// minus it); palette 6 walks a lattice: 256 distinct entries, red and blue
// 8 + 16k, green 16k, each step 16 in green and in one of red and blue,
// closing on itself.
TEST(Palettes, MirroredHueWheelAndClosedLatticeWalk) {
    for (int i = 0; i < 128; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(palette[4][i + 128][c] - (252 - palette[4][i][c])), 6) << i;
    std::set<Rgb> seen;
    for (int i = 0; i < 256; ++i) {
        const Rgb a = at(palette[6], i), b = at(palette[6], (i + 1) % 256);
        seen.insert(a);
        EXPECT_EQ(Rgb({a[0] % 16, a[1] % 16, a[2] % 16}), Rgb({8, 0, 8})) << i;
        const Rgb step = {std::abs(b[0] - a[0]), std::abs(b[1] - a[1]), std::abs(b[2] - a[2])};
        EXPECT_TRUE(step == Rgb({16, 16, 0}) || step == Rgb({0, 16, 16})) << "step " << i;
    }
    EXPECT_EQ(seen.size(), 256u);
}

}  // namespace

// The default image size and the entries of the default palette that are fixed.
#include <gtest/gtest.h>

#include <array>

#include "canvas/defpalette.h"
#include "engine/settings.h"

namespace {

TEST(Defaults, ImageSizeFollowsTheScreenHeight) {
    for (auto [height, size] : {std::array{768, 400}, {528, 400}, {527, 399}, {480, 352}, {228, 100}}) {
        SCOPED_TRACE(height);
        EXPECT_EQ(defaultimagesize(height), size);
    }
}

TEST(Defaults, PaletteFixedEntries) {
    const std::array<std::array<int, 4>, 12> fixed{{{0, 0, 0, 0},      {1, 0, 72, 208},   {14, 0, 0, 252},
                                                    {51, 160, 0, 100}, {75, 252, 0, 0},   {78, 252, 0, 0},
                                                    {141, 252, 252, 0}, {142, 252, 252, 0}, {189, 64, 252, 0},
                                                    {190, 64, 252, 0}, {235, 0, 180, 140}, {255, 0, 76, 204}}};
    for (const auto& f : fixed) {
        SCOPED_TRACE(f[0]);
        EXPECT_EQ((std::array<int, 3>{defaultpalette[f[0]][0], defaultpalette[f[0]][1], defaultpalette[f[0]][2]}),
                  (std::array<int, 3>{f[1], f[2], f[3]}));
    }
}

}  // namespace

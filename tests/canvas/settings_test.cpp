#include <gtest/gtest.h>

#include <cstring>

#include "canvas/defpalette.h"
#include "engine/settings.h"

namespace {

TEST(Settings, DefaultsAreThoseAUserStartsWith) {
    resetsettings();
    EXPECT_EQ(startradius, 10);
    EXPECT_EQ(probability, 100);
    EXPECT_EQ(algorithm, 0);
    EXPECT_EQ(growth, 0);
    EXPECT_EQ(coloring, 0);
    EXPECT_EQ(greyscale, 0);
    EXPECT_EQ(bkgd, 0x00E6F5FFu);
    EXPECT_EQ(okdla, 1);
    EXPECT_EQ(firsttime, 1);
    EXPECT_EQ(firstloop, 1);
    EXPECT_EQ(terminate, 0);
    EXPECT_EQ(debug, 0);
    EXPECT_EQ(0, std::memcmp(palette, defaultpalette, sizeof palette));
}

TEST(Settings, DefaultImageSizeFollowsTheScreenHeight) {
    EXPECT_EQ(defaultimagesize(768), 400);
    EXPECT_EQ(defaultimagesize(600), 400);
    EXPECT_EQ(defaultimagesize(528), 400);
    EXPECT_EQ(defaultimagesize(527), 399);
    EXPECT_EQ(defaultimagesize(480), 352);
    EXPECT_EQ(defaultimagesize(228), 100);
}

TEST(Settings, RepackPutsRedInTheLowByte) {
    rback = 1;
    gback = 2;
    bback = 3;
    repackbackground();
    EXPECT_EQ(bkgd, 0x00030201u);
    resetsettings();
}

}  // namespace

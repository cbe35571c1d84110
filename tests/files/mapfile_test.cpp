// The MAP palette reader on the shapes of file found in practice.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstring>

#include "engine/settings.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "filetest.h"

namespace {

using filetest::TempDir;
using Entry = std::array<int, 3>;

std::string lines(int count, int first = 0) {
    std::string text;
    for (int i = first; i < first + count; ++i)
        text += std::to_string(i) + " " + std::to_string((i * 3) & 0xFF) + " " + std::to_string(255 - i) + "\n";
    return text;
}

Entry entryOfLines(int i) { return {i & 0xFF, (i * 3) & 0xFF, (255 - i) & 0xFF}; }

Entry paltempAt(int i) { return {paltemp[i][0], paltemp[i][1], paltemp[i][2]}; }

struct MapCase {
    const char* name;
    std::string text;
    int result;
    int fromFile;                                   // entries expected as made by lines()
    std::vector<std::pair<int, Entry>> entries;     // entries expected otherwise
};

std::ostream& operator<<(std::ostream& os, const MapCase& c) { return os << c.name; }

class MapFile : public ::testing::TestWithParam<MapCase> {
protected:
    TempDir dir;
    void SetUp() override {
        // paltemp holds a recognisable earlier candidate.
        std::memset(paltemp, 0x5A, sizeof paltemp);
        mapfile = dir / "palette.map";
    }
};

TEST_P(MapFile, Reads) {
    const MapCase& c = GetParam();
    filetest::writeText(mapfile, c.text);
    ASSERT_EQ(OpenMapFile(), c.result);
    if (c.result != 0) {
        // A refused file leaves the earlier candidate as it was.
        for (int i = 0; i < 256; ++i) ASSERT_EQ(paltempAt(i), (Entry{0x5A, 0x5A, 0x5A})) << i;
        return;
    }
    std::vector<bool> checked(256, false);
    for (const auto& [i, e] : c.entries) {
        EXPECT_EQ(paltempAt(i), e) << "entry " << i;
        checked[i] = true;
    }
    for (int i = 0; i < 256; ++i) {
        if (checked[i]) continue;
        Entry expect = i < c.fromFile ? entryOfLines(i) : Entry{1, 1, 1};
        ASSERT_EQ(paltempAt(i), expect) << "entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, MapFile,
    ::testing::Values(
        MapCase{"full256", lines(256), 0, 256, {}},
        MapCase{"lines after the 256th are never read", lines(256) + "not numbers\n\n1 2\n", 0, 256, {}},
        MapCase{"an empty line after the 256th", lines(256) + "\n", 0, 256, {}},
        MapCase{"sixteen lines", lines(16), 0, 16, {}},
        MapCase{"empty file", "", 0, 0, {}},
        MapCase{"last line without a line end", "7 8 9", 0, 0, {{0, {7, 8, 9}}}},
        MapCase{"trailing colour names", "255 0 0 red\n0 255 0\tgreen   \n0 0 255 blue 12 13\n", 0, 0,
                {{0, {255, 0, 0}}, {1, {0, 255, 0}}, {2, {0, 0, 255}}}},
        MapCase{"leading and repeated blanks", "   10   20 \t  30\n\t1 2 3\n", 0, 0,
                {{0, {10, 20, 30}}, {1, {1, 2, 3}}}},
        MapCase{"Windows line ends", "10 20 30\r\n40 50 60\r\n", 0, 0, {{0, {10, 20, 30}}, {1, {40, 50, 60}}}},
        MapCase{"values kept to their low eight bits", "256 300 -1\n-256 511 4294967297\n+5 -0 12345678901234567890\n",
                0, 0, {{0, {0, 44, 255}}, {1, {0, 255, 1}}, {2, {5, 0, 210}}}},
        // Whatever follows the third number is ignored, however long.
        MapCase{"a comment longer than any buffer",
                "1 2 3 " + std::string(70000, 'x') + " 4 5 6\n7 8 9\n", 0, 0, {{0, {1, 2, 3}}, {1, {7, 8, 9}}}},
        MapCase{"an empty line before the 256th", lines(10) + "\n" + lines(5, 10), 1, 0, {}},
        MapCase{"a Windows empty line", "1 2 3\r\n\r\n4 5 6\r\n", 1, 0, {}},
        MapCase{"commas", "10,20,30\n", 1, 0, {}},
        MapCase{"only two numbers", lines(3) + "1 2\n", 1, 0, {}},
        MapCase{"a sign without digits", "1 - 3\n", 1, 0, {}},
        MapCase{"text first", "red 1 2 3\n", 1, 0, {}},
        MapCase{"a blank line", lines(2) + "   \n", 1, 0, {}}),
    [](const auto& info) {
        std::string n;
        for (char ch : std::string(info.param.name)) n += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

TEST(MapFileOpen, ThePathIsOpenedAsChosen) {
    TempDir dir;
    filetest::writeText(dir / "Mixed Case ü.map", "9 8 7\n");
    filetest::writeText(dir / "MIXED CASE Ü.MAP", "1 1 1\n");
    mapfile = dir / "Mixed Case ü.map";
    const std::string chosen = mapfile;
    ASSERT_EQ(OpenMapFile(), 0);
    EXPECT_EQ(paltempAt(0), (Entry{9, 8, 7}));
    EXPECT_EQ(mapfile, chosen);
}

TEST(MapFileOpen, AFileThatCannotBeReadGivesResult1) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.map");
    std::memset(paltemp, 0x33, sizeof paltemp);
    std::memset(palette, 0x44, sizeof palette);
    // /dev/zero: one endless line of zero bytes.
    for (std::string path :
         {dir / "missing.map", dir / "MISSING.MAP", dir / "folder.map", std::string("/dev/zero"), std::string()}) {
        SCOPED_TRACE(path);
        mapfile = path;
        EXPECT_EQ(OpenMapFile(), 1);
    }
    EXPECT_EQ(paltemp[17][2], 0x33);
    EXPECT_EQ(palette[17][2], 0x44);
}

TEST(MapFileOpen, ThePaletteInForceIsNeverTouched) {
    TempDir dir;
    std::memset(palette, 0x44, sizeof palette);
    mapfile = dir / "p.map";
    filetest::writeText(mapfile, lines(256));
    ASSERT_EQ(OpenMapFile(), 0);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(palette[i][0], 0x44);
}

}  // namespace

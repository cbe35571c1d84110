// The parameter file: its 804 bytes, the round trip, the path beside the
// image, the start-up load, and what bad files and failed saves change.
#include <gtest/gtest.h>

#include <cstring>

#include "canvas/defpalette.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/targa.h"
#include "filetest.h"
#include "platform/headless/headless.h"

namespace {

using filetest::Bytes;
using filetest::TempDir;

// Every setting the file holds, as one comparable value.
struct Snapshot {
    int algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback;
    COLORREF bkgd;
    std::vector<unsigned char> palette;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot() {
    return {algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback, bkgd,
            std::vector<unsigned char>(&palette[0][0], &palette[0][0] + 768)};
}

std::int32_t int32At(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
    return static_cast<std::int32_t>(v);
}

void putInt32(Bytes& b, std::size_t at, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

class DlaFile : public ::testing::Test {
protected:
    headless::Backend screen;
    TempDir dir;

    void SetUp() override {
        resetsettings();
        std::memset(&dla, 0, sizeof dla);
        odlatemp.clear();
        tgafile = dir / "*.tga";
        sdlafile = dir / "*.dla";
        odlafile = dir / "*.dla";
        sdlafiletitle.clear();
        odlafiletitle.clear();
    }

    // Settings unlike the defaults in every field, and a palette unlike the
    // built-in one in every byte.
    static void distinctSettings() {
        algorithm = 2;
        growth = 1;
        startradius = 37;
        probability = 61;
        coloring = 1;
        greyscale = 1;
        rback = 12;
        gback = 200;
        bback = 0;
        repackbackground();
        for (int i = 0; i < 256; ++i)
            for (int k = 0; k < 3; ++k) palette[i][k] = static_cast<unsigned char>(255 - defaultpalette[i][k]);
    }

    // A valid record with one field changed.
    Bytes recordWith(std::size_t offset, std::int32_t value) {
        distinctSettings();
        sdlafile = dir / "valid.dla";
        EXPECT_EQ(writedla(0), 0);
        Bytes b = filetest::readBytes(sdlafile);
        putInt32(b, offset, value);
        resetsettings();
        return b;
    }
};

TEST_F(DlaFile, TheRecordFieldByField) {
    distinctSettings();
    sdlafile = dir / "fields.dla";
    ASSERT_EQ(writedla(0), 0);
    Bytes b = filetest::readBytes(sdlafile);
    ASSERT_EQ(b.size(), 804u);
    const std::int32_t expect[9] = {2, 1, 37, 61, 1, 1, 12, 200, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(int32At(b, 4 * i), expect[i]) << "field at offset " << 4 * i;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) ASSERT_EQ(b[36 + 3 * i + k], palette[i][k]) << i << "," << k;
    EXPECT_EQ(sdlafiletitle, "fields.dla");
    // The transfer record keeps what was written.
    EXPECT_EQ(dla.startradius, 37);
    EXPECT_EQ(dla.palette[200][1], palette[200][1]);
}

TEST_F(DlaFile, ARoundTripRestoresEverySettingAndThePalette) {
    struct Case {
        const char* name;
        void (*set)();
    };
    const Case cases[] = {
        {"lowest legal values",
         [] {
             algorithm = growth = coloring = greyscale = 0;
             startradius = 5;
             probability = 1;
             rback = gback = bback = 0;
             std::memset(palette, 0, sizeof palette);
         }},
        {"highest legal values",
         [] {
             algorithm = 2;
             growth = coloring = greyscale = 1;
             startradius = 50;
             probability = 100;
             rback = gback = bback = 255;
             std::memset(palette, 255, sizeof palette);
         }},
        {"mixed", distinctSettings},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetsettings();
        c.set();
        repackbackground();
        Snapshot written = snapshot();
        sdlafile = dir / "trip.dla";
        ASSERT_EQ(writedla(0), 0);
        EXPECT_EQ(snapshot(), written) << "writing changed a setting";
        resetsettings();
        odlafile = sdlafile;
        ASSERT_EQ(loaddla(), 0);
        EXPECT_EQ(snapshot(), written);
    }
}

TEST_F(DlaFile, LoadingRepacksTheBackgroundAndTouchesNothingElse) {
    distinctSettings();
    rback = gback = bback = 0;
    sdlafile = dir / "black.dla";
    ASSERT_EQ(writedla(0), 0);
    resetsettings();
    xres = 321;
    yres = 123;
    firstloop = 0;
    okdla = 0;
    odlafile = sdlafile;
    ASSERT_EQ(loaddla(), 0);
    EXPECT_EQ(bkgd, RGB(0, 0, 0));
    EXPECT_EQ(xres, 321);
    EXPECT_EQ(yres, 123);
    EXPECT_EQ(firstloop, 0);
    EXPECT_EQ(okdla, 0);
}

TEST_F(DlaFile, BesideTheImageTheLastThreeCharactersBecomeDla) {
    struct Case {
        std::string image, parameters;
    };
    const Case cases[] = {
        {"tree.tga", "tree.dla"},
        {"TREE.TGA", "TREE.dla"},
        {"pic.jpeg", "pic.jdla"},
        // An image named like a parameter file is not overwritten by one.
        {"odd.dla", "odd.dla.dla"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        distinctSettings();
        Bytes image = {'i', 'm', 'g'};
        tgafile = dir / c.image;
        filetest::writeBytes(tgafile, image);
        sdlafile = dir / "somewhere-else.dla";
        ASSERT_EQ(writedla(1), 0);
        EXPECT_EQ(sdlafile, dir / c.parameters);
        EXPECT_EQ(sdlafiletitle, c.parameters);
        EXPECT_EQ(filetest::readBytes(dir / c.parameters).size(), 804u);
        EXPECT_EQ(filetest::readBytes(tgafile), image);
        EXPECT_FALSE(filetest::exists(dir / "somewhere-else.dla"));
    }
}

TEST_F(DlaFile, AnExistingFileBesideTheImageIsReplaced) {
    tgafile = dir / "a.tga";
    filetest::writeBytes(dir / "a.dla", Bytes(10, 0xAB));
    distinctSettings();
    ASSERT_EQ(writedla(1), 0);
    Bytes b = filetest::readBytes(dir / "a.dla");
    ASSERT_EQ(b.size(), 804u);
    EXPECT_EQ(int32At(b, 8), 37);
}

TEST_F(DlaFile, ShortOrOutOfRangeFilesAreRefusedAndChangeNothing) {
    struct Case {
        std::string what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    Bytes valid = recordWith(0, 1);
    cases.push_back({"an empty file", {}});
    cases.push_back({"one byte short", Bytes(valid.begin(), valid.end() - 1)});
    cases.push_back({"only the integers", Bytes(valid.begin(), valid.begin() + 36)});
    struct Field {
        const char* name;
        std::size_t offset;
        std::int32_t below, above;
    };
    const Field fields[] = {
        {"algorithm", 0, -1, 3},      {"growth", 4, -1, 2},   {"startradius", 8, 4, 51},
        {"probability", 12, 0, 101},  {"coloring", 16, -1, 2}, {"greyscale", 20, -1, 2},
        {"rback", 24, -1, 256},       {"gback", 28, -1, 256}, {"bback", 32, -1, 256},
    };
    for (const Field& f : fields) {
        cases.push_back({std::string(f.name) + " below its range", recordWith(f.offset, f.below)});
        cases.push_back({std::string(f.name) + " above its range", recordWith(f.offset, f.above)});
    }
    cases.push_back({"startradius 2000000000", recordWith(8, 2000000000)});
    cases.push_back({"probability INT_MIN", recordWith(12, INT32_MIN)});

    // The transfer record holds something recognisable beforehand.
    dla.startradius = 42;
    const DLA before = dla;
    odlafile = dir / "bad.dla";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetsettings();
        Snapshot settings = snapshot();
        filetest::writeBytes(odlafile, c.bytes);
        EXPECT_EQ(loaddla(), 1);
        EXPECT_EQ(snapshot(), settings);
        EXPECT_EQ(std::memcmp(&dla, &before, sizeof dla), 0);
    }
}

TEST_F(DlaFile, ALongerFileIsReadForItsFirstRecord) {
    Bytes b = recordWith(8, 44);
    Bytes tail(500, 0xEE);
    b.insert(b.end(), tail.begin(), tail.end());
    odlafile = dir / "long.dla";
    filetest::writeBytes(odlafile, b);
    ASSERT_EQ(loaddla(), 0);
    EXPECT_EQ(startradius, 44);
    EXPECT_EQ(algorithm, 2);
}

TEST_F(DlaFile, AFileThatCannotBeReadGivesResult1) {
    std::filesystem::create_directory(dir / "folder.dla");
    for (std::string path : {dir / "missing.dla", dir / "folder.dla", std::string()}) {
        SCOPED_TRACE(path);
        resetsettings();
        Snapshot settings = snapshot();
        odlafile = path;
        EXPECT_EQ(loaddla(), 1);
        EXPECT_EQ(snapshot(), settings);
    }
}

TEST_F(DlaFile, TheCommandLineLoadsAQuotedPathSilently) {
    distinctSettings();
    // A long folder name: nothing limits the length of a path.
    std::string folder = dir / std::string(200, 'f');
    std::filesystem::create_directory(folder);
    std::filesystem::create_directory(folder + "/" + std::string(200, 'g') + " with blanks");
    sdlafile = folder + "/" + std::string(200, 'g') + " with blanks/start.dla";
    ASSERT_GT(sdlafile.size(), 400u);
    ASSERT_EQ(writedla(0), 0);
    Snapshot saved = snapshot();
    resetsettings();

    odlatemp = "\"" + sdlafile + "\"";
    loadcommandline();
    EXPECT_EQ(snapshot(), saved);
    EXPECT_EQ(odlafile, sdlafile);
    EXPECT_EQ(odlafiletitle, "");
    EXPECT_TRUE(screen.boxes.empty());
}

TEST_F(DlaFile, TheCommandLineLoadIgnoresWhatItCannotUse) {
    Bytes bad = recordWith(8, 2000000000);
    filetest::writeBytes(dir / "bad.dla", bad);
    filetest::writeBytes(dir / "short.dla", Bytes(100, 1));
    distinctSettings();
    sdlafile = dir / "ok.dla";
    ASSERT_EQ(writedla(0), 0);

    struct Case {
        std::string what, argument, odlafileAfter;
    };
    const std::string untouched = dir / "*.dla";
    const Case cases[] = {
        {"no argument", "", untouched},
        {"a single character", "x", untouched},
        // Unquoted, the path loses its first and last characters.
        {"an unquoted path", sdlafile, sdlafile.substr(1, sdlafile.size() - 2)},
        {"a missing file", "\"" + (dir / "none.dla") + "\"", dir / "none.dla"},
        {"a short file", "\"" + (dir / "short.dla") + "\"", dir / "short.dla"},
        {"values out of range", "\"" + (dir / "bad.dla") + "\"", dir / "bad.dla"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resetsettings();
        Snapshot settings = snapshot();
        odlafile = untouched;
        odlatemp = c.argument;
        loadcommandline();
        EXPECT_EQ(snapshot(), settings);
        EXPECT_EQ(odlafile, c.odlafileAfter);
    }
    EXPECT_TRUE(screen.boxes.empty());
}

TEST_F(DlaFile, ATargetThatCannotBeOpenedGivesResult1) {
    distinctSettings();
    Snapshot settings = snapshot();
    auto targets = filetest::unopenableTargets(dir, "p.dla");
    auto before = dir.names();
    for (const auto& [what, path] : targets) {
        SCOPED_TRACE(what);
        sdlafile = path;
        sdlafiletitle = "earlier.dla";
        EXPECT_EQ(writedla(0), 1);
        EXPECT_EQ(sdlafiletitle, "earlier.dla");
    }
    EXPECT_EQ(dir.names(), before);
    EXPECT_EQ(snapshot(), settings);
}

TEST_F(DlaFile, WritingToAFullDeviceGivesResult3) {
    if (!filetest::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    sdlafile = "/dev/full";
    int result = writedla(0);
    ASSERT_EQ(result, 3);
    EXPECT_STREQ(saveerror[result - 1], "Error writing to save file.");
}

TEST_F(DlaFile, AFailedSaveLeavesTheEarlierFileAsItWas) {
    sdlafile = dir / "keep.dla";
    Bytes earlier = recordWith(8, 20);
    filetest::writeBytes(sdlafile, earlier);
    distinctSettings();
    {
        filetest::FileSizeLimit limit(100);
        EXPECT_EQ(writedla(0), 3);
    }
    EXPECT_EQ(filetest::readBytes(sdlafile), earlier);
    auto names = dir.names();
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n[0] == '.'; }), 0)
        << "a temporary file was left behind";
}

}  // namespace

// The files: the Targa image byte for byte and as an independent decoder sees
// it, the 804-byte parameter file and its start-up load, the MAP reader, and
// what failed saves leave on disk.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "canvas/canvas.h"
#include "canvas/defpalette.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "files/savefile.h"
#include "files/targa.h"
#include "platform/headless/headless.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Differs in every channel from pixel to pixel: swapped channels or mirrored rows show.
COLORREF patternAt(int x, int y) { return RGB((x * 7 + y) & 0xFF, (y * 5 + 3) & 0xFF, (x + y * 11 + 1) & 0xFF); }

// Every setting the parameter file holds, as one comparable value.
struct Snapshot {
    int algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback;
    COLORREF bkgd;
    std::string palette;
    bool operator==(const Snapshot&) const = default;
};
Snapshot snapshot() {
    return {algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback, bkgd,
            std::string(reinterpret_cast<const char*>(palette), 768)};
}

class Files : public ::testing::Test {
protected:
    headless::Backend screen;
    std::string dir = (fs::temp_directory_path() / ("zorv-files-" + std::to_string(getpid()))).string();

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
        resetsettings();
        tgafile = at("image.tga");
        sdlafile = odlafile = at("*.dla");
    }
    void TearDown() override {
        releasecanvas();
        fs::remove_all(dir);
    }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    // A canvas of w x h painted with the pattern, on a main window.
    void paintCanvas(int w, int h) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "Main";
        RegisterClassA(&wc);
        xres = w;
        yres = h;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) SetPixel(g_vhdc, x, y, patternAt(x, y));
    }
    // Settings unlike the defaults in every field and a palette unlike the built-in one in every byte.
    static void distinctSettings() {
        algorithm = 2, growth = 1, startradius = 37, probability = 61, coloring = 1, greyscale = 1;
        rback = 12, gback = 200, bback = 0;
        repackbackground();
        for (int i = 0; i < 768; ++i) (&palette[0][0])[i] = 255 - (&defaultpalette[0][0])[i];
    }
};

// A canvas of 257 x 100 saved as 260 x 103 (a new size not yet applied): the
// header, every pixel blue-green-red top row first, white outside, the footer.
TEST_F(Files, TargaFileByteForByte) {
    paintCanvas(257, 100);
    constexpr int w = 260, h = 103;
    xres = w, yres = h;
    ASSERT_EQ(writetga(g_vhdc), 0);
    std::string expect = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, w & 0xFF, w >> 8, h, 0, 24, 0x20};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            COLORREF c = x < 257 && y < 100 ? patternAt(x, y) : RGB(255, 255, 255);
            expect += {char(GetBValue(c)), char(GetGValue(c)), char(GetRValue(c))};
        }
    expect += std::string(8, '\0') + std::string("TRUEVISION-XFILE.", 18);
    const std::string file = readFile(tgafile);
    ASSERT_EQ(file.size(), 18 + 3u * w * h + 26);
    EXPECT_TRUE(file == expect);
}

// Python's Pillow decodes the file upright: its size and every pixel match the canvas.
TEST_F(Files, PillowDecodesTheTargaFile) {
    if (std::system("/usr/bin/python3 -c 'import PIL.Image' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Pillow";
    const int w = 123, h = 101;
    paintCanvas(w, h);
    ASSERT_EQ(writetga(g_vhdc), 0);
    const std::string command =
        "/usr/bin/python3 -c 'import sys, PIL.Image; im = PIL.Image.open(sys.argv[1]); "
        "sys.stdout.buffer.write(b\"%s %d %d \" % (im.format.encode(), *im.size) + im.convert(\"RGB\").tobytes())' '" +
        tgafile + "' > '" + at("decoded") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string expect = "TGA 123 101 ";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) expect += {char(GetRValue(patternAt(x, y))), char(GetGValue(patternAt(x, y))),
                                               char(GetBValue(patternAt(x, y)))};
    EXPECT_TRUE(readFile(at("decoded")) == expect);
}

// The 804-byte record field by field; it brings back all nine settings and the
// palette, also from a longer file; beside an image it is "tree.dla".
TEST_F(Files, ParameterFileFieldsRoundTripAndNameBesideTheImage) {
    distinctSettings();
    const Snapshot written = snapshot();
    sdlafile = at("fields.dla");
    ASSERT_EQ(writedla(0), 0);
    const std::string b = readFile(sdlafile);
    ASSERT_EQ(b.size(), 804u);
    const std::int32_t fields[9] = {2, 1, 37, 61, 1, 1, 12, 200, 0};
    EXPECT_EQ(std::memcmp(b.data(), fields, 36), 0);  // little-endian int32s
    EXPECT_EQ(std::memcmp(b.data() + 36, palette, 768), 0);
    for (std::string tail : {"", "longer file"}) {
        writeFile(sdlafile, b + tail);
        resetsettings();
        odlafile = sdlafile;
        ASSERT_EQ(loaddla(), 0) << tail;
        EXPECT_EQ(snapshot(), written) << tail;
    }
    tgafile = at("tree.tga");
    writeFile(tgafile, "img");
    ASSERT_EQ(writedla(1), 0);
    EXPECT_EQ(sdlafile, at("tree.dla"));
    EXPECT_EQ(readFile(at("tree.dla")), b);
    EXPECT_EQ(names(), (std::vector<std::string>{"fields.dla", "tree.dla", "tree.tga"}));
}

// A short file or a value outside its legal range is refused with 1 and changes
// no setting, also when named on the command line, which loads a quoted path
// of any length and shows nothing.
TEST_F(Files, ParameterFileLoadsRefusesAndCommandLine) {
    distinctSettings();
    const std::string folder = at(std::string(200, 'f') + "/" + std::string(200, 'g') + " with blanks");
    fs::create_directories(folder);
    sdlafile = folder + "/start.dla";
    ASSERT_EQ(writedla(0), 0);
    const Snapshot good = snapshot();
    const std::string valid = readFile(sdlafile);
    std::vector<std::pair<std::string, std::string>> bad = {{"empty", ""}, {"803 bytes", valid.substr(0, 803)}};
    const std::int32_t ranges[9][2] = {{0, 2}, {0, 1}, {5, 50}, {1, 100}, {0, 1}, {0, 1}, {0, 255}, {0, 255}, {0, 255}};
    for (int f = 0; f < 9; ++f)
        for (std::int32_t v : {ranges[f][0] - 1, ranges[f][1] + 1, f == 2 ? 2000000000 : INT32_MIN}) {
            bad.push_back({"field " + std::to_string(f) + " = " + std::to_string(v), valid});
            std::memcpy(bad.back().second.data() + 4 * f, &v, 4);
        }
    for (const auto& [what, bytes] : bad) {
        SCOPED_TRACE(what);
        writeFile(at("bad.dla"), bytes);
        resetsettings();
        const Snapshot before = snapshot();
        odlafile = at("bad.dla");
        EXPECT_EQ(loaddla(), 1);
        EXPECT_EQ(snapshot(), before);
        odlatemp = "\"" + odlafile + "\"";
        loadcommandline();
        EXPECT_EQ(snapshot(), before);
    }
    struct Arg {
        std::string argument, odlafileAfter;
        bool loads;
    };
    const Arg args[] = {{"\"" + sdlafile + "\"", sdlafile, true},
                        // Unquoted, the path loses its first and last characters.
                        {sdlafile, sdlafile.substr(1, sdlafile.size() - 2), false},
                        {"\"" + at("none.dla") + "\"", at("none.dla"), false}};
    for (const Arg& a : args) {
        SCOPED_TRACE(a.argument);
        resetsettings();
        const Snapshot before = snapshot();
        odlafile = at("*.dla");
        odlatemp = a.argument;
        loadcommandline();
        EXPECT_EQ(snapshot(), a.loads ? good : before);
        EXPECT_EQ(odlafile, a.odlafileAfter);
    }
    EXPECT_TRUE(screen.boxes.empty());
}

// A path no file can be made at gives result 1 and creates nothing.
TEST_F(Files, SavesThatCannotOpen) {
    paintCanvas(100, 100);
    fs::create_directory(at("locked"));
    fs::permissions(at("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    std::vector<std::string> folders = {at("missing"), "/proc"};
    if (access(at("locked").c_str(), W_OK) != 0) folders.push_back(at("locked"));
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        tgafile = folder + "/image.tga";
        EXPECT_EQ(writetga(g_vhdc), 1);
        EXPECT_EQ(writedla(1), 1);
        EXPECT_FALSE(fs::exists(folder + "/image.dla"));
    }
    EXPECT_EQ(names(), std::vector<std::string>{"locked"});
}

// A character device is written directly: the full one gives 3. A name missing on the device file system is never
// made into a file (only asked about here: a test writes nothing in /dev).
TEST_F(Files, SavesToADevice) {
    struct stat st {}, root {};
    if (stat("/dev", &st) == 0 && stat("/", &root) == 0 && st.st_dev != root.st_dev) {
        EXPECT_EQ(cannotsave("/dev/zorv-dla-no-such-device"), "it does not exist, and only devices belong in /dev");
    }
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "/dev/full is not a character device here";
    paintCanvas(100, 100);
    tgafile = sdlafile = "/dev/full";
    EXPECT_EQ(writetga(g_vhdc), 3);
    EXPECT_EQ(writedla(0), 3);
}

// A save that fails part-way (the disk fills after 100 bytes) leaves an
// earlier file byte for byte as it was, and nothing at a new name.
TEST_F(Files, AFailedSaveLeavesEarlierFilesUnchanged) {
    paintCanvas(100, 100);
    writeFile(at("old.tga"), "old image");
    writeFile(at("old.dla"), "old parameters");
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit low{100, saved.rlim_max};
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &low);
    for (std::string name : {"old", "new"}) {
        tgafile = at(name + ".tga");
        sdlafile = at(name + ".dla");
        EXPECT_EQ(writetga(g_vhdc), 3) << name;
        EXPECT_EQ(writedla(0), 3) << name;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(readFile(at("old.tga")), "old image");
    EXPECT_EQ(readFile(at("old.dla")), "old parameters");
    EXPECT_EQ(names(), (std::vector<std::string>{"old.dla", "old.tga"}));
}

// The MAP reader on the shapes of file met in practice; a refused file leaves
// the earlier candidate, entries past the file's end are (1, 1, 1).
TEST_F(Files, MapFiles) {
    using Entry = std::array<int, 3>;
    auto lines = [](int n) {
        std::string text;
        for (int i = 0; i < n; ++i) text += std::to_string(i) + " 7 " + std::to_string(255 - i) + "\n";
        return text;
    };
    struct Case {
        const char* name;
        std::string text;
        int result, numbered;        // leading entries as made by lines()
        std::vector<Entry> entries;  // or these
    };
    const Case cases[] = {
        {"256 lines, then text and an empty line", lines(256) + "\nnot numbers\n", 0, 256, {}},
        {"fewer than 256 lines", lines(16), 0, 16, {}},
        {"empty file", "", 0, 0, {}},
        {"colour names, blanks, CRLF", "255 0 0 red\r\n  0   255 \t 0 green\r\n\t0 0 255", 0, 0,
         {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},
        {"values kept to eight bits", "256 300 -1\n", 0, 0, {{0, 44, 255}}},
        {"an empty line before the 256th", lines(10) + "\n" + lines(5), 1, 0, {}},
        {"commas", "10,20,30\n", 1, 0, {}},
    };
    mapfile = at("Mixed Case.map");
    writeFile(at("MIXED CASE.MAP"), "9 9 9\n");  // the path is opened as chosen
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(paltemp, 0x5A, sizeof paltemp);
        writeFile(mapfile, c.text);
        ASSERT_EQ(OpenMapFile(), c.result);
        for (int i = 0; i < 256; ++i) {
            Entry expect = c.result                  ? Entry{0x5A, 0x5A, 0x5A}
                           : i < c.numbered          ? Entry{i, 7, 255 - i}
                           : i < int(c.entries.size()) ? c.entries[i]
                                                     : Entry{1, 1, 1};
            ASSERT_EQ((Entry{paltemp[i][0], paltemp[i][1], paltemp[i][2]}), expect) << "entry " << i;
        }
    }
}

}  // namespace

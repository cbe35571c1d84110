// The Targa image byte for byte and as Pillow decodes it, the parameter file and its loads, MAP files, failed saves;
// saves into open streams, saves in groups where the file system cannot exchange two files or fails twice in a row.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

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
    return {std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {}};
}
void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Every setting the parameter file holds, as one comparable value.
auto snapshot() {
    return std::tuple(algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback, bkgd,
                      std::string(reinterpret_cast<const char*>(palette), 768));
}

// The test's own folder, empty at the start and removed at the end.
class Folder : public ::testing::Test {
protected:
    std::string dir = (fs::temp_directory_path() / ("zorv-files-" + std::to_string(getpid()))).string();
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const std::string& name) const { return dir + "/" + name; }
};

class Files : public Folder {
protected:
    headless::Backend screen;
    void SetUp() override {
        Folder::SetUp();
        resetsettings();
        tgafile = at("image.tga");
        sdlafile = at("*.dla");
        odlafile = at("*.dla");
    }
    void TearDown() override {
        releasecanvas();
        Folder::TearDown();
    }
    // Differs in every channel from pixel to pixel: swapped channels or mirrored rows show.
    static COLORREF pattern(int x, int y) { return RGB(x * 7 + y, y * 5 + 3, x + y * 11 + 1); }
    // A w x h canvas on a main window, painted with the pattern.
    static void paintCanvas(int w, int h) {
        WNDCLASSA wc{0, DefWindowProcA, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "Main"};
        RegisterClassA(&wc);
        xres = w;
        yres = h;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
        for (int i = 0; i < w * h; ++i) SetPixel(g_vhdc, i % w, i / w, pattern(i % w, i / w));
    }
};

// A canvas of 257 x 100 saved as 260 x 103 (a new size not yet applied): the header, every pixel blue-green-red top
// row first (the descriptor says so), white outside, the footer. Python's Pillow decodes it upright to the same size
// and pixels.
TEST_F(Files, TargaFileByteForByteAndAsPillowDecodesIt) {
    paintCanvas(257, 100);
    constexpr int w = 260, h = 103;
    xres = w;
    yres = h;
    ASSERT_EQ(writetga(g_vhdc), 0);
    std::string expect{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, w & 0xFF, w >> 8, h, 0, 24, 0x20};
    std::string decoded = "TGA 260 103 ";
    for (int i = 0; i < w * h; ++i) {
        const COLORREF c = i % w < 257 && i / w < 100 ? pattern(i % w, i / w) : RGB(255, 255, 255);
        expect += {char(GetBValue(c)), char(GetGValue(c)), char(GetRValue(c))};
        decoded += {char(GetRValue(c)), char(GetGValue(c)), char(GetBValue(c))};
    }
    EXPECT_TRUE(readFile(tgafile) == expect + std::string(8, '\0') + std::string("TRUEVISION-XFILE.", 18));
    if (std::system("/usr/bin/python3 -c 'import PIL.Image' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Pillow";
    const std::string command =
        "/usr/bin/python3 -c 'import sys, PIL.Image; im = PIL.Image.open(sys.argv[1]); "
        "sys.stdout.buffer.write(b\"%s %d %d \" % (im.format.encode(), *im.size) + im.convert(\"RGB\").tobytes())' '" +
        tgafile + "' > '" + at("decoded") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(readFile(at("decoded")) == decoded);
}

// The 804-byte record field by field; it brings back nine settings and the palette, also from a longer file and from
// the command line, quoted of any length (unquoted it loses its first and last characters); beside an image it is
// "tree.dla". A short file or an out-of-range value is refused with 1 and changes nothing. Nothing is shown.
TEST_F(Files, ParameterFileLayoutLoadsAndRefusals) {
    // Settings unlike the defaults in every field and a palette unlike the built-in one in every byte.
    std::tie(algorithm, growth, startradius, probability, coloring, greyscale, rback, gback, bback) =
        std::tuple(2, 1, 37, 61, 1, 1, 12, 200, 0);
    repackbackground();
    for (int i = 0; i < 768; ++i) (&palette[0][0])[i] = 255 - (&defaultpalette[0][0])[i];
    const auto written = snapshot();
    const std::string folder = at(std::string(200, 'f') + "/" + std::string(200, 'g') + " with blanks");
    fs::create_directories(folder);
    sdlafile = folder + "/start.dla";
    ASSERT_EQ(writedla(0), 0);
    const std::string valid = readFile(sdlafile);
    const std::int32_t fields[9] = {2, 1, 37, 61, 1, 1, 12, 200, 0};  // little-endian int32s
    ASSERT_EQ(valid.size(), 804u);
    EXPECT_TRUE(std::memcmp(valid.data(), fields, 36) == 0 && std::memcmp(valid.data() + 36, palette, 768) == 0);
    resetsettings();
    const auto defaults = snapshot();
    const std::string missing = at("none.dla"), unquoted = sdlafile.substr(1, sdlafile.size() - 2);
    for (auto [argument, after] : {std::pair{"\"" + sdlafile + "\"", sdlafile}, {sdlafile, unquoted},
                                   {"\"" + missing + "\"", missing}}) {
        resetsettings();
        odlafile = at("*.dla");
        odlatemp = argument;
        loadcommandline();
        EXPECT_TRUE(snapshot() == (after == sdlafile ? written : defaults) && odlafile == after) << argument;
    }
    std::vector<std::pair<std::string, std::string>> bad = {{"empty", ""}, {"803 bytes", valid.substr(0, 803)}};
    const std::int32_t ranges[9][2] = {{0, 2}, {0, 1}, {5, 50}, {1, 100}, {0, 1}, {0, 1}, {0, 255}, {0, 255}, {0, 255}};
    for (int f = 0; f < 9; ++f)
        for (std::int32_t v : {ranges[f][0] - 1, ranges[f][1] + 1, f == 2 ? 2000000000 : INT32_MIN}) {
            bad.push_back({"field " + std::to_string(f) + " = " + std::to_string(v), valid});
            std::memcpy(bad.back().second.data() + 4 * f, &v, 4);
        }
    bad.push_back({"longer file", valid + "longer"});
    for (const auto& [what, bytes] : bad) {
        resetsettings();
        writeFile(at("bad.dla"), bytes);
        odlafile = at("bad.dla");
        EXPECT_EQ(loaddla(), what == "longer file" ? 0 : 1) << what;
        EXPECT_EQ(snapshot(), what == "longer file" ? written : defaults) << what;
    }
    tgafile = at("tree.tga");
    writeFile(tgafile, "img");
    ASSERT_EQ(writedla(1), 0);
    EXPECT_TRUE(sdlafile == at("tree.dla") && readFile(at("tree.dla")) == valid && screen.boxes.empty());
}

// A save that cannot open its file gives 1 and creates nothing; one failing part-way (disk full after 100 bytes) gives
// 3, leaves an earlier file as it was and nothing at a new name. /dev/full, written directly, gives 3; a name missing
// on the device file system is never made a file (only asked: a test writes nothing in /dev).
TEST_F(Files, FailedSavesLeaveEverythingAsItWas) {
    paintCanvas(100, 100);
    fs::create_directory(at("locked"));
    fs::permissions(at("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    std::vector<std::string> folders = {at("missing"), "/proc"};
    if (access(at("locked").c_str(), W_OK) != 0) folders.push_back(at("locked"));
    for (const std::string& folder : folders) {
        tgafile = folder + "/image.tga";
        EXPECT_TRUE(writetga(g_vhdc) == 1 && writedla(1) == 1 && !fs::exists(folder + "/image.dla")) << folder;
    }
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
        EXPECT_TRUE(writetga(g_vhdc) == 3 && writedla(0) == 3) << name;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_TRUE(readFile(at("old.tga")) == "old image" && readFile(at("old.dla")) == "old parameters");
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"locked", "old.dla", "old.tga"}));
    struct stat st {}, root {};
    if (stat("/dev", &st) == 0 && stat("/", &root) == 0 && st.st_dev != root.st_dev) {
        EXPECT_EQ(cannotsave("/dev/zorv-dla-no-such-device"), "it does not exist, and only devices belong in /dev");
    }
    if (stat("/dev/full", &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << "/dev/full is not a character device here";
    tgafile = sdlafile = "/dev/full";
    EXPECT_TRUE(writetga(g_vhdc) == 3 && writedla(0) == 3);
}

// The MAP reader on the shapes of file met in practice: `numbered` leading entries as lines() makes them, or `entries`;
// a refused file leaves the earlier candidate, entries past the file's end are (1, 1, 1), the path is opened as chosen.
TEST_F(Files, MapFiles) {
    using Entry = std::array<int, 3>;
    auto lines = [](int n) {  // entries i, 7, 255 - i
        std::string text;
        for (int i = 0; i < n; ++i) text += std::to_string(i) + " 7 " + std::to_string(255 - i) + "\n";
        return text;
    };
    struct Case { const char* name; std::string text; int result, numbered; std::vector<Entry> entries; };
    const Case cases[] = {
        {"256 lines, then text and an empty line", lines(256) + "\nnot numbers\n", 0, 256, {}},
        {"fewer than 256 lines", lines(16), 0, 16, {}}, {"empty file", "", 0, 0, {}},
        {"colour names, blanks, CRLF", "255 0 0 red\r\n  0   255 \t 0 green\r\n\t0 0 255", 0, 0,
         {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}},
        {"values kept to eight bits", "256 300 -1\n", 0, 0, {{0, 44, 255}}},
        {"an empty line before the 256th", lines(10) + "\n" + lines(5), 1, 0, {}}, {"commas", "10,20,30\n", 1, 0, {}},
    };
    mapfile = at("Mixed Case.map");
    writeFile(at("MIXED CASE.MAP"), "9 9 9\n");
    for (const Case& c : cases) {
        std::memset(paltemp, 0x5A, sizeof paltemp);
        writeFile(mapfile, c.text);
        ASSERT_EQ(OpenMapFile(), c.result) << c.name;
        for (int i = 0; i < 256; ++i) {
            const Entry want = c.result ? Entry{0x5A, 0x5A, 0x5A} : i < c.numbered ? Entry{i, 7, 255 - i}
                               : i < int(c.entries.size()) ? c.entries[i] : Entry{1, 1, 1};
            ASSERT_EQ((Entry{paltemp[i][0], paltemp[i][1], paltemp[i][2]}), want) << c.name << ", entry " << i;
        }
    }
}

// Everything in a folder, by name: a file's bytes.
std::map<std::string, std::string> filesIn(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = readFile(e.path());
    return files;
}

// Saves text to path through a SaveFile; false when any step fails.
bool save(const std::string& path, const std::string& text) {
    SaveFile file;
    return file.open(path) && file.write(text.data(), text.size()) && file.commit();
}

class Saves : public Folder {
protected:
    void TearDown() override {
        savestepcheck = nullptr;
        Folder::TearDown();
    }
    const std::map<std::string, std::string> earlier{{"a", "earlier a"}, {"b", "earlier b"}, {"c", "earlier c"}};
    // Writes the earlier a, b and c, then saves them together, each as "new" and its name.
    bool saveGroup(SaveFailure& failure) {
        for (const auto& [name, text] : earlier) writeFile(at(name), text);
        SaveGroup group;
        for (const char* name : {"a", "b", "c"})
            if (!save(at(name), std::string("new ") + name)) return false;
        return group.commit(failure);
    }
};

// A log opened for appending takes what is saved through /dev/fd/N, /proc/self/fd/N, its own name or a link to
// /dev/fd/N at its end, and stays the same file; a pipe gets the data poured in. A descriptor that is closed or open
// only for reading is refused with a reason.
TEST_F(Saves, AnOpenStreamTakesTheDataAsItStands) {
    writeFile(at("log.txt"), "earlier\n");
    const int log = ::open(at("log.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    ASSERT_GE(log, 0);
    struct stat before {};
    fstat(log, &before);
    const std::string fd = std::to_string(log);
    fs::create_symlink("/dev/fd/" + fd, at("link.txt"));
    EXPECT_TRUE(save("/dev/fd/" + fd, "one\n"));
    EXPECT_TRUE(save("/proc/self/fd/" + fd, "two\n"));
    EXPECT_TRUE(save(at("log.txt"), "three\n"));
    EXPECT_TRUE(save(at("link.txt"), "four\n"));
    struct stat after {};
    ASSERT_EQ(stat(at("log.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "never replaced";
    EXPECT_EQ(readFile(at("log.txt")), "earlier\none\ntwo\nthree\nfour\n");
    EXPECT_EQ(filesIn(dir).size(), 2u) << "no temporary file";

    int pipe[2];
    ASSERT_EQ(pipe2(pipe, O_CLOEXEC), 0);
    EXPECT_TRUE(save("/dev/fd/" + std::to_string(pipe[1]), "through the pipe"));
    close(pipe[1]);
    char got[64] = {};
    EXPECT_EQ(::read(pipe[0], got, sizeof got), 16);
    EXPECT_STREQ(got, "through the pipe");
    EXPECT_EQ(cannotsave("/dev/fd/" + std::to_string(pipe[1])),
              "it names descriptor " + std::to_string(pipe[1]) + ", which is not open");
    EXPECT_EQ(cannotsave("/proc/self/fd/" + std::to_string(pipe[0])),
              "it names descriptor " + std::to_string(pipe[0]) + ", which is not open for writing");
    close(pipe[0]);

    // In a group the stream is written once the files are in place; when it fails part-way, the files go back.
    writeFile(at("a"), "earlier a");
    savestepcheck = [n = 0](SaveStep step, const std::string&) mutable {
        return step == SaveStep::stream && ++n == 2 ? ENOSPC : 0;
    };
    SaveFailure failure;
    {
        SaveGroup group;
        EXPECT_TRUE(save(at("a"), "new a"));
        EXPECT_TRUE(save("/dev/fd/" + fd, std::string(100000, 's')));
        EXPECT_FALSE(group.commit(failure));
    }
    close(log);
    EXPECT_EQ(std::tuple(failure.path, failure.error, failure.stream, failure.written, failure.size),
              std::tuple("/dev/fd/" + fd, ENOSPC, true, std::uintmax_t{65536}, std::uintmax_t{100000}));
    EXPECT_TRUE(failure.stranded.empty() && failure.leftover.empty());
    EXPECT_EQ(readFile(at("a")), "earlier a");
    EXPECT_EQ(readFile(at("log.txt")).size(), 27u + 65536);
}

// Where the file system cannot exchange two files, each earlier file is kept under a hidden name (a hard link, or a
// copy where links are refused) until all are in place: a file that cannot be moved brings every earlier one back and
// leaves nothing hidden. When an earlier file cannot be put back either, it stays under the hidden name, which the
// failure gives.
TEST_F(Saves, WithoutExchangeEarlierFilesAreKeptUntilAllAreInPlace) {
    for (const bool links : {true, false}) {
        SCOPED_TRACE(links ? "hard links" : "copies");
        std::string moving = "none";  // the file that cannot be moved
        int renames = 0;
        savestepcheck = [&](SaveStep step, const std::string& path) {
            if (step == SaveStep::exchange) return EINVAL;
            if (step == SaveStep::link && !links) return EPERM;
            if (step == SaveStep::rename && path == at(moving)) return EBUSY;
            if (step == SaveStep::rename && path == at("a") && ++renames == 2) return EIO;  // putting a back
            return 0;
        };
        SaveFailure failure;
        ASSERT_TRUE(saveGroup(failure));
        EXPECT_EQ(filesIn(dir), (std::map<std::string, std::string>{{"a", "new a"}, {"b", "new b"}, {"c", "new c"}}));

        moving = "c";
        renames = 0;
        EXPECT_TRUE(saveGroup(failure) == false && failure.path == at("c") && failure.error == EBUSY);
        ASSERT_EQ(failure.stranded.size(), 1u) << "a, put back on the second rename";
        const SaveFailure::Stranded& a = failure.stranded[0];
        EXPECT_EQ(std::tuple(a.target, a.error), std::tuple(at("a"), EIO));
        EXPECT_TRUE(a.earlier.starts_with(at(".zorv-dla-keep-")) && a.earlier.size() == at("a").size() + 20);
        const std::string kept = fs::path(a.earlier).filename().string();
        EXPECT_EQ(filesIn(dir), (std::map<std::string, std::string>{
                                    {"a", "new a"}, {"b", "earlier b"}, {"c", "earlier c"}, {kept, "earlier a"}}))
            << "the earlier a never removed";
        fs::remove(a.earlier);

        renames = 2;  // a goes back this time
        EXPECT_FALSE(saveGroup(failure));
        EXPECT_TRUE(failure.stranded.empty() && failure.leftover.empty());
        EXPECT_EQ(filesIn(dir), earlier) << "every earlier file back, nothing hidden";
    }
}

// Two faults in a row: the exchange fails from the third one on (as `strace -e inject=renameat2:error=EIO:when=3+`
// makes it), so c cannot be put in place and the exchanges back fail too; the earlier files come back by plain renames.
// When those fail as well, each earlier file stays under its temporary name, which the failure gives; none is removed.
TEST_F(Saves, TwoFaultsInARowLoseNoEarlierFile) {
    for (const bool renamesFail : {false, true}) {
        SCOPED_TRACE(renamesFail ? "the renames back fail too" : "the renames back work");
        int exchanges = 0;
        savestepcheck = [&](SaveStep step, const std::string&) {
            if (step == SaveStep::exchange && ++exchanges >= 3) return EIO;
            return step == SaveStep::rename && renamesFail ? EIO : 0;
        };
        SaveFailure failure;
        EXPECT_TRUE(saveGroup(failure) == false && failure.path == at("c") && failure.error == EIO);
        if (!renamesFail) {
            EXPECT_TRUE(failure.stranded.empty());
            EXPECT_EQ(filesIn(dir), earlier);
            continue;
        }
        ASSERT_EQ(failure.stranded.size(), 2u);
        for (const SaveFailure::Stranded& s : failure.stranded) {
            const std::string name = s.target.substr(s.target.size() - 1);
            EXPECT_EQ(s.error, EIO);
            EXPECT_EQ(readFile(s.earlier), "earlier " + name) << s.earlier;
            EXPECT_EQ(readFile(s.target), "new " + name);
        }
        EXPECT_EQ(failure.stranded[0].target, at("b")) << "put back in the reverse order";
        EXPECT_EQ(filesIn(dir).size(), 5u) << "a, b, c and the two earlier files; c's new one is gone";
        for (const SaveFailure::Stranded& s : failure.stranded) fs::remove(s.earlier);
    }
}

// A named pipe without a writer, a folder or a device is no MAP or parameter file: refused at once, nothing loaded.
TEST_F(Saves, InputsMustBeRegularFiles) {
    ASSERT_EQ(mkfifo(at("pipe").c_str(), 0644), 0);
    alarm(20);  // a reader that waits for a writer would hang here
    for (const std::string& input : {at("pipe"), dir, std::string("/dev/null")}) {
        mapfile = input;
        odlafile = input;
        EXPECT_EQ(OpenMapFile(), 1) << input;
        EXPECT_EQ(loaddla(), 1) << input;
    }
    alarm(0);
}

}  // namespace

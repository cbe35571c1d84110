// zorv-dla-batch, run in-process: option errors and unusable outputs write
// nothing, a fixed seed repeats byte for byte, a parameter file and a MAP
// palette are used, the PNG copy holds the Targa's pixels, and a failed
// save, a full disk or a stop signal leaves every earlier file as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "batch/batch.h"
#include "files/dlafile.h"
#include "files/savefile.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Pixel (x, y) of a 24-bit top-first Targa file as red, green, blue.
std::array<unsigned char, 3> tgapixel(const std::string& tga, int width, int x, int y) {
    const char* p = tga.data() + 18 + (static_cast<std::size_t>(y) * width + x) * 3;
    return {static_cast<unsigned char>(p[2]), static_cast<unsigned char>(p[1]), static_cast<unsigned char>(p[0])};
}

// A PNG's pixels as red, green, blue bytes.
std::vector<unsigned char> pngpixels(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    return rgb;
}

// A Targa's pixels as red, green, blue bytes.
std::vector<unsigned char> tgapixels(const std::string& tga) {
    std::vector<unsigned char> rgb;
    for (std::size_t i = 18; i + 26 + 3 <= tga.size(); i += 3)
        rgb.insert(rgb.end(), {static_cast<unsigned char>(tga[i + 2]), static_cast<unsigned char>(tga[i + 1]),
                               static_cast<unsigned char>(tga[i])});
    return rgb;
}

class Batch : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("zorv-batch-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::ostringstream out, err;

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        savewritecheck = nullptr;
        fs::remove_all(dir);
    }

    // Runs the program; progress shows the progress line on errors (err by default).
    int run(std::vector<std::string> args, bool progress = false, std::ostream* errors = nullptr) {
        out.str("");
        err.str("");
        std::ostream& e = errors ? *errors : err;
        args.insert(args.begin(), "zorv-dla-batch");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        BatchOptions options;
        int code = parsebatch(static_cast<int>(argv.size()), argv.data(), options, out, e);
        options.progress = progress;
        return code >= 0 ? code : runbatch(options, out, e);
    }
    std::string path(const std::string& name) { return (dir / name).string(); }
    // Everything in the folder: a file's bytes, a link's target, or its kind.
    std::map<std::string, std::string> tree() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            const fs::file_status s = e.symlink_status();
            std::string& f = files[e.path().lexically_relative(dir).string()];
            f = fs::is_symlink(s) ? "-> " + fs::read_symlink(e).string()
                : fs::is_regular_file(s) ? slurp(e.path())
                : fs::is_directory(s)    ? "folder"
                                         : "other";
        }
        return files;
    }
    void writeEarlierFiles() {
        for (const char* name : {"a.tga", "a.dla", "a.png"}) std::ofstream(path(name)) << "earlier " << name;
    }
    // A 100 x 100 image with its PNG: 102 Targa writes (header, rows, footer), 1 of the parameters, then the PNG's.
    std::vector<std::string> saveArgs() {
        return {"--seed", "7", "--size", "100x100", "--png", path("a.png"), path("a.tga")};
    }
};

// Makes the nth save write from now fail.
void failWrite(long n) {
    savewritecheck = [n, count = 0L]() mutable { return ++count != n; };
}

TEST_F(Batch, BadOptionsAndUnusableOutputsSayOneLineAndWriteNothing) {
    std::ofstream(path("short.dla"), std::ios::binary) << std::string(803, '\0');
    std::ofstream(path("file")) << "x";  // a path through a regular file is unwritable, even for root
    std::ofstream(path("old.tga")) << "earlier image";
    ASSERT_EQ(mkfifo(path("pipe.dla").c_str(), 0644), 0);
    fs::create_directory(path("sub"));
    fs::create_directory(path("frames"));
    std::ofstream(path("frames/a-000003.png")) << "an earlier frame";
    fs::create_symlink("old.tga", path("link.png"));
    fs::create_hard_link(path("old.tga"), path("hard.png"));
    fs::create_symlink("loop2.tga", path("loop1.tga"));
    fs::create_symlink("loop1.tga", path("loop2.tga"));
    // A folder whose path is 4080 bytes long: "a.tga" fits in it, the temporary name does not.
    std::string deep = dir.string();
    while (4080 - deep.size() > 202) deep += "/" + std::string(200, 'd');
    deep += "/" + std::string(4080 - deep.size() - 1, 'e');
    fs::create_directories(deep);
    const std::string o = path("a.tga");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--size", "99x400", o}, "100 to 9600"},  {{"--size", "400x9601", o}, "--size"},
        {{"--size", "400", o}, "--size"},          {{"--radius", "4", o}, "5 to 50"},
        {{"--radius", "51", o}, "--radius"},       {{"--stickiness", "0", o}, "1 to 100"},
        {{"--stickiness", "101", o}, "--stickiness"}, {{"--algorithm", "3", o}, "--algorithm"},
        {{"--growth", "sideways", o}, "--growth"}, {{"--coloring", "2", o}, "--coloring"},
        {{"--background", "256,0,0", o}, "0 to 255"}, {{"--seed", "-1", o}, "--seed"},
        {{"--params", path("missing.dla"), o}, "--params"}, {{"--params", path("short.dla"), o}, "--params"},
        {{"--map", path("missing.map"), o}, "--map"}, {{path("no/such/folder/a.tga")}, "does not exist"},
        {{path("file/a.tga")}, "cannot write"},                {{}, "OUTPUT"},
        {{path("pipe.tga")}, "OUTPUT: cannot write '" + path("pipe.dla") +
                                 "': it is neither a regular file nor a character device"},
        {{"--png", o, o}, "--png: '" + o + "' names the same file as '" + o + "'"},
        {{"--png", path("sub/../a.dla"), o}, "--png: '" + path("sub/../a.dla") + "' names the same file as '" +
                                                 path("a.dla") + "'"},
        {{"--png", path("link.png"), path("old.tga")}, "names the same file as '" + path("old.tga") + "'"},
        {{"--png", path("hard.png"), path("old.tga")}, "names the same file as '" + path("old.tga") + "'"},
        {{path("loop1.tga")}, "OUTPUT: cannot write '" + path("loop1.tga") + "': it is a symbolic link that loops"},
        {{path(std::string(252, 'n') + ".tga")}, "': its name is 256 bytes long, more than the 255 its folder allows"},
        {{deep + "/a.tga"}, "': the path of the temporary file beside it would be 4102 bytes long, more than the "
                            "4095 the system allows"},
        {{deep + "/" + std::string(20, 'l') + ".tga"}, "': the path is 4105 bytes long, more than the 4095 the "
                                                        "system allows"},
        {{"--count", "0", o}, "--count: '0' is not a whole number from 1 to 100000"},
        {{"--seed", "4294967295", "--count", "2", o}, "--count: seeds 4294967295 to 4294967296 go past 4294967295"},
        {{"--every", "0", "--frames", path("sub"), o}, "--every: '0' is not a whole number from 1 to 1000000000"},
        {{"--every", "9", o}, "--every requires --frames"},
        {{"--frames", path("file"), o}, "--frames: '" + path("file") + "' is not a folder"},
        {{"--frames", path("frames"), o},
         "--frames: '" + path("frames") + "' already holds frames of a (a-000003.png); remove them or"},
        {{"--frames", path("no/such"), o}, "--frames: cannot make the folder '" + path("no/such") + "'"},
        {{"--points", path("no/p.csv"), o}, "--points: cannot write '" + path("no/p.csv") + "'"},
        {{"--points", path("a.dla"), o}, "--points: '" + path("a.dla") + "' names the same file as '" + path("a.dla")},
        {{"--count", "2", "--png", path("a.dla"), o}, "--png: '" + path("a-0001.dla") + "' names the same file as '" +
                                                        path("a-0001.dla") + "'"},
        {{"-q", "-o", o, o}, "was not expected"},
    };
    const auto before = tree();
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(says);
        EXPECT_EQ(run(args), 2);
        const std::string said = err.str();
        EXPECT_NE(said.find(says), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line: " << said;
        EXPECT_TRUE(tree() == before) << "nothing written";
    }
}

TEST_F(Batch, AFixedSeedRepeatsByteForByteForEveryRule) {
    for (std::string algorithm : {"durero-rudo", "fractint", "fractint-spaces"}) {
        SCOPED_TRACE(algorithm);
        for (const char* name : {"one", "two"})
            ASSERT_EQ(run({"--seed", "42", "--size", "120x100", "--algorithm", algorithm, path(name) + ".tga"}), 0)
                << err.str();
        EXPECT_EQ(slurp(path("one.tga")), slurp(path("two.tga")));
        EXPECT_EQ(slurp(path("one.dla")), slurp(path("two.dla")));
        EXPECT_EQ(slurp(path("one.tga")).size(), 18u + 3 * 120 * 100 + 26);
        EXPECT_NE(out.str().find("random walk moves: "), std::string::npos) << out.str();
        EXPECT_NE(out.str().find("\nparticles: "), std::string::npos) << out.str();
    }
    ASSERT_EQ(run({"--seed", "43", "--size", "120x100", path("three.tga")}), 0);
    EXPECT_NE(slurp(path("one.tga")), slurp(path("three.tga"))) << "another seed grows another cluster";
}

TEST_F(Batch, AParameterFilesSettingsAndPaletteAreUsedAndWrittenBeside) {
    DLA in{};
    in.algorithm = 1;
    in.growth = 1;
    in.startradius = 7;
    in.probability = 90;
    for (auto& entry : in.palette) entry[0] = entry[1] = entry[2] = 200;
    in.palette[1][0] = 10;  // the seed ellipse's colour
    std::ofstream(path("in.dla"), std::ios::binary).write(reinterpret_cast<const char*>(&in), sizeof in);
    ASSERT_EQ(run({"--params", path("in.dla"), "--seed", "5", "--size", "100x100", path("p.tga")}), 0) << err.str();
    const std::string dla = slurp(path("p.dla"));
    ASSERT_EQ(dla.size(), sizeof in);
    EXPECT_EQ(std::memcmp(dla.data(), &in, sizeof in), 0) << "the settings and palette used are those written";
    const std::string tga = slurp(path("p.tga"));
    EXPECT_EQ(tgapixel(tga, 100, 50, 50), (std::array<unsigned char, 3>{0, 0, 0})) << "the file's background";
    EXPECT_EQ(tgapixel(tga, 100, 1, 50), (std::array<unsigned char, 3>{10, 200, 200})) << "the ellipse";
    EXPECT_NE(out.str().find("DLA algorithm: Fractint\n"), std::string::npos) << out.str();
}

TEST_F(Batch, AMapPalettesColoursAreTheImagesAndThePngHasTheTargasPixels) {
    {
        std::ofstream map(path("p.map"));
        for (int i = 0; i < 256; ++i) map << (i % 2 ? "250 0 0" : "0 0 250") << " name\n";
    }
    ASSERT_EQ(run({"--map", path("p.map"), "--seed", "9", "--size", "140x110", "--png", path("m.png"),
                   "--background", "0,0,0", path("m.tga")}), 0) << err.str();
    const std::vector<unsigned char> rgb = tgapixels(slurp(path("m.tga")));
    ASSERT_EQ(rgb.size(), 140u * 110 * 3);
    EXPECT_TRUE(pngpixels(path("m.png")) == rgb);
    std::set<std::array<unsigned char, 3>> colours;
    for (std::size_t i = 0; i < rgb.size(); i += 3) colours.insert({rgb[i], rgb[i + 1], rgb[i + 2]});
    EXPECT_EQ(colours, (std::set<std::array<unsigned char, 3>>{{0, 0, 0}, {250, 0, 0}, {0, 0, 250}}));
}

// A write that fails in any of the files, and a file that cannot be moved
// into place after the others were: exit 1, one line naming the file, and
// the folder as it was, with or without earlier files.
TEST_F(Batch, AFailedSaveChangesNoFileAndLeavesNoTemporary) {
    for (bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "earlier files" : "no earlier files");
        if (earlier) writeEarlierFiles();
        const auto before = tree();
        const std::pair<long, const char*> failures[] = {{1, "a.tga"},   {60, "a.tga"}, {102, "a.tga"},
                                                         {103, "a.dla"}, {104, "a.png"}};
        for (const auto& [write, file] : failures) {
            SCOPED_TRACE(write);
            failWrite(write);
            EXPECT_EQ(run(saveArgs()), 1);
            EXPECT_EQ(err.str(), "zorv-dla-batch: " + path(file) + ": Error writing to save file.\n");
            EXPECT_TRUE(tree() == before);
        }
        // A folder takes the parameter file's place while the PNG is written:
        // the Targa, moved into place first, goes back.
        savewritecheck = [this, count = 0]() mutable {
            if (++count == 104) {
                fs::remove(path("a.dla"));
                fs::create_directory(path("a.dla"));
            }
            return true;
        };
        EXPECT_EQ(run(saveArgs()), 1);
        EXPECT_EQ(err.str(), "zorv-dla-batch: " + path("a.dla") +
                                 ": cannot put the new file in place (Is a directory); no file was changed\n");
        auto expect = before;
        expect["a.dla"] = "folder";
        EXPECT_TRUE(tree() == expect);
        fs::remove(path("a.dla"));
    }
    // The particle list, and a frame, fail while the image grows.
    const auto before = tree();
    failWrite(3);
    EXPECT_EQ(run({"--seed", "7", "-s", "100x100", "--points", path("a.csv"), path("a.tga")}), 1);
    EXPECT_EQ(err.str(), "zorv-dla-batch: " + path("a.csv") + ": Error writing to save file.\n");
    EXPECT_TRUE(tree() == before);
    failWrite(2);
    EXPECT_EQ(run({"--seed", "7", "-s", "100x100", "--frames", path("f"), "--every", "1", path("a.tga")}), 1);
    EXPECT_EQ(err.str(), "zorv-dla-batch: " + path("f/a-000001.png") + ": Error writing to save file.\n");
    fs::remove(path("f"));
    EXPECT_TRUE(tree() == before);

    savewritecheck = nullptr;
    ASSERT_EQ(run(saveArgs()), 0) << err.str();
    const auto after = tree();
    ASSERT_EQ(after.size(), 3u) << "no temporary file";
    EXPECT_EQ(after.at("a.tga").size(), 18u + 3 * 100 * 100 + 26);
    EXPECT_EQ(after.at("a.dla").size(), 804u);
    EXPECT_EQ(after.at("a.png").substr(1, 3), "PNG");
}

// A symbolic link at the output is followed, also to a file not made yet,
// and stays a link.
TEST_F(Batch, LinksAtTheOutputsAreFollowedAndKept) {
    fs::create_directory(path("real"));
    fs::create_symlink("real/x.tga", path("new.tga"));
    std::ofstream(path("real/y.png")) << "earlier png";
    fs::create_symlink("real/y.png", path("old.png"));
    ASSERT_EQ(run({"--seed", "3", "--size", "100x100", "--png", path("old.png"), path("new.tga")}), 0) << err.str();
    const auto files = tree();
    EXPECT_EQ(files.at("new.tga"), "-> real/x.tga");
    EXPECT_EQ(files.at("old.png"), "-> real/y.png");
    EXPECT_EQ(files.at("real/x.tga").size(), 18u + 3 * 100 * 100 + 26);
    EXPECT_EQ(files.at("real/y.png").substr(1, 3), "PNG");
    EXPECT_EQ(files.at("new.dla").size(), 804u);
    EXPECT_EQ(files.size(), 6u) << "no temporary file";
}

// Shows the stream's text and raises a signal the first time a progress line starts.
class SignalOnProgress : public std::stringbuf {
public:
    explicit SignalOnProgress(int signal) : signal_(signal) {}

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (signal_ && std::memchr(s, '\r', static_cast<std::size_t>(n))) std::raise(std::exchange(signal_, 0));
        return std::stringbuf::xsputn(s, n);
    }

private:
    int signal_;
};

// SIGINT or SIGTERM while growing or saving: the progress line ends, one line
// says so, the exit code is 128 + the signal, and the folder is as it was.
TEST_F(Batch, AStopSignalWritesNothing) {
    writeEarlierFiles();
    const auto before = tree();
    SignalOnProgress progress(SIGINT);
    std::ostream progressErrors(&progress);
    EXPECT_EQ(run(saveArgs(), true, &progressErrors), 130);
    const std::string said = progress.str();
    EXPECT_EQ(said.substr(0, 8), "\rradius ");
    EXPECT_EQ(said.substr(said.find('\n')), "\nzorv-dla-batch: interrupted by SIGINT; nothing was written\n");
    EXPECT_TRUE(tree() == before);
    for (long write : {50, 102, 104}) {
        SCOPED_TRACE(write);
        savewritecheck = [write, count = 0L]() mutable {
            if (++count == write) std::raise(SIGTERM);
            return true;
        };
        EXPECT_EQ(run(saveArgs()), 143);
        EXPECT_EQ(err.str(), "zorv-dla-batch: interrupted by SIGTERM; nothing was written\n");
        EXPECT_TRUE(tree() == before);
    }
    savewritecheck = nullptr;

    // The program itself, sent each signal once it has its handlers; with
    // --count, its images' processes end too and leave nothing.
    for (auto [signal, count] : {std::pair{SIGINT, false}, {SIGTERM, false}, {SIGINT, true}}) {
        SCOPED_TRACE(signal);
        const std::string errors = path("errors"), output = path("output");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            dup2(::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            execl(ZORV_BATCH_PROGRAM, "zorv-dla-batch", "--size", "2000x2000", path("a.tga").c_str(),
                  count ? "--count" : nullptr, "2", nullptr);
            _exit(127);
        }
        auto handled = [&] {
            std::ifstream status("/proc/" + std::to_string(child) + "/status");
            for (std::string line; std::getline(status, line);)
                if (line.rfind("SigCgt:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1;
            return 0ull;
        };
        for (int waited = 0; waited < 20000 && !handled(); ++waited) usleep(1000);
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
        EXPECT_EQ(slurp(errors), std::string("zorv-dla-batch: interrupted by ") +
                                     (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                                     (count ? "; 0 of 2 images were written, nothing of the others\n"
                                            : "; nothing was written\n"));
        fs::remove(errors);
        fs::remove(output);
        EXPECT_TRUE(tree() == before);
    }
}

// A run's standard output as lines.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
}

// The text chunks of a PNG file, and its sRGB rendering intent (-1 for none).
std::map<std::string, std::string> pngtext(const std::string& path, int& intent) {
    std::map<std::string, std::string> text;
    intent = -1;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return text;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_textp chunks = nullptr;
        const int n = png_get_text(png, info, &chunks, nullptr);
        for (int i = 0; i < n; ++i) text[chunks[i].key] = chunks[i].text;
        png_get_sRGB(png, info, &intent);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return text;
}

TEST_F(Batch, ARunWithoutSeedReportsOneThatGrowsTheSameFiles) {
    const std::vector<std::string> outputs = {"--png", path("a.png"), "--points", path("a.csv"), path("a.tga")};
    ASSERT_EQ(run(outputs), 0) << err.str();
    const auto said = lines(out.str());
    ASSERT_EQ(said.at(0).rfind("seed: ", 0), 0u) << out.str();
    const std::string seed = said[0].substr(6);
    const std::vector<std::string> wrote(said.end() - 4, said.end());
    EXPECT_EQ(wrote, (std::vector<std::string>{"wrote: " + path("a.tga"), "wrote: " + path("a.dla"),
                                               "wrote: " + path("a.png"), "wrote: " + path("a.csv")}));
    const std::string particles = *std::find_if(said.begin(), said.end(), [](const std::string& l) {
        return l.rfind("particles: ", 0) == 0;
    });

    ASSERT_EQ(run({"--seed", seed, "--json", "--png", path("b.png"), "--points", path("b.csv"), path("b.tga")}), 0);
    for (const char* ext : {".tga", ".dla", ".png", ".csv"})
        EXPECT_TRUE(slurp(path(std::string("a") + ext)) == slurp(path(std::string("b") + ext))) << ext;
    ASSERT_EQ(lines(out.str()).size(), 1u) << "one line of JSON: " << out.str();
    const auto json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json.at("seed").dump(), seed);
    EXPECT_EQ("particles: " + json.at("particles").dump(), particles);
    EXPECT_EQ(json.at("files"), nlohmann::json::array({path("b.tga"), path("b.dla"), path("b.png"), path("b.csv")}));

    ASSERT_EQ(run({"-q", "--seed", seed, path("c.tga")}), 0);
    EXPECT_EQ(out.str(), "") << "quiet";
    EXPECT_EQ(slurp(path("a.tga")), slurp(path("c.tga")));

    // The version is the project's, also in the help's first line.
    EXPECT_EQ(run({"--version"}), 0);
    EXPECT_EQ(out.str(), "zorv-dla-batch " ZORV_PROJECT_VERSION "\n");
    EXPECT_EQ(run({"--help"}), 0);
    EXPECT_EQ(out.str().rfind("zorv-dla-batch " ZORV_PROJECT_VERSION ": ", 0), 0u);
    EXPECT_NE(out.str().find("-s,--size WxH [400x400]"), std::string::npos);
    EXPECT_NE(out.str().find("-a,--algorithm RULE [durero-rudo]"), std::string::npos);
}

TEST_F(Batch, ThePngsTextChunksHoldTheParameters) {
    {
        std::ofstream map(path("blues.map"));
        for (int i = 0; i < 256; ++i) map << "0 0 " << i << "\n";
    }
    ASSERT_EQ(run({"-s", "120x100", "--radius", "7", "--stickiness", "90", "-a", "fractint", "-g", "centripetal",
                   "--coloring", "distance", "--background", "1,2,3", "--map", path("blues.map"), "--seed", "77",
                   "--png", path("a.png"), "-o", path("a.tga")}), 0) << err.str();
    int intent = 0;
    const auto text = pngtext(path("a.png"), intent);
    EXPECT_EQ(text, (std::map<std::string, std::string>{{"Software", "zorv-dla-batch " ZORV_PROJECT_VERSION},
                                                         {"Size", "120x100"},
                                                         {"Radius", "7"},
                                                         {"Stickiness", "90"},
                                                         {"Algorithm", "fractint"},
                                                         {"Growth", "centripetal"},
                                                         {"Coloring", "distance"},
                                                         {"Greyscale", "no"},
                                                         {"Background colour", "1,2,3"},
                                                         {"Map", path("blues.map")},
                                                         {"Seed", "77"}}));
    EXPECT_EQ(intent, PNG_sRGB_INTENT_PERCEPTUAL);
}

// One line of a particle list.
struct Point {
    long id, parent;
    int x, y, index;
    std::array<unsigned char, 3> rgb;
};

std::vector<Point> readpoints(const std::string& csv, std::string& header) {
    std::vector<Point> points;
    std::istringstream in(csv);
    std::getline(in, header);
    for (std::string line; std::getline(in, line);) {
        Point p{};
        unsigned r = 0, g = 0, b = 0;
        if (std::sscanf(line.c_str(), "%ld,%ld,%d,%d,%d,#%2x%2x%2x", &p.id, &p.parent, &p.x, &p.y, &p.index, &r, &g,
                        &b) != 8)
            ADD_FAILURE() << "malformed: " << line;
        p.rgb = {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b)};
        points.push_back(p);
    }
    return points;
}

// Each rule and direction, particles resting on the cluster (stickiness
// below 100), and particles drawn in the background's own grey.
TEST_F(Batch, ThePointsAreATreeThatRedrawsTheImage) {
    struct Case {
        std::vector<std::string> options;
        // The distance from a particle to its parent, in the larger of x
        // and y: the rule's contact pixel is next to the resting place, or
        // (rule 2) next to a pixel next to it; below 100% stickiness a
        // walker can stand on the cluster and rest on the pixel it found.
        int nearest, farthest;
        bool oncluster;  // some particle comes to rest on a cluster pixel
        bool greys;
    };
    const Case cases[] = {
        {{"-a", "durero-rudo"}, 1, 1, false, false},
        {{"-a", "fractint"}, 1, 1, false, false},
        {{"-a", "fractint-spaces"}, 0, 2, false, false},
        {{"-a", "durero-rudo", "--stickiness", "30", "--coloring", "distance"}, 0, 1, true, false},
        {{"-g", "centripetal", "-a", "fractint", "--stickiness", "50"}, 1, 1, true, false},
        {{"-g", "centripetal", "-a", "fractint-spaces"}, 0, 2, false, false},
        {{"-g", "centripetal", "--greyscale", "--background", "128,128,128", "--stickiness", "40"}, 0, 1, true, true},
    };
    const int side = 100;
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        SCOPED_TRACE(::testing::PrintToString(args));
        args.insert(args.end(), {"--seed", "31", "-s", "100x100", "--json", "--points", path("p.csv"), path("p.tga")});
        ASSERT_EQ(run(args), 0) << err.str();
        const auto json = nlohmann::json::parse(out.str());
        std::string header;
        const std::vector<Point> points = readpoints(slurp(path("p.csv")), header);
        EXPECT_EQ(header, "id,parent,x,y,colour_index,colour");
        const std::string tga = slurp(path("p.tga"));
        const std::string dla = slurp(path("p.dla"));
        const std::array<unsigned char, 3> background = tgapixel(tga, side, 0, 0);

        // The seeds come first, without parents; every particle after them has one.
        std::size_t seeds = 0;
        while (seeds < points.size() && points[seeds].parent == -1) ++seeds;
        EXPECT_EQ(points.size() - seeds, json.at("particles").get<std::size_t>());
        EXPECT_EQ(seeds == 1, json.at("growth") == "centrifugal") << seeds << " seeds";
        bool onthecluster = false, inthebackground = false;
        std::set<std::pair<int, int>> taken;
        std::vector<unsigned char> drawn(static_cast<std::size_t>(side) * side * 3);
        for (std::size_t i = 0; i < drawn.size(); i += 3) std::memcpy(&drawn[i], background.data(), 3);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const Point& p = points[i];
            ASSERT_EQ(p.id, static_cast<long>(i));
            ASSERT_LT(p.parent, p.id);
            if (i >= seeds && p.parent < 0) {
                // Its contact was off the canvas, next to it or (rule 2) next but one.
                EXPECT_LT(std::min({p.x, p.y, side - 1 - p.x, side - 1 - p.y}), c.farthest) << p.id;
            } else if (i >= seeds) {
                const Point& parent = points[static_cast<std::size_t>(p.parent)];
                const int distance = std::max(std::abs(p.x - parent.x), std::abs(p.y - parent.y));
                EXPECT_GE(distance, c.nearest) << p.id;
                EXPECT_LE(distance, c.farthest) << p.id;
            }
            onthecluster |= !taken.insert({p.x, p.y}).second;
            // The colour is the palette entry named, or a grey shade outside the palette.
            if (p.index > 0) EXPECT_EQ(0, std::memcmp(p.rgb.data(), dla.data() + 36 + 3 * p.index, 3)) << p.id;
            else EXPECT_TRUE(c.greys && p.rgb[0] == p.rgb[1] && p.rgb[1] == p.rgb[2]) << p.id;
            inthebackground |= p.rgb == background;
            // Off the canvas (out through a gap in the ellipse) a particle leaves no pixel.
            if (p.x >= 0 && p.x < side && p.y >= 0 && p.y < side)
                std::memcpy(&drawn[(static_cast<std::size_t>(p.y) * side + p.x) * 3], p.rgb.data(), 3);
        }
        EXPECT_TRUE(drawn == tgapixels(tga)) << "drawing the points in order gives the image";
        if (c.oncluster) {
            EXPECT_TRUE(onthecluster) << "a particle came to rest on a cluster pixel";
        }
        if (c.greys) {
            EXPECT_TRUE(inthebackground) << "a particle was drawn in the background's grey";
        }
    }
}

TEST_F(Batch, CountGrowsNumberedImagesThatEqualSingleRuns) {
    ASSERT_EQ(run({"--count", "3", "--seed", "40", "-s", "100x100", "--png", path("p.png"), path("a.tga")}), 0)
        << err.str();
    std::vector<std::string> seeds;
    for (const std::string& line : lines(out.str()))
        if (line.rfind("seed: ", 0) == 0) seeds.push_back(line);
    EXPECT_EQ(seeds, (std::vector<std::string>{"seed: 40", "seed: 41", "seed: 42"})) << "in image order";
    std::set<std::string> images;
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(run({"-q", "--seed", std::to_string(39 + i), "-s", "100x100", "--png", path("one.png"),
                       path("one.tga")}), 0);
        const std::string n = "-000" + std::to_string(i);
        EXPECT_TRUE(slurp(path("a" + n + ".tga")) == slurp(path("one.tga")));
        EXPECT_TRUE(slurp(path("a" + n + ".dla")) == slurp(path("one.dla")));
        EXPECT_TRUE(slurp(path("p" + n + ".png")) == slurp(path("one.png")));
        images.insert(slurp(path("one.tga")));
    }
    EXPECT_EQ(images.size(), 3u) << "three different images";
    EXPECT_EQ(tree().size(), 3u * 3 + 3) << "no other file";

    ASSERT_EQ(run({"--count", "2", "--seed", "40", "-s", "100x100", "--json", path("j.tga")}), 0);
    const auto json = lines(out.str());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(nlohmann::json::parse(json[1]).at("files").at(0), path("j-0002.tga"));
}

// Frames every n particles and the last one, the finished image; frames
// written before a stop signal stay, complete.
TEST_F(Batch, FramesShowTheGrowthAndEndWithTheImage) {
    ASSERT_EQ(run({"--seed", "8", "-s", "100x100", "--json", "--frames", path("f"), "--every", "250", path("a.tga")}),
              0) << err.str();
    const auto json = nlohmann::json::parse(out.str());
    const long particles = json.at("particles").get<long>();
    const long frames = (particles + 249) / 250;
    EXPECT_EQ(json.at("frames"), (nlohmann::json{{"folder", path("f")}, {"count", frames}}));
    auto files = tree();
    EXPECT_EQ(files.size(), 3u + frames);
    char last[32];
    std::snprintf(last, sizeof last, "f/a-%06ld.png", frames);
    ASSERT_EQ(files.count(last), 1u);
    EXPECT_TRUE(pngpixels(path(last)) == tgapixels(files.at("a.tga")));
    EXPECT_NE(files.at("f/a-000001.png"), files.at("f/a-000002.png"));

    fs::remove_all(path("f"));
    fs::remove(path("a.tga"));
    fs::remove(path("a.dla"));
    SignalOnProgress progress(SIGINT);
    std::ostream progressErrors(&progress);
    EXPECT_EQ(run({"--seed", "8", "-s", "100x100", "--frames", path("f"), "--every", "1", path("a.tga")}, true,
                  &progressErrors),
              130);
    const std::string said = progress.str();
    EXPECT_EQ(said.substr(said.find('\n')),
              "\nzorv-dla-batch: interrupted by SIGINT; nothing was written but 1 frame in " + path("f") + "\n");
    files = tree();
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(files.at("f/a-000001.png").substr(1, 3), "PNG");
}

// A real full disk: a small tmpfs mounted over the test's folder, with just
// enough room left for none, one or two of the files.
class FullDisk : public Batch {
protected:
    bool mounted = false;
    const long page = sysconf(_SC_PAGESIZE);

    void SetUp() override {
        Batch::SetUp();
        if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
        // In a mount namespace of its own the mount ends with the process, however it ends.
        if (unshare(CLONE_NEWNS) == 0) mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        const std::string size = "size=" + std::to_string(64 * page);
        if (mount("zorv-test", dir.c_str(), "tmpfs", 0, size.c_str()) != 0)
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted) umount2(dir.c_str(), MNT_DETACH);
        Batch::TearDown();
    }
    // Fills the disk, then frees the given number of pages.
    void leaveFree(long pages) {
        int fd = ::open(path("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(page, 'f');
        off_t size = 0;
        while (::write(fd, block.data(), block.size()) == page) size += page;
        ASSERT_EQ(ftruncate(fd, size - pages * page), 0);
        close(fd);
    }
};

TEST_F(FullDisk, EachFileThatDoesNotFitChangesNothing) {
    writeEarlierFiles();
    const long tga = (18 + 3 * 100 * 100 + 26 + page - 1) / page;
    const std::pair<long, const char*> cases[] = {{tga - 1, "a.tga"}, {tga, "a.dla"}, {tga + 1, "a.png"}};
    for (const auto& [pages, file] : cases) {
        SCOPED_TRACE(file);
        leaveFree(pages);
        const auto before = tree();
        EXPECT_EQ(run(saveArgs()), 1);
        EXPECT_EQ(err.str(), "zorv-dla-batch: " + path(file) + ": Error writing to save file.\n");
        EXPECT_TRUE(tree() == before);
    }
    fs::remove(path("filler"));
    ASSERT_EQ(run(saveArgs()), 0) << err.str();
    EXPECT_EQ(tree().size(), 3u);
}

}  // namespace

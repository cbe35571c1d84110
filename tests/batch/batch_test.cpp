// zorv-dla-batch, run in-process: its options, its files and its output.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "batch/batch.h"
#include "files/dlafile.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

class Batch : public ::testing::Test {
protected:
    fs::path dir;
    std::ostringstream out, err;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zorv-batch-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }

    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), "zorv-dla-batch");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        BatchOptions options;
        int code = parsebatch(static_cast<int>(argv.size()), argv.data(), options, out, err);
        if (code >= 0) return code;
        return runbatch(options, out, err);
    }
    std::string path(const std::string& name) { return (dir / name).string(); }
    int files() { return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator())); }
};

// Pixel (x, y) of a 24-bit top-first Targa file as red, green, blue.
std::array<unsigned char, 3> tgapixel(const std::string& tga, int width, int x, int y) {
    std::size_t at = 18 + (static_cast<std::size_t>(y) * width + x) * 3;
    return {static_cast<unsigned char>(tga[at + 2]), static_cast<unsigned char>(tga[at + 1]),
            static_cast<unsigned char>(tga[at])};
}

// A report without the lines that hold times.
std::string withoutTimes(const std::string& report) {
    std::istringstream in(report);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("hours", 0) && line.rfind("minutes", 0) && line.rfind("seconds", 0) && line.rfind("elapsed", 0))
            kept += line + "\n";
    return kept;
}

TEST_F(Batch, BadOptionsNameTheOptionAndTheRangeAndWriteNothing) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    std::string out = path("a.tga");
    std::vector<Case> cases = {
        {{"--size", "99x400", out}, "--size"},
        {{"--size", "400x9601", out}, "100 to 9600"},
        {{"--size", "400", out}, "--size"},
        {{"--radius", "4", out}, "5 to 50"},
        {{"--radius", "51", out}, "--radius"},
        {{"--stickiness", "0", out}, "1 to 100"},
        {{"--stickiness", "abc", out}, "--stickiness"},
        {{"--algorithm", "3", out}, "--algorithm"},
        {{"--growth", "sideways", out}, "--growth"},
        {{"--coloring", "2", out}, "--coloring"},
        {{"--background", "256,0,0", out}, "0 to 255"},
        {{"--background", "1,2", out}, "--background"},
        {{"--seed", "-1", out}, "--seed"},
        {{"--params", path("missing.dla"), out}, "--params"},
        {{"--map", path("missing.map"), out}, "--map"},
        {{"--greyscale", "--map", path("x.map"), out}, "--map"},
        {{path("a.png")}, ".tga"},
        {{path("no/such/folder/a.tga")}, "does not exist"},
        {{}, "OUTPUT"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        EXPECT_EQ(run(c.args), 2);
        std::string said = err.str();
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line: " << said;
        EXPECT_EQ(files(), 0);
    }
}

TEST_F(Batch, UnwritableFolderAndShortParameterFileWriteNothing) {
    if (::geteuid() == 0) {
        // root writes anywhere; a path through a regular file cannot be written by anyone
        std::ofstream(path("file")) << "x";
        EXPECT_EQ(run({path("file/a.tga")}), 2);
    } else {
        fs::create_directories(dir / "ro");
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(run({path("ro/a.tga")}), 2);
        EXPECT_TRUE(fs::is_empty(dir / "ro"));
    }
    std::ofstream(path("short.dla"), std::ios::binary) << std::string(803, '\0');
    EXPECT_EQ(run({"--params", path("short.dla"), path("b.tga")}), 2);
    EXPECT_FALSE(fs::exists(path("b.tga")));
    EXPECT_FALSE(fs::exists(path("b.dla")));
}

TEST_F(Batch, AFixedSeedRepeatsByteForByteAndReportsTheRun) {
    for (std::string algorithm : {"durero-rudo", "fractint", "fractint-spaces"}) {
        SCOPED_TRACE(algorithm);
        ASSERT_EQ(run({"--seed", "42", "--size", "120x100", "--algorithm", algorithm, path("one.tga")}), 0)
            << err.str();
        std::string report = out.str();
        ASSERT_EQ(run({"--seed", "42", "--size", "120x100", "--algorithm", algorithm, path("two.tga")}), 0);
        EXPECT_EQ(slurp(path("one.tga")), slurp(path("two.tga")));
        EXPECT_EQ(slurp(path("one.dla")), slurp(path("two.dla")));
        EXPECT_EQ(slurp(path("one.tga")).size(), 18u + 3 * 120 * 100 + 26);
        EXPECT_EQ(slurp(path("one.dla")).size(), 804u);
        for (const char* line : {"hours: ", "minutes: ", "seconds: ", "startradius: 10\n", "stickiness: 100 %\n",
                                 "distancemax: ", "radius: ", "pixel count: ", "random walk moves: ",
                                 "DLA algorithm: ", "Coloring algorithm: pixel count\n", "particles: ",
                                 "elapsed: "})
            EXPECT_NE(("\n" + report).find(std::string("\n") + line), std::string::npos) << line << "\n" << report;
        EXPECT_EQ(report.find("\n\n"), std::string::npos) << "no empty lines";
        EXPECT_EQ(withoutTimes(report), withoutTimes(out.str())) << "the same walk, step for step";
    }
    ASSERT_EQ(run({"--seed", "43", "--size", "120x100", path("three.tga")}), 0);
    EXPECT_NE(slurp(path("one.tga")), slurp(path("three.tga"))) << "another seed grows another cluster";
}

TEST_F(Batch, ParameterFileSettingsAndPaletteAreUsedAndWrittenBeside) {
    DLA in{};
    in.algorithm = 1;
    in.growth = 1;
    in.startradius = 7;
    in.probability = 90;
    in.coloring = 0;
    in.greyscale = 0;
    in.rback = 0;
    in.gback = 0;
    in.bback = 0;
    for (int i = 0; i < 256; ++i) in.palette[i][0] = in.palette[i][1] = in.palette[i][2] = 200;
    in.palette[1][0] = 10;  // the seed ellipse's colour
    std::ofstream(path("in.dla"), std::ios::binary).write(reinterpret_cast<const char*>(&in), sizeof in);
    ASSERT_EQ(run({"--params", path("in.dla"), "--seed", "5", "--size", "100x100", path("p.tga")}), 0) << err.str();
    std::string dla = slurp(path("p.dla"));
    ASSERT_EQ(dla.size(), 804u);
    EXPECT_EQ(std::memcmp(dla.data(), &in, 804), 0) << "the settings and palette used are those written";
    std::string tga = slurp(path("p.tga"));
    EXPECT_EQ(tgapixel(tga, 100, 50, 50), (std::array<unsigned char, 3>{0, 0, 0})) << "black background";
    EXPECT_EQ(tgapixel(tga, 100, 1, 50), (std::array<unsigned char, 3>{10, 200, 200})) << "the ellipse";
    EXPECT_NE(out.str().find("distancemin: "), std::string::npos);
    EXPECT_NE(out.str().find("DLA algorithm: Fractint\n"), std::string::npos);
    // Options given beside the file override it.
    ASSERT_EQ(run({"--params", path("in.dla"), "--radius", "12", "--size", "100x100", path("q.tga")}), 0);
    DLA q;
    std::string qd = slurp(path("q.dla"));
    std::memcpy(&q, qd.data(), sizeof q);
    EXPECT_EQ(q.startradius, 12);
    EXPECT_EQ(q.growth, 1);
}

TEST_F(Batch, MapPaletteColoursTheImageAndThePngMatchesTheTarga) {
    {
        std::ofstream map(path("p.map"));
        for (int i = 0; i < 256; ++i) map << (i % 2 ? "250 0 0" : "0 0 250") << " name\n";
    }
    ASSERT_EQ(run({"--map", path("p.map"), "--seed", "9", "--size", "140x110", "--png", path("m.png"),
                   "--background", "0,0,0", path("m.tga")}),
              0)
        << err.str();
    std::string tga = slurp(path("m.tga"));
    std::set<std::array<unsigned char, 3>> colours;
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 140; ++x) colours.insert(tgapixel(tga, 140, x, y));
    EXPECT_EQ(colours, (std::set<std::array<unsigned char, 3>>{{0, 0, 0}, {250, 0, 0}, {0, 0, 250}}));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path("m.png").c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ(image.width, 140u);
    ASSERT_EQ(image.height, 110u);
    int wrong = 0;
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 140; ++x) {
            auto t = tgapixel(tga, 140, x, y);
            const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * 140 + x) * 3];
            wrong += t[0] != p[0] || t[1] != p[1] || t[2] != p[2];
        }
    EXPECT_EQ(wrong, 0);
}

}  // namespace

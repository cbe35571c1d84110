// zorv-dla-batch, run in-process: option errors write nothing, a fixed seed
// repeats byte for byte, a parameter file and a MAP palette are used, and
// the PNG copy holds the Targa's pixels.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <array>
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

// Pixel (x, y) of a 24-bit top-first Targa file as red, green, blue.
std::array<unsigned char, 3> tgapixel(const std::string& tga, int width, int x, int y) {
    const char* p = tga.data() + 18 + (static_cast<std::size_t>(y) * width + x) * 3;
    return {static_cast<unsigned char>(p[2]), static_cast<unsigned char>(p[1]), static_cast<unsigned char>(p[0])};
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
    void TearDown() override { fs::remove_all(dir); }

    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        args.insert(args.begin(), "zorv-dla-batch");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        BatchOptions options;
        int code = parsebatch(static_cast<int>(argv.size()), argv.data(), options, out, err);
        return code >= 0 ? code : runbatch(options, out, err);
    }
    std::string path(const std::string& name) { return (dir / name).string(); }
};

TEST_F(Batch, BadOptionsAndUnusableFilesSayOneLineAndWriteNothing) {
    std::ofstream(path("short.dla"), std::ios::binary) << std::string(803, '\0');
    std::ofstream(path("file")) << "x";  // a path through a regular file is unwritable, even for root
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
    };
    for (const auto& [args, says] : cases) {
        SCOPED_TRACE(says);
        EXPECT_EQ(run(args), 2);
        const std::string said = err.str();
        EXPECT_NE(said.find(says), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << "one line: " << said;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "nothing written";
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
    const std::string tga = slurp(path("m.tga"));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path("m.png").c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ(image.width, 140u);
    ASSERT_EQ(image.height, 110u);
    std::set<std::array<unsigned char, 3>> colours;
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 140; ++x) {
            const auto t = tgapixel(tga, 140, x, y);
            colours.insert(t);
            ASSERT_EQ(0, std::memcmp(t.data(), &rgb[(static_cast<std::size_t>(y) * 140 + x) * 3], 3)) << x << "," << y;
        }
    EXPECT_EQ(colours, (std::set<std::array<unsigned char, 3>>{{0, 0, 0}, {250, 0, 0}, {0, 0, 250}}));
}

}  // namespace

// zorv-dla-batch as a researcher runs it, in-process: growth that ends after so many particles, images in either
// format or none at all, and a JSON line from which the run grows again.
#include <set>

#include <nlohmann/json.hpp>

#include "tests/batch/fixture.h"

using namespace batchtest;

namespace {

// The lines of a text file, without their ends.
std::vector<std::string> linesof(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Everything the folder holds, by name, folders included.
std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir)) found.insert(e.path().lexically_relative(dir).string());
    return found;
}

// A researcher asks for 300 particles: the list holds the seed and the first 300 particles of the complete image, the
// frames hold 120, 240 and 300 particles, the last frame is the image, and the report says why growth ended. Asked for
// more particles than the image takes, the run is the complete one.
TEST_F(Batch, GrowthEndsAfterTheParticlesAskedFor) {
    ASSERT_EQ(run({"--seed", "12", "-s", "150x150", "--json", "--points", path("full.csv"), path("full.tga")}), 0);
    const auto full = nlohmann::json::parse(out.str());
    EXPECT_EQ(full.at("end"), "complete");
    EXPECT_GT(full.at("final_walk").get<long long>(), 0) << "the walk that reached the limit";
    ASSERT_GT(full.at("particles").get<long>(), 300);

    ASSERT_EQ(run({"--seed", "12", "-s", "150x150", "--particles", "300", "--json", "--points", path("p.csv"),
                   "--frames", path("f"), "--every", "120", path("p.tga")}), 0) << err.str();
    const auto json = nlohmann::json::parse(out.str());
    const nlohmann::json limited = {{"end", "particles"}, {"particles", 300}, {"particles_limit", 300},
                                    {"final_walk", 0}};
    for (const auto& [key, value] : limited.items()) EXPECT_EQ(json.at(key), value) << key;
    const auto all = linesof(slurp(path("full.csv")));
    EXPECT_EQ(linesof(slurp(path("p.csv"))), std::vector(all.begin(), all.begin() + 302)) << "header, seed, 300";
    EXPECT_EQ(json.at("frames").at("count"), 3);
    EXPECT_EQ(readpng(path("f/p-000001.png")).text["Particles"], "120");
    EXPECT_EQ(readpng(path("f/p-000002.png")).text["Particles"], "240");
    EXPECT_NE(readpng(path("f/p-000001.png")).rgb, readpng(path("f/p-000002.png")).rgb) << "each its own moment";
    const Png last = readpng(path("f/p-000003.png"));
    EXPECT_EQ(last.text.at("Particles"), "300");
    EXPECT_TRUE(last.rgb == tgapixels(slurp(path("p.tga"))));
    EXPECT_NE(slurp(path("p.tga")), slurp(path("full.tga")));

    ASSERT_EQ(run({"--seed", "12", "-s", "150x150", "--particles", "0300", path("q.tga")}), 0);
    EXPECT_NE(out.str().find("\nparticles: 300\nend: particles\nelapsed: "), std::string::npos) << out.str();
    EXPECT_EQ(slurp(path("q.tga")), slurp(path("p.tga")));

    ASSERT_EQ(run({"--seed", "12", "-s", "150x150", "--particles", "4294967295", path("r.tga")}), 0);
    EXPECT_NE(out.str().find("\nend: complete\n"), std::string::npos) << out.str();
    EXPECT_EQ(slurp(path("r.tga")), slurp(path("full.tga")));
}

// x.tga is a Targa and x.PNG a PNG of the same image, each with the .dla beside it; --png adds a copy. A run may write
// no image at all: only the JSON line, only the particle list, or only frames, named after the list or else "frame",
// numbered for --count as the image's are.
TEST_F(Batch, TheImageFormatFollowsItsNameAndMayBeLeftOut) {
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", "--png", path("copy.png"), path("a.tga")}), 0);
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", path("b.PNG")}), 0);
    EXPECT_EQ(names(dir), (std::set<std::string>{"a.tga", "a.dla", "copy.png", "b.PNG", "b.dla"}));
    const Png png = readpng(path("b.PNG"));
    EXPECT_TRUE(png.rgb == tgapixels(slurp(path("a.tga"))));
    EXPECT_EQ(png.text, readpng(path("copy.png")).text);
    EXPECT_EQ(png.text.at("Seed"), "4");
    EXPECT_EQ(slurp(path("b.dla")), slurp(path("a.dla")));

    auto before = names(dir);
    ASSERT_EQ(run({"--seed", "4", "-s", "120x100", "--json"}), 0);
    EXPECT_EQ(nlohmann::json::parse(out.str()).at("files"), nlohmann::json::array());
    EXPECT_EQ(names(dir), before) << "nothing written";

    // One frame, the finished image, each time.
    ASSERT_EQ(run({"--json", "--seed", "4", "-s", "120x100", "--frames", path("g"), "--every", "1000000", "--points",
                   path("list.csv")}), 0);
    EXPECT_EQ(nlohmann::json::parse(out.str()).at("files"), nlohmann::json::array({path("list.csv")}));
    before.insert({"list.csv", "g", "g/list-000001.png"});
    EXPECT_EQ(names(dir), before) << "the list and its frame alone";
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", "--frames", path("f"), "--every", "1000000"}), 0);
    EXPECT_EQ(names(path("f")), std::set<std::string>{"frame-000001.png"});
    EXPECT_TRUE(readpng(path("f/frame-000001.png")).rgb == tgapixels(slurp(path("a.tga"))));
    ASSERT_EQ(run({"-q", "--count", "2", "--particles", "50", "-s", "100x100", "--frames", path("h")}), 0);
    EXPECT_EQ(names(path("h")), (std::set<std::string>{"frame-0001-000001.png", "frame-0002-000001.png"}));
    // Four images on every core share a frames folder that does not exist yet: it is made once, before they start,
    // and each image's frames are in it; no image says anything.
    for (const std::string folder : {"i1", "i2", "i3"}) {
        ASSERT_EQ(run({"-q", "--count", "4", "--particles", "50", "-s", "100x100", "--frames", path(folder),
                       path("my.tree.tga")}), 0) << folder;
        EXPECT_EQ(err.str(), "");
        EXPECT_EQ(names(path(folder)), (std::set<std::string>{"my.tree-0001-000001.png", "my.tree-0002-000001.png",
                                                              "my.tree-0003-000001.png", "my.tree-0004-000001.png"}));
    }
}

// A --map run grown again from its JSON line alone: the options and a MAP file made from the palette it lists give the
// same Targa and parameter file. Every number is decimal, leading zeros or not: 0160 is 160 and 07 is 7.
TEST_F(Batch, TheJsonLineGrowsTheRunAgain) {
    std::ofstream map(path("warm.map"));
    for (int i = 0; i < 256; ++i) map << i << " " << (255 - i) / 2 << " " << (i * 7) % 256 << "  a comment\n";
    map.close();
    ASSERT_EQ(run({"--map", path("warm.map"), "--seed", "0100", "--count", "02", "-s", "0160x0130", "--radius", "07",
                   "--stickiness", "060", "-a", "02", "-g", "01", "--coloring", "distance", "--background",
                   "020,030,040", "--particles", "0400", "--threads", "02", "--frames", path("f"), "--every", "0200",
                   "--json", path("a.tga")}), 0) << err.str();
    const auto lines = linesof(out.str());
    ASSERT_EQ(lines.size(), 2u);
    const nlohmann::json want = {{"version", ZORV_PROJECT_VERSION}, {"map", path("warm.map")}, {"width", 160},
        {"height", 130}, {"startradius", 7}, {"stickiness", 60}, {"algorithm", "fractint-spaces"},
        {"growth", "centripetal"}, {"background", {20, 30, 40}}, {"particles_limit", 400}, {"particles", 400},
        {"threads", 2}, {"end", "particles"}, {"frames", {{"folder", path("f")}, {"count", 2}, {"every", 200}}}};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto json = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(json.at("seed"), 100 + i);
        for (const auto& [key, value] : want.items()) EXPECT_EQ(json.at(key), value) << key;
    }
    const auto json = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(json.at("palette").at("from"), "map");
    EXPECT_EQ(json.at("palette").at("colours").at(3), "#037e15");

    // Only what the JSON line says.
    std::ofstream again(path("again.map"));
    for (const auto& colour : json.at("palette").at("colours")) {
        const std::string hex = colour.get<std::string>();
        again << std::stoi(hex.substr(1, 2), nullptr, 16) << " " << std::stoi(hex.substr(3, 2), nullptr, 16) << " "
              << std::stoi(hex.substr(5, 2), nullptr, 16) << "\n";
    }
    again.close();
    const auto& bg = json.at("background");
    std::vector<std::string> args = {
        "-q", "--map", path("again.map"), "--seed", json.at("seed").dump(),
        "-s", json.at("width").dump() + "x" + json.at("height").dump(), "--radius", json.at("startradius").dump(),
        "--stickiness", json.at("stickiness").dump(), "-a", json.at("algorithm").get<std::string>(),
        "-g", json.at("growth").get<std::string>(), "--coloring", json.at("coloring").get<std::string>(),
        "--background", bg.at(0).dump() + "," + bg.at(1).dump() + "," + bg.at(2).dump(),
        "--particles", json.at("particles_limit").dump(), path("b.tga")};
    ASSERT_EQ(run(args), 0) << err.str();
    EXPECT_EQ(slurp(path("b.tga")), slurp(path("a-0001.tga")));
    EXPECT_EQ(slurp(path("b.dla")), slurp(path("a-0001.dla")));
}

}  // namespace

// zorv-dla-batch as a researcher runs it, in-process: growth that ends after so many particles, images in either
// format or none at all, each particle's walk and kind in the list, decimal numbers, errors in the tool's own words,
// a progress line that fits its terminal, and a JSON line from which the run grows again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

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

// The fields of a line of the particle list.
std::vector<std::string> fieldsof(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
    return fields;
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
    EXPECT_EQ(json.at("end"), "particles");
    EXPECT_EQ(json.at("particles"), 300);
    EXPECT_EQ(json.at("particles_limit"), 300);
    EXPECT_EQ(json.at("final_walk"), 0);
    const auto all = linesof(slurp(path("full.csv")));
    EXPECT_EQ(linesof(slurp(path("p.csv"))), std::vector(all.begin(), all.begin() + 302)) << "header, seed, 300";
    EXPECT_EQ(json.at("frames").at("count"), 3);
    EXPECT_EQ(readpng(path("f/p-000001.png")).text["Particles"], "120");
    EXPECT_EQ(readpng(path("f/p-000002.png")).text["Particles"], "240");
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

// An inward run, 600 x 400 at stickiness 30, with the list alone and no image: the seed pixels come first
// with parent -1, then particles against the cluster with their parents and particles against the canvas's edge
// without one; the walks' steps and the last walk add up to the moves; walkers were put back and contacts refused.
TEST_F(Batch, EachParticlesWalkAndKindAreListed) {
    ASSERT_EQ(run({"--seed", "2017", "-s", "600x400", "-g", "centripetal", "--stickiness", "30", "--json", "--points",
                   path("p.csv")}), 0) << err.str();
    const auto json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json.at("files"), nlohmann::json::array({path("p.csv")}));
    EXPECT_EQ(names(dir), std::set<std::string>{"p.csv"}) << "no image";
    const auto lines = linesof(slurp(path("p.csv")));
    ASSERT_EQ(lines.at(0), "id,parent,x,y,colour_index,colour,steps,escapes,refused,kind");
    std::map<std::string, long> kinds;
    long long steps = 0, escapes = 0, refused = 0;
    bool seeding = true;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto f = fieldsof(lines[i]);
        ASSERT_EQ(f.size(), 10u) << lines[i];
        const std::string& kind = f[9];
        ++kinds[kind];
        if (kind != "seed") seeding = false;
        EXPECT_TRUE(kind != "seed" || seeding) << "seed pixels come first: " << lines[i];
        EXPECT_EQ(f[1] == "-1", kind == "seed" || kind == "edge") << lines[i];
        EXPECT_TRUE(kind != "seed" || (f[6] == "0" && f[7] == "0" && f[8] == "0")) << lines[i];
        steps += std::stoll(f[6]);
        escapes += std::stoll(f[7]);
        refused += std::stoll(f[8]);
    }
    EXPECT_GT(kinds["seed"], 1000) << "the seed ellipse";
    EXPECT_GT(kinds["edge"], 0);
    EXPECT_GT(kinds["cluster"], 1000);
    EXPECT_EQ(kinds.size(), 3u);
    EXPECT_EQ(kinds["edge"] + kinds["cluster"], json.at("particles").get<long>());
    EXPECT_EQ(steps + json.at("final_walk").get<long long>(), json.at("moves").get<long long>());
    EXPECT_GT(escapes, 0);
    EXPECT_GT(refused, kinds["cluster"]) << "at 30% most contacts are refused";
}

// x.tga is a Targa and x.PNG a PNG of the same image, each with the .dla beside it; --png adds a copy. A run may write
// no image at all: only the JSON line, or only frames, named after the list or else "frame", numbered for --count as
// the image's are.
TEST_F(Batch, TheImageFormatFollowsItsNameAndMayBeLeftOut) {
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", "--png", path("copy.png"), path("a.tga")}), 0);
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", path("b.PNG")}), 0);
    EXPECT_EQ(names(dir), (std::set<std::string>{"a.tga", "a.dla", "copy.png", "b.PNG", "b.dla"}));
    const Png png = readpng(path("b.PNG"));
    EXPECT_TRUE(png.rgb == tgapixels(slurp(path("a.tga"))));
    EXPECT_EQ(png.text, readpng(path("copy.png")).text);
    EXPECT_EQ(png.text.at("Seed"), "4");
    EXPECT_EQ(slurp(path("b.dla")), slurp(path("a.dla")));

    const auto before = names(dir);
    ASSERT_EQ(run({"--seed", "4", "-s", "120x100", "--json"}), 0);
    EXPECT_EQ(nlohmann::json::parse(out.str()).at("files"), nlohmann::json::array());
    EXPECT_EQ(names(dir), before) << "nothing written";

    // One frame, the finished image, each time.
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", "--frames", path("f"), "--every", "1000000"}), 0);
    EXPECT_EQ(names(path("f")), std::set<std::string>{"frame-000001.png"});
    EXPECT_TRUE(readpng(path("f/frame-000001.png")).rgb == tgapixels(slurp(path("a.tga"))));
    ASSERT_EQ(run({"-q", "--seed", "4", "-s", "120x100", "--frames", path("g"), "--every", "1000000", "--points",
                   path("list.csv")}), 0);
    EXPECT_EQ(names(path("g")), std::set<std::string>{"list-000001.png"});
    ASSERT_EQ(run({"-q", "--count", "2", "--particles", "50", "-s", "100x100", "--frames", path("h")}), 0);
    EXPECT_EQ(names(path("h")), (std::set<std::string>{"frame-0001-000001.png", "frame-0002-000001.png"}));
    ASSERT_EQ(run({"-q", "--count", "2", "--particles", "50", "-s", "100x100", "--frames", path("i"),
                   path("my.tree.tga")}), 0);
    EXPECT_EQ(names(path("i")), (std::set<std::string>{"my.tree-0001-000001.png", "my.tree-0002-000001.png"}));
}

// Every number is decimal, leading zeros or not: 0100 is 100 and 09 is 9.
TEST_F(Batch, NumbersAreDecimal) {
    ASSERT_EQ(run({"--seed", "0100", "--count", "02", "-s", "0100x0120", "--radius", "09", "--stickiness", "090",
                   "--particles", "0100", "--threads", "02", "-a", "01", "--background", "010,020,030", "--frames",
                   path("f"), "--every", "050", "--json"}), 0) << err.str();
    const auto lines = linesof(out.str());
    ASSERT_EQ(lines.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto json = nlohmann::json::parse(lines[i]);
        EXPECT_EQ(json.at("seed"), 100 + i);
        EXPECT_EQ(json.at("width"), 100);
        EXPECT_EQ(json.at("height"), 120);
        EXPECT_EQ(json.at("startradius"), 9);
        EXPECT_EQ(json.at("stickiness"), 90);
        EXPECT_EQ(json.at("particles"), 100);
        EXPECT_EQ(json.at("threads"), 2);
        EXPECT_EQ(json.at("algorithm"), "fractint");
        EXPECT_EQ(json.at("background"), nlohmann::json::array({10, 20, 30}));
        EXPECT_EQ(json.at("frames").at("every"), 50);
        EXPECT_EQ(json.at("frames").at("count"), 2);
    }
}

// A --map run grown again from its JSON line alone: the options and a MAP file made from the palette it lists give the
// same Targa and parameter file.
TEST_F(Batch, TheJsonLineGrowsTheRunAgain) {
    std::ofstream map(path("warm.map"));
    for (int i = 0; i < 256; ++i) map << i << " " << (255 - i) / 2 << " " << (i * 7) % 256 << "  a comment\n";
    map.close();
    ASSERT_EQ(run({"--map", path("warm.map"), "-s", "160x130", "--radius", "7", "--stickiness", "60", "-a", "2", "-g",
                   "1", "--coloring", "distance", "--background", "20,30,40", "--particles", "400", "--threads", "2",
                   "--json", path("a.tga")}), 0) << err.str();
    const auto json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json.at("version"), ZORV_PROJECT_VERSION);
    EXPECT_EQ(json.at("map"), path("warm.map"));
    EXPECT_EQ(json.at("palette").at("from"), "map");
    EXPECT_EQ(json.at("palette").at("colours").at(3), "#037e15");
    EXPECT_EQ(json.at("threads"), 2);
    EXPECT_EQ(json.at("end"), "particles");

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
    EXPECT_EQ(slurp(path("b.tga")), slurp(path("a.tga")));
    EXPECT_EQ(slurp(path("b.dla")), slurp(path("a.dla")));
}

// Every error is one line: the program's name, the option or file, and what is wrong, also for the errors the
// command-line reader finds.
TEST_F(Batch, EveryErrorIsOneLineInTheToolsOwnWords) {
    const std::string o = path("a.tga");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"-o", o, path("b.tga")}, "'" + path("b.tga") + "': one OUTPUT only, this is one too many (see --help)"},
        {{"--seed", "1", "--seed", "2", o}, "--seed: given 2 times, once at most (see --help)"},
        {{"--bogus", o}, "--bogus: there is no such option (see --help)"},
        {{"--greyscale", "--map", path("x.map"), o}, "--greyscale: not with --map (see --help)"},
        {{"--every", "3", o}, "--every: only with --frames (see --help)"},
        {{o, "--seed"}, "--seed: N is missing (see --help)"},
        {{"--seed", "09x", o}, "--seed: '09x' is not a whole number from 0 to 4294967295"},
        {{"--particles", "0", o}, "--particles: '0' is not a whole number from 1 to 4294967295"},
        {{"-q"}, "OUTPUT is missing: name the image to write (FILE.tga or FILE.png), or give --points, --frames or "
                 "--json (see --help)"},
        {{"--json", "--png", path("c.png")}, "--png: a copy of the image needs OUTPUT; to write the PNG alone, name it "
                                             "as OUTPUT (see --help)"},
        {{path("c.bmp")}, "OUTPUT: '" + path("c.bmp") + "' must name a .tga or a .png file"},
        {{"--count", "2", "--points", "-", o},
         "--points: standard output (-) cannot take the files of --count's images; name a file, which is numbered for "
         "each image (see --help)"},
    };
    for (const auto& [args, says] : cases) {
        EXPECT_EQ(run(args), 2) << says;
        EXPECT_EQ(err.str(), "zorv-dla-batch: " + says + "\n");
    }
    EXPECT_TRUE(names(dir).empty());
}

// On a terminal 40 columns wide the progress line never takes more than 40: it drops what does not fit, the images
// under way of a --count batch first.
TEST_F(Batch, TheProgressLineFitsItsWidth) {
    columns = 40;
    const std::vector<std::string> runs[] = {
        {"--seed", "3", "-s", "300x300", "--particles", "3000", "--threads", "1", path("a.tga")},
        {"--seed", "3", "--count", "3", "-s", "300x300", "--particles", "3000", path("b.tga")}};
    for (const auto& args : runs) {
        std::ostringstream progress;
        ASSERT_EQ(run(args, &progress), 0) << progress.str();
        const std::string shown = progress.str();
        EXPECT_TRUE(shown.starts_with(args[2] == "--count" ? "\rimages 0 of 3 done" : "\rradius ")) << shown;
        std::istringstream lines(shown);
        std::size_t shownlines = 0;
        for (std::string line; std::getline(lines, line, '\r');) {
            EXPECT_LE(line.find('\n') == std::string::npos ? line.size() : line.find('\n'), 40u) << line;
            if (!line.empty()) ++shownlines;
        }
        EXPECT_GE(shownlines, 1u);
    }
}

}  // namespace

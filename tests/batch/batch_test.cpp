// zorv-dla-batch, run in-process: refusals write nothing, a seed grows the same files again, the PNG and the particle
// list describe the image, and a failed save (also where files cannot be exchanged), a full disk or a stop signal
// leaves every earlier file as it was or says where it lies. As a researcher runs it: growth that ends after so many
// particles, images in either format or none at all, and a JSON line from which the run grows again.
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <nlohmann/json.hpp>

#include "files/dlafile.h"
#include "tests/batch/fixture.h"

using namespace batchtest;

namespace {

TEST_F(Batch, BadOptionsAndUnusableOutputsSayOneLineAndWriteNothing) {
    for (const char* folder : {"frames", "fr"}) fs::create_directories(path(folder));
    fs::create_directory_symlink("fr", path("frlink"));
    // "file": a path through a regular file is unwritable, even for root.
    for (auto [name, text] : {std::pair{"short.dla", std::string(803, '\0')}, {"file", "x"}, {"old.tga", "earlier"},
                              {"frames/a-000003.png", "an earlier frame"}})
        std::ofstream(path(name), std::ios::binary) << text;
    ASSERT_EQ(mkfifo(path("pipe.dla").c_str(), 0644), 0);
    fs::create_symlink("old.tga", path("link.png"));
    fs::create_hard_link(path("old.tga"), path("hard.png"));
    fs::create_symlink("loop.tga", path("loop.tga"));
    // A folder whose path is 4080 bytes long: "a.tga" fits in it, the temporary name does not.
    std::string deep = dir.string();
    while (4080 - deep.size() > 202) deep += "/" + std::string(200, 'd');
    deep += "/" + std::string(4080 - deep.size() - 1, 'e');
    fs::create_directories(deep);
    const std::string o = path("a.tga"), same = "' names the same file as '", a1 = path("a-0001.dla");
    auto whole = [](const std::string& says) { return "zorv-dla-batch: " + says + "\n"; };  // the line, word for word
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "OUTPUT"}, {{"--params", path("missing.dla"), o}, "--params"},
        {{"--params", path("short.dla"), o}, "--params"}, {{"--map", path("missing.map"), o}, "--map"},
        {{path("no/such/folder/a.tga")}, "does not exist"}, {{path("file/a.tga")}, "cannot write"},
        {{"--frames", path("file"), o}, "' is not a folder"},
        {{"--seed", "4294967295", "--count", "2", o}, "--count: seeds 4294967295 to 4294967296 go past 4294967295"},
        {{"--every", "0", "--frames", dir, o}, "--every: '0' is not a whole number from 1 to 1000000000"},
        {{"--frames", path("frames"), o}, "' already holds frames of a (a-000003.png); remove them or"},
        {{"--frames", path("no/such"), o}, "--frames: cannot make the folder '" + path("no/such") + "'"},
        {{"--points", path("no/p.csv"), o}, "--points: cannot write '" + path("no/p.csv") + "'"},
        {{"--points", path("a.dla"), o}, "--points: '" + path("a.dla") + same + path("a.dla")},
        {{"--count", "2", "--png", path("a.dla"), o}, "--png: '" + a1 + same + a1 + "'"},
        {{"--png", o, o}, "--png: '" + o + same + o + "'"},
        {{"--png", path("frames/../a.dla"), o}, "--png: '" + path("frames/../a.dla") + same + path("a.dla") + "'"},
        {{"--png", path("link.png"), path("old.tga")}, same + path("old.tga") + "'"},
        {{"--png", path("hard.png"), path("old.tga")}, same + path("old.tga") + "'"},
        {{path("pipe.tga")}, path("pipe.dla") + "': it is neither a regular file nor a character device"},
        {{path("loop.tga")}, "OUTPUT: cannot write '" + path("loop.tga") + "': it is a symbolic link that loops"},
        {{path(std::string(252, 'n') + ".tga")}, "': its name is 256 bytes long, more than the 255 its folder allows"},
        {{deep + "/a.tga"}, "': the path of the temporary file beside it would be 4102 bytes long, more than the 4095"},
        {{deep + "/" + std::string(20, 'l') + ".tga"}, "': the path is 4105 bytes long, more than the 4095 the system"},
        // Any frame of the time-lapse, not only the first, also through a link to its folder.
        {{"--frames", path("fr"), "--png", path("fr/a-000002.png"), o},
         "--png: '" + path("fr/a-000002.png") + "' would be replaced by frame 2 of --frames"},
        {{"--frames", path("fr"), "--points", path("frlink/a-1234567.png"), o},
         "--points: '" + path("frlink/a-1234567.png") + "' would be replaced by frame 1234567 of --frames"},
        {{"--frames", path("new"), path(std::string(245, 'n') + ".tga")},
         "--frames: cannot write '" + path("new/" + std::string(245, 'n') + "-000001.png") +
             "': its name is 256 bytes long, more than the 255 its folder allows"},
        // Inputs that are not files, such as a named pipe without a writer, which would keep the run waiting.
        {{"--map", path("pipe.dla"), o}, "--map: cannot read '" + path("pipe.dla") + "': it is a named pipe, not a regular"},
        {{"--params", path("frames"), o}, "--params: cannot read '" + path("frames") + "': it is a folder, not a regular"},
        {{"--params", "/dev/null", o},
         "--params: cannot read '/dev/null': it is a character device, not a regular file"},
        // Word for word, also the errors the command-line reader finds.
        {{"-o", o, path("b.tga")},
         whole("'" + path("b.tga") + "': one OUTPUT only, this is one too many (see --help)")},
        {{"--seed", "1", "--seed", "2", o}, whole("--seed: given 2 times, once at most (see --help)")},
        {{"--bogus", o}, whole("--bogus: there is no such option (see --help)")},
        {{"--greyscale", "--map", path("x.map"), o}, whole("--greyscale: not with --map (see --help)")},
        {{"--every", "3", o}, whole("--every: only with --frames (see --help)")},
        {{o, "--seed"}, whole("--seed: N is missing (see --help)")},
        {{"--seed", "09x", o}, whole("--seed: '09x' is not a whole number from 0 to 4294967295")},
        {{"--particles", "0", o}, whole("--particles: '0' is not a whole number from 1 to 4294967295")},
        {{"-q"}, whole("OUTPUT is missing: name the image to write (FILE.tga or FILE.png), or give --points, --frames "
                       "or --json (see --help)")},
        {{"--json", "--png", path("c.png")}, whole("--png: a copy of the image needs OUTPUT; to write the PNG alone, "
                                                   "name it as OUTPUT (see --help)")},
        {{path("c.bmp")}, whole("OUTPUT: '" + path("c.bmp") + "' must name a .tga or a .png file")},
        {{"--count", "2", "--points", "-", o},
         whole("--points: standard output (-) cannot take the files of --count's images; name a file, which is "
               "numbered for each image (see --help)")},
    };
    for (const std::string bad : {"--size=99x400", "--size=400x9601", "--size=400", "--radius=4", "--radius=51",
                                  "--stickiness=0", "--stickiness=101", "--algorithm=3", "--growth=sideways",
                                  "--coloring=2", "--background=256,0,0", "--seed=-1", "--count=0"})
        cases.push_back({{bad, o}, bad.substr(0, bad.find('=')) + ": '" + bad.substr(bad.find('=') + 1) + "' is not "});
    const auto before = tree();
    for (const auto& [args, says] : cases) {
        EXPECT_EQ(run(args), 2) << says;
        EXPECT_TRUE(err.str().starts_with("zorv-dla-batch: ") && err.str().find(says) != std::string::npos &&
                    std::ranges::count(err.str(), '\n') == 1 && err.str().ends_with('\n')) << err.str();
        EXPECT_TRUE(tree() == before) << "nothing written: " << says;
    }
}

// A --count run without --seed says each image's seed, which grows that image's files again alone, byte for byte, also
// with --json, --quiet (through a dangling link, kept) or frames every n particles; images differ.
TEST_F(Batch, TheSeedsOfACountGrowTheSameFilesAlone) {
    ASSERT_EQ(run({"--count=2", "-s", "100x100", "--png", path("a.png"), "--points", path("a.csv"), path("a.tga")}), 0);
    const std::string said = out.str(), seed = said.substr(6, said.find('\n') - 6), a2 = "wrote: " + path("a-0002.");
    const std::string next = std::to_string(std::stoll(seed) + 1);
    EXPECT_TRUE(said.starts_with("seed: ") && said.find("\n\nseed: " + next + "\n") != std::string::npos) << said;
    EXPECT_TRUE(said.ends_with(a2 + "tga\n" + a2 + "dla\n" + a2 + "png\n" + a2 + "csv\n")) << said;
    EXPECT_NE(said.find("\nrandom walk moves: "), std::string::npos) << said;
    EXPECT_EQ(tree().size(), 8u) << "no other file";

    ASSERT_EQ(run({"--seed", seed, "--json", "--frames", path("f"), "--every", "250", "-s", "100x100", "--png",
                   path("b.png"), "--points", path("b.csv"), path("b.tga")}), 0);
    for (const char* ext : {".tga", ".dla", ".png", ".csv"})
        EXPECT_TRUE(slurp(path(std::string("a-0001") + ext)) == slurp(path(std::string("b") + ext))) << ext;
    ASSERT_EQ(std::ranges::count(out.str(), '\n'), 1) << "one line of JSON: " << out.str();
    const auto json = nlohmann::json::parse(out.str());
    EXPECT_EQ(json.at("seed").dump(), seed);
    EXPECT_LT(said.find("\nparticles: " + json.at("particles").dump() + "\n"), said.find("\nseed: " + next));
    EXPECT_EQ(json.at("files"), nlohmann::json::array({path("b.tga"), path("b.dla"), path("b.png"), path("b.csv")}));
    fs::create_symlink("c-real.tga", path("c.tga"));
    ASSERT_EQ(run({"-q", "--seed", next, "-s", "100x100", path("c.tga")}), 0);
    EXPECT_EQ(out.str(), "") << "quiet";
    EXPECT_TRUE(slurp(path("a-0002.tga")) == slurp(path("c.tga")) && slurp(path("a-0001.tga")) != slurp(path("c.tga")));
    EXPECT_EQ(fs::read_symlink(path("c.tga")), "c-real.tga");
    EXPECT_TRUE(run({"--version"}) == 0 && out.str() == "zorv-dla-batch " ZORV_PROJECT_VERSION "\n") << out.str();
    EXPECT_TRUE(run({"--help"}) == 0 && out.str().starts_with("zorv-dla-batch " ZORV_PROJECT_VERSION ": "));
    EXPECT_NE(out.str().find("-s,--size WxH [400x400]"), std::string::npos);
    EXPECT_NE(out.str().find("-a,--algorithm RULE [durero-rudo]"), std::string::npos);
}

// Each rule and direction, below 100% stickiness, in greyscale, with a parameter file and a MAP file: the list is a
// tree whose parents lie where the contact rule looks (next to the resting place, next but one for rule 2, or under it
// below 100% stickiness), its walks add up to the moves, walkers were put back and (only below 100%) contacts were
// refused, drawing it in order gives the image, and the PNG holds that image and its settings.
TEST_F(Batch, ThePointsAreATreeThatRedrawsTheImage) {
    DLA in{1, 1, 7, 90, 0, 0, 0, 0, 0, {}};  // Fractint, centripetal, radius 7, stickiness 90, black background
    std::ofstream(path("in.dla"), std::ios::binary).write(reinterpret_cast<const char*>(&in), sizeof in);
    std::ofstream map(path("p.map"));
    for (int i = 0; i < 256; ++i) {
        in.palette[i][i % 2 ? 0 : 2] = 90;
        map << (i % 2 ? "90 0 0" : "0 0 90") << std::endl;
    }
    in.coloring = 1;
    const std::tuple<std::vector<std::string>, int, int> cases[] = {  // options, nearest and farthest parent
        {{"-a", "durero-rudo"}, 1, 1}, {{"-a", "fractint"}, 1, 1}, {{"-a", "fractint-spaces"}, 0, 2},
        {{"--stickiness", "30", "--coloring", "1"}, 0, 1}, {{"-g", "centripetal", "-a", "fractint-spaces"}, 0, 2},
        {{"-g", "centripetal", "--greyscale", "--background", "128,128,128", "--stickiness", "40"}, 0, 1},
        {{"-g", "centripetal", "--stickiness", "30"}, 0, 1},  // seeds, particles at the edge and on the cluster
        {{"--params", path("in.dla"), "--coloring", "distance", "--map", path("p.map")}, 1, 1}};
    for (auto [args, nearest, farthest] : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        args.insert(args.end(), {"--seed", "31", "-s", "100x100", "--json", "--points", path("p.csv"), "--png",
                                 path("p.png"), path("p.tga")});
        ASSERT_EQ(run(args), 0) << err.str();
        std::istringstream csv(slurp(path("p.csv")));
        std::string line;
        const std::string dla = slurp(path("p.dla"));
        const auto image = tgapixels(slurp(path("p.tga")));
        ASSERT_EQ(image.size(), 100u * 100 * 3);
        std::vector<unsigned char> drawn(image.size());
        for (std::size_t i = 0; i < drawn.size(); ++i) drawn[i] = image[i % 3];  // the background, as in the corner
        std::vector<std::pair<long, long>> at;  // each particle's place
        std::size_t seeds = 0;                // first, without parents
        ASSERT_TRUE(std::getline(csv, line) && line == "id,parent,x,y,colour_index,colour,steps,escapes,refused,kind");
        long long steps = 0, putback = 0, refusals = 0;  // of every particle
        std::set<std::string> kinds;
        while (std::getline(csv, line)) {
            long id = 0, parent = 0, x = 0, y = 0, index = 0;
            long long walk = 0, escapes = 0, refused = 0;
            unsigned char rgb[3];
            char kind[16] = "";
            const char* format = "%ld,%ld,%ld,%ld,%ld,#%2hhx%2hhx%2hhx,%lld,%lld,%lld,%15s";
            ASSERT_EQ(std::sscanf(line.c_str(), format, &id, &parent, &x, &y, &index, rgb, rgb + 1, rgb + 2, &walk,
                                  &escapes, &refused, kind), 12) << line;
            ASSERT_TRUE(id == static_cast<long>(at.size()) && parent < id) << line;
            steps += walk;
            kinds.insert(kind);
            putback += escapes;
            refusals += refused;
            if (parent == -1 && seeds == at.size()) {
                ++seeds;
                EXPECT_TRUE(kind == std::string("seed") && walk == 0 && escapes == 0 && refused == 0) << line;
            } else if (parent < 0) {  // its contact was off the canvas: next to the edge, or (rule 2) next but one
                EXPECT_LT(std::min({x, y, 99 - x, 99 - y}), farthest) << line;
                EXPECT_EQ(kind, std::string("edge")) << line;
            } else {
                EXPECT_EQ(kind, std::string("cluster")) << line;
                const auto [px, py] = at[static_cast<std::size_t>(parent)];
                const int distance = std::max(std::abs(x - px), std::abs(y - py));
                EXPECT_TRUE(distance >= nearest && distance <= farthest) << line;
            }
            at.emplace_back(x, y);
            // The palette entry named, or (0) a grey shade outside the palette.
            EXPECT_TRUE(index > 0 ? std::memcmp(rgb, dla.data() + 36 + 3 * index, 3) == 0
                                  : rgb[0] == rgb[1] && rgb[1] == rgb[2]) << line;
            // Off the canvas (out through a gap in the ellipse) a particle leaves no pixel.
            if (x >= 0 && x < 100 && y >= 0 && y < 100) std::memcpy(&drawn[(y * 100 + x) * 3], rgb, 3);
        }
        const auto json = nlohmann::json::parse(out.str());
        EXPECT_EQ(at.size() - seeds, json.at("particles").get<std::size_t>());
        EXPECT_EQ(steps + json.at("final_walk").get<long long>(), json.at("moves").get<long long>());
        EXPECT_EQ(seeds == 1, json.at("growth") == "centrifugal") << seeds << " seeds";
        EXPECT_GT(putback, 0) << "walkers that went too far were put back";
        EXPECT_EQ(refusals > 0, json.at("stickiness") < 100) << "contacts are refused only below 100% stickiness";
        EXPECT_TRUE(drawn == image) << "drawing the points in order gives the image";
        if (args[1] == "centripetal" && args[3] == "30") {
            EXPECT_EQ(kinds, (std::set<std::string>{"seed", "edge", "cluster"})) << "inward at 30, every kind";
        }
        const Png png = readpng(path("p.png"));
        EXPECT_TRUE(png.rgb == image && png.intent == PNG_sRGB_INTENT_PERCEPTUAL);
        if (args[0] != "--params") continue;
        EXPECT_TRUE(dla == std::string(reinterpret_cast<const char*>(&in), sizeof in)) << "the settings as used";
        EXPECT_EQ(png.text, (std::map<std::string, std::string>{{"Software", "zorv-dla-batch " ZORV_PROJECT_VERSION},
                  {"Size", "100x100"}, {"Radius", "7"}, {"Stickiness", "90"}, {"Algorithm", "fractint"}, {"Seed", "31"},
                  {"Growth", "centripetal"}, {"Coloring", "distance"}, {"Greyscale", "no"}, {"Params", path("in.dla")},
                  {"Background colour", "0,0,0"}, {"Map", path("p.map")}, {"Particles", json.at("particles").dump()}}));
    }
}

// A write failing in any file, a SIGTERM while saving (negative: at that write), a folder put at the parameter file's
// place while the PNG is written (the Targa, already in place, goes back), a failing particle list or frame: exit 1
// (143), one line, the folder as it was. SIGINT (also with --count) ends the progress line and keeps whole frames.
TEST_F(Batch, AFailedOrStoppedSaveChangesNoFileAndLeavesNoTemporary) {
    fs::create_directory(path("f"));  // a frame that fails leaves its folder
    const std::tuple<long, std::string, std::vector<std::string>> cases[] = {
        {1, "a.tga", {}}, {60, "a.tga", {}}, {102, "a.tga", {}}, {103, "a.dla", {}}, {104, "a.png", {}},
        {-50, "", {}}, {-102, "", {}}, {-104, "", {}}, {3, "a.csv", {"--points", path("a.csv")}},
        {2, "f/a-000001.png", {"--frames", path("f"), "--every", "1"}}, {0, "a.dla/", {}}};
    for (bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "earlier files" : "no earlier files");
        if (earlier) writeEarlierFiles();
        const auto before = tree();
        for (const auto& [write, file, more] : cases) {
            savewritecheck = [this, write = write, n = 0L]() mutable {
                if (++n == -write) std::raise(SIGTERM);
                if (write == 0 && n == 104) {
                    fs::remove(path("a.dla"));
                    fs::create_directory(path("a.dla"));
                }
                return n != write;
            };
            expectSaveFails(file, before, more);
        }
        fs::remove(path("a.dla"));
    }
    savewritecheck = nullptr;
    fs::remove(path("f"));
    const auto before = tree();
    const std::tuple<std::vector<std::string>, std::string, std::string> stops[] = {
        {{"--seed", "8", "-s", "100x100", "--frames", path("f"), "--every", "1", path("a.tga")}, "\rradius ",
         "\nzorv-dla-batch: interrupted by SIGINT; nothing was written but 1 frame in " + path("f") + "\n"},
        {{"--count", "2", "-s", "2000x2000", path("a.tga")}, "\rimages ",
         "\rzorv-dla-batch: interrupted by SIGINT; 0 of 2 images were written, nothing of the others\n"}};
    for (const auto& [args, starts, ends] : stops) {
        SignalOnProgress progress;
        std::ostream errors(&progress);
        EXPECT_EQ(run(args, &errors), 130);
        EXPECT_TRUE(progress.str().starts_with(starts) && progress.str().ends_with(ends)) << progress.str();
        EXPECT_TRUE(!fs::exists(path("f")) || readpng(path("f/a-000001.png")).rgb.size() == 100u * 100 * 3);
        fs::remove_all(path("f"));
        EXPECT_TRUE(tree() == before) << "the images' processes end too";
    }
}

// On a file system that cannot exchange two files (FUSE, NFS), with hard links or only copies: the PNG cannot be put in
// place, and the Targa and parameter file already replaced come back from their hidden copies; nothing was changed and
// the line says so. When the Targa cannot be put back either, the line names it and its hidden copy, which stays.
TEST_F(Batch, WithoutExchangeEveryEarlierFileComesBackOrIsFound) {
    writeEarlierFiles();
    const auto before = tree();
    const std::string busy = "zorv-dla-batch: " + path("a.png") + ": cannot put the new file in place (Device or "
                             "resource busy)";
    for (const bool links : {true, false}) {
        SCOPED_TRACE(links ? "hard links" : "copies");
        int targarenames = 0;
        int failing = 0;  // the rename of the Targa that fails: none, or the one putting it back
        savestepcheck = [&](SaveStep step, const std::string& file) {
            if (step == SaveStep::exchange) return EINVAL;
            if (step == SaveStep::link && !links) return EPERM;
            if (step == SaveStep::rename && file == path("a.png")) return EBUSY;
            if (step == SaveStep::rename && file == path("a.tga") && ++targarenames == failing) return EIO;
            return 0;
        };
        EXPECT_EQ(run({"--seed", "7", "-s", "100x100", "--png", path("a.png"), path("a.tga")}), 1);
        EXPECT_EQ(err.str(), busy + "; no file was changed\n");
        EXPECT_TRUE(tree() == before);

        targarenames = 0;
        failing = 2;
        EXPECT_EQ(run({"--seed", "7", "-s", "100x100", "--png", path("a.png"), path("a.tga")}), 1);
        auto after = tree();
        std::string kept;
        for (const auto& [name, bytes] : after)
            if (name.starts_with(".zorv-dla-keep-")) kept = name;
        EXPECT_EQ(err.str(), busy + "; " + path("a.tga") + " could not be put back (Input/output error): its earlier "
                             "version is now " + path(kept) + "\n");
        EXPECT_EQ(after[kept], "earlier a.tga");
        EXPECT_EQ(after["a.tga"].size(), 30044u) << "the new image";
        EXPECT_EQ(after.size(), 4u) << "the Targa, its hidden earlier copy, the parameters and the PNG as they were";
        EXPECT_TRUE(after["a.dla"] == before.at("a.dla") && after["a.png"] == before.at("a.png"));
        fs::remove(path(kept));
        writeEarlierFiles();
    }
}

// A real full disk: a small tmpfs mounted over the test's folder, with just enough room left for none, one or two of
// the files.
TEST_F(Batch, AFullDiskChangesNoFile) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
    // In a mount namespace of its own the mount ends with the process, however it ends.
    if (unshare(CLONE_NEWNS) == 0) mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    const long page = sysconf(_SC_PAGESIZE);
    if (mount("zorv-test", dir.c_str(), "tmpfs", 0, ("size=" + std::to_string(64 * page)).c_str()) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    writeEarlierFiles();
    const long tga = (18 + 3 * 100 * 100 + 26 + page - 1) / page;
    for (auto [pages, file] : {std::pair{tga - 1, "a.tga"}, {tga, "a.dla"}, {tga + 1, "a.png"}}) {
        struct statvfs disk {};  // the disk filled but for the pages asked for
        const int fd = ::open(path("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_TRUE(statvfs(dir.c_str(), &disk) == 0 && fd >= 0);
        EXPECT_EQ(posix_fallocate(fd, 0, static_cast<off_t>(disk.f_bavail - pages) * disk.f_frsize), 0);
        close(fd);
        expectSaveFails(file, tree());
    }
}

// The lines of a text file, without their ends.
std::vector<std::string> linesof(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
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
    for (const auto& [frame, particles] : {std::pair{"1", "120"}, {"2", "240"}, {"3", "300"}})
        EXPECT_EQ(readpng(path(std::string("f/p-00000") + frame + ".png")).text["Particles"], particles);
    EXPECT_NE(readpng(path("f/p-000001.png")).rgb, readpng(path("f/p-000002.png")).rgb) << "each its own moment";
    EXPECT_TRUE(readpng(path("f/p-000003.png")).rgb == tgapixels(slurp(path("p.tga"))));
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
        const long rgb = std::stol(colour.get<std::string>().substr(1), nullptr, 16);  // "#rrggbb"
        again << (rgb >> 16) << " " << (rgb >> 8 & 255) << " " << (rgb & 255) << "\n";
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

// zorv-dla-batch on 1, 2, 3 and 8 threads writes the same Targa, parameter file, particle list and frames, byte for
// byte, for every rule, inward growth that rests particles off the canvas, grey particles that erase the cluster,
// distance colouring, both radius limits and a small crowded image.
#include "tests/batch/fixture.h"

using namespace batchtest;

namespace {

class Threads : public Batch {
protected:
    // Grows one image into a folder of its own and returns every file written there, by name.
    std::map<std::string, std::string> grow(std::vector<std::string> args, const std::string& name, const char* seed,
                                            const char* threads) {
        const fs::path where = dir / (name + "-" + seed + "-" + threads);
        fs::create_directories(where);
        args.insert(args.end(), {"-q", "--seed", seed, "--threads", threads, "--points", (where / "a.csv").string(),
                                 "--frames", (where / "f").string(), (where / "a.tga").string()});
        EXPECT_EQ(run(args), 0) << err.str();
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(where))
            if (e.is_regular_file()) files[e.path().lexically_relative(where).string()] = slurp(e.path());
        return files;
    }
};

TEST_F(Threads, TheSameFilesForAnyNumberOfThreads) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"rule 0", {"-s", "200x200", "-a", "0", "--every", "400"}},
        {"rule 1", {"-s", "200x200", "-a", "1", "--every", "400"}},
        {"rule 2", {"-s", "200x200", "-a", "2", "--every", "200"}},
        {"inward 600 x 400 at stickiness 30", {"-s", "600x400", "-g", "1", "--stickiness", "30", "--every", "5000"}},
        {"grey on grey at stickiness 40",
         {"-s", "200x200", "-g", "1", "--greyscale", "--background", "128,128,128", "--stickiness", "40",
          "--every", "500"}},
        {"distance colouring", {"-s", "200x200", "--coloring", "distance", "--every", "1000"}},
        {"radius 5", {"-s", "200x200", "--radius", "5", "-a", "1", "--every", "500"}},
        {"radius 50", {"-s", "200x200", "--radius", "50", "-g", "1", "--every", "500"}},
        {"crowded", {"-s", "100x100", "--radius", "5", "--every", "100"}},
    };
    for (const auto& [name, args] : cases)
        for (const char* seed : {"21", "22"}) {
            if (name.starts_with("inward") && seed[1] == '2') break;  // one seed of the largest image is enough
            SCOPED_TRACE(name + ", seed " + seed);
            const auto one = grow(args, name, seed, "1");
            ASSERT_TRUE(one.count("a.tga") && one.count("a.dla") && one.count("a.csv") && one.count("f/a-000001.png"));
            EXPECT_GT(std::count(one.at("a.csv").begin(), one.at("a.csv").end(), '\n'), 300);
            for (const char* threads : {"2", "3", "8"}) {
                const auto many = grow(args, name, seed, threads);
                EXPECT_EQ(many.size(), one.size()) << threads << " threads: the same files";
                for (const auto& [file, bytes] : one)
                    EXPECT_TRUE(many.count(file) && many.at(file) == bytes) << file << " on " << threads << " threads";
            }
        }
}

}  // namespace

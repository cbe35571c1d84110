// zorv-dla-batch as a user runs it: through the shell's redirections into open streams, stopped by each signal or by a
// standard output closed by its reader, and on a FUSE file system that cannot exchange two files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

const std::string program = ZORV_BATCH_BINARY;

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Reads fd to its end.
std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// The program running in a process of its own: its standard output (a pipe, unless given) and errors (a pipe).
struct Started {
    pid_t pid = -1;
    int out = -1, err = -1;

    // The first line it prints.
    std::string firstline() const {
        std::string line;
        char c = 0;
        while (line.find('\n') == std::string::npos && ::read(out, &c, 1) == 1) line += c;
        return line;
    }
    // Waits for its end: the exit code as the shell gives it, and what it said on standard error.
    int end(std::string& said) {
        said = err >= 0 ? drain(err) : "";
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (out >= 0) close(out);
        if (err >= 0) close(err);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

class Binary : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("zorv-binary-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Everything in the folder by name: a file's bytes.
    std::map<std::string, std::string> tree() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = slurp(e.path());
        return files;
    }
    // Runs a line of the shell in the folder, where $B is the program; its exit code.
    int shell(const std::string& line) const {
        const std::string command = "cd '" + dir.string() + "' && B='" + program + "' && " + line;
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Starts the program in the folder with args; standard output and errors go to stdoutfd and stderrfd, or pipes
    // where they are -1; onecore keeps it to one processor.
    Started start(const std::vector<std::string>& args, int stdoutfd = -1, bool onecore = false,
                  int stderrfd = -1) const {
        int out[2] = {-1, -1}, err[2] = {-1, -1};
        if (stdoutfd < 0 && pipe2(out, O_CLOEXEC) != 0) return {};
        if (stderrfd < 0 && pipe2(err, O_CLOEXEC) != 0) return {};
        const pid_t pid = fork();
        if (pid == 0) {
            if (onecore) {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(sched_getcpu(), &one);
                sched_setaffinity(0, sizeof one, &one);
            }
            dup2(stdoutfd >= 0 ? stdoutfd : out[1], 1);
            dup2(stderrfd >= 0 ? stderrfd : err[1], 2);
            if (chdir(dir.c_str()) != 0) _exit(126);
            std::vector<char*> argv = {const_cast<char*>(program.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        if (stdoutfd < 0) close(out[1]);
        if (stderrfd < 0) close(err[1]);
        return {pid, out[0], err[0]};
    }
};

// A user appends a run's particles to a list that already holds a line, through /dev/stdout, through the very name of
// the file and through a pipe, and a PNG to a log opened as descriptor 3: each is written into the stream, after what
// was there, and is the same as the files a run of its own writes; the log and the list stay the same files.
TEST_F(Binary, OutputsNamingAnOpenStreamAreWrittenIntoIt) {
    ASSERT_EQ(shell("$B -q --seed 5 -s 100x100 --png ref.png --points ref.csv ref.tga"), 0);
    const std::string csv = slurp(path("ref.csv")), png = slurp(path("ref.png"));
    ASSERT_TRUE(csv.starts_with("id,parent,x,y,colour_index,colour,steps,escapes,refused,kind\n") && png.size() > 1000);
    std::ofstream(path("all.csv")) << "keep\n";
    std::ofstream(path("log.txt")) << "log\n";
    struct stat list {}, log {};
    stat(path("all.csv").c_str(), &list);
    stat(path("log.txt").c_str(), &log);

    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --points /dev/stdout o.tga >> all.csv"), 0);
    EXPECT_EQ(slurp(path("all.csv")), "keep\n" + csv);
    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --points all.csv o.tga >> all.csv"), 0);
    EXPECT_EQ(slurp(path("all.csv")), "keep\n" + csv + csv) << "the name of the file standard output appends to";
    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --png /dev/fd/3 o.tga 3>> log.txt"), 0);
    EXPECT_EQ(slurp(path("log.txt")), "log\n" + png);
    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --points /dev/stdout o.tga | cat > piped.csv"), 0);
    EXPECT_EQ(slurp(path("piped.csv")), csv);
    struct stat after {};
    stat(path("all.csv").c_str(), &after);
    EXPECT_EQ(after.st_ino, list.st_ino);
    stat(path("log.txt").c_str(), &after);
    EXPECT_EQ(after.st_ino, log.st_ino);
    EXPECT_EQ(slurp(path("o.tga")), slurp(path("ref.tga")));

    // Not quiet: the seed, then the list, then the statistics and the files written.
    EXPECT_EQ(shell("$B --seed 5 -s 100x100 --points /dev/stdout o.tga > said.txt"), 0);
    const std::string said = slurp(path("said.txt"));
    EXPECT_TRUE(said.starts_with("seed: 5\n" + csv + "hours: ")) << said.substr(0, 200);
    EXPECT_TRUE(said.ends_with("\nwrote: o.tga\nwrote: o.dla\nwrote: /dev/stdout\n"));
    for (const auto& [name, bytes] : tree()) EXPECT_FALSE(name.starts_with(".")) << name;
}

// Each stop signal (Ctrl-C, SIGTERM, a closed terminal, SIGQUIT, SIGPIPE) ends a run that is growing a large image
// with its particle list: the shell's code for it, one line, an earlier image as it was and no temporary file.
TEST_F(Binary, EachStopSignalEndsARunAndLeavesNothing) {
    std::ofstream(path("o.tga")) << "earlier image";
    const auto before = tree();
    const std::pair<int, std::string> signals[] = {
        {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGQUIT, "SIGQUIT"}, {SIGPIPE, "SIGPIPE"}};
    for (const auto& [signal, name] : signals) {
        Started run = start({"--seed", "9", "-s", "3000x3000", "--points", "p.csv", "o.tga"});
        EXPECT_EQ(run.firstline(), "seed: 9\n") << name;
        kill(run.pid, signal);
        std::string said;
        EXPECT_EQ(run.end(said), 128 + signal) << name;
        EXPECT_EQ(said, "zorv-dla-batch: interrupted by " + name + "; nothing was written\n");
        EXPECT_TRUE(tree() == before) << name;
    }
    // With standard error closed by its reader, the line cannot be written: the run still ends as SIGTERM ends it.
    int closed[2];
    ASSERT_EQ(pipe2(closed, O_CLOEXEC), 0);
    close(closed[0]);
    Started run = start({"--seed", "9", "-s", "3000x3000", "--points", "p.csv", "o.tga"}, -1, false, closed[1]);
    close(closed[1]);
    EXPECT_EQ(run.firstline(), "seed: 9\n");
    kill(run.pid, SIGTERM);
    std::string said;
    EXPECT_EQ(run.end(said), 143);
    EXPECT_TRUE(tree() == before);
}

// Standard output closed by its reader before the seed is printed is a SIGPIPE (141); a full one is an error (1); so
// for a particle list poured into it, with the earlier image put back. A --count batch on one core stops at the first
// image's report: it keeps that image and starts no other.
TEST_F(Binary, AStandardOutputThatCannotBeWrittenStopsTheRun) {
    int closed[2];
    ASSERT_EQ(pipe2(closed, O_CLOEXEC), 0);
    close(closed[0]);
    Started run = start({"--seed", "9", "-s", "400x400", "--points", "p.csv", "o.tga"}, closed[1]);
    std::string said;
    EXPECT_EQ(run.end(said), 141);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGPIPE; nothing was written\n");
    EXPECT_TRUE(tree().empty());

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full >= 0) {
        run = start({"--seed", "9", "-s", "100x100", "o.tga"}, full);
        EXPECT_EQ(run.end(said), 1);
        EXPECT_EQ(said, "zorv-dla-batch: standard output: cannot write (No space left on device); nothing was written\n");
        EXPECT_TRUE(tree().empty());
    }

    // Quiet, the particle list is the first thing standard output gets: the image already in place goes back.
    std::ofstream(path("o.tga")) << "earlier image";
    run = start({"-q", "--seed", "9", "-s", "100x100", "--points", "/dev/stdout", "o.tga"}, closed[1]);
    EXPECT_EQ(run.end(said), 141);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGPIPE; nothing was written\n");
    EXPECT_EQ(tree(), (std::map<std::string, std::string>{{"o.tga", "earlier image"}}));
    if (full >= 0) {
        run = start({"-q", "--seed", "9", "-s", "100x100", "--points", "/dev/stdout", "o.tga"}, full);
        EXPECT_EQ(run.end(said), 1);
        EXPECT_EQ(said, "zorv-dla-batch: /dev/stdout: cannot write into the stream (No space left on device); no file "
                        "was changed\n");
        EXPECT_EQ(tree(), (std::map<std::string, std::string>{{"o.tga", "earlier image"}}));
        close(full);
    }
    fs::remove(path("o.tga"));

    run = start({"--seed", "9", "-s", "100x100", "--count", "4", "o.tga"}, closed[1], true);
    close(closed[1]);
    EXPECT_EQ(run.end(said), 141);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGPIPE; 1 of 4 images were written, nothing of the others\n");
    std::vector<std::string> names;
    for (const auto& [name, bytes] : tree()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"o-0001.dla", "o-0001.tga"}));
}

// A MAP file as large as a disk, which takes minutes to read: Ctrl-C while it is read is an interruption, not a MAP
// file that cannot be read.
TEST_F(Binary, ASignalWhileAnInputIsReadIsAnInterruption) {
    std::ofstream(path("big.map")) << "1 2 3 ";
    std::error_code sparse;
    fs::resize_file(path("big.map"), std::uintmax_t{64} << 30, sparse);
    if (sparse) GTEST_SKIP() << "no sparse file of 64 GiB here: " << sparse.message();
    Started run = start({"--map", "big.map", "o.tga"});
    const std::string map = path("big.map");
    bool reading = false;
    for (int tries = 0; tries < 1000 && !reading; ++tries) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(run.pid) + "/fd", error))
            reading = reading || fs::read_symlink(fd.path(), error) == map;
        if (!reading) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(reading) << "the MAP file is open";
    kill(run.pid, SIGINT);
    std::string said;
    EXPECT_EQ(run.end(said), 130);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGINT; nothing was written\n");
}

// On a bindfs mount (FUSE, which cannot exchange two files) with the parameter file's name taken by a mount point, the
// issue's run: it fails at o.dla and puts the Targa, already replaced, back; nothing hidden is left.
TEST_F(Binary, AFuseMountThatCannotExchangeLosesNoEarlierFile) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting bindfs needs root";
    if (std::system("command -v bindfs >/dev/null 2>&1") != 0) GTEST_SKIP() << "bindfs is not installed";
    // In a mount namespace of its own the mounts are nobody else's.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace of our own: " << std::strerror(errno);
    fs::create_directories(path("src"));
    fs::create_directories(path("fuse"));
    std::ofstream(path("somefile")) << "in the way";
    if (std::system(("bindfs '" + path("src") + "' '" + path("fuse") + "'").c_str()) != 0)
        GTEST_SKIP() << "bindfs cannot mount here";
    const fs::path fuse = path("fuse");
    for (const char* name : {"o.tga", "o.dla", "o.png", "o.csv"}) std::ofstream(fuse / name) << "earlier " << name;
    const bool bound = mount(path("somefile").c_str(), (fuse / "o.dla").c_str(), nullptr, MS_BIND, nullptr) == 0;
    const std::string target = (fuse / "o.dla").string();
    Started run;
    std::string said;
    int code = -1;
    if (bound) {
        const fs::path here = fs::current_path();
        fs::current_path(fuse);
        run = start({"-q", "--seed", "2", "-s", "200x200", "--png", (fuse / "o.png").string(), "--points",
                     (fuse / "o.csv").string(), (fuse / "o.tga").string()});
        code = run.end(said);
        fs::current_path(here);
        umount2(target.c_str(), MNT_DETACH);
    }
    std::map<std::string, std::string> left;
    for (const auto& e : fs::directory_iterator(fuse)) left[e.path().filename().string()] = slurp(e.path());
    umount2(fuse.c_str(), MNT_DETACH);
    if (!bound) GTEST_SKIP() << "cannot bind a file over o.dla on the FUSE mount";
    EXPECT_EQ(code, 1);
    EXPECT_EQ(said, "zorv-dla-batch: " + target + ": cannot put the new file in place (Device or resource busy); no "
                    "file was changed\n");
    EXPECT_EQ(left, (std::map<std::string, std::string>{{"o.csv", "earlier o.csv"}, {"o.dla", "earlier o.dla"},
                                                        {"o.png", "earlier o.png"}, {"o.tga", "earlier o.tga"}}));
}

// With --points - the list goes to standard output, as a file of its own would hold it, and what the run says goes to
// standard error: its seed, statistics and files, or its JSON line. --png - pours the PNG copy there the same way.
TEST_F(Binary, TheListGoesToStandardOutputAndTheRestToStandardError) {
    ASSERT_EQ(shell("$B -q --seed 5 -s 100x100 --points ref.csv --png ref.png ref.tga"), 0);
    EXPECT_EQ(shell("$B --seed 5 -s 100x100 --points - o.tga > list.csv 2> said.txt"), 0);
    EXPECT_EQ(slurp(path("list.csv")), slurp(path("ref.csv")));
    EXPECT_EQ(slurp(path("o.tga")), slurp(path("ref.tga")));
    const std::string said = slurp(path("said.txt"));
    EXPECT_TRUE(said.starts_with("seed: 5\nhours: ")) << said;
    EXPECT_TRUE(said.ends_with("\nwrote: o.tga\nwrote: o.dla\nwrote: -\n")) << said;

    EXPECT_EQ(shell("$B --seed 5 -s 100x100 --json --points - > list2.csv 2> said.json"), 0);
    EXPECT_EQ(slurp(path("list2.csv")), slurp(path("ref.csv")));
    const std::string json = slurp(path("said.json"));
    EXPECT_TRUE(json.starts_with("{\"version\":\"" ZORV_PROJECT_VERSION "\",\"seed\":5,") && json.ends_with("}\n"))
        << json;
    EXPECT_NE(json.find(",\"files\":[\"-\"]"), std::string::npos) << json;

    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --png - p.tga | cat > piped.png"), 0);
    EXPECT_EQ(slurp(path("piped.png")), slurp(path("ref.png")));
    std::set<std::string> names;
    for (const auto& [name, bytes] : tree()) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"list.csv", "list2.csv", "o.dla", "o.tga", "p.dla", "p.tga", "piped.png",
                                            "ref.csv", "ref.dla", "ref.png", "ref.tga", "said.json", "said.txt"}));
}

// A full standard output (/dev/full) fails the run with exit 1 and a line that says what was written: the JSON line
// after the files, the JSON line of a run without files, --help. So does a full standard error that takes what the run
// says while its list goes to standard output: nothing is written then.
TEST_F(Binary, AFullStandardOutputOrErrorIsAnError) {
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) GTEST_SKIP() << "no /dev/full here: " << std::strerror(errno);
    std::string said;
    Started run = start({"--json", "--seed", "9", "-s", "100x100", "o.tga"}, full);
    EXPECT_EQ(run.end(said), 1);
    EXPECT_EQ(said,
              "zorv-dla-batch: standard output: cannot write (No space left on device); every file was written\n");
    EXPECT_EQ(tree().size(), 2u) << "o.tga and o.dla";
    run = start({"--json", "--seed", "9", "-s", "100x100", "--particles", "10"}, full);
    EXPECT_EQ(run.end(said), 1);
    EXPECT_EQ(said, "zorv-dla-batch: standard output: cannot write (No space left on device); there was no file to "
                    "write\n");
    run = start({"--help"}, full);
    EXPECT_EQ(run.end(said), 1);
    EXPECT_EQ(said, "zorv-dla-batch: standard output: cannot write (No space left on device)\n");

    run = start({"--seed", "9", "-s", "100x100", "--points", "-", "p.tga"}, -1, false, full);
    EXPECT_EQ(run.end(said), 1);
    EXPECT_EQ(drain(run.out), "") << "no list";
    EXPECT_EQ(tree().size(), 2u) << "no p.tga";
    close(full);
}

// Six runs started one after the other within a second, without --seed, grow from six seeds.
TEST_F(Binary, RunsInTheSameSecondHaveSeedsOfTheirOwn) {
    ASSERT_EQ(shell("for i in 1 2 3 4 5 6; do $B --json --particles 1 -s 100x100; done > runs.jsonl"), 0);
    std::istringstream lines(slurp(path("runs.jsonl")));
    std::set<std::string> seeds;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(",\"seed\":");
        ASSERT_NE(at, std::string::npos) << line;
        seeds.insert(line.substr(at + 8, line.find(',', at + 1) - at - 8));
    }
    EXPECT_EQ(seeds.size(), 6u);
}

// On a terminal 50 columns wide the progress lines of one image and of a --count batch never take more than 49, so
// that the terminal never begins a new line for them.
TEST_F(Binary, TheProgressLineFitsTheTerminal) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminal here";
    const std::vector<std::string> runs[] = {{"-s", "1000x1000", "--particles", "30000", "--json", "a.tga"},
                                             {"--count", "3", "-s", "400x400", "--particles", "8000", "c.tga"}};
    for (const auto& args : runs) {
        const int terminal = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(terminal, 0);
        winsize size{};
        size.ws_row = 24;
        size.ws_col = 50;
        ASSERT_EQ(ioctl(terminal, TIOCSWINSZ, &size), 0);
        Started run = start(args, -1, false, terminal);
        close(terminal);
        const std::string shown = drain(master);
        std::string said;
        EXPECT_EQ(run.end(said), 0);
        EXPECT_TRUE(shown.starts_with(args[0] == "--count" ? "\rimages " : "\rradius ")) << shown;
        std::string line;
        for (const char c : shown + "\r") {
            if (c != '\r' && c != '\n') {
                line += c;
                continue;
            }
            EXPECT_LE(line.size(), 49u) << line;
            line.clear();
        }
    }
    close(master);
}

// The README's video line makes a video of frames 101 pixels wide and high, which the encoder wants even: padded to
// 102 x 102, a picture a frame.
TEST_F(Binary, TheReadmesVideoLineWorksAtAnOddSize) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg)";
    std::istringstream readme(slurp(ZORV_README));
    std::string video;
    for (std::string line; std::getline(readme, line) && video.empty();)
        if (line.starts_with("ffmpeg ")) video = line;
    ASSERT_TRUE(video.find(" frames/tree-%06d.png ") != std::string::npos && video.ends_with(" tree.mp4")) << video;
    ASSERT_EQ(shell("$B -q --seed 3 -s 101x101 --frames frames --every 150 tree.tga"), 0);
    const auto frames = std::distance(fs::directory_iterator(path("frames")), {});
    ASSERT_GT(frames, 2);
    ASSERT_EQ(shell(video + " > ffmpeg.txt 2>&1"), 0) << slurp(path("ffmpeg.txt"));
    ASSERT_EQ(shell("ffprobe -v error -select_streams v:0 -count_frames "
                    "-show_entries stream=width,height,nb_read_frames -of csv=p=0 tree.mp4 > probe.txt"), 0);
    EXPECT_EQ(slurp(path("probe.txt")), "102,102," + std::to_string(frames) + "\n");
}

}  // namespace

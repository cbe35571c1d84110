// zorv-dla-batch as a user runs it: through the shell's redirections into open streams, stopped by each signal or by a
// standard output closed by its reader, and on a FUSE file system that cannot exchange two files.
#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <nlohmann/json.hpp>

#include "tests/batch/fixture.h"

using namespace batchtest;

namespace {

const std::string program = ZORV_BATCH_BINARY;

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

class Binary : public Batch {
protected:
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
        int tostdout[2] = {-1, -1}, tostderr[2] = {-1, -1};
        if (stdoutfd < 0 && pipe2(tostdout, O_CLOEXEC) != 0) return {};
        if (stderrfd < 0 && pipe2(tostderr, O_CLOEXEC) != 0) return {};
        const pid_t pid = fork();
        if (pid == 0) {
            if (onecore) {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(sched_getcpu(), &one);
                sched_setaffinity(0, sizeof one, &one);
            }
            dup2(stdoutfd >= 0 ? stdoutfd : tostdout[1], 1);
            dup2(stderrfd >= 0 ? stderrfd : tostderr[1], 2);
            if (chdir(dir.c_str()) != 0) _exit(126);
            std::vector<char*> argv = {const_cast<char*>(program.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        if (stdoutfd < 0) close(tostdout[1]);
        if (stderrfd < 0) close(tostderr[1]);
        return {pid, tostdout[0], tostderr[0]};
    }
};

// A user appends a run's particles to a list that already holds a line, through /dev/stdout and through the very name
// of the file, a PNG to a log opened as descriptor 3 and another through a pipe: each is written into the stream, after
// what was there, and is the same as the files a run of its own writes; the log and the list stay the same files.
TEST_F(Binary, OutputsNamingAnOpenStreamAreWrittenIntoIt) {
    ASSERT_EQ(shell("$B -q --seed 5 -s 100x100 --png ref.png --points ref.csv ref.tga"), 0);
    const std::string csv = slurp(path("ref.csv")), png = slurp(path("ref.png"));
    ASSERT_TRUE(csv.starts_with("id,parent,x,y,colour_index,colour,steps,escapes,refused,kind\n") && png.size() > 1000);
    std::ofstream(path("all.csv")) << "keep\n";
    std::ofstream(path("log.txt")) << "log\n";
    fs::create_hard_link(path("all.csv"), path("all.link"));  // names that stay on the same files
    fs::create_hard_link(path("log.txt"), path("log.link"));

    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --points /dev/stdout o.tga >> all.csv"), 0);
    EXPECT_EQ(slurp(path("all.csv")), "keep\n" + csv);
    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --points all.csv o.tga >> all.csv"), 0);
    EXPECT_EQ(slurp(path("all.csv")), "keep\n" + csv + csv) << "the name of the file standard output appends to";
    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --png /dev/fd/3 o.tga 3>> log.txt"), 0);
    EXPECT_EQ(slurp(path("log.txt")), "log\n" + png);
    EXPECT_EQ(shell("$B -q --seed 5 -s 100x100 --png - p.tga | cat > piped.png"), 0);
    EXPECT_EQ(slurp(path("piped.png")), png);
    EXPECT_TRUE(fs::equivalent(path("all.csv"), path("all.link")) && fs::equivalent(path("log.txt"), path("log.link")));
    EXPECT_EQ(slurp(path("o.tga")), slurp(path("ref.tga")));

    // Not quiet: the seed, then the list, then the statistics and the files written. With --points - the list goes
    // to standard output, and what the run says to standard error: its seed, statistics and files, or its JSON line.
    EXPECT_EQ(shell("$B --seed 5 -s 100x100 --points /dev/stdout o.tga > said.txt"), 0);
    const std::string said = slurp(path("said.txt"));
    EXPECT_TRUE(said.starts_with("seed: 5\n" + csv + "hours: ")) << said.substr(0, 200);
    EXPECT_TRUE(said.ends_with("\nwrote: o.tga\nwrote: o.dla\nwrote: /dev/stdout\n"));
    EXPECT_EQ(shell("$B --seed 5 -s 100x100 --points - o.tga > list.csv 2> said.txt"), 0);
    EXPECT_EQ(slurp(path("list.csv")), csv);
    const std::string saidapart = slurp(path("said.txt"));
    EXPECT_TRUE(saidapart.starts_with("seed: 5\nhours: ")) << saidapart;
    EXPECT_TRUE(saidapart.ends_with("\nwrote: o.tga\nwrote: o.dla\nwrote: -\n")) << saidapart;
    EXPECT_EQ(shell("$B --seed 5 -s 100x100 --json --points - > list2.csv 2> said.json"), 0);
    EXPECT_EQ(slurp(path("list2.csv")), csv);
    const std::string json = slurp(path("said.json"));
    EXPECT_TRUE(json.starts_with("{\"version\":\"" ZORV_PROJECT_VERSION "\",\"seed\":5,") && json.ends_with("}\n"))
        << json;
    EXPECT_NE(json.find(",\"files\":[\"-\"]"), std::string::npos) << json;
    EXPECT_EQ(names(dir), (std::set<std::string>{"all.csv", "all.link", "list.csv", "list2.csv", "log.link", "log.txt",
                                                 "o.dla", "o.tga", "p.dla", "p.tga", "piped.png", "ref.csv", "ref.dla",
                                                 "ref.png", "ref.tga", "said.json", "said.txt"}))
        << "no other file, no temporary";
}

// Each stop signal (Ctrl-C, SIGTERM, a closed terminal, SIGQUIT, SIGPIPE) ends a run that is growing a large image
// with its particle list: the shell's code for it, one line, an earlier image as it was and no temporary file. With
// standard error closed by its reader the line cannot be written: the run still ends as SIGTERM ends it.
TEST_F(Binary, EachStopSignalEndsARunAndLeavesNothing) {
    std::ofstream(path("o.tga")) << "earlier image";
    const auto before = tree();
    int closed[2];
    ASSERT_EQ(pipe2(closed, O_CLOEXEC), 0);
    close(closed[0]);
    const std::tuple<int, std::string, int> signals[] = {{SIGINT, "SIGINT", -1}, {SIGTERM, "SIGTERM", -1},
        {SIGHUP, "SIGHUP", -1}, {SIGQUIT, "SIGQUIT", -1}, {SIGPIPE, "SIGPIPE", -1}, {SIGTERM, "SIGTERM", closed[1]}};
    for (const auto& [signal, name, stderrfd] : signals) {
        Started run = start({"--seed", "9", "-s", "3000x3000", "--points", "p.csv", "o.tga"}, -1, false, stderrfd);
        EXPECT_EQ(run.firstline(), "seed: 9\n") << name;
        kill(run.pid, signal);
        std::string said;
        EXPECT_EQ(run.end(said), 128 + signal) << name;
        EXPECT_EQ(said, stderrfd < 0 ? "zorv-dla-batch: interrupted by " + name + "; nothing was written\n" : "");
        EXPECT_TRUE(tree() == before) << name;
    }
    close(closed[1]);
}

// Standard output closed by its reader before the seed is printed is a SIGPIPE (141); so for a particle list poured
// into it, with the earlier image put back. A --count batch on one core stops at the first image's report: it keeps
// that image and starts no other. A full one (/dev/full) is an error (1) whose line says what was written, also for a
// run without files and --help; so is a full standard error that takes what the run says while its list goes to
// standard output: nothing is written then.
TEST_F(Binary, AStandardOutputOrErrorThatCannotBeWrittenStopsTheRun) {
    int closed[2];
    ASSERT_EQ(pipe2(closed, O_CLOEXEC), 0);
    close(closed[0]);
    Started run = start({"--seed", "9", "-s", "400x400", "--points", "p.csv", "o.tga"}, closed[1]);
    std::string said;
    EXPECT_EQ(run.end(said), 141);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGPIPE; nothing was written\n");
    EXPECT_TRUE(tree().empty());
    // Quiet, the particle list is the first thing standard output gets: the image already in place goes back.
    std::ofstream(path("o.tga")) << "earlier image";
    run = start({"-q", "--seed", "9", "-s", "100x100", "--points", "/dev/stdout", "o.tga"}, closed[1]);
    EXPECT_EQ(run.end(said), 141);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGPIPE; nothing was written\n");
    EXPECT_EQ(tree(), (std::map<std::string, std::string>{{"o.tga", "earlier image"}}));
    run = start({"--seed", "9", "-s", "100x100", "--count", "4", "o.tga"}, closed[1], true);
    close(closed[1]);
    EXPECT_EQ(run.end(said), 141);
    EXPECT_EQ(said, "zorv-dla-batch: interrupted by SIGPIPE; 1 of 4 images were written, nothing of the others\n");
    EXPECT_EQ(names(dir), (std::set<std::string>{"o-0001.dla", "o-0001.tga", "o.tga"}));

    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) GTEST_SKIP() << "no /dev/full here: " << std::strerror(errno);
    const auto before = tree();
    const std::string nospace = "standard output: cannot write (No space left on device)";
    const std::pair<std::vector<std::string>, std::string> fulls[] = {
        {{"--seed", "9", "-s", "100x100", "o.tga"}, nospace + "; nothing was written"},
        {{"-q", "--seed", "9", "-s", "100x100", "--points", "/dev/stdout", "o.tga"},
         "/dev/stdout: cannot write into the stream (No space left on device); no file was changed"},
        {{"--json", "--seed", "9", "-s", "100x100", "--particles", "10"}, nospace + "; there was no file to write"},
        {{"--help"}, nospace}};
    for (const auto& [args, says] : fulls) {
        run = start(args, full);
        EXPECT_EQ(run.end(said), 1) << says;
        EXPECT_EQ(said, "zorv-dla-batch: " + says + "\n");
        EXPECT_TRUE(tree() == before) << says;
    }
    run = start({"--seed", "9", "-s", "100x100", "--points", "-", "p.tga"}, -1, false, full);
    const std::string list = drain(run.out);
    EXPECT_EQ(run.end(said), 1);
    EXPECT_EQ(list, "") << "no list";
    EXPECT_TRUE(tree() == before) << "no p.tga";
    run = start({"--json", "--seed", "9", "-s", "100x100", "o.tga"}, full);
    EXPECT_EQ(run.end(said), 1);
    EXPECT_EQ(said, "zorv-dla-batch: " + nospace + "; every file was written\n");
    EXPECT_TRUE(tree().size() == before.size() + 1 && tree().at("o.tga") != "earlier image") << "o.tga and o.dla";
    close(full);
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

// Six runs started one after the other within a second, without --seed, grow from six seeds.
TEST_F(Binary, RunsInTheSameSecondHaveSeedsOfTheirOwn) {
    ASSERT_EQ(shell("for i in 1 2 3 4 5 6; do $B --json --particles 1 -s 100x100; done > runs.jsonl"), 0);
    std::istringstream lines(slurp(path("runs.jsonl")));
    std::set<long long> seeds;
    for (std::string line; std::getline(lines, line);)
        seeds.insert(nlohmann::json::parse(line).at("seed").get<long long>());
    EXPECT_EQ(seeds.size(), 6u);
}

// On a terminal 50 columns wide the progress lines of one image and of a --count batch never take more than 49, so
// that the terminal never begins a new line for them: what does not fit is dropped, the images under way first.
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
        std::string shown = drain(master);
        std::string said;
        EXPECT_EQ(run.end(said), 0);
        EXPECT_TRUE(shown.starts_with(args[0] == "--count" ? "\rimages 0 of 3 done" : "\rradius ")) << shown;
        std::ranges::replace(shown, '\n', '\r');
        std::istringstream lines(shown);
        for (std::string line; std::getline(lines, line, '\r');) EXPECT_LE(line.size(), 49u) << line;
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

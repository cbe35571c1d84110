// The batch tool's command line and its checks before growth, on any
// arguments (the input's bytes split at zero bytes), without growing.
//
// Every path the arguments give is taken inside the fuzzer's own folder: an
// absolute one under its root, a relative one under root/here, and a ".."
// never climbs above the root. The folder holds inputs, earlier outputs,
// earlier frames and symbolic links (each to a name at its own depth, so that
// following one keeps the path inside); no FIFO, socket or device.
//
// What must hold: parsing ends with -1, 0 after help or version text, or 2
// after one error line; the checks find nothing or give a line that starts
// with the option at fault; and nothing in the folder is made, changed or
// removed.
//
// The checks look at the outputs of every image of a --count batch, a few
// system calls each, so their time grows with the count: over this build's
// sanitizers 100000 images take a minute. A count over 2000 is parsed but
// not checked, to stay far inside the fuzzer's 10-second limit.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "batch/internal.h"
#include "harness.h"

namespace fs = std::filesystem;

namespace {

std::string root() { return fuzz::scratch() + "/root"; }

std::string dlarecord(int algorithm, int radius) {
    std::string bytes;
    for (int value : {algorithm, 1, radius, 60, 1, 0, 10, 20, 30})
        for (int b = 0; b < 4; ++b) bytes.push_back(static_cast<char>((value >> (8 * b)) & 0xFF));
    for (int i = 0; i < 768; ++i) bytes.push_back(static_cast<char>(i * 5));
    return bytes;
}

void makefixture() {
    const std::string r = root();
    for (const char* dir : {"", "/here", "/here/frames", "/here/empty", "/in", "/in/box", "/sealed"})
        fs::create_directory(r + dir);
    fuzz::put(r + "/in/p.dla", dlarecord(2, 12));
    fuzz::put(r + "/in/short.dla", dlarecord(2, 12).substr(0, 500));
    fuzz::put(r + "/in/far.dla", dlarecord(2, 900));
    fuzz::put(r + "/in/p.map", "255 0 0 red\n0 255 0\n  0   0 255 blue\n");
    fuzz::put(r + "/in/bad.map", "1 2 3\n4,5,6\n");
    fuzz::put(r + "/in/empty.map", "");
    for (const char* name : {"old.tga", "old.dla", "old.png", "old.csv", "frames/old-000001.png", "sealed.tga"})
        fuzz::put(r + "/here/" + name, std::string("earlier ") + name);
    fuzz::put(r + "/sealed/x.tga", "earlier");
    fs::create_symlink("old.tga", r + "/here/link.tga");
    fs::create_symlink("gone.tga", r + "/here/dangling.tga");
    fs::create_symlink("loop.tga", r + "/here/loop.tga");
    fs::create_symlink("../in/box", r + "/here/box");
    fs::create_symlink("../in/p.dla", r + "/here/p.dla");
    fs::create_symlink(r + "/here/old.png", r + "/here/absolute.png");
    fs::permissions(r + "/here/sealed.tga", fs::perms::owner_read | fs::perms::group_read);
    fs::permissions(r + "/sealed", fs::perms::owner_read | fs::perms::owner_exec);
}

// Every entry of the folder, with what it is: type, permissions, size and
// contents, or where a link points.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> entries;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root(), error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const std::string path = it->path().string();
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) fuzz::fail("an entry of the folder cannot be looked at");
        std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_size);
        if (S_ISLNK(st.st_mode)) {
            what += " -> " + fs::read_symlink(it->path()).string();
        } else if (S_ISREG(st.st_mode)) {
            bool ok = false;
            what += " " + fuzz::get(path, ok);
        }
        entries[path] = what;
    }
    if (error) fuzz::fail("the folder cannot be listed");
    return entries;
}

// The path inside the folder.
std::string inside(const std::string& path) {
    if (path.empty()) return path;
    std::string mapped = root();
    int depth = 0;
    std::size_t start = 0;
    if (path[0] == '/') {
        start = 1;
    } else {
        mapped += "/here";
        depth = 1;
    }
    for (;;) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (depth > 0) {
                --depth;
                mapped += "/..";
            }
        } else {
            if (!part.empty() && part != ".") ++depth;
            mapped += "/" + part;
        }
        if (end == path.size()) break;
        start = end + 1;
    }
    return mapped;
}

bool startswith(const std::string& text, const std::string& start) { return text.compare(0, start.size(), start) == 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    makefixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::map<std::string, std::string> fixture = snapshot();
    std::vector<std::string> args = {"zorv-dla-batch"};
    std::string arg;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(arg);
            arg.clear();
        } else {
            arg.push_back(static_cast<char>(data[i]));
        }
    }
    if (!arg.empty()) args.push_back(arg);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    BatchOptions options;
    std::ostringstream out, err;
    const int code = parsebatch(static_cast<int>(args.size()), argv.data(), options, out, err);
    if (code == 0 && out.str().empty()) fuzz::fail("help or version asked for, and nothing shown");
    if (code == 2 && (!startswith(err.str(), "zorv-dla-batch: ") || err.str().back() != '\n'))
        fuzz::fail("a usage error without its line");
    if (code != -1 && code != 0 && code != 2) fuzz::fail("parsing gave an exit code of its own");
    if (code != -1) return 0;
    if (!err.str().empty() || !out.str().empty()) fuzz::fail("parsing printed something and went on");
    if (options.count && *options.count > 2000) return 0;

    for (std::string* path : {&options.output, &options.params, &options.map, &options.png, &options.points,
                              &options.frames})
        *path = inside(*path);
    const std::string why = zorv::batch::checkbatch(options);
    if (!why.empty() && !startswith(why, "OUTPUT") && !startswith(why, "--"))
        fuzz::fail("a check's message does not name the option at fault");
    if (snapshot() != fixture) fuzz::fail("the checks changed the folder");
    return 0;
}

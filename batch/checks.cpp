// The checks before growth: the settings taken from the inputs, and the
// output paths of every image, which must be writable and lead to files of
// their own.
#include <strings.h>
#include <sys/stat.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "batch/internal.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "files/savefile.h"

namespace zorv::batch {

namespace {

namespace fs = std::filesystem;

// An output file: the option that names it and its name, for messages, and
// its path.
struct Output {
    std::string option;
    std::string name;
    std::string path;
};

// The frames of the images: for each folder, resolved, the names their
// frames start with.
using FrameNames = std::map<std::string, std::set<std::string>>;

// The folder a path names, resolved as far as it exists.
std::string resolvedfolder(const std::string& path) {
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(fs::absolute(path, error), error);
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return error ? std::string() : text;
}

// The frame number that the file at target (resolved, see savetarget) would
// be, or 0 when it is no frame's.
long framenumber(const std::string& target, const FrameNames& frames) {
    const std::size_t slash = target.find_last_of('/');
    const auto folder = frames.find(slash == 0 ? "/" : target.substr(0, slash));
    if (folder == frames.end()) return 0;
    const std::string name = target.substr(slash + 1);
    const std::size_t dash = name.find_last_of('-');
    if (dash == std::string::npos || !name.ends_with(".png") || !folder->second.count(name.substr(0, dash))) return 0;
    long n = 0;
    const char* digits = name.data() + dash + 1;
    const char* end = name.data() + name.size() - 4;
    auto [at, ec] = std::from_chars(digits, end, n);
    if (ec != std::errc() || at != end || n < 1) return 0;
    // Frames are numbered at least six digits wide, without other zeros before.
    return fs::path(framename("x", name.substr(0, dash), n)).filename() == name ? n : 0;
}

// Why the outputs cannot be written, found before anything is grown, as
// one line; empty when they can. Two outputs that lead to one file (the
// same name once links are followed and folders resolved, or the same file
// under two names) would leave only the last one written, and an output
// among the frames would be replaced by one or replace it.
std::string checkoutputs(const std::vector<Output>& outputs, const FrameNames& frames) {
    std::map<std::string, std::size_t> bytarget;
    std::map<std::pair<dev_t, ino_t>, std::size_t> byfile;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output& output = outputs[i];
        if (std::string why = cannotsave(output.path); !why.empty())
            return output.option + ": cannot write '" + output.name + "': " + why;
        std::optional<std::size_t> earlier;
        const std::string target = savetarget(output.path);
        if (output.option != "--frames" && savestream(output.path) < 0) {
            if (const long n = framenumber(target, frames); n > 0)
                return output.option + ": '" + output.name + "' would be replaced by frame " + std::to_string(n) +
                       " of --frames";
        }
        if (!target.empty()) {
            auto [at, fresh] = bytarget.emplace(target, i);
            if (!fresh) earlier = at->second;
        }
        struct stat st {};
        if (!earlier && stat(output.path.c_str(), &st) == 0) {
            auto [at, fresh] = byfile.emplace(std::make_pair(st.st_dev, st.st_ino), i);
            if (!fresh) earlier = at->second;
        }
        if (earlier)
            return output.option + ": '" + output.name + "' names the same file as '" + outputs[*earlier].name + "'";
    }
    return {};
}

// The outputs of one image, and the first problem with its frames folder.
std::vector<Output> outputsof(const BatchOptions& o, std::string& frameproblem) {
    std::vector<Output> outputs;
    if (!o.output.empty()) {
        outputs.push_back({"OUTPUT", o.output, o.output});
        outputs.push_back({"OUTPUT", dlaname(o.output), dlaname(o.output)});
    }
    if (!o.png.empty()) outputs.push_back({"--png", o.png, outputpath(o.png)});
    if (!o.points.empty()) outputs.push_back({"--points", o.points, outputpath(o.points)});
    if (o.frames.empty()) return outputs;
    struct stat st {};
    if (stat(o.frames.c_str(), &st) != 0) {
        // The folder is made before growth starts, where its frames' names
        // must fit.
        const std::string first = framename(o.frames, stemof(o), 1);
        std::string folder = o.frames;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        const std::string parent = fs::path(folder).parent_path().string();
        if (std::string why = cannotsave(o.frames); !why.empty())
            frameproblem = "--frames: cannot make the folder '" + o.frames + "': " + why;
        else if (std::string toolong = namestoolong(first, parent.empty() ? "." : parent); !toolong.empty())
            frameproblem = "--frames: cannot write '" + first + "': " + toolong;
    } else if (!S_ISDIR(st.st_mode)) {
        frameproblem = "--frames: '" + o.frames + "' is not a folder";
    } else if (std::string earlier = earlierframe(o.frames, stemof(o)); !earlier.empty()) {
        frameproblem = "--frames: '" + o.frames + "' already holds frames of " + stemof(o) + " (" + earlier +
                       "); remove them or choose another folder";
    } else {
        const std::string first = framename(o.frames, stemof(o), 1);
        outputs.push_back({"--frames", first, first});
    }
    return outputs;
}

// Whether a file's name ends in ext, such as ".tga", in any case, after a
// name of its own.
bool endsin(const std::string& path, const char* ext) {
    const std::string name = fs::path(path).filename().string();
    const std::size_t n = std::strlen(ext);
    return name.size() > n && strcasecmp(name.c_str() + name.size() - n, ext) == 0;
}

// Why an input cannot be read as a file: it is something else (a named pipe
// would keep the run waiting for a writer). Empty for a regular file, and
// for one that cannot be looked at, which the reader then refuses.
std::string notregular(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a named pipe"
                       : S_ISCHR(st.st_mode)  ? "a character device"
                       : S_ISBLK(st.st_mode)  ? "a block device"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                                              : "not a file";
    return std::string("it is ") + kind + ", not a regular file";
}

// Takes the settings from the defaults, the parameter file, the MAP palette
// and the options, in that order. Returns why the inputs cannot be used, or
// nothing.
std::string loadsettings(const BatchOptions& o) {
    resetsettings();
    firsttime = 0;  // no help text
    debug = 0;
    if (std::string why = notregular(o.params); !why.empty()) return "--params: cannot read '" + o.params + "': " + why;
    if (std::string why = notregular(o.map); !why.empty()) return "--map: cannot read '" + o.map + "': " + why;
    if (!o.params.empty()) {
        odlafile = o.params;
        if (loaddla() != 0)
            return "--params: cannot read '" + o.params + "' as a parameter file (804 bytes, values in range)";
    }
    if (!o.map.empty()) {
        mapfile = o.map;
        if (OpenMapFile() != 0) return "--map: cannot read '" + o.map + "' as a MAP palette (lines of three numbers)";
        std::memcpy(palette, paltemp, sizeof palette);
        greyscale = 0;
    }
    xres = o.width.value_or(400);
    yres = o.height.value_or(400);
    if (o.radius) startradius = *o.radius;
    if (o.stickiness) probability = *o.stickiness;
    if (o.algorithm) algorithm = *o.algorithm;
    if (o.growth) growth = *o.growth;
    if (o.coloring) coloring = *o.coloring;
    if (o.greyscale) greyscale = 1;
    if (o.background) {
        rback = (*o.background)[0];
        gback = (*o.background)[1];
        bback = (*o.background)[2];
    }
    repackbackground();
    return {};
}

}  // namespace

std::string dlaname(const std::string& image) { return image.substr(0, image.size() - 3) + "dla"; }

bool ispng(const std::string& path) { return endsin(path, ".png"); }

std::string outputpath(const std::string& name) { return name == "-" ? "/dev/stdout" : name; }

std::string checkbatch(const BatchOptions& o) {
    if (!o.output.empty() && !endsin(o.output, ".tga") && !ispng(o.output))
        return "OUTPUT: '" + o.output + "' must name a .tga or a .png file";
    if (std::string why = loadsettings(o); !why.empty()) return why;
    std::vector<Output> outputs;
    FrameNames frames;
    for (int i = 0; i < o.count.value_or(1); ++i) {
        std::string frameproblem;
        const BatchOptions one = o.count ? imageof(o, i, 0) : o;
        for (Output& output : outputsof(one, frameproblem)) outputs.push_back(std::move(output));
        if (!frameproblem.empty()) return frameproblem;
        if (!one.frames.empty()) frames[resolvedfolder(one.frames)].insert(stemof(one));
    }
    return checkoutputs(outputs, frames);
}

}  // namespace zorv::batch

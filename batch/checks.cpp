// The checks before growth: the settings taken from the inputs, and the
// output paths of every image, which must be writable and lead to files of
// their own.
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "batch/internal.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "files/savefile.h"

namespace zorv::batch {

namespace {

namespace fs = std::filesystem;

// An output file: the option that names it, for messages, and its path.
struct Output {
    std::string option;
    std::string path;
};

// Why the outputs cannot be written, found before anything is grown, as
// one line; empty when they can. Two outputs that lead to one file (the
// same name once links are followed and folders resolved, or the same file
// under two names) would leave only the last one written.
std::string checkoutputs(const std::vector<Output>& outputs) {
    std::map<std::string, std::size_t> bytarget;
    std::map<std::pair<dev_t, ino_t>, std::size_t> byfile;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output& output = outputs[i];
        if (std::string why = cannotsave(output.path); !why.empty())
            return output.option + ": cannot write '" + output.path + "': " + why;
        std::optional<std::size_t> earlier;
        const std::string target = savetarget(output.path);
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
            return output.option + ": '" + output.path + "' names the same file as '" + outputs[*earlier].path + "'";
    }
    return {};
}

// The outputs of one image, and the first problem with its frames folder.
std::vector<Output> outputsof(const BatchOptions& o, std::string& frameproblem) {
    std::vector<Output> outputs = {{"OUTPUT", o.output}, {"OUTPUT", dlaname(o.output)}};
    if (!o.png.empty()) outputs.push_back({"--png", o.png});
    if (!o.points.empty()) outputs.push_back({"--points", o.points});
    if (o.frames.empty()) return outputs;
    struct stat st {};
    if (stat(o.frames.c_str(), &st) != 0) {
        // The folder is made before growth starts.
        if (std::string why = cannotsave(o.frames); !why.empty())
            frameproblem = "--frames: cannot make the folder '" + o.frames + "': " + why;
    } else if (!S_ISDIR(st.st_mode)) {
        frameproblem = "--frames: '" + o.frames + "' is not a folder";
    } else if (std::string earlier = earlierframe(o.frames, o.output); !earlier.empty()) {
        frameproblem = "--frames: '" + o.frames + "' already holds frames of " + stemof(o.output) + " (" + earlier +
                       "); remove them or choose another folder";
    } else {
        outputs.push_back({"--frames", framename(o.frames, o.output, 1)});
    }
    return outputs;
}

bool istga(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    return name.size() >= 5 && strcasecmp(name.c_str() + name.size() - 4, ".tga") == 0;
}

// Takes the settings from the defaults, the parameter file, the MAP palette
// and the options, in that order. Returns why the inputs cannot be used, or
// nothing.
std::string loadsettings(const BatchOptions& o) {
    resetsettings();
    firsttime = 0;  // no help text
    debug = 0;
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

std::string dlaname(const std::string& tga) { return tga.substr(0, tga.size() - 3) + "dla"; }

std::string checkbatch(const BatchOptions& o) {
    if (!istga(o.output)) return "OUTPUT: '" + o.output + "' must name a .tga file";
    if (std::string why = loadsettings(o); !why.empty()) return why;
    std::vector<Output> outputs;
    for (int i = 0; i < o.count.value_or(1); ++i) {
        std::string frameproblem;
        for (Output& output : outputsof(o.count ? imageof(o, i, 0) : o, frameproblem))
            outputs.push_back(std::move(output));
        if (!frameproblem.empty()) return frameproblem;
    }
    return checkoutputs(outputs);
}

}  // namespace zorv::batch

// The frames of a growth: a numbered PNG of the canvas every so many
// particles, in a folder of their own.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "batch/internal.h"

namespace zorv::batch {

namespace fs = std::filesystem;

std::string stemof(const BatchOptions& o) {
    if (!o.name.empty()) return o.name;
    if (!o.output.empty()) return fs::path(o.output).stem().string();
    if (!o.points.empty() && o.points != "-") return fs::path(o.points).stem().string();
    return "frame";
}

std::string framename(const std::string& dir, const std::string& stem, long n) {
    char number[24];
    std::snprintf(number, sizeof number, "-%06ld.png", n);
    return (fs::path(dir) / (stem + number)).string();
}

std::string earlierframe(const std::string& dir, const std::string& stem) {
    const std::string start = stem + "-";
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(dir.c_str()), closedir);
    if (!folder) return {};
    while (const dirent* entry = readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name.size() < start.size() + 10 || name.compare(0, start.size(), start) != 0 ||
            name.compare(name.size() - 4, 4, ".png") != 0)
            continue;
        const std::string digits = name.substr(start.size(), name.size() - start.size() - 4);
        if (digits.find_first_not_of("0123456789") == std::string::npos) return name;
    }
    return {};
}

std::string makeframes(const BatchOptions& o) {
    if (o.frames.empty() || mkdir(o.frames.c_str(), 0777) == 0 || errno == EEXIST) return {};
    return "--frames: cannot make the folder '" + o.frames + "': " + std::strerror(errno);
}

std::string writeframe(const BatchOptions& o, PngText text, long n, long particles) {
    const std::string name = framename(o.frames, stemof(o), n);
    text.push_back({"Particles", std::to_string(particles)});
    if (writepng(name, text, 1) != 0) return name;
    return {};
}

}  // namespace zorv::batch

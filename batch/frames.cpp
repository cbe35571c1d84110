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

std::string stemof(const std::string& path) { return fs::path(path).stem().string(); }

std::string framename(const std::string& dir, const std::string& output, long n) {
    char number[24];
    std::snprintf(number, sizeof number, "-%06ld.png", n);
    return (fs::path(dir) / (stemof(output) + number)).string();
}

std::string earlierframe(const std::string& dir, const std::string& output) {
    const std::string stem = stemof(output) + "-";
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(dir.c_str()), closedir);
    if (!folder) return {};
    while (const dirent* entry = readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name.size() < stem.size() + 10 || name.compare(0, stem.size(), stem) != 0 ||
            name.compare(name.size() - 4, 4, ".png") != 0)
            continue;
        const std::string digits = name.substr(stem.size(), name.size() - stem.size() - 4);
        if (digits.find_first_not_of("0123456789") == std::string::npos) return name;
    }
    return {};
}

std::string makeframes(const BatchOptions& o) {
    if (o.frames.empty() || mkdir(o.frames.c_str(), 0777) == 0 || errno == EEXIST) return {};
    return "--frames: cannot make the folder '" + o.frames + "': " + std::strerror(errno);
}

std::string writeframe(const BatchOptions& o, const PngText& text, long n) {
    const std::string name = framename(o.frames, o.output, n);
    if (writepng(name, text, 1) != 0) return name;
    return {};
}

}  // namespace zorv::batch

// What the fuzzers share: a folder of their own under TMPDIR (or /tmp), made
// on first use and removed when the process ends; small file helpers; and
// the failure of a property, which names it and ends the run as a crash.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "zorv fuzz: %s\n", what);
    std::abort();
}

class Scratch {
public:
    Scratch() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/zorv-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("zorv fuzz: cannot make a scratch folder");
            std::abort();
        }
        path_ = pattern;
    }
    // Folders made read-only inside are opened up first, so that all goes.
    ~Scratch() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (auto it = fs::recursive_directory_iterator(path_, ignored); !ignored && it != fs::end(it);
             it.increment(ignored))
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline const std::string& scratch() {
    static Scratch folder;
    return folder.path();
}

// Writes bytes to path, replacing what was there; aborts when it cannot,
// since the harness's own files must exist.
inline void put(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::perror(path.c_str());
        std::abort();
    }
}

// The whole file; ok tells whether it could be read.
inline std::string get(const std::string& path, bool& ok) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ok = f != nullptr;
    if (!f) return bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    ok = !std::ferror(f);
    std::fclose(f);
    return bytes;
}

}  // namespace fuzz

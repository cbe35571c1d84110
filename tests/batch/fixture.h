// What the in-process tests of zorv-dla-batch share: a folder of their own, the program run with arguments, and
// readers of the files it writes.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <sys/mount.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch.h"
#include "files/savefile.h"

namespace batchtest {

namespace fs = std::filesystem;

inline std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Everything the folder holds, by name, folders included.
inline std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(dir)) found.insert(e.path().lexically_relative(dir).string());
    return found;
}

// A 24-bit top-first Targa's pixels as red, green, blue bytes.
inline std::vector<unsigned char> tgapixels(const std::string& tga) {
    std::vector<unsigned char> rgb;
    for (std::size_t i = 18; i + 26 + 3 <= tga.size(); i += 3)
        for (std::size_t c : {2, 1, 0}) rgb.push_back(static_cast<unsigned char>(tga[i + c]));
    return rgb;
}

// An 8-bit RGB PNG read with libpng: its pixels, text chunks and sRGB intent (-1 for none).
struct Png { std::vector<unsigned char> rgb; std::map<std::string, std::string> text; int intent = -1; };
inline Png readpng(const std::string& path) {
    Png p;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return p;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        png_bytepp rows = png_get_rows(png, info);
        for (png_uint_32 y = 0; y < png_get_image_height(png, info); ++y)
            p.rgb.insert(p.rgb.end(), rows[y], rows[y] + png_get_rowbytes(png, info));
        png_textp chunks = nullptr;
        for (int i = 0, n = png_get_text(png, info, &chunks, nullptr); i < n; ++i)
            p.text[chunks[i].key] = chunks[i].text;
        png_get_sRGB(png, info, &p.intent);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return p;
}

// Keeps the text and raises SIGINT the first time a progress line starts.
struct SignalOnProgress : std::stringbuf {
    int signal = SIGINT;
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        if (signal && std::memchr(s, '\r', static_cast<std::size_t>(n))) std::raise(std::exchange(signal, 0));
        return std::stringbuf::xsputn(s, n);
    }
};

class Batch : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("zorv-batch-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::ostringstream out, err;

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        savewritecheck = nullptr;
        savestepcheck = nullptr;
        umount2(dir.c_str(), MNT_DETACH);
        fs::remove_all(dir);
    }

    // Runs the program; with `progress`, the progress line and errors go there.
    int run(std::vector<std::string> args, std::ostream* progress = nullptr) {
        out.str("");
        err.str("");
        args.insert(args.begin(), "zorv-dla-batch");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        BatchOptions options;
        std::ostream& e = progress ? *progress : err;
        const int code = parsebatch(static_cast<int>(argv.size()), argv.data(), options, out, e);
        options.progress = progress != nullptr;
        return code >= 0 ? code : runbatch(options, out, e);
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    // Everything in the folder: a file's bytes, a link's target, or its kind.
    std::map<std::string, std::string> tree() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            files[e.path().lexically_relative(dir).string()] = e.is_symlink() ? "-> " + fs::read_symlink(e).string()
                : e.is_regular_file() ? slurp(e.path()) : e.is_directory() ? "folder" : "other";
        return files;
    }
    void writeEarlierFiles() {
        for (const char* name : {"a.tga", "a.dla", "a.png"}) std::ofstream(path(name)) << "earlier " << name;
    }
    // A 100 x 100 image and its PNG (102 Targa writes: header, rows, footer; 1 of the parameters; the PNG's) whose save
    // fails at the file given (none: stopped by SIGTERM; "a.dla/": a folder took that file's place): exit 1 (143), one
    // line, the folder as it was.
    void expectSaveFails(const std::string& file, std::map<std::string, std::string> before,
                         std::vector<std::string> more = {}) {
        more.insert(more.end(), {"--seed", "7", "-s", "100x100", "--png", path("a.png"), path("a.tga")});
        EXPECT_EQ(run(more), file.empty() ? 143 : 1) << file;
        std::string says = file.empty() ? "interrupted by SIGTERM; nothing was written"
                                        : path(file) + ": cannot write (No space left on device)";
        if (file == "a.dla/") {
            says = path("a.dla") + ": cannot put the new file in place (Is a directory); no file was changed";
            before["a.dla"] = "folder";
        }
        EXPECT_EQ(err.str(), "zorv-dla-batch: " + says + "\n");
        EXPECT_TRUE(tree() == before) << file;
    }
};

}  // namespace batchtest

#include "batch/batch.h"

#include <png.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "files/targa.h"
#include "platform/headless/headless.h"

namespace {

namespace fs = std::filesystem;

// A value given by number or by name, such as "--algorithm fractint".
std::optional<int> byname(const std::string& text, const std::vector<std::string>& names) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (text == names[i] || text == std::to_string(i)) return static_cast<int>(i);
    return std::nullopt;
}

std::optional<int> number(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
    return value;
}

std::string folderof(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// An output path can be written when it is not a folder and its folder
// exists and lets us create files.
bool writable(const std::string& path, std::string& why) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        why = "is a folder";
        return false;
    }
    std::string folder = folderof(path);
    if (!fs::is_directory(folder, ec)) {
        why = "its folder " + folder + " does not exist";
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        why = "its folder " + folder + " is not writable";
        return false;
    }
    if (fs::exists(path, ec) && access(path.c_str(), W_OK) != 0) {
        why = "it is not writable";
        return false;
    }
    return true;
}

LRESULT BatchWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcA(hwnd, msg, wp, lp); }

// How far the seeding circle may go: out to 10 pixels from the border, or in
// to a radius of 10.
int radiuslimit() { return growth == 0 ? std::min(xres >> 1, yres >> 1) - 10 : 10; }

std::string seconds(double s) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(3) << s;
    return text.str();
}

}  // namespace

int parsebatch(int argc, char** argv, BatchOptions& o, std::ostream& out, std::ostream& err) {
    CLI::App app{"Grows one diffusion-limited-aggregation image without a window and saves it as a\n"
                 "24-bit Targa file, with its parameter file beside it.",
                 "zorv-dla-batch"};
    std::string size, radius, stickiness, algorithm, growthname, coloring, background, seed;
    app.add_option("OUTPUT.tga", o.output, "the Targa file to write")->required();
    app.add_option("--params", o.params, "a .dla parameter file: the settings and palette to start from");
    app.add_option("--size", size, "image size WxH, each 100 to 9600 (default 400x400)");
    app.add_option("--radius", radius, "starting radius of the seeding circle, 5 to 50 (default 10)");
    app.add_option("--stickiness", stickiness, "chance in percent that a touching particle sticks, 1 to 100");
    app.add_option("--algorithm", algorithm, "0 durero-rudo, 1 fractint, 2 fractint-spaces");
    app.add_option("--growth", growthname, "0 centrifugal, 1 centripetal");
    app.add_option("--coloring", coloring, "0 count, 1 distance");
    auto* grey = app.add_flag("--greyscale", o.greyscale, "draw particles in grey shades");
    app.add_option("--background", background, "background colour R,G,B, each 0 to 255");
    auto* map = app.add_option("--map", o.map, "a Fractint .map palette");
    grey->excludes(map);
    app.add_option("--seed", seed, "random seed (default: the current time in seconds)");
    app.add_option("--png", o.png, "also write a PNG copy");
    app.add_flag("--quiet", o.quiet, "no progress line");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "zorv-dla-batch: " << e.what() << " (see --help)\n";
        return 2;
    }

    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    auto ranged = [&](const std::string& text, const char* option, int lo, int hi,
                      std::optional<int>& into) -> bool {
        if (text.empty()) return true;
        auto v = number(text);
        if (!v || *v < lo || *v > hi) {
            fail(std::string(option) + ": '" + text + "' is not a whole number from " + std::to_string(lo) +
                 " to " + std::to_string(hi));
            return false;
        }
        into = v;
        return true;
    };
    if (!size.empty()) {
        auto x = size.find_first_of("xX");
        auto w = x == std::string::npos ? std::nullopt : number(size.substr(0, x));
        auto h = x == std::string::npos ? std::nullopt : number(size.substr(x + 1));
        if (!w || !h || *w < XRES_MIN || *w > XRES_MAX || *h < XRES_MIN || *h > XRES_MAX)
            return fail("--size: '" + size + "' is not WxH with width and height from 100 to 9600");
        o.width = w;
        o.height = h;
    }
    if (!ranged(radius, "--radius", RADIUS_MIN, RADIUS_MAX, o.radius)) return 2;
    if (!ranged(stickiness, "--stickiness", PROBABILITY_MIN, PROBABILITY_MAX, o.stickiness)) return 2;
    if (!algorithm.empty()) {
        o.algorithm = byname(algorithm, {"durero-rudo", "fractint", "fractint-spaces"});
        if (!o.algorithm)
            return fail("--algorithm: '" + algorithm +
                        "' is not 0 to 2 (durero-rudo, fractint, fractint-spaces)");
    }
    if (!growthname.empty()) {
        o.growth = byname(growthname, {"centrifugal", "centripetal"});
        if (!o.growth) return fail("--growth: '" + growthname + "' is not 0 to 1 (centrifugal, centripetal)");
    }
    if (!coloring.empty()) {
        o.coloring = byname(coloring, {"count", "distance"});
        if (!o.coloring) return fail("--coloring: '" + coloring + "' is not 0 to 1 (count, distance)");
    }
    if (!background.empty()) {
        std::vector<int> rgb;
        std::stringstream parts(background);
        std::string part;
        while (std::getline(parts, part, ',')) {
            auto v = number(part);
            if (!v || *v < 0 || *v > COLOR_MAX) {
                rgb.clear();
                break;
            }
            rgb.push_back(*v);
        }
        if (rgb.size() != 3)
            return fail("--background: '" + background + "' is not R,G,B with each value from 0 to 255");
        o.background = rgb;
    }
    if (!seed.empty()) {
        std::int64_t value = 0;
        const char* end = seed.data() + seed.size();
        auto [p, ec] = std::from_chars(seed.data(), end, value);
        if (ec != std::errc() || p != end || value < 0 || value > 0xFFFFFFFFll)
            return fail("--seed: '" + seed + "' is not a whole number from 0 to 4294967295");
        o.seed = value;
    }
    o.progress = !o.quiet && isatty(STDERR_FILENO);
    return -1;
}

int runbatch(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    std::string why;
    std::string name = fs::path(o.output).filename().string();
    if (name.size() < 5 || strcasecmp(name.c_str() + name.size() - 4, ".tga") != 0)
        return fail("OUTPUT: '" + o.output + "' must name a .tga file");
    if (!writable(o.output, why)) return fail("OUTPUT: cannot write '" + o.output + "': " + why);
    std::string dlapath = o.output.substr(0, o.output.size() - 3) + "dla";
    if (!writable(dlapath, why)) return fail("OUTPUT: cannot write '" + dlapath + "': " + why);
    if (!o.png.empty() && !writable(o.png, why)) return fail("--png: cannot write '" + o.png + "': " + why);

    headless::Backend screen;
    auto wallstart = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallstart).count(); };
    screen.calendar = o.seed ? *o.seed : static_cast<std::int64_t>(std::time(nullptr));
    // The run's statistics take their time from the tick count: let it follow the wall clock.
    screen.onPump = [&] { screen.ticks = static_cast<DWORD>(elapsed() * 1000.0); };

    resetsettings();
    firsttime = 0;  // no help text
    debug = 0;
    if (!o.params.empty()) {
        odlafile = o.params;
        if (loaddla() != 0)
            return fail("--params: cannot read '" + o.params + "' as a parameter file (804 bytes, values in range)");
    }
    if (!o.map.empty()) {
        mapfile = o.map;
        if (OpenMapFile() != 0)
            return fail("--map: cannot read '" + o.map + "' as a MAP palette (lines of three numbers)");
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

    WNDCLASSA wc{};
    wc.lpfnWndProc = BatchWindowProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "ZORVBatch";
    RegisterClassA(&wc);
    // A one-pixel window: the image centre lies outside it, so the runs draw
    // on the canvas only.
    g_hWnd = CreateWindowExA(0, "ZORVBatch", "zorv-dla-batch", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                             nullptr);
    struct Release {
        ~Release() { releasecanvas(); }
    } release;
    if (!createcanvas(g_hWnd))
        return fail("--size: not enough memory for a " + std::to_string(xres) + "x" + std::to_string(yres) +
                    " image");

    okdla = 1;
    firstloop = 1;
    terminate = 0;
    long particles = 0;
    double lastshown = -1;
    const GrowthState& state = growth == 0 ? centrifugalstate() : centripetalstate();
    while (okdla) {
        int result = growth == 0 ? dla_centrifugal() : dla_centripetal();
        if (result == GROWTH_CONTINUES) ++particles;
        if (o.progress) {
            double now = elapsed();
            if (now - lastshown >= 0.25) {
                lastshown = now;
                err << "\rradius " << state.radius << " (limit " << radiuslimit() << ")  particles " << particles
                    << "  " << static_cast<long>(state.moves / std::max(now, 1e-9)) << " steps/s  " << seconds(now)
                    << " s   " << std::flush;
            }
        }
    }
    double growtime = elapsed();
    if (o.progress) err << "\n";

    tgafile = o.output;
    int r = writetga(g_vhdc);
    if (r != 0) {
        err << "zorv-dla-batch: " << o.output << ": " << saveerror[r - 1] << "\n";
        return 1;
    }
    r = writedla(1);
    if (r != 0) {
        std::remove(o.output.c_str());
        err << "zorv-dla-batch: " << sdlafile << ": " << saveerror[r - 1] << "\n";
        return 1;
    }
    if (!o.png.empty() && !writepng(o.png, why)) {
        err << "zorv-dla-batch: " << o.png << ": " << why << "\n";
        return 1;
    }

    // The statistics as the debugging display words them, a line each; its
    // pixel count is that of every particle at rest, as with debugging on.
    GrowthState shown = state;
    shown.pixelcount = particles;
    std::istringstream lines(growth == 0 ? statisticstext(shown, "distancemax", shown.distancemax)
                                         : statisticstext(shown, "distancemin", shown.distancemin));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) out << line << "\n";
    out << "particles: " << particles << "\n";
    out << "elapsed: " << seconds(growtime) << "\n";
    return 0;
}

bool writepng(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<std::size_t>(xres) * 3);
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    else if (ok) {
        png_init_io(png, f);
        png_set_IHDR(png, info, static_cast<png_uint_32>(xres), static_cast<png_uint_32>(yres), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < yres; ++y) {
            for (int x = 0; x < xres; ++x) {
                COLORREF c = GetPixel(g_vhdc, x, y);
                row[3 * x] = GetRValue(c);
                row[3 * x + 1] = GetGValue(c);
                row[3 * x + 2] = GetBValue(c);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        error = "PNG write failed";
        std::remove(path.c_str());
    }
    return ok;
}

#include "batch/batch.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
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
#include "files/savefile.h"
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

// An output file: the option that names it, for messages, and its path.
struct Output {
    const char* option;
    std::string path;
};

// Whether two paths lead to one file: the same name once links are
// followed and folders resolved, or the same file under two names.
bool samefile(const std::string& a, const std::string& b) {
    const std::string ta = savetarget(a), tb = savetarget(b);
    if (!ta.empty() && ta == tb) return true;
    struct stat sa {}, sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Why the outputs cannot be written, found before anything is grown, as
// one line; empty when they can.
std::string checkoutputs(const std::vector<Output>& outputs) {
    for (const Output& output : outputs) {
        std::string why = cannotsave(output.path);
        if (!why.empty()) return std::string(output.option) + ": cannot write '" + output.path + "': " + why;
    }
    // Two outputs at one file would leave only the last one written.
    for (std::size_t i = 1; i < outputs.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (samefile(outputs[i].path, outputs[j].path))
                return std::string(outputs[i].option) + ": '" + outputs[i].path + "' names the same file as '" +
                       outputs[j].path + "'";
    return {};
}

// SIGINT and SIGTERM while a run lives. The handler only records the signal
// and makes saves in progress fail at their next write; the growth loop and
// the saves look at it and remove what they had begun.
volatile std::sig_atomic_t stopsignal = 0;

void onstopsignal(int signal) {
    stopsignal = signal;
    savecancelled = 1;
}

class StopSignals {
public:
    StopSignals() {
        stopsignal = 0;
        savecancelled = 0;
        struct sigaction action {};
        action.sa_handler = onstopsignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousint_);
        sigaction(SIGTERM, &action, &previousterm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &previousint_, nullptr);
        sigaction(SIGTERM, &previousterm_, nullptr);
        savecancelled = 0;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    struct sigaction previousint_ {}, previousterm_ {};
};

// After a stop signal: one line, and the shell's code for a death by it.
int interrupted(std::ostream& err) {
    err << "zorv-dla-batch: interrupted by " << (stopsignal == SIGINT ? "SIGINT" : "SIGTERM")
        << "; nothing was written\n";
    return 128 + stopsignal;
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

namespace {

// Writes the Targa, the parameter file beside it and the PNG copy as one:
// each goes to a temporary file, and only when all are complete are they
// moved into place together. Returns 0; 1 after one line naming the file
// that failed; or, after a stop signal, 128 + the signal. Whatever the
// outcome short of 0, the earlier file at each path is as it was and no
// temporary file is left.
int saveoutputs(const BatchOptions& o, std::ostream& err) {
    SaveGroup group;
    tgafile = o.output;
    std::string failed;
    int r = writetga(g_vhdc);
    if (r != 0) failed = o.output;
    if (r == 0 && (r = writedla(1)) != 0) failed = sdlafile;
    if (r == 0 && !o.png.empty() && (r = writepng(o.png)) != 0) failed = o.png;
    if (stopsignal) {
        group.discard();
        return interrupted(err);
    }
    if (r != 0) {
        group.discard();
        err << "zorv-dla-batch: " << failed << ": " << saveerror[r - 1] << "\n";
        return 1;
    }
    // A signal from here on is too late to stop anything: the files are complete.
    if (!group.commit(failed)) {
        err << "zorv-dla-batch: " << failed << ": cannot put the new file in place (" << std::strerror(errno)
            << "); no file was changed\n";
        return 1;
    }
    return 0;
}

void pngwrite(png_structp png, png_bytep data, png_size_t length) {
    if (!static_cast<SaveFile*>(png_get_io_ptr(png))->write(data, length)) png_error(png, "write failed");
}
void pngflush(png_structp) {}
// libpng's own handlers would print to the error stream; the caller reports.
void pngerror(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngwarning(png_structp, png_const_charp) {}

}  // namespace

int runbatch(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    StopSignals stopsignals;
    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    std::string name = fs::path(o.output).filename().string();
    if (name.size() < 5 || strcasecmp(name.c_str() + name.size() - 4, ".tga") != 0)
        return fail("OUTPUT: '" + o.output + "' must name a .tga file");
    std::vector<Output> outputs = {{"OUTPUT", o.output}, {"OUTPUT", o.output.substr(0, o.output.size() - 3) + "dla"}};
    if (!o.png.empty()) outputs.push_back({"--png", o.png});
    if (std::string why = checkoutputs(outputs); !why.empty()) return fail(why);

    headless::Backend screen;
    auto wallstart = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallstart).count(); };
    screen.calendar = o.seed ? *o.seed : static_cast<std::int64_t>(std::time(nullptr));
    bool pausing = false;
    screen.onPump = [&] {
        // The run's statistics take their time from the tick count: let it follow the wall clock.
        screen.ticks = static_cast<DWORD>(elapsed() * 1000.0);
        // A stop signal also ends the walk under way, as PAUSE does.
        if (stopsignal && !pausing) {
            pausing = true;
            screen.keyDown(g_hWnd, VK_PAUSE);
        }
    };

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
    while (okdla && !stopsignal) {
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
    if (lastshown >= 0) err << "\n";
    if (stopsignal) return interrupted(err);
    if (int r = saveoutputs(o, err); r != 0) return r;

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

int writepng(const std::string& path) {
    SaveFile file;
    if (!file.open(path)) return 1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngerror, pngwarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(png ? &png : nullptr, nullptr);
        return 2;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(xres) * 3);
    volatile bool written = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &file, pngwrite, pngflush);
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
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    return written && file.commit() ? 0 : 3;
}

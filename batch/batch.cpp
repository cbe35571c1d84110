#include "batch/batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
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

#ifndef ZORV_VERSION
#error "ZORV_VERSION must name the project's version"
#endif

namespace {

namespace fs = std::filesystem;

// The names a choice takes besides its number, such as "--algorithm fractint".
const std::vector<std::string> ALGORITHMS = {"durero-rudo", "fractint", "fractint-spaces"};
const std::vector<std::string> GROWTHS = {"centrifugal", "centripetal"};
const std::vector<std::string> COLORINGS = {"count", "distance"};

std::optional<std::int64_t> number(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
    return value;
}

// A whole number from lo to hi; the error names the range.
CLI::Validator whole(std::int64_t lo, std::int64_t hi) {
    return CLI::Validator(
        [lo, hi](std::string& text) -> std::string {
            auto v = number(text);
            if (v && *v >= lo && *v <= hi) return {};
            return "'" + text + "' is not a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
        },
        "", "");
}

// A choice by number or by name, turned into its number.
CLI::Validator choice(const std::vector<std::string>& names) {
    return CLI::Validator(
        [names](std::string& text) -> std::string {
            for (std::size_t i = 0; i < names.size(); ++i)
                if (text == names[i] || text == std::to_string(i)) {
                    text = std::to_string(i);
                    return {};
                }
            std::string all;
            for (const std::string& name : names) all += (all.empty() ? "" : ", ") + name;
            return "'" + text + "' is not 0 to " + std::to_string(names.size() - 1) + " (" + all + ")";
        },
        "", "");
}

// Numbers separated by one character, each from lo to hi; empty when the
// text is not that.
std::vector<int> numbers(const std::string& text, char separator, std::size_t count, int lo, int hi) {
    std::vector<int> values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(text.find(separator, start), text.size());
        auto v = number(text.substr(start, end - start));
        if (!v || *v < lo || *v > hi) return {};
        values.push_back(static_cast<int>(*v));
        if (end == text.size()) break;
        start = end + 1;
    }
    return values.size() == count ? values : std::vector<int>{};
}

std::vector<int> widthheight(const std::string& text) {
    std::string lower = text;
    for (char& c : lower)
        if (c == 'X') c = 'x';
    return numbers(lower, 'x', 2, XRES_MIN, XRES_MAX);
}

CLI::Validator pattern(std::vector<int> (*parse)(const std::string&), std::string says) {
    return CLI::Validator(
        [parse, says](std::string& text) -> std::string {
            return parse(text).empty() ? "'" + text + "' " + says : std::string();
        },
        "", "");
}

std::vector<int> rgbof(const std::string& text) { return numbers(text, ',', 3, 0, COLOR_MAX); }

// --help shows each option as "--size WxH [400x400]".
class HelpFormat : public CLI::Formatter {
public:
    std::string make_option(const CLI::Option* opt, bool positional) const override {
        std::stringstream text;
        CLI::detail::format_help(text, make_option_name(opt, positional) + (positional ? "" : make_option_opts(opt)),
                                 make_option_desc(opt), column_width_);
        return text.str();
    }
    std::string make_option_opts(const CLI::Option* opt) const override {
        std::string text;
        if (opt->get_type_size() != 0 && !opt->get_type_name().empty()) text += " " + opt->get_type_name();
        if (!opt->get_default_str().empty()) text += " [" + opt->get_default_str() + "]";
        return text;
    }
};

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

std::string dlaname(const std::string& tga) { return tga.substr(0, tga.size() - 3) + "dla"; }

std::string stemof(const std::string& path) { return fs::path(path).stem().string(); }

// Frame n of the image whose Targa is output, in the frames folder.
std::string framename(const std::string& dir, const std::string& output, long n) {
    char number[24];
    std::snprintf(number, sizeof number, "-%06ld.png", n);
    return (fs::path(dir) / (stemof(output) + number)).string();
}

// A frame of this image already in the folder: an earlier run's, which
// this one would mix with.
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

// Writes frame n of the image, the canvas as it is now, with the image's
// text chunks. Returns the frame's name when it could not be written, or
// nothing.
std::string writeframe(const BatchOptions& o, const PngText& text, long n) {
    const std::string name = framename(o.frames, o.output, n);
    if (writepng(name, text, 1) != 0) return name;
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

// SIGINT and SIGTERM while a run lives. The handler only records the signal
// and makes saves in progress fail at their next write; the growth loop and
// the saves look at caught() and remove what they had begun. The signals are
// unblocked while the handler is in place: a --count batch starts each
// image's process with them blocked, so that none is lost before the
// image's own handler is there.
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
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigprocmask(SIG_UNBLOCK, &stops, &previousmask_);
    }
    ~StopSignals() {
        sigprocmask(SIG_SETMASK, &previousmask_, nullptr);
        sigaction(SIGINT, &previousint_, nullptr);
        sigaction(SIGTERM, &previousterm_, nullptr);
        savecancelled = 0;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that came since, or 0.
    int caught() const { return stopsignal; }
    // Its name, as the messages give it.
    const char* name() const { return stopsignal == SIGINT ? "SIGINT" : "SIGTERM"; }

private:
    struct sigaction previousint_ {}, previousterm_ {};
    sigset_t previousmask_{};
};

LRESULT BatchWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcA(hwnd, msg, wp, lp); }

// How far the seeding circle may go: out to 10 pixels from the border, or in
// to a radius of 10.
int radiuslimit() { return growth == 0 ? std::min(xres >> 1, yres >> 1) - 10 : 10; }

std::string seconds(double s) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(3) << s;
    return text.str();
}

std::string colourtext(COLORREF c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

// The particle list: a line per particle in the order they came to rest,
// the seed pixels first, each with the particle whose pixel its contact
// rule found. A map from pixel to the particle drawn there last gives the
// parents; it exists only while a list is written.
class Particles {
public:
    static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

    // Prepares the list and the map. False when memory or the file fails.
    bool open(const std::string& path) {
        path_ = path;
        try {
            owner_.assign(static_cast<std::size_t>(xres) * static_cast<std::size_t>(yres), NONE);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return file_.open(path) && line("id,parent,x,y,colour_index,colour\n");
    }

    // The seed pixels: every pixel of the new image that is not background,
    // row by row. They have no parent.
    void seeds() {
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) {
                const COLORREF c = GetPixel(g_vhdc, x, y);
                if (c != bkgd) add(x, y, -1, c == palettecolor(1) ? 1 : 0, c);
            }
    }

    // The particle that just came to rest. A particle resting on the canvas
    // owns its pixel from now on, also when it replaced a cluster pixel's
    // colour or was drawn in the background's own colour, so that drawing
    // the list in order in its colours repeats the image. A contact found
    // off the canvas has no particle: the particle gets parent -1.
    void settled(const GrowthState& s) {
        std::int64_t parent = -1;
        if (inside(s.foundx, s.foundy)) {
            const std::uint32_t id = owner_[index(s.foundx, s.foundy)];
            if (id != NONE) parent = id;
        }
        add(s.restx, s.resty, parent, s.restindex, s.frgd);
    }

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    SaveFile& file() { return file_; }

private:
    bool inside(int x, int y) const {
        return static_cast<unsigned>(x) < static_cast<unsigned>(xres) &&
               static_cast<unsigned>(y) < static_cast<unsigned>(yres);
    }
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(xres) + static_cast<std::size_t>(x);
    }
    void add(int x, int y, std::int64_t parent, int colourindex, COLORREF colour) {
        if (!ok_) return;
        // Off the canvas a particle leaves no pixel.
        if (inside(x, y) && next_ < NONE) owner_[index(x, y)] = static_cast<std::uint32_t>(next_);
        char text[96];
        const int n = std::snprintf(text, sizeof text, "%lld,%lld,%d,%d,%d,%s\n", static_cast<long long>(next_),
                                    static_cast<long long>(parent), x, y, colourindex, colourtext(colour).c_str());
        ++next_;
        line(std::string_view(text, static_cast<std::size_t>(n)));
    }
    bool line(std::string_view text) {
        ok_ = ok_ && file_.write(text.data(), text.size());
        return ok_;
    }

    std::string path_;
    SaveFile file_;
    std::vector<std::uint32_t> owner_;
    std::int64_t next_ = 0;
    bool ok_ = true;
};

// The list the growth runs report their seeds to.
Particles* listing = nullptr;
void listseeds() { listing->seeds(); }

// Hands the seed pixels of the next image to a particle list while it lives.
class SeedHook {
public:
    explicit SeedHook(Particles* list) {
        listing = list;
        seedplanted = list ? listseeds : nullptr;
    }
    ~SeedHook() {
        seedplanted = nullptr;
        listing = nullptr;
    }
    SeedHook(const SeedHook&) = delete;
    SeedHook& operator=(const SeedHook&) = delete;
};

// The parameters of the image, as the PNG's text chunks hold them.
PngText parametertext(const BatchOptions& o, std::int64_t seed) {
    PngText text = {
        {"Software", batchversion()},
        {"Size", std::to_string(xres) + "x" + std::to_string(yres)},
        {"Radius", std::to_string(startradius)},
        {"Stickiness", std::to_string(probability)},
        {"Algorithm", ALGORITHMS[std::clamp(algorithm, 0, ALGORITHM_MAX)]},
        {"Growth", GROWTHS[std::clamp(growth, 0, GROWTH_MAX)]},
        {"Coloring", COLORINGS[std::clamp(coloring, 0, COLORING_MAX)]},
        {"Greyscale", greyscale ? "yes" : "no"},
        {"Background colour", std::to_string(rback) + "," + std::to_string(gback) + "," + std::to_string(bback)},
    };
    if (!o.params.empty()) text.push_back({"Params", o.params});
    if (!o.map.empty()) text.push_back({"Map", o.map});
    text.push_back({"Seed", std::to_string(seed)});
    return text;
}

// After a stop signal: one line, and the shell's code for a death by it.
int interrupted(const StopSignals& stopsignals, long frames, const std::string& framedir, std::ostream& err) {
    err << "zorv-dla-batch: interrupted by " << stopsignals.name() << "; nothing was written";
    if (frames > 0) err << " but " << frames << " frame" << (frames == 1 ? "" : "s") << " in " << framedir;
    err << "\n";
    return 128 + stopsignals.caught();
}

// Writes the Targa, the parameter file beside it, the PNG copy and the
// particle list as one: each goes to a temporary file, and only when all
// are complete are they moved into place together. Returns 0; 1 after one
// line naming the file that failed; or, after a stop signal, 128 + the
// signal. Whatever the outcome short of 0, the earlier file at each path is
// as it was and no temporary file is left.
int saveoutputs(const BatchOptions& o, const PngText& text, Particles* points, long frames,
                const StopSignals& stopsignals, std::ostream& err) {
    SaveGroup group;
    tgafile = o.output;
    std::string failed;
    int r = writetga(g_vhdc);
    if (r != 0) failed = o.output;
    if (r == 0 && (r = writedla(1)) != 0) failed = sdlafile;
    if (r == 0 && !o.png.empty() && (r = writepng(o.png, text)) != 0) failed = o.png;
    if (r == 0 && points && !points->file().commit()) {
        r = 3;
        failed = points->path();
    }
    if (stopsignals.caught()) {
        group.discard();
        return interrupted(stopsignals, frames, o.frames, err);
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

// The text chunks for libpng, pointing into text. A value beyond ASCII (a
// file name) goes into an international chunk, as UTF-8.
std::vector<png_text> pngchunks(const PngText& text) {
    std::vector<png_text> chunks(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto& [key, value] = text[i];
        const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return c > 0 && c < 0x7F; });
        chunks[i].compression = ascii ? PNG_TEXT_COMPRESSION_NONE : PNG_ITXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char*>(key.c_str());
        chunks[i].text = const_cast<char*>(value.c_str());
        chunks[i].text_length = ascii ? value.size() : 0;
        chunks[i].itxt_length = ascii ? 0 : value.size();
    }
    return chunks;
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

// What one image's growth came to.
struct Grown {
    std::int64_t seed = 0;
    GrowthState state;    // the run's statistics at the end
    long particles = 0;   // particles at rest
    double growtime = 0;  // seconds of growth
    long frames = 0;      // frames written
};

// The results of a run: the statistics as the debugging display words
// them, a line each, and the files written; or all of it as one line of
// JSON.
void report(const BatchOptions& o, const Grown& grown, std::ostream& out) {
    const GrowthState& state = grown.state;
    const long particles = grown.particles;
    const long frames = grown.frames;
    std::vector<std::string> files = {o.output, dlaname(o.output)};
    if (!o.png.empty()) files.push_back(o.png);
    if (!o.points.empty()) files.push_back(o.points);
    if (o.json) {
        nlohmann::ordered_json j;
        j["seed"] = grown.seed;
        j["width"] = xres;
        j["height"] = yres;
        j["startradius"] = startradius;
        j["stickiness"] = probability;
        j["algorithm"] = ALGORITHMS[std::clamp(algorithm, 0, ALGORITHM_MAX)];
        j["growth"] = GROWTHS[std::clamp(growth, 0, GROWTH_MAX)];
        j["coloring"] = COLORINGS[std::clamp(coloring, 0, COLORING_MAX)];
        j["greyscale"] = greyscale != 0;
        j["background"] = {rback, gback, bback};
        if (growth == 0) j["distancemax"] = static_cast<long long>(state.distancemax);
        else j["distancemin"] = static_cast<long long>(state.distancemin);
        j["radius"] = state.radius;
        j["particles"] = particles;
        j["moves"] = state.moves;
        j["elapsed"] = std::round(grown.growtime * 1000.0) / 1000.0;
        j["files"] = files;
        if (!o.frames.empty()) j["frames"] = {{"folder", o.frames}, {"count", frames}};
        // Names that are not UTF-8 are shown with U+FFFD in their place.
        out << j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
        return;
    }
    // The pixel count is that of every particle at rest, as with debugging on.
    GrowthState shown = state;
    shown.pixelcount = particles;
    std::istringstream lines(growth == 0 ? statisticstext(shown, "distancemax", shown.distancemax)
                                         : statisticstext(shown, "distancemin", shown.distancemin));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) out << line << "\n";
    out << "particles: " << particles << "\n";
    out << "elapsed: " << seconds(grown.growtime) << "\n";
    for (const std::string& file : files) out << "wrote: " << file << "\n";
    auto frame = [&](long n) { return fs::path(framename(o.frames, o.output, n)).filename().string(); };
    if (frames > 0)
        out << "frames: " << frames << " in " << o.frames << " (" << frame(1) << " to " << frame(frames) << ")\n";
}

// The progress line of one image, now seconds into its growth.
void showprogress(std::ostream& err, const GrowthState& state, int limit, long particles, double now) {
    err << "\rradius " << state.radius << " (limit " << limit << ")  particles " << particles << "  "
        << static_cast<long>(state.moves / std::max(now, 1e-9)) << " steps/s  " << seconds(now) << " s   "
        << std::flush;
}

// One image under way in a --count batch, as its progress line shows it.
struct Underway {
    std::string name;
    int radius = 0, limit = 0;
};

// The progress line of a --count batch. A shorter line covers a longer one
// with spaces, and the line is cleared before anything else is printed.
class CountProgress {
public:
    explicit CountProgress(std::ostream& err) : err_(err) {}

    void show(int ended, int count, const std::vector<Underway>& underway, double now) {
        std::ostringstream line;
        line << "\rimages " << ended << " of " << count << " done";
        for (const Underway& image : underway)
            line << "  " << image.name << " radius " << image.radius << " (limit " << image.limit << ")";
        line << "  " << seconds(now) << " s";
        std::string text = line.str();
        const std::size_t width = text.size() - 1;
        if (width < width_) text += std::string(width_ - width, ' ');
        width_ = std::max(width_, width);
        err_ << text << std::flush;
    }

    void clear() {
        if (width_) err_ << "\r" << std::string(width_, ' ') << "\r" << std::flush;
        width_ = 0;
    }

private:
    std::ostream& err_;
    std::size_t width_ = 0;
};

}  // namespace

std::string batchversion() { return std::string("zorv-dla-batch ") + ZORV_VERSION; }

std::string numberedname(const std::string& path, int index, int count) {
    const int width = std::max(4, static_cast<int>(std::to_string(count).size()));
    char number[24];
    std::snprintf(number, sizeof number, "-%0*d", width, index);
    const fs::path p(path);
    const std::string name = p.filename().string();
    const std::size_t dot = name.rfind('.');
    const std::string numbered = dot == std::string::npos || dot == 0
                                     ? name + number
                                     : name.substr(0, dot) + number + name.substr(dot);
    return (p.parent_path() / numbered).string();
}

int parsebatch(int argc, char** argv, BatchOptions& o, std::ostream& out, std::ostream& err) {
    CLI::App app{batchversion() +
                     ": grows diffusion-limited-aggregation images without a window and saves\n"
                     "each as a 24-bit Targa file, with its parameter file beside it.",
                 "zorv-dla-batch"};
    app.formatter(std::make_shared<HelpFormat>());
    app.get_formatter()->column_width(32);
    app.set_version_flag("--version", batchversion(), "print the program's version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");
    // The defaults shown are those of the interactive program.
    resetsettings();
    std::string size, background;
    app.add_option("-o,--output,OUTPUT.tga", o.output, "the Targa file to write; its .dla goes beside it")
        ->type_name("FILE.tga");
    app.add_option("-s,--size", size, "image size, width and height each 100 to 9600")
        ->type_name("WxH")
        ->default_str("400x400")
        ->check(pattern(widthheight, "is not WxH with width and height from 100 to 9600"));
    app.add_option("--radius", o.radius, "starting radius of the seeding circle, 5 to 50")
        ->type_name("N")
        ->default_str(std::to_string(startradius))
        ->check(whole(RADIUS_MIN, RADIUS_MAX));
    app.add_option("--stickiness", o.stickiness, "chance in percent that a touching particle sticks, 1 to 100")
        ->type_name("PERCENT")
        ->default_str(std::to_string(probability))
        ->check(whole(PROBABILITY_MIN, PROBABILITY_MAX));
    app.add_option("-a,--algorithm", o.algorithm, "contact rule: 0 durero-rudo, 1 fractint, 2 fractint-spaces")
        ->type_name("RULE")
        ->default_str(ALGORITHMS[algorithm])
        ->transform(choice(ALGORITHMS));
    app.add_option("-g,--growth", o.growth, "0 centrifugal (outward from the centre), 1 centripetal (inward)")
        ->type_name("DIRECTION")
        ->default_str(GROWTHS[growth])
        ->transform(choice(GROWTHS));
    app.add_option("--coloring", o.coloring, "0 count (by order of rest), 1 distance (from the centre)")
        ->type_name("METHOD")
        ->default_str(COLORINGS[coloring])
        ->transform(choice(COLORINGS));
    auto* grey = app.add_flag("--greyscale", o.greyscale, "draw particles in grey shades");
    app.add_option("--background", background, "background colour, each 0 to 255")
        ->type_name("R,G,B")
        ->default_str(std::to_string(rback) + "," + std::to_string(gback) + "," + std::to_string(bback))
        ->check(pattern(rgbof, "is not R,G,B with each value from 0 to 255"));
    auto* map = app.add_option("--map", o.map, "take the palette from a Fractint MAP file")->type_name("FILE.map");
    grey->excludes(map);
    app.add_option("--params", o.params, "start from the settings and palette of a parameter file")
        ->type_name("FILE.dla");
    app.add_option("--seed", o.seed, "random seed, 0 to 4294967295")
        ->type_name("N")
        ->default_str("the time")
        ->check(whole(0, 0xFFFFFFFFll));
    app.add_option("--png", o.png, "also write a PNG copy, with the parameters in text chunks")
        ->type_name("FILE.png");
    app.add_option("--points", o.points, "also write the particles: id,parent,x,y,colour_index,colour")
        ->type_name("FILE.csv");
    auto* frames = app.add_option("--frames", o.frames, "write a numbered PNG of the growth to this folder")
                       ->type_name("DIR");
    app.add_option("--every", o.every, "particles from one frame to the next")
        ->type_name("N")
        ->default_str(std::to_string(o.every))
        ->check(whole(1, 1000000000))
        ->needs(frames);
    app.add_option("--count", o.count, "grow N images with seeds S to S+N-1, numbered names, on every core")
        ->type_name("N")
        ->check(whole(1, 100000));
    app.add_flag("-q,--quiet", o.quiet, "print nothing but errors");
    app.add_flag("--json", o.json, "print the results as one line of JSON");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return 0;
    } catch (const CLI::ValidationError& e) {
        err << "zorv-dla-batch: " << e.what() << "\n";
        return 2;
    } catch (const CLI::ParseError& e) {
        err << "zorv-dla-batch: " << e.what() << " (see --help)\n";
        return 2;
    }
    if (o.output.empty()) {
        err << "zorv-dla-batch: OUTPUT.tga is missing: name the Targa file to write (see --help)\n";
        return 2;
    }
    if (!size.empty()) {
        const std::vector<int> wh = widthheight(size);
        o.width = wh[0];
        o.height = wh[1];
    }
    if (!background.empty()) o.background = rgbof(background);
    o.progress = !o.quiet && isatty(STDERR_FILENO);
    return -1;
}

namespace {

// The seed of a run: the one given, or the clock's.
std::int64_t seedof(const BatchOptions& o) {
    return o.seed ? *o.seed : static_cast<std::int64_t>(std::time(nullptr));
}

// Image i (from 0) of a --count batch whose first seed is first: a run of
// its own with numbered names.
BatchOptions imageof(const BatchOptions& o, int i, std::int64_t first) {
    BatchOptions one = o;
    const int count = *o.count;
    one.count.reset();
    one.seed = first + i;
    one.output = numberedname(o.output, i + 1, count);
    if (!o.png.empty()) one.png = numberedname(o.png, i + 1, count);
    if (!o.points.empty()) one.points = numberedname(o.points, i + 1, count);
    return one;
}

// Why the batch cannot start, found before anything is grown, as one line
// without the program's name; empty when it can. Takes the settings from
// the inputs, and checks the output paths of every image and the frames
// folder.
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

// Grows one image and writes its files.
int runone(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    StopSignals stopsignals;
    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    if (std::string why = checkbatch(o); !why.empty()) return fail(why);
    const std::int64_t seed = seedof(o);

    headless::Backend screen;
    auto wallstart = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallstart).count(); };
    screen.calendar = seed;
    bool pausing = false;
    screen.onPump = [&] {
        // The run's statistics take their time from the tick count: let it follow the wall clock.
        screen.ticks = static_cast<DWORD>(elapsed() * 1000.0);
        // A stop signal also ends the walk under way, as PAUSE does.
        if (stopsignals.caught() && !pausing) {
            pausing = true;
            screen.keyDown(g_hWnd, VK_PAUSE);
        }
    };

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
    const std::string wxh = std::to_string(xres) + "x" + std::to_string(yres);
    if (!createcanvas(g_hWnd)) return fail("--size: not enough memory for a " + wxh + " image");

    std::unique_ptr<Particles> points;
    if (!o.points.empty()) {
        points = std::make_unique<Particles>();
        if (!points->open(o.points))
            return fail("--points: cannot start '" + o.points + "' (not enough memory for a " + wxh +
                        " map of the particles, or the file cannot be made)");
    }
    SeedHook seedhook(points.get());
    if (!o.frames.empty() && mkdir(o.frames.c_str(), 0777) != 0 && errno != EEXIST)
        return fail("--frames: cannot make the folder '" + o.frames + "': " + std::strerror(errno));
    const PngText text = parametertext(o, seed);

    // The seed first, so that even a run cut short can be grown again.
    if (!o.quiet && !o.json) out << "seed: " << seed << "\n" << std::flush;

    okdla = 1;
    firstloop = 1;
    terminate = 0;
    long particles = 0, frames = 0;
    double lastshown = -1;
    std::string failed;  // a file whose write failed during growth
    const GrowthState& state = growth == 0 ? centrifugalstate() : centripetalstate();
    auto nextframe = [&] {
        failed = writeframe(o, text, frames + 1);
        if (failed.empty()) ++frames;
    };
    while (okdla && !stopsignals.caught() && failed.empty()) {
        int result = growth == 0 ? dla_centrifugal() : dla_centripetal();
        if (result == GROWTH_CONTINUES) {
            ++particles;
            if (points) {
                points->settled(state);
                if (!points->ok()) failed = o.points;
            }
            if (!o.frames.empty() && particles % o.every == 0) nextframe();
        }
        if (o.report) {
            o.report->radius = state.radius;
            o.report->limit = radiuslimit();
            o.report->particles = particles;
        }
        if (o.progress) {
            double now = elapsed();
            if (now - lastshown >= 0.25) {
                lastshown = now;
                showprogress(err, state, radiuslimit(), particles, now);
            }
        }
    }
    if (points && !points->ok() && failed.empty()) failed = o.points;  // the seed list
    // The last frame is the finished image.
    if (!o.frames.empty() && !okdla && !stopsignals.caught() && failed.empty() && particles % o.every != 0)
        nextframe();
    double growtime = elapsed();
    if (lastshown >= 0) err << "\n";
    if (stopsignals.caught()) return interrupted(stopsignals, frames, o.frames, err);
    if (!failed.empty()) {
        err << "zorv-dla-batch: " << failed << ": " << saveerror[2] << "\n";
        return 1;
    }
    if (int r = saveoutputs(o, text, points.get(), frames, stopsignals, err); r != 0) return r;
    if (!o.quiet || o.json)
        report(o, Grown{.seed = seed, .state = state, .particles = particles, .growtime = growtime, .frames = frames},
               out);
    return 0;
}

// One image of a --count batch: its process, what it printed, how it ended.
struct Image {
    pid_t pid = 0;
    int outfd = -1, errfd = -1;
    std::string out, err;
    int code = -1;  // the exit code once it has ended
};

bool writeall(int fd, const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<std::size_t>(n);
    }
    return true;
}

// The cores this process may run on.
int cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return static_cast<int>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

// Grows the --count images, one process each, as many at once as there are
// cores. Each image is a run of its own with seed S + i - 1 and numbered
// names, saved as one image is; what each prints comes out in image order,
// whatever order they end in. A stop signal ends the images under way
// (they remove what they had begun) and keeps those already written.
int runmany(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    StopSignals stopsignals;
    auto fail = [&](const std::string& text) {
        err << "zorv-dla-batch: " << text << "\n";
        return 2;
    };
    if (std::string why = checkbatch(o); !why.empty()) return fail(why);
    const int count = *o.count;
    const std::int64_t first = seedof(o);
    if (first + count - 1 > 0xFFFFFFFFll)
        return fail("--count: seeds " + std::to_string(first) + " to " + std::to_string(first + count - 1) +
                    " go past 4294967295");

    // The images' progress, in memory they share with this process.
    const std::size_t shared = sizeof(RunProgress) * static_cast<std::size_t>(count);
    void* memory = mmap(nullptr, shared, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return fail("--count: not enough memory for " + std::to_string(count) + " images");
    std::unique_ptr<void, std::function<void(void*)>> unmap(memory, [shared](void* p) { munmap(p, shared); });
    RunProgress* progress = static_cast<RunProgress*>(memory);
    for (int i = 0; i < count; ++i) new (progress + i) RunProgress();

    std::vector<Image> images(static_cast<std::size_t>(count));
    // Starts image i in a process of its own. False when it cannot.
    auto start = [&](int i) {
        Image& image = images[static_cast<std::size_t>(i)];
        int outpipe[2], errpipe[2];
        if (pipe2(outpipe, O_CLOEXEC) != 0) return false;
        if (pipe2(errpipe, O_CLOEXEC) != 0) {
            close(outpipe[0]);
            close(outpipe[1]);
            return false;
        }
        BatchOptions one = imageof(o, i, first);
        one.progress = false;
        one.report = progress + i;
        // The image's process gets SIGINT and SIGTERM only once its own handler is there.
        sigset_t stops, previous;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigprocmask(SIG_BLOCK, &stops, &previous);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid == 0) {
            // Should the batch die, its images stop too.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) raise(SIGTERM);
            close(outpipe[0]);
            close(errpipe[0]);
            std::ostringstream imageout, imageerr;
            const int code = runone(one, imageout, imageerr);
            writeall(outpipe[1], imageout.str());
            writeall(errpipe[1], imageerr.str());
            _exit(code);
        }
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        close(outpipe[1]);
        close(errpipe[1]);
        if (pid < 0) {
            close(outpipe[0]);
            close(errpipe[0]);
            return false;
        }
        image.pid = pid;
        image.outfd = outpipe[0];
        image.errfd = errpipe[0];
        return true;
    };

    const int jobs = std::min(count, cores());
    auto wallstart = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - wallstart).count(); };
    int next = 0, running = 0, ended = 0, shown = 0, written = 0, blocks = 0;
    bool stopping = false;
    CountProgress progressline(err);
    std::string cannotstart;
    for (;;) {
        while (!stopsignals.caught() && cannotstart.empty() && running < jobs && next < count) {
            if (!start(next)) {
                cannotstart = std::strerror(errno);
                break;
            }
            ++next;
            ++running;
        }
        if (running == 0) break;
        if (stopsignals.caught() && !stopping) {
            stopping = true;
            for (const Image& image : images)
                if (image.pid > 0 && image.code < 0) kill(image.pid, SIGTERM);
        }

        // Read what the images print; an image whose streams have closed has ended.
        std::vector<pollfd> fds;
        for (const Image& image : images)
            for (int fd : {image.outfd, image.errfd})
                if (fd >= 0) fds.push_back({fd, POLLIN, 0});
        poll(fds.data(), fds.size(), 250);
        for (Image& image : images) {
            for (auto [fd, text] : {std::pair{&image.outfd, &image.out}, std::pair{&image.errfd, &image.err}}) {
                if (*fd < 0) continue;
                for (const pollfd& p : fds)
                    if (p.fd == *fd && p.revents) {
                        char buffer[4096];
                        const ssize_t n = ::read(*fd, buffer, sizeof buffer);
                        if (n > 0) text->append(buffer, static_cast<std::size_t>(n));
                        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                            close(*fd);
                            *fd = -1;
                        }
                    }
            }
            if (image.pid > 0 && image.code < 0 && image.outfd < 0 && image.errfd < 0) {
                int status = 0;
                while (waitpid(image.pid, &status, 0) < 0 && errno == EINTR) {
                }
                image.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                --running;
                ++ended;
                if (image.code == 0) ++written;
            }
        }

        // What the ended images printed, in image order.
        while (shown < count && images[static_cast<std::size_t>(shown)].code >= 0) {
            const Image& image = images[static_cast<std::size_t>(shown++)];
            progressline.clear();
            // An image stopped with the batch needs no line of its own.
            if (!(stopping && image.code > 128)) err << image.err << std::flush;
            // Text blocks are a blank line apart; JSON is a line an image.
            if (!image.out.empty() && !o.json && blocks++ > 0) out << "\n";
            out << image.out << std::flush;
        }

        if (o.progress && !stopping) {
            std::vector<Underway> underway;
            for (int i = 0; i < count; ++i) {
                const Image& image = images[static_cast<std::size_t>(i)];
                if (image.pid > 0 && image.code < 0)
                    underway.push_back({fs::path(numberedname(o.output, i + 1, count)).filename().string(),
                                        progress[i].radius, progress[i].limit});
            }
            progressline.show(ended, count, underway, elapsed());
        }
    }
    progressline.clear();
    if (stopsignals.caught()) {
        err << "zorv-dla-batch: interrupted by " << stopsignals.name() << "; " << written << " of " << count
            << " images were written, nothing of the others\n";
        return 128 + stopsignals.caught();
    }
    if (!cannotstart.empty()) {
        err << "zorv-dla-batch: --count: cannot start image " << next + 1 << " (" << cannotstart << "); " << written
            << " of " << count << " images were written\n";
        return 1;
    }
    for (const Image& image : images)
        if (image.code != 0) return image.code;
    return 0;
}
}  // namespace

int runbatch(const BatchOptions& o, std::ostream& out, std::ostream& err) {
    return o.count ? runmany(o, out, err) : runone(o, out, err);
}

int writepng(const std::string& path, const PngText& text, int level) {
    SaveFile file;
    if (!file.open(path)) return 1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngerror, pngwarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(png ? &png : nullptr, nullptr);
        return 2;
    }
    std::vector<png_byte> row(static_cast<std::size_t>(xres) * 3);
    // libpng keeps pointers into these until the header is written.
    const std::vector<png_text> chunks = pngchunks(text);
    volatile bool written = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &file, pngwrite, pngflush);
        if (level >= 0) png_set_compression_level(png, level);
        // The images are mostly background: unfiltered rows compress smaller
        // and faster than adaptively filtered ones (a 1600 x 1600 cluster:
        // 0.65 MB against 1.0 MB, in about half the time).
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        png_set_IHDR(png, info, static_cast<png_uint_32>(xres), static_cast<png_uint_32>(yres), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        // The packed colours are sRGB values, as on the screen they were made for.
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        if (!chunks.empty())
            png_set_text(png, info, const_cast<png_text*>(chunks.data()), static_cast<int>(chunks.size()));
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

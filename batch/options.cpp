// The command line: its options, their checks and help, and the options of
// each image of a --count batch.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>

#include "batch/internal.h"
#include "engine/settings.h"

#ifndef ZORV_VERSION
#error "ZORV_VERSION must name the project's version"
#endif

namespace fs = std::filesystem;
using namespace zorv::batch;

namespace {

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
    app.add_option("--threads", o.threads, "threads growing each image, 1 to 256; the image is the same for any")
        ->type_name("N")
        ->default_str("every core")
        ->check(whole(1, 256));
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

namespace zorv::batch {

// The names a choice takes besides its number, such as "--algorithm fractint".
const std::vector<std::string> ALGORITHMS = {"durero-rudo", "fractint", "fractint-spaces"};
const std::vector<std::string> GROWTHS = {"centrifugal", "centripetal"};
const std::vector<std::string> COLORINGS = {"count", "distance"};

std::int64_t seedof(const BatchOptions& o) {
    return o.seed ? *o.seed : static_cast<std::int64_t>(std::time(nullptr));
}

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

}  // namespace zorv::batch

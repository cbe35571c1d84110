// The command line: its options, their checks and help, and the options of
// each image of a --count batch.
#include <sys/random.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
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

// A whole number written in decimal: "0100" is 100, also with leading zeros
// that other readers take for octal.
std::optional<std::int64_t> number(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
    return value;
}

// A whole number from lo to hi, handed on in plain decimal; the error names
// the range.
CLI::Validator whole(std::int64_t lo, std::int64_t hi) {
    return CLI::Validator(
        [lo, hi](std::string& text) -> std::string {
            auto v = number(text);
            if (!v || *v < lo || *v > hi)
                return "'" + text + "' is not a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
            text = std::to_string(*v);
            return {};
        },
        "", "");
}

// A choice by number or by name, turned into its number.
CLI::Validator choice(const std::vector<std::string>& names) {
    return CLI::Validator(
        [names](std::string& text) -> std::string {
            const auto v = number(text);
            for (std::size_t i = 0; i < names.size(); ++i)
                if (text == names[i] || (v && *v == static_cast<std::int64_t>(i))) {
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

// A usage error of the command-line reader in the tool's own words: the
// option or argument, then what is wrong with it.
std::string reworded(const CLI::ParseError& e) {
    const std::string text = e.what();
    const std::size_t colon = text.find(": ");
    const std::string head = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::string rest = colon == std::string::npos ? text : text.substr(colon + 2);
    if (dynamic_cast<const CLI::ValidationError*>(&e)) return text;
    if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
        // The arguments left over, the last first.
        const std::string first = rest.substr(rest.rfind(' ') + 1);
        if (first.size() > 1 && first[0] == '-') return first + ": there is no such option";
        return "'" + first + "': one OUTPUT only, this is one too many";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e)) {
        const std::size_t received = rest.find(" required but received ");
        if (received != std::string::npos)
            return head + ": given " + rest.substr(received + 23) + " times, once at most";
        const std::size_t missing = rest.find(" missing");
        const std::size_t type = rest.find(" required ");
        if (missing != std::string::npos && type != std::string::npos)
            return head + ": " + rest.substr(type + 10, missing - type - 10) + " is missing";
        return head + ": wrong number of values";
    }
    if (dynamic_cast<const CLI::RequiresError*>(&e)) {
        const std::size_t at = text.find(" requires ");
        return text.substr(0, at) + ": only with " + text.substr(at + 10);
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&e)) {
        const std::size_t at = text.find(" excludes ");
        return text.substr(0, at) + ": not with " + text.substr(at + 10);
    }
    if (dynamic_cast<const CLI::ConversionError*>(&e) && text.starts_with("Could not convert: ")) {
        const std::size_t equals = text.find(" = ");
        if (equals != std::string::npos)
            return text.substr(19, equals - 19) + ": cannot take '" + text.substr(equals + 3) + "'";
    }
    std::string lower = text;
    if (!lower.empty()) lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    return lower;
}

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
                     "each as a 24-bit Targa or a PNG file, with its parameter file beside it.",
                 "zorv-dla-batch"};
    app.formatter(std::make_shared<HelpFormat>());
    app.get_formatter()->column_width(32);
    app.set_version_flag("--version", batchversion(), "print the program's version and exit");
    app.set_help_flag("-h,--help", "print this help and exit");
    // The defaults shown are those of the interactive program.
    resetsettings();
    std::string size, background;
    app.add_option("-o,--output,OUTPUT", o.output,
                   "the image, a Targa (.tga) or a PNG (.png), its .dla beside it; none with --points, --frames "
                   "or --json")
        ->type_name("FILE");
    app.add_option("-s,--size", size, "image size, width and height each 100 to 9600")
        ->type_name("WxH")
        ->default_str("400x400")
        ->check(pattern(widthheight, "is not WxH with width and height from 100 to 9600"));
    app.add_option("--radius", o.radius, "starting radius of the seeding circle, 5 to 50")
        ->type_name("N")
        ->default_str(std::to_string(startradius))
        ->transform(whole(RADIUS_MIN, RADIUS_MAX));
    app.add_option("--stickiness", o.stickiness, "chance in percent that a touching particle sticks, 1 to 100")
        ->type_name("PERCENT")
        ->default_str(std::to_string(probability))
        ->transform(whole(PROBABILITY_MIN, PROBABILITY_MAX));
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
        ->default_str("a random one")
        ->transform(whole(0, 0xFFFFFFFFll));
    app.add_option("--particles", o.particles,
                   "end growth once N particles have come to rest (the seed not counted), 1 to 4294967295")
        ->type_name("N")
        ->transform(whole(1, 0xFFFFFFFFll));
    app.add_option("--png", o.png, "also write a PNG copy, with the parameters in text chunks; - for standard output")
        ->type_name("FILE.png");
    app.add_option("--points", o.points,
                   "also write the particles as CSV, a line each with its walk; - for standard output")
        ->type_name("FILE.csv");
    auto* frames = app.add_option("--frames", o.frames, "write a numbered PNG of the growth to this folder")
                       ->type_name("DIR");
    app.add_option("--every", o.every, "particles from one frame to the next")
        ->type_name("N")
        ->default_str(std::to_string(o.every))
        ->transform(whole(1, 1000000000))
        ->needs(frames);
    app.add_option("--count", o.count, "grow N images with seeds S to S+N-1, numbered names, on every core")
        ->type_name("N")
        ->transform(whole(1, 100000));
    app.add_option("--threads", o.threads, "threads growing each image, 1 to 256; the image is the same for any")
        ->type_name("N")
        ->default_str("every core")
        ->transform(whole(1, 256));
    app.add_flag("-q,--quiet", o.quiet, "print nothing but errors");
    app.add_flag("--json", o.json, "print the results as one line of JSON");
    auto usage = [&err](const std::string& text) {
        err << "zorv-dla-batch: " << text << " (see --help)\n";
        return 2;
    };
    // --help and --version print to standard output, which may fail.
    auto shown = [&](const std::string& text) {
        out << text << std::flush;
        if (out) return 0;
        err << "zorv-dla-batch: standard output: cannot write (" << std::strerror(errno) << ")\n";
        return 1;
    };
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        return shown(app.help());
    } catch (const CLI::CallForVersion& e) {
        return shown(std::string(e.what()) + "\n");
    } catch (const CLI::ValidationError& e) {
        err << "zorv-dla-batch: " << e.what() << "\n";
        return 2;
    } catch (const CLI::ParseError& e) {
        return usage(reworded(e));
    }
    if (o.output.empty() && o.points.empty() && o.frames.empty() && !o.json)
        return usage("OUTPUT is missing: name the image to write (FILE.tga or FILE.png), or give --points, --frames "
                     "or --json");
    if (o.output.empty() && !o.png.empty())
        return usage("--png: a copy of the image needs OUTPUT; to write the PNG alone, name it as OUTPUT");
    if (o.count) {
        for (auto [option, name] : {std::pair{"--png", &o.png}, {"--points", &o.points}})
            if (*name == "-")
                return usage(std::string(option) + ": standard output (-) cannot take the files of --count's " +
                             "images; name a file, which is numbered for each image");
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
    if (o.seed) return *o.seed;
    // Seeds from S to S + count - 1 must all be seeds.
    const std::uint64_t choices = 0x100000000ull - static_cast<std::uint64_t>(o.count.value_or(1)) + 1;
    std::uint64_t random = 0;
    std::size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = getrandom(reinterpret_cast<char*>(&random) + got, sizeof random - got, 0);
        if (n > 0) got += static_cast<std::size_t>(n);
        else if (errno != EINTR) break;
    }
    // Without getrandom (a kernel before 3.17), the clock in nanoseconds and
    // the process tell runs apart.
    if (got < sizeof random) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        random = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
        random = (random ^ (static_cast<std::uint64_t>(getpid()) << 40)) * 0x9E3779B97F4A7C15ull;
        random ^= random >> 29;
    }
    return static_cast<std::int64_t>(random % choices);
}

BatchOptions imageof(const BatchOptions& o, int i, std::int64_t first) {
    BatchOptions one = o;
    const int count = *o.count;
    one.count.reset();
    one.seed = first + i;
    // Frames are named after the numbered image or list, or else numbered themselves.
    if (o.output.empty() && (o.points.empty() || o.points == "-")) one.name = numberedname(stemof(o), i + 1, count);
    if (!o.output.empty()) one.output = numberedname(o.output, i + 1, count);
    if (!o.png.empty()) one.png = numberedname(o.png, i + 1, count);
    if (!o.points.empty()) one.points = numberedname(o.points, i + 1, count);
    return one;
}

}  // namespace zorv::batch

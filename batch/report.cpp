// What a run reports: the progress line while it grows, and its results
// as text or as one line of JSON.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "batch/internal.h"
#include "engine/settings.h"

namespace zorv::batch {

namespace fs = std::filesystem;

std::string seconds(double s) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(3) << s;
    return text.str();
}

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

void showprogress(std::ostream& err, const GrowthState& state, int limit, long particles, double now) {
    err << "\rradius " << state.radius << " (limit " << limit << ")  particles " << particles << "  "
        << static_cast<long>(state.moves / std::max(now, 1e-9)) << " steps/s  " << seconds(now) << " s   "
        << std::flush;
}

void CountProgress::show(int ended, int count, const std::vector<Underway>& underway, double now) {
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

void CountProgress::clear() {
    if (width_) err_ << "\r" << std::string(width_, ' ') << "\r" << std::flush;
    width_ = 0;
}

}  // namespace zorv::batch

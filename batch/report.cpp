// What a run reports: the progress line while it grows, and its results
// as text or as one line of JSON.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

std::string colourtext(COLORREF c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

namespace {

const char* endname(zorv::grow::End end) {
    switch (end) {
    case zorv::grow::End::COMPLETE: return "complete";
    case zorv::grow::End::PARTICLES: return "particles";
    default: return "stopped";
    }
}

}  // namespace

void report(const BatchOptions& o, const Grown& grown, std::ostream& out) {
    const GrowthState& state = grown.state;
    const long particles = grown.particles;
    const long frames = grown.frames;
    std::vector<std::string> files;
    if (!o.output.empty()) files = {o.output, dlaname(o.output)};
    if (!o.png.empty()) files.push_back(o.png);
    if (!o.points.empty()) files.push_back(o.points);
    if (o.json) {
        nlohmann::ordered_json j;
        j["version"] = ZORV_VERSION;
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
        if (!o.params.empty()) j["params"] = o.params;
        if (!o.map.empty()) j["map"] = o.map;
        nlohmann::ordered_json colours = nlohmann::ordered_json::array();
        for (const auto& entry : palette) colours.push_back(colourtext(RGB(entry[0], entry[1], entry[2])));
        j["palette"] = {{"from", !o.map.empty() ? "map" : !o.params.empty() ? "params" : "default"},
                        {"colours", colours}};
        if (o.particles) j["particles_limit"] = *o.particles;
        j["threads"] = grown.threads;
        j["end"] = endname(grown.end);
        if (growth == 0) j["distancemax"] = static_cast<long long>(state.distancemax);
        else j["distancemin"] = static_cast<long long>(state.distancemin);
        j["radius"] = state.radius;
        j["particles"] = particles;
        j["moves"] = state.moves;
        j["final_walk"] = grown.finalwalk;
        j["elapsed"] = std::round(grown.growtime * 1000.0) / 1000.0;
        j["files"] = files;
        if (!o.frames.empty()) j["frames"] = {{"folder", o.frames}, {"count", frames}, {"every", o.every}};
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
    out << "end: " << endname(grown.end) << "\n";
    out << "elapsed: " << seconds(grown.growtime) << "\n";
    for (const std::string& file : files) out << "wrote: " << file << "\n";
    auto frame = [&](long n) { return fs::path(framename(o.frames, stemof(o), n)).filename().string(); };
    if (frames > 0)
        out << "frames: " << frames << " in " << o.frames << " (" << frame(1) << " to " << frame(frames) << ")\n";
}

std::size_t ProgressLine::width() const {
    if (columns_ > 0) return static_cast<std::size_t>(columns_);
    winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 0;
    return size.ws_col - 1u;
}

void ProgressLine::show(const std::vector<std::string>& parts) {
    const std::size_t most = width();
    std::string text;
    for (const std::string& part : parts) {
        const std::size_t more = (text.empty() ? 0 : 2) + part.size();
        if (most > 0 && text.size() + more > most) {
            if (text.empty()) text = part.substr(0, most);
            break;
        }
        text += (text.empty() ? "" : "  ") + part;
    }
    const std::size_t length = text.size();
    // Spaces over what is left of a longer line, as far as the line may go.
    if (length < shown_) text += std::string(most > 0 ? std::min(shown_, most) - length : shown_ - length, ' ');
    shown_ = length;
    err_ << "\r" << text << std::flush;
}

void ProgressLine::clear() {
    if (shown_) err_ << "\r" << std::string(shown_, ' ') << "\r" << std::flush;
    shown_ = 0;
}

void showprogress(ProgressLine& line, const GrowthState& state, int limit, long particles, double now) {
    line.show({"radius " + std::to_string(state.radius) + " (limit " + std::to_string(limit) + ")",
               "particles " + std::to_string(particles),
               std::to_string(static_cast<long>(state.moves / std::max(now, 1e-9))) + " steps/s",
               seconds(now) + " s"});
}

void showcount(ProgressLine& line, int ended, int count, const std::vector<Underway>& underway, double now) {
    const std::string done = "images " + std::to_string(ended) + " of " + std::to_string(count) + " done";
    const std::string time = seconds(now) + " s";
    const std::size_t most = line.width();
    // The images under way that fit beside the count and the time, and how
    // many others there are.
    std::vector<std::string> parts = {done};
    std::size_t length = done.size() + 2 + time.size();
    for (std::size_t i = 0; i < underway.size(); ++i) {
        const Underway& image = underway[i];
        const std::string part = image.name + " radius " + std::to_string(image.radius) + "/" +
                                 std::to_string(image.limit);
        const std::size_t others = underway.size() - i - 1;
        const std::size_t tail = others > 0 ? 2 + std::to_string(others).size() + 6 : 0;  // "  +N more"
        if (most > 0 && length + 2 + part.size() + tail > most) {
            std::string more = std::to_string(underway.size() - i);
            more.insert(more.begin(), '+');  // (a "+" + ... here gives GCC 12 a false -Wrestrict)
            parts.push_back(more + " more");
            break;
        }
        parts.push_back(part);
        length += 2 + part.size();
    }
    parts.push_back(time);
    line.show(parts);
}

}  // namespace zorv::batch

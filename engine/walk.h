// The random walk of the growth runs, shared by zorv-dla's runs and the
// saver's: a walker launched beside the cluster steps to one of its 8
// neighbours or stays where it is, each with chance 1/9, is put back beside
// its launch point when it strays past its bound, and ends when it touches
// the cluster.
//
// The walk reads contact from bit maps of the cluster kept beside the canvas
// rather than from the canvas's 32-bit pixels: "this pixel is cluster" and,
// for the neighbour rules, "one of my 8 neighbours is cluster or off the
// canvas". The maps are made from the canvas and stamped with its surface
// version; whatever draws on the canvas other than plot() changes the
// version, and the next syncmap() makes the maps again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/random.h"
#include "platform/win32.h"

namespace zorv::walk {

struct ContactMap {
    int width = 0, height = 0;           // the canvas's size
    std::size_t stride = 0;              // 64-bit words per row
    std::vector<std::uint64_t> cluster;  // the pixel differs from the background
    std::vector<std::uint64_t> near;     // a neighbour is cluster or off the canvas; empty until asked for
    std::int64_t population = 0;         // cluster pixels on the canvas
    // What the maps stand for; they are remade when any of it changes.
    const COLORREF* bits = nullptr;
    std::uint64_t version = 0;
    COLORREF background = 0;
    bool valid = false;
};

// Makes the maps agree with the canvas for this background, remaking them
// when anything has drawn on the canvas since they were last made or kept.
// neighbours asks for the near map as well.
void syncmap(ContactMap& map, HDC canvas, COLORREF background, bool neighbours);

// SetPixel on the canvas that keeps maps which were in step with it in step.
void plot(ContactMap& map, HDC canvas, int x, int y, COLORREF colour);

// Whether the maps hold exactly what the canvas shows (for tests).
bool agrees(const ContactMap& map, HDC canvas, COLORREF background);

// Frees the maps' memory; the next sync makes them afresh.
void release(ContactMap& map);

inline bool testbit(const std::uint64_t* words, std::size_t stride, int x, int y) {
    return (words[static_cast<std::size_t>(y) * stride + (static_cast<unsigned>(x) >> 6)] >> (x & 63)) & 1u;
}

// The contact rules: the pixel the step lands on, the neighbours of the
// position before the step, the neighbours of the position after it.
enum Rule { LANDING = 0, NEIGHBOURS_BEFORE = 1, NEIGHBOURS_AFTER = 2 };

// One particle's walk.
struct Walker {
    int x, y;              // launch point
    int backx, backy;      // where a walker past its bound is put back
    int xcenter, ycenter;  // centre of the distances
    // The bound on squared distances: an outward walker escapes when its
    // squared distance exceeds it, an inward one when it falls below it.
    // For whole-pixel positions this decides exactly as the distance
    // compared with radius + 2 or radius - 2 would (see escapebound).
    std::int64_t bound2;
    std::uint64_t stick;   // stickthreshold() of the stickiness
};

// The squared-distance bound for a distance bound of radius + 2 (outward)
// or radius - 2 (inward). sqrt(n) > b is n > b^2 and sqrt(n) < b is n < b^2
// for integers n, b >= 0; a negative outward bound is always exceeded, and
// nothing is nearer than a bound of 0 or less.
inline std::int64_t escapebound(bool outward, std::int64_t bound) {
    if (outward) return bound < 0 ? -1 : bound * bound;
    return bound <= 0 ? 0 : bound * bound;
}

struct WalkEnd {
    int xpos1, ypos1;         // the position before the last step: where the particle rests
    int xpos2, ypos2;         // the position after it (and after any escape)
    std::int64_t distance2;   // squared distance reached by the last step, before any escape
    std::int64_t steps;
    bool stopped;             // the poll asked to stop
};

// Walks until contact (and the stickiness draw) ends the walk, or poll()
// returns true; poll runs once before every step. Steps come from the step
// generator, two unit steps per 64-bit draw; a stickiness draw is made only
// on contact and only when the stickiness is below 100.
template <bool Outward, Rule ContactRule, class Poll>
inline WalkEnd walk(const Walker& w, const ContactMap& map, Poll&& poll) {
    const std::uint64_t* words = ContactRule == LANDING ? map.cluster.data() : map.near.data();
    const std::size_t stride = map.stride;
    const unsigned width = static_cast<unsigned>(map.width), height = static_cast<unsigned>(map.height);
    const std::int64_t bound2 = w.bound2;
    std::uint64_t rng = zorv::detail::g_stepState;

    int xpos2 = w.x, ypos2 = w.y;
    int xpos1 = xpos2, ypos1 = ypos2;
    std::int64_t distance2 = 0;
    std::int64_t steps = 0;
    bool stopped = false;
    for (;;) {
        if (poll()) {
            stopped = true;
            break;
        }
        xpos1 = xpos2;
        ypos1 = ypos2;
        const std::uint64_t r = zorvsteps(rng);
        xpos2 += unitstep(static_cast<std::uint32_t>(r));
        ypos2 += unitstep(static_cast<std::uint32_t>(r >> 32));
        const std::int64_t dx = xpos2 - w.xcenter, dy = ypos2 - w.ycenter;
        distance2 = dx * dx + dy * dy;
        if (Outward ? distance2 > bound2 : distance2 < bound2) {
            xpos2 = w.backx;
            ypos2 = w.backy;
        }
        ++steps;
        const int cx = ContactRule == NEIGHBOURS_BEFORE ? xpos1 : xpos2;
        const int cy = ContactRule == NEIGHBOURS_BEFORE ? ypos1 : ypos2;
        // Off the canvas counts as contact.
        const bool contact = static_cast<unsigned>(cx) >= width || static_cast<unsigned>(cy) >= height ||
                             testbit(words, stride, cx, cy);
        if (contact) [[unlikely]] {
            if (w.stick > 0xFFFFFFFFu || static_cast<std::uint32_t>(zorvsteps(rng)) < w.stick) break;
        }
    }
    zorv::detail::g_stepState = rng;
    return WalkEnd{xpos1, ypos1, xpos2, ypos2, distance2, steps, stopped};
}

}  // namespace zorv::walk

// A plain growth run from the model, to compare the real ones with: per step a poll, 3 draws, a sqrt, 1-8 GetPixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/random.h"
#include "platform/win32.h"

namespace reference {

struct Image { std::int64_t particles = 0, moves = 0; };         // particles drawn (not the last one), walk steps
struct Rest { int x, y; double distance; std::int64_t steps; };  // where a particle rests, its last step's distance

struct Options {
    int xres = 200, yres = 200, startradius = 10, probability = 100, algorithm = 0;
    bool outward = true;
    COLORREF background = RGB(255, 245, 230), ink = RGB(0, 72, 208);
    HWND pollwindow = nullptr;  // polled once per step as the real runs do
};

// Launches one particle on the seeding circle about (xc, yc) and walks it until it rests. Contact is the pixel the
// step lands on (rule 0), or one of the 8 neighbours of the position before the step (rule 1) or after it (others).
inline Rest walkone(HDC dc, const Options& o, int xc, int yc, int radius) {
    const double angle = zorvrandom() * 0.017453292519943295 * 360.0;
    const int xlaunch = static_cast<int>(std::cos(angle) * radius) + xc;
    const int ylaunch = static_cast<int>(std::sin(angle) * radius) + yc;
    Rest r{xlaunch, ylaunch, 0.0, 0};
    for (int x = xlaunch, y = ylaunch, contact = 0; !contact; ++r.steps) {
        MSG msg;
        if (o.pollwindow) PeekMessageA(&msg, o.pollwindow, 0x100, 0x209, PM_NOREMOVE);
        r.x = x;
        r.y = y;
        x += static_cast<int>(zorvrandom() * 3.0) - 1;
        y += static_cast<int>(zorvrandom() * 3.0) - 1;
        r.distance = std::sqrt(double(x - xc) * (x - xc) + double(y - yc) * (y - yc));
        if (o.outward ? r.distance > radius + 2 : r.distance < radius - 2) {
            x = xlaunch + (o.outward ? -1 : 1);
            y = ylaunch + (o.outward ? -1 : 1);
        }
        const int cx = o.algorithm == 1 ? r.x : x, cy = o.algorithm == 1 ? r.y : y;
        if (o.algorithm == 0) contact = GetPixel(dc, x, y) != o.background;
        for (int i = 0; i < 9 && o.algorithm && !contact; ++i)
            contact = i != 4 && GetPixel(dc, cx + i % 3 - 1, cy + i / 3 - 1) != o.background;
        if (static_cast<int>(zorvrandom() * 100.0) + 1 > o.probability) contact = 0;
    }
    return r;
}

// Clears the canvas, plants the seed (centre pixel or border ellipse) and grows until the circle reaches its limit.
inline Image grow(HDC dc, const Options& o, unsigned seed) {
    zorvsrand(seed);
    for (int i = 0; i < o.xres * o.yres; ++i) SetPixel(dc, i % o.xres, i / o.xres, o.background);
    const int xc = o.xres >> 1, yc = o.yres >> 1;
    int radius = o.outward ? o.startradius : xc - o.startradius;
    double reach = o.outward ? 0.0 : xc;  // distancemax outward, distancemin inward
    HGDIOBJ old = SelectObject(dc, CreatePen(PS_SOLID, 2, o.ink));
    if (o.outward) SetPixel(dc, xc, yc, o.ink);
    else Arc(dc, 1, 1, o.xres - 2, o.yres - 2, 1, 1, 1, 1);
    DeleteObject(SelectObject(dc, old));
    for (Image image;; ++image.particles) {
        const Rest r = walkone(dc, o, xc, yc, radius);
        image.moves += r.steps;
        // The circle keeps the margin from the reach, never moving back, until it comes near the border or the centre.
        reach = o.outward ? std::max(reach, r.distance) : std::min(reach, r.distance);
        if (o.outward && int(reach) > radius - o.startradius) radius = int(reach) + o.startradius;
        if (!o.outward && int(reach) < radius + o.startradius) radius = int(reach) - o.startradius;
        if (o.outward ? xc - radius < 10 || yc - radius < 10 : radius < 10) return image;
        SetPixel(dc, r.x, r.y, o.ink);
    }
}

}  // namespace reference

// A plain growth run written straight from the model, for comparison with
// the real runs: per step one queue poll, three zorvrandom draws (x step,
// y step, stickiness), a square root and one to eight GetPixel reads of the
// canvas. It grows a whole image on a canvas the caller has made, with one
// ink colour and no window drawing.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/random.h"
#include "platform/win32.h"

namespace reference {

struct Image {
    std::int64_t particles = 0;  // particles drawn (the one that reached the limit is not)
    std::int64_t moves = 0;      // walk steps
};

struct Options {
    int xres = 200, yres = 200, startradius = 10, probability = 100, algorithm = 0;
    bool outward = true;
    COLORREF background = RGB(255, 245, 230), ink = RGB(0, 72, 208);
    HWND pollwindow = nullptr;  // polled once per step as the real runs do
};

inline COLORREF neighbour(HDC dc, int x, int y, COLORREF background) {
    static constexpr int dx[8] = {1, 1, 1, 0, 0, -1, -1, -1};
    static constexpr int dy[8] = {1, 0, -1, 1, -1, 1, 0, -1};
    for (int i = 0; i < 8; ++i) {
        const COLORREF c = GetPixel(dc, x + dx[i], y + dy[i]);
        if (c != background) return c;
    }
    return background;
}

// The run's state between particles.
struct Circle {
    int xcenter, ycenter, radius;
    double reach;  // distancemax outward, distancemin inward
};

// Where one particle's walk ended.
struct Rest {
    int x, y;         // where it rests
    double distance;  // of the last step, before any escape
    std::int64_t steps;
};

// Launches one particle on the seeding circle and walks it until it rests.
inline Rest walkone(HDC canvas, const Options& o, const Circle& c) {
    MSG msg;
    const double angle = zorvrandom() * 0.017453292519943295 * 360.0;
    const int xlaunch = static_cast<int>(std::cos(angle) * c.radius) + c.xcenter;
    const int ylaunch = static_cast<int>(std::sin(angle) * c.radius) + c.ycenter;
    int xpos2 = xlaunch, ypos2 = ylaunch, xpos1 = xpos2, ypos1 = ypos2;
    double distance = 0.0;
    std::int64_t steps = 0;
    COLORREF pixel = o.background;
    while (pixel == o.background) {
        if (o.pollwindow) PeekMessageA(&msg, o.pollwindow, 0x100, 0x209, PM_NOREMOVE);
        xpos1 = xpos2;
        ypos1 = ypos2;
        xpos2 += static_cast<int>(zorvrandom() * 3.0) - 1;
        ypos2 += static_cast<int>(zorvrandom() * 3.0) - 1;
        const double xt = xpos2 - c.xcenter, yt = ypos2 - c.ycenter;
        distance = std::sqrt(xt * xt + yt * yt);
        if (o.outward ? distance > c.radius + 2 : distance < c.radius - 2) {
            xpos2 = xlaunch + (o.outward ? -1 : 1);
            ypos2 = ylaunch + (o.outward ? -1 : 1);
        }
        if (o.algorithm == 0) pixel = GetPixel(canvas, xpos2, ypos2);
        else if (o.algorithm == 1) pixel = neighbour(canvas, xpos1, ypos1, o.background);
        else pixel = neighbour(canvas, xpos2, ypos2, o.background);
        if (static_cast<int>(zorvrandom() * 100.0) + 1 > o.probability) pixel = o.background;
        ++steps;
    }
    return Rest{xpos1, ypos1, distance, steps};
}

// Moves the seeding circle after a particle came to rest at this distance;
// true when it reached its limit.
inline bool follow(Circle& c, const Options& o, double distance) {
    if (o.outward) {
        if (distance > c.reach) c.reach = distance;
        if (static_cast<int>(c.reach) > c.radius - o.startradius) c.radius = static_cast<int>(c.reach) + o.startradius;
        return c.xcenter - c.radius < 10 || c.ycenter - c.radius < 10;
    }
    if (distance < c.reach) c.reach = distance;
    if (static_cast<int>(c.reach) < c.radius + o.startradius) c.radius = static_cast<int>(c.reach) - o.startradius;
    return c.radius < 10;
}

// Clears the canvas, plants the seed (a pixel at the centre, or the
// 2-pixel ellipse along the border) and grows until the seeding circle
// reaches its limit.
inline Image grow(HDC canvas, const Options& o, unsigned seed) {
    zorvsrand(seed);
    const RECT all{0, 0, o.xres, o.yres};
    HBRUSH brush = CreateSolidBrush(o.background);
    FillRect(canvas, &all, brush);
    DeleteObject(brush);
    Circle c{o.xres >> 1, o.yres >> 1, 0, 0.0};
    if (o.outward) {
        c.radius = o.startradius;
        c.reach = 0.0;
        SetPixel(canvas, c.xcenter, c.ycenter, o.ink);
    } else {
        c.radius = c.xcenter - o.startradius;
        c.reach = c.xcenter;
        HPEN pen = CreatePen(PS_SOLID, 2, o.ink);
        HGDIOBJ old = SelectObject(canvas, pen);
        Arc(canvas, 1, 1, o.xres - 2, o.yres - 2, 1, 1, 1, 1);
        SelectObject(canvas, old);
        DeleteObject(pen);
    }
    Image image;
    for (;;) {
        const Rest rest = walkone(canvas, o, c);
        image.moves += rest.steps;
        if (follow(c, o, rest.distance)) return image;
        SetPixel(canvas, rest.x, rest.y, o.ink);
        ++image.particles;
    }
}

}  // namespace reference

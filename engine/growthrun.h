// The body shared by both growth runs: entry, help, initialisation, launch,
// the random walk, colouring, drawing and the end of a call. A run supplies
// a traits type with what differs: the help flag, its seed, the direction
// of the escape, how its distance bound moves and when it ends.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdint>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/random.h"
#include "engine/settings.h"
#include "platform/win32.h"

namespace zorv::growth {

// Walker and circle coordinates are kept within this bound, so no sum or
// difference of two of them leaves the int range. Legal settings stay far
// inside it; only absurd ones reach it, and there everything is off the
// canvas, where every read counts as contact.
constexpr std::int64_t FAR = std::int64_t{1} << 29;

inline std::int64_t clamp64(std::int64_t v, std::int64_t lo, std::int64_t hi) { return std::min(std::max(v, lo), hi); }

// trunc(v), held to [lo, hi]; also defined for values out of any integer range.
inline std::int64_t truncto(double v, std::int64_t lo, std::int64_t hi) {
    if (!(v > static_cast<double>(lo))) return lo;
    if (!(v < static_cast<double>(hi))) return hi;
    return static_cast<std::int64_t>(v);
}

inline int coordinate(std::int64_t v) { return static_cast<int>(clamp64(v, -FAR, FAR)); }

// The margin between the cluster and the seeding circle. A negative one
// would put the escape bound inside the launch point and trap the walker
// for good, so it counts as 0.
inline std::int64_t margin() { return std::max(startradius, 0); }

// The first of the window's keyboard, command and mouse messages, and the last.
constexpr UINT INPUT_FIRST = 0x100;
constexpr UINT INPUT_LAST = 0x209;

constexpr COLORREF DEBUG_GREY = RGB(127, 127, 127);

// One circle (or ellipse) inscribed in the box, drawn with a fresh solid pen.
inline void drawellipse(HDC hdc, int l, int t, int r, int b, int width, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ old = SelectObject(hdc, pen);
    Arc(hdc, l, t, r, b, l, t, l, t);
    SelectObject(hdc, old);
    DeleteObject(pen);
}

// Sets the debugging circle's box to the seeding circle and starts the
// image's counters and clock.
inline void startprogress(GrowthState& s) {
    s.ulx = coordinate(std::int64_t{s.xcenter} - s.radius);
    s.uly = coordinate(std::int64_t{s.ycenter} - s.radius);
    s.lrx = coordinate(std::int64_t{s.xcenter} + s.radius);
    s.lry = coordinate(std::int64_t{s.ycenter} + s.radius);
    s.moves = 0;
    s.pixelcount = 0;
    s.starttime = GetTickCount();
}

// Where the walk ended.
struct WalkEnd {
    int xpos1, ypos1;  // the position before the last step: where the particle rests
    double distance;   // distance reached by the last step, before any escape
    std::int64_t steps;
    bool stopped;      // the user pressed PAUSE or clicked
};

// The launch point and the escape rule of one particle.
struct Launch {
    int x, y;        // launch point
    int backx, backy;  // where an escaped walker is put back
    double bound;    // the escape distance: radius + 2 outward, radius - 2 inward
};

// Walks one particle from its launch point until it comes to rest or the
// user stops it. Outward walkers escape beyond the bound, inward ones inside
// it. Rule is the contact rule: 0 reads the landing pixel, 1 the neighbours
// of the position before the step, 2 those of the position after it.
template <bool Outward, int Rule>
WalkEnd walk(const Launch& launch, int xcenter, int ycenter, HCURSOR hourglass) {
    const HWND hwnd = g_hWnd;
    const HDC vhdc = g_vhdc;
    const COLORREF background = bkgd;
    const int stickiness = std::max(probability, 1);
    const double bound = launch.bound;

    int xpos2 = launch.x, ypos2 = launch.y;
    int xpos1 = xpos2, ypos1 = ypos2;
    double distance = 0.0;
    std::int64_t steps = 0;
    COLORREF pixel = background;
    MSG msg;

    // The neighbours in the order they are read.
    static constexpr int dx[8] = {1, 1, 1, 0, 0, -1, -1, -1};
    static constexpr int dy[8] = {1, 0, -1, 1, -1, 1, 0, -1};
    auto neighbour = [&](int x, int y) {
        for (int i = 0; i < 8; ++i) {
            COLORREF c = GetPixel(vhdc, x + dx[i], y + dy[i]);
            if (c != background) return c;
        }
        return background;
    };

    while (pixel == background) {
        // One poll per step keeps PAUSE and clicks working without threads.
        if (PeekMessageA(&msg, hwnd, INPUT_FIRST, INPUT_LAST, PM_NOREMOVE)) {
            TranslateMessage(&msg);
            PeekMessageA(&msg, hwnd, INPUT_FIRST, INPUT_LAST, PM_REMOVE);
            if ((msg.message == WM_KEYDOWN && msg.wParam == VK_PAUSE) || msg.message == WM_LBUTTONDOWN ||
                msg.message == WM_RBUTTONDOWN)
                return WalkEnd{xpos1, ypos1, distance, steps, true};
            if (msg.message == WM_MOUSEMOVE) SetCursor(hourglass);
        }
        xpos1 = xpos2;
        ypos1 = ypos2;
        xpos2 += static_cast<int>(zorvrandom() * 3.0) - 1;
        ypos2 += static_cast<int>(zorvrandom() * 3.0) - 1;
        const double xt = xpos2 - xcenter, yt = ypos2 - ycenter;
        distance = std::sqrt(xt * xt + yt * yt);
        if (Outward ? distance > bound : distance < bound) {
            xpos2 = launch.backx;
            ypos2 = launch.backy;
        }
        if constexpr (Rule == 0) pixel = GetPixel(vhdc, xpos2, ypos2);
        else if constexpr (Rule == 1) pixel = neighbour(xpos1, ypos1);
        else pixel = neighbour(xpos2, ypos2);
        if (static_cast<int>(zorvrandom() * 100.0) + 1 > stickiness) pixel = background;
        ++steps;
    }
    return WalkEnd{xpos1, ypos1, distance, steps, false};
}

template <bool Outward>
WalkEnd walkbyrule(const Launch& launch, int xcenter, int ycenter, HCURSOR hourglass) {
    switch (algorithm) {
    case 0: return walk<Outward, 0>(launch, xcenter, ycenter, hourglass);
    case 1: return walk<Outward, 1>(launch, xcenter, ycenter, hourglass);
    default: return walk<Outward, 2>(launch, xcenter, ycenter, hourglass);
    }
}

// Colours the particle that came to rest, draws it on the canvas and, while
// the image centre is in view, on the window; counts it for pixel-count
// colouring and moves the debugging circle.
void settle(GrowthState& s, const WalkEnd& end, HDC windowdc);

// Entry to end of call for the run described by Run. Without a main window
// (GetDC gives no surface) the run draws on the canvas alone.
template <class Run>
int run(GrowthState& s) {
    HDC windowdc = GetDC(g_hWnd);
    int retvalue = GROWTH_CONTINUES;

    if (terminate) {
        retvalue = 2;
    } else {
        if (Run::SHOWS_HELP && firsttime) {
            firsttime = 0;
            MessageBoxA(nullptr, HELP_TEXT, "HELP", MB_ICONINFORMATION);
        }
        if (firstloop) {
            firstloop = 0;
            terminate = 0;
            s.hourglass = LoadCursorA(nullptr, IDC_WAIT);
            s.cross = SetCursor(s.hourglass);
            zorvsrand(static_cast<unsigned>(CalendarTime()));
            cleartobackground(windowdc);
            // Input made before the start must not stop the new image.
            MSG msg;
            while (PeekMessageA(&msg, g_hWnd, INPUT_FIRST, INPUT_LAST, PM_REMOVE)) {
            }
            s.xcenter = xres >> 1;
            s.ycenter = yres >> 1;
            s.frgd = palettecolor(1);
            s.colorfactor = 1;
            s.color = 1;
            s.colorcount = 0;
            Run::plant(s, windowdc);
        }

        // Launch on the seeding circle.
        const double angle = zorvrandom() * 0.017453292519943295 * 360.0;
        const double c = std::cos(angle), sn = std::sin(angle);
        const double r = s.radius;
        Launch launch;
        const std::int64_t lx = truncto(c * r, -FAR, FAR) + s.xcenter;
        const std::int64_t ly = truncto(sn * r, -FAR, FAR) + s.ycenter;
        launch.x = coordinate(lx);
        launch.y = coordinate(ly);
        launch.backx = coordinate(lx + Run::BACK);
        launch.backy = coordinate(ly + Run::BACK);
        launch.bound = r + (Run::OUTWARD ? 2.0 : -2.0);

        const WalkEnd end = walkbyrule<Run::OUTWARD>(launch, s.xcenter, s.ycenter, s.hourglass);
        s.moves += end.steps;

        if (end.stopped) {
            retvalue = 1;
            terminate = 1;
        } else {
            Run::reach(s, end.distance);
            if (Run::limit(s)) {
                retvalue = 0;
                terminate = 1;
            } else {
                settle(s, end, windowdc);
            }
        }
    }

    if (terminate && debug) {
        std::string text = statisticstext(s, Run::DISTANCE_LABEL, Run::OUTWARD ? s.distancemax : s.distancemin);
        MessageBoxA(nullptr, text.c_str(), "ZORV DLA 2017", MB_OK);
    }
    if (terminate) {
        SetCursor(s.cross);
        SetCursorPos(100, 100);
        okdla = 0;
        if (retvalue == 0) firstloop = 1;
    }
    ReleaseDC(g_hWnd, windowdc);
    return retvalue;
}

}  // namespace zorv::growth

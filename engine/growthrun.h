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
#include "engine/walk.h"
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

// The cluster maps of the canvas, shared by both runs.
zorv::walk::ContactMap& canvasmap();

// Handles a message the per-step poll found waiting: true for PAUSE or a
// left or right click, which stop the walk; a mouse move brings back the
// wait cursor; anything else is dropped.
bool stopsthewalk(HWND hwnd, MSG& msg, HCURSOR hourglass);

// Walks one particle from its launch point until it comes to rest or the
// user stops it, reading contact by the rule (0 the landing pixel, 1 the
// neighbours of the position before the step, 2 those after it).
template <bool Outward>
zorv::walk::WalkEnd walkbyrule(const zorv::walk::Walker& walker, HCURSOR hourglass) {
    using namespace zorv::walk;
    const HWND hwnd = g_hWnd;
    // One poll per block of steps keeps PAUSE and clicks working without
    // threads; it takes every message waiting.
    auto poll = [hwnd, hourglass] {
        MSG msg;
        while (PeekMessageA(&msg, hwnd, INPUT_FIRST, INPUT_LAST, PM_NOREMOVE))
            if (stopsthewalk(hwnd, msg, hourglass)) return true;
        return false;
    };
    const ContactMap& map = canvasmap();
    switch (algorithm) {
    case 0: return zorv::walk::walk<Outward, LANDING>(walker, map, poll);
    case 1: return zorv::walk::walk<Outward, NEIGHBOURS_BEFORE>(walker, map, poll);
    default: return zorv::walk::walk<Outward, NEIGHBOURS_AFTER>(walker, map, poll);
    }
}

// Records in the state the pixel that the contact rule found for the
// particle about to come to rest: the pixel its last step landed on (rule
// 0), or the first neighbour that is cluster or off the canvas, in the
// rules' reading order, of the position before the step (rule 1) or after
// it (rule 2). Called once per particle, before it is drawn.
void findcontact(GrowthState& s, const zorv::walk::WalkEnd& end);

// Colours the particle that came to rest, draws it on the canvas and, while
// the image centre is in view, on the window; records it in the state,
// counts it for pixel-count colouring and moves the debugging circle. grey
// is the grey shade's step, -1, 0 or 1, for greyscale.
void settle(GrowthState& s, const zorv::walk::WalkEnd& end, double distance, HDC windowdc, int grey);

// The walker of a particle launched at `angle` (a zorvrandom value, the
// fraction of a turn) on a seeding circle of the given radius about the
// centre; stick is stickthreshold() of the stickiness.
template <class Run>
zorv::walk::Walker launch(int radius, int xcenter, int ycenter, std::uint64_t stick, double angle) {
    const double a = angle * 0.017453292519943295 * 360.0;
    const double c = std::cos(a), sn = std::sin(a);
    const double r = radius;
    zorv::walk::Walker walker;
    const std::int64_t lx = truncto(c * r, -FAR, FAR) + xcenter;
    const std::int64_t ly = truncto(sn * r, -FAR, FAR) + ycenter;
    walker.x = coordinate(lx);
    walker.y = coordinate(ly);
    walker.backx = coordinate(lx + Run::BACK);
    walker.backy = coordinate(ly + Run::BACK);
    walker.xcenter = xcenter;
    walker.ycenter = ycenter;
    walker.bound2 = zorv::walk::escapebound(Run::OUTWARD, std::int64_t{radius} + (Run::OUTWARD ? 2 : -2));
    walker.stick = stick;
    return walker;
}

// What follows a walk that came to rest: the run counts its steps, follows
// the distance its last step reached and, unless that brings the circle to
// its limit (true: the run is complete, the particle is not drawn), draws
// the particle. grey gives the grey shade's step for greyscale: a function
// called only then, so the single-stream runs draw it only then.
template <class Run, class Grey>
bool restparticle(GrowthState& s, const zorv::walk::WalkEnd& end, HDC windowdc, Grey&& grey) {
    s.moves += end.steps;
    // The one square root of the walk: the distance of its last step.
    const double distance = std::sqrt(static_cast<double>(end.distance2));
    Run::reach(s, distance);
    if (Run::limit(s)) return true;
    findcontact(s, end);
    settle(s, end, distance, windowdc, greyscale ? grey() : 0);
    return false;
}

// Makes the walk's folded map hold the ring of the run's seeding circle.
template <class Run>
void syncring(const GrowthState& s) {
    const std::int64_t bound = std::int64_t{s.radius} + (Run::OUTWARD ? 2 : -2);
    zorv::walk::syncring(canvasmap(), algorithm, s.xcenter, s.ycenter, Run::OUTWARD,
                         zorv::walk::escapebound(Run::OUTWARD, bound));
}

// The start of a new image on a canvas cleared to the background: the
// colouring's counters, the seed and the seeding circle.
template <class Run>
void plantseed(GrowthState& s, HDC windowdc) {
    s.xcenter = xres >> 1;
    s.ycenter = yres >> 1;
    s.frgd = palettecolor(1);
    s.colorfactor = 1;
    s.color = 1;
    s.colorcount = 0;
    Run::plant(s, windowdc);
    if (seedplanted) seedplanted();
}

// Launches one particle on the seeding circle and walks it until it comes to
// rest or the user stops it: the call's result, with terminate set when the
// run ends.
template <class Run>
int walkparticle(GrowthState& s, HDC windowdc) {
    const zorv::walk::Walker walker =
        launch<Run>(s.radius, s.xcenter, s.ycenter, stickthreshold(probability), zorvrandom());
    const zorv::walk::WalkEnd end = walkbyrule<Run::OUTWARD>(walker, s.hourglass);
    if (end.stopped) {
        s.moves += end.steps;
        terminate = 1;
        return 1;
    }
    if (restparticle<Run>(s, end, windowdc, [] { return zorvrand() % 3 - 1; })) {
        terminate = 1;
        return 0;
    }
    return GROWTH_CONTINUES;
}

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
            plantseed<Run>(s, windowdc);
        }

        // Whatever drew on the canvas since the last particle (a new image,
        // a restored preview) is in the maps before the walk reads them.
        zorv::walk::syncmap(canvasmap(), g_vhdc, bkgd, algorithm != 0);
        syncring<Run>(s);
        // Grey particles of the background's own shade, resting on cluster
        // pixels, can erase a cluster to nothing; an outward walker could
        // then never come to rest, so such an image is complete.
        if (Run::OUTWARD && canvasmap().population == 0) {
            retvalue = 0;
            terminate = 1;
        } else {
            retvalue = walkparticle<Run>(s, windowdc);
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

// The saver's two growth runs. A particle is launched on the launch circle,
// walks one pixel at a time and sticks at its last free position when its
// next step lands on a cluster pixel, that is, on any canvas pixel that is
// not the background. Every touch sticks; colours follow the particle count.
#include <cmath>
#include <cstdlib>

#include "engine/random.h"
#include "engine/walk.h"
#include "saver/palettes.h"
#include "saver/saver.h"

int palindex = 0;
int startradius = 10;
COLORREF bkgd = 0;

namespace {

constexpr UINT kFirstInput = 0x100;  // WM_KEYDOWN
constexpr UINT kLastInput = 0x209;   // WM_MBUTTONDBLCLK
constexpr LONG kTimeout = 120000;    // ms of growing before a run gives up
constexpr DWORD kPause = 3000;       // ms a finished cluster stays on screen
constexpr int kParticlesPerColour = 65;

// Growth directions: outward from the centre pixel (dla1), inward from the
// seed circle (dla2).
enum class Direction { Outward, Inward };

COLORREF palettecolor(int p, int i) { return RGB(palette[p][i][0], palette[p][i][1], palette[p][i][2]); }

// The next palette, after a run that ended by itself.
void advancepalette() { palindex = (palindex + 1) % 7; }

// The walks read the cluster from bit maps of the canvas.
zorv::walk::ContactMap map;

// Where the last particle was launched from, to tell a deliberate mouse
// movement from a jitter of a pixel or two; each run keeps its own.
template <Direction dir>
POINT oldcursor;

// Handles an input message the walk found waiting: a key, a left or right
// click, or a mouse move of more than 2 pixels since the launch ends the
// run; anything else is removed and ignored.
template <Direction dir>
bool endsthesaver(MSG& msg) {
    TranslateMessage(&msg);
    PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_REMOVE);
    if (msg.message == WM_KEYDOWN || msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN) return true;
    if (msg.message == WM_MOUSEMOVE) {
        POINT now;
        GetCursorPos(&now);
        const POINT& was = oldcursor<dir>;
        return std::abs(now.x - was.x) > 2 || std::abs(now.y - was.y) > 2;
    }
    return false;
}

// growcluster grows one whole cluster in the given direction; dla1 and dla2
// are its two instances. Returns 1 when input ended the run, else 0.
template <Direction dir>
int growcluster() {
    constexpr bool outward = dir == Direction::Outward;
    POINT& oldcursor = ::oldcursor<dir>;

    if (palindex < 0 || palindex > 6) palindex = 0;
    zorvsrand(static_cast<unsigned>(CalendarTime()));
    HDC hdc = GetDC(g_hWnd);
    SetCursorPos(10, 10);
    const HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FillRect(hdc, &ClientRes, black);
    FillRect(g_vhdc, &ClientRes, black);

    MSG msg;
    while (PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_NOREMOVE))
        PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_REMOVE);

    COLORREF frgd = palettecolor(palindex, 1);
    int color = 1;
    int colorcount = 0;

    int radius;
    double distancemax = 0.0;  // outward: farthest touch so far
    double distancemin = 0.0;  // inward: nearest touch so far
    DWORD starttime;
    if constexpr (outward) {
        radius = startradius;
        distancemax = 0.0;
        starttime = GetTickCount();
        SetPixel(g_vhdc, xcenter, ycenter, frgd);
        SetPixel(hdc, xcenter, ycenter, frgd);
    } else {
        radius = xresover2 - 10;
        distancemin = xresover2;
        starttime = GetTickCount();
        // A whole circle of radius 200 about the centre: equal start and end
        // points make the arc close.
        const int left = xcenter - xresover2, top = ycenter - yresover2;
        const int right = xcenter + xresover2, bottom = ycenter + yresover2;
        HPEN pen = CreatePen(PS_SOLID, 2, frgd);
        HGDIOBJ old = SelectObject(g_vhdc, pen);
        Arc(g_vhdc, left, top, right, bottom, left, top, left, top);
        SelectObject(g_vhdc, old);
        old = SelectObject(hdc, pen);
        Arc(hdc, left, top, right, bottom, left, top, left, top);
        SelectObject(hdc, old);
        DeleteObject(pen);
    }

    int breakflag = 0, returnvalue = 0;
    // The walk polls once per block of steps; the tick count is read at
    // every fourth poll, a few microseconds apart.
    unsigned clockcountdown = 1;
    auto poll = [&] {
        if (--clockcountdown == 0) {
            clockcountdown = 4;
            if (static_cast<LONG>(GetTickCount() - starttime) > kTimeout) {
                returnvalue = 0;
                advancepalette();
                return true;
            }
        }
        while (PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_NOREMOVE))
            if (endsthesaver<dir>(msg)) {
                returnvalue = 1;
                return true;
            }
        return false;
    };

    for (;;) {
        zorv::walk::syncmap(map, g_vhdc, bkgd, false);
        // Launch on the launch circle; the walker comes back here, moved one
        // pixel toward the inside, whenever it strays beyond the circle.
        const double angle = zorvrandom() * 0.017453292519943295 * 360.0;
        const int xlaunch = static_cast<int>(std::cos(angle) * radius) + xcenter;
        const int ylaunch = static_cast<int>(std::sin(angle) * radius) + ycenter;
        zorv::walk::Walker walker;
        walker.x = xlaunch;
        walker.y = ylaunch;
        walker.backx = outward ? xlaunch - 1 : xlaunch + 1;
        walker.backy = outward ? ylaunch - 1 : ylaunch + 1;
        walker.xcenter = xcenter;
        walker.ycenter = ycenter;
        walker.bound2 = zorv::walk::escapebound(outward, outward ? radius + 2 : radius - 2);
        walker.stick = stickthreshold(100);  // every touch sticks
        zorv::walk::syncring(map, zorv::walk::LANDING, xcenter, ycenter, outward, walker.bound2);
        GetCursorPos(&oldcursor);

        const zorv::walk::WalkEnd end = zorv::walk::walk<outward, zorv::walk::LANDING>(walker, map, poll);
        breakflag = end.stopped;
        const int xpos1 = end.xpos1, ypos1 = end.ypos1;
        const std::int64_t distance2 = end.distance2;

        if (breakflag) {
            ReleaseDC(g_hWnd, hdc);
            return returnvalue;
        }

        // The launch circle follows the cluster, by the distance of the
        // cluster pixel that was touched.
        const double distance = std::sqrt(static_cast<double>(distance2));
        bool complete;
        if constexpr (outward) {
            if (distance > distancemax) distancemax = distance;
            if (static_cast<int>(distancemax) > radius - startradius)
                radius = static_cast<int>(distancemax) + startradius;
            complete = radius > xresover2 || radius > yresover2;
        } else {
            if (distance < distancemin) distancemin = distance;
            if (static_cast<int>(distancemin) < radius + 10) radius = static_cast<int>(distancemin) - 10;
            complete = radius < 10;
        }
        if (complete) {
            // The particle that completed the cluster is not drawn.
            ReleaseDC(g_hWnd, hdc);
            advancepalette();
            pausecluster(kPause);
            return 0;
        }

        zorv::walk::plot(map, g_vhdc, xpos1, ypos1, frgd);
        SetPixel(hdc, xpos1, ypos1, frgd);

        if (++colorcount == kParticlesPerColour) {
            colorcount = 0;
            if (++color == 256) color = 1;
            frgd = palettecolor(palindex, color);
        }
    }
}

}  // namespace

int dla1() { return growcluster<Direction::Outward>(); }

int dla2() { return growcluster<Direction::Inward>(); }

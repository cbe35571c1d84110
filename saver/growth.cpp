// The saver's two growth runs. A particle is launched on the launch circle,
// walks one pixel at a time and sticks at its last free position when its
// next step lands on a cluster pixel, that is, on any canvas pixel that is
// not the background. Every touch sticks; colours follow the particle count.
#include <cmath>
#include <cstdlib>

#include "engine/random.h"
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

// growcluster grows one whole cluster in the given direction; dla1 and dla2
// are its two instances. Returns 1 when input ended the run, else 0.
template <Direction dir>
int growcluster() {
    constexpr bool outward = dir == Direction::Outward;
    // Where the last particle was launched from, to tell a deliberate mouse
    // movement from a jitter of a pixel or two.
    static POINT oldcursor;

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

    for (;;) {
        // Launch on the launch circle; the walker comes back here, moved one
        // pixel toward the inside, whenever it strays beyond the circle.
        const double angle = zorvrandom() * 0.017453292519943295 * 360.0;
        const int xlaunch = static_cast<int>(std::cos(angle) * radius) + xcenter;
        const int ylaunch = static_cast<int>(std::sin(angle) * radius) + ycenter;
        const int xback = outward ? xlaunch - 1 : xlaunch + 1;
        const int yback = outward ? ylaunch - 1 : ylaunch + 1;
        // The walker is confined by squared distances, which for whole
        // pixels decide exactly as the distances would.
        const int bound = outward ? radius + 2 : radius - 2;
        const long long bound2 = static_cast<long long>(bound) * bound;

        int xpos2 = xlaunch, ypos2 = ylaunch;
        int xpos1 = xpos2, ypos1 = ypos2;
        long long distance2 = 0;
        COLORREF pixel = bkgd;
        GetCursorPos(&oldcursor);

        int breakflag = 0, returnvalue = 0;
        while (pixel == bkgd) {
            if (static_cast<LONG>(GetTickCount() - starttime) > kTimeout) {
                breakflag = 1;
                returnvalue = 0;
                advancepalette();
                break;
            }
            if (PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_NOREMOVE)) {
                TranslateMessage(&msg);
                PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_REMOVE);
                if (msg.message == WM_KEYDOWN || msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN) {
                    breakflag = 1;
                    returnvalue = 1;
                    break;
                }
                if (msg.message == WM_MOUSEMOVE) {
                    POINT now;
                    GetCursorPos(&now);
                    if (std::abs(now.x - oldcursor.x) > 2 || std::abs(now.y - oldcursor.y) > 2) {
                        breakflag = 1;
                        returnvalue = 1;
                        break;
                    }
                }
            }
            xpos1 = xpos2;
            ypos1 = ypos2;
            xpos2 += static_cast<int>(zorvrandom() * 3.0) - 1;
            ypos2 += static_cast<int>(zorvrandom() * 3.0) - 1;
            const long long dx = xpos2 - xcenter, dy = ypos2 - ycenter;
            distance2 = dx * dx + dy * dy;
            if (outward ? distance2 > bound2 : distance2 < bound2) {
                xpos2 = xback;
                ypos2 = yback;
            }
            pixel = GetPixel(g_vhdc, xpos2, ypos2);
        }

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
            Sleep(kPause);
            return 0;
        }

        SetPixel(g_vhdc, xpos1, ypos1, frgd);
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

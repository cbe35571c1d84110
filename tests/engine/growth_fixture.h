// A main window with its canvas on the headless backend, and helpers that
// drive the growth runs the way the message loop does.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/random.h"
#include "engine/settings.h"
#include "platform/backend.h"
#include "platform/headless/headless.h"

namespace growthtest {

constexpr COLORREF kGrey127 = RGB(127, 127, 127);
constexpr COLORREF kWall = RGB(1, 2, 3);  // a cluster colour no palette entry uses

class Growth : public ::testing::Test {
protected:
    headless::Backend screen;

    void SetUp() override {
        resetsettings();
        firsttime = 0;  // the help box is tested on its own
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "Main";
        RegisterClassA(&wc);
        // Palette entries told apart by red, none equal to the background.
        for (int i = 0; i < 256; ++i) {
            palette[i][0] = static_cast<unsigned char>(i);
            palette[i][1] = 10;
            palette[i][2] = 20;
        }
    }
    void TearDown() override {
        screen.onPump = nullptr;
        platform::SetPumpInterval(64);
        releasecanvas();
    }

    // A main window whose client area is w x h, with an xres x yres canvas.
    void open(int image, int clientw = -1, int clienth = -1) {
        xres = yres = image;
        if (clientw < 0) clientw = clienth = image + 20;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, clientw, clienth, nullptr, nullptr, nullptr,
                                 nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
        serve();
    }

    // What the message loop does between two calls.
    static void serve() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }

    // Plot Image: the run goes on, or starts a new image after completion.
    static void plot() {
        okdla = 1;
        terminate = 0;
    }

    static GrowthState& state() { return growth ? centripetalstate() : centrifugalstate(); }
    static int call() { return growth ? dla_centripetal() : dla_centrifugal(); }

    // Calls the run as the loop does until it stops; returns the last result.
    int grow(long maxcalls = 10'000'000) {
        if (!screen.onPump) stopafter(2'000'000);  // a walk that never ends fails instead of hanging
        int r = -1;
        for (long i = 0; okdla && i < maxcalls; ++i) {
            r = call();
            serve();
        }
        return r;
    }

    // Posts `message` (a key or button) at the `pumps`-th pump from now, so
    // the walk in progress sees it. A call that starts a new image pumps once
    // while it discards old input, so with a pump interval of 1 its walk sees
    // the second pump first.
    void stopafter(long pumps, UINT message = WM_KEYDOWN) {
        auto count = std::make_shared<long>(0);
        screen.onPump = [this, count, pumps, message] {
            if (++*count != pumps) return;
            if (message == WM_KEYDOWN) screen.keyDown(g_hWnd, VK_PAUSE);
            else screen.mouseDown(g_hWnd, message, 5, 5);
        };
    }

    static COLORREF can(int x, int y) { return GetPixel(g_vhdc, x, y); }
    COLORREF win(int x, int y) const { return screen.pixel(g_hWnd, x, y); }

    static std::vector<COLORREF> canvas() {
        std::vector<COLORREF> v;
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) v.push_back(can(x, y));
        return v;
    }
    static int clusterpixels() {
        int n = 0;
        for (COLORREF c : canvas()) n += c != bkgd;
        return n;
    }
    // Fills the whole canvas with one colour.
    static void fill(COLORREF c) {
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) SetPixel(g_vhdc, x, y, c);
    }
    // Paints every canvas pixel whose distance d from the centre has
    // lo < d <= hi; with lowerright, only those right of and below the centre.
    static void ring(double lo, double hi, bool lowerright = false) {
        const int xc = xres >> 1, yc = yres >> 1;
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) {
                double d = std::hypot(x - xc, y - yc);
                if (d > lo && d <= hi && (!lowerright || (x > xc && y > yc))) SetPixel(g_vhdc, x, y, kWall);
            }
    }

    // A new image has been started and its first particle walked; the
    // canvas is then all background and the circle is back at `radius`.
    void begin(int radius) {
        firstloop = 1;
        okdla = 1;
        terminate = 0;
        call();
        serve();
        fill(bkgd);
        GrowthState& s = state();
        s.radius = radius;
        s.distancemax = 0.0;
        s.distancemin = s.xcenter;
    }
};

// The draws a call makes after launching without initialising: the launch
// angle, then the first step. Peeking reseeds, so the run sees the same draws.
struct FirstDraws {
    double angle;
    int dx, dy;
};
inline FirstDraws peek(unsigned seed) {
    zorvsrand(seed);
    FirstDraws d{};
    d.angle = zorvrandom() * 0.017453292519943295 * 360.0;
    d.dx = static_cast<int>(zorvrandom() * 3.0) - 1;
    d.dy = static_cast<int>(zorvrandom() * 3.0) - 1;
    zorvsrand(seed);
    return d;
}
inline POINT launchpoint(double angle, int radius, int xc, int yc) {
    return POINT{static_cast<int>(std::cos(angle) * radius) + xc, static_cast<int>(std::sin(angle) * radius) + yc};
}

}  // namespace growthtest

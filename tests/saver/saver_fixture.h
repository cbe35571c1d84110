// A headless screen for the saver, with helpers that read as scenarios.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "platform/headless/headless.h"
#include "saver/palettes.h"
#include "saver/saver.h"

namespace savertest {

inline COLORREF entrycolor(int p, int i) { return RGB(palette[p][i][0], palette[p][i][1], palette[p][i][2]); }

inline double centredistance(int x, int y) { return std::hypot(double(x - xcenter), double(y - ycenter)); }

class Saver : public ::testing::Test {
protected:
    headless::Backend screen;  // installs itself and starts the layer afresh

    void SetUp() override {
        resetsaver();
        platform::SetPumpInterval(64);
    }

    void TearDown() override {
        screen.onPump = nullptr;
        // A window a test left open is closed the ordinary way, so its
        // canvas is given back.
        if (g_hWnd && IsWindow(g_hWnd)) DestroyWindow(g_hWnd);
        resetsaver();
    }

    // Opens the saver's window as WinMain would, without entering the loop.
    void open(int width = 1024, int height = 768) {
        screen.setScreen(width, height, 32);
        ASSERT_EQ(InitWindowClass(&saverModule), 0);
        ASSERT_EQ(CreateMainWindow(&saverModule, SW_SHOWNORMAL), 0);
    }

    int runWinMain(const char* args = "") {
        std::string text = args;
        return WinMain(&saverModule, nullptr, text.data(), SW_SHOWNORMAL);
    }

    COLORREF canvas(int x, int y) const { return GetPixel(g_vhdc, x, y); }
    COLORREF shown(int x, int y) const { return screen.pixel(g_hWnd, x, y); }
};

}  // namespace savertest

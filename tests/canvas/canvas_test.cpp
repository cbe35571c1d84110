// The canvas, checkpalette and the two previews on a headless window, and the random source.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "canvas/canvas.h"
#include "canvas/palette.h"
#include "engine/random.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"

namespace {

class Canvas : public ::testing::Test {
protected:
    headless::Backend screen;
    void SetUp() override {
        resetsettings();
        WNDCLASSA wc{0, DefWindowProcA, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "Main"};
        RegisterClassA(&wc);
    }
    void TearDown() override { releasecanvas(); }
    COLORREF win(int x, int y) { return screen.pixel(g_hWnd, x, y); }
    static COLORREF can(int x, int y) { return GetPixel(g_vhdc, x, y); }
    // The pixels of the first `width` columns of the 296 x 100 preview on the window that differ from three frame
    // rings around the background, with the palette's entries as columns 20 to 275 of rows 25 to 74.
    int wrongpreview(COLORREF background, const unsigned char (&pal)[256][3], int width = 296) {
        int wrong = 0;
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < width; ++x) {
                const int ring = std::min({x, y, 295 - x, 99 - y});
                const bool stripe = x >= 20 && x < 276 && y >= 25 && y <= 74;
                wrong += win(x, y) != (ring == 1 ? RGB(215, 225, 235) : ring < 3 ? RGB(205, 215, 225)
                                       : stripe  ? RGB(pal[x - 20][0], pal[x - 20][1], pal[x - 20][2]) : background);
            }
        }
        return wrong;
    }
};

// The canvas is grey at the image size, not the window's. The palette preview shows on the window alone, the background
// preview on the canvas (as far as it goes) and the window; restoring undoes both. checkpalette moves the red of an
// entry equal to the background down one (up from 0), once; other entries stay.
TEST_F(Canvas, CanvasPreviewsTheirRestoreAndCheckpalette) {
    xres = 200;
    yres = 150;
    g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(createcanvas(g_hWnd));
    for (int i = 0; i < 200 * 150; ++i) ASSERT_EQ(can(i % 200, i / 200), RGB(128, 128, 128)) << i;
    HDC wdc = GetDC(g_hWnd);
    cleartobackground(wdc);
    SetPixel(g_vhdc, 40, 40, RGB(1, 2, 3));
    SetPixel(wdc, 40, 40, RGB(1, 2, 3));
    ReleaseDC(g_hWnd, wdc);
    savepreviewarea(g_hWnd);
    for (int i = 0; i < 256; ++i) paltemp[i][0] = paltemp[i][1] = paltemp[i][2] = static_cast<unsigned char>(i);
    showpalette();
    EXPECT_EQ(wrongpreview(bkgd, paltemp), 0);
    EXPECT_EQ(can(40, 40), RGB(1, 2, 3));
    rtemp = 10 + 256;  // only the low eight bits count
    gtemp = 20;
    btemp = 30;
    showbackground();
    EXPECT_EQ(wrongpreview(RGB(10, 20, 30), palette, 200), 0);
    EXPECT_TRUE(can(3, 3) == RGB(10, 20, 30) && can(199, 10) == RGB(10, 20, 30) && can(200, 10) == CLR_INVALID);
    restorepreviewarea(g_hWnd);
    EXPECT_TRUE(win(40, 40) == RGB(1, 2, 3) && can(40, 40) == RGB(1, 2, 3) && can(3, 3) == bkgd && win(3, 3) == bkgd);
    const unsigned char background[3] = {255, 245, 230}, blueapart[3] = {255, 245, 231};
    std::memcpy(palette[7], background, 3);  // entry 7 is the default background
    std::memcpy(palette[8], blueapart, 3);   // entry 8 differs from it in blue alone
    checkpalette();
    EXPECT_TRUE(palette[7][0] == 254 && palette[7][1] == 245 && palette[8][0] == 255);
    rback = gback = bback = 0;
    repackbackground();
    checkpalette();
    checkpalette();
    EXPECT_TRUE(palette[0][0] == 1 && palette[0][1] == 0) << "black entry 0 on a black background";
}

// zorvrandom stays within [0, its largest value], comes near both ends; step and stickiness draws even within 6 sigma.
TEST(Random, BoundsAndEvenDraws) {
    const double largest = 30518 * 1e-9 + 32766 * 3.051850947599719e-05;  // the largest coarse and fine parts
    const int n = 3'000'000;
    long steps[3] = {}, sticks[100] = {};
    double lo = 1, hi = 0;
    for (int i = 0; i < n; ++i) {
        const double u = zorvrandom(), v = zorvrandom();
        ASSERT_TRUE(u >= 0.0 && u <= largest && v >= 0.0 && v <= largest) << u << " " << v;
        lo = std::min({lo, u, v});
        hi = std::max({hi, u, v});
        ++steps[static_cast<int>(u * 3.0)];
        ++sticks[static_cast<int>(v * 100.0)];
    }
    EXPECT_TRUE(largest < 1.0 && lo < 1e-5 && hi > 1 - 1e-5) << lo << " " << hi;
    for (long c : steps) EXPECT_NEAR(static_cast<double>(c) / n, 1.0 / 3.0, 6 * std::sqrt(2.0 / 9 / n));
    for (long c : sticks) EXPECT_NEAR(static_cast<double>(c) / n, 0.01, 6 * std::sqrt(0.0099 / n));
}

}  // namespace

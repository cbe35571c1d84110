// The canvas, checkpalette and the two previews, on a headless window.
#include <gtest/gtest.h>

#include <cstring>

#include "canvas/canvas.h"
#include "canvas/defpalette.h"
#include "canvas/palette.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"

namespace {

constexpr COLORREF kGrey = RGB(128, 128, 128);

class Canvas : public ::testing::Test {
protected:
    headless::Backend screen;

    void SetUp() override {
        resetsettings();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "Main";
        RegisterClassA(&wc);
    }
    void TearDown() override { releasecanvas(); }

    // A window whose client area is w x h.
    void open(int w, int h) {
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, w, h, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
    }
    COLORREF win(int x, int y) { return screen.pixel(g_hWnd, x, y); }
    COLORREF can(int x, int y) { return GetPixel(g_vhdc, x, y); }
};

TEST_F(Canvas, CreatedGreyAtTheImageSize) {
    xres = 120;
    yres = 90;
    open(300, 200);
    EXPECT_EQ(ClientRes.right, 300);
    EXPECT_EQ(ClientRes.bottom, 200);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) ASSERT_EQ(can(x, y), kGrey);
    EXPECT_EQ(can(-1, 0), CLR_INVALID);
    EXPECT_EQ(can(120, 0), CLR_INVALID);
    EXPECT_EQ(can(0, 90), CLR_INVALID);
    SetPixel(g_vhdc, 120, 0, RGB(1, 1, 1));
    EXPECT_EQ(can(119, 0), kGrey);
}

TEST_F(Canvas, CheckpaletteNudgesRedOfEntriesEqualToTheBackground) {
    palette[7][0] = 255;
    palette[7][1] = 245;
    palette[7][2] = 230;
    palette[8][0] = 255;
    palette[8][1] = 245;
    palette[8][2] = 231;
    checkpalette();
    EXPECT_EQ(palette[7][0], 254);
    EXPECT_EQ(palette[7][1], 245);
    EXPECT_EQ(palette[8][0], 255) << "only exact matches move";
    rback = gback = bback = 0;
    repackbackground();
    checkpalette();
    EXPECT_EQ(palette[0][0], 1) << "black entry 0 on a black background";
    EXPECT_EQ(palette[0][1], 0);
    checkpalette();
    EXPECT_EQ(palette[0][0], 1) << "nudged once, then it no longer matches";
}

// The preview picture, checked pixel by pixel over the whole 296 x 100 area.
void expectPreview(const headless::Backend& screen, HWND w, COLORREF background,
                   const unsigned char (&pal)[256][3], int width = 296, int height = 100) {
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            COLORREF want;
            int ring = std::min({x, y, 295 - x, 99 - y});
            if (ring == 0 || ring == 2) want = RGB(205, 215, 225);
            else if (ring == 1) want = RGB(215, 225, 235);
            else if (x >= 20 && x < 276 && y >= 25 && y <= 74)
                want = RGB(pal[x - 20][0], pal[x - 20][1], pal[x - 20][2]);
            else want = background;
            wrong += screen.pixel(w, x, y) != want;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Canvas, PalettePreviewShowsTheCandidateOnTheCurrentBackground) {
    open(400, 300);
    for (int i = 0; i < 256; ++i) paltemp[i][0] = paltemp[i][1] = paltemp[i][2] = static_cast<unsigned char>(i);
    SetPixel(g_vhdc, 5, 5, RGB(1, 2, 3));
    showpalette();
    expectPreview(screen, g_hWnd, bkgd, paltemp);
    EXPECT_EQ(can(5, 5), RGB(1, 2, 3)) << "the palette preview leaves the canvas alone";
}

TEST_F(Canvas, BackgroundPreviewDrawsOnTheCanvasAndRestoreUndoesIt) {
    open(400, 300);
    HDC wdc = GetDC(g_hWnd);
    cleartobackground(wdc);
    SetPixel(g_vhdc, 40, 40, RGB(1, 2, 3));
    SetPixel(wdc, 40, 40, RGB(1, 2, 3));
    ReleaseDC(g_hWnd, wdc);
    rtemp = 10 + 256;  // only the low eight bits count
    gtemp = 20;
    btemp = 30;
    savepreviewarea(g_hWnd);
    showbackground();
    expectPreview(screen, g_hWnd, RGB(10, 20, 30), palette);
    EXPECT_EQ(can(3, 3), RGB(10, 20, 30));
    restorepreviewarea(g_hWnd);
    EXPECT_EQ(win(40, 40), RGB(1, 2, 3));
    EXPECT_EQ(can(40, 40), RGB(1, 2, 3));
    EXPECT_EQ(can(3, 3), bkgd);
    EXPECT_EQ(win(295, 99), bkgd);
}

TEST_F(Canvas, PreviewsOnSmallWindowsAndSmallImages) {
    xres = yres = 100;
    open(150, 60);
    for (int i = 0; i < 256; ++i) paltemp[i][1] = 200;
    showpalette();
    EXPECT_EQ(win(0, 0), RGB(205, 215, 225));
    EXPECT_EQ(win(149, 10), bkgd) << "only the part that fits is shown";
    rtemp = gtemp = btemp = 0;
    showbackground();
    EXPECT_EQ(can(99, 10), RGB(0, 0, 0)) << "on a small image the preview exists as far as the canvas";
    EXPECT_EQ(can(100, 10), CLR_INVALID);
}

}  // namespace

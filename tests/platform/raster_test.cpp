// Software drawing on memory and window surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <queue>
#include <random>
#include <vector>

#include "platform/headless/headless.h"

namespace {

class Raster : public ::testing::Test {
protected:
    headless::Backend screen;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;

    void SetUp() override {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(nullptr, 64, 48);
        SelectObject(dc, bitmap);
    }
    void TearDown() override {
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    int count(COLORREF c, int w = 64, int h = 48) {
        int n = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) n += GetPixel(dc, x, y) == c;
        return n;
    }
};

TEST_F(Raster, PixelsReadBackExactlyAndOutsideIsInvalid) {
    std::mt19937 rng(static_cast<unsigned>(::testing::UnitTest::GetInstance()->random_seed()));
    int failures = 0;
    for (int i = 0; i < 1000; ++i) {
        int x = static_cast<int>(rng() % 64), y = static_cast<int>(rng() % 48);
        COLORREF c = rng() & 0xFFFFFF;
        EXPECT_EQ(SetPixel(dc, x, y, c), c);
        failures += GetPixel(dc, x, y) != c;
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(GetPixel(dc, -1, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 64, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 0, 48), CLR_INVALID);
    EXPECT_EQ(GetPixel(dc, 0, -1), CLR_INVALID);
    RECT all{0, 0, 64, 48};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(SetPixel(dc, 64, 0, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_EQ(SetPixel(dc, -1, 47, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_EQ(count(0), 64 * 48) << "a write outside changes nothing";
}

TEST_F(Raster, FillRectAndPatBltExcludeRightAndBottomEdges) {
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{2, 3, 10, 7};
    FillRect(dc, &r, red);
    EXPECT_EQ(count(RGB(255, 0, 0)), 8 * 4);
    EXPECT_EQ(GetPixel(dc, 9, 6), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 10, 6), 0u);
    EXPECT_EQ(GetPixel(dc, 9, 7), 0u);

    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    SelectObject(dc, blue);
    PatBlt(dc, 60, 40, 10, 10, PATCOPY);  // clipped at the surface
    EXPECT_EQ(count(RGB(0, 0, 255)), 4 * 8);
    DeleteObject(red);
    DeleteObject(blue);
}

TEST_F(Raster, BitBltCopiesExactlyAndClips) {
    HDC other = CreateCompatibleDC(nullptr);
    HBITMAP b2 = CreateCompatibleBitmap(nullptr, 20, 10);
    SelectObject(other, b2);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) SetPixel(other, x, y, RGB(x * 10, y * 20, 7));
    EXPECT_TRUE(BitBlt(dc, 50, 40, 20, 10, other, 0, 0, SRCCOPY));
    int wrong = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 14; ++x) wrong += GetPixel(dc, 50 + x, 40 + y) != RGB(x * 10, y * 20, 7);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(count(0), 64 * 48 - 14 * 8) << "nothing written beyond the destination";
    // Source partly outside: only the part that exists is copied.
    BitBlt(dc, 0, 0, 10, 10, other, 15, 5, SRCCOPY);
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(190, 180, 7));
    EXPECT_EQ(GetPixel(dc, 5, 4), 0u);
    DeleteObject(b2);
    DeleteDC(other);
}

// The whole-ellipse Arc: every pixel drawn lies on the ellipse, and the
// outline is closed: a flood from the centre never reaches the border.
TEST_F(Raster, ArcWithEqualEndsDrawsAClosedEllipseInsideItsBox) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    SelectObject(dc, pen);
    Arc(dc, 5, 4, 55, 40, 5, 4, 5, 4);
    const COLORREF ink = RGB(255, 255, 255);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (GetPixel(dc, x, y) == ink) {
                EXPECT_GE(x, 5);
                EXPECT_LT(x, 55);
                EXPECT_GE(y, 4);
                EXPECT_LT(y, 40);
            }
    EXPECT_EQ(GetPixel(dc, 5, 22), ink);
    EXPECT_EQ(GetPixel(dc, 54, 21), ink);
    // 4-connected flood from the centre stays inside a 1-pixel 8-connected outline.
    std::vector<char> seen(64 * 48, 0);
    std::queue<std::pair<int, int>> q;
    q.push({30, 22});
    bool escaped = false;
    while (!q.empty()) {
        auto [x, y] = q.front();
        q.pop();
        if (x < 0 || y < 0 || x >= 64 || y >= 48) { escaped = true; continue; }
        if (seen[y * 64 + x] || GetPixel(dc, x, y) == ink) continue;
        seen[y * 64 + x] = 1;
        q.push({x + 1, y}); q.push({x - 1, y}); q.push({x, y + 1}); q.push({x, y - 1});
    }
    EXPECT_FALSE(escaped);
    DeleteObject(pen);
}

// A 2-pixel pen's band stops a walker that also steps diagonally: an
// 8-connected flood from the centre stays inside.
TEST_F(Raster, TwoPixelPenBandStopsDiagonalSteps) {
    HDC big = CreateCompatibleDC(nullptr);
    HBITMAP bb = CreateCompatibleBitmap(nullptr, 420, 300);
    SelectObject(big, bb);
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(9, 9, 9));
    SelectObject(big, pen);
    for (auto box : {RECT{1, 1, 418, 298}, RECT{100, 50, 301, 251}, RECT{10, 100, 410, 140}}) {
        SCOPED_TRACE(box.right);
        RECT all{0, 0, 420, 300};
        FillRect(big, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        Arc(big, box.left, box.top, box.right, box.bottom, box.left, box.top, box.left, box.top);
        std::vector<char> seen(420 * 300, 0);
        std::queue<std::pair<int, int>> q;
        q.push({(box.left + box.right) / 2, (box.top + box.bottom) / 2});
        bool escaped = false;
        while (!q.empty()) {
            auto [x, y] = q.front();
            q.pop();
            if (x < box.left - 1 || y < box.top - 1 || x > box.right || y > box.bottom) { escaped = true; break; }
            if (seen[y * 420 + x] || GetPixel(big, x, y) != 0) continue;
            seen[y * 420 + x] = 1;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (dx || dy) q.push({x + dx, y + dy});
        }
        EXPECT_FALSE(escaped);
    }
    DeleteObject(pen);
    DeleteObject(bb);
    DeleteDC(big);
}

TEST_F(Raster, WindowDrawingMarksWhatTheBackendMustShow) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "W";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "W", "", WS_POPUP, 0, 0, 100, 80, nullptr, nullptr, nullptr, nullptr);
    HDC wdc = GetDC(w);
    SetPixel(wdc, 10, 20, RGB(1, 2, 3));
    SetPixel(wdc, 30, 5, RGB(1, 2, 3));
    EXPECT_EQ(w->dirty.left, 10);
    EXPECT_EQ(w->dirty.top, 5);
    EXPECT_EQ(w->dirty.right, 31);
    EXPECT_EQ(w->dirty.bottom, 21);
    EXPECT_EQ(screen.pixel(w, 10, 20), RGB(1, 2, 3));
    EXPECT_EQ(GetDeviceCaps(wdc, BITSPIXEL), 32);
    ReleaseDC(w, wdc);
    EXPECT_EQ(w->dirty.right, 0) << "released drawing is shown";
    // A DC kept across a native resize follows the new surface.
    wdc = GetDC(w);
    platform::NativeResized(w, 50, 40);
    EXPECT_EQ(GetPixel(wdc, 10, 20), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(wdc, 60, 20), CLR_INVALID);
    DestroyWindow(w);
    EXPECT_EQ(GetPixel(wdc, 10, 20), CLR_INVALID) << "a destroyed window's DC draws nowhere";
    ReleaseDC(w, wdc);
}

TEST_F(Raster, DeletedSelectedBitmapLeavesAnEmptySurface) {
    HDC m = CreateCompatibleDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(nullptr, 4, 4);
    SelectObject(m, b);
    DeleteObject(b);
    EXPECT_EQ(GetPixel(m, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(m, 0, 0, 1), CLR_INVALID);
    DeleteDC(m);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 0, 10), nullptr);
}

}  // namespace

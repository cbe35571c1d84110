// Software drawing on memory and window surfaces.
#include <gtest/gtest.h>

#include <queue>
#include <vector>

#include "platform/headless/headless.h"

namespace {

class Raster : public ::testing::Test {
protected:
    headless::Backend screen;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 420, 300);

    void SetUp() override { SelectObject(dc, bitmap); }
    void TearDown() override {
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    int count(COLORREF c) {
        int n = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 420; ++x) n += GetPixel(dc, x, y) == c;
        return n;
    }
    // Floods the black area from the box's centre, 4- or 8-connected, and
    // tells whether it got out of the box.
    bool floodEscapes(RECT box, bool diagonal) {
        std::vector<char> seen(420 * 300, 0);
        std::queue<POINT> q;
        q.push({(box.left + box.right) / 2, (box.top + box.bottom) / 2});
        for (; !q.empty(); q.pop()) {
            auto [x, y] = q.front();
            if (x < box.left - 1 || y < box.top - 1 || x > box.right || y > box.bottom) return true;
            if (seen[y * 420 + x] || GetPixel(dc, x, y) != 0) continue;
            seen[y * 420 + x] = 1;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if ((dx || dy) && (diagonal || !(dx && dy))) q.push({x + dx, y + dy});
        }
        return false;
    }
};

TEST_F(Raster, PixelsReadBackExactlyAndOutsideIsInvalidAndUntouched) {
    int wrong = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 420; ++x) {
            COLORREF c = RGB(x, y, x ^ y);
            wrong += SetPixel(dc, x, y, c) != c || GetPixel(dc, x, y) != c;
        }
    EXPECT_EQ(wrong, 0);
    RECT all{0, 0, 420, 300};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    for (POINT p : {POINT{-1, 0}, POINT{420, 0}, POINT{0, 300}, POINT{0, -1}}) {
        EXPECT_EQ(GetPixel(dc, p.x, p.y), CLR_INVALID);
        EXPECT_EQ(SetPixel(dc, p.x, p.y, RGB(1, 2, 3)), CLR_INVALID);
    }
    EXPECT_EQ(count(0), 420 * 300) << "a write outside changes nothing";
}

TEST_F(Raster, FillRectAndPatBltExcludeRightAndBottomEdgesAndClip) {
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT r{2, 3, 10, 7};
    FillRect(dc, &r, red);
    EXPECT_EQ(count(RGB(255, 0, 0)), 8 * 4);
    EXPECT_EQ(GetPixel(dc, 9, 6), RGB(255, 0, 0));
    SelectObject(dc, blue);
    PatBlt(dc, 416, 292, 10, 10, PATCOPY);
    EXPECT_EQ(count(RGB(0, 0, 255)), 4 * 8);
    DeleteObject(red);
    DeleteObject(blue);
}

TEST_F(Raster, BitBltCopiesExactlyAndClipsAtBothSurfaces) {
    HDC other = CreateCompatibleDC(nullptr);
    HBITMAP b2 = CreateCompatibleBitmap(nullptr, 20, 10);
    SelectObject(other, b2);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) SetPixel(other, x, y, RGB(x * 10, y * 20, 7));
    EXPECT_TRUE(BitBlt(dc, 406, 292, 20, 10, other, 0, 0, SRCCOPY));
    BitBlt(dc, 0, 0, 10, 10, other, 15, 5, SRCCOPY);  // source partly outside
    int wrong = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 14; ++x) wrong += GetPixel(dc, 406 + x, 292 + y) != RGB(x * 10, y * 20, 7);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) wrong += GetPixel(dc, x, y) != RGB((x + 15) * 10, (y + 5) * 20, 7);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(count(0), 420 * 300 - 14 * 8 - 5 * 5) << "nothing written beyond what exists";
    DeleteObject(b2);
    DeleteDC(other);
}

// A whole-ellipse Arc stays inside its box and is closed: a 1-pixel outline
// holds a 4-connected flood, a 2-pixel pen's band also holds diagonal steps.
TEST_F(Raster, ArcWithEqualEndsDrawsAClosedEllipseInsideItsBox) {
    for (int width : {1, 2})
        for (RECT box : {RECT{5, 4, 55, 40}, RECT{1, 1, 418, 298}, RECT{100, 50, 301, 251}, RECT{10, 100, 410, 140}}) {
            SCOPED_TRACE(testing::Message() << "pen " << width << " box right " << box.right);
            RECT all{0, 0, 420, 300};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            HPEN pen = CreatePen(PS_SOLID, width, RGB(255, 255, 255));
            HGDIOBJ old = SelectObject(dc, pen);
            Arc(dc, box.left, box.top, box.right, box.bottom, box.left, box.top, box.left, box.top);
            int outside = 0;
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 420; ++x)
                    outside += GetPixel(dc, x, y) != 0 &&
                               (x < box.left || x >= box.right || y < box.top || y >= box.bottom);
            EXPECT_EQ(width == 1 ? outside : 0, 0) << "a 1-pixel outline stays inside its box";
            EXPECT_EQ(GetPixel(dc, box.left + width - 1, (box.top + box.bottom) / 2), RGB(255, 255, 255));
            EXPECT_FALSE(floodEscapes(box, width == 2));
            SelectObject(dc, old);
            DeleteObject(pen);
        }
}

}  // namespace

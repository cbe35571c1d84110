#include "canvas/palette.h"

#include <algorithm>

#include "canvas/canvas.h"
#include "engine/settings.h"

namespace {

void fill(HDC hdc, RECT r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(hdc, &r, brush);
    DeleteObject(brush);
}

// A one-pixel rectangle outline from (l, t) to (r, b) inclusive.
void ring(HDC hdc, int l, int t, int r, int b, COLORREF color) {
    fill(hdc, RECT{l, t, r + 1, t + 1}, color);
    fill(hdc, RECT{l, b, r + 1, b + 1}, color);
    fill(hdc, RECT{l, t, l + 1, b + 1}, color);
    fill(hdc, RECT{r, t, r + 1, b + 1}, color);
}

// The preview picture: three frame rings, the interior in the background
// being shown, and one stripe per palette entry.
void drawpreview(HDC hdc, COLORREF background, const unsigned char (&pal)[256][3]) {
    ring(hdc, 0, 0, 295, 99, RGB(205, 215, 225));
    ring(hdc, 1, 1, 294, 98, RGB(215, 225, 235));
    ring(hdc, 2, 2, 293, 97, RGB(205, 215, 225));
    fill(hdc, RECT{3, 3, 293, 97}, background);
    for (int i = 0; i < 256; ++i)
        fill(hdc, RECT{20 + i, 25, 21 + i, 75}, RGB(pal[i][0], pal[i][1], pal[i][2]));
}

void showcorner(HDC source) {
    HDC hdc = GetDC(g_hWnd);
    int w = std::min<int>(ClientRes.right, PREVIEW_WIDTH), h = std::min<int>(ClientRes.bottom, PREVIEW_HEIGHT);
    BitBlt(hdc, 0, 0, w, h, source, 0, 0, SRCCOPY);
    ReleaseDC(g_hWnd, hdc);
}

}  // namespace

int checkpalette() {
    for (auto& entry : palette) {
        if (entry[0] == rback && entry[1] == gback && entry[2] == bback)
            entry[0] = entry[0] == 0 ? 1 : static_cast<unsigned char>(entry[0] - 1);
    }
    return 0;
}

int showpalette() {
    HDC hdc = GetDC(g_hWnd);
    HDC previewhdc = CreateCompatibleDC(hdc);
    HBITMAP previewbitmap = CreateCompatibleBitmap(hdc, PREVIEW_WIDTH, PREVIEW_HEIGHT);
    ReleaseDC(g_hWnd, hdc);
    HGDIOBJ old = SelectObject(previewhdc, previewbitmap);
    RECT all{0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT};
    FillRect(previewhdc, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    drawpreview(previewhdc, bkgd, paltemp);
    showcorner(previewhdc);
    SelectObject(previewhdc, old);
    DeleteObject(previewbitmap);
    DeleteDC(previewhdc);
    return 0;
}

int showbackground() {
    drawpreview(g_vhdc, RGB(rtemp & 0xFF, gtemp & 0xFF, btemp & 0xFF), palette);
    showcorner(g_vhdc);
    return 0;
}

#include "canvas/canvas.h"

#include <algorithm>

#include "canvas/palette.h"
#include "engine/settings.h"

namespace {

HBRUSH grey() { return static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)); }

// The client rectangle clipped to the image: the visible part of the image.
RECT visibleimage() {
    return RECT{0, 0, std::min(xres, ClientRes.right), std::min(yres, ClientRes.bottom)};
}

bool makecanvas(HDC windowdc) {
    g_vhdc = CreateCompatibleDC(windowdc);
    g_hBitmap = CreateCompatibleBitmap(windowdc, xres, yres);
    if (g_hBitmap) SelectObject(g_vhdc, g_hBitmap);
    return g_hBitmap != nullptr;
}

}  // namespace

bool createcanvas(HWND hwnd) {
    GetClientRect(hwnd, &ClientRes);
    HDC hdc = GetDC(hwnd);
    bool made = makecanvas(hdc);
    RECT whole{0, 0, xres, yres};
    FillRect(g_vhdc, &whole, grey());
    g_phdc = CreateCompatibleDC(hdc);
    g_phBitmap = CreateCompatibleBitmap(hdc, PREVIEW_WIDTH, PREVIEW_HEIGHT);
    SelectObject(g_phdc, g_phBitmap);
    RECT preview{0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT};
    FillRect(g_phdc, &preview, grey());
    ReleaseDC(hwnd, hdc);
    return made;
}

int initgraphics(HWND hwnd) {
    HDC hdc = GetDC(hwnd);
    int bits = GetDeviceCaps(hdc, BITSPIXEL);
    ReleaseDC(hwnd, hdc);
    std::copy(&palette[0][0], &palette[0][0] + sizeof palette, &defpalette[0][0]);
    return bits < 24 ? 1 : 0;
}

bool resizecanvas(HWND hwnd) {
    HDC hdc = GetDC(hwnd);
    FillRect(hdc, &ClientRes, grey());
    if (g_hBitmap) DeleteObject(g_hBitmap);
    if (g_vhdc) DeleteDC(g_vhdc);
    bool made = makecanvas(hdc);
    VhdcRes = visibleimage();
    FillRect(g_vhdc, &VhdcRes, grey());
    ReleaseDC(hwnd, hdc);
    newdimensions = 0;
    firstloop = 1;
    return made;
}

void cleartogrey(HWND hwnd) {
    HDC hdc = GetDC(hwnd);
    FillRect(hdc, &ClientRes, grey());
    ReleaseDC(hwnd, hdc);
    VhdcRes = RECT{0, 0, xres, yres};
    FillRect(g_vhdc, &VhdcRes, grey());
    firstloop = 1;
}

void cleartobackground(HDC windowdc) {
    FillRect(windowdc, &ClientRes, grey());
    VhdcRes = visibleimage();
    HBRUSH brush = CreateSolidBrush(bkgd);
    FillRect(windowdc, &VhdcRes, brush);
    VhdcRes = RECT{0, 0, xres, yres};
    FillRect(g_vhdc, &VhdcRes, brush);
    DeleteObject(brush);
    checkpalette();
}

void presentcanvas(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    const RECT& r = ps.rcPaint;
    if (g_vhdc) BitBlt(hdc, r.left, r.top, r.right - r.left, r.bottom - r.top, g_vhdc, r.left, r.top, SRCCOPY);
    EndPaint(hwnd, &ps);
}

void savepreviewarea(HWND hwnd) {
    HDC hdc = GetDC(hwnd);
    BitBlt(g_phdc, 0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT, hdc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, hdc);
}

void restorepreviewarea(HWND hwnd) {
    HDC hdc = GetDC(hwnd);
    BitBlt(hdc, 0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT, g_phdc, 0, 0, SRCCOPY);
    BitBlt(g_vhdc, 0, 0, PREVIEW_WIDTH, PREVIEW_HEIGHT, g_phdc, 0, 0, SRCCOPY);
    ReleaseDC(hwnd, hdc);
}

void releasecanvas() {
    if (g_hBitmap) DeleteObject(g_hBitmap);
    if (g_vhdc) DeleteDC(g_vhdc);
    if (g_phBitmap) DeleteObject(g_phBitmap);
    if (g_phdc) DeleteDC(g_phdc);
    g_hBitmap = g_phBitmap = nullptr;
    g_vhdc = g_phdc = nullptr;
}

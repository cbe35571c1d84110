// Device contexts and GDI objects: window DCs that follow their window's
// surface, memory DCs and the bitmaps selected into them, pens, brushes,
// the stock objects, and the display's capabilities.
#include <algorithm>
#include <memory>
#include <new>

#include "platform/layer.h"

using namespace platform::detail;

namespace platform::detail {

std::uint64_t g_noSurfaceVersion = 0;

// Every live DC of a window follows its surface when that is remade.
void rebindWindowDCs(Window& w) {
    for (HDC dc : g_layer.windowDCs) {
        if (dc->window != &w) continue;
        if (w.destroyed) {
            dc->bits = nullptr;
            dc->width = dc->height = 0;
            dc->dirty = nullptr;
            dc->version = &platform::detail::g_noSurfaceVersion;
        } else {
            dc->bits = w.surface.bits;
            dc->version = &w.surface.version;
            dc->width = w.surface.width;
            dc->height = w.surface.height;
            dc->dirty = &w.dirty;
        }
    }
}

GdiObject* stockObject(int index) {
    static GdiObject objects[8] = {
        {GdiKind::Brush, RGB(255, 255, 255), 1, true, false, nullptr, nullptr},
        {GdiKind::Brush, RGB(192, 192, 192), 1, true, false, nullptr, nullptr},
        {GdiKind::Brush, RGB(128, 128, 128), 1, true, false, nullptr, nullptr},
        {GdiKind::Brush, RGB(64, 64, 64), 1, true, false, nullptr, nullptr},
        {GdiKind::Brush, RGB(0, 0, 0), 1, true, false, nullptr, nullptr},
        {GdiKind::Brush, 0, 1, true, true, nullptr, nullptr},
        {GdiKind::Pen, RGB(255, 255, 255), 1, true, false, nullptr, nullptr},
        {GdiKind::Pen, RGB(0, 0, 0), 1, true, false, nullptr, nullptr},
    };
    if (index < 0 || index > 7) return nullptr;
    return &objects[index];
}

HDC makeWindowDC(Window& w) {
    auto* dc = new DeviceContext;
    dc->window = &w;
    dc->pen = stockObject(BLACK_PEN);
    dc->brush = stockObject(WHITE_BRUSH);
    g_layer.windowDCs.push_back(dc);
    rebindWindowDCs(w);
    return dc;
}

}  // namespace platform::detail

HDC GetDC(HWND hwnd) {
    if (!alive(hwnd)) return nullptr;
    return makeWindowDC(*hwnd);
}

int ReleaseDC(HWND, HDC hdc) {
    auto it = std::find(g_layer.windowDCs.begin(), g_layer.windowDCs.end(), hdc);
    if (it == g_layer.windowDCs.end()) return 0;
    HWND w = hdc->window;
    g_layer.windowDCs.erase(it);
    delete hdc;
    if (alive(w) && !emptyRect(w->dirty)) backend().present(*w);
    return 1;
}

HDC CreateCompatibleDC(HDC) {
    auto* dc = new DeviceContext;
    dc->pen = stockObject(BLACK_PEN);
    dc->brush = stockObject(WHITE_BRUSH);
    return dc;
}

BOOL DeleteDC(HDC hdc) {
    if (!hdc || hdc->window) return FALSE;
    if (hdc->bitmap) hdc->bitmap->selectedIn = nullptr;
    delete hdc;
    return TRUE;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return nullptr;
    auto* b = new GdiObject{GdiKind::Bitmap, 0, 1, false, false, nullptr, nullptr};
    try {
        b->surface = std::make_unique<Surface>(width, height);
    } catch (const std::bad_alloc&) {
        delete b;
        return nullptr;
    }
    return b;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
    if (!hdc || !obj) return nullptr;
    HGDIOBJ previous = nullptr;
    switch (obj->kind) {
        case GdiKind::Bitmap:
            if (hdc->window) return nullptr;
            previous = hdc->bitmap;
            if (previous) previous->selectedIn = nullptr;
            hdc->bitmap = obj;
            obj->selectedIn = hdc;
            hdc->bits = obj->surface->bits;
            hdc->width = obj->surface->width;
            hdc->height = obj->surface->height;
            hdc->version = &obj->surface->version;
            return previous ? previous : obj;  // no default bitmap to hand back; give a harmless handle
        case GdiKind::Brush:
            previous = hdc->brush;
            hdc->brush = obj;
            return previous;
        case GdiKind::Pen:
            previous = hdc->pen;
            hdc->pen = obj;
            return previous;
    }
    return nullptr;
}

BOOL DeleteObject(HGDIOBJ obj) {
    if (!obj) return FALSE;
    if (obj->stock) return TRUE;
    if (obj->kind == GdiKind::Bitmap && obj->selectedIn) {
        // The DC keeps working, as an empty surface, instead of reading freed memory.
        HDC dc = obj->selectedIn;
        dc->bitmap = nullptr;
        dc->bits = nullptr;
        dc->width = dc->height = 0;
        dc->version = &platform::detail::g_noSurfaceVersion;
    }
    delete obj;
    return TRUE;
}

HGDIOBJ GetStockObject(int index) { return stockObject(index); }

HBRUSH CreateSolidBrush(COLORREF color) {
    auto* b = new GdiObject{GdiKind::Brush, 0, 1, false, false, nullptr, nullptr};
    b->color = color & 0x00FFFFFF;
    return b;
}

HPEN CreatePen(int, int width, COLORREF color) {
    auto* p = new GdiObject{GdiKind::Pen, 0, 1, false, false, nullptr, nullptr};
    p->color = color & 0x00FFFFFF;
    p->width = std::max(width, 1);
    return p;
}

int GetDeviceCaps(HDC, int index) {
    ScreenInfo s = backend().screen();
    if (index == BITSPIXEL) return s.bitsPerPixel;
    if (index == HORZRES) return s.width;
    if (index == VERTRES) return s.height;
    return 0;
}

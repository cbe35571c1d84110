// Drawing in software on 32-bit surfaces: the surfaces with their version
// stamps and dirty parts, fills, blits, lines, arcs and rectangles.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/layer.h"

using namespace platform::detail;

namespace platform::detail {

std::uint64_t g_drawSerial = 0;

void MarkDirty(RECT* dirty, int x, int y) {
    if (dirty->right <= dirty->left || dirty->bottom <= dirty->top) {
        *dirty = {x, y, x + 1, y + 1};
        return;
    }
    if (x < dirty->left) dirty->left = x;
    if (y < dirty->top) dirty->top = y;
    if (x >= dirty->right) dirty->right = x + 1;
    if (y >= dirty->bottom) dirty->bottom = y + 1;
}

}  // namespace platform::detail

namespace {

void stampSurface(std::uint64_t* version) { *version = ++platform::detail::g_drawSerial; }

void fillSurface(HDC hdc, RECT r, COLORREF color) {
    r = intersect(r, RECT{0, 0, hdc->width, hdc->height});
    if (emptyRect(r)) return;
    color &= 0x00FFFFFF;
    for (int y = r.top; y < r.bottom; ++y) {
        COLORREF* row = hdc->bits + static_cast<std::size_t>(y) * hdc->width;
        std::fill(row + r.left, row + r.right, color);
    }
    stampSurface(hdc->version);
    if (hdc->dirty) *hdc->dirty = unionRect(*hdc->dirty, r);
}

// A pen of width w covers a w x w square at each point of its path, so a
// 2-pixel pen along an 8-connected path leaves a 4-connected band.
void stamp(HDC hdc, int x, int y, int width, COLORREF color) {
    int lo = -(width - 1) / 2, hi = width / 2;
    for (int dy = lo; dy <= hi; ++dy)
        for (int dx = lo; dx <= hi; ++dx) SetPixel(hdc, x + dx, y + dy, color);
}

// Bresenham line from (x0, y0) to (x1, y1); the last point is drawn only
// when includeLast is set.
void line(HDC hdc, int x0, int y0, int x1, int y1, int width, COLORREF color, bool includeLast) {
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        if (x0 == x1 && y0 == y1) {
            if (includeLast) stamp(hdc, x0, y0, width, color);
            break;
        }
        stamp(hdc, x0, y0, width, color);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

}  // namespace

Surface::Surface(int w, int h) {
    stampSurface(&version);
    resize(w, h);
}

Surface::~Surface() { std::free(bits); }

void Surface::resize(int w, int h) {
    w = std::max(w, 0);
    h = std::max(h, 0);
    if (w == width && h == height) return;
    COLORREF* fresh = nullptr;
    if (w > 0 && h > 0) {
        fresh = static_cast<COLORREF*>(std::calloc(static_cast<std::size_t>(w) * static_cast<std::size_t>(h),
                                                   sizeof(COLORREF)));
        if (!fresh) throw std::bad_alloc();
        int cw = std::min(w, width), ch = std::min(h, height);
        for (int y = 0; y < ch; ++y)
            std::memcpy(fresh + static_cast<std::size_t>(y) * w, bits + static_cast<std::size_t>(y) * width,
                        static_cast<std::size_t>(cw) * sizeof(COLORREF));
    }
    std::free(bits);
    bits = fresh;
    width = w;
    height = h;
    stampSurface(&version);
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
    if (!hdc || !rect || !brush || brush->kind != GdiKind::Brush) return 0;
    if (!brush->hollow) fillSurface(hdc, *rect, brush->color);
    return 1;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
    if (!hdc || rop != PATCOPY) return FALSE;
    if (width < 0) {
        x += width;
        width = -width;
    }
    if (height < 0) {
        y += height;
        height = -height;
    }
    if (hdc->brush && !hdc->brush->hollow) fillSurface(hdc, RECT{x, y, x + width, y + height}, hdc->brush->color);
    return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xs, int ys, DWORD rop) {
    if (!dest || !src || rop != SRCCOPY || width <= 0 || height <= 0) return FALSE;
    // Clip against the destination, then the source, moving both origins together.
    if (x < 0) { width += x; xs -= x; x = 0; }
    if (y < 0) { height += y; ys -= y; y = 0; }
    if (xs < 0) { width += xs; x -= xs; xs = 0; }
    if (ys < 0) { height += ys; y -= ys; ys = 0; }
    width = std::min({width, dest->width - x, src->width - xs});
    height = std::min({height, dest->height - y, src->height - ys});
    if (width <= 0 || height <= 0) return TRUE;
    auto copyRow = [&](int row) {
        std::memmove(dest->bits + static_cast<std::size_t>(y + row) * dest->width + x,
                     src->bits + static_cast<std::size_t>(ys + row) * src->width + xs,
                     static_cast<std::size_t>(width) * sizeof(COLORREF));
    };
    if (dest->bits == src->bits && y > ys)
        for (int row = height - 1; row >= 0; --row) copyRow(row);
    else
        for (int row = 0; row < height; ++row) copyRow(row);
    stampSurface(dest->version);
    if (dest->dirty) *dest->dirty = unionRect(*dest->dirty, RECT{x, y, x + width, y + height});
    return TRUE;
}

BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xs, int ys, int xe, int ye) {
    if (!hdc) return FALSE;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    // The ellipse inscribed in the box, right and bottom edges excluded.
    double rx = (right - left - 1) / 2.0, ry = (bottom - top - 1) / 2.0;
    if (rx < 0 || ry < 0) return TRUE;
    double cx = left + rx, cy = top + ry;
    const GdiObject* pen = hdc->pen ? hdc->pen : stockObject(BLACK_PEN);
    // Equal start and end points draw the whole ellipse; otherwise the part
    // counter-clockwise (on screen) from the start ray to the end ray.
    bool whole = xs == xe && ys == ye;
    const double twoPi = 6.283185307179586;
    double a0 = std::atan2(-(ys - cy), xs - cx), a1 = std::atan2(-(ye - cy), xe - cx);
    if (a0 < 0) a0 += twoPi;
    if (a1 < 0) a1 += twoPi;
    double span = whole ? twoPi : std::fmod(a1 - a0 + twoPi, twoPi);
    if (!whole && span == 0) span = twoPi;
    int steps = static_cast<int>(std::ceil(span * std::max(rx, ry) * 2.0)) + 8;
    bool have = false;
    int px = 0, py = 0;
    for (int i = 0; i <= steps; ++i) {
        double t = a0 + span * i / steps;
        int x = static_cast<int>(std::floor(cx + rx * std::cos(t) + 0.5));
        int y = static_cast<int>(std::floor(cy - ry * std::sin(t) + 0.5));
        if (!have) stamp(hdc, x, y, pen->width, pen->color);
        else if (x != px || y != py) line(hdc, px, py, x, y, pen->width, pen->color, true);
        have = true;
        px = x;
        py = y;
    }
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous) {
    if (!hdc) return FALSE;
    if (previous) *previous = hdc->position;
    hdc->position = {x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
    if (!hdc) return FALSE;
    const GdiObject* pen = hdc->pen ? hdc->pen : stockObject(BLACK_PEN);
    line(hdc, hdc->position.x, hdc->position.y, x, y, pen->width, pen->color, false);
    hdc->position = {x, y};
    return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    if (!hdc) return FALSE;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    if (hdc->brush && !hdc->brush->hollow)
        fillSurface(hdc, RECT{left + 1, top + 1, right - 1, bottom - 1}, hdc->brush->color);
    const GdiObject* pen = hdc->pen ? hdc->pen : stockObject(BLACK_PEN);
    int r = right - 1, b = bottom - 1;
    line(hdc, left, top, r, top, pen->width, pen->color, true);
    line(hdc, r, top, r, b, pen->width, pen->color, true);
    line(hdc, r, b, left, b, pen->width, pen->color, true);
    line(hdc, left, b, left, top, pen->width, pen->color, true);
    return TRUE;
}

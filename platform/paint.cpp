// Painting: a window's invalid region, the WM_PAINT it asks for, and the
// erasing and validation that BeginPaint does.
#include "platform/layer.h"

using namespace platform::detail;

namespace platform::detail {

void setInvalid(Window& w, const RECT& r) {
    bool was = !emptyRect(w.invalid);
    w.invalid = r;
    bool now = !emptyRect(w.invalid);
    if (was != now) g_layer.paintPending += now ? 1 : -1;
    updatePending();
}

}  // namespace platform::detail

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (!alive(hwnd) || hwnd->kind != WindowKind::Top) return FALSE;
    RECT client{0, 0, hwnd->clientWidth, hwnd->clientHeight};
    RECT r = rect ? intersect(*rect, client) : client;
    if (emptyRect(r)) return TRUE;
    setInvalid(*hwnd, unionRect(hwnd->invalid, r));
    if (erase) hwnd->eraseNeeded = true;
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT*) {
    if (!alive(hwnd)) return FALSE;
    setInvalid(*hwnd, {0, 0, 0, 0});
    hwnd->eraseNeeded = false;
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, const RECT* rect, void*, UINT flags) {
    if (!alive(hwnd)) return FALSE;
    if (flags & RDW_INVALIDATE) InvalidateRect(hwnd, rect, (flags & RDW_ERASE) ? TRUE : FALSE);
    if (flags & RDW_UPDATENOW) UpdateWindow(hwnd);
    return TRUE;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    if (!alive(hwnd) || !ps) return nullptr;
    HDC dc = makeWindowDC(*hwnd);
    ps->hdc = dc;
    ps->rcPaint = hwnd->invalid;
    ps->fErase = FALSE;
    if (hwnd->eraseNeeded) {
        hwnd->eraseNeeded = false;
        ps->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    }
    setInvalid(*hwnd, {0, 0, 0, 0});
    return dc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps && ps->hdc) ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

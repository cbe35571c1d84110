// Window classes and windows: registering, creating and destroying, showing,
// enabling, focus, texts and sizes, the default window procedure, and the
// moves, resizes and close requests a backend reports.
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/layer.h"

using namespace platform::detail;

namespace platform::detail {

bool alive(HWND h) { return h && !h->destroyed; }

void destroyTree(HWND hwnd, bool notify) {
    if (!alive(hwnd)) return;
    if (notify) SendMessageA(hwnd, WM_DESTROY, 0, 0);
    for (HWND c : hwnd->children) destroyTree(c, notify);
    if (hwnd->destroyed) return;
    hwnd->destroyed = true;
    if (!emptyRect(hwnd->invalid)) setInvalid(*hwnd, {0, 0, 0, 0});
    dropMessages(hwnd);
    rebindWindowDCs(*hwnd);
    if (g_layer.focus == hwnd) g_layer.focus = nullptr;
    if (hwnd->kind != WindowKind::Control && g_layer.backend) g_layer.backend->destroyWindow(*hwnd);
}

}  // namespace platform::detail

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName) || !wc->lpfnWndProc) return 0;
    if (g_layer.classes.count(wc->lpszClassName)) return 0;
    auto c = std::make_unique<WindowClass>();
    c->name = wc->lpszClassName;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->instance = wc->hInstance;
    c->icon = wc->hIcon;
    c->cursor = wc->hCursor;
    c->background = wc->hbrBackground;
    if (wc->lpszMenuName && wc->hInstance) c->menu = LoadMenuA(wc->hInstance, wc->lpszMenuName);
    g_layer.classes[c->name] = std::move(c);
    return static_cast<ATOM>(g_layer.classes.size());
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
    if (!wc) return 0;
    WNDCLASSA a{wc->style,   wc->lpfnWndProc,   wc->cbClsExtra,   wc->cbWndExtra,   wc->hInstance,
                wc->hIcon,   wc->hCursor,       wc->hbrBackground, wc->lpszMenuName, wc->lpszClassName};
    return RegisterClassA(&a);
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param) {
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    auto found = g_layer.classes.find(className);
    if (found == g_layer.classes.end()) return nullptr;
    ScreenInfo screen = backend().screen();
    if (x == CW_USEDEFAULT) x = 0;
    if (y == CW_USEDEFAULT) y = 0;
    if (width == CW_USEDEFAULT) width = screen.width;
    if (height == CW_USEDEFAULT) height = screen.height;

    auto owned = std::make_unique<Window>();
    Window& w = *owned;
    w.kind = WindowKind::Top;
    w.cls = found->second.get();
    w.proc = w.cls->proc;
    w.title = windowName ? windowName : "";
    w.style = style & ~WS_VISIBLE;
    w.parent = parent;
    w.menu = menu ? menu : w.cls->menu;
    w.frame = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
    g_layer.windows.push_back(std::move(owned));
    backend().createWindow(w);
    w.surface.resize(w.clientWidth, w.clientHeight);

    CREATESTRUCTA cs{param, instance, w.menu, parent, height, width, y, x, static_cast<LONG>(style),
                     windowName, className, 0};
    if (SendMessageA(&w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        destroyTree(&w, true);
        return nullptr;
    }
    if (w.destroyed) return nullptr;
    SendMessageA(&w, WM_SIZE, 0, MAKELPARAM(w.clientWidth, w.clientHeight));
    SendMessageA(&w, WM_MOVE, 0, MAKELPARAM(w.clientOrigin.x, w.clientOrigin.y));
    if (style & WS_VISIBLE) ShowWindow(&w, SW_SHOW);
    return &w;
}

BOOL DestroyWindow(HWND hwnd) {
    if (!alive(hwnd)) return FALSE;
    destroyTree(hwnd, true);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    for (auto& w : g_layer.windows)
        if (w.get() == hwnd) return !w->destroyed;
    return FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    if (!alive(hwnd)) return FALSE;
    BOOL was = hwnd->visible;
    bool show = cmd != SW_HIDE;
    hwnd->visible = show;
    if (hwnd->kind != WindowKind::Control) backend().showWindow(*hwnd, show);
    if (show && !was) {
        // The pointer takes the class cursor of the first window shown, as
        // it would on entering it, so a cursor saved and restored later is
        // that one rather than none.
        if (!g_layer.cursor && hwnd->cls && hwnd->cls->cursor) {
            g_layer.cursor = hwnd->cls->cursor;
            backend().setCursorShape(hwnd, g_layer.cursor->shape);
        }
        SendMessageA(hwnd, WM_SHOWWINDOW, TRUE, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return was;
}

BOOL UpdateWindow(HWND hwnd) {
    if (!alive(hwnd)) return FALSE;
    if (!emptyRect(hwnd->invalid)) SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    if (!alive(hwnd)) return FALSE;
    BOOL wasDisabled = !hwnd->enabled;
    if (hwnd->enabled != static_cast<bool>(enable)) {
        hwnd->enabled = enable != 0;
        if (hwnd->kind != WindowKind::Control) backend().setWindowEnabled(*hwnd, hwnd->enabled);
        else backend().windowChanged(*hwnd);
        SendMessageA(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    }
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) { return alive(hwnd) && hwnd->enabled; }

HWND SetFocus(HWND hwnd) {
    HWND previous = g_layer.focus;
    if (!alive(hwnd)) return previous;
    g_layer.focus = hwnd;
    if (hwnd->kind != WindowKind::Control) backend().focusWindow(*hwnd);
    if (previous != hwnd) {
        if (alive(previous)) SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
        SendMessageA(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

HWND GetFocus() { return g_layer.focus; }

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    if (!alive(hwnd) || !rect) return FALSE;
    *rect = {0, 0, hwnd->clientWidth, hwnd->clientHeight};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    if (!alive(hwnd) || !rect) return FALSE;
    *rect = hwnd->frame;
    return TRUE;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (!alive(hwnd)) return FALSE;
    hwnd->title = text ? text : "";
    backend().windowChanged(*hwnd);
    return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount) {
    if (!alive(hwnd) || !buffer || maxCount <= 0) return 0;
    int n = static_cast<int>(std::min<std::size_t>(hwnd->title.size(), static_cast<std::size_t>(maxCount - 1)));
    std::memcpy(buffer, hwnd->title.data(), static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

int GetSystemMetrics(int index) {
    ScreenInfo s = backend().screen();
    if (index == SM_CXSCREEN) return s.width;
    if (index == SM_CYSCREEN) return s.height;
    return 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    if (!alive(hwnd)) return 0;
    switch (msg) {
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wp);
            if (!dc || !hwnd->cls || !hwnd->cls->background) return 0;
            RECT r = hwnd->invalid;
            if (emptyRect(r)) r = {0, 0, hwnd->clientWidth, hwnd->clientHeight};
            FillRect(dc, &r, hwnd->cls->background);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        default:
            return 0;
    }
}

namespace platform {

std::vector<HWND> Windows() {
    std::vector<HWND> out;
    for (auto& w : g_layer.windows)
        if (!w->destroyed) out.push_back(w.get());
    return out;
}

void NativeResized(HWND hwnd, int cw, int ch) {
    if (!alive(hwnd)) return;
    if (cw == hwnd->clientWidth && ch == hwnd->clientHeight) return;
    hwnd->clientWidth = cw;
    hwnd->clientHeight = ch;
    hwnd->surface.resize(cw, ch);
    hwnd->dirty = {0, 0, 0, 0};
    rebindWindowDCs(*hwnd);
    SendMessageA(hwnd, WM_SIZE, 0, MAKELPARAM(cw, ch));
    InvalidateRect(hwnd, nullptr, TRUE);
}

void NativeMoved(HWND hwnd, int x, int y) {
    if (!alive(hwnd)) return;
    int w = hwnd->frame.right - hwnd->frame.left, h = hwnd->frame.bottom - hwnd->frame.top;
    int dx = x - hwnd->frame.left, dy = y - hwnd->frame.top;
    hwnd->frame = {x, y, x + w, y + h};
    hwnd->clientOrigin.x += dx;
    hwnd->clientOrigin.y += dy;
    SendMessageA(hwnd, WM_MOVE, 0, MAKELPARAM(hwnd->clientOrigin.x, hwnd->clientOrigin.y));
}

void NativeCloseRequested(HWND hwnd) {
    if (!alive(hwnd) || !hwnd->enabled) return;
    PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

}  // namespace platform

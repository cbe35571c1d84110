// The message queue: posting, sending, peeking and getting with window and
// range filters (WM_QUIT and WM_PAINT made when nothing posted matches),
// dispatching, native input and the key state it keeps, key translation
// and accelerators, the native pump, and one turn of a modal loop.
#include "platform/layer.h"

using namespace platform::detail;

namespace platform::detail {

QueueFast g_queueFast;

void updatePending() {
    g_queueFast.pending =
        static_cast<int>(g_layer.queue.size()) + g_layer.paintPending + (g_layer.quitPending ? 1 : 0);
}

void dropMessages(HWND hwnd) {
    std::erase_if(g_layer.queue, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
    updatePending();
}

}  // namespace platform::detail

namespace {

void flushDirty() {
    for (auto& w : g_layer.windows)
        if (!w->destroyed && !emptyRect(w->dirty)) backend().present(*w);
}

void pumpNative(bool wait) {
    if (!wait && !backend().pumpDue()) return;
    flushDirty();
    backend().pump(wait);
}

bool inRange(UINT m, UINT lo, UINT hi) { return (lo == 0 && hi == 0) || (m >= lo && m <= hi); }

bool takeMessage(MSG* out, HWND hwnd, UINT lo, UINT hi, bool remove) {
    for (auto it = g_layer.queue.begin(); it != g_layer.queue.end(); ++it) {
        if (hwnd && it->hwnd != hwnd) continue;
        if (!inRange(it->message, lo, hi)) continue;
        if (out) *out = *it;
        if (remove) {
            g_layer.queue.erase(it);
            updatePending();
        }
        return true;
    }
    if (g_layer.quitPending && !hwnd && inRange(WM_QUIT, lo, hi)) {
        if (out) *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_layer.quitCode), 0, 0, {0, 0}};
        if (remove) {
            g_layer.quitPending = false;
            updatePending();
        }
        return true;
    }
    if (g_layer.paintPending > 0 && inRange(WM_PAINT, lo, hi)) {
        for (auto& w : g_layer.windows) {
            if (w->destroyed || emptyRect(w->invalid)) continue;
            if (hwnd && w.get() != hwnd) continue;
            if (out) *out = MSG{w.get(), WM_PAINT, 0, 0, 0, {0, 0}};
            return true;  // stays until the window is validated
        }
    }
    return false;
}

LRESULT callProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!alive(hwnd)) return 0;
    if (hwnd->kind == WindowKind::Dialog) {
        INT_PTR r = hwnd->dlgProc ? hwnd->dlgProc(hwnd, msg, wp, lp) : FALSE;
        if (!r && msg == WM_CLOSE) PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return r;
    }
    if (hwnd->kind == WindowKind::Control) return DefWindowProcA(hwnd, msg, wp, lp);
    return hwnd->proc ? hwnd->proc(hwnd, msg, wp, lp) : DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

namespace platform::detail {

BOOL PeekMessageSlow(MSG* msg, HWND hwnd, UINT lo, UINT hi, UINT remove) {
    const bool take = (remove & PM_REMOVE) != 0;
    if (lo == 0 && hi == 0) {
        // A loop deciding whether anything waits: what the user did is in the
        // queue before it may conclude that nothing does.
        if (takeMessage(msg, hwnd, lo, hi, take)) return TRUE;
        g_queueFast.pumpCountdown = g_layer.pumpInterval;
        pumpNative(false);
        return takeMessage(msg, hwnd, lo, hi, take) ? TRUE : FALSE;
    }
    if (g_queueFast.pending > 0) --g_queueFast.pumpCountdown;
    if (g_queueFast.pumpCountdown <= 0) {
        g_queueFast.pumpCountdown = g_layer.pumpInterval;
        pumpNative(false);
    }
    return takeMessage(msg, hwnd, lo, hi, take) ? TRUE : FALSE;
}

}  // namespace platform::detail

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (hwnd && !alive(hwnd)) return FALSE;
    g_layer.queue.push_back(MSG{hwnd, msg, wp, lp, g_layer.backend ? g_layer.backend->tickCount() : 0, {0, 0}});
    updatePending();
    return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return callProc(hwnd, msg, wp, lp); }

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT lo, UINT hi) {
    for (;;) {
        if (takeMessage(msg, hwnd, lo, hi, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
        pumpNative(false);
        if (takeMessage(msg, hwnd, lo, hi, true)) return msg->message == WM_QUIT ? FALSE : TRUE;
        pumpNative(true);
    }
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
    int vk = static_cast<int>(msg->wParam & 0xFF);
    bool shift = g_layer.keys[VK_SHIFT];
    int ch = 0;
    if (vk >= 'A' && vk <= 'Z') ch = shift ? vk : vk - 'A' + 'a';
    else if ((vk >= '0' && vk <= '9') || vk == VK_SPACE) ch = vk;
    else if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB) ch = vk;
    if (!ch) return FALSE;
    PostMessageA(msg->hwnd, WM_CHAR, static_cast<WPARAM>(ch), msg->lParam);
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !alive(msg->hwnd)) return 0;
    return callProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    g_layer.quitPending = true;
    g_layer.quitCode = exitCode;
    updatePending();
}

int TranslateAcceleratorA(HWND hwnd, HACCEL accel, MSG* msg) {
    if (!alive(hwnd) || !accel || !msg) return 0;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return 0;
    bool shift = g_layer.keys[VK_SHIFT], ctrl = g_layer.keys[VK_CONTROL], alt = g_layer.keys[VK_MENU];
    for (const ACCEL& a : accel->entries) {
        if (!(a.fVirt & FVIRTKEY) || a.key != (msg->wParam & 0xFFFF)) continue;
        if (shift != ((a.fVirt & FSHIFT) != 0) || ctrl != ((a.fVirt & FCONTROL) != 0) ||
            alt != ((a.fVirt & FALT) != 0))
            continue;
        if (!hwnd->enabled) return 1;
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
        return 1;
    }
    return 0;
}

short GetKeyState(int vkey) { return g_layer.keys[vkey & 0xFF] ? static_cast<short>(0x8000) : 0; }

namespace platform {

void PostInput(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!alive(hwnd)) return;
    for (HWND p = hwnd; p; p = (p->kind == WindowKind::Control ? p->parent : nullptr))
        if (!p->enabled) return;
    if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYUP)
        g_layer.keys[wp & 0xFF] = (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN);
    // Moving over a window brings back its class cursor, as the default
    // handling of the set-cursor request does.
    if (msg == WM_MOUSEMOVE && hwnd->cls && hwnd->cls->cursor && g_layer.cursor != hwnd->cls->cursor) {
        g_layer.cursor = hwnd->cls->cursor;
        backend().setCursorShape(hwnd, g_layer.cursor->shape);
    }
    POINT pt = backend().cursorPos();
    g_layer.queue.push_back(MSG{hwnd, msg, wp, lp, backend().tickCount(), pt});
    updatePending();
}

bool RunModalTurn() {
    MSG m;
    while (true) {
        if (g_layer.quitPending) return false;
        if (!takeMessage(&m, nullptr, 0, 0, true)) break;
        if (m.message == WM_QUIT) return false;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return !g_layer.quitPending;
}

}  // namespace platform

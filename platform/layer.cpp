// The layer's control: its one state record, the backend it runs on, the
// reset a new backend or a test starts from, and the rectangle arithmetic
// its parts share.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "platform/layer.h"

using namespace platform::detail;

namespace platform::detail {

LayerState g_layer;

Backend& backend() {
    if (!g_layer.backend) {
        std::fputs("platform: no backend installed (call platform::SetBackend first)\n", stderr);
        std::abort();
    }
    return *g_layer.backend;
}

bool emptyRect(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT unionRect(const RECT& a, const RECT& b) {
    if (emptyRect(a)) return b;
    if (emptyRect(b)) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

RECT intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (emptyRect(r)) return {0, 0, 0, 0};
    return r;
}

}  // namespace platform::detail

namespace platform {

void SetBackend(Backend* b) {
    ResetState();
    g_layer.backend = b;
}

Backend& CurrentBackend() { return backend(); }

void ResetState() {
    for (auto& w : g_layer.windows)
        if (!w->destroyed) {
            w->destroyed = true;
            if (w->kind != WindowKind::Control && g_layer.backend) g_layer.backend->destroyWindow(*w);
        }
    for (HDC dc : g_layer.windowDCs) delete dc;
    g_layer.windowDCs.clear();
    g_layer.windows.clear();
    g_layer.classes.clear();
    g_layer.queue.clear();
    g_layer.quitPending = false;
    g_layer.quitCode = 0;
    g_layer.paintPending = 0;
    g_layer.focus = nullptr;
    g_layer.cursor = nullptr;
    g_layer.cursorCount = 0;
    std::fill(std::begin(g_layer.keys), std::end(g_layer.keys), false);
    g_queueFast.pumpCountdown = g_layer.pumpInterval;
    updatePending();
}

void SetPumpInterval(int polls) {
    g_layer.pumpInterval = std::max(polls, 1);
    g_queueFast.pumpCountdown = g_layer.pumpInterval;
}

}  // namespace platform

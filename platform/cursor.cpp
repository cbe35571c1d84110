// The cursor: the system shapes, the current cursor, its show count and
// its position.
#include "platform/layer.h"

using namespace platform::detail;

namespace {

const Cursor* systemCursor(LPCSTR name) {
    static const Cursor arrow{CursorShape::Arrow}, cross{CursorShape::Cross}, wait{CursorShape::Wait},
        ibeam{CursorShape::IBeam};
    if (name == IDC_CROSS) return &cross;
    if (name == IDC_WAIT) return &wait;
    if (name == IDC_IBEAM) return &ibeam;
    return &arrow;
}

}  // namespace

HCURSOR LoadCursorA(HINSTANCE, LPCSTR name) { return systemCursor(name); }

HCURSOR SetCursor(HCURSOR cursor) {
    HCURSOR previous = g_layer.cursor;
    g_layer.cursor = cursor;
    if (cursor) backend().setCursorShape(nullptr, cursor->shape);
    return previous;
}

int ShowCursor(BOOL show) {
    g_layer.cursorCount += show ? 1 : -1;
    backend().setCursorVisible(g_layer.cursorCount >= 0);
    return g_layer.cursorCount;
}

BOOL SetCursorPos(int x, int y) {
    backend().setCursorPos(x, y);
    return TRUE;
}

BOOL GetCursorPos(POINT* point) {
    if (!point) return FALSE;
    *point = backend().cursorPos();
    return TRUE;
}

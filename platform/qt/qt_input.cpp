// Input translation: Qt key and mouse events on a window become the Win32
// key and mouse messages in the layer's queue.
#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>
#include <cstdint>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

namespace {

// Key messages carry the repeat count, the previous key state and the
// transition state in lParam, as on Win32.
void postKey(HWND hwnd, QKeyEvent* event, bool down) {
    if (!alive(hwnd)) return;
    int vk = VirtualKey(event->key());
    if (!vk) return;
    bool alt = (event->modifiers() & Qt::AltModifier) || vk == VK_MENU;
    UINT msg = down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    std::uint32_t lp = 1;
    if (down && event->isAutoRepeat()) lp |= 1u << 30;
    if (!down) lp |= 3u << 30;
    platform::PostInput(hwnd, msg, static_cast<WPARAM>(vk), static_cast<LPARAM>(lp));
}

}  // namespace

int VirtualKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + (key - Qt::Key_F1);
    switch (key) {
        case Qt::Key_Escape: return VK_ESCAPE;
        case Qt::Key_Pause: return VK_PAUSE;
        case Qt::Key_Shift: return VK_SHIFT;
        case Qt::Key_Control: return VK_CONTROL;
        case Qt::Key_Alt: return VK_MENU;
        case Qt::Key_Return:
        case Qt::Key_Enter: return VK_RETURN;
        case Qt::Key_Space: return VK_SPACE;
        case Qt::Key_Backspace: return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: return VK_TAB;
        case Qt::Key_Left: return VK_LEFT;
        case Qt::Key_Up: return VK_UP;
        case Qt::Key_Right: return VK_RIGHT;
        case Qt::Key_Down: return VK_DOWN;
        case Qt::Key_Delete: return VK_DELETE;
        case Qt::Key_Insert: return 0x2D;
        case Qt::Key_Home: return 0x24;
        case Qt::Key_End: return 0x23;
        case Qt::Key_PageUp: return 0x21;
        case Qt::Key_PageDown: return 0x22;
        case Qt::Key_Print: return 0x2C;
        case Qt::Key_CapsLock: return 0x14;
        default: return 0;
    }
}

bool SurfaceView::event(QEvent* event) {
    // Tab is a key for the program, not focus navigation.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::event(event);
}

void SurfaceView::keyPressEvent(QKeyEvent* event) {
    Backend::HandlerScope scope(backend_);
    postKey(hwnd_, event, true);
}

void SurfaceView::keyReleaseEvent(QKeyEvent* event) {
    Backend::HandlerScope scope(backend_);
    postKey(hwnd_, event, false);
}

void SurfaceView::mouse(QMouseEvent* event, UINT message) {
    Backend::HandlerScope scope(backend_);
    if (!alive(hwnd_)) return;
    backend_.noteMouse(event->globalPosition());
    qreal r = backend_.ratio();
    int x = static_cast<int>(std::floor(event->position().x() * r));
    int y = static_cast<int>(std::floor(event->position().y() * r));
    WPARAM keys = 0;
    Qt::MouseButtons b = event->buttons();
    if (b & Qt::LeftButton) keys |= MK_LBUTTON;
    if (b & Qt::RightButton) keys |= MK_RBUTTON;
    if (b & Qt::MiddleButton) keys |= MK_MBUTTON;
    if (event->modifiers() & Qt::ShiftModifier) keys |= 0x0004;
    if (event->modifiers() & Qt::ControlModifier) keys |= 0x0008;
    platform::PostInput(hwnd_, message, keys, MAKELPARAM(x, y));
}

static UINT buttonMessage(Qt::MouseButton button, UINT left, UINT right, UINT middle) {
    if (button == Qt::LeftButton) return left;
    if (button == Qt::RightButton) return right;
    if (button == Qt::MiddleButton) return middle;
    return 0;
}

void SurfaceView::mousePressEvent(QMouseEvent* event) {
    if (UINT m = buttonMessage(event->button(), WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN)) mouse(event, m);
}

void SurfaceView::mouseReleaseEvent(QMouseEvent* event) {
    if (UINT m = buttonMessage(event->button(), WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP)) mouse(event, m);
}

void SurfaceView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A class without double-click style sees the second press as a press.
    bool dbl = alive(hwnd_) && hwnd_->cls && (hwnd_->cls->style & CS_DBLCLKS);
    UINT m = dbl ? buttonMessage(event->button(), WM_LBUTTONDBLCLK, WM_LBUTTONDBLCLK + 3, WM_LBUTTONDBLCLK + 6)
                 : buttonMessage(event->button(), WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN);
    if (m) mouse(event, m);
}

void SurfaceView::mouseMoveEvent(QMouseEvent* event) {
    // Only the user's change of position is a move: showing, the program's
    // own cursor moves or a synthetic event must not look like the user.
    backend_.noteMouse(event->globalPosition());
    if (!backend_.mouseMoved(event->globalPosition())) return;
    mouse(event, WM_MOUSEMOVE);
}

void TopWindow::keyPressEvent(QKeyEvent* event) {
    Backend::HandlerScope scope(backend_);
    postKey(hwnd_, event, true);
}

void TopWindow::keyReleaseEvent(QKeyEvent* event) {
    Backend::HandlerScope scope(backend_);
    postKey(hwnd_, event, false);
}

}  // namespace qtbackend

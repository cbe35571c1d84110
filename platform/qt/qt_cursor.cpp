// The cursor: its shape, shown or hidden, its position, and the program's
// own cursor moves told apart from the user's motions.
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

Qt::CursorShape qtShape(CursorShape shape) {
    switch (shape) {
        case CursorShape::Cross: return Qt::CrossCursor;
        case CursorShape::Wait: return Qt::WaitCursor;
        case CursorShape::IBeam: return Qt::IBeamCursor;
        case CursorShape::Arrow: break;
    }
    return Qt::ArrowCursor;
}

void Backend::setCursorShape(Window* w, CursorShape shape) {
    shape_ = shape;
    // One cursor for the whole program, as on Win32.
    (void)w;
    for (HWND h : platform::Windows())
        if (SurfaceView* v = view(h)) v->setCursor(qtShape(shape));
}

void Backend::setCursorVisible(bool visible) {
    if (!visible && !cursorHidden_) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
        cursorHidden_ = true;
    } else if (visible && cursorHidden_) {
        QGuiApplication::restoreOverrideCursor();
        cursorHidden_ = false;
    }
}

void Backend::setCursorPos(int x, int y) {
    cursor_ = {x, y};
    lastMove_ = cursor_;
    QScreen* s = QGuiApplication::primaryScreen();
    QPoint logical(qRound(x / ratio_), qRound(y / ratio_));
    if ((s ? QCursor::pos(s) : QCursor::pos()) == logical) return;  // nothing moves, nothing is reported
    // The window system reports the move later, as a motion to the new
    // position, possibly after motions of the user's made before it: that one
    // motion is the program's own.
    warps_.push_back({devicePoint(QPointF(logical)), std::chrono::steady_clock::now()});
    if (s) QCursor::setPos(s, logical);
    else QCursor::setPos(logical);
}

POINT Backend::cursorPos() { return cursor_; }

POINT Backend::devicePoint(const QPointF& global) const {
    return {static_cast<LONG>(std::floor(global.x() * ratio_)), static_cast<LONG>(std::floor(global.y() * ratio_))};
}

void Backend::noteMouse(const QPointF& global) { cursor_ = devicePoint(global); }

bool Backend::mouseMoved(const QPointF& global) {
    POINT p = devicePoint(global);
    auto same = [](POINT a, POINT b) { return a.x == b.x && a.y == b.y; };
    // A cursor move the window system has not reported within a second
    // never will be (the pointer was over no window of ours).
    auto now = std::chrono::steady_clock::now();
    std::erase_if(warps_, [&](const Warp& w) { return now - w.at > std::chrono::seconds(1); });
    auto own = std::find_if(warps_.begin(), warps_.end(), [&](const Warp& w) { return same(w.to, p); });
    if (own != warps_.end()) {
        warps_.erase(warps_.begin(), own + 1);
        lastMove_ = p;
        return false;
    }
    if (same(p, lastMove_)) return false;
    lastMove_ = p;
    return true;
}

}  // namespace qtbackend

// The backend itself: made and installed as the layer's backend, the screen
// it reports, the native widget of a layer window, and the small
// conversions every part of the backend uses.
#include "platform/qt/qt_backend.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

#include "platform/qt/qt_internal.h"

namespace qtbackend {

bool alive(HWND h) { return h && !h->destroyed; }

QString text(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

int toDevice(qreal logical, qreal ratio) { return static_cast<int>(std::lround(logical * ratio)); }

Backend::Backend() {
    if (QScreen* s = QGuiApplication::primaryScreen()) ratio_ = s->devicePixelRatio();
    if (ratio_ <= 0) ratio_ = 1.0;
    QPoint p = QCursor::pos();
    cursor_ = {toDevice(p.x(), ratio_), toDevice(p.y(), ratio_)};
    lastMove_ = cursor_;
    // Every motion reaches the backend on its own: merged with the next one,
    // a move of the user's could vanish into the report of the program's own.
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
    frameTimer_ = new QTimer();
    frameTimer_->setSingleShot(true);
    QObject::connect(frameTimer_, &QTimer::timeout, [this] { flushFrames(); });
    platform::SetBackend(this);
}

Backend::~Backend() {
    platform::SetBackend(nullptr);
    delete frameTimer_;
    if (cursorHidden_) QGuiApplication::restoreOverrideCursor();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QWidget* Backend::widget(HWND hwnd) {
    if (!alive(hwnd) || hwnd->kind == WindowKind::Control) return nullptr;
    return static_cast<QWidget*>(hwnd->native);
}

SurfaceView* Backend::view(HWND hwnd) {
    auto* top = qobject_cast<TopWindow*>(widget(hwnd));
    return top ? top->view() : nullptr;
}

QWidget* Backend::control(HWND hwnd) {
    if (!alive(hwnd) || hwnd->kind != WindowKind::Control) return nullptr;
    return static_cast<QWidget*>(hwnd->native);
}

ScreenInfo Backend::screen() {
    ScreenInfo info;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        info.width = toDevice(s->geometry().width(), ratio_);
        info.height = toDevice(s->geometry().height(), ratio_);
        int depth = s->depth();
        info.bitsPerPixel = (depth == 24 || depth == 32) ? 32 : depth;
    }
    return info;
}

}  // namespace qtbackend

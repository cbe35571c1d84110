// The window surface on the screen: the client area paints the surface one
// surface pixel to one device pixel, and dirty parts are shown at most once
// a frame.
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

SurfaceView::SurfaceView(Backend& backend, HWND hwnd, QWidget* parent)
    : QWidget(parent), backend_(backend), hwnd_(hwnd) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    if (hwnd->cls && hwnd->cls->cursor) setCursor(qtShape(hwnd->cls->cursor->shape));
}

void SurfaceView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (!alive(hwnd_) || !hwnd_->surface.bits) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    const Surface& s = hwnd_->surface;
    qreal r = backend_.ratio();
    QRect logical = event->rect();
    int left = static_cast<int>(std::floor(logical.left() * r));
    int top = static_cast<int>(std::floor(logical.top() * r));
    int right = static_cast<int>(std::ceil((logical.right() + 1) * r));
    int bottom = static_cast<int>(std::ceil((logical.bottom() + 1) * r));
    QRect source = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & QRect(0, 0, s.width, s.height);
    if (!source.isEmpty()) {
        // Packed 0x00BBGGRR colours become opaque 0xFFRRGGBB pixels.
        QImage part(source.size(), QImage::Format_RGB32);
        for (int y = 0; y < source.height(); ++y) {
            const COLORREF* from = s.bits + static_cast<std::size_t>(source.y() + y) * s.width + source.x();
            auto* to = reinterpret_cast<std::uint32_t*>(part.scanLine(y));
            for (int x = 0; x < source.width(); ++x) {
                COLORREF c = from[x];
                to[x] = 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
            }
        }
        part.setDevicePixelRatio(r);
        painter.drawImage(QPointF(source.x() / r, source.y() / r), part);
    }
    // Anything beyond the surface (only while a resize is on its way).
    QRegion rest = QRegion(logical) - QRegion(QRect(0, 0, static_cast<int>(s.width / r), static_cast<int>(s.height / r)));
    for (const QRect& part : rest) painter.fillRect(part, Qt::black);
}

void SurfaceView::resizeEvent(QResizeEvent*) {
    Backend::HandlerScope scope(backend_);
    if (!alive(hwnd_)) return;
    qreal r = backend_.ratio();
    platform::NativeResized(hwnd_, toDevice(width(), r), toDevice(height(), r));
    if (auto* top = qobject_cast<TopWindow*>(window())) backend_.syncGeometry(*top);
}

// ---------------------------------------------------------------- backend

void Backend::present(Window& w) {
    RECT d = w.dirty;
    w.dirty = {0, 0, 0, 0};
    SurfaceView* v = view(&w);
    if (!v || d.right <= d.left || d.bottom <= d.top) return;
    int left = static_cast<int>(std::floor(d.left / ratio_)), top = static_cast<int>(std::floor(d.top / ratio_));
    int right = static_cast<int>(std::ceil(d.right / ratio_)), bottom = static_cast<int>(std::ceil(d.bottom / ratio_));
    v->pending |= QRect(left, top, right - left, bottom - top);
    auto since = std::chrono::steady_clock::now() - lastFrame_;
    if (since >= std::chrono::milliseconds(kFrameMs)) {
        flushFrames();
    } else if (!frameTimer_->isActive()) {
        auto rest = std::chrono::milliseconds(kFrameMs) - std::chrono::duration_cast<std::chrono::milliseconds>(since);
        frameTimer_->start(static_cast<int>(std::max<std::chrono::milliseconds::rep>(rest.count(), 1)));
    }
}

void Backend::flushFrames() {
    lastFrame_ = std::chrono::steady_clock::now();
    frameTimer_->stop();
    for (HWND h : platform::Windows())
        if (SurfaceView* v = view(h); v && !v->pending.isEmpty()) {
            v->update(v->pending);
            v->pending = QRect();
        }
}

void Backend::flushDirty() {
    for (HWND h : platform::Windows())
        if (h->kind == WindowKind::Top && h->dirty.right > h->dirty.left && h->dirty.bottom > h->dirty.top) present(*h);
}

}  // namespace qtbackend

// Windows: a top-level window with its menu bar and window icon, and the
// backend's making, showing, changing, focusing and discarding of native
// windows, top-level and dialog, keeping the layer's geometry in step.
#include <QCloseEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWindow>
#include <algorithm>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

namespace {

QIcon iconOf(const IconResource* icon) {
    if (!icon || icon->width <= 0 || icon->height <= 0 ||
        icon->pixels.size() < static_cast<std::size_t>(icon->width) * static_cast<std::size_t>(icon->height))
        return {};
    QImage image(icon->width, icon->height, QImage::Format_RGB32);
    for (int y = 0; y < icon->height; ++y)
        for (int x = 0; x < icon->width; ++x) {
            COLORREF c = icon->pixels[static_cast<std::size_t>(y) * icon->width + x];
            image.setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
        }
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

// ------------------------------------------------------------- top window

TopWindow::TopWindow(Backend& backend, HWND hwnd) : backend_(backend), hwnd_(hwnd) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    view_ = new SurfaceView(backend, hwnd, this);
    setCentralWidget(view_);
    if (hwnd->menu) {
        QMenuBar* bar = menuBar();
        bar->setNativeMenuBar(false);
        buildMenu(bar, hwnd->menu->bar);
    }
}

void TopWindow::buildMenu(QWidget* menu, const std::vector<MenuItemData>& items) {
    auto* bar = qobject_cast<QMenuBar*>(menu);
    auto* popup = qobject_cast<QMenu*>(menu);
    for (const MenuItemData& item : items) {
        if (!item.children.empty()) {
            QMenu* sub = bar ? bar->addMenu(text(item.text)) : popup->addMenu(text(item.text));
            buildMenu(sub, item.children);
            continue;
        }
        if (item.id == 0 && item.text.empty()) {
            if (popup) popup->addSeparator();
            continue;
        }
        QAction* action = bar ? bar->addAction(text(item.text)) : popup->addAction(text(item.text));
        UINT id = item.id;
        // Every item posts its command; input to a disabled window is dropped.
        connect(action, &QAction::triggered, this, [this, id] {
            if (alive(hwnd_) && hwnd_->enabled) PostMessageA(hwnd_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        });
    }
}

void TopWindow::detach() {
    hwnd_ = nullptr;
    view_->detach();
}

void TopWindow::closeEvent(QCloseEvent* event) {
    Backend::HandlerScope scope(backend_);
    event->ignore();
    if (alive(hwnd_)) platform::NativeCloseRequested(hwnd_);
}

void TopWindow::moveEvent(QMoveEvent*) {
    Backend::HandlerScope scope(backend_);
    backend_.syncGeometry(*this);
}

// ---------------------------------------------------------------- backend

void Backend::createWindow(Window& w) {
    if (w.kind == WindowKind::Dialog) {
        auto* d = new DialogWindow(*this, &w);
        w.native = d;
        // Placed relative to the owner's client area.
        POINT origin{0, 0};
        if (alive(w.parent)) origin = w.parent->clientOrigin;
        int x = origin.x + toDevice(d->unitsToX(w.dialogTemplate ? w.dialogTemplate->x : 0), ratio_);
        int y = origin.y + toDevice(d->unitsToY(w.dialogTemplate ? w.dialogTemplate->y : 0), ratio_);
        d->move(qRound(x / ratio_), qRound(y / ratio_));
        w.clientWidth = toDevice(d->width(), ratio_);
        w.clientHeight = toDevice(d->height(), ratio_);
        w.clientOrigin = {x, y};
        w.frame = {x, y, x + w.clientWidth, y + w.clientHeight};
        if (QWidget* owner = widget(w.parent)) {
            d->winId();
            d->windowHandle()->setTransientParent(owner->window()->windowHandle());
            d->setWindowModality(Qt::WindowModal);
        }
        return;
    }
    if (w.kind != WindowKind::Top) return;
    auto* top = new TopWindow(*this, &w);
    w.native = top;
    top->setWindowTitle(text(w.title));
    if (w.cls && w.cls->icon) top->setWindowIcon(iconOf(w.cls->icon));
    int fw = w.frame.right - w.frame.left, fh = w.frame.bottom - w.frame.top;
    if (!(w.style & WS_CAPTION)) {
        top->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        ScreenInfo s = screen();
        top->fullScreenRequested = w.frame.left <= 0 && w.frame.top <= 0 && w.frame.right >= s.width &&
                                   w.frame.bottom >= s.height;
    }
    int lw = std::max(qRound(fw / ratio_), 1), lh = std::max(qRound(fh / ratio_), 1);
    top->move(qRound(w.frame.left / ratio_), qRound(w.frame.top / ratio_));
    top->resize(lw, lh);
    int menu = top->menuWidget() ? top->menuWidget()->sizeHint().height() : 0;
    w.clientWidth = toDevice(lw, ratio_);
    w.clientHeight = std::max(toDevice(lh - menu, ratio_), 0);
    w.clientOrigin = {w.frame.left, w.frame.top + toDevice(menu, ratio_)};
}

void Backend::discard(QWidget* w) {
    if (!w) return;
    w->hide();
    if (handlerDepth_ > 0) w->deleteLater();
    else delete w;
}

void Backend::destroyWindow(Window& w) {
    QWidget* native = static_cast<QWidget*>(w.native);
    w.native = nullptr;
    if (auto* top = qobject_cast<TopWindow*>(native)) top->detach();
    if (auto* d = qobject_cast<DialogWindow*>(native)) {
        d->detach();
        for (HWND c : w.children) c->native = nullptr;
    }
    discard(native);
}

void Backend::showWindow(Window& w, bool show) {
    auto* top = qobject_cast<TopWindow*>(widget(&w));
    if (!top) return;
    if (!show) {
        top->hide();
        return;
    }
    if (top->fullScreenRequested) top->showFullScreen();
    else top->show();
    top->raise();
    top->activateWindow();
    top->view()->setFocus();
    syncGeometry(*top);
}

void Backend::windowChanged(Window& w) {
    if (w.kind == WindowKind::Control) {
        QWidget* c = control(&w);
        if (!c) return;
        c->setEnabled(w.enabled);
        QString t = text(w.title);
        if (auto* e = qobject_cast<QLineEdit*>(c)) {
            if (e->text() != t) e->setText(t);
        } else if (auto* r = qobject_cast<QRadioButton*>(c)) {
            r->setText(t);
            r->setChecked(w.checked);
        } else if (auto* b = qobject_cast<QPushButton*>(c)) {
            b->setText(t);
        } else if (auto* l = qobject_cast<QLabel*>(c)) {
            l->setText(t);
        } else if (auto* g = qobject_cast<QGroupBox*>(c)) {
            g->setTitle(t);
        }
        return;
    }
    if (QWidget* native = widget(&w)) native->setWindowTitle(text(w.title));
}

void Backend::setWindowEnabled(Window& w, bool enabled) {
    // Input to a disabled window is dropped by the layer; the menu bar greys
    // out so that no command can be chosen meanwhile.
    if (auto* top = qobject_cast<TopWindow*>(widget(&w)))
        if (QWidget* bar = top->menuWidget()) bar->setEnabled(enabled);
}

void Backend::focusWindow(Window& w) {
    if (auto* top = qobject_cast<TopWindow*>(widget(&w))) {
        top->activateWindow();
        top->view()->setFocus();
    } else if (QWidget* native = widget(&w)) {
        native->activateWindow();
    }
}

void Backend::syncGeometry(TopWindow& top) {
    HWND h = top.hwnd();
    if (!alive(h) || !top.isVisible()) return;
    QRect frame = top.frameGeometry();
    int fx = toDevice(frame.x(), ratio_), fy = toDevice(frame.y(), ratio_);
    QPoint client = top.view()->mapToGlobal(QPoint(0, 0));
    POINT origin{toDevice(client.x(), ratio_), toDevice(client.y(), ratio_)};
    int dx = fx - h->frame.left, dy = fy - h->frame.top;
    if (dx || dy) {
        // The layer moves the client origin with the frame; start it where it
        // lands on the real origin.
        h->clientOrigin = {origin.x - dx, origin.y - dy};
        platform::NativeMoved(h, fx, fy);
    }
    if (!alive(h)) return;
    h->clientOrigin = origin;
    h->frame.right = h->frame.left + toDevice(frame.width(), ratio_);
    h->frame.bottom = h->frame.top + toDevice(frame.height(), ratio_);
}

}  // namespace qtbackend

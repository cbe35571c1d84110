// Shared by the Qt tests: the offscreen start-up, a quiet log, visible windows, screenshots compared with a surface,
// and a script of steps taken while a program's own loop runs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "platform/qt/qt_backend.h"

namespace harness {

inline int Main(int argc, char** argv) {
    // The offscreen platform's notes about what it cannot do are no test output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        if (!m.startsWith("This plugin does not support") && !m.startsWith("QStandardPaths:"))
            std::fprintf(stderr, "%s\n", qPrintable(m));
    });
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);  // the tests drive Qt's own file dialog
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The visible top-level window of type T with that title (any title if empty).
template <typename T>
T* Visible(const QString& title = {}) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible() && (title.isEmpty() || t->windowTitle() == title))
            return t;
    return nullptr;
}

// Types a file name into the visible file dialog and accepts it.
inline void AcceptFile(const QString& name) {
    QFileDialog* d = Visible<QFileDialog>();
    d->findChild<QLineEdit*>("fileNameEdit")->setText(name);
    static_cast<QDialog*>(d)->accept();
}

// The client area in device pixels (the window system's copy at scale 1, else the view rendered at its ratio) against
// the surface `dc`: the pixels unlike the surface's, and the surface's other than the background (ink).
struct Shot { int width, height, differences = 0, ink = 0; };
inline Shot Compare(qtbackend::Backend& backend, HWND hwnd, HDC dc, COLORREF background) {
    QWidget* view = qtbackend::Backend::view(hwnd);
    view->repaint();
    QPoint at = view->mapTo(view->window(), QPoint(0, 0));
    QImage image = (backend.ratio() != 1.0 ? view->grab()
                    : view->screen()->grabWindow(view->window()->winId(), at.x(), at.y(), view->width(), view->height()))
                       .toImage();
    Shot shot{image.width(), image.height()};
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == CLR_INVALID) continue;  // beyond the surface
            shot.differences += (image.pixel(x, y) & 0xFFFFFF) != (qRgb(GetRValue(c), GetGValue(c), GetBValue(c)) & 0xFFFFFF);
            shot.ink += c != background;
        }
    return shot;
}

// Steps taken while a program's own loop runs, each when its condition holds (polled every 5 ms; an action may open a
// modal loop in which the next steps run). A step that waits 20 s fails the test, ends the program and closes every
// dialog from then on; a program that ends before the last step fails it too.
class Script {
public:
    Script() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        clock_.start();
        timer_.start(5);
    }
    ~Script() { EXPECT_EQ(next_, steps_.size()) << "the program ended at step \"" << steps_[next_].name << "\""; }
    void then(std::string name, std::function<bool()> ready, std::function<void()> act) {
        steps_.push_back({std::move(name), std::move(ready), std::move(act)});
    }
    // The next box with that title (any if empty) answered with `button`, its text noted in `said`.
    void box(std::string name, const QString& title, QStringList& said,
             QMessageBox::StandardButton button = QMessageBox::Ok) {
        then(std::move(name), [title] { return Visible<QMessageBox>(title); }, [title, &said, button] {
            said << Visible<QMessageBox>(title)->text();
            QTest::mouseClick(Visible<QMessageBox>(title)->button(button), Qt::LeftButton);
        });
    }

private:
    struct Step { std::string name; std::function<bool()> ready; std::function<void()> act; };
    void tick() {
        if (next_ == steps_.size() || acting_) return;
        if (steps_[next_].ready()) {
            clock_.restart();
            acting_ = true;  // the action runs from a timer of its own, so that this one ticks in its modal loops
            QTimer::singleShot(0, &timer_, [this, i = next_] {
                acting_ = false;
                steps_[i].act();
            });
            if (++next_ == steps_.size()) timer_.stop();  // an idle program is left idle
        } else if (clock_.elapsed() > 20000) {
            ADD_FAILURE() << "step \"" << steps_[next_].name << "\" never became ready";
            next_ = steps_.size();
            PostQuitMessage(0);
            QObject::connect(&timer_, &QTimer::timeout, [] {  // and every dialog from now on is closed
                if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
            });
        }
    }
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool acting_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace harness

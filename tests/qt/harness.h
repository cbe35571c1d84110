// Shared by the Qt backend's tests: the offscreen start-up, a quiet log,
// screenshots compared with a surface, and a script of timed steps.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
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
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// What a window's client area shows, in device pixels (the window system's
// copy at scale 1, otherwise the view rendered at its pixel ratio), compared
// with the surface `dc` from the client origin.
struct Shot {
    int width = 0, height = 0;
    int differences = 0;  // pixels unlike the surface's
    int ink = 0;          // surface pixels other than the background
};
inline Shot Compare(qtbackend::Backend& backend, HWND hwnd, HDC dc, COLORREF background) {
    QWidget* view = qtbackend::Backend::view(hwnd);
    view->repaint();
    QPoint at = view->mapTo(view->window(), QPoint(0, 0));
    QImage image = (backend.ratio() == 1.0 ? view->screen()->grabWindow(view->window()->winId(), at.x(), at.y(),
                                                                         view->width(), view->height())
                                           : view->grab())
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

// Runs a program's steps while its own loop runs: each step waits until its
// condition holds (polled every 5 ms), then acts. A step that waits too long
// fails the test, closes the open dialog and ends the program.
class Script {
public:
    Script() { QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); }); }
    void then(std::string name, std::function<bool()> ready, std::function<void()> act) {
        steps_.push_back({std::move(name), std::move(ready), std::move(act)});
    }
    void start() {
        clock_.start();
        timer_.start(5);
    }
    std::string pending() const { return next_ < steps_.size() ? steps_[next_].name : ""; }

private:
    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    void tick() {
        if (busy_ || next_ == steps_.size()) return;
        busy_ = true;  // a step's action may open a modal loop that ticks again
        if (steps_[next_].ready()) {
            clock_.restart();
            steps_[next_++].act();
        } else if (clock_.elapsed() > 20000) {
            ADD_FAILURE() << "step \"" << steps_[next_].name << "\" never became ready";
            next_ = steps_.size();
            if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
            PostQuitMessage(0);
        }
        busy_ = false;
    }
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool busy_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace harness

// Shared by the tests that run a whole program on the Qt backend: the
// offscreen start-up, a quiet log, screenshots and a script of timed steps.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/qt/qt_backend.h"

namespace harness {

// The offscreen platform's notes about what it cannot do are no test output.
inline void quiet(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.startsWith("This plugin does not support") || message.startsWith("QStandardPaths:")) return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) std::abort();
}

inline int Main(int argc, char** argv) {
    qInstallMessageHandler(quiet);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// What a window's client area shows, in device pixels: the window system's
// copy at scale 1, otherwise the view rendered at its pixel ratio.
inline QImage Screenshot(qtbackend::Backend& backend, HWND hwnd) {
    QWidget* view = qtbackend::Backend::view(hwnd);
    if (!view) return {};
    view->repaint();
    QPoint at = view->mapTo(view->window(), QPoint(0, 0));
    QPixmap shot = backend.ratio() == 1.0
                       ? view->screen()->grabWindow(view->window()->winId(), at.x(), at.y(), view->width(),
                                                    view->height())
                       : view->grab();
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

// Runs a program's steps while its own loop runs: each step waits until its
// condition holds (polled every few milliseconds), then acts. A step that
// waits too long fails the test and runs the rescue, which must end the
// program.
class Script {
public:
    struct Step {
        std::string name;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    Script(std::function<void()> rescue, int stepTimeoutMs = 20000)
        : rescue_(std::move(rescue)), timeoutMs_(stepTimeoutMs) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void then(std::string name, std::function<bool()> ready, std::function<void()> act) {
        steps_.push_back({std::move(name), std::move(ready), std::move(act)});
    }
    void start() {
        clock_.start();
        timer_.start();
    }
    bool finished() const { return next_ == steps_.size(); }
    std::string pending() const { return finished() ? "" : steps_[next_].name; }

private:
    void tick() {
        if (busy_ || finished()) return;
        busy_ = true;  // a step's action may open a modal loop that ticks again
        if (steps_[next_].ready()) {
            Step& s = steps_[next_++];
            clock_.restart();
            s.act();
        } else if (clock_.elapsed() > timeoutMs_) {
            ADD_FAILURE() << "step \"" << steps_[next_].name << "\" never became ready";
            next_ = steps_.size();
            rescue_();
        }
        busy_ = false;
    }
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool busy_ = false;
    std::function<void()> rescue_;
    int timeoutMs_;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace harness

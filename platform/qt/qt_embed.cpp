// The saver as a hack: its window inside the framework's, the input left
// to the framework, and an end on a stop signal, on the end of the
// framework's window and on the loss of the display.
#include "platform/qt/qt_embed.h"

#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_main.h"

namespace qtbackend {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int) { stopRequested = 1; }

// The toolkit's X connection while the saver runs as a hack, the program's
// name, and the toolkit's own message handler.
xcb_connection_t* hackDisplay = nullptr;
std::string hackName;
QtMessageHandler toolkitMessages = nullptr;

// The toolkit reports a broken X connection, then ends the process with
// code 1. For a hack the display going away (the server ended, or the
// framework's session was closed) is an end like any other: one line and
// code 0, at once, as nothing is left to draw on.
void onToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (hackDisplay && xcb_connection_has_error(hackDisplay)) {
        std::fprintf(stderr, "%s: the connection to the display was lost\n", hackName.c_str());
        std::fflush(nullptr);
        std::_Exit(0);
    }
    if (toolkitMessages) toolkitMessages(type, context, text);
}

xcb_connection_t* toolkitDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Watches, on the toolkit's connection, for the end of the framework's
// window: destroying it destroys the saver's window inside it too. From
// then on the toolkit's requests on those windows fail until the saver has
// closed; those errors are expected and not shown.
class WindowWatch : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const int kind = event->response_type & 0x7F;
        if (kind == XCB_DESTROY_NOTIFY) {
            const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
            if (destroyed->window == framework || (saver && destroyed->window == saver)) gone = true;
        } else if (kind == 0) {
            const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
            if (error->error_code == XCB_WINDOW && framework && error->resource_id == framework) gone = true;
        }
        return kind == 0 && gone;
    }

    std::uint32_t framework = 0;  // the framework's window; 0 for the root, which stays
    std::uint32_t saver = 0;      // the saver's window in it
    bool gone = false;
};

// The user's input over our window belongs to the framework: none of it
// reaches the program.
class InputFilter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::MouseMove:
            case QEvent::Wheel:
                return true;
            default:
                return false;
        }
    }
};

// Stands in front of the Qt backend while the saver runs as a hack. The
// screen is the framework's window, at least 640 x 480 so that the saver
// starts as on a screen: a smaller window shows the middle of the program's
// window, so the growth area stays centred and is clipped at the edges.
// The saver's window becomes a child of the framework's window; cursor and
// focus are left alone. A stop signal ends the saver the way a key press
// does: the run returns, the window closes, the program exits with 0.
class EmbedBackend final : public ::Backend {
public:
    EmbedBackend(qtbackend::Backend& inner, const platform::qt::HackWindow& target, std::string program)
        : inner_(inner), target_(target), program_(std::move(program)) {
        if (!target.root) {
            foreign_ = QWindow::fromWinId(target.id);
            watch(target.id);
        }
        QCoreApplication::instance()->installNativeEventFilter(&watch_);
        cursor_ = inner.cursorPos();
        platform::SetBackend(this);
    }

    ~EmbedBackend() override {
        platform::SetBackend(nullptr);  // our windows go first, while the framework's handle is there
        delete foreign_;
        QCoreApplication::instance()->removeNativeEventFilter(&watch_);
    }

    ScreenInfo screen() override {
        ScreenInfo s = inner_.screen();
        s.width = std::max(target_.width, 640);
        s.height = std::max(target_.height, 480);
        return s;
    }

    void createWindow(Window& w) override {
        inner_.createWindow(w);
        auto* top = qobject_cast<TopWindow*>(qtbackend::Backend::widget(&w));
        if (!top || saver_) return;
        saver_ = &w;
        top->fullScreenRequested = false;
        Qt::WindowFlags flags = Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus;
        if (target_.root) flags |= Qt::X11BypassWindowManagerHint;
        top->setWindowFlags(flags);
        top->setAttribute(Qt::WA_ShowWithoutActivating);
        top->installEventFilter(&filter_);
        top->view()->installEventFilter(&filter_);
        top->view()->setFocusPolicy(Qt::NoFocus);
        watch_.saver = static_cast<std::uint32_t>(top->winId());
        if (foreign_) top->windowHandle()->setParent(foreign_);
        ScreenInfo s = screen();
        qreal r = inner_.ratio();
        top->move(qRound((target_.width - s.width) / 2 / r), qRound((target_.height - s.height) / 2 / r));
    }

    void destroyWindow(Window& w) override {
        if (&w == saver_) {
            saver_ = nullptr;
            watch_.saver = 0;
            auto* top = static_cast<QWidget*>(w.native);
            if (top && !watch_.gone) {
                top->hide();
                if (QWindow* handle = top->windowHandle()) handle->setParent(nullptr);
            }
        }
        inner_.destroyWindow(w);
    }

    void showWindow(Window& w, bool show) override {
        if (&w != saver_) return inner_.showWindow(w, show);
        auto* top = qobject_cast<TopWindow*>(qtbackend::Backend::widget(&w));
        if (!top) return;
        if (!show) {
            top->hide();
            return;
        }
        top->show();
        inner_.syncGeometry(*top);
    }

    void focusWindow(Window& w) override {
        if (&w != saver_) inner_.focusWindow(w);
    }

    void pump(bool wait) override {
        if (ending()) stop();
        inner_.pump(wait);
    }
    bool pumpDue() override { return ending() || inner_.pumpDue(); }

    void sleep(DWORD ms) override {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (ending()) {
                stop();
                return;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            inner_.sleep(static_cast<DWORD>(std::min<long long>(left.count(), 50)));
        }
    }

    // Start-up errors go to standard error: no box over a locked screen.
    int messageBox(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "%s: %s\n", program_.c_str(), request.text.c_str());
        return (request.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }

    void setCursorVisible(bool) override {}
    void setCursorPos(int x, int y) override { cursor_ = {x, y}; }
    POINT cursorPos() override { return cursor_; }

    void windowChanged(Window& w) override { inner_.windowChanged(w); }
    void setWindowEnabled(Window& w, bool enabled) override { inner_.setWindowEnabled(w, enabled); }
    void present(Window& w) override { inner_.present(w); }
    void runDialog(Window& dialog) override { inner_.runDialog(dialog); }
    std::string fileDialog(const FileDialogRequest& request) override { return inner_.fileDialog(request); }
    void setCursorShape(Window* w, CursorShape shape) override { inner_.setCursorShape(w, shape); }
    DWORD tickCount() override { return inner_.tickCount(); }
    std::int64_t calendarTime() override { return inner_.calendarTime(); }

private:
    // A stop signal came, or the framework's window is gone.
    bool ending() const { return stopRequested || watch_.gone; }

    // Looks for the end of the framework's window, adding the structure
    // events to what the toolkit's connection already takes from it.
    void watch(std::uint32_t window) {
        watch_.framework = window;
        xcb_connection_t* c = toolkitDisplay();
        if (!c) return;
        xcb_get_window_attributes_reply_t* now =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
        if (!now) {
            watch_.gone = true;  // destroyed since it was looked up
            return;
        }
        const std::uint32_t mask = now->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        std::free(now);
        xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }

    // Queues a key press for the saver's window, again every 50 ms until
    // it ends: the start-up drops the input waiting before the first run.
    void stop() {
        auto now = std::chrono::steady_clock::now();
        if (!saver_ || saver_->destroyed || now - lastStop_ < std::chrono::milliseconds(50)) return;
        lastStop_ = now;
        platform::PostInput(saver_, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }

    qtbackend::Backend& inner_;
    platform::qt::HackWindow target_;
    std::string program_;
    QWindow* foreign_ = nullptr;
    HWND saver_ = nullptr;
    InputFilter filter_;
    WindowWatch watch_;
    POINT cursor_{0, 0};
    std::chrono::steady_clock::time_point lastStop_{};
};

std::string programName(const char* argv0) {
    std::string name = argv0 ? argv0 : "zorv-dla-ss";
    std::size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

}  // namespace qtbackend

int RunQtSaver(int argc, char** argv, HINSTANCE module, int (*winMain)(HINSTANCE, HINSTANCE, LPSTR, int)) {
    using namespace qtbackend;
    std::string why;
    auto target = platform::qt::ParseHackTarget(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), why);
    std::string name = programName(argc > 0 ? argv[0] : nullptr);
    auto refuse = [&](const std::string& text) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), text.c_str());
        return 1;
    };
    if (!why.empty()) return refuse(why);
    if (!target) return RunQtProgram(argc, argv, module, winMain);

    // A framework's window is an X window: only the X platform can draw into it.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0)
        return refuse("drawing into a framework's window needs the X11 (xcb) platform, not " + std::string(platform));
    std::string problem = platform::qt::DisplayProblem(argc, argv);
    if (!problem.empty()) return refuse(problem);
    auto window = platform::qt::LookUpHackWindow(*target, why);
    if (!window) return refuse(why);
    if (window->width < platform::qt::kHackMinimumSize || window->height < platform::qt::kHackMinimumSize)
        return refuse("the window " + platform::qt::HexId(window->id) + " is " + std::to_string(window->width) + " x " +
                      std::to_string(window->height) + " pixels; the saver needs at least 200 x 200");

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A server that went away makes the next write to the connection fail
    // instead of killing the process, so the loss is seen and ends the hack
    // as above.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);

    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromStdString(name));
    hackName = name;
    hackDisplay = toolkitDisplay();
    toolkitMessages = qInstallMessageHandler(onToolkitMessage);
    qtbackend::Backend inner;
    EmbedBackend embedded(inner, *window, name);
    std::string args = platform::qt::CommandLineText(argc, argv);
    std::vector<char> text(args.begin(), args.end());
    text.push_back('\0');
    const int code = winMain(module, nullptr, text.data(), SW_SHOWDEFAULT);
    qInstallMessageHandler(toolkitMessages);
    hackDisplay = nullptr;
    return code;
}

#include "platform/qt/qt_embed.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QWindow>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_main.h"

namespace platform::qt {

namespace {

// A window id: decimal, or hexadecimal after 0x, 1 to 0xFFFFFFFF.
std::optional<std::uint32_t> windowId(const char* text) {
    if (!text) return std::nullopt;
    std::string s = text;
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s = s.substr(2);
        base = 16;
    }
    std::uint32_t value = 0;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, value, base);
    if (s.empty() || ec != std::errc() || p != end || value == 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<HackTarget> ParseHackTarget(int argc, char** argv, const char* environmentWindow, std::string& why) {
    bool root = false;
    const char* given = nullptr;
    bool idOption = false;
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        if (std::strcmp(argv[i], "-root") == 0 || std::strcmp(argv[i], "--root") == 0) {
            root = true;
        } else if (std::strcmp(argv[i], "-window-id") == 0 || std::strcmp(argv[i], "--window-id") == 0) {
            idOption = true;
            given = i + 1 < argc ? argv[++i] : nullptr;
        }
    }
    const char* text = idOption ? given : environmentWindow && *environmentWindow ? environmentWindow : nullptr;
    if (idOption || text) {
        auto id = windowId(text);
        if (!id) {
            why = std::string(idOption ? "-window-id" : "XSCREENSAVER_WINDOW") + ": '" + (text ? text : "") +
                  "' is not a window id";
            return std::nullopt;
        }
        return HackTarget{false, *id};
    }
    if (root) return HackTarget{true, 0};
    return std::nullopt;
}

}  // namespace platform::qt

namespace qtbackend {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int) { stopRequested = 1; }

// The framework's window as the display has it.
struct FrameworkWindow {
    std::uint32_t id = 0;
    bool root = false;
    int width = 0;
    int height = 0;
};

std::string hex(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(id));
    return text;
}

std::optional<FrameworkWindow> lookUp(const platform::qt::HackTarget& target, std::string& why) {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        why = "cannot open the display";
        return std::nullopt;
    }
    FrameworkWindow found{target.window, target.root, 0, 0};
    if (target.root) {
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
        found.id = it.rem > 0 ? it.data->root : 0;
    }
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, found.id), &error);
    if (geometry) {
        found.width = geometry->width;
        found.height = geometry->height;
    } else {
        why = "there is no window " + hex(found.id) + " on the display";
    }
    std::free(geometry);
    std::free(error);
    xcb_disconnect(c);
    if (!geometry) return std::nullopt;
    return found;
}

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
    EmbedBackend(qtbackend::Backend& inner, const FrameworkWindow& target, std::string program)
        : inner_(inner), target_(target), program_(std::move(program)) {
        if (!target.root) foreign_ = QWindow::fromWinId(target.id);
        cursor_ = inner.cursorPos();
        platform::SetBackend(this);
    }

    ~EmbedBackend() override {
        platform::SetBackend(nullptr);  // our windows go first, while the framework's handle is there
        delete foreign_;
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
        top->winId();
        if (foreign_) top->windowHandle()->setParent(foreign_);
        ScreenInfo s = screen();
        qreal r = inner_.ratio();
        top->move(qRound((target_.width - s.width) / 2 / r), qRound((target_.height - s.height) / 2 / r));
    }

    void destroyWindow(Window& w) override {
        if (&w == saver_) {
            saver_ = nullptr;
            if (auto* top = static_cast<QWidget*>(w.native)) {
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
        if (stopRequested) stop();
        inner_.pump(wait);
    }
    bool pumpDue() override { return stopRequested || inner_.pumpDue(); }

    void sleep(DWORD ms) override {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            if (stopRequested) {
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
    // Queues a key press for the saver's window, again every 50 ms until
    // it ends: the start-up drops the input waiting before the first run.
    void stop() {
        auto now = std::chrono::steady_clock::now();
        if (!saver_ || saver_->destroyed || now - lastStop_ < std::chrono::milliseconds(50)) return;
        lastStop_ = now;
        platform::PostInput(saver_, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    }

    qtbackend::Backend& inner_;
    FrameworkWindow target_;
    std::string program_;
    QWindow* foreign_ = nullptr;
    HWND saver_ = nullptr;
    InputFilter filter_;
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
    auto window = lookUp(*target, why);
    if (!window) return refuse(why);
    if (window->width < platform::qt::kHackMinimumSize || window->height < platform::qt::kHackMinimumSize)
        return refuse("the window " + hex(window->id) + " is " + std::to_string(window->width) + " x " +
                      std::to_string(window->height) + " pixels; the saver needs at least 200 x 200");

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromStdString(name));
    qtbackend::Backend inner;
    EmbedBackend embedded(inner, *window, name);
    std::string args = platform::qt::CommandLineText(argc, argv);
    std::vector<char> text(args.begin(), args.end());
    text.push_back('\0');
    return winMain(module, nullptr, text.data(), SW_SHOWDEFAULT);
}

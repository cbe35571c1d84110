#include "platform/qt/qt_main.h"

#include <dlfcn.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/qt/qt_backend.h"

namespace platform::qt {

std::string CommandLineText(int argc, char** argv) {
    std::string out;
    for (int i = 1; i < argc; ++i) {
        if (!argv[i]) continue;
        if (!out.empty()) out += ' ';
        out += '"';
        out += argv[i];
        out += '"';
    }
    return out;
}

namespace {

std::string env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The platform Qt will pick: the -platform option, else QT_QPA_PLATFORM.
std::string requestedPlatform(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (argv[i] && (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0))
            return argv[i + 1] ? argv[i + 1] : "";
    return env("QT_QPA_PLATFORM");
}

bool waylandPluginInstalled() {
    QDir dir(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    return !dir.entryList({QStringLiteral("*wayland*")}, QDir::Files).isEmpty();
}

// Opens and closes an X connection through the library the X plugin uses,
// so that an unreachable display is reported here instead of by an abort.
std::string checkX11(const std::string& display) {
    void* lib = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!lib) return {};  // Qt will say what is missing
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(lib, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(lib, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(lib, "xcb_disconnect"));
    std::string problem;
    if (connect && hasError && disconnect) {
        void* c = connect(display.c_str(), nullptr);
        if (!c || hasError(c)) problem = "cannot open display \"" + display + "\"";
        if (c) disconnect(c);
    }
    dlclose(lib);
    return problem;
}

}  // namespace

std::string DisplayProblem(int argc, char** argv) {
    std::string platform = requestedPlatform(argc, argv);
    if (!platform.empty() && platform.rfind("xcb", 0) != 0) return {};  // offscreen, wayland, vnc...
    std::string display = env("DISPLAY");
    if (display.empty()) {
        if (platform.empty() && !env("WAYLAND_DISPLAY").empty() && waylandPluginInstalled()) return {};
        return "no display to open a window on (DISPLAY is not set); start it from a desktop session";
    }
    return checkX11(display);
}

std::string DisplayProblem() { return DisplayProblem(0, nullptr); }

}  // namespace platform::qt

namespace {

std::string programName(const char* argv0) {
    std::string name = argv0 ? argv0 : "zorv-dla";
    std::size_t slash = name.find_last_of('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

int RunQtProgram(int argc, char** argv, HINSTANCE module, int (*winMain)(HINSTANCE, HINSTANCE, LPSTR, int)) {
    std::string name = programName(argc > 0 ? argv[0] : nullptr);
    std::string problem = platform::qt::DisplayProblem(argc, argv);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), problem.c_str());
        return 1;
    }
    QApplication app(argc, argv);  // takes its own options out of argv
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QString::fromStdString(name));
    qtbackend::Backend backend;
    std::string args = platform::qt::CommandLineText(argc, argv);
    std::vector<char> text(args.begin(), args.end());
    text.push_back('\0');
    return winMain(module, nullptr, text.data(), SW_SHOWDEFAULT);
}

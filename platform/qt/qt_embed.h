// A screen saver inside a window that a screen-saver framework owns (an
// XScreenSaver "hack"): the program draws into that window at its size, the
// framework keeps the keyboard, mouse and pointer, and SIGTERM ends the
// program as input would. No toolkit header is needed to call it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/win32.h"

namespace platform::qt {

// Where the saver is asked to draw, from its arguments and environment:
// "-window-id ID" names an X window (decimal, or hexadecimal after 0x);
// otherwise XSCREENSAVER_WINDOW does; otherwise "-root" asks for the root
// window. None of them: the saver runs on its own screen.
struct HackTarget {
    bool root = false;       // the root window of the display
    std::uint32_t window = 0;  // else this window
};

// The target, nullopt for none; a value that names no window gives an
// error text in why (and nullopt).
std::optional<HackTarget> ParseHackTarget(int argc, char** argv, const char* environmentWindow,
                                          std::string& why);

// The framework's window as the display has it: the root's id for a root
// target.
struct HackWindow {
    std::uint32_t id = 0;
    bool root = false;
    int width = 0;
    int height = 0;
};

// Looks the target up on the display. A display that cannot be opened, no
// window of that id, a pixmap and an input-only window give an error text
// in why (and nullopt).
std::optional<HackWindow> LookUpHackWindow(const HackTarget& target, std::string& why);

// A window id as the messages show it: 0x1a00003.
std::string HexId(std::uint32_t id);

// The smallest framework window the saver draws into.
constexpr int kHackMinimumSize = 200;

}  // namespace platform::qt

// The saver's entry on the Qt backend: with a hack target, runs winMain
// inside that window until SIGTERM or SIGINT, until the window is destroyed,
// or until the connection to the display is lost (one line), all with exit
// code 0; without one, exactly as RunQtProgram. A target that cannot be used
// (no such window, a pixmap, an input-only window, smaller than 200 x 200)
// is one line on standard error and exit code 1.
int RunQtSaver(int argc, char** argv, HINSTANCE module, int (*winMain)(HINSTANCE, HINSTANCE, LPSTR, int));

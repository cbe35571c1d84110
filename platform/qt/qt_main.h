// Entry of the desktop programs: starts the Qt backend and runs a program's
// WinMain on it. No toolkit header is needed to call it.
#pragma once

#include <string>

#include "platform/win32.h"

// Starts the Qt backend for argv, builds the Win32-style argument text (each
// argument in double quotes, separated by one blank; empty without arguments),
// and runs winMain with the program's module. Without a display, prints one
// clear line on standard error and returns 1.
int RunQtProgram(int argc, char** argv, HINSTANCE module, int (*winMain)(HINSTANCE, HINSTANCE, LPSTR, int));

namespace platform::qt {

// The argument text the shell would pass: argv[1..] each in double quotes,
// joined by one blank; empty without arguments.
std::string CommandLineText(int argc, char** argv);

// Empty when a display can be used for these arguments and this
// environment; otherwise the reason, one line.
std::string DisplayProblem(int argc, char** argv);
std::string DisplayProblem();

}  // namespace platform::qt

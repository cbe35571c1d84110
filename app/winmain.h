// Start-up and the message loop of zorv-dla.
#pragma once

#include "platform/win32.h"

extern const char szWinName[];
extern const char* const errormessage[3];

// The program: returns the process exit code.
int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszArgs, int nCmdShow);

// 0, or 1 when the class cannot be registered.
int InitWindowClass(HINSTANCE hInstance);

// 0, 2 when the window cannot be created, 3 when the display has fewer
// than 24 bits per pixel.
int CreateMainWindow(HINSTANCE hInstance, int nCmdShow);

// The one loop: one message, then one growth-run step while a run is
// active. Returns the quit message's code.
int ProgramDriver();

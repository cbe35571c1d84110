// A small program written against the Win32 subset, with every kind of
// resource the desktop programs use: a window with a menu and accelerators,
// a dialog template, a box and the file dialogs. The backend tests drive it.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace probe {

constexpr int kCmdHello = 10;
constexpr int kCmdQuit = 11;
constexpr int kCmdPlot = 20;
constexpr int kCmdDeep = 31;
constexpr int kDialog = 700;
constexpr int kEdit = 710;
constexpr int kLabel = 750;
constexpr int kGroupA = 810;
constexpr int kRadioA0 = 820;  // 820..822, one group
constexpr int kGroupB = 830;
constexpr int kRadioB0 = 840;  // 840..841, another group
constexpr int kAdvice = 760;

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

extern const Module module;
extern std::vector<Seen> seen;  // every message the window procedure got
extern HWND mainWindow;

// What the dialog's OK handler read, and how often it refused.
struct DialogResult {
    std::string text;
    int radioA = -1;
    int radioB = -1;
    int refusals = 0;
};
extern DialogResult dialogResult;

// Registers the class (idempotent per layer state) and makes the window.
HWND CreateProbeWindow(DWORD style, int x, int y, int width, int height);
// The colour the probe paints at (x, y) of its client area.
COLORREF PatternAt(int x, int y);
// Paints the pattern into the whole client area through a window DC.
void PaintPattern(HWND hwnd);
INT_PTR RunDialog(HWND owner);

// The probe as a program: a window with the pattern; Esc ends it with 0.
int WinMain(HINSTANCE instance, HINSTANCE, LPSTR args, int show);

}  // namespace probe

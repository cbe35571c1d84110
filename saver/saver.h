#pragma once

// zorv-dla-ss, the screen saver: one full-screen window over a black canvas
// on which two growth runs take turns, dla1 growing a cluster outward from
// the centre and dla2 growing one inward from a circle of radius 200. Any
// key, click or mouse movement ends it. All state is process-wide.

#include "platform/win32.h"

// ------------------------------------------------------------ shell state

extern HINSTANCE g_hInstance;
extern HWND g_hWnd;          // the full-screen saver window
extern HDC g_vhdc;           // the canvas: the picture and the record of the cluster
extern HBITMAP g_hBitmap;    // the canvas bitmap, xscreen x yscreen
extern RECT ClientRes;       // the window's client rectangle: the whole screen
extern int xscreen, yscreen;
extern int xcenter, ycenter;      // centre of the growth area
extern int xresover2, yresover2;  // half-extent of the growth area: 200
extern const char szWinName[];    // "ZORVWindow"
extern const char* const errormessage[3];  // start-up error texts by code - 1

// The program's resources: the icon "VORMIXICON".
extern const Module saverModule;

// ------------------------------------------------------------- run state

extern int palindex;     // palette of the current run, 0-6
extern int startradius;  // dla1's first launch radius and the gap it keeps: 10
extern COLORREF bkgd;    // the background, black; a pixel of any other colour is cluster

// ---------------------------------------------------------------- shell

int WinMain(HINSTANCE hInstance, HINSTANCE hPrevInst, LPSTR lpszArgs, int nCmdShow);
// 0, or 1 when the window class cannot be registered.
int InitWindowClass(HINSTANCE hInstance);
// 0, 2 when the screen is under 640 x 480 or the window (or its canvas)
// cannot be made, 3 when the display has fewer than 32 bits per pixel.
int CreateMainWindow(HINSTANCE hInstance, int nCmdShow);
// Runs dla1 and dla2 in turn whenever no message waits; returns the quit code.
int ProgramDriver();
LRESULT MainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
// Keeps a finished cluster on screen for ms, or until input waits that ends
// the saver; the loop then handles that input at once.
void pausecluster(DWORD ms);

// Puts every process-wide value the saver changes back to its start value, so a
// fresh WinMain starts as a new process would. The canvas must be released.
void resetsaver();

// ----------------------------------------------------------------- runs

// Each grows one whole cluster on a cleared screen. 1 when a key, a left or
// right click or a mouse move of more than 2 pixels ended it; 0 when the
// cluster was completed (after a 3-second pause, cut short by input that ends
// the saver) or two minutes passed; the palette advances in both of those cases.
int dla1();
int dla2();

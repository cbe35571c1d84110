// The interactive program's process-wide state: the user's settings, the
// run-control flags through which the main window and the growth runs talk,
// the image geometry, the palettes and the graphics handles.
#pragma once

#include "platform/win32.h"

// Legal ranges of the settings.
constexpr int XRES_MIN = 100, XRES_MAX = 9600;
constexpr int RADIUS_MIN = 5, RADIUS_MAX = 50;
constexpr int PROBABILITY_MIN = 1, PROBABILITY_MAX = 100;
constexpr int ALGORITHM_MAX = 2;
constexpr int GROWTH_MAX = 1;
constexpr int COLORING_MAX = 1;
constexpr int COLOR_MAX = 255;

// Settings.
extern int xres, yres;       // image size in pixels
extern int startradius;      // starting radius of the seeding circle and the margin it keeps
extern int probability;      // stickiness in percent
extern int algorithm;        // 0 Durero-Rudo, 1 Fractint, 2 Fractint with Spaces
extern int growth;           // 0 centrifugal, 1 centripetal
extern int coloring;         // 0 pixel count, 1 distance from centre
extern int greyscale;        // 1: particles in fixed grey shades
extern int rback, gback, bback;
extern COLORREF bkgd;        // the packing of rback, gback, bback; also the cluster's empty marker

// Run-control flags.
extern int okdla;            // a growth run is active
extern int terminate;        // the user asked the active run to stop
extern int firsttime;        // the help text is still to be shown
extern int firstloop;        // the next growth-run call starts a new image
extern int newdimensions;    // the image size changed; the canvas must be remade
extern int newparam;         // radius or stickiness changed; the image must be cleared
extern int debug;            // the debugging display is on

// Geometry.
extern int xscreen, yscreen;
extern RECT ClientRes;       // the main window's client rectangle
extern RECT VhdcRes;         // scratch rectangle for filling the canvas or its visible part

// Palettes: 256 entries of red, green, blue.
extern unsigned char palette[256][3];     // in force
extern unsigned char defpalette[256][3];  // what Default Palette restores
extern unsigned char paltemp[256][3];     // candidate from a MAP file
extern int rtemp, gtemp, btemp;           // candidate background colour

// Graphics handles.
extern HINSTANCE g_hInstance;
extern HWND g_hWnd;
extern HACCEL g_hAccel;
extern HDC g_vhdc;           // the canvas
extern HBITMAP g_hBitmap;
extern HDC g_phdc;           // the 296 x 100 preview save area
extern HBITMAP g_phBitmap;

// Puts every setting, flag and palette back to its start-up value.
void resetsettings();

// The default image side for a screen yscreen pixels high: yscreen - 128,
// at most 400.
int defaultimagesize(int yscreen);

// Repacks bkgd from rback, gback and bback.
void repackbackground();

// The packed colour of palette entry i.
inline COLORREF palettecolor(int i) {
    return RGB(palette[i][0], palette[i][1], palette[i][2]);
}

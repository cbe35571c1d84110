// The offscreen canvas: the image itself, xres x yres pixels in g_vhdc, and
// the 296 x 100 preview save area in g_phdc. A canvas pixel belongs to the
// cluster exactly when it differs from bkgd.
#pragma once

#include "platform/win32.h"

constexpr int PREVIEW_WIDTH = 296;
constexpr int PREVIEW_HEIGHT = 100;

// Makes the canvas and the preview save area, both grey, and reads the
// client rectangle. Returns false when the canvas bitmap could not be made.
bool createcanvas(HWND hwnd);

// Returns 1 when the display has fewer than 24 bits per pixel, else 0;
// either way copies palette into defpalette.
int initgraphics(HWND hwnd);

// Replaces the canvas by one of xres x yres, fills the client area and the
// canvas's visible part grey, clears newdimensions and sets firstloop.
// Returns false when the new bitmap could not be made.
bool resizecanvas(HWND hwnd);

// Clear Screen: client area and whole canvas grey; firstloop set.
void cleartogrey(HWND hwnd);

// The start of a new cluster: the client area grey, the visible part of the
// image and the whole canvas in bkgd, and checkpalette. windowdc is a DC of
// the main window.
void cleartobackground(HDC windowdc);

// Paint handler: copies the invalid rectangle from the canvas.
void presentcanvas(HWND hwnd);

// Copies the window's corner (0, 0)-(296, 100) into the save area, and back
// to both the window and the canvas.
void savepreviewarea(HWND hwnd);
void restorepreviewarea(HWND hwnd);

// Frees both surfaces; safe to call twice.
void releasecanvas();

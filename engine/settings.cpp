#include "engine/settings.h"

#include <cstring>

#include "canvas/defpalette.h"

int xres = 400, yres = 400;
int startradius = 10;
int probability = 100;
int algorithm = 0;
int growth = 0;
int coloring = 0;
int greyscale = 0;
int rback = 255, gback = 245, bback = 230;
COLORREF bkgd = RGB(255, 245, 230);

int okdla = 1;
int terminate = 0;
int firsttime = 1;
int firstloop = 1;
int newdimensions = 0;
int newparam = 0;
int debug = 0;

int xscreen = 0, yscreen = 0;
RECT ClientRes{0, 0, 0, 0};
RECT VhdcRes{0, 0, 0, 0};

unsigned char palette[256][3];
unsigned char defpalette[256][3];
unsigned char paltemp[256][3];
int rtemp = 0, gtemp = 0, btemp = 0;

HINSTANCE g_hInstance = nullptr;
HWND g_hWnd = nullptr;
HACCEL g_hAccel = nullptr;
HDC g_vhdc = nullptr;
HBITMAP g_hBitmap = nullptr;
HDC g_phdc = nullptr;
HBITMAP g_phBitmap = nullptr;

namespace {
// The palette in force starts as the built-in one.
struct PaletteInit {
    PaletteInit() { std::memcpy(palette, defaultpalette, sizeof palette); }
} paletteInit;
}  // namespace

void resetsettings() {
    xres = yres = 400;
    startradius = 10;
    probability = 100;
    algorithm = growth = coloring = greyscale = 0;
    rback = 255;
    gback = 245;
    bback = 230;
    repackbackground();
    okdla = 1;
    terminate = 0;
    firsttime = 1;
    firstloop = 1;
    newdimensions = newparam = debug = 0;
    xscreen = yscreen = 0;
    ClientRes = VhdcRes = RECT{0, 0, 0, 0};
    std::memcpy(palette, defaultpalette, sizeof palette);
    std::memset(defpalette, 0, sizeof defpalette);
    std::memset(paltemp, 0, sizeof paltemp);
    rtemp = gtemp = btemp = 0;
    g_hInstance = nullptr;
    g_hWnd = nullptr;
    g_hAccel = nullptr;
    g_vhdc = g_phdc = nullptr;
    g_hBitmap = g_phBitmap = nullptr;
}

void repackbackground() {
    bkgd = static_cast<COLORREF>(rback + 256 * gback + 65536 * bback);
}

int defaultimagesize(int screenheight) {
    return screenheight - 128 > 400 ? 400 : screenheight - 128;
}

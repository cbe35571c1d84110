// The resources of zorv-dla as data: the menu and accelerator table
// "VORMIXMENU", the dialog templates 200, 300, 400 and 500 and the icon
// "VORMIXICON", gathered in the program's module.
#pragma once

#include "platform/win32.h"

// Menu and accelerator commands.
constexpr int IDM_LOAD = 100;
constexpr int IDM_SAVE = 105;
constexpr int IDM_SAVEPARAMS = 110;
constexpr int IDM_EXIT = 115;
constexpr int IDM_PLOT = 120;
constexpr int IDM_PARAMETERS = 130;
constexpr int IDM_ALGORITHMS = 140;
constexpr int IDM_CLEAR = 150;
constexpr int IDM_COLORING = 160;
constexpr int IDM_BACKGROUND = 165;
constexpr int IDM_MAPFILE = 170;
constexpr int IDM_GREYSCALE = 175;
constexpr int IDM_DEFPALETTE = 180;
constexpr int IDM_HELP = 190;
constexpr int IDM_ABOUT = 195;

// Dialog templates.
constexpr int IDD_PARAMETERS = 200;
constexpr int IDD_ALGORITHMS = 300;
constexpr int IDD_COLORING = 400;
constexpr int IDD_BACKGROUND = 500;

// Controls of the Image Parameters dialog.
constexpr int IDC_XRES = 210, IDC_YRES = 220, IDC_RADIUS = 230, IDC_STICKINESS = 240;
constexpr int IDC_PARAMLABEL = 250;  // 250 to 253
// Controls of the Algorithms dialog.
constexpr int IDC_PIXELGROUP = 310, IDC_DURERORUDO = 320, IDC_FRACTINT = 321, IDC_FRACTINTSPACES = 322;
constexpr int IDC_GROWTHGROUP = 330, IDC_CENTRIFUGAL = 340, IDC_CENTRIPETAL = 341;
// Controls of the Coloring Method dialog.
constexpr int IDC_COLORINGGROUP = 410, IDC_PIXELCOUNT = 420, IDC_DISTANCE = 421;
// Controls of the Background Color dialog.
constexpr int IDC_INSIDEGROUP = 510, IDC_RED = 520, IDC_GREEN = 521, IDC_BLUE = 522;

// The program's module: everything above, found by name or id.
extern const Module zorvdla;

// The 32 x 32 icon: a small cluster grown by a tiny deterministic walk.
const IconResource& vormixicon();

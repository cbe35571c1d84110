#include "app/resources.h"

#include <cmath>
#include <cstdint>

#include "canvas/defpalette.h"

namespace {

// ------------------------------------------------------------------ menu

const MenuResource vormixmenu{{
    {"File   ",
     0,
     {{"Load Parameter File (L)", IDM_LOAD, {}},
      {"Save Image and Parameters (S)", IDM_SAVE, {}},
      {"Save Parameters Only (O)", IDM_SAVEPARAMS, {}},
      {"Exit (Esc)", IDM_EXIT, {}}}},
    {"Plot Image (F1)   ", IDM_PLOT, {}},
    {"Options   ",
     0,
     {{"Parameters (F4)", IDM_PARAMETERS, {}},
      {"Algorithms (F5)", IDM_ALGORITHMS, {}},
      {"Clear Screen (F6)", IDM_CLEAR, {}},
      {"Coloring",
       0,
       {{"Coloring Method (M)", IDM_COLORING, {}},
        {"Background Color (B)", IDM_BACKGROUND, {}},
        {"MAP file (F)", IDM_MAPFILE, {}},
        {"Greyscale (G)", IDM_GREYSCALE, {}},
        {"Default Palette (P)", IDM_DEFPALETTE, {}}}}}},
    {"Help", 0, {{"Help Topics (F2)", IDM_HELP, {}}, {"About (F3)", IDM_ABOUT, {}}}},
}};

// ----------------------------------------------------------- accelerators

const AccelTable vormixaccel{{
    {FVIRTKEY, 'L', IDM_LOAD},
    {FVIRTKEY, 'S', IDM_SAVE},
    {FVIRTKEY, 'O', IDM_SAVEPARAMS},
    {FVIRTKEY, VK_ESCAPE, IDM_EXIT},
    {FVIRTKEY, VK_F1, IDM_PLOT},
    {FVIRTKEY, VK_F4, IDM_PARAMETERS},
    {FVIRTKEY, VK_F5, IDM_ALGORITHMS},
    {FVIRTKEY, VK_F6, IDM_CLEAR},
    {FVIRTKEY, 'M', IDM_COLORING},
    {FVIRTKEY, 'B', IDM_BACKGROUND},
    {FVIRTKEY, 'F', IDM_MAPFILE},
    {FVIRTKEY, 'G', IDM_GREYSCALE},
    {FVIRTKEY, 'P', IDM_DEFPALETTE},
    {FVIRTKEY, VK_F2, IDM_HELP},
    {FVIRTKEY, VK_F3, IDM_ABOUT},
}};

// ----------------------------------------------------------------- dialogs

constexpr DWORD kDialogStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER;
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT;
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kGroup = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX;
constexpr DWORD kRadio = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;

using K = ControlKind;

const char* const kAdvice =
    "More realistic but slower:\n   Fractint algorithm, larger starting radius\n\n"
    "Faster but with artifactual changes:\n   Durero-Rudo algorithm, smaller starting radius\n\n"
    "Thicker filaments but slower:\n   Lower % stickiness\n\n"
    "If rendering is really slow, clear screen\n   and try again, hopefully with better\n"
    "   pseudo-random values.";

const DialogTemplate paramdialog{kDialogStyle, " Image Parameters", 0, 0, 155, 282, "MS Sans Serif", 8,
                                 {
                                     {K::Button, IDOK, "OK", kButton, 12, 262, 50, 14},
                                     {K::Button, IDCANCEL, "Cancel", kButton, 94, 262, 50, 14},
                                     {K::Edit, IDC_XRES, "", kEdit, 94, 10, 50, 12},
                                     {K::Edit, IDC_YRES, "", kEdit, 94, 28, 50, 12},
                                     {K::Edit, IDC_RADIUS, "", kEdit, 94, 46, 50, 12},
                                     {K::Edit, IDC_STICKINESS, "", kEdit, 94, 64, 50, 12},
                                     {K::Static, IDC_PARAMLABEL + 0, "", kLabel, 12, 12, 80, 8},
                                     {K::Static, IDC_PARAMLABEL + 1, "", kLabel, 12, 30, 80, 8},
                                     {K::Static, IDC_PARAMLABEL + 2, "", kLabel, 12, 48, 80, 8},
                                     {K::Static, IDC_PARAMLABEL + 3, "", kLabel, 12, 66, 80, 8},
                                     {K::Static, -1, kAdvice, kLabel, 12, 100, 200, 100},
                                 }};

const DialogTemplate algorithmdialog{kDialogStyle, "Algorithms", 0, 0, 163, 167, "MS Sans Serif", 8,
                                     {
                                         {K::Button, IDOK, "OK", kButton, 16, 145, 50, 14},
                                         {K::Button, IDCANCEL, "Cancel", kButton, 97, 145, 50, 14},
                                         {K::GroupBox, IDC_PIXELGROUP, "   Pixel Evaluation   ", kGroup, 8, 4, 148, 73},
                                         {K::RadioButton, IDC_DURERORUDO, "Durero-Rudo", kRadio, 16, 17, 120, 12},
                                         {K::RadioButton, IDC_FRACTINT, "Fractint", kRadio, 16, 37, 120, 12},
                                         {K::RadioButton, IDC_FRACTINTSPACES, "Fractint with Spaces", kRadio, 16, 57, 120, 12},
                                         {K::GroupBox, IDC_GROWTHGROUP, "   Growth Direction   ", kGroup, 8, 85, 148, 53},
                                         {K::RadioButton, IDC_CENTRIFUGAL, "Centrifugal (away from center)", kRadio, 16, 97, 120, 12},
                                         {K::RadioButton, IDC_CENTRIPETAL, "Centripetal (toward center)", kRadio, 16, 117, 120, 12},
                                     }};

const DialogTemplate coloringdialog{kDialogStyle, "Coloring Method", 0, 0, 163, 90, "MS Sans Serif", 8,
                                    {
                                        {K::Button, IDOK, "OK", kButton, 16, 59, 50, 14},
                                        {K::Button, IDCANCEL, "Cancel", kButton, 97, 59, 50, 14},
                                        {K::GroupBox, IDC_COLORINGGROUP, "", kGroup, 8, 4, 148, 77},
                                        {K::RadioButton, IDC_PIXELCOUNT, "Pixel Count", kRadio, 16, 17, 120, 12},
                                        {K::RadioButton, IDC_DISTANCE, "Distance from Center", kRadio, 16, 37, 120, 12},
                                    }};

const DialogTemplate backgrounddialog{kDialogStyle, "Background Color", 0, 0, 155, 110, "MS Sans Serif", 8,
                                      {
                                          {K::Button, IDOK, "OK", kButton, 12, 88, 50, 14},
                                          {K::Button, IDCANCEL, "Cancel", kButton, 94, 88, 50, 14},
                                          {K::GroupBox, IDC_INSIDEGROUP, " Inside ", kGroup, 6, 4, 144, 64},
                                          {K::Edit, IDC_RED, "", kEdit, 64, 16, 80, 12},
                                          {K::Edit, IDC_GREEN, "", kEdit, 64, 34, 80, 12},
                                          {K::Edit, IDC_BLUE, "", kEdit, 64, 52, 80, 12},
                                          {K::Static, -1, "red ( 0 - 255 )", kLabel, 12, 18, 24, 8},
                                          {K::Static, -1, "green ( 0 - 255 )", kLabel, 12, 36, 24, 8},
                                          {K::Static, -1, "blue ( 0 - 255 )", kLabel, 12, 54, 24, 8},
                                      }};

// -------------------------------------------------------------------- icon

// Grows a small cluster on a 32 x 32 grid: particles start on a circle a
// little outside the cluster, walk one pixel up, down, left or right at
// random and stick when they touch it; each is coloured by its order from
// the default palette. A fixed linear congruential sequence makes the
// picture the same on every start.
IconResource makeicon() {
    constexpr int kSide = 32, kCentre = 16, kParticles = 220, kReach = 14;
    IconResource icon{kSide, kSide, std::vector<COLORREF>(kSide * kSide, RGB(255, 245, 230))};
    std::vector<bool> stuck(kSide * kSide, false);
    auto at = [&](int x, int y) { return static_cast<std::size_t>(y * kSide + x); };
    auto colour = [](int order) {
        int i = 1 + order * 254 / kParticles;
        return RGB(defaultpalette[i][0], defaultpalette[i][1], defaultpalette[i][2]);
    };
    std::uint32_t state = 2017;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    static constexpr int kDx[4] = {1, -1, 0, 0};
    static constexpr int kDy[4] = {0, 0, 1, -1};
    stuck[at(kCentre, kCentre)] = true;
    icon.pixels[at(kCentre, kCentre)] = colour(0);
    int reach = 1;
    for (int placed = 1, tries = 0; placed < kParticles && reach < kReach && tries < 5000; ++tries) {
        double angle = static_cast<double>(next() % 3600) * (2.0 * 3.141592653589793 / 3600.0);
        int launch = reach + 2;
        int x = kCentre + static_cast<int>(std::lround(std::cos(angle) * launch));
        int y = kCentre + static_cast<int>(std::lround(std::sin(angle) * launch));
        for (int steps = 0; steps < 20000; ++steps) {
            // Too far out, or at the edge: give up on this particle.
            if (x < 1 || y < 1 || x > kSide - 2 || y > kSide - 2 || std::hypot(x - kCentre, y - kCentre) > launch + 4)
                break;
            bool touching = false;
            for (int d = 0; d < 4; ++d) touching = touching || stuck[at(x + kDx[d], y + kDy[d])];
            if (touching) {
                stuck[at(x, y)] = true;
                icon.pixels[at(x, y)] = colour(placed);
                ++placed;
                int r = static_cast<int>(std::lround(std::hypot(x - kCentre, y - kCentre)));
                if (r > reach) reach = r;
                break;
            }
            unsigned d = next() % 4;
            x += kDx[d];
            y += kDy[d];
        }
    }
    return icon;
}

const IconResource icondata = makeicon();

}  // namespace

const IconResource& vormixicon() { return icondata; }

const Module zorvdla{
    "zorv-dla",
    {{0, "VORMIXMENU", &vormixmenu}},
    {{0, "VORMIXMENU", &vormixaccel}},
    {{0, "VORMIXICON", &icondata}},
    {{IDD_PARAMETERS, "", &paramdialog},
     {IDD_ALGORITHMS, "", &algorithmdialog},
     {IDD_COLORING, "", &coloringdialog},
     {IDD_BACKGROUND, "", &backgrounddialog}},
};

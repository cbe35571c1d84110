// Every text zorv-dla and zorv-dla-ss show, as the user reads them. Tests compare what the programs show with these,
// never with the programs' own constants, so a changed letter anywhere is caught.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace texts {

inline const char* const help =
    "Start or resume using 'Plot Image' (F1)\n\nStop with PAUSE key or mouse click\n\n"
    "Rendering stops automatically when seeding\n   circle approaches limit\n\n"
    "Press D to toggle debugging information:\n   animated seeding circle, elapsed time,\n"
    "   and values of variables";
// The About text is the program's own; only its caption is prescribed.
inline const char* const about =
    "ZORV DLA 2017\n\nGrows diffusion-limited-aggregation clusters, particle by particle, on screen.";

// The menu of zorv-dla, item by item ("pop-up>item", or the item alone on the bar), each with its accelerator key, its
// command and what the command shows first: a dialog's title, a file dialog's title or a box's text.
struct Command { const char* path; int key, id; const char* shows; };
inline const Command commands[] = {
    {"File   >Load Parameter File (L)", 'L', 100, "Select a DLA parameter file:"},
    {"File   >Save Image and Parameters (S)", 'S', 105, "Select a file for saving your image:"},
    {"File   >Save Parameters Only (O)", 'O', 110, "Select a file for saving parameters:"},
    {"File   >Exit (Esc)", VK_ESCAPE, 115, "(exit)"},
    {"Plot Image (F1)   ", VK_F1, 120, "(grow)"},
    {"Options   >Parameters (F4)", VK_F4, 130, " Image Parameters"},
    {"Options   >Algorithms (F5)", VK_F5, 140, "Algorithms"},
    {"Options   >Clear Screen (F6)", VK_F6, 150, "(clear)"},
    {"Options   >Coloring>Coloring Method (M)", 'M', 160, "Coloring Method"},
    {"Options   >Coloring>Background Color (B)", 'B', 165, "Background Color"},
    {"Options   >Coloring>MAP file (F)", 'F', 170, "Select a Fractint .MAP File"},
    {"Options   >Coloring>Greyscale (G)", 'G', 175, "Greyscale palette set"},
    {"Options   >Coloring>Default Palette (P)", 'P', 180, "Default palette restored"},
    {"Help>Help Topics (F2)", VK_F2, 190, help},
    {"Help>About (F3)", VK_F3, 195, about},
};

// Boxes: caption, text.
inline const char* const program = "ZORV DLA 2017";  // main window title and confirmation caption
inline const char* const helpCaption = "HELP", *const aboutCaption = "ABOUT";  // the help and about texts above
inline const char* const debugOn = "Debugging display turned on.", *const debugOff = "Debugging display turned off.";
inline const char* const greyscale[2] = {"PALETTE", "Greyscale palette set"};
inline const char* const defaultPalette[2] = {"PALETTE", "Default palette restored"};
inline const char* const acceptBackground[2] = {"Preview", "Accept background?"};
inline const char* const acceptPalette[2] = {"Preview", "Accept palette?"};
inline const char* const dlaError[2] = {"DLA file error", "Error opening DLA file"};
inline const char* const mapError[2] = {"MAP file error", "Error opening MAP file"};
inline const char* const saveErrorCaption = "Save file error";
inline const char* const saveError[3] = {"Error opening a save file.", "Not enough memory to buffer image lines.",
                                         "Error writing to save file."};
inline std::string imageSaved(const std::string& name) { return "Image saved as " + name; }
inline std::string parametersSaved(const std::string& name) {
    return "Parameters saved as " + name + "\n\nLoad via ' File ' menu or by double-clicking.";
}
inline std::string parametersLoaded(const std::string& name) { return "Parameter file  " + name + "  loaded."; }
inline const char* const startupCaption = "Error";
inline const char* const startupError[3] = {"Couldn't register main window class.", "Couldn't create main window.",
                                            "Couldn't initialize graphics."};
inline const char* const saverTitle = "ZORV DLA";

// File dialogs: title, filter description and pattern, default extension, flags (open: explorer, file and path must
// exist, no read-only box; save: explorer, path must exist, no read-only box, ask before replacing).
struct FileDialog { const char *title, *description, *pattern, *extension; DWORD flags; };
constexpr DWORD kOpen = 0x81804, kSave = 0x80806;
inline const FileDialog mapDialog{"Select a Fractint .MAP File", "Fractint .map files (*.map)", "*.map", "map", kOpen};
inline const FileDialog imageDialog{"Select a file for saving your image:", "Targa files (*.tga)", "*.tga", "tga",
                                    kSave};
inline const FileDialog loadDialog{"Select a DLA parameter file:", "DLA files (*.dla)", "*.dla", "dla", kOpen};
inline const FileDialog saveDialog{"Select a file for saving parameters:", "DLA files (*.dla)", "*.dla", "dla", kSave};

// Settings dialogs: title, then each control's id and text as shown.
struct Dialog { const char* title; std::vector<std::pair<int, std::string>> controls; };
inline const char* const advice =
    "More realistic but slower:\n   Fractint algorithm, larger starting radius\n\n"
    "Faster but with artifactual changes:\n   Durero-Rudo algorithm, smaller starting radius\n\n"
    "Thicker filaments but slower:\n   Lower % stickiness\n\n"
    "If rendering is really slow, clear screen\n   and try again, hopefully with better\n   pseudo-random values.";
inline const Dialog dialogs[] = {
    {" Image Parameters",
     {{1, "OK"}, {2, "Cancel"}, {250, "xres ( 100 - 9600 )"}, {251, "yres ( 100 - 9600 )"},
      {252, "starting radius ( 5 - 50 )"}, {253, "% stickiness ( 1 - 100)"}, {-1, advice}}},
    {"Algorithms",
     {{1, "OK"}, {2, "Cancel"}, {310, "   Pixel Evaluation   "}, {320, "Durero-Rudo"}, {321, "Fractint"},
      {322, "Fractint with Spaces"}, {330, "   Growth Direction   "}, {340, "Centrifugal (away from center)"},
      {341, "Centripetal (toward center)"}}},
    {"Coloring Method", {{1, "OK"}, {2, "Cancel"}, {410, ""}, {420, "Pixel Count"}, {421, "Distance from Center"}}},
    {"Background Color", {{1, "OK"}, {2, "Cancel"}, {510, " Inside "}, {-1, "red ( 0 - 255 )"},
                          {-1, "green ( 0 - 255 )"}, {-1, "blue ( 0 - 255 )"}}},
};
inline const char* const parameterError = "Parameter Error";
inline const char* const rangeError[4] = {"xres / yres range: 100 - 9600", "radius range: 5 - 50",
                                          "stickiness range: 1 - 100", "range: 0 - 255"};

// The statistics box (caption program, OK only): the counters, then one line each for the rule and the colouring.
inline const char* const statistics[2] = {
    "hours: %d\nminutes: %d\nseconds: %d\n\nstartradius: %d\nstickiness: %d %c\n\ndistancemax: %d\nradius: %d\n"
    "pixel count: %d\nrandom walk moves: %d",
    "hours: %d\nminutes: %d\nseconds: %d\n\nstartradius: %d\nstickiness: %d %c\n\ndistancemin: %d\nradius: %d\n"
    "pixel count: %d\nrandom walk moves: %d"};
inline const char* const ruleLine[3] = {"\n\nDLA algorithm: Durero-Rudo", "\n\nDLA algorithm: Fractint",
                                        "\n\nDLA algorithm: Fractint with Spaces"};
inline const char* const coloringLine[2] = {"\n\nColoring algorithm: pixel count",
                                            "\n\nColoring algorithm: distance from center"};

}  // namespace texts

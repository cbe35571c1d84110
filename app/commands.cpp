#include "app/commands.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/dialogs.h"
#include "app/resources.h"
#include "canvas/canvas.h"
#include "canvas/palette.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "files/mapfile.h"
#include "files/targa.h"

const char* const abouttext =
    "ZORV DLA 2017\n\n"
    "Grows diffusion-limited-aggregation clusters, particle by particle, on screen.";

namespace {

const char* const kReloadHint = "\n\nLoad via ' File ' menu or by double-clicking.";

// Repaints the whole window from the canvas before a command goes on.
void redrawnow(HWND hwnd) { RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }

void reportsaveerror(int r) {
    if (r >= 1 && r <= 3) warningbox(saveerror[r - 1], "Save file error");
    else warningbox("Error writing to save file.", "Save file error");
}

void reportparameterssaved() {
    std::string text = "Parameters saved as " + sdlafiletitle + kReloadHint;
    informationbox(text.c_str());
}

INT_PTR rundialog(HWND hwnd, int id, DLGPROC proc) {
    return DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(id), hwnd, proc, 0);
}

}  // namespace

int informationbox(const char* text, const char* caption) {
    return MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION | MB_OK);
}

int plainbox(const char* text, const char* caption) { return MessageBoxA(nullptr, text, caption, MB_OK); }

int warningbox(const char* text, const char* caption) {
    return MessageBoxA(g_hWnd, text, caption, MB_ICONWARNING | MB_OK);
}

int questionbox(const char* text) { return MessageBoxA(nullptr, text, "Preview", MB_YESNO | MB_ICONINFORMATION); }

void postcommand(int id) { PostMessageA(g_hWnd, WM_COMMAND, static_cast<WPARAM>(id), 0); }

void LoadParameterFile(HWND hwnd) {
    odlan.lpstrFile = &odlafile;
    if (!GetOpenFileNameA(&odlan)) return;
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
    int oldgrowth = growth;
    if (loaddla() != 0) {
        warningbox("Error opening DLA file", "DLA file error");
        return;
    }
    // A paused cluster can only be resumed by the run that grew it: the
    // other direction's run has no state for it, so it must start afresh.
    if (growth != oldgrowth) firstloop = 1;
    std::string text = "Parameter file  " + odlafiletitle + "  loaded.";
    informationbox(text.c_str());
}

void SaveImageAndParameters(HWND hwnd) {
    stgan.lpstrFile = &tgafile;
    if (!GetSaveFileNameA(&stgan)) return;
    redrawnow(hwnd);
    int r = writetga(g_vhdc);
    if (r != 0) {
        reportsaveerror(r);
        return;
    }
    std::string text = "Image saved as " + tgafiletitle;
    informationbox(text.c_str());
    r = writedla(1);
    if (r != 0) {
        reportsaveerror(r);
        return;
    }
    reportparameterssaved();
}

void SaveParametersOnly(HWND hwnd) {
    sdlan.lpstrFile = &sdlafile;
    if (!GetSaveFileNameA(&sdlan)) return;
    redrawnow(hwnd);
    int r = writedla(0);
    if (r != 0) {
        reportsaveerror(r);
        return;
    }
    reportparameterssaved();
}

void Parameters(HWND hwnd) {
    int oldx = xres, oldy = yres;
    if (rundialog(hwnd, IDD_PARAMETERS, ParamDialogProc) != 1) return;
    if (newparam == 1 && newdimensions == 0) {
        newparam = 0;
        postcommand(IDM_CLEAR);
    }
    if (newdimensions == 1) {
        if (resizecanvas(hwnd)) return;
        // No memory for the new size: say so and go back to the old one.
        char text[120];
        std::snprintf(text, sizeof text, "Not enough memory for an image of %d x %d pixels.", xres, yres);
        xres = oldx;
        yres = oldy;
        resizecanvas(hwnd);
        warningbox(text, "Parameter Error");
    }
}

void Algorithms(HWND hwnd) {
    if (rundialog(hwnd, IDD_ALGORITHMS, AlgorithmDialogProc) == 1) postcommand(IDM_CLEAR);
}

void ColoringMethod(HWND hwnd) {
    if (rundialog(hwnd, IDD_COLORING, ColoringDialogProc) == 1) postcommand(IDM_CLEAR);
}

void BackgroundColor(HWND hwnd) {
    if (rundialog(hwnd, IDD_BACKGROUND, BackgroundDialogProc) != 1) return;
    savepreviewarea(hwnd);
    showbackground();
    int answer = questionbox("Accept background?");
    restorepreviewarea(hwnd);
    if (answer == IDYES) {
        rback = rtemp;
        gback = gtemp;
        bback = btemp;
        repackbackground();
        postcommand(IDM_CLEAR);
    } else if (answer == IDNO) {
        postcommand(IDM_BACKGROUND);
    }
}

void MapFile(HWND hwnd) {
    greyscale = 0;
    omapn.lpstrFile = &mapfile;
    if (!GetOpenFileNameA(&omapn)) return;
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
    if (OpenMapFile() != 0) {
        warningbox("Error opening MAP file", "MAP file error");
        postcommand(IDM_CLEAR);
        return;
    }
    savepreviewarea(hwnd);
    showpalette();
    int answer = questionbox("Accept palette?");
    restorepreviewarea(hwnd);
    if (answer == IDYES) {
        std::memcpy(palette, paltemp, sizeof palette);
        postcommand(IDM_CLEAR);
    } else if (answer == IDNO) {
        postcommand(IDM_MAPFILE);
    }
}

void Greyscale(HWND) {
    greyscale = 1;
    plainbox("Greyscale palette set", "PALETTE");
    postcommand(IDM_CLEAR);
}

void DefaultPalette(HWND) {
    greyscale = 0;
    std::memcpy(palette, defpalette, sizeof palette);
    plainbox("Default palette restored", "PALETTE");
    postcommand(IDM_CLEAR);
}

void HelpTopics(HWND) { informationbox(HELP_TEXT, "HELP"); }

void About(HWND) { informationbox(abouttext, "ABOUT"); }

#include "app/dialogs.h"

#include <cstdio>
#include <cstdlib>

#include "app/resources.h"
#include "engine/settings.h"

const char* const paramnames[4] = {
    "xres ( 100 - 9600 )",
    "yres ( 100 - 9600 )",
    "starting radius ( 5 - 50 )",
    "% stickiness ( 1 - 100)",
};

const char* const paramerror[4] = {
    "xres / yres range: 100 - 9600",
    "radius range: 5 - 50",
    "stickiness range: 1 - 100",
    "range: 0 - 255",
};

namespace {

// The number at the start of a field, read as strtol reads it: blanks
// skipped, an optional sign, decimal digits, the rest ignored; 0 when the
// text does not start with a number. At most 29 characters are taken. The
// value stays a long, so a huge entry cannot wrap into the legal range.
long fieldvalue(HWND hDlg, int id) {
    char buffer[80];
    GetDlgItemTextA(hDlg, id, buffer, 30);
    return std::strtol(buffer, nullptr, 10);
}

void setfield(HWND hDlg, int id, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    SetDlgItemTextA(hDlg, id, text);
}

bool inrange(long v, long lo, long hi) { return v >= lo && v <= hi; }

// Shows the entry error of a dialog, owned by the dialog.
void showparamerror(HWND hDlg, int error) {
    if (error < 0 || error > 3) return;
    MessageBoxA(hDlg, paramerror[error], "Parameter Error", MB_ICONWARNING | MB_OK);
}

// Index of the selected radio button among count buttons from first, or -1.
int selected(HWND hDlg, int first, int count) {
    for (int i = 0; i < count; ++i)
        if (SendDlgItemMessageA(hDlg, first + i, BM_GETCHECK, 0, 0)) return i;
    return -1;
}

}  // namespace

INT_PTR ParamDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM) {
    static int error = -1;
    static HWND hStaticWnd[4];
    switch (message) {
        case WM_INITDIALOG:
            for (int i = 0; i < 4; ++i) {
                hStaticWnd[i] = GetDlgItem(hDlg, IDC_PARAMLABEL + i);
                SetWindowTextA(hStaticWnd[i], paramnames[i]);
            }
            setfield(hDlg, IDC_XRES, xres);
            setfield(hDlg, IDC_YRES, yres);
            setfield(hDlg, IDC_RADIUS, startradius);
            setfield(hDlg, IDC_STICKINESS, probability);
            return TRUE;
        case WM_PARAMERROR:
            showparamerror(hDlg, error);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                error = -1;
                // Each field is checked and stored in turn; a failing field
                // leaves the earlier ones stored. The canvas keeps its size
                // until an accepted dialog resizes it, and reads outside it
                // are harmless meanwhile.
                struct Field {
                    int id;
                    long lo, hi;
                    int message;
                    int* setting;
                    int* flag;
                } const fields[4] = {
                    {IDC_XRES, XRES_MIN, XRES_MAX, 0, &xres, &newdimensions},
                    {IDC_YRES, XRES_MIN, XRES_MAX, 0, &yres, &newdimensions},
                    {IDC_RADIUS, RADIUS_MIN, RADIUS_MAX, 1, &startradius, &newparam},
                    {IDC_STICKINESS, PROBABILITY_MIN, PROBABILITY_MAX, 2, &probability, &newparam},
                };
                for (const Field& f : fields) {
                    long v = fieldvalue(hDlg, f.id);
                    if (!inrange(v, f.lo, f.hi)) {
                        error = f.message;
                        PostMessageA(hDlg, WM_PARAMERROR, 0, 0);
                        return TRUE;
                    }
                    if (v != *f.setting) *f.flag = 1;
                    *f.setting = static_cast<int>(v);
                }
                EndDialog(hDlg, 1);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, 2);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

INT_PTR AlgorithmDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CheckRadioButton(hDlg, IDC_DURERORUDO, IDC_FRACTINTSPACES, IDC_DURERORUDO + algorithm);
            CheckRadioButton(hDlg, IDC_CENTRIFUGAL, IDC_CENTRIPETAL, IDC_CENTRIFUGAL + growth);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                int a = selected(hDlg, IDC_DURERORUDO, 3);
                int g = selected(hDlg, IDC_CENTRIFUGAL, 2);
                bool changed = false;
                if (a >= 0 && a != algorithm) {
                    algorithm = a;
                    changed = true;
                }
                if (g >= 0 && g != growth) {
                    growth = g;
                    changed = true;
                }
                EndDialog(hDlg, changed ? 1 : 2);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, 2);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

INT_PTR ColoringDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CheckRadioButton(hDlg, IDC_PIXELCOUNT, IDC_DISTANCE, IDC_PIXELCOUNT + coloring);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                int c = selected(hDlg, IDC_PIXELCOUNT, 2);
                if (c < 0 || c == coloring) {
                    EndDialog(hDlg, 2);
                    return TRUE;
                }
                coloring = c;
                EndDialog(hDlg, 1);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, 2);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

INT_PTR BackgroundDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM) {
    static int error = -1;
    switch (message) {
        case WM_INITDIALOG:
            setfield(hDlg, IDC_RED, rback);
            setfield(hDlg, IDC_GREEN, gback);
            setfield(hDlg, IDC_BLUE, bback);
            return TRUE;
        case WM_PARAMERROR:
            showparamerror(hDlg, error);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                error = -1;
                long v[3];
                for (int i = 0; i < 3; ++i) {
                    v[i] = fieldvalue(hDlg, IDC_RED + i);
                    if (!inrange(v[i], 0, COLOR_MAX)) {
                        error = 3;
                        PostMessageA(hDlg, WM_PARAMERROR, 0, 0);
                        return TRUE;
                    }
                }
                // Only the candidate is set; the colour in force changes when
                // the user accepts the preview.
                rtemp = static_cast<int>(v[0]);
                gtemp = static_cast<int>(v[1]);
                btemp = static_cast<int>(v[2]);
                EndDialog(hDlg, 1);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(hDlg, 2);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

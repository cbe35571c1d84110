#include "app/mainwindow.h"

#include "app/commands.h"
#include "app/resources.h"
#include "canvas/canvas.h"
#include "engine/settings.h"
#include "files/dlafile.h"

namespace {

constexpr int VK_D = 0x44;

void command(HWND hwnd, int id) {
    // Plot Image is the one command honoured while a run is active; after
    // the canvas has been released nothing is.
    if (id == IDM_PLOT) {
        okdla = 1;
        terminate = 0;
        return;
    }
    if (okdla || !g_vhdc) return;
    switch (id) {
        case IDM_EXIT: PostMessageA(g_hWnd, WM_DESTROY, 0, 0); break;
        case IDM_CLEAR: cleartogrey(hwnd); break;
        case IDM_LOAD: LoadParameterFile(hwnd); break;
        case IDM_SAVE: SaveImageAndParameters(hwnd); break;
        case IDM_SAVEPARAMS: SaveParametersOnly(hwnd); break;
        case IDM_PARAMETERS: Parameters(hwnd); break;
        case IDM_ALGORITHMS: Algorithms(hwnd); break;
        case IDM_COLORING: ColoringMethod(hwnd); break;
        case IDM_BACKGROUND: BackgroundColor(hwnd); break;
        case IDM_MAPFILE: MapFile(hwnd); break;
        case IDM_GREYSCALE: Greyscale(hwnd); break;
        case IDM_DEFPALETTE: DefaultPalette(hwnd); break;
        case IDM_HELP: HelpTopics(hwnd); break;
        case IDM_ABOUT: About(hwnd); break;
        default: break;
    }
}

}  // namespace

LRESULT MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            if (!createcanvas(hwnd)) {
                releasecanvas();
                return -1;
            }
            loadcommandline();
            return 0;
        case WM_PAINT:
            presentcanvas(hwnd);
            return 0;
        case WM_MOVE:
        case WM_SIZE:
            InvalidateRect(hwnd, nullptr, TRUE);
            GetClientRect(hwnd, &ClientRes);
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_D && !okdla && g_vhdc) {
                debug = 1 - debug;
                informationbox(debug ? "Debugging display turned on." : "Debugging display turned off.");
                postcommand(IDM_CLEAR);
            } else if (wParam == VK_PAUSE && okdla) {
                terminate = 1;
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            terminate = 1;
            return 0;
        case WM_COMMAND:
            command(hwnd, LOWORD(wParam));
            return 0;
        case WM_DESTROY:
            releasecanvas();
            // A window that failed during its creation is not yet the main
            // window; only the main window's end ends the program.
            if (hwnd == g_hWnd) PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

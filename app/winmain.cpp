#include "app/winmain.h"

#include <algorithm>

#include "app/mainwindow.h"
#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"

const char szWinName[] = "ZORVWindow";

const char* const errormessage[3] = {
    "Couldn't register main window class.",
    "Couldn't create main window.",
    "Couldn't initialize graphics.",
};

int WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpszArgs, int nCmdShow) {
    odlatemp = lpszArgs ? lpszArgs : "";
    int code = InitWindowClass(hInstance);
    if (code == 0) code = CreateMainWindow(hInstance, nCmdShow);
    if (code == 0) return ProgramDriver();
    MessageBoxA(nullptr, errormessage[code - 1], "Error", MB_ICONWARNING | MB_OK);
    // A window made before the failure is never shown; free it and its canvas.
    HWND window = g_hWnd;
    g_hWnd = nullptr;
    if (window) DestroyWindow(window);
    return 0;
}

int InitWindowClass(HINSTANCE hInstance) {
    WNDCLASSA wc{};
    wc.style = 0;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, "VORMIXICON");
    wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszMenuName = "VORMIXMENU";
    wc.lpszClassName = szWinName;
    return RegisterClassA(&wc) ? 0 : 1;
}

int CreateMainWindow(HINSTANCE hInstance, int nCmdShow) {
    g_hInstance = hInstance;
    g_hAccel = LoadAcceleratorsA(hInstance, "VORMIXMENU");
    InitOpenFile();
    xscreen = GetSystemMetrics(SM_CXSCREEN);
    yscreen = GetSystemMetrics(SM_CYSCREEN);
    // On a very low screen the image keeps the smallest legal size and is
    // cut off by the window, as a large image is.
    xres = yres = std::max(defaultimagesize(yscreen), XRES_MIN);
    g_hWnd = CreateWindowExA(0, szWinName, "ZORV DLA 2017", WS_OVERLAPPEDWINDOW, 0, 0, xscreen, yscreen - 38,
                             nullptr, nullptr, hInstance, nullptr);
    if (!g_hWnd) return 2;
    if (initgraphics(g_hWnd) != 0) return 3;
    ShowWindow(g_hWnd, nCmdShow);
    UpdateWindow(g_hWnd);
    return 0;
}

namespace {

// A run draws on the canvas, which goes with the main window: once the
// window is destroyed, or its canvas released while the quit message is
// still on its way, no run is called.
bool rundue() { return okdla && IsWindow(g_hWnd) && g_vhdc; }

}  // namespace

int ProgramDriver() {
    MSG msg;
    for (;;) {
        // While a run is due the loop never waits: on an empty queue it wakes
        // itself. With nothing to do it waits in GetMessageA for the user.
        if (rundue() && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) PostMessageA(g_hWnd, WM_USER, 0, 0);
        if (!GetMessageA(&msg, nullptr, 0, 0)) return static_cast<int>(msg.wParam);
        if (!TranslateAcceleratorA(g_hWnd, g_hAccel, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (rundue()) {
            if (growth) dla_centripetal();
            else dla_centrifugal();
        }
    }
}

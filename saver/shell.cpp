// The saver's entry, window class, full-screen window, message loop and
// window procedure.
#include <algorithm>
#include <utility>

#include "saver/saver.h"

HINSTANCE g_hInstance = nullptr;
HWND g_hWnd = nullptr;
HDC g_vhdc = nullptr;
HBITMAP g_hBitmap = nullptr;
RECT ClientRes = {0, 0, 0, 0};
int xscreen = 0, yscreen = 0;
int xcenter = 0, ycenter = 0;
int xresover2 = 200, yresover2 = 200;
const char szWinName[] = "ZORVWindow";
const char* const errormessage[3] = {
    "Couldn't register main window class.",
    "Couldn't create main window.",
    "Couldn't initialize graphics.",
};

namespace {

constexpr UINT kFirstInput = 0x100;  // WM_KEYDOWN
constexpr UINT kLastInput = 0x209;   // WM_MBUTTONDBLCLK
constexpr DWORD kPauseSlice = 10;    // ms the pause sleeps between looks at the queue

// Whether this program has hidden the cursor and still owes showing it.
bool cursorhidden = false;

// Removes every keyboard and mouse message waiting for the window.
void discardinput() {
    MSG msg;
    while (PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_NOREMOVE))
        PeekMessageA(&msg, g_hWnd, kFirstInput, kLastInput, PM_REMOVE);
}

// releasecanvas gives back the canvas and the cursor. It may run more than
// once (several input messages each post WM_DESTROY before the quit takes
// effect); what is already released is left alone.
void releasecanvas() {
    if (cursorhidden) {
        ShowCursor(TRUE);
        cursorhidden = false;
    }
    if (g_vhdc) {
        DeleteDC(g_vhdc);
        g_vhdc = nullptr;
    }
    if (g_hBitmap) {
        DeleteObject(g_hBitmap);
        g_hBitmap = nullptr;
    }
}

// createcanvas makes the black canvas the size of the screen, compatible
// with the window. False when the bitmap cannot be had; nothing is kept then.
bool createcanvas(HWND hWnd) {
    HDC hdc = GetDC(hWnd);
    g_vhdc = CreateCompatibleDC(hdc);
    g_hBitmap = g_vhdc ? CreateCompatibleBitmap(hdc, xscreen, yscreen) : nullptr;
    ReleaseDC(hWnd, hdc);
    if (!g_vhdc || !g_hBitmap) {
        releasecanvas();
        return false;
    }
    SelectObject(g_vhdc, g_hBitmap);
    SelectObject(g_vhdc, GetStockObject(BLACK_BRUSH));
    PatBlt(g_vhdc, 0, 0, xscreen, yscreen, PATCOPY);
    return true;
}

// Whether input waits that the window procedure ends the saver on: a key, any
// mouse move, a left, right or middle click.
bool endinginputwaiting() {
    MSG msg;
    for (auto [first, last] : {std::pair{WM_KEYDOWN, WM_KEYDOWN}, std::pair{WM_MOUSEMOVE, WM_LBUTTONDOWN},
                               std::pair{WM_RBUTTONDOWN, WM_RBUTTONDOWN}, std::pair{WM_MBUTTONDOWN, WM_MBUTTONDOWN}})
        if (PeekMessageA(&msg, g_hWnd, first, last, PM_NOREMOVE)) return true;
    return false;
}

}  // namespace

void pausecluster(DWORD ms) {
    // Sleeps in slices and looks at the queue between them, so that input
    // which ends the saver is handled at once by the loop, not after the
    // pause. Other input stays waiting and the picture stays its full time.
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD passed = GetTickCount() - start;
        if (passed >= ms || endinginputwaiting()) return;
        Sleep(std::min(ms - passed, kPauseSlice));
    }
}

void resetsaver() {
    g_hInstance = nullptr;
    g_hWnd = nullptr;
    g_vhdc = nullptr;
    g_hBitmap = nullptr;
    ClientRes = {0, 0, 0, 0};
    xscreen = yscreen = 0;
    xcenter = ycenter = 0;
    xresover2 = yresover2 = 200;
    cursorhidden = false;
    palindex = 0;
}

int WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
    // Whatever switches the saver is started with, it runs full screen.
    int code = InitWindowClass(hInstance);
    if (code == 0) code = CreateMainWindow(hInstance, nCmdShow);
    if (code == 0) return ProgramDriver();
    if (code >= 1 && code <= 3) MessageBoxA(nullptr, errormessage[code - 1], "Error", MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

int InitWindowClass(HINSTANCE hInstance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(WNDCLASSEXA);
    wc.style = CS_OWNDC | CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, "VORMIXICON");
    wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = szWinName;
    wc.hIconSm = nullptr;
    return RegisterClassExA(&wc) ? 0 : 1;
}

int CreateMainWindow(HINSTANCE hInstance, int nCmdShow) {
    g_hInstance = hInstance;
    xscreen = GetSystemMetrics(SM_CXSCREEN);
    yscreen = GetSystemMetrics(SM_CYSCREEN);
    if (xscreen < 640 || yscreen < 480) return 2;
    xcenter = xscreen / 2;
    ycenter = yscreen / 2;
    xresover2 = yresover2 = 200;

    g_hWnd = CreateWindowExA(0, szWinName, "ZORV DLA", WS_POPUP | WS_VISIBLE, 0, 0, xscreen, yscreen, nullptr,
                             nullptr, hInstance, nullptr);
    if (!g_hWnd) return 2;

    HDC hdc = GetDC(g_hWnd);
    const int bits = GetDeviceCaps(hdc, BITSPIXEL);
    ReleaseDC(g_hWnd, hdc);
    if (bits < 32) {
        // The window stays until the program ends, but the error box needs
        // the cursor back, and the canvas will not be used.
        releasecanvas();
        return 3;
    }

    ShowWindow(g_hWnd, nCmdShow);
    UpdateWindow(g_hWnd);
    SetFocus(g_hWnd);
    discardinput();
    return 0;
}

int ProgramDriver() {
    MSG msg;
    int index = 0;
    for (;;) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            // Runs are called only on an empty queue; each keeps the thread
            // until its cluster ends, two minutes pass or input arrives.
            const int result = index == 0 ? dla1() : dla2();
            if (result == 1) SendMessageA(g_hWnd, WM_CLOSE, 0, 0);
            index = 1 - index;
        }
    }
}

LRESULT MainWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            GetClientRect(hWnd, &ClientRes);
            if (!createcanvas(hWnd)) return -1;  // creation fails: "Couldn't create main window."
            ShowCursor(FALSE);
            cursorhidden = true;
            return 0;
        case WM_DESTROY:
            releasecanvas();
            PostQuitMessage(0);
            return 0;
        case WM_MOVE:
        case WM_SIZE:
            InvalidateRect(hWnd, nullptr, TRUE);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC hdc = BeginPaint(hWnd, &ps);
            if (hdc && g_vhdc) {
                const RECT& r = ps.rcPaint;
                BitBlt(hdc, r.left, r.top, r.right - r.left, r.bottom - r.top, g_vhdc, r.left, r.top, SRCCOPY);
            }
            EndPaint(hWnd, &ps);
            return 0;
        }
        case WM_KEYDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            // Between runs any touch ends the saver. The window itself stays
            // until the process ends.
            PostMessageA(hWnd, WM_DESTROY, 0, 0);
            return 0;
        default:
            return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

#include "tests/qt/probe.h"

#include <cstdlib>
#include <cstring>

namespace probe {

std::vector<Seen> seen;
HWND mainWindow = nullptr;
DialogResult dialogResult;

namespace {

const MenuResource menu{{
    {"File", 0, {{"Hello", kCmdHello, {}}, {"Quit (Esc)", kCmdQuit, {}}}},
    {"Plot (F1)", kCmdPlot, {}},
    {"Options", 0, {{"Deeper", 0, {{"Deep item", kCmdDeep, {}}}}}},
}};

const AccelTable accelerators{{{FVIRTKEY, VK_ESCAPE, kCmdQuit}, {FVIRTKEY, VK_F1, kCmdPlot}}};

IconResource makeIcon() {
    IconResource icon;
    icon.width = icon.height = 32;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) icon.pixels.push_back(RGB(x * 8, y * 8, 128));
    return icon;
}
const IconResource icon = makeIcon();

constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_CENTER;
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kGroup = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX;
constexpr DWORD kRadio = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;

const DialogTemplate dialog{
    WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT,
    " Probe Values", 0, 0, 160, 230, "MS Sans Serif", 8,
    {
        {ControlKind::Button, IDOK, "OK", kButton, 12, 210, 50, 14},
        {ControlKind::Button, IDCANCEL, "Cancel", kButton, 94, 210, 50, 14},
        {ControlKind::Edit, kEdit, "", kEditStyle, 94, 10, 50, 12},
        {ControlKind::Static, kLabel, "", kLabelStyle, 12, 12, 80, 8},
        {ControlKind::GroupBox, kGroupA, "  Kind  ", kGroup, 8, 30, 148, 60},
        {ControlKind::RadioButton, kRadioA0, "First", kRadio, 16, 42, 120, 12},
        {ControlKind::RadioButton, kRadioA0 + 1, "Second", kRadio, 16, 56, 120, 12},
        {ControlKind::RadioButton, kRadioA0 + 2, "Third", kRadio, 16, 70, 120, 12},
        {ControlKind::GroupBox, kGroupB, "  Way  ", kGroup, 8, 95, 148, 45},
        {ControlKind::RadioButton, kRadioB0, "Out", kRadio, 16, 107, 120, 12},
        {ControlKind::RadioButton, kRadioB0 + 1, "In", kRadio, 16, 121, 120, 12},
        {ControlKind::Static, kAdvice, "Wider than the dialog:\n   a label that wraps at word boundaries inside it.",
         kLabelStyle, 12, 150, 200, 40},
    }};

}  // namespace

const Module module{
    "probe",
    {{0, "PROBEMENU", &menu}},
    {{0, "PROBEMENU", &accelerators}},
    {{0, "PROBEICON", &icon}},
    {{kDialog, "", &dialog}},
};

namespace {

int checkedOf(HWND dlg, int first, int count) {
    for (int i = 0; i < count; ++i)
        if (SendDlgItemMessageA(dlg, first + i, BM_GETCHECK, 0, 0)) return i;
    return -1;
}

INT_PTR dialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            SetDlgItemTextA(dlg, kLabel, "value ( 1 - 999 )");
            SetDlgItemTextA(dlg, kEdit, "123");
            CheckRadioButton(dlg, kRadioA0, kRadioA0 + 2, kRadioA0 + 1);
            CheckRadioButton(dlg, kRadioB0, kRadioB0 + 1, kRadioB0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK) {
                char buffer[80];
                GetDlgItemTextA(dlg, kEdit, buffer, 30);
                long v = std::strtol(buffer, nullptr, 10);
                if (v < 1 || v > 999) {
                    ++dialogResult.refusals;
                    PostMessageA(dlg, WM_USER + 1, 0, 0);
                    return TRUE;
                }
                dialogResult.text = buffer;
                dialogResult.radioA = checkedOf(dlg, kRadioA0, 3);
                dialogResult.radioB = checkedOf(dlg, kRadioB0, 2);
                EndDialog(dlg, 1);
                return TRUE;
            }
            if (LOWORD(wp) == IDCANCEL) {
                EndDialog(dlg, 2);
                return TRUE;
            }
            return FALSE;
        case WM_USER + 1:
            MessageBoxA(dlg, "value range: 1 - 999", "Value Error", MB_OK | MB_ICONWARNING);
            return TRUE;
        default:
            return FALSE;
    }
}

LRESULT windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    seen.push_back({hwnd, msg, wp, lp});
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            for (int y = ps.rcPaint.top; y < ps.rcPaint.bottom; ++y)
                for (int x = ps.rcPaint.left; x < ps.rcPaint.right; ++x) SetPixel(dc, x, y, PatternAt(x, y));
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_COMMAND:
            if (LOWORD(wp) == kCmdQuit) DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            if (hwnd == mainWindow) PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace

COLORREF PatternAt(int x, int y) { return RGB(x * 7 + y, y * 5, (x ^ y) * 3); }

void PaintPattern(HWND hwnd) {
    HDC dc = GetDC(hwnd);
    RECT r;
    GetClientRect(hwnd, &r);
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) SetPixel(dc, x, y, PatternAt(x, y));
    ReleaseDC(hwnd, dc);
}

HWND CreateProbeWindow(DWORD style, int x, int y, int width, int height) {
    WNDCLASSA wc{};
    wc.style = 0;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = &module;
    wc.hIcon = LoadIconA(&module, "PROBEICON");
    wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszMenuName = (style & WS_CAPTION) ? "PROBEMENU" : nullptr;
    wc.lpszClassName = (style & WS_CAPTION) ? "ProbeWindow" : "ProbePopup";
    RegisterClassA(&wc);
    mainWindow = CreateWindowExA(0, wc.lpszClassName, "zorv probe", style, x, y, width, height, nullptr, nullptr,
                                 &module, nullptr);
    return mainWindow;
}

INT_PTR RunDialog(HWND owner) { return DialogBoxParamA(&module, MAKEINTRESOURCEA(kDialog), owner, dialogProc, 0); }

int WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    HWND hwnd = CreateProbeWindow(WS_OVERLAPPEDWINDOW, 0, 0, 420, 340);
    if (!hwnd) return 2;
    ShowWindow(hwnd, show);
    UpdateWindow(hwnd);
    HACCEL accel = LoadAcceleratorsA(instance, "PROBEMENU");
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0)) {
        if (TranslateAcceleratorA(hwnd, accel, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return static_cast<int>(m.wParam);
}

}  // namespace probe

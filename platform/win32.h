// The Win32 subset the programs are written against: types, constants and
// functions with the Win32 names and the effects the programs rely on. The
// core (platform/*.cpp) does all window bookkeeping, the message queue and
// all drawing in software; a backend (platform/backend.h) only puts windows,
// boxes and dialogs on a screen and turns native input into messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------- basic types

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using COLORREF = std::uint32_t;
using LPCSTR = const char*;
using LPSTR = char*;
using ATOM = WORD;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct Window;
struct DeviceContext;
struct GdiObject;
struct Cursor;
struct Module;
struct AccelTable;
struct MenuResource;
struct IconResource;

using HWND = Window*;
using HDC = DeviceContext*;
using HGDIOBJ = GdiObject*;
using HBITMAP = GdiObject*;
using HBRUSH = GdiObject*;
using HPEN = GdiObject*;
using HCURSOR = const Cursor*;
using HICON = const IconResource*;
using HMENU = const MenuResource*;
using HACCEL = const AccelTable*;
using HINSTANCE = const Module*;
using HLOCAL = void*;

struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

constexpr COLORREF RGB(int r, int g, int b) {
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }
constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(unsigned lo, unsigned hi) { return (lo & 0xFFFF) | ((hi & 0xFFFF) << 16); }
constexpr LPARAM MAKELPARAM(int lo, int hi) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}
constexpr int GET_X_LPARAM(LPARAM l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }

// Integer resource ids travel in a name pointer, as in Win32.
inline LPCSTR MAKEINTRESOURCEA(int id) { return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id)); }
inline bool IS_INTRESOURCE(LPCSTR p) { return reinterpret_cast<std::uintptr_t>(p) <= 0xFFFF; }

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// ------------------------------------------------------------------ messages

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_ENABLE = 0x000A;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_USER = 0x0400;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;

// Mouse-key flags carried in wParam of mouse messages.
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;
constexpr WPARAM MK_MBUTTON = 0x0010;

// -------------------------------------------------------------- virtual keys

constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_MENU = 0x12;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_F1 = 0x70;
constexpr int VK_F2 = 0x71;
constexpr int VK_F3 = 0x72;
constexpr int VK_F4 = 0x73;
constexpr int VK_F5 = 0x74;
constexpr int VK_F6 = 0x75;
constexpr int VK_F12 = 0x7B;

// ------------------------------------------------------------- window styles

constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

constexpr DWORD DS_SETFONT = 0x40;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_3DLOOK = 0x0004;

constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_CENTER = 0x300;
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD SS_LEFT = 0x0;

constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;
constexpr UINT CS_DBLCLKS = 0x0008;
constexpr UINT CS_OWNDC = 0x0020;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWDEFAULT = 10;

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;

constexpr UINT RDW_INVALIDATE = 0x0001;
constexpr UINT RDW_ERASE = 0x0004;
constexpr UINT RDW_ALLCHILDREN = 0x0080;
constexpr UINT RDW_UPDATENOW = 0x0100;
constexpr UINT RDW_NOCHILDREN = 0x0040;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

// -------------------------------------------------------------------- GDI

constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;

constexpr int PS_SOLID = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr int BITSPIXEL = 12;
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// Cursors: system cursors by integer id, as in Win32.
inline const LPCSTR IDC_ARROW = MAKEINTRESOURCEA(32512);
inline const LPCSTR IDC_IBEAM = MAKEINTRESOURCEA(32513);
inline const LPCSTR IDC_WAIT = MAKEINTRESOURCEA(32514);
inline const LPCSTR IDC_CROSS = MAKEINTRESOURCEA(32515);
inline const LPCSTR IDI_APPLICATION = MAKEINTRESOURCEA(32512);

// ------------------------------------------------------------ resources as data

// One menu item: a command (id > 0, no children) or a pop-up (children).
struct MenuItemData {
    std::string text;
    UINT id = 0;
    std::vector<MenuItemData> children;
};
struct MenuResource {
    std::vector<MenuItemData> bar;
};

constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;
struct ACCEL {
    BYTE fVirt;
    WORD key;
    WORD cmd;
};
struct AccelTable {
    std::vector<ACCEL> entries;
};

// A true-colour icon: width x height packed colours, top row first.
struct IconResource {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
};

enum class ControlKind { Button, Edit, Static, GroupBox, RadioButton };

// One control of a dialog template; positions in dialog units.
struct DialogItemTemplate {
    ControlKind kind;
    int id;
    std::string text;
    DWORD style;
    int x, y, cx, cy;
};
struct DialogTemplate {
    DWORD style;
    std::string title;
    int x, y, cx, cy;
    std::string fontName;
    int fontPoints;
    std::vector<DialogItemTemplate> items;
};

template <typename T>
struct NamedResource {
    int id = 0;              // integer id, or 0 when named
    std::string name;        // name, or empty when the id is used
    const T* data = nullptr;
};

// A program's module: its resources, found by name or id.
struct Module {
    std::string name;
    std::vector<NamedResource<MenuResource>> menus;
    std::vector<NamedResource<AccelTable>> accelerators;
    std::vector<NamedResource<IconResource>> icons;
    std::vector<NamedResource<DialogTemplate>> dialogs;
};

// ------------------------------------------------------------ window classes

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};
struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};
struct CREATESTRUCTA {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
};
struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
};

// ----------------------------------------------------------- common dialogs

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_EXPLORER = 0x00080000;

// The file-dialog record. The path and name fields point at growable
// strings rather than fixed 260-byte buffers, so no path is ever cut.
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;  // pairs of zero-ended texts, ended by a further zero
    std::string* lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    std::string* lpstrFile;       // in: initial path or pattern; out: chosen path
    DWORD nMaxFile;
    std::string* lpstrFileTitle;  // out: chosen file name without its folder
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir;
    LPCSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCSTR lpTemplateName;
};

// ================================================================ functions

// Window classes and windows.
ATOM RegisterClassA(const WNDCLASSA* wc);
ATOM RegisterClassExA(const WNDCLASSEXA* wc);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL UpdateWindow(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount);
int GetSystemMetrics(int index);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The message queue.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
void PostQuitMessage(int exitCode);
int TranslateAcceleratorA(HWND hwnd, HACCEL accel, MSG* msg);
short GetKeyState(int vkey);

// PeekMessageA is called once per block of walk steps, so its empty-queue case is
// inline: a counter decides when the native toolkit is pumped. A look at the
// whole queue (no message range) is a loop deciding whether anything waits;
// it always takes the slow path, which brings native input in first. Walks
// look at a constant range, so for them the test costs nothing.
namespace platform::detail {
struct QueueFast {
    int pending = 0;         // posted messages + invalid windows + quit request
    int pumpCountdown = 64;  // polls left before the next native pump
};
extern QueueFast g_queueFast;
BOOL PeekMessageSlow(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove);
}  // namespace platform::detail

inline BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    using platform::detail::g_queueFast;
    if (g_queueFast.pending == 0 && (filterMin | filterMax) != 0 && --g_queueFast.pumpCountdown > 0) return FALSE;
    return platform::detail::PeekMessageSlow(msg, hwnd, filterMin, filterMax, remove);
}

// Painting.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL RedrawWindow(HWND hwnd, const RECT* rect, void* region, UINT flags);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

// Device contexts and GDI objects.
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
BOOL DeleteObject(HGDIOBJ obj);
HGDIOBJ GetStockObject(int index);
HBRUSH CreateSolidBrush(COLORREF color);
HPEN CreatePen(int style, int width, COLORREF color);
int FillRect(HDC hdc, const RECT* rect, HBRUSH brush);
BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop);
BOOL Arc(HDC hdc, int left, int top, int right, int bottom, int xStart, int yStart, int xEnd, int yEnd);
BOOL MoveToEx(HDC hdc, int x, int y, POINT* previous);
BOOL LineTo(HDC hdc, int x, int y);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
int GetDeviceCaps(HDC hdc, int index);

// Every drawing on a surface stamps it with a new value of one counter, so
// a copy of a surface's contents (the growth runs' cluster map) can tell
// whether anything has drawn on it since: the stamp is unique to the surface
// and the moment.
namespace platform::detail {
extern std::uint64_t g_drawSerial;
extern std::uint64_t g_noSurfaceVersion;
}  // namespace platform::detail

// Pixel access is a bounds check and an array access, so it is inline.
struct DeviceContext {
    COLORREF* bits = nullptr;  // the selected surface, row by row
    std::uint64_t* version = &platform::detail::g_noSurfaceVersion;  // the selected surface's stamp
    int width = 0;
    int height = 0;
    RECT* dirty = nullptr;     // window surfaces: the part not yet shown
    HWND window = nullptr;     // a window's DC, or null for a memory DC
    HBITMAP bitmap = nullptr;  // memory DC: the selected bitmap
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    POINT position{};          // current position for LineTo
};

inline COLORREF GetPixel(HDC hdc, int x, int y) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(hdc->width) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(hdc->height))
        return CLR_INVALID;
    return hdc->bits[static_cast<std::size_t>(y) * static_cast<unsigned>(hdc->width) + static_cast<unsigned>(x)];
}

namespace platform::detail {
void MarkDirty(RECT* dirty, int x, int y);
}

inline COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(hdc->width) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(hdc->height))
        return CLR_INVALID;
    color &= 0x00FFFFFF;
    hdc->bits[static_cast<std::size_t>(y) * static_cast<unsigned>(hdc->width) + static_cast<unsigned>(x)] = color;
    *hdc->version = ++platform::detail::g_drawSerial;
    if (hdc->dirty) platform::detail::MarkDirty(hdc->dirty, x, y);
    return color;
}

namespace platform {
// The stamp of the surface selected into hdc (0 for none): it changes with
// every drawing on that surface, and no other surface ever has it.
inline std::uint64_t SurfaceVersion(HDC hdc) { return hdc ? *hdc->version : 0; }
}  // namespace platform

// Cursors, icons, menus, accelerators.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name);
HMENU LoadMenuA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
int ShowCursor(BOOL show);
BOOL SetCursorPos(int x, int y);
BOOL GetCursorPos(POINT* point);

// Boxes and dialogs.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dlg, INT_PTR result);
HWND GetDlgItem(HWND dlg, int id);
BOOL SetDlgItemTextA(HWND dlg, int id, LPCSTR text);
UINT GetDlgItemTextA(HWND dlg, int id, LPSTR buffer, int maxCount);
BOOL CheckRadioButton(HWND dlg, int first, int last, int check);
LRESULT SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);
BOOL GetSaveFileNameA(OPENFILENAMEA* ofn);

// Kernel services.
DWORD GetTickCount();
void Sleep(DWORD ms);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
std::string GetCurrentDirectoryString();
HLOCAL LocalAlloc(UINT flags, std::size_t bytes);
HLOCAL LocalFree(HLOCAL mem);
// Seconds of calendar time; the layer's clock, so tests can drive it.
std::int64_t CalendarTime();

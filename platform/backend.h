// The one interface a backend implements, and the window records that the
// core keeps and a backend may read. Programs never include this file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32.h"

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    HMENU menu = nullptr;
};

// A 32-bit surface of packed colours (0x00BBGGRR), row by row.
struct Surface {
    int width = 0;
    int height = 0;
    COLORREF* bits = nullptr;  // owned; calloc'd so big surfaces start as zero pages lazily
    std::uint64_t version = 0;  // stamped by every drawing (platform::SurfaceVersion)
    Surface() = default;
    Surface(int w, int h);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    void resize(int w, int h);  // keeps the overlapping top-left part
};

enum class WindowKind { Top, Dialog, Control };

struct Window {
    WindowKind kind = WindowKind::Top;
    const WindowClass* cls = nullptr;
    WNDPROC proc = nullptr;
    DLGPROC dlgProc = nullptr;  // dialogs
    std::string title;          // caption, or a control's text
    DWORD style = 0;
    HWND parent = nullptr;      // owner of a dialog, dialog of a control
    HMENU menu = nullptr;
    RECT frame{};               // position and size on the screen
    POINT clientOrigin{};       // the client area's top-left on the screen
    int clientWidth = 0;
    int clientHeight = 0;
    bool visible = false;
    bool enabled = true;
    bool destroyed = false;
    // Painting: the invalid part of the client area, empty when valid.
    RECT invalid{};
    bool eraseNeeded = false;
    // The client area's pixels and the part the backend has not yet shown.
    Surface surface;
    RECT dirty{};
    // Controls.
    ControlKind control = ControlKind::Static;
    int controlId = 0;
    bool checked = false;
    std::vector<HWND> children;
    const DialogTemplate* dialogTemplate = nullptr;
    // Dialogs.
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    void* native = nullptr;     // the backend's own data for this window
};

struct ScreenInfo {
    int width = 1024;
    int height = 768;
    int bitsPerPixel = 32;
};

struct MessageBoxRequest {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

struct FileDialogRequest {
    bool save;
    HWND owner;
    std::string title;
    std::string initialPath;  // what the path field held: a folder pattern or the last file
    std::vector<std::pair<std::string, std::string>> filters;  // description, pattern
    std::string defaultExtension;
    DWORD flags;
};

enum class CursorShape { Arrow, Cross, Wait, IBeam };

struct Cursor {
    CursorShape shape;
};

// What a backend does; the core calls it, never a program.
class Backend {
public:
    virtual ~Backend() = default;

    virtual ScreenInfo screen() = 0;

    // Native windows. createWindow sets the window's client size from its
    // frame (and its menu); the core then sizes the surface.
    virtual void createWindow(Window& w) = 0;
    virtual void destroyWindow(Window& w) = 0;
    virtual void showWindow(Window& w, bool show) = 0;
    // A window's title, or a control's text or check state, has changed.
    virtual void windowChanged(Window& w) = 0;
    virtual void setWindowEnabled(Window& w, bool enabled) = 0;
    virtual void focusWindow(Window& w) = 0;
    // Show the window's dirty surface part (w.dirty) now or soon.
    virtual void present(Window& w) = 0;

    // Turn native events into queue messages. With wait set, block until at
    // least one native event has been handled.
    virtual void pump(bool wait) = 0;
    // Whether a pump without waiting would do anything now; the layer asks
    // before it shows the dirty windows and pumps, so a backend that pumps
    // at most so often makes the polls between cheap.
    virtual bool pumpDue() { return true; }

    // Modal UI. Each runs until answered; while it waits it calls
    // platform::RunModalTurn, which dispatches the thread's messages.
    virtual int messageBox(const MessageBoxRequest& request) = 0;
    // Runs a dialog window made by the core from its template until the
    // dialog procedure has ended it (w.dialogEnded).
    virtual void runDialog(Window& dialog) = 0;
    // The chosen path, or empty when cancelled.
    virtual std::string fileDialog(const FileDialogRequest& request) = 0;

    // Cursor.
    virtual void setCursorShape(Window* w, CursorShape shape) = 0;
    virtual void setCursorVisible(bool visible) = 0;
    virtual void setCursorPos(int x, int y) = 0;
    virtual POINT cursorPos() = 0;

    // Clocks. sleep blocks the program for ms; native input made meanwhile
    // is in the queue when it returns.
    virtual DWORD tickCount() = 0;
    virtual std::int64_t calendarTime() = 0;
    virtual void sleep(DWORD ms) = 0;
};

namespace platform {

// Install the backend the layer uses; the caller keeps ownership. Installing
// resets the layer's windows, classes and queue.
void SetBackend(Backend* backend);
Backend& CurrentBackend();
void ResetState();

// Called by backends: native input becomes queue messages. Input for a
// disabled window, or for a window whose owned dialog is open, is dropped.
void PostInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// A native resize or move: the core resizes the surface, sends WM_SIZE or
// WM_MOVE and invalidates.
void NativeResized(HWND hwnd, int clientWidth, int clientHeight);
void NativeMoved(HWND hwnd, int x, int y);
// A native close request (frame's close box): WM_CLOSE is posted.
void NativeCloseRequested(HWND hwnd);

// Native dialog controls: a radio button clicked (its group is updated as
// an auto radio button's), an edit field's text changed, a button pressed.
void ClickRadio(HWND control);
void SetControlText(HWND control, const std::string& text);
void PressButton(HWND dialog, int id);

// One turn of a nested modal loop: dispatch every waiting message of the
// thread (a quit request stays pending). Returns false once a quit is pending.
bool RunModalTurn();

// The windows alive, in creation order.
std::vector<HWND> Windows();

// A file dialog that asks for an existing folder (OFN_PATHMUSTEXIST) refuses a
// path whose folder does not exist with this box: a warning under the dialog's
// title that names the folder. None when the path may be taken.
std::optional<MessageBoxRequest> MissingFolderBox(const FileDialogRequest& request, const std::string& path);

// Native pump throttle: how many empty polls pass between pumps.
void SetPumpInterval(int polls);

}  // namespace platform

// The in-memory backend: a virtual screen, windows kept as surfaces, input
// injected by the caller, message boxes, dialogs and file dialogs answered by
// scripts, and clocks the caller drives. Tests and the batch tool use it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace headless {

struct BoxRecord {
    HWND owner;
    std::string caption;
    std::string text;
    UINT type;
    bool ownerDisabled;  // whether the owner was disabled while the box was open
};

// What a dialog script sees and does while a dialog is open.
class DialogDriver {
public:
    explicit DialogDriver(HWND dialog) : dialog_(dialog) {}
    HWND handle() const { return dialog_; }
    const DialogTemplate* dialogTemplate() const { return dialog_->dialogTemplate; }
    std::string title() const { return dialog_->title; }
    std::string text(int id) const;
    bool checked(int id) const;
    bool ownerEnabled() const;
    void setText(int id, const std::string& text);  // as the user types it
    void click(int id);                              // a radio button
    void press(int id);                              // a push button: IDOK, IDCANCEL
    int actions() const { return actions_; }

private:
    HWND dialog_;
    int actions_ = 0;
};

class Backend final : public ::Backend {
public:
    explicit Backend(int width = 1024, int height = 768, int bitsPerPixel = 32);
    ~Backend() override;

    // The virtual screen.
    void setScreen(int width, int height, int bitsPerPixel);

    // Clocks: both stand still unless the caller moves them; Sleep advances
    // the tick count by its argument.
    DWORD ticks = 0;
    std::int64_t calendar = 1700000000;
    void advance(DWORD ms) { ticks += ms; }

    // Input, in client coordinates, as the user would make it.
    void keyDown(HWND hwnd, int vk);
    void keyUp(HWND hwnd, int vk);
    void key(HWND hwnd, int vk);  // down and up
    void mouseMove(HWND hwnd, int x, int y);
    void mouseDown(HWND hwnd, UINT button, int x, int y);  // WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN
    void click(HWND hwnd, UINT button, int x, int y);      // down and up
    void closeFromFrame(HWND hwnd);

    // Scripts. Each message box asks onMessageBox for its answer (default:
    // IDYES for a question, IDOK otherwise). A dialog calls onDialog each time
    // its modal loop has nothing to do; the script must act or the run fails.
    // A file dialog returns onFileDialog's path, or cancels on an empty one;
    // the layer refuses a path in a missing folder and asks again at it.
    std::function<int(const BoxRecord&)> onMessageBox;
    std::function<void(DialogDriver&)> onDialog;
    std::function<std::string(const FileDialogRequest&)> onFileDialog;
    // Called at every native pump, so a test can act while a program's own
    // loop runs. A program waiting for input calls it again and again, up to
    // kWaitTurns times, until something is posted.
    std::function<void()> onPump;
    static constexpr long kWaitTurns = 1000000;

    // What happened.
    std::vector<BoxRecord> boxes;
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<std::string> dialogsShown;  // titles
    long pumps = 0;
    CursorShape cursorShape = CursorShape::Arrow;
    bool cursorVisible = true;
    POINT cursor{0, 0};

    // A window's client pixels as shown; CLR_INVALID outside.
    COLORREF pixel(HWND hwnd, int x, int y) const;
    // Writes a window's client area as a binary PPM, for reading failed tests.
    bool savePPM(HWND hwnd, const std::string& path) const;

    // Backend.
    ScreenInfo screen() override { return screen_; }
    void createWindow(Window& w) override;
    void destroyWindow(Window&) override {}
    void showWindow(Window&, bool) override {}
    void windowChanged(Window&) override {}
    void setWindowEnabled(Window&, bool) override {}
    void focusWindow(Window&) override {}
    void present(Window& w) override { w.dirty = {0, 0, 0, 0}; }
    void pump(bool wait) override;
    int messageBox(const MessageBoxRequest& request) override;
    void runDialog(Window& dialog) override;
    std::string fileDialog(const FileDialogRequest& request) override;
    void setCursorShape(Window*, CursorShape shape) override { cursorShape = shape; }
    void setCursorVisible(bool visible) override { cursorVisible = visible; }
    void setCursorPos(int x, int y) override { cursor = {x, y}; }
    POINT cursorPos() override { return cursor; }
    DWORD tickCount() override { return ticks; }
    std::int64_t calendarTime() override { return calendar; }
    void sleep(DWORD ms) override { ticks += ms; }

    // Non-client sizes of an overlapped window, so client areas are smaller
    // than frames as on a desktop.
    static constexpr int kFrame = 8;
    static constexpr int kCaption = 23;
    static constexpr int kMenu = 20;

private:
    ScreenInfo screen_;
};

}  // namespace headless

#include "platform/headless/headless.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace headless {

Backend::Backend(int width, int height, int bitsPerPixel) : screen_{width, height, bitsPerPixel} {
    platform::SetBackend(this);
}

Backend::~Backend() { platform::SetBackend(nullptr); }

void Backend::setScreen(int width, int height, int bitsPerPixel) { screen_ = {width, height, bitsPerPixel}; }

void Backend::createWindow(Window& w) {
    if (w.kind != WindowKind::Top) return;
    int width = w.frame.right - w.frame.left, height = w.frame.bottom - w.frame.top;
    int left = 0, top = 0, right = 0, bottom = 0;
    if (w.style & WS_CAPTION) top += kCaption;
    if (w.style & WS_THICKFRAME) left = right = bottom = kFrame, top += kFrame;
    if (w.menu) top += kMenu;
    w.clientWidth = std::max(width - left - right, 0);
    w.clientHeight = std::max(height - top - bottom, 0);
    w.clientOrigin = {w.frame.left + left, w.frame.top + top};
}

void Backend::keyDown(HWND hwnd, int vk) { platform::PostInput(hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 1); }

void Backend::keyUp(HWND hwnd, int vk) {
    platform::PostInput(hwnd, WM_KEYUP, static_cast<WPARAM>(vk), static_cast<LPARAM>(0xC0000001u));
}

void Backend::key(HWND hwnd, int vk) {
    keyDown(hwnd, vk);
    keyUp(hwnd, vk);
}

void Backend::mouseMove(HWND hwnd, int x, int y) {
    if (hwnd) cursor = {hwnd->clientOrigin.x + x, hwnd->clientOrigin.y + y};
    platform::PostInput(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

void Backend::mouseDown(HWND hwnd, UINT button, int x, int y) {
    if (hwnd) cursor = {hwnd->clientOrigin.x + x, hwnd->clientOrigin.y + y};
    WPARAM keys = button == WM_LBUTTONDOWN ? MK_LBUTTON : button == WM_RBUTTONDOWN ? MK_RBUTTON : MK_MBUTTON;
    platform::PostInput(hwnd, button, keys, MAKELPARAM(x, y));
}

void Backend::click(HWND hwnd, UINT button, int x, int y) {
    mouseDown(hwnd, button, x, y);
    platform::PostInput(hwnd, button + 1, 0, MAKELPARAM(x, y));
}

void Backend::closeFromFrame(HWND hwnd) { platform::NativeCloseRequested(hwnd); }

void Backend::pump(bool wait) {
    // A program waiting for input gives the script turn after turn, as time
    // would pass on a desktop, until it has posted something.
    for (long turns = 0;; ++turns) {
        ++pumps;
        if (onPump) onPump();
        if (!wait || platform::detail::g_queueFast.pending > 0) return;
        if (!onPump || turns == kWaitTurns) {
            // Nothing native will ever arrive: a loop waiting here would hang.
            throw std::logic_error("headless: the program waits for input that no script will send");
        }
    }
}

int Backend::messageBox(const MessageBoxRequest& request) {
    BoxRecord record{request.owner, request.caption, request.text, request.type,
                     request.owner && !request.owner->enabled};
    boxes.push_back(record);
    int answer = (request.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    if (onMessageBox) answer = onMessageBox(record);
    // The box's own modal loop serves the thread's other messages meanwhile.
    platform::RunModalTurn();
    return answer;
}

void Backend::runDialog(Window& dialog) {
    dialogsShown.push_back(dialog.title);
    DialogDriver driver(&dialog);
    for (;;) {
        if (!platform::RunModalTurn()) return;
        if (dialog.dialogEnded) return;
        if (!onDialog) throw std::logic_error("headless: dialog \"" + dialog.title + "\" opened with no script");
        int before = driver.actions();
        onDialog(driver);
        if (dialog.dialogEnded) return;
        if (driver.actions() == before && platform::detail::g_queueFast.pending == 0)
            throw std::logic_error("headless: the script left dialog \"" + dialog.title + "\" waiting");
    }
}

std::string Backend::fileDialog(const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    std::string chosen = onFileDialog ? onFileDialog(request) : std::string();
    platform::RunModalTurn();
    return chosen;
}

COLORREF Backend::pixel(HWND hwnd, int x, int y) const {
    if (!hwnd || x < 0 || y < 0 || x >= hwnd->surface.width || y >= hwnd->surface.height) return CLR_INVALID;
    return hwnd->surface.bits[static_cast<std::size_t>(y) * hwnd->surface.width + x];
}

bool Backend::savePPM(HWND hwnd, const std::string& path) const {
    if (!hwnd) return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", hwnd->surface.width, hwnd->surface.height);
    for (int y = 0; y < hwnd->surface.height; ++y)
        for (int x = 0; x < hwnd->surface.width; ++x) {
            COLORREF c = pixel(hwnd, x, y);
            unsigned char rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
            std::fwrite(rgb, 1, 3, f);
        }
    return std::fclose(f) == 0;
}

std::string DialogDriver::text(int id) const {
    HWND c = GetDlgItem(dialog_, id);
    return c ? c->title : std::string();
}

bool DialogDriver::checked(int id) const {
    HWND c = GetDlgItem(dialog_, id);
    return c && c->checked;
}

bool DialogDriver::ownerEnabled() const { return !dialog_->parent || dialog_->parent->enabled; }

void DialogDriver::setText(int id, const std::string& text) {
    ++actions_;
    platform::SetControlText(GetDlgItem(dialog_, id), text);
}

void DialogDriver::click(int id) {
    ++actions_;
    platform::ClickRadio(GetDlgItem(dialog_, id));
}

void DialogDriver::press(int id) {
    ++actions_;
    platform::PressButton(dialog_, id);
}

}  // namespace headless

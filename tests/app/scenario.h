// Runs the whole program, WinMain and all, on the headless backend with a
// script: steps checked at every native pump (wait for a state, then act),
// and queued answers to dialogs, file dialogs and questions.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/resources.h"
#include "app/winmain.h"
#include "canvas/canvas.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"

constexpr COLORREF kGrey = RGB(128, 128, 128);

class Scenario : public ::testing::Test {
protected:
    headless::Backend screen;
    std::filesystem::path dir;
    std::vector<std::function<bool()>> steps;
    std::size_t at = 0;
    long pumpsLeft = 3'000'000;
    std::deque<std::function<void(headless::DialogDriver&)>> dialogSteps;
    std::deque<std::string> files;  // answers to file dialogs; "" cancels
    std::deque<int> answers;        // answers to questions (Yes/No boxes)
    std::vector<HWND> dialogHandles;
    std::function<void(const headless::BoxRecord&)> onQuestion;  // looks at the screen while a question is open

    void SetUp() override {
        resetsettings();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("zorv_app_" + std::string(info->test_suite_name()) + "_" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        screen.onDialog = [this](headless::DialogDriver& d) {
            if (dialogHandles.empty() || dialogHandles.back() != d.handle()) dialogHandles.push_back(d.handle());
            if (dialogSteps.empty()) return;  // the backend reports the stalled dialog
            auto step = std::move(dialogSteps.front());
            dialogSteps.pop_front();
            step(d);
        };
        screen.onFileDialog = [this](const FileDialogRequest&) {
            if (files.empty()) {
                ADD_FAILURE() << "unexpected file dialog";
                return std::string();
            }
            std::string path = files.front();
            files.pop_front();
            return path;
        };
        screen.onMessageBox = [this](const headless::BoxRecord& box) {
            if ((box.type & MB_TYPEMASK) != MB_YESNO) return IDOK;
            if (onQuestion) onQuestion(box);
            if (answers.empty()) {
                ADD_FAILURE() << "unexpected question " << box.text;
                return IDNO;
            }
            int a = answers.front();
            answers.pop_front();
            return a;
        };
    }

    void TearDown() override {
        releasecanvas();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // A fresh layer and settings for one more run in the same test.
    void restart() {
        releasecanvas();
        resetsettings();
        platform::SetBackend(&screen);
        steps.clear();
        at = 0;
        screen.boxes.clear();
    }

    // Script steps, taken one at a time at the native pumps.
    void until(std::function<bool()> condition) { steps.push_back(std::move(condition)); }
    void then(std::function<void()> action) {
        steps.push_back([action = std::move(action)] {
            action();
            return true;
        });
    }
    void press(int vk) {
        then([this, vk] { screen.key(g_hWnd, vk); });
    }
    // Lets the program handle what is queued before the next step.
    void settle() {
        until([n = 3]() mutable { return --n == 0; });
    }
    void dialog(std::function<void(headless::DialogDriver&)> step) { dialogSteps.push_back(std::move(step)); }
    // Waits until no run is active and every queued answer has been used,
    // then presses Esc.
    void quit() {
        until([this] { return idle() && dialogSteps.empty() && files.empty() && answers.empty(); });
        press(VK_ESCAPE);
    }

    int run(int width, int height, std::string args = "", int bits = 32) {
        screen.setScreen(width, height, bits);
        platform::SetPumpInterval(16);
        screen.onPump = [this] {
            if (--pumpsLeft < 0) throw std::runtime_error("scenario stuck at step " + std::to_string(at));
            if (at < steps.size() && steps[at]()) ++at;
        };
        int code = WinMain(&zorvdla, nullptr, args.data(), SW_SHOWNORMAL);
        EXPECT_EQ(at, steps.size()) << "the program ended before the script";
        return code;
    }

    // States.
    static bool idle() { return okdla == 0; }
    static bool completed() { return okdla == 0 && firstloop == 1; }
    static bool growing() { return okdla == 1 && firstloop == 0; }

    // The canvas.
    static int clusterpixels() {
        int n = 0;
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) n += GetPixel(g_vhdc, x, y) != bkgd;
        return n;
    }
    // The canvas bitmap's pixels, at the size it was last made.
    static std::vector<COLORREF> canvas() {
        std::vector<COLORREF> out;
        for (int y = 0; y < g_vhdc->height; ++y)
            for (int x = 0; x < g_vhdc->width; ++x) out.push_back(GetPixel(g_vhdc, x, y));
        return out;
    }
    static bool canvasall(COLORREF c) {
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x)
                if (GetPixel(g_vhdc, x, y) != c) return false;
        return true;
    }
    COLORREF win(int x, int y) const { return screen.pixel(g_hWnd, x, y); }
    // The window's client pixels in (0, 0)-(w, h).
    std::vector<COLORREF> corner(int w, int h) const {
        std::vector<COLORREF> out;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) out.push_back(win(x, y));
        return out;
    }
    int boxescaptioned(const std::string& caption) const {
        int n = 0;
        for (const auto& b : screen.boxes) n += b.caption == caption;
        return n;
    }
    const headless::BoxRecord* lastbox() const { return screen.boxes.empty() ? nullptr : &screen.boxes.back(); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
};

// The whole program, from WinMain to its exit code, on the headless backend
// with a script (steps taken at the native pumps: wait for a state, then act)
// and queued answers to dialogs, file dialogs and questions. Asserts on the
// boxes shown, the flags, the canvas and window pixels and the files written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "app/resources.h"
#include "app/winmain.h"
#include "canvas/canvas.h"
#include "canvas/defpalette.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "platform/headless/headless.h"

namespace {

constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr UINT kInfo = MB_ICONINFORMATION | MB_OK, kWarn = MB_ICONWARNING | MB_OK;
using Box = std::tuple<std::string, std::string, HWND, UINT>;  // caption, text, owner, type

// A parameter file with the given direction, radius and grey background, and
// a palette whose entry i is (i, g, b).
void writeparams(const std::string& path, int direction, int radius, int back, int g, int b) {
    DLA d{0, direction, radius, 80, 0, 0, back, back, back, {}};
    for (int i = 0; i < 256; ++i) std::tie(d.palette[i][0], d.palette[i][1], d.palette[i][2]) = std::tuple(i, g, b);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(&d), sizeof d);
}

bool paletteramp(int g, int b) {
    for (int i = 0; i < 256; ++i)
        if (palette[i][0] != i || palette[i][1] != g || palette[i][2] != b) return false;
    return true;
}

bool defaultpaletteset() { return std::memcmp(palette, defaultpalette, sizeof palette) == 0; }

class App : public ::testing::Test {
protected:
    headless::Backend screen;
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("zorv_app_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::vector<std::function<bool()>> steps;
    std::size_t at = 0;
    std::deque<std::function<void(headless::DialogDriver&)>> dialogSteps;
    std::deque<std::string> files;  // answers to file dialogs; "" cancels
    std::deque<int> answers;        // answers to Yes/No questions
    HWND lastDialog = nullptr;
    std::vector<COLORREF> paused;  // the canvas as a test saw it
    std::function<void(const headless::BoxRecord&)> onQuestion;  // looks at the screen while a question is open

    template <class T>
    static T pop(std::deque<T>& queue) {
        EXPECT_FALSE(queue.empty()) << "an unexpected file dialog or question";
        if (queue.empty()) return T();
        T t = std::move(queue.front());
        return queue.pop_front(), t;
    }
    void SetUp() override {
        resetsettings();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        screen.onDialog = [this](headless::DialogDriver& d) {
            lastDialog = d.handle();
            if (!dialogSteps.empty()) pop(dialogSteps)(d);  // else the backend reports the stalled dialog
        };
        screen.onFileDialog = [this](const FileDialogRequest&) { return pop(files); };
        screen.onMessageBox = [this](const headless::BoxRecord& box) {
            if ((box.type & MB_TYPEMASK) != MB_YESNO) return int{IDOK};
            if (onQuestion) onQuestion(box);
            return pop(answers);
        };
    }
    void TearDown() override { releasecanvas(), std::filesystem::remove_all(dir); }

    void until(std::function<bool()> condition) { steps.push_back(std::move(condition)); }
    void then(std::function<void()> act) { steps.push_back([act = std::move(act)] { return act(), true; }); }
    void press(int vk) { then([this, vk] { screen.key(g_hWnd, vk); }); }
    // A dialog step: type each text (a null text clicks the control), then press the button.
    void enter(std::vector<std::pair<int, const char*>> texts, int button = IDOK) {
        dialogSteps.push_back([=](headless::DialogDriver& d) {
            for (auto [id, text] : texts) text ? d.setText(id, text) : d.click(id);
            d.press(button);
        });
    }
    // Waits until every queued answer has been used and what it caused is handled.
    void drain() {
        until([this] { return dialogSteps.empty() && files.empty() && answers.empty(); });
        until([n = 3]() mutable { return --n == 0; });
    }
    void pauseearly() {
        until([] { return growing() && clusterpixels() >= 12; });
        then([this] { screen.keyDown(g_hWnd, VK_PAUSE); });
        until(idle);
    }
    void quit() {
        drain();
        until(idle);
        press(VK_ESCAPE);
    }
    int run(int width, int height, std::string args = "", int bits = 32) {
        screen.setScreen(width, height, bits);
        platform::SetPumpInterval(16);
        screen.onPump = [this, pumps = 3'000'000]() mutable {
            if (--pumps < 0) throw std::runtime_error("scenario stuck at step " + std::to_string(at));
            if (at < steps.size() && steps[at]()) ++at;
        };
        int code = WinMain(&zorvdla, nullptr, args.data(), SW_SHOWNORMAL);
        EXPECT_EQ(at, steps.size()) << "the program ended before the script";
        return code;
    }

    static bool idle() { return okdla == 0; }
    static bool growing() { return okdla == 1 && firstloop == 0; }
    static std::vector<COLORREF> canvas() {
        std::vector<COLORREF> out;
        for (int i = 0, w = g_vhdc->width; i < w * g_vhdc->height; ++i) out.push_back(GetPixel(g_vhdc, i % w, i / w));
        return out;
    }
    static long clusterpixels() { return std::ranges::count_if(canvas(), [](COLORREF c) { return c != bkgd; }); }
    static bool canvasgrey() { return std::ranges::all_of(canvas(), [](COLORREF c) { return c == kGrey; }); }
    COLORREF win(int x, int y) const { return screen.pixel(g_hWnd, x, y); }
    std::vector<COLORREF> corner() const {  // the window's pixels under the preview
        std::vector<COLORREF> out;
        for (int i = 0; i < 296 * 100; ++i) out.push_back(win(i % 296, i / 296));
        return out;
    }
    static Box box(const headless::BoxRecord& b) { return {b.caption, b.text, b.owner, b.type}; }
    Box lastbox() const { return box(screen.boxes.back()); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
};

TEST_F(App, StartsGrowingAtOnceThenSavesTheFinishedImageAndF1StartsANewOne) {
    until([] { return idle() && firstloop == 1; });  // completed
    then([this] {
        RECT r;
        GetWindowRect(g_hWnd, &r);
        EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom, xres, yres), std::tuple(0, 0, 1024, 730, 400, 400));
        EXPECT_GT(clusterpixels(), 500);
        EXPECT_EQ(win(200, 200), GetPixel(g_vhdc, 200, 200)) << "the seed shows in the window";
        files.push_back(path("a.tga"));
        screen.key(g_hWnd, 'S');
    });
    drain();
    press(VK_F1);
    until(growing);
    then([this] {
        EXPECT_LT(clusterpixels(), 20) << "F1 after completion starts a new cluster";
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    quit();

    EXPECT_EQ(run(1024, 768), 0);
    ASSERT_EQ(screen.boxes.size(), 3u) << "the help text once, first";
    EXPECT_EQ(box(screen.boxes[0]), Box("HELP", HELP_TEXT, nullptr, kInfo));
    EXPECT_EQ(box(screen.boxes[1]), Box("ZORV DLA 2017", "Image saved as a.tga", nullptr, kInfo));
    EXPECT_EQ(std::get<1>(lastbox()), "Parameters saved as a.dla\n\nLoad via ' File ' menu or by double-clicking.");
    EXPECT_EQ(std::filesystem::file_size(path("a.tga")), 18u + 400u * 400u * 3u + 26u);
    EXPECT_EQ(std::filesystem::file_size(path("a.dla")), sizeof(DLA));
}

TEST_F(App, PauseAndClickStopARunPlotImageResumesItAndNothingElseIsHonouredMeanwhile) {
    long count = 0;
    until([] { return growing() && clusterpixels() >= 12; });
    then([this] {
        for (int id : {100, 105, 110, 115, 130, 140, 150, 160, 165, 170, 175, 180, 190, 195})
            SendMessageA(g_hWnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
        SendMessageA(g_hWnd, WM_KEYDOWN, 'D', 0);
        EXPECT_TRUE(screen.boxes.size() == 1 && screen.fileDialogs.empty() && screen.dialogsShown.empty());
        EXPECT_EQ(std::tuple(debug, greyscale, firstloop, IsWindow(g_hWnd) != 0), std::tuple(0, 0, 0, true));
        SendMessageA(g_hWnd, WM_COMMAND, IDM_PLOT, 0);
        EXPECT_EQ(std::pair(okdla, terminate), std::pair(1, 0));
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    until(idle);
    then([&] {
        EXPECT_EQ(firstloop, 0) << "a stopped cluster can be resumed";
        paused = canvas();
        count = clusterpixels();
        screen.key(g_hWnd, VK_F1);
    });
    until([&] { return growing() && clusterpixels() > count + 3; });
    then([&] {
        auto now = canvas();
        for (std::size_t i = 0; i < paused.size(); ++i)
            if (paused[i] == bkgd) now[i] = bkgd;
        EXPECT_EQ(now, paused) << "the same cluster goes on";
        screen.click(g_hWnd, WM_LBUTTONDOWN, 5, 5);
    });
    until(idle);
    then([] { EXPECT_EQ(firstloop, 0); });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, ParametersRefuseBadEntriesThenResizeOrClearAsTheChangeAsks) {
    const char* size = "xres / yres range: 100 - 9600";
    // What is typed before each OK, and the error it gives; the last leaves the values as they were.
    const std::vector<std::pair<std::vector<std::pair<int, const char*>>, const char*>> entries = {
        {{{IDC_XRES, "abc"}}, size}, {{{IDC_XRES, "99"}}, size}, {{{IDC_XRES, "9601"}}, size},
        {{{IDC_XRES, "100"}, {IDC_RADIUS, "4"}}, "radius range: 5 - 50"},
        {{{IDC_RADIUS, "10"}, {IDC_STICKINESS, "0"}}, "stickiness range: 1 - 100"},
        {{{IDC_STICKINESS, "100"}}, nullptr},
    };
    pauseearly();
    then([&] {
        paused = canvas();
        for (const auto& e : entries) enter(e.first);
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([&] {
        ASSERT_EQ(screen.boxes.size(), entries.size());
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            EXPECT_EQ(box(screen.boxes[i + 1]), Box("Parameter Error", entries[i].second, lastDialog, kWarn));
        EXPECT_EQ(canvas(), paused) << "accepted without a change: the paused cluster survives";
        EXPECT_EQ(std::tuple(firstloop, newparam, newdimensions), std::tuple(0, 0, 0));
        enter({{IDC_XRES, "150px"}, {IDC_YRES, "abc"}});
        enter({}, IDCANCEL);
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([&] {
        EXPECT_EQ(box(screen.boxes.back()), Box("Parameter Error", size, lastDialog, kWarn));
        EXPECT_EQ(std::tuple(xres, yres, newdimensions), std::tuple(150, 100, 1)) << "the width before the bad height";
        EXPECT_TRUE(canvas() == paused && firstloop == 0) << "no resize until a dialog is accepted";
        enter({{IDC_YRES, "120"}, {IDC_STICKINESS, "60"}});
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([this] {
        EXPECT_EQ(std::tuple(g_vhdc->width, g_vhdc->height, firstloop), std::tuple(150, 120, 1)) << "the stored width";
        EXPECT_TRUE(canvasgrey() && win(140, 110) == kGrey);
        EXPECT_EQ(std::tuple(newdimensions, newparam, probability), std::tuple(0, 1, 60)) << "newparam stays set";
    });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

// F5 and M with and without a change; a MAP file rejected then cancelled,
// accepted, bad and unreadable; greyscale and the default palette; the
// background colour with its preview; D on and off.
TEST_F(App, AlgorithmColoringPaletteBackgroundAndDebugCommands) {
    std::ofstream(path("bad.map")) << "1 2 3\n4,5,6\n";
    for (int i = 0; i < 256; ++i) std::ofstream(path("good.map"), std::ios::app) << i << " 99 7  colour " << i << "\n";
    std::vector<COLORREF> window;
    pauseearly();
    then([&] { paused = canvas(), enter({}), enter({}); });  // OK without a change
    press(VK_F5);
    press('M');
    drain();
    then([&] {
        EXPECT_TRUE(canvas() == paused && firstloop == 0) << "nothing changed, nothing cleared";
        screen.boxes.clear();
        files = {path("good.map"), ""};  // the file dialog comes back after No; cancel it
        answers.push_back(IDNO);
        onQuestion = [this](const headless::BoxRecord& b) {
            EXPECT_EQ(b.text, "Accept palette?");
            EXPECT_EQ(std::pair(win(20, 50), win(275, 50)), std::pair(RGB(0, 99, 7), RGB(255, 99, 7))) << "stripes";
        };
        screen.key(g_hWnd, 'F');
    });
    drain();
    then([&] {
        EXPECT_TRUE(defaultpaletteset() && canvas() == paused && firstloop == 0);
        EXPECT_EQ(screen.boxes.size(), 1u) << "the question only: cancelling says nothing";
        files = {path("good.map"), path("bad.map"), path("missing.map")};
        answers.push_back(IDYES);
        screen.key(g_hWnd, 'F');
    });
    press('F');
    press('F');
    drain();
    then([this] {
        const Box refused("MAP file error", "Error opening MAP file", g_hWnd, kWarn);
        ASSERT_EQ(screen.boxes.size(), 4u);
        EXPECT_TRUE(box(screen.boxes[2]) == refused && lastbox() == refused) << "a bad file, then an unreadable one";
        EXPECT_TRUE(paletteramp(99, 7)) << "accepted; the refused files leave it";
        onQuestion = nullptr;
        screen.key(g_hWnd, 'G');
    });
    until([] { return greyscale == 1; });
    then([this] {
        EXPECT_EQ(lastbox(), Box("PALETTE", "Greyscale palette set", nullptr, MB_OK));
        screen.key(g_hWnd, 'P');
    });
    until([] { return greyscale == 0; });
    then([this] {
        EXPECT_TRUE(defaultpaletteset()) << "back to the palette the program started with";
        EXPECT_EQ(lastbox(), Box("PALETTE", "Default palette restored", nullptr, MB_OK));
    });
    press(VK_F1);
    pauseearly();
    then([&] {
        window = corner();
        paused = canvas();
        enter({{IDC_RED, "10"}, {IDC_GREEN, "20"}, {IDC_BLUE, "30"}});
        answers.push_back(IDNO);
        onQuestion = [this](const headless::BoxRecord& b) {
            EXPECT_EQ(box(b), Box("Preview", "Accept background?", nullptr, MB_YESNO | MB_ICONINFORMATION));
            EXPECT_EQ(win(10, 10), RGB(10, 20, 30)) << "the candidate shows in the corner";
        };
        dialogSteps.push_back([](headless::DialogDriver& d) {
            EXPECT_EQ(d.text(IDC_RED) + d.text(IDC_BLUE), "255230") << "reopened with the colour in force";
            d.press(IDCANCEL);
        });
        screen.key(g_hWnd, 'B');
    });
    drain();
    then([&] {
        EXPECT_EQ(corner(), window) << "the corner is put back in the window";
        EXPECT_EQ(canvas(), paused) << "and in the canvas";
        EXPECT_EQ(std::pair(bkgd, firstloop), std::pair(RGB(255, 245, 230), 0));
        onQuestion = nullptr;
        enter({{IDC_RED, "0"}, {IDC_GREEN, "0"}, {IDC_BLUE, "0"}});
        answers.push_back(IDYES);
        screen.key(g_hWnd, 'B');
    });
    until([] { return firstloop == 1; });
    then([] { EXPECT_TRUE(bkgd == RGB(0, 0, 0) && canvasgrey()); });
    press(VK_F1);
    until(growing);
    then([this] {
        EXPECT_EQ(std::pair(GetPixel(g_vhdc, 0, 0), win(0, 0)), std::pair(RGB(0, 0, 0), RGB(0, 0, 0)));
        EXPECT_EQ(palette[0][0], 1) << "the black palette entry was nudged off the background";
        enter({{IDC_DISTANCE, nullptr}});  // for M, then F5 below
        enter({{IDC_FRACTINT, nullptr}});
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    until(idle);
    press('M');
    until([] { return firstloop == 1; });
    then([] { EXPECT_TRUE(coloring == 1 && canvasgrey()); });
    press(VK_F1);
    pauseearly();
    press(VK_F5);
    until([] { return firstloop == 1; });
    then([] { EXPECT_TRUE(algorithm == 1 && canvasgrey()); });
    press('D');
    until([] { return debug == 1; });
    press('D');
    until([] { return debug == 0; });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
    EXPECT_EQ(std::get<1>(box(screen.boxes.end()[-2])), "Debugging display turned on.");
    EXPECT_EQ(lastbox(), Box("ZORV DLA 2017", "Debugging display turned off.", nullptr, kInfo));
}

// A quoted path on the command line starts with that file; loading another
// file keeps the picture and starts afresh only for the other direction; P
// restores the first file's palette.
TEST_F(App, ParameterFilesFromTheCommandLineAndFromLoad) {
    writeparams(path("start.dla"), 1, 8, 9, 33, 44);
    writeparams(path("a.dla"), 1, 7, 2, 40, 50);
    writeparams(path("other.dla"), 0, 9, 5, 60, 70);
    until(growing);
    then([this] {
        EXPECT_EQ(std::tuple(growth, startradius, GetPixel(g_vhdc, 0, 0)), std::tuple(1, 8, RGB(9, 9, 9)));
        EXPECT_TRUE(paletteramp(33, 44) && screen.boxes.empty()) << "a silent load; a centripetal run shows no help";
    });
    pauseearly();
    then([&] {
        paused = canvas();
        files.push_back(path("a.dla"));
        screen.key(g_hWnd, 'L');
    });
    drain();
    then([&] {
        EXPECT_EQ(lastbox(), Box("ZORV DLA 2017", "Parameter file  a.dla  loaded.", nullptr, kInfo));
        EXPECT_TRUE(startradius == 7 && bkgd == RGB(2, 2, 2) && paletteramp(40, 50));
        EXPECT_EQ(firstloop, 0) << "the same direction can resume the paused cluster";
        EXPECT_EQ(canvas(), paused) << "loading does not clear the picture";
        files.push_back(path("other.dla"));
        screen.key(g_hWnd, 'L');
    });
    drain();
    then([&] {
        EXPECT_EQ(std::pair(growth, firstloop), std::pair(0, 1)) << "the other direction must start a new cluster";
        EXPECT_EQ(canvas(), paused);
        screen.key(g_hWnd, 'P');
    });
    until([] { return paletteramp(33, 44); });  // not the loaded file's palette: the one the program started with
    quit();

    EXPECT_EQ(run(1024, 228, std::string(1, '"').append(path("start.dla")).append(1, '"')), 0);
}

TEST_F(App, ADisplayBelowTrueColourEndsAtStartUp) {
    EXPECT_EQ(run(1024, 768, "", 16), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(box(screen.boxes[0]), Box("Error", "Couldn't initialize graphics.", nullptr, kWarn));
    EXPECT_TRUE(platform::Windows().empty() && firsttime == 1) << "the window is freed; no growth run was called";
}

TEST_F(App, A480HighScreenGivesA352SquareImageAndEndingMidRunCallsNoMoreRuns) {
    until(growing);
    then([] {
        EXPECT_EQ(std::tuple(xres, yres, g_vhdc->width, g_vhdc->height), std::tuple(352, 352, 352, 352));
        // The loop must not call the run again once the window and canvas are gone.
        PostMessageA(g_hWnd, WM_DESTROY, 0, 0);
    });
    EXPECT_EQ(run(1024, 480), 0);
    EXPECT_EQ(g_vhdc, nullptr);
}

}  // namespace

// The whole of zorv-dla, from WinMain to its exit code, on the headless
// backend: a script of steps taken at the native pumps (wait for a state,
// then act), queued answers to dialogs, file dialogs and questions, and a
// log of every surface shown (dialog and file-dialog titles, box texts),
// compared with the texts the user reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <tuple>

#include "app/winmain.h"
#include "canvas/canvas.h"
#include "canvas/defpalette.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "platform/headless/headless.h"
#include "tests/texts.h"

extern const Module zorvdla;

namespace {

namespace fs = std::filesystem;
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr UINT kInfo = MB_ICONINFORMATION | MB_OK, kWarn = MB_ICONWARNING | MB_OK;
using Box = std::tuple<std::string, std::string, HWND, UINT>;  // caption, text, owner, type
constexpr int kEdits[] = {210, 220, 230, 240};                 // width, height, radius, stickiness
constexpr int kRed = 520, kGreen = 521, kBlue = 522;

// A parameter file with the given direction and radius, grey background
// `back`, and a palette whose entry i is (i, g, b).
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

class App : public ::testing::Test {
protected:
    headless::Backend screen;
    fs::path dir = fs::temp_directory_path() /
                   ("zorv_app_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::vector<std::function<bool()>> steps;
    std::size_t at = 0;
    std::deque<std::function<void(headless::DialogDriver&)>> dialogSteps;  // none queued: Cancel
    std::deque<std::string> files;                                         // none queued: cancel
    std::deque<int> answers;                                               // to Yes/No questions
    std::vector<std::string> shown;                                        // every surface, in order
    std::function<void(const FileDialogRequest&)> onFile;                  // looks while a file dialog is open
    std::function<void(const headless::BoxRecord&)> onQuestion;            // looks while a question is open
    HWND lastDialog = nullptr;
    std::vector<COLORREF> paused;

    template <class T>
    static T pop(std::deque<T>& queue, T none) {
        if (queue.empty()) return none;
        T t = std::move(queue.front());
        return queue.pop_front(), t;
    }
    void SetUp() override {
        resetsettings();
        fs::remove_all(dir);
        fs::create_directories(dir);
        screen.onDialog = [this](headless::DialogDriver& d) {
            if (d.handle() != lastDialog) shown.push_back(d.title());
            lastDialog = d.handle();
            pop(dialogSteps, std::function<void(headless::DialogDriver&)>([](auto& d) { d.press(IDCANCEL); }))(d);
        };
        screen.onFileDialog = [this](const FileDialogRequest& r) {
            shown.push_back(r.title);
            if (onFile) onFile(r);
            return pop(files, std::string());
        };
        screen.onMessageBox = [this](const headless::BoxRecord& box) {
            shown.push_back(box.text);
            if ((box.type & MB_TYPEMASK) != MB_YESNO) return int{IDOK};
            if (onQuestion) onQuestion(box);
            EXPECT_FALSE(answers.empty()) << "an unexpected question";
            return pop(answers, int{IDNO});
        };
    }
    void TearDown() override { releasecanvas(), fs::remove_all(dir); }

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

// The menu bar flattened to "pop-up>item" with its command.
void flatten(const std::vector<MenuItemData>& items, const std::string& prefix, std::map<std::string, int>& out) {
    for (const MenuItemData& m : items)
        if (m.children.empty()) out[prefix + m.text] = static_cast<int>(m.id);
        else flatten(m.children, prefix + m.text + ">", out);
}

// A key as the message loop handles one that reaches it between two
// particles: through the accelerator table, else to the window.
void deliver(int vk) {
    MSG m{g_hWnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0, 0, {0, 0}};
    if (!TranslateAcceleratorA(g_hWnd, g_hAccel, &m)) TranslateMessage(&m), DispatchMessageA(&m);
}

// Every key and menu command in each state: while a cluster grows only F1
// (nothing to do) and PAUSE (stop requested) act, and a key that arrives
// during a walk is swallowed by it; paused, each command shows its first
// surface, F1 resumes and D toggles the debugging display; after Clear
// Screen each menu item does what its key did; Esc ends the program.
TEST_F(App, EveryKeyAndMenuCommandInEachState) {
    using texts::commands;
    std::map<std::string, int> menu, want;
    for (const auto& c : commands) want[c.path] = c.id;
    long before = 0;
    until([&] { return growing() && clusterpixels() >= 12; });
    then([&] {
        flatten(g_hWnd->menu->bar, "", menu);
        EXPECT_EQ(menu, want);
        EXPECT_EQ(g_hWnd->title, texts::program);
        EXPECT_EQ(shown, std::vector<std::string>{texts::help}) << "the help text, once";
        for (const auto& c : commands) deliver(c.key), SendMessageA(g_hWnd, WM_COMMAND, WPARAM(c.id), 0);
        deliver('D');
        EXPECT_EQ(shown.size(), 1u) << "refused while growing";
        EXPECT_EQ(std::tuple(okdla, terminate, firstloop, debug, greyscale), std::tuple(1, 0, 0, 0, 0));
        for (const auto& c : commands) screen.key(g_hWnd, c.key);  // during the walk
        screen.key(g_hWnd, 'D');
        before = clusterpixels();
    });
    until([&] { return clusterpixels() > before + 2; });  // the walk swallowed them and went on
    then([&] {
        EXPECT_EQ(std::tuple(shown.size(), okdla, terminate), std::tuple(1u, 1, 0));
        deliver(VK_PAUSE);
        EXPECT_EQ(terminate, 1) << "PAUSE between particles asks the run to stop";
    });
    until(idle);
    for (const auto& c : commands) {
        if (c.id == 115) continue;
        then([&] {
            before = static_cast<long>(shown.size());
            screen.key(g_hWnd, c.key);
        });
        if (c.id == 120) {
            until([&] { return growing() && clusterpixels() > 12; });
            then([&] { EXPECT_EQ(long(shown.size()), before), deliver(VK_PAUSE); });
        } else if (c.id == 150) {
            until([] { return firstloop == 1; });
            then([] { EXPECT_TRUE(canvasgrey()); });
        } else {
            until([&] { return long(shown.size()) > before; });
            then([&] { EXPECT_EQ(shown.back(), c.shows) << c.path; });
        }
        until([] { return idle(); });
        then([] { firstloop = 0; });  // the next command still finds a cluster it may resume
    }
    press('D');
    until([] { return debug == 1; });
    press('D');
    until([] { return debug == 0; });
    press(VK_PAUSE);  // idle: nothing
    drain();
    then([&] { before = long(shown.size()), firstloop = 0; });
    for (const auto& c : commands) {
        if (c.id == 115 || c.id == 120) continue;
        then([&] { PostMessageA(g_hWnd, WM_COMMAND, WPARAM(c.id), 0); });
        until([&] { return c.id == 150 ? firstloop == 1 : long(shown.size()) > before; });
        then([&] {
            if (c.id != 150) {
                EXPECT_EQ(shown.back(), c.shows) << c.path;
            }
            before = long(shown.size()), firstloop = 0;
        });
    }
    quit();

    EXPECT_EQ(run(1024, 228), 0);
    EXPECT_EQ(std::ranges::count(shown, std::string(texts::debugOn)), 1);
    EXPECT_EQ(std::ranges::count(shown, std::string(texts::debugOff)), 1);
}

// Each dialog shows its title and controls; out-of-range entries give the
// range texts in a "Parameter Error" box owned by the dialog; fields before
// a bad one are stored; an accepted size resizes, a new stickiness clears.
TEST_F(App, SettingsDialogsTheirTextsRangesAndWhatTheyChange) {
    // Each dialog as it opens: its title and every control's text.
    // The fields show the values in force.
    const std::vector<std::pair<int, std::string>> values[4] = {
        {{210, "100"}, {220, "100"}, {230, "10"}, {240, "100"}}, {}, {}, {{520, "255"}, {521, "245"}, {522, "230"}}};
    auto look = [this, &values](int i) {
        dialogSteps.push_back([&want = texts::dialogs[i], &more = values[i]](headless::DialogDriver& d) {
            std::vector<std::pair<int, std::string>> got;
            for (HWND w : platform::Windows())
                if (w->parent == d.handle()) got.emplace_back(w->controlId, w->title);
            std::ranges::sort(got);
            auto expect = want.controls;
            expect.insert(expect.end(), more.begin(), more.end());
            std::ranges::sort(expect);
            EXPECT_EQ(d.title(), want.title);
            EXPECT_EQ(got, expect) << want.title;
            d.press(IDCANCEL);
        });
    };
    using Entry = std::pair<std::vector<std::pair<int, const char*>>, int>;  // typed, then the error it gives
    const std::vector<Entry> entries = {
        {{{210, "abc"}}, 0},       {{{210, "99"}}, 0},   {{{210, "9601"}}, 0}, {{{210, "100"}, {230, "4"}}, 1},
        {{{230, "51"}}, 1},        {{{230, "10"}, {240, "0"}}, 2}, {{{240, "101"}}, 2},
        {{{240, "100"}, {210, "9600"}, {220, "-1"}}, 0},  {{{220, "100"}}, -1}};
    pauseearly();
    const int keys[] = {VK_F4, VK_F5, 'M', 'B'};
    for (int i = 0; i < 4; ++i) then([=] { look(i); }), press(keys[i]), drain();
    then([&] {
        for (const auto& e : entries) enter(e.first);
        screen.boxes.clear();
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([&] {
        for (const char* bad : {"256", "-1"}) enter({{kRed, "1"}, {kGreen, bad}});
        enter({}, IDCANCEL);
        screen.key(g_hWnd, 'B');
    });
    drain();
    then([&] {
        ASSERT_EQ(screen.boxes.size(), entries.size() + 1);
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            EXPECT_EQ(box(screen.boxes[i]), Box(texts::parameterError, texts::rangeError[entries[i].second],
                                                screen.boxes[i].owner, kWarn));
        EXPECT_NE(screen.boxes[0].owner, g_hWnd);
        EXPECT_EQ(std::get<1>(lastbox()), texts::rangeError[3]);
        EXPECT_EQ(std::tuple(xres, yres, firstloop), std::tuple(9600, 100, 1)) << "a new size: resized";
        xres = 100, newdimensions = 0;
        enter({{kEdits[0], "150px"}, {kEdits[1], "abc"}});
        enter({}, IDCANCEL);
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([&] {
        EXPECT_EQ(std::tuple(xres, yres, newdimensions), std::tuple(150, 100, 1)) << "the width before the bad height";
        enter({{kEdits[1], "120"}, {kEdits[3], "60"}});
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([this] {
        EXPECT_EQ(std::tuple(g_vhdc->width, g_vhdc->height, firstloop), std::tuple(150, 120, 1));
        EXPECT_TRUE(canvasgrey() && win(140, 110) == kGrey);
        EXPECT_EQ(std::tuple(newdimensions, newparam, probability), std::tuple(0, 1, 60)) << "newparam stays set";
        enter({});
        screen.key(g_hWnd, VK_F4);
    });
    drain();
    then([] { EXPECT_EQ(newparam, 0) << "the next accepted dialog clears"; });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

// The file dialogs as asked for, saving and loading with their messages and
// errors: an image that cannot be saved writes no parameter file.
TEST_F(App, FileCommandsTheirDialogsAndMessages) {
    std::ofstream(path("bad.dla")) << "short";  // refused as a whole: no setting changes
    fs::create_directory(path("folder.tga"));
    std::vector<FileDialogRequest> asked;
    onFile = [&](const FileDialogRequest& r) { asked.push_back(r); };
    until([] { return idle() && firstloop == 1; });  // completed
    for (auto [key, file] : {std::pair{'S', "a.tga"}, {'O', "p.dla"}, {'L', "p.dla"}, {'L', "bad.dla"},
                             {'S', "folder.tga"}, {'F', ""}}) {
        then([&, key, file] { files.push_back(*file ? path(file) : ""), screen.key(g_hWnd, key); });
        drain();
    }
    then([&] {
        const std::string cwd = fs::current_path().string();
        const std::pair<texts::FileDialog, std::string> want[] = {
            {texts::imageDialog, cwd + "/*.tga"}, {texts::saveDialog, path("a.dla")},
            {texts::loadDialog, cwd + "/*.dla"},  {texts::loadDialog, path("p.dla")},
            {texts::imageDialog, path("a.tga")},  {texts::mapDialog, cwd + "/*.map"}};
        ASSERT_EQ(asked.size(), std::size(want));
        for (std::size_t i = 0; i < asked.size(); ++i) {
            const auto& [w, initial] = want[i];
            const FileDialogRequest& r = asked[i];
            EXPECT_EQ(std::tuple(r.title, r.filters.size(), r.defaultExtension, r.flags, r.initialPath, r.owner),
                      std::tuple(std::string(w.title), std::size_t{1}, std::string(w.extension), w.flags, initial, HWND{}));
            using Filter = std::pair<std::string, std::string>;
            EXPECT_EQ(r.filters[0], Filter(w.description, w.pattern));
        }
        const Box saved{texts::program, texts::imageSaved("a.tga"), nullptr, kInfo};
        EXPECT_EQ(box(screen.boxes[1]), saved);
        EXPECT_EQ(box(screen.boxes[2]), Box(texts::program, texts::parametersSaved("a.dla"), nullptr, kInfo));
        EXPECT_EQ(std::get<1>(box(screen.boxes[3])), texts::parametersSaved("p.dla"));
        EXPECT_EQ(box(screen.boxes[4]), Box(texts::program, texts::parametersLoaded("p.dla"), nullptr, kInfo));
        EXPECT_EQ(box(screen.boxes[5]), Box(texts::dlaError[0], texts::dlaError[1], g_hWnd, kWarn));
        EXPECT_EQ(box(screen.boxes[6]), Box(texts::saveErrorCaption, texts::saveError[0], g_hWnd, kWarn));
        EXPECT_EQ(screen.boxes.size(), 7u) << "no parameter file after a failed image";
        EXPECT_FALSE(fs::exists(path("folder.dla")));
        EXPECT_EQ(fs::file_size(path("a.tga")), 18u + 400u * 400u * 3u + 26u);
        EXPECT_EQ(fs::file_size(path("a.dla")), 804u);
        EXPECT_EQ(greyscale, 0);
    });
    quit();

    EXPECT_EQ(run(1024, 768), 0);
}

// F5 and M without a change keep a paused cluster; a MAP file rejected then
// cancelled (greyscale already off while its dialog shows), accepted, bad
// and unreadable; greyscale and the default palette; the background colour
// with its preview; M and F5 with a change clear the screen.
TEST_F(App, PaletteBackgroundAndSettingsCommands) {
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
        screen.key(g_hWnd, 'G');
    });
    until([] { return greyscale == 1; });
    then([&] {
        EXPECT_EQ(lastbox(), Box(texts::greyscale[0], texts::greyscale[1], nullptr, MB_OK));
        firstloop = 0;
        onFile = [](const FileDialogRequest&) { EXPECT_EQ(greyscale, 0) << "switched off before the dialog"; };
        files = {path("good.map"), ""};  // the file dialog comes back after No; cancel it
        answers.push_back(IDNO);
        onQuestion = [this](const headless::BoxRecord& b) {
            EXPECT_EQ(box(b), Box(texts::acceptPalette[0], texts::acceptPalette[1], nullptr,
                                  MB_YESNO | MB_ICONINFORMATION));
            EXPECT_EQ(std::pair(win(20, 50), win(275, 50)), std::pair(RGB(0, 99, 7), RGB(255, 99, 7))) << "stripes";
        };
        screen.key(g_hWnd, 'F');
    });
    drain();
    then([&] {
        EXPECT_EQ(std::memcmp(palette, defaultpalette, sizeof palette), 0);
        EXPECT_EQ(std::pair(firstloop, greyscale), std::pair(0, 0));
        files = {path("good.map"), path("bad.map"), path("missing.map")};
        answers.push_back(IDYES);
        screen.boxes.clear();
        screen.key(g_hWnd, 'F');
    });
    press('F');
    press('F');
    drain();
    then([this] {
        const Box refused(texts::mapError[0], texts::mapError[1], g_hWnd, kWarn);
        ASSERT_EQ(screen.boxes.size(), 3u);
        EXPECT_TRUE(box(screen.boxes[1]) == refused && lastbox() == refused) << "a bad file, then an unreadable one";
        EXPECT_TRUE(paletteramp(99, 7)) << "accepted; the refused files leave it";
        onQuestion = nullptr;
        firstloop = 0;
        screen.key(g_hWnd, 'P');
    });
    until([] { return firstloop == 1; });
    then([this] {
        EXPECT_EQ(std::memcmp(palette, defaultpalette, sizeof palette), 0) << "the palette the program started with";
        EXPECT_EQ(lastbox(), Box(texts::defaultPalette[0], texts::defaultPalette[1], nullptr, MB_OK));
    });
    press(VK_F1);
    pauseearly();
    then([&] {
        window = corner();
        paused = canvas();
        enter({{kRed, "10"}, {kGreen, "20"}, {kBlue, "30"}});
        answers.push_back(IDNO);
        onQuestion = [this](const headless::BoxRecord& b) {
            EXPECT_EQ(box(b), Box(texts::acceptBackground[0], texts::acceptBackground[1], nullptr,
                                  MB_YESNO | MB_ICONINFORMATION));
            EXPECT_EQ(win(10, 10), RGB(10, 20, 30)) << "the candidate shows in the corner";
        };
        dialogSteps.push_back([](headless::DialogDriver& d) {
            EXPECT_EQ(d.text(kRed) + d.text(kBlue), "255230") << "reopened with the colour in force";
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
        enter({{kRed, "0"}, {kGreen, "0"}, {kBlue, "0"}});
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
        enter({{421, nullptr}});  // Distance from Center, for M
        enter({{321, nullptr}});  // Fractint, for F5
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    until(idle);
    press('M');
    until([] { return firstloop == 1; });
    then([] { EXPECT_TRUE(coloring == 1 && canvasgrey()), firstloop = 0; });
    press(VK_F5);
    until([] { return firstloop == 1; });
    then([] { EXPECT_EQ(algorithm, 1); });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

// A quoted path on the command line starts with that file (a centripetal
// run: no help); loading another keeps the picture, starts afresh only for
// the other direction; P restores the first file's palette; Exit ends.
TEST_F(App, ParameterFilesFromTheCommandLineAndFromLoad) {
    writeparams(path("start.dla"), 1, 8, 9, 33, 44);
    writeparams(path("other.dla"), 0, 9, 5, 60, 70);
    until(growing);
    then([this] {
        EXPECT_EQ(std::tuple(growth, startradius, GetPixel(g_vhdc, 0, 0)), std::tuple(1, 8, RGB(9, 9, 9)));
        EXPECT_TRUE(paletteramp(33, 44) && shown.empty()) << "a silent load; a centripetal run shows no help";
    });
    pauseearly();
    then([&] {
        paused = canvas();
        files.push_back(path("other.dla"));
        screen.key(g_hWnd, 'L');
    });
    drain();
    then([&] {
        EXPECT_EQ(std::tuple(growth, startradius, firstloop), std::tuple(0, 9, 1)) << "the other direction starts anew";
        EXPECT_EQ(lastbox(), Box(texts::program, texts::parametersLoaded("other.dla"), nullptr, kInfo));
        EXPECT_EQ(canvas(), paused) << "loading does not clear the picture";
        screen.key(g_hWnd, 'P');
    });
    until([] { return paletteramp(33, 44); });
    drain();
    then([] { PostMessageA(g_hWnd, WM_COMMAND, 115, 0); });

    EXPECT_EQ(run(1024, 228, std::string(1, '"').append(path("start.dla")).append(1, '"')), 0);
}

TEST_F(App, ADisplayBelowTrueColourEndsAtStartUp) {
    EXPECT_EQ(run(1024, 768, "", 16), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(box(screen.boxes[0]), Box(texts::startupCaption, texts::startupError[2], nullptr, kWarn));
    EXPECT_TRUE(platform::Windows().empty() && firsttime == 1) << "the window is freed; no growth run was called";
}

TEST_F(App, A480HighScreenGivesA352SquareImageAndEndingMidRunCallsNoMoreRuns) {
    until(growing);
    then([] {
        RECT r;
        GetWindowRect(g_hWnd, &r);
        EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom), std::tuple(0, 0, 1024, 442));
        EXPECT_EQ(std::tuple(xres, yres, g_vhdc->width, g_vhdc->height), std::tuple(352, 352, 352, 352));
        PostMessageA(g_hWnd, WM_DESTROY, 0, 0);  // no run may be called once the canvas is gone
    });
    EXPECT_EQ(run(1024, 480), 0);
    EXPECT_EQ(g_vhdc, nullptr);
}

}  // namespace

// The whole of zorv-dla, from WinMain to its exit code, on the headless backend: a script resumed at the native pumps
// (co_await a state, then act), queued answers to dialogs, file dialogs and questions, a log of every surface shown.
#include <gtest/gtest.h>

#include <algorithm>
#include <coroutine>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/winmain.h"
#include "canvas/canvas.h"
#include "engine/settings.h"
#include "files/dlafile.h"
#include "files/filedialogs.h"
#include "platform/headless/headless.h"
#include "tests/texts.h"

extern const Module zorvdla;

namespace {

namespace fs = std::filesystem;
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr UINT kInfo = MB_ICONINFORMATION | MB_OK, kWarn = MB_ICONWARNING | MB_OK, kAsk = MB_YESNO | MB_ICONINFORMATION;
constexpr int kRed = 520, kGreen = 521, kBlue = 522;
using Box = std::tuple<std::string, std::string, HWND, UINT>;  // caption, text, owner, type

// A parameter file: direction, radius, grey background `back`, and a palette whose entry i is (i, g, b).
void writeparams(const std::string& path, int direction, int radius, int back, int g, int b) {
    DLA d{0, direction, radius, 80, 0, 0, back, back, back, {}};
    for (int i = 0; i < 256; ++i) std::tie(d.palette[i][0], d.palette[i][1], d.palette[i][2]) = std::tuple(i, g, b);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(&d), sizeof d);
}
bool paletteramp(int g, int b) {
    return std::ranges::all_of(palette, [&](const auto& e) { return e[0] == &e - palette && e[1] == g && e[2] == b; });
}

// The menu bar flattened to "pop-up>item" with its command.
void flatten(const std::vector<MenuItemData>& items, const std::string& prefix, std::map<std::string, int>& out) {
    for (const MenuItemData& m : items)
        if (m.children.empty()) out[prefix + m.text] = static_cast<int>(m.id);
        else flatten(m.children, prefix + m.text + ">", out);
}

// A key as the message loop handles one between two particles: through the accelerator table, else to the window.
void deliver(int vk) {
    MSG m{g_hWnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0, 0, {0, 0}};
    if (!TranslateAcceleratorA(g_hWnd, g_hAccel, &m)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

// A script run inside the program's own loop: it starts at once; `co_await condition` waits for it at a native pump.
struct Script {
    struct promise_type {
        std::function<bool()> ready;
        Script get_return_object() { return {std::coroutine_handle<promise_type>::from_promise(*this)}; }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() {}
        void unhandled_exception() { throw; }
        std::suspend_always await_transform(std::function<bool()> until) { ready = std::move(until); return {}; }
    };
    std::coroutine_handle<promise_type> handle;
    ~Script() { handle.destroy(); }
};

bool idle() { return okdla == 0; }
bool growing() { return okdla == 1 && firstloop == 0; }
bool cleared() { return firstloop == 1; }
std::vector<COLORREF> pixels(const auto& s) { return {s.bits, s.bits + static_cast<std::size_t>(s.width) * s.height}; }
std::vector<COLORREF> canvas() { return pixels(*g_vhdc); }
long clusterpixels() { return std::ranges::count_if(canvas(), [](COLORREF c) { return c != bkgd; }); }
bool canvasgrey() { return std::ranges::all_of(canvas(), [](COLORREF c) { return c == kGrey; }); }

class App : public ::testing::Test {
protected:
    headless::Backend screen;
    fs::path dir = fs::temp_directory_path() /
                   ("zorv_app_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::deque<std::function<void(headless::DialogDriver&)>> dialogSteps;  // none queued: Cancel
    std::deque<std::string> files;                                         // none queued: cancel
    std::deque<int> answers;                                               // to Yes/No questions
    std::vector<std::string> shown;                                        // every surface, in order
    std::function<void(const FileDialogRequest&)> onFile;                  // looks while a file dialog is open
    std::function<void(const headless::BoxRecord&)> onQuestion;            // looks while a question is open
    HWND lastDialog = nullptr;

    template <class T>
    static T pop(std::deque<T>& queue, T none) {
        if (queue.empty()) return none;
        T front = std::move(queue.front());
        queue.pop_front();
        return front;
    }
    void SetUp() override {
        resetsettings();
        fs::remove_all(dir);
        fs::create_directories(dir);
        screen.onDialog = [this](headless::DialogDriver& d) {
            if (d.handle() != lastDialog) {
                shown.push_back(d.title());
                lastDialog = d.handle();
            }
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
    void TearDown() override {
        releasecanvas();
        fs::remove_all(dir);
    }

    // Runs the program with the script; its exit code.
    int run(int width, int height, auto& script, std::string args = "", int bits = 32) {
        screen.setScreen(width, height, bits);
        platform::SetPumpInterval(16);
        Script s = script();
        screen.onPump = [&s, busy = false, pumps = 3'000'000]() mutable {
            if (--pumps < 0) throw std::runtime_error("the script waited too long");
            if (busy || s.handle.done() || !s.handle.promise().ready()) return;
            busy = true;
            s.handle.resume();
            busy = false;
        };
        const int code = WinMain(&zorvdla, nullptr, args.data(), SW_SHOWNORMAL);
        EXPECT_TRUE(s.handle.done()) << "the program ended before the script";
        return code;
    }
    // A dialog step: type each text (a null text clicks the control), then press the button.
    void enter(std::vector<std::pair<int, const char*>> texts, int button = IDOK) {
        dialogSteps.push_back([=](headless::DialogDriver& d) {
            for (auto [id, text] : texts) text ? d.setText(id, text) : d.click(id);
            d.press(button);
        });
    }
    // The key pressed (if any), then every queued answer used and what it caused handled.
    std::function<bool()> drained(int vk = 0) {
        if (vk) key(vk);
        return [this, n = 3]() mutable { return dialogSteps.empty() && files.empty() && answers.empty() && --n <= 0; };
    }
    // A growing cluster stopped by PAUSE.
    std::function<bool()> pausedearly() {
        return [this, pressed = false]() mutable {
            if (!pressed && growing() && clusterpixels() >= 12) {
                pressed = true;
                screen.keyDown(g_hWnd, VK_PAUSE);
            }
            return pressed && idle();
        };
    }
    void key(int vk) { screen.key(g_hWnd, vk); }
    COLORREF win(int x, int y) const { return screen.pixel(g_hWnd, x, y); }
    std::vector<Box> boxes() const {
        std::vector<Box> all;
        for (const auto& b : screen.boxes) all.emplace_back(b.caption, b.text, b.owner, b.type);
        return all;
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }
};

// Every key and menu command in each state: growing, only PAUSE acts (F1 has nothing to do) and keys during a walk are
// swallowed; stopped or finished, each shows its command's first surface, F1 grows and D toggles debugging.
TEST_F(App, EveryKeyAndMenuCommandInEachState) {
    auto script = [&]() -> Script {
        co_await [] { return growing() && clusterpixels() >= 12; };
        std::map<std::string, int> menu, want;
        for (const auto& c : texts::commands) want[c.path] = c.id;
        flatten(g_hWnd->menu->bar, "", menu);
        EXPECT_EQ(std::tuple(menu, g_hWnd->title, shown),
                  std::tuple(want, texts::program, std::vector<std::string>{texts::help})) << "the help text, once";
        for (const auto& c : texts::commands) {
            deliver(c.key);
            SendMessageA(g_hWnd, WM_COMMAND, WPARAM(c.id), 0);
        }
        deliver('D');
        EXPECT_EQ(std::tuple(shown.size(), okdla, terminate, firstloop, debug, greyscale),
                  std::tuple(1u, 1, 0, 0, 0, 0)) << "refused while growing";
        for (const auto& c : texts::commands) key(c.key);  // during the walk
        key('D');
        const long grown = clusterpixels();
        co_await [&] { return clusterpixels() > grown + 2; };  // the walk swallowed them and went on
        EXPECT_EQ(std::tuple(shown.size(), okdla, terminate), std::tuple(1u, 1, 0));
        deliver(VK_PAUSE);
        EXPECT_EQ(terminate, 1) << "PAUSE between particles asks the run to stop";
        co_await idle;
        for (int i = 0; const auto& c : texts::commands) {
            if (c.id == 115) continue;
            firstloop = i++ % 2;  // stopped (a cluster to resume) and finished (F1 starts anew) in turn
            const std::size_t n = shown.size();
            key(c.key);
            co_await [&] {
                return c.id == 120 ? growing() && clusterpixels() > 12 : c.id == 150 ? canvasgrey() : shown.size() > n;
            };
            EXPECT_EQ(shown.size() > n ? shown.back() : "", *c.shows == '(' ? "" : c.shows) << c.path;
            if (c.id == 120) deliver(VK_PAUSE);
            co_await idle;
        }
        for (int on : {1, 0}) {
            co_await drained('D');
            EXPECT_EQ(debug, on);
        }
        EXPECT_EQ(boxes(), (std::vector<Box>{{texts::helpCaption, texts::help, nullptr, kInfo},
                                             {texts::greyscale[0], texts::greyscale[1], nullptr, MB_OK},
                                             {texts::defaultPalette[0], texts::defaultPalette[1], nullptr, MB_OK},
                                             {texts::helpCaption, texts::help, nullptr, kInfo},
                                             {texts::aboutCaption, texts::about, nullptr, kInfo},
                                             {texts::program, texts::debugOn, nullptr, kInfo},
                                             {texts::program, texts::debugOff, nullptr, kInfo}}))
            << "the help at the start, then the boxes of G, P, F2, F3 and D twice";
        co_await drained(VK_PAUSE);  // stopped: nothing
        key(VK_ESCAPE);
    };
    EXPECT_EQ(run(1024, 228, script), 0);
}

// A 480-high screen gives a 352-square image. Dialogs show title, controls and values in force; F5 and M keep a
// stopped cluster on OK unchanged, clear it on a change; bad entries give the range texts in a box owned by the
// dialog; an accepted size resizes. Ending mid-run calls no run once the canvas is gone.
TEST_F(App, SettingsDialogsTheirTextsRangesAndWhatTheyChange) {
    const std::vector<std::pair<int, std::string>> values[4] = {
        {{210, "352"}, {220, "352"}, {230, "10"}, {240, "100"}}, {}, {}, {{520, "255"}, {521, "245"}, {522, "230"}}};
    // Typed, then the error it gives: the fields before a bad one are stored (150, read as a number is).
    const std::vector<std::pair<std::vector<std::pair<int, const char*>>, int>> entries = {
        {{{210, "abc"}}, 0}, {{{210, "99"}}, 0}, {{{210, "9601"}}, 0}, {{{210, "9600"}, {230, "4"}}, 1},
        {{{230, "51"}}, 1},  {{{230, "50"}, {240, "0"}}, 2}, {{{240, "101"}}, 2},
        {{{240, "100"}, {210, "150px"}, {220, "-1"}}, 0}, {{{220, "120"}, {240, "60"}}, -1}};
    auto script = [&]() -> Script {
        co_await pausedearly();
        RECT r;
        GetWindowRect(g_hWnd, &r);
        EXPECT_EQ(std::tuple(r.left, r.top, r.right, r.bottom, xres, yres, g_vhdc->width, g_vhdc->height),
                  std::tuple(0, 0, 1024, 442, 352, 352, 352, 352));
        const auto paused = canvas();
        const int keys[] = {VK_F4, VK_F5, 'M', 'B'};
        for (int i = 0; i < 4; ++i) {
            dialogSteps.push_back([i, &want = texts::dialogs[i], &more = values[i]](headless::DialogDriver& d) {
                std::vector<std::pair<int, std::string>> got;
                for (HWND w : platform::Windows())
                    if (w->parent == d.handle()) got.emplace_back(w->controlId, w->title);
                auto expect = want.controls;
                expect.insert(expect.end(), more.begin(), more.end());
                std::ranges::sort(got);
                std::ranges::sort(expect);
                EXPECT_EQ(std::tuple(d.title(), got), std::tuple(want.title, expect)) << want.title;
                d.press(i == 1 || i == 2 ? IDOK : IDCANCEL);
            });
            co_await drained(keys[i]);
        }
        EXPECT_TRUE(canvas() == paused && firstloop == 0) << "nothing changed, nothing cleared";
        for (auto [vk, choice] : {std::pair<int, int>{'M', 421}, {VK_F5, 321}}) {
            enter({{choice, nullptr}});
            key(vk);
            co_await cleared;
            EXPECT_TRUE(canvasgrey());
            firstloop = 0;
        }
        EXPECT_EQ(std::pair(coloring, algorithm), std::pair(1, 1)) << "Distance from Center, Fractint";
        screen.boxes.clear();
        for (const auto& e : entries) enter(e.first);
        co_await drained(VK_F4);
        const HWND parameters = lastDialog;
        for (const char* bad : {"256", "-1"}) enter({{kRed, "1"}, {kGreen, bad}});
        enter({}, IDCANCEL);
        co_await drained('B');
        std::vector<Box> want;
        for (std::size_t i = 0; i + 1 < entries.size(); ++i)
            want.emplace_back(texts::parameterError, texts::rangeError[entries[i].second], parameters, kWarn);
        want.insert(want.end(), 2, Box(texts::parameterError, texts::rangeError[3], lastDialog, kWarn));
        EXPECT_EQ(boxes(), want) << "owned by the dialog";
        EXPECT_EQ(std::tuple(g_vhdc->width, g_vhdc->height, startradius, probability, newdimensions, newparam),
                  std::tuple(150, 120, 50, 60, 0, 1)) << "newparam stays set";
        EXPECT_TRUE(firstloop == 1 && canvasgrey() && win(140, 110) == kGrey) << "resized";
        enter({});
        co_await drained(VK_F4);
        EXPECT_EQ(newparam, 0) << "the next accepted dialog clears";
        key(VK_F1);
        co_await growing;
        PostMessageA(g_hWnd, WM_DESTROY, 0, 0);
    };
    EXPECT_EQ(run(1024, 480, script), 0);
    EXPECT_EQ(g_vhdc, nullptr);
}

// A quoted path on the command line starts with that file (no help). File dialogs, saves, loads, their messages and
// errors (a failed image writes no parameter file; a load keeps the picture); P restores the first palette. Greyscale;
// MAP files rejected (greyscale off first), accepted, bad, unreadable; the background previewed, rejected, accepted.
TEST_F(App, FilePaletteAndBackgroundCommands) {
    writeparams(path("start.dla"), 1, 8, 9, 33, 44);
    writeparams(path("other.dla"), 0, 9, 5, 60, 70);
    std::ofstream(path("bad.dla")) << "short";  // refused as a whole: no setting changes
    fs::create_directory(path("folder.tga"));
    std::ofstream(path("bad.map")) << "1 2 3\n4,5,6\n";
    for (int i = 0; i < 256; ++i) std::ofstream(path("good.map"), std::ios::app) << i << " 99 7  colour " << i << "\n";
    auto script = [&]() -> Script {
        co_await growing;
        EXPECT_EQ(std::tuple(growth, startradius, GetPixel(g_vhdc, 0, 0)), std::tuple(1, 8, RGB(9, 9, 9)));
        EXPECT_TRUE(paletteramp(33, 44) && shown.empty()) << "a silent load; a centripetal run shows no help";
        co_await pausedearly();
        const auto paused = canvas();
        const std::string cwd = fs::current_path().string();
        using Filters = std::vector<std::pair<std::string, std::string>>;
        const std::tuple<int, const char*, texts::FileDialog, std::string> steps[] = {  // each where the last one was
            {'S', "a.tga", texts::imageDialog, cwd + "/*.tga"}, {'O', "p.dla", texts::saveDialog, path("a.dla")},
            {'L', "bad.dla", texts::loadDialog, path("start.dla")},
            {'S', "folder.tga", texts::imageDialog, path("a.tga")}, {'F', "", texts::mapDialog, cwd + "/*.map"},
            {'L', "other.dla", texts::loadDialog, path("bad.dla")}};
        for (const auto& [vk, file, w, initial] : steps) {
            files.push_back(*file ? path(file) : "");
            co_await drained(vk);
            const FileDialogRequest& r = screen.fileDialogs.back();
            EXPECT_EQ(std::tuple(r.title, r.filters, r.defaultExtension, r.flags, r.initialPath, r.owner),
                      std::tuple(w.title, Filters{{w.description, w.pattern}}, w.extension, w.flags, initial, HWND{}));
        }
        std::vector<Box> want{{texts::program, texts::imageSaved("a.tga"), nullptr, kInfo},
                              {texts::program, texts::parametersSaved("a.dla"), nullptr, kInfo},
                              {texts::program, texts::parametersSaved("p.dla"), nullptr, kInfo},
                              {texts::dlaError[0], texts::dlaError[1], g_hWnd, kWarn},
                              {texts::saveErrorCaption, texts::saveError[0], g_hWnd, kWarn},
                              {texts::program, texts::parametersLoaded("other.dla"), nullptr, kInfo}};
        if (fs::is_character_file("/dev/full")) {  // a disk that is always full: the parameters are written in part
            fs::create_symlink("/dev/full", path("full.dla"));
            files.push_back(path("full.dla"));
            co_await drained('O');
            want.emplace_back(texts::saveErrorCaption, texts::saveError[2], g_hWnd, kWarn);
        }
        EXPECT_EQ(boxes(), want) << "no parameter file after a failed image";
        EXPECT_EQ(std::tuple(fs::file_size(dir / "a.tga"), fs::file_size(dir / "a.dla")), std::tuple(30044u, 804u));
        EXPECT_FALSE(fs::exists(dir / "folder.dla"));
        EXPECT_EQ(std::tuple(growth, startradius, firstloop), std::tuple(0, 9, 1)) << "the other direction starts anew";
        EXPECT_EQ(canvas(), paused) << "loading does not clear the picture";
        screen.boxes.clear();
        co_await drained('P');
        EXPECT_TRUE(paletteramp(33, 44));
        key('G');
        co_await [] { return greyscale == 1; };
        firstloop = 0;
        onFile = [](const FileDialogRequest&) { EXPECT_EQ(greyscale, 0) << "switched off before the dialog"; };
        onQuestion = [this](const headless::BoxRecord&) {
            EXPECT_EQ(std::pair(win(20, 50), win(275, 50)), std::pair(RGB(0, 99, 7), RGB(255, 99, 7))) << "stripes";
        };
        files = {path("good.map"), ""};
        answers = {IDNO};
        co_await drained('F');
        EXPECT_TRUE(paletteramp(33, 44));
        EXPECT_EQ(std::pair(firstloop, greyscale), std::pair(0, 0));
        files = {path("good.map"), path("bad.map"), path("missing.map")};
        answers = {IDYES};
        for (std::size_t left : {2, 1, 0}) {
            key('F');
            co_await [&, left] { return files.size() == left; };
        }
        co_await drained();
        const Box ask(texts::acceptPalette[0], texts::acceptPalette[1], nullptr, kAsk);
        const Box refused(texts::mapError[0], texts::mapError[1], g_hWnd, kWarn);
        EXPECT_EQ(boxes(), (std::vector<Box>{{texts::defaultPalette[0], texts::defaultPalette[1], nullptr, MB_OK},
                                             {texts::greyscale[0], texts::greyscale[1], nullptr, MB_OK}, ask, ask,
                                             refused, refused})) << "a bad file, an unreadable one";
        EXPECT_TRUE(paletteramp(99, 7)) << "accepted; the refused files leave it";
        key(VK_F1);
        co_await pausedearly();
        const auto window = pixels(g_hWnd->surface), picture = canvas();
        enter({{kRed, "10"}, {kGreen, "20"}, {kBlue, "30"}});
        answers = {IDNO};
        onQuestion = [this](const headless::BoxRecord&) {
            EXPECT_EQ(boxes().back(), Box(texts::acceptBackground[0], texts::acceptBackground[1], nullptr, kAsk));
            EXPECT_EQ(win(10, 10), RGB(10, 20, 30)) << "the candidate shows in the corner";
        };
        dialogSteps.push_back([](headless::DialogDriver& d) {
            EXPECT_EQ(d.text(kRed) + d.text(kBlue), "55") << "reopened with the colour in force";
            d.press(IDCANCEL);
        });
        co_await drained('B');
        EXPECT_EQ(std::tuple(pixels(g_hWnd->surface) == window, canvas() == picture, bkgd, firstloop),
                  std::tuple(true, true, RGB(5, 5, 5), 0)) << "the corner put back in the window and the canvas";
        onQuestion = nullptr;
        enter({{kRed, "0"}, {kGreen, "99"}, {kBlue, "7"}});
        answers = {IDYES};
        key('B');  // palette entry 0
        co_await cleared;
        EXPECT_TRUE(bkgd == RGB(0, 99, 7) && canvasgrey());
        key(VK_F1);
        co_await growing;
        EXPECT_EQ(std::pair(GetPixel(g_vhdc, 0, 0), win(0, 0)), std::pair(RGB(0, 99, 7), RGB(0, 99, 7)));
        EXPECT_EQ(palette[0][0], 1) << "the entry was nudged off the background";
        PostMessageA(g_hWnd, WM_DESTROY, 0, 0);
    };
    EXPECT_EQ(run(1024, 228, script, '"' + path("start.dla") + '"'), 0);
}

// S given nodir/x.tga: a warning names the folder, the dialog opens again at the typed name, and the corrected name
// saves the image and its parameters; the files' code never sees the missing folder. O refuses such a name too, and a
// dialog cancelled after the refusal leaves its path as it was.
TEST_F(App, ASaveInAFolderThatDoesNotExistIsRefusedAndTheDialogOpensAgainAtTheName) {
    auto script = [&]() -> Script {
        co_await pausedearly();
        screen.boxes.clear();  // the help at the start
        files = {path("nodir/x.tga"), path("x.tga")};
        co_await drained('S');
        const std::string refused = path("nodir") + "\nThe folder does not exist.\nCheck the path and try again.";
        EXPECT_EQ(boxes(), (std::vector<Box>{{texts::imageDialog.title, refused, nullptr, kWarn},
                                             {texts::program, texts::imageSaved("x.tga"), nullptr, kInfo},
                                             {texts::program, texts::parametersSaved("x.dla"), nullptr, kInfo}}));
        EXPECT_EQ(screen.fileDialogs.size(), 2u);
        EXPECT_EQ(screen.fileDialogs.back().initialPath, path("nodir/x.tga")) << "opened again at the typed name";
        EXPECT_TRUE(fs::exists(dir / "x.tga") && fs::exists(dir / "x.dla"));
        screen.boxes.clear();
        files = {path("nodir/p.dla")};
        co_await drained('O');
        EXPECT_EQ(boxes(), std::vector<Box>{Box(texts::saveDialog.title, refused, nullptr, kWarn)});
        EXPECT_EQ(screen.fileDialogs.back().initialPath, path("nodir/p.dla"));
        EXPECT_EQ(std::pair(tgafile, sdlafile), std::pair(path("x.tga"), path("x.dla"))) << "the last saves kept";
        EXPECT_FALSE(fs::exists(dir / "nodir"));
        PostMessageA(g_hWnd, WM_DESTROY, 0, 0);
    };
    EXPECT_EQ(run(1024, 228, script), 0);
}

TEST_F(App, ADisplayBelowTrueColourEndsAtStartUp) {
    auto script = []() -> Script { co_return; };
    EXPECT_EQ(run(1024, 768, script, "", 16), 0);
    EXPECT_EQ(boxes(), std::vector<Box>{Box(texts::startupCaption, texts::startupError[2], nullptr, kWarn)});
    EXPECT_TRUE(platform::Windows().empty() && firsttime == 1) << "the window is freed; no growth run was called";
}

}  // namespace

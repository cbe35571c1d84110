// The Qt backend under a small window procedure: input, cursor, close, input made during a sleep, boxes and file
// dialogs; and where the saver is asked to draw. Off screen, also with a scale factor of 2.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/qt/qt_embed.h"
#include "tests/qt/harness.h"

namespace {

using qtbackend::Backend;
std::vector<MSG> g_seen;

LRESULT RecordProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_seen.push_back({hwnd, msg, wp, lp, 0, {0, 0}});
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

class QtLayer : public ::testing::Test {
protected:
    Backend backend;
    HWND hwnd = nullptr;
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zorv-qt-" + std::to_string(::getpid()) + "-" + test);

    void SetUp() override {
        std::filesystem::create_directories(dir);
        g_seen.clear();
        WNDCLASSA wc{0, RecordProc, 0, 0, nullptr, nullptr, LoadCursorA(nullptr, IDC_CROSS), nullptr, nullptr, "R"};
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "R", "t", WS_OVERLAPPEDWINDOW, 0, 0, 420, 340, nullptr, nullptr, nullptr, nullptr);
        ShowWindow(hwnd, SW_SHOW);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Backend::widget(hwnd)));
        drain();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    // Native events in, then the queue out as a program's loop takes it; the messages got within [lo, hi].
    std::vector<MSG> drain(UINT lo = 0, UINT hi = 0xFFFF) {
        QCoreApplication::processEvents();
        std::size_t from = g_seen.size();
        MSG m;
        while (platform::detail::PeekMessageSlow(&m, nullptr, 0, 0, PM_REMOVE) && m.message != WM_QUIT) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        std::vector<MSG> out;
        std::copy_if(g_seen.begin() + from, g_seen.end(), std::back_inserter(out),
                     [&](const MSG& s) { return s.message >= lo && s.message <= hi; });
        return out;
    }
    int device(int logical) const { return static_cast<int>(std::lround(logical * backend.ratio())); }
};

// The path chosen in the open (or save) dialog titled `title`, which starts at `file`; empty if cancelled.
std::string choose(bool save, const char* title, const char* filter, const char* extension, DWORD flags,
                   std::string file) {
    OPENFILENAMEA ofn{};
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = &file;
    ofn.lpstrTitle = title;
    ofn.lpstrDefExt = extension;
    ofn.Flags = flags;
    return (save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn)) ? file : "";
}

TEST_F(QtLayer, InputArrivesAsVirtualKeysAndClientCoordinatesUnlessDisabledCursorsAndCloseIsWmClose) {
    QWidget* view = Backend::view(hwnd);
    std::vector<std::pair<UINT, WPARAM>> want, got;
    for (auto [key, vk] : std::vector<std::pair<Qt::Key, WPARAM>>{{Qt::Key_F2, VK_F2}, {Qt::Key_F6, VK_F6},
                                                                {Qt::Key_Pause, VK_PAUSE}, {Qt::Key_Escape, VK_ESCAPE}}) {
        QTest::keyClick(view, key);
        want.insert(want.end(), {{WM_KEYDOWN, vk}, {WM_KEYUP, vk}});
    }
    QTest::keyClick(view, 'q');  // its key is Q; WM_CHAR, posted when the key is handled, brings the case
    want.insert(want.end(), {{WM_KEYDOWN, 'Q'}, {WM_KEYUP, 'Q'}, {WM_CHAR, VK_ESCAPE}, {WM_CHAR, 'q'}});
    for (const MSG& m : drain(WM_KEYDOWN, WM_CHAR)) got.push_back({m.message, m.wParam});
    EXPECT_EQ(got, want);

    QTest::mouseClick(view, Qt::RightButton, {}, QPoint(10, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 40), view->mapToGlobal(QPointF(30, 40)), Qt::NoButton, {}, {});
    QApplication::sendEvent(view, &move);
    std::vector<std::pair<UINT, LPARAM>> mouse;
    for (const MSG& m : drain(WM_MOUSEMOVE, WM_MBUTTONUP)) mouse.push_back({m.message, m.lParam});
    const LPARAM at = MAKELPARAM(device(10), device(20));
    EXPECT_EQ(mouse, (std::vector<std::pair<UINT, LPARAM>>{
                         {WM_RBUTTONDOWN, at}, {WM_RBUTTONUP, at}, {WM_MOUSEMOVE, MAKELPARAM(device(30), device(40))}}));

    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor) << "the class cursor";
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_EQ(view->cursor().shape(), Qt::WaitCursor);
    EnableWindow(hwnd, FALSE);
    QTest::keyClick(view, Qt::Key_F1);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(5, 5));
    Backend::widget(hwnd)->close();
    EXPECT_TRUE(drain(WM_KEYDOWN, WM_MBUTTONUP).empty() && IsWindow(hwnd)) << "a disabled window drops input and close";
    EnableWindow(hwnd, TRUE);
    Backend::widget(hwnd)->close();
    drain();
    EXPECT_FALSE(IsWindow(hwnd)) << "WM_CLOSE reached the procedure, whose default handling destroyed the window";
}

// With the programs' pump interval: input made during a sleep is queued when it ends, a key arriving while a walk polls
// is seen by the poll, and only the program's own cursor moves are not input. Off screen QCursor::setPos makes a
// window-system move, delivered later as a user's (its position is off by the frame at scale 2).
TEST_F(QtLayer, InputMadeDuringASleepIsQueuedWhenItEndsAndOnlyTheProgramsOwnMovesAreNotInput) {
    QWidget* view = Backend::view(hwnd);
    platform::SetPumpInterval(64);
    QTimer::singleShot(20, [&] { QCursor::setPos(view->mapToGlobal(QPoint(40, 30))); });
    Sleep(150);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) << "the loop's first look after the sleep sees the move";
    EXPECT_EQ(m.message, UINT(WM_MOUSEMOVE));
    drain();

    QCoreApplication::postEvent(view, new QKeyEvent(QEvent::KeyPress, Qt::Key_Pause, Qt::NoModifier));
    bool seen = false;
    for (int i = 0; !seen && i < 10000000; ++i)
        seen = PeekMessageA(&m, hwnd, WM_KEYDOWN, WM_MBUTTONUP, PM_REMOVE) && m.wParam == VK_PAUSE;
    EXPECT_TRUE(seen) << "a key arriving natively while a walk polls is seen by the poll";

    // A user's move not yet handled when the program moves the cursor is input; the program's own is not.
    QCursor::setPos(view->mapToGlobal(QPoint(60, 50)));
    SetCursorPos(device(10), device(12));
    std::vector<MSG> moves = drain(WM_MOUSEMOVE, WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_GT(GET_X_LPARAM(moves[0].lParam), device(50)) << "the user's move";
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(std::pair(p.x, p.y), std::pair(device(10), device(12)));
    SetCursorPos(device(20), device(22));
    EXPECT_TRUE(drain(WM_MOUSEMOVE, WM_MOUSEMOVE).empty()) << "the program's own move alone";
}

// Boxes: their texts and flags, the owner disabled, the thread's messages served. The desktop's file dialog is not
// overruled; Qt's own (driven here) refuses a missing file.
TEST_F(QtLayer, BoxesAndFileDialogsKeepTheirTextsAndFlagsAndLeaveTheFileChecksToQt) {
    std::ofstream(dir / "a.dla") << "x";
    QStringList said;
    harness::Script script;
    script.then("the box", [] { return harness::Visible<QMessageBox>("Preview"); }, [&] {
        EXPECT_EQ(harness::Visible<QMessageBox>()->icon(), QMessageBox::Information);
        EXPECT_FALSE(IsWindowEnabled(hwnd)) << "the owner is disabled";
        PostMessageA(hwnd, WM_USER + 5, 0, 0);
    });
    script.then("the thread's message served by the box's loop",
                [] { return std::ranges::any_of(g_seen, [](const MSG& m) { return m.message == WM_USER + 5; }); },
                [] {});
    script.box("the answer", "Preview", said, QMessageBox::No);
    script.then("an unowned box", [] { return harness::Visible<QMessageBox>("caption"); }, [&] {
        EXPECT_TRUE(IsWindowEnabled(hwnd)) << "an unowned box leaves the window enabled";
        QTest::keyClick(harness::Visible<QMessageBox>(), Qt::Key_Escape);
    });
    script.then("the open dialog", [] { return harness::Visible<QFileDialog>("Open it"); }, [&] {
        auto* d = harness::Visible<QFileDialog>();
        EXPECT_EQ(std::tuple(d->nameFilters(), d->fileMode(), d->testOption(QFileDialog::DontUseNativeDialog)),
                  std::tuple(QStringList{"DLA files (*.dla)"}, QFileDialog::ExistingFile, false));
        EXPECT_EQ(std::filesystem::path(d->directory().absolutePath().toStdString()), dir);
        harness::AcceptFile("missing.dla");
    });
    script.box("Qt's refusal", "", said);
    script.then("the open dialog again", [] { return !harness::Visible<QMessageBox>(); },
                [] { harness::AcceptFile("a.dla"); });
    EXPECT_EQ(MessageBoxA(hwnd, "Keep <this> colour?", "Preview", MB_YESNO | MB_ICONINFORMATION), IDNO);
    EXPECT_TRUE(IsWindowEnabled(hwnd));
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), IDOK);
    const std::string opened = choose(false, "Open it", "DLA files (*.dla)\0*.dla\0", nullptr,
                                      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST, dir.string() + "/*.dla");
    EXPECT_EQ(std::filesystem::path(opened), dir / "a.dla");
    EXPECT_TRUE(said.size() == 2 && said[0] == "Keep <this> colour?" && said[1].contains("missing.dla"))
        << said.join('|').toStdString();
}

// A name typed in a folder that does not exist is refused with a warning naming the folder. Qt's own dialog stays open
// under the box; a native one (the backend told to take that way) has gone, and opens again at the typed name. Either
// way the user corrects the name, Qt asks before replacing that file (after No its dialog stays open), and the file is
// chosen.
TEST_F(QtLayer, ASaveDialogRefusesAFolderThatDoesNotExistAndKeepsOrReopensAtTheTypedName) {
    std::ofstream(dir / "b.tga") << "x";
    for (bool native : {false, true}) {
        backend.treatFileDialogsAsNative = native;
        QStringList said;
        harness::Script script;
        script.then("the save dialog", [] { return harness::Visible<QFileDialog>("Save it"); },
                    [] { harness::AcceptFile("nodir/x.tga"); });
        script.then("the refusal", [] { return harness::Visible<QMessageBox>("Save it"); }, [&] {
            QMessageBox* box = harness::Visible<QMessageBox>("Save it");
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(harness::Visible<QFileDialog>() != nullptr, !native) << "open under the box unless native";
            said << box->text();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        auto dialogAlone = [] { return harness::Visible<QFileDialog>("Save it") && !harness::Visible<QMessageBox>(); };
        script.then("the dialog at the typed name", dialogAlone, [&] {
            QFileDialog* d = harness::Visible<QFileDialog>();
            EXPECT_EQ(std::filesystem::path(d->directory().absolutePath().toStdString()), dir);
            EXPECT_EQ(d->findChild<QLineEdit*>("fileNameEdit")->text(), "nodir/x.tga");
            EXPECT_EQ(std::tuple(d->defaultSuffix(), d->testOption(QFileDialog::DontConfirmOverwrite)),
                      std::tuple(QString("tga"), false));
            harness::AcceptFile("b");
        });
        script.box("Qt's question", "", said, QMessageBox::No);
        script.then("the dialog again", dialogAlone, [] { harness::AcceptFile("b"); });
        script.box("Qt's question again", "", said, QMessageBox::Yes);
        const std::string saved = choose(true, "Save it", "Targa files (*.tga)\0*.tga\0", "tga",
                                         OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT, dir.string() + "/*.tga");
        EXPECT_EQ(std::filesystem::path(saved), dir / "b.tga");
        const QString folder = QString::fromStdString((dir / "nodir").string());
        ASSERT_EQ(said.size(), 3) << said.join('|').toStdString();
        EXPECT_EQ(said[0], folder + "\nThe folder does not exist.\nCheck the path and try again.");
        EXPECT_TRUE(said[1].contains("b.tga") && said[1] == said[2]) << said[1].toStdString();
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "nodir"));
}

// A window id option comes before XSCREENSAVER_WINDOW, that before -root; without any, the saver's own screen.
TEST(HackTarget, FromTheOptionsAndTheEnvironmentOrRefusedWithTheirSource) {
    using Case = std::tuple<std::vector<std::string>, const char*, std::string>;  // "root", the window, or the refusal
    std::vector<Case> all = {
        {{}, "", "screen"}, {{"/s"}, nullptr, "screen"}, {{"-window"}, "", "screen"}, {{"/c:1234"}, "", "screen"},
        {{"-root", "-window-id", "0x2a0000f"}, "12345", "2a0000f"}, {{"-root"}, "0X1C00007", "1c00007"},
        {{"--window-id", "4294967295"}, nullptr, "ffffffff"}, {{"-root"}, nullptr, "root"}, {{}, "77", "4d"},
        {{"-root"}, "window", "XSCREENSAVER_WINDOW: 'window' is not a window id"}};
    for (std::string bad : {"", "0", "0x", "12ab", "-5", "4294967296", "0x1g"})
        all.push_back({{"-window-id", bad}, "1", "-window-id: '" + bad + "' is not a window id"});
    all.push_back({{"-window-id"}, nullptr, "-window-id: '' is not a window id"});
    for (auto [args, environment, want] : all) {
        args.insert(args.begin(), "zorv-dla-ss");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::string why;
        const auto target = platform::qt::ParseHackTarget(static_cast<int>(args.size()), argv.data(), environment, why);
        char window[16];
        std::snprintf(window, sizeof window, "%x", target ? target->window : 0);
        EXPECT_EQ(!target ? (why.empty() ? "screen" : why) : target->root ? "root" : window, want)
            << ::testing::PrintToString(args) << " " << (environment ? environment : "(none)");
        EXPECT_TRUE(!target || target->root == (want == "root"));
    }
}

}  // namespace

int main(int argc, char** argv) { return harness::Main(argc, argv); }

// The layer's windows, queue, painting, modal loops and accelerators on the
// headless backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};
std::vector<Seen> g_seen;

LRESULT RecordProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_seen.push_back({hwnd, msg, wp});
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

class Layer : public ::testing::Test {
protected:
    headless::Backend screen;

    void SetUp() override {
        g_seen.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "Test";
        ASSERT_NE(RegisterClassA(&wc), 0);
    }

    HWND make(DWORD style = WS_OVERLAPPEDWINDOW, int w = 300, int h = 200) {
        return CreateWindowExA(0, "Test", "t", style, 0, 0, w, h, nullptr, nullptr, nullptr, nullptr);
    }

    // Drains the queue the way a program's loop would, without blocking.
    std::vector<UINT> drain(HWND filter = nullptr, UINT lo = 0, UINT hi = 0) {
        std::vector<UINT> got;
        MSG m;
        while (PeekMessageA(&m, filter, lo, hi, PM_REMOVE)) {
            got.push_back(m.message);
            if (m.message == WM_QUIT) break;
            DispatchMessageA(&m);
        }
        return got;
    }
};

TEST_F(Layer, PostedMessagesComeFirstInFirstOutWithWindowAndRangeFilters) {
    HWND a = make(), b = make();
    drain();  // creation paints
    PostMessageA(a, WM_USER + 1, 1, 0);
    PostMessageA(b, WM_USER + 2, 2, 0);
    PostMessageA(a, WM_KEYDOWN, 'A', 0);
    PostMessageA(a, WM_USER + 3, 3, 0);

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 2);
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_USER + 1, WM_USER + 3}));
}

TEST_F(Layer, PaintOnlyWhenNothingElseMatchesAndARegionIsInvalid) {
    HWND w = make();
    drain();
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) << "a valid window asks for no paint";

    RECT r{10, 10, 20, 20};
    InvalidateRect(w, &r, FALSE);
    PostMessageA(w, WM_USER, 0, 0);
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_USER, WM_PAINT}));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) << "painting validated the window";

    InvalidateRect(w, &r, FALSE);
    EXPECT_FALSE(PeekMessageA(&m, w, WM_KEYDOWN, WM_MOUSEWHEEL, PM_NOREMOVE)) << "paint lies outside the range";
    EXPECT_TRUE(PeekMessageA(&m, w, WM_PAINT, WM_PAINT, PM_REMOVE));
    EXPECT_TRUE(PeekMessageA(&m, w, WM_PAINT, WM_PAINT, PM_NOREMOVE)) << "paint stays until validated";
    DispatchMessageA(&m);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
}

TEST_F(Layer, QuitComesAfterThePostedMessagesAndBeforePaint) {
    HWND w = make();
    drain();
    InvalidateRect(w, nullptr, TRUE);
    PostMessageA(w, WM_USER, 0, 0);
    PostQuitMessage(7);
    PostMessageA(w, WM_USER + 1, 0, 0);
    MSG m;
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_USER);
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_USER + 1);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
}

TEST_F(Layer, SendCallsAtOnceAndCloseDestroys) {
    HWND w = make();
    drain();
    g_seen.clear();
    SendMessageA(w, WM_USER + 5, 9, 0);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].wParam, 9u);
    PostMessageA(w, WM_USER + 6, 0, 0);
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(g_seen.back().message, WM_DESTROY);
    EXPECT_TRUE(drain().empty()) << "messages for a destroyed window are dropped";
}

TEST_F(Layer, CreationSendsCreateSizeMoveAndShowingPaintsWithErase) {
    HWND w = make(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    std::vector<UINT> order;
    for (auto& s : g_seen) order.push_back(s.message);
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(order[0], WM_CREATE);
    EXPECT_EQ(order[1], WM_SIZE);
    EXPECT_EQ(order[2], WM_MOVE);
    EXPECT_EQ(order[3], WM_SHOWWINDOW);
    g_seen.clear();
    UpdateWindow(w);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[0].message, WM_PAINT);
    EXPECT_EQ(g_seen[1].message, WM_ERASEBKGND);
    EXPECT_EQ(screen.pixel(w, 0, 0), RGB(128, 128, 128)) << "erased with the class brush";
}

TEST_F(Layer, ClientAreaExcludesFrameCaptionAndMenu) {
    HWND w = make(WS_OVERLAPPEDWINDOW, 1024, 730);
    RECT r;
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, 1024 - 2 * headless::Backend::kFrame);
    EXPECT_EQ(r.bottom, 730 - headless::Backend::kCaption - 2 * headless::Backend::kFrame);
    HWND p = make(WS_POPUP, 640, 480);
    GetClientRect(p, &r);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
}

TEST_F(Layer, InputToADisabledWindowIsDropped) {
    HWND w = make();
    drain();
    EnableWindow(w, FALSE);
    screen.key(w, 'A');
    screen.click(w, WM_LBUTTONDOWN, 5, 5);
    EXPECT_TRUE(drain().empty());
    EnableWindow(w, TRUE);
    screen.keyDown(w, 'A');
    EXPECT_EQ(drain(nullptr, WM_KEYDOWN, WM_KEYDOWN), (std::vector<UINT>{WM_KEYDOWN}));
}

TEST_F(Layer, TranslateMessageMakesCharacters) {
    HWND w = make();
    drain();
    screen.keyDown(w, 'Q');
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_TRUE(TranslateMessage(&m));
    ASSERT_TRUE(PeekMessageA(&m, w, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_CHAR);
    EXPECT_EQ(m.wParam, static_cast<WPARAM>('q'));
}

TEST_F(Layer, AcceleratorsTurnPlainKeysIntoCommands) {
    static const AccelTable table{{{FVIRTKEY, 'S', 105}, {FVIRTKEY, VK_F1, 120}}};
    HWND w = make();
    drain();
    g_seen.clear();
    MSG m{w, WM_KEYDOWN, VK_F1, 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorA(w, &table, &m));
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, WM_COMMAND);
    EXPECT_EQ(LOWORD(g_seen[0].wParam), 120);

    m.wParam = 'X';
    EXPECT_FALSE(TranslateAcceleratorA(w, &table, &m));
    m.message = WM_KEYUP;
    m.wParam = 'S';
    EXPECT_FALSE(TranslateAcceleratorA(w, &table, &m)) << "only key presses";
    screen.keyDown(w, VK_CONTROL);
    m.message = WM_KEYDOWN;
    EXPECT_FALSE(TranslateAcceleratorA(w, &table, &m)) << "Ctrl+S is not S";
}

TEST_F(Layer, MessageBoxRecordsAndRunsANestedLoopForOtherWindows) {
    HWND owner = make(), other = make();
    drain();
    g_seen.clear();
    PostMessageA(other, WM_USER + 9, 0, 0);
    screen.onMessageBox = [](const headless::BoxRecord& box) { return box.type & MB_YESNO ? IDNO : IDOK; };
    EXPECT_EQ(MessageBoxA(owner, "Accept?", "Preview", MB_YESNO | MB_ICONINFORMATION), IDNO);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text, "Accept?");
    EXPECT_EQ(screen.boxes[0].caption, "Preview");
    EXPECT_TRUE(screen.boxes[0].ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "enabled again after the box";
    bool dispatched = false;
    for (auto& s : g_seen) dispatched |= s.hwnd == other && s.message == WM_USER + 9;
    EXPECT_TRUE(dispatched) << "the modal loop serves other windows";

    MessageBoxA(nullptr, "plain", "x", MB_OK);
    EXPECT_FALSE(screen.boxes[1].ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

INT_PTR TestDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetDlgItemTextA(dlg, 10, "42");
        CheckRadioButton(dlg, 20, 21, 21);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        char buffer[80];
        GetDlgItemTextA(dlg, 10, buffer, 30);
        EndDialog(dlg, std::string(buffer) == "7" && SendDlgItemMessageA(dlg, 20, BM_GETCHECK, 0, 0) ? 1 : 3);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, 2);
        return TRUE;
    }
    return FALSE;
}

TEST_F(Layer, DialogDisablesItsOwnerAndReturnsWhatItsProcedureEndsWith) {
    static const DialogTemplate t{WS_POPUP | WS_CAPTION, "Numbers", 0, 0, 100, 100, "MS Sans Serif", 8,
                                  {{ControlKind::Button, IDOK, "OK", WS_TABSTOP, 0, 0, 10, 10},
                                   {ControlKind::Edit, 10, "", WS_TABSTOP, 0, 0, 10, 10},
                                   {ControlKind::GroupBox, 30, "g", WS_GROUP, 0, 0, 10, 10},
                                   {ControlKind::RadioButton, 20, "a", WS_TABSTOP, 0, 0, 10, 10},
                                   {ControlKind::RadioButton, 21, "b", WS_TABSTOP, 0, 0, 10, 10}}};
    static const Module module{"test", {}, {}, {}, {{200, "", &t}}};
    HWND owner = make();
    drain();
    int turns = 0;
    bool ownerWasEnabled = true;
    screen.onDialog = [&](headless::DialogDriver& d) {
        ++turns;
        ownerWasEnabled = d.ownerEnabled();
        EXPECT_EQ(d.text(10), "42");
        EXPECT_TRUE(d.checked(21));
        d.setText(10, "7");
        d.click(20);
        EXPECT_FALSE(d.checked(21)) << "radio buttons of a group exclude each other";
        d.press(IDOK);
    };
    EXPECT_EQ(DialogBoxParamA(&module, MAKEINTRESOURCEA(200), owner, TestDialogProc, 0), 1);
    EXPECT_EQ(turns, 1);
    EXPECT_FALSE(ownerWasEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(screen.dialogsShown, (std::vector<std::string>{"Numbers"}));

    screen.onDialog = [](headless::DialogDriver&) {};
    EXPECT_THROW(DialogBoxParamA(&module, MAKEINTRESOURCEA(200), owner, TestDialogProc, 0), std::logic_error)
        << "a script that leaves a dialog waiting fails the run instead of hanging";
}

TEST_F(Layer, FileDialogsGiveThePathItsNameAndTheDefaultExtension) {
    std::string path = "/start/*.tga", title;
    OPENFILENAMEA ofn{};
    ofn.lpstrFilter = "Targa files (*.tga)\0*.tga\0";
    ofn.lpstrFile = &path;
    ofn.lpstrFileTitle = &title;
    ofn.lpstrTitle = "Save";
    ofn.lpstrDefExt = "tga";
    ofn.Flags = OFN_OVERWRITEPROMPT;
    screen.onFileDialog = [](const FileDialogRequest& r) {
        EXPECT_EQ(r.initialPath, "/start/*.tga");
        EXPECT_EQ(r.filters.size(), 1u);
        EXPECT_EQ(r.filters[0].second, "*.tga");
        return std::string("/pics/tree");
    };
    ASSERT_TRUE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(path, "/pics/tree.tga");
    EXPECT_EQ(title, "tree.tga");
    screen.onFileDialog = [](const FileDialogRequest&) { return std::string(); };
    EXPECT_FALSE(GetOpenFileNameA(&ofn));
    EXPECT_EQ(path, "/pics/tree.tga") << "a cancelled dialog leaves the buffers";
}

TEST_F(Layer, CursorShapeVisibilityAndPosition) {
    HCURSOR cross = LoadCursorA(nullptr, IDC_CROSS), wait = LoadCursorA(nullptr, IDC_WAIT);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hCursor = cross;
    wc.lpszClassName = "Crossed";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "Crossed", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(screen.cursorShape, CursorShape::Cross) << "the first window shown gives the pointer its class cursor";
    EXPECT_EQ(SetCursor(wait), cross) << "so the cursor a run replaces is the cross-hair";
    SetCursor(cross);
    screen.mouseMove(w, 3, 3);
    EXPECT_EQ(SetCursor(wait), cross);
    screen.mouseMove(w, 4, 4);
    EXPECT_EQ(screen.cursorShape, CursorShape::Cross) << "moving over the window brings back its class cursor";
    EXPECT_EQ(SetCursor(wait), cross);
    EXPECT_EQ(screen.cursorShape, CursorShape::Wait);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(screen.cursorVisible);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(screen.cursorVisible);
    SetCursorPos(100, 100);
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 100);
    (void)w;
}

TEST_F(Layer, PumpHookRunsWhileAProgramPolls) {
    HWND w = make();
    drain();
    platform::SetPumpInterval(8);
    screen.onPump = [&] { screen.keyDown(w, VK_PAUSE); };
    MSG m;
    int polls = 0;
    while (!PeekMessageA(&m, w, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) ++polls;
    EXPECT_EQ(m.wParam, static_cast<WPARAM>(VK_PAUSE));
    EXPECT_LE(polls, 8);
    platform::SetPumpInterval(64);
}

TEST_F(Layer, GetMessageWithNothingToWaitForFailsInsteadOfHanging) {
    make();
    drain();
    MSG m;
    EXPECT_THROW(GetMessageA(&m, nullptr, 0, 0), std::logic_error);
}

TEST_F(Layer, ClocksAreDrivenByTheTest) {
    screen.ticks = 1000;
    screen.calendar = 12345;
    EXPECT_EQ(GetTickCount(), 1000u);
    Sleep(250);
    EXPECT_EQ(GetTickCount(), 1250u);
    EXPECT_EQ(CalendarTime(), 12345);
}

}  // namespace

// The layer's queue, painting, modal loops, accelerators and class cursor
// on the headless backend.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/headless.h"

namespace {

struct Seen { HWND hwnd; UINT message; WPARAM wParam; };
std::vector<Seen> g_seen;

LRESULT RecordProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_seen.push_back({hwnd, msg, wp});
    if (msg != WM_PAINT) return DefWindowProcA(hwnd, msg, wp, lp);
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
    return 0;
}

class Layer : public ::testing::Test {
protected:
    headless::Backend screen;

    void SetUp() override {
        g_seen.clear();
        WNDCLASSA wc{0, RecordProc, 0, 0, nullptr, nullptr, nullptr, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)),
                     nullptr, "Test"};
        ASSERT_NE(RegisterClassA(&wc), 0);
    }

    // A window with its creation messages and paints already handled.
    HWND make(DWORD style = WS_OVERLAPPEDWINDOW) {
        HWND w = CreateWindowExA(0, "Test", "t", style, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        drain();
        g_seen.clear();
        return w;
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
    PostMessageA(a, WM_USER + 1, 1, 0);
    PostMessageA(b, WM_USER + 2, 2, 0);
    PostMessageA(a, WM_KEYDOWN, 'A', 0);
    PostMessageA(a, WM_USER + 3, 3, 0);

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) &&
                PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE) && m.message == WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_USER + 2);
    EXPECT_EQ(drain(), (std::vector<UINT>{WM_USER + 1, WM_USER + 3}));
}

TEST_F(Layer, PaintOnlyWhenNothingElseMatchesAndARegionIsInvalid) {
    HWND w = make();
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

    // Showing paints, erasing with the class brush.
    HWND shown = make(WS_POPUP);
    ShowWindow(shown, SW_SHOW);
    UpdateWindow(shown);
    EXPECT_EQ(screen.pixel(shown, 0, 0), RGB(128, 128, 128));
}

TEST_F(Layer, QuitComesAfterThePostedMessagesAndBeforePaint) {
    HWND w = make();
    InvalidateRect(w, nullptr, TRUE);
    PostMessageA(w, WM_USER, 0, 0);
    PostQuitMessage(7);
    PostMessageA(w, WM_USER + 1, 0, 0);
    MSG m;
    std::vector<UINT> got;
    while (GetMessageA(&m, nullptr, 0, 0)) got.push_back(m.message);
    EXPECT_EQ(got, (std::vector<UINT>{WM_USER, WM_USER + 1}));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
    drain();  // the paint
    EXPECT_THROW(GetMessageA(&m, nullptr, 0, 0), std::logic_error) << "nothing to wait for fails instead of hanging";
}

TEST_F(Layer, AcceleratorsTurnPlainKeyPressesIntoCommands) {
    static const AccelTable table{{{FVIRTKEY, 'S', 105}, {FVIRTKEY, VK_F1, 120}}};
    HWND w = make();
    MSG m{w, WM_KEYDOWN, VK_F1, 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorA(w, &table, &m));
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].message, WM_COMMAND);
    EXPECT_EQ(LOWORD(g_seen[0].wParam), 120);
    struct Case {
        UINT message;
        WPARAM key;
        bool control;
    };
    for (Case c : {Case{WM_KEYDOWN, 'X', false}, Case{WM_KEYUP, 'S', false}, Case{WM_KEYDOWN, 'S', true}}) {
        SCOPED_TRACE(c.key);
        if (c.control) screen.keyDown(w, VK_CONTROL);
        m.message = c.message;
        m.wParam = c.key;
        EXPECT_FALSE(TranslateAcceleratorA(w, &table, &m));
    }
}

// Input to the disabled owner is dropped; the box's own loop serves other windows.
TEST_F(Layer, MessageBoxDisablesOnlyItsOwnerAndItsLoopServesOtherWindows) {
    HWND owner = make(), other = make();
    PostMessageA(other, WM_USER + 9, 0, 0);
    screen.onMessageBox = [&](const headless::BoxRecord& box) {
        screen.key(owner, 'A');
        return box.type & MB_YESNO ? IDNO : IDOK;
    };
    EXPECT_EQ(MessageBoxA(owner, "Accept?", "Preview", MB_YESNO | MB_ICONINFORMATION), IDNO);
    MessageBoxA(nullptr, "plain", "x", MB_OK);
    ASSERT_EQ(screen.boxes.size(), 2u);
    EXPECT_TRUE(screen.boxes[0].text == "Accept?" && screen.boxes[0].caption == "Preview");
    EXPECT_TRUE(screen.boxes[0].ownerDisabled);
    EXPECT_FALSE(screen.boxes[1].ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "enabled again after the box";
    int dispatched = 0, keys = 0;
    for (const Seen& s : g_seen)
        dispatched += s.hwnd == other && s.message == WM_USER + 9, keys += s.message == WM_KEYDOWN;
    EXPECT_EQ(dispatched, 1);
    EXPECT_EQ(keys + drain().size(), 1u) << "only the key made while the box had no owner arrives";
}

INT_PTR TestDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) {
        SetDlgItemTextA(dlg, 10, "42");
        CheckRadioButton(dlg, 20, 21, 21);
        return TRUE;
    }
    if (msg != WM_COMMAND || (LOWORD(wp) != IDOK && LOWORD(wp) != IDCANCEL)) return FALSE;
    char buffer[80];
    GetDlgItemTextA(dlg, 10, buffer, 30);
    bool good = std::string(buffer) == "7" && SendDlgItemMessageA(dlg, 20, BM_GETCHECK, 0, 0);
    EndDialog(dlg, LOWORD(wp) == IDCANCEL ? 2 : good ? 1 : 3);
    return TRUE;
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
    bool ownerWasEnabled = true;
    screen.onDialog = [&](headless::DialogDriver& d) {
        ownerWasEnabled = d.ownerEnabled();
        EXPECT_EQ(d.text(10), "42");
        d.setText(10, "7");
        d.click(20);
        EXPECT_FALSE(d.checked(21)) << "radio buttons of a group exclude each other";
        d.press(IDOK);
    };
    EXPECT_EQ(DialogBoxParamA(&module, MAKEINTRESOURCEA(200), owner, TestDialogProc, 0), 1);
    EXPECT_FALSE(ownerWasEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

}  // namespace

// The layer's queue, painting, modal loops, accelerators and class cursor on the headless backend, and its software
// drawing on memory and window surfaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <queue>
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
    std::vector<UINT> drain(HWND filter = nullptr, UINT lo = 0, UINT hi = 0) {
        std::vector<UINT> got;
        for (MSG m; PeekMessageA(&m, filter, lo, hi, PM_REMOVE);) {
            got.push_back(m.message);
            if (m.message == WM_QUIT) break;
            DispatchMessageA(&m);
        }
        return got;
    }
};

TEST_F(Layer, PostedMessagesFirstInFirstOutWithWindowAndRangeFiltersAndQuitAfterThemBeforePaint) {
    HWND a = make(), b = make();
    PostMessageA(a, WM_USER + 1, 1, 0);
    PostMessageA(b, WM_USER + 2, 2, 0);
    PostMessageA(a, WM_KEYDOWN, 'A', 0);
    PostMessageA(a, WM_USER + 3, 3, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) &&
                PeekMessageA(&m, a, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE) && m.message == WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE) && m.message == WM_USER + 2);
    InvalidateRect(a, nullptr, TRUE);
    PostQuitMessage(7);
    PostMessageA(a, WM_USER + 4, 0, 0);
    std::vector<UINT> got;
    while (GetMessageA(&m, nullptr, 0, 0)) got.push_back(m.message);
    EXPECT_EQ(got, (std::vector<UINT>{WM_USER + 1, WM_USER + 3, WM_USER + 4}));
    EXPECT_TRUE(m.message == WM_QUIT && m.wParam == 7u);
    drain();  // the paint
    EXPECT_THROW(GetMessageA(&m, nullptr, 0, 0), std::logic_error) << "nothing to wait for fails instead of hanging";
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
    HWND shown = make(WS_POPUP);  // showing paints, erasing with the class brush
    ShowWindow(shown, SW_SHOW);
    UpdateWindow(shown);
    EXPECT_EQ(screen.pixel(shown, 0, 0), RGB(128, 128, 128));
}

TEST_F(Layer, AcceleratorsTurnOnlyPlainPressesOfTheirKeysIntoCommandsNotReleasesNorCtrl) {
    static const AccelTable table{{{FVIRTKEY, 'S', 105}, {FVIRTKEY, VK_F1, 120}}};
    HWND w = make();
    for (auto [message, key, control] : {std::tuple{WM_KEYDOWN, VK_F1, false}, {WM_KEYDOWN, 'X', false},
                                         {WM_KEYUP, 'S', false}, {WM_KEYDOWN, 'S', true}}) {
        if (control) screen.keyDown(w, VK_CONTROL);
        MSG m{w, message, WPARAM(key), 0, 0, {0, 0}};
        EXPECT_EQ(TranslateAcceleratorA(w, &table, &m) != 0, key == VK_F1) << key;
    }
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_TRUE(g_seen[0].message == WM_COMMAND && LOWORD(g_seen[0].wParam) == 120);
}

TEST_F(Layer, MessageBoxDisablesOnlyItsOwnerDropsItsInputAndItsLoopServesOtherWindows) {
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
    EXPECT_TRUE(screen.boxes[0].ownerDisabled && !screen.boxes[1].ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner)) << "enabled again after the box";
    int dispatched = 0, keys = 0;
    for (const Seen& s : g_seen) {
        dispatched += s.hwnd == other && s.message == WM_USER + 9;
        keys += s.message == WM_KEYDOWN;
    }
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
    EXPECT_TRUE(!ownerWasEnabled && IsWindowEnabled(owner));
}

// A save dialog that asks for an existing folder refuses a path in a missing one: a warning under the dialog's title
// names the folder in full, and the dialog opens again at the path. Cancelled then, the caller's path is untouched. A
// dialog that does not ask takes such a path as it is.
TEST_F(Layer, FileDialogsThatAskForAnExistingFolderRefuseAMissingOneAndOpenAgainAtThePath) {
    HWND owner = make();
    std::deque<std::string> typed{"zorv-no-such-folder/x", ""};
    std::vector<std::string> openedAt;
    screen.onFileDialog = [&](const FileDialogRequest& request) {
        openedAt.push_back(request.initialPath);
        std::string answer = typed.front();
        typed.pop_front();
        return answer;
    };
    std::string file = "start.tga";
    std::string name;
    OPENFILENAMEA ofn{};
    ofn.hwndOwner = owner;
    ofn.lpstrFile = &file;
    ofn.lpstrFileTitle = &name;
    ofn.lpstrTitle = "Save it";
    ofn.lpstrDefExt = "tga";
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
    EXPECT_FALSE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(file, "start.tga");
    EXPECT_EQ(openedAt, (std::vector<std::string>{"start.tga", "zorv-no-such-folder/x"}));
    ASSERT_EQ(screen.boxes.size(), 1u);
    const headless::BoxRecord& box = screen.boxes[0];
    const std::string folder = std::filesystem::current_path().string() + "/zorv-no-such-folder";
    EXPECT_EQ(std::tuple(box.caption, box.text, box.type),
              std::tuple("Save it", folder + "\nThe folder does not exist.\nCheck the path and try again.",
                         UINT(MB_OK | MB_ICONWARNING)));
    EXPECT_TRUE(box.owner == owner && box.ownerDisabled && IsWindowEnabled(owner)) << "owned, and enabled again after";

    ofn.Flags = OFN_OVERWRITEPROMPT;
    typed = {"zorv-no-such-folder/x"};
    EXPECT_TRUE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(std::pair(file, name), std::pair(std::string("zorv-no-such-folder/x.tga"), std::string("x.tga")));
    EXPECT_EQ(screen.boxes.size(), 1u);
}

class Raster : public ::testing::Test {
protected:
    headless::Backend screen;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 420, 300);
    void SetUp() override { SelectObject(dc, bitmap); }
    void TearDown() override {
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    long count(COLORREF c) { return std::count(dc->bits, dc->bits + 420 * 300, c); }
    // Floods the black area from the box's centre, 4- or 8-connected, and tells whether it got out of the box.
    bool floodEscapes(RECT box, bool diagonal) {
        std::vector<char> seen(420 * 300, 0);
        std::queue<POINT> q(std::deque<POINT>{{(box.left + box.right) / 2, (box.top + box.bottom) / 2}});
        for (; !q.empty(); q.pop()) {
            auto [x, y] = q.front();
            if (x < box.left - 1 || y < box.top - 1 || x > box.right || y > box.bottom) return true;
            if (seen[y * 420 + x] || GetPixel(dc, x, y) != 0) continue;
            seen[y * 420 + x] = 1;
            for (int i = 0; i < 9; ++i)
                if (i != 4 && (diagonal || i % 2)) q.push({x + i % 3 - 1, y + i / 3 - 1});
        }
        return false;
    }
};

TEST_F(Raster, PixelsFillsAndBlitsWriteExactlyWhatTheyShouldAndClip) {
    int wrong = 0;
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 420; ++x)
            wrong += SetPixel(dc, x, y, RGB(x, y, x ^ y)) != RGB(x, y, x ^ y) || GetPixel(dc, x, y) != RGB(x, y, x ^ y);
    EXPECT_EQ(wrong, 0);
    std::fill(dc->bits, dc->bits + 420 * 300, 0);
    for (POINT p : {POINT{-1, 0}, POINT{420, 0}, POINT{0, 300}, POINT{0, -1}})
        EXPECT_TRUE(GetPixel(dc, p.x, p.y) == CLR_INVALID && SetPixel(dc, p.x, p.y, RGB(1, 2, 3)) == CLR_INVALID);
    EXPECT_EQ(count(0), 420 * 300) << "a write outside changes nothing";
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0)), blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT r{2, 3, 10, 7};
    FillRect(dc, &r, red);
    EXPECT_TRUE(count(RGB(255, 0, 0)) == 8 * 4 && GetPixel(dc, 9, 6) == RGB(255, 0, 0));
    SelectObject(dc, blue);
    PatBlt(dc, 416, 292, 10, 10, PATCOPY);
    EXPECT_EQ(count(RGB(0, 0, 255)), 4 * 8);
    DeleteObject(red);
    DeleteObject(blue);
    // A blit copies exactly and clips at both surfaces.
    std::fill(dc->bits, dc->bits + 420 * 300, 0);
    HDC other = CreateCompatibleDC(nullptr);
    HBITMAP b2 = CreateCompatibleBitmap(nullptr, 20, 10);
    SelectObject(other, b2);
    for (int i = 0; i < 20 * 10; ++i) SetPixel(other, i % 20, i / 20, RGB(i % 20 * 10, i / 20 * 20, 7));
    EXPECT_TRUE(BitBlt(dc, 406, 292, 20, 10, other, 0, 0, SRCCOPY));
    BitBlt(dc, 0, 0, 10, 10, other, 15, 5, SRCCOPY);  // source partly outside
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 14; ++x) wrong += GetPixel(dc, 406 + x, 292 + y) != RGB(x * 10, y * 20, 7);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) wrong += GetPixel(dc, x, y) != RGB((x + 15) * 10, (y + 5) * 20, 7);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(count(0), 420 * 300 - 14 * 8 - 5 * 5) << "nothing written beyond what exists";
    DeleteObject(b2);
    DeleteDC(other);
}

// A whole-ellipse Arc stays inside its box and is closed: a 1-pixel outline holds a 4-connected flood, a 2-pixel
// pen's band also holds diagonal steps.
TEST_F(Raster, ArcWithEqualEndsDrawsAClosedEllipseInsideItsBox) {
    for (int width : {1, 2})
        for (RECT box : {RECT{5, 4, 55, 40}, RECT{1, 1, 418, 298}, RECT{100, 50, 301, 251}, RECT{10, 100, 410, 140}}) {
            SCOPED_TRACE(testing::Message() << "pen " << width << " box right " << box.right);
            std::fill(dc->bits, dc->bits + 420 * 300, 0);
            HGDIOBJ old = SelectObject(dc, CreatePen(PS_SOLID, width, RGB(255, 255, 255)));
            Arc(dc, box.left, box.top, box.right, box.bottom, box.left, box.top, box.left, box.top);
            int outside = 0;
            for (int y = 0; y < 300; ++y)
                for (int x = 0; x < 420; ++x)
                    outside += GetPixel(dc, x, y) && (x < box.left || x >= box.right || y < box.top || y >= box.bottom);
            EXPECT_EQ(width == 1 ? outside : 0, 0) << "a 1-pixel outline stays inside its box";
            EXPECT_EQ(GetPixel(dc, box.left + width - 1, (box.top + box.bottom) / 2), RGB(255, 255, 255));
            EXPECT_FALSE(floodEscapes(box, width == 2));
            DeleteObject(SelectObject(dc, old));
        }
}

}  // namespace

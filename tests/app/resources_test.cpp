// The program's resources: the menu and its captions, the accelerator keys
// (by what they do), the dialog templates and the icon.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>

#include "app/resources.h"
#include "platform/headless/headless.h"

namespace {

struct Item {
    std::string path;  // captions from the menu bar down, joined by '|'
    UINT id;
};

void flatten(const std::vector<MenuItemData>& items, const std::string& prefix, std::vector<Item>& out) {
    for (const auto& it : items) {
        std::string path = prefix.empty() ? it.text : prefix + "|" + it.text;
        out.push_back({path, it.id});
        if (!it.children.empty()) {
            EXPECT_EQ(it.id, 0u) << path << ": a pop-up carries no command";
        }
        flatten(it.children, path, out);
    }
}

TEST(Resources, MenuHasTheExactCaptionsAndCommands) {
    HMENU menu = LoadMenuA(&zorvdla, "VORMIXMENU");
    ASSERT_NE(menu, nullptr);
    std::vector<Item> items;
    flatten(menu->bar, "", items);
    const std::vector<Item> expected = {
        {"File   ", 0},
        {"File   |Load Parameter File (L)", 100},
        {"File   |Save Image and Parameters (S)", 105},
        {"File   |Save Parameters Only (O)", 110},
        {"File   |Exit (Esc)", 115},
        {"Plot Image (F1)   ", 120},
        {"Options   ", 0},
        {"Options   |Parameters (F4)", 130},
        {"Options   |Algorithms (F5)", 140},
        {"Options   |Clear Screen (F6)", 150},
        {"Options   |Coloring", 0},
        {"Options   |Coloring|Coloring Method (M)", 160},
        {"Options   |Coloring|Background Color (B)", 165},
        {"Options   |Coloring|MAP file (F)", 170},
        {"Options   |Coloring|Greyscale (G)", 175},
        {"Options   |Coloring|Default Palette (P)", 180},
        {"Help", 0},
        {"Help|Help Topics (F2)", 190},
        {"Help|About (F3)", 195},
    };
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i].path, expected[i].path);
        EXPECT_EQ(items[i].id, expected[i].id) << items[i].path;
    }
}

// A window that records the commands its accelerator table produces.
std::vector<int> g_commands;
LRESULT RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND) g_commands.push_back(LOWORD(wp));
    return DefWindowProcA(hwnd, msg, wp, lp);
}

TEST(Resources, EveryAcceleratorKeyGivesItsCommandAndOnlyWithoutModifiers) {
    headless::Backend screen;
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "Recorder";
    ASSERT_TRUE(RegisterClassA(&wc));
    HWND w = CreateWindowExA(0, "Recorder", "", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr,
                             nullptr);
    HACCEL accel = LoadAcceleratorsA(&zorvdla, "VORMIXMENU");
    ASSERT_NE(accel, nullptr);
    const std::vector<std::pair<int, int>> keys = {
        {'L', 100}, {'S', 105}, {'O', 110}, {VK_ESCAPE, 115}, {VK_F1, 120}, {VK_F4, 130}, {VK_F5, 140},
        {VK_F6, 150}, {'M', 160}, {'B', 165}, {'F', 170}, {'G', 175}, {'P', 180}, {VK_F2, 190}, {VK_F3, 195},
    };
    auto translate = [&](int vk) {
        g_commands.clear();
        MSG m{w, WM_KEYDOWN, static_cast<WPARAM>(vk), 1, 0, {0, 0}};
        return TranslateAcceleratorA(w, accel, &m);
    };
    for (auto [vk, id] : keys) {
        SCOPED_TRACE(vk);
        EXPECT_TRUE(translate(vk));
        EXPECT_EQ(g_commands, std::vector<int>{id});
    }
    for (int vk : {int{'D'}, VK_PAUSE, int{'A'}, VK_F12}) EXPECT_FALSE(translate(vk)) << vk;
    screen.keyDown(w, VK_SHIFT);
    EXPECT_FALSE(translate('S')) << "Shift+S is no accelerator";
}

struct Expected {
    int id;
    std::string title;
    int cx, cy;
    std::vector<int> order;  // control ids in template order
};

TEST(Resources, DialogTemplatesHaveTheirControlsInTemplateOrder) {
    const std::vector<Expected> dialogs = {
        {200, " Image Parameters", 155, 282, {1, 2, 210, 220, 230, 240, 250, 251, 252, 253, -1}},
        {300, "Algorithms", 163, 167, {1, 2, 310, 320, 321, 322, 330, 340, 341}},
        {400, "Coloring Method", 163, 90, {1, 2, 410, 420, 421}},
        {500, "Background Color", 155, 110, {1, 2, 510, 520, 521, 522, -1, -1, -1}},
    };
    for (const auto& e : dialogs) {
        SCOPED_TRACE(e.id);
        const DialogTemplate* t = nullptr;
        for (const auto& r : zorvdla.dialogs)
            if (r.id == e.id) t = r.data;
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->title, e.title);
        EXPECT_EQ(t->style, WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_3DLOOK | DS_SETFONT);
        EXPECT_EQ(t->style & WS_SYSMENU, 0u) << "no close box";
        EXPECT_EQ(t->x, 0);
        EXPECT_EQ(t->y, 0);
        EXPECT_EQ(t->cx, e.cx);
        EXPECT_EQ(t->cy, e.cy);
        EXPECT_EQ(t->fontName, "MS Sans Serif");
        EXPECT_EQ(t->fontPoints, 8);
        std::vector<int> order;
        for (const auto& item : t->items) {
            order.push_back(item.id);
            EXPECT_EQ(item.style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE) << item.id;
            if (item.kind == ControlKind::Button) {
                EXPECT_EQ(item.style & BS_DEFPUSHBUTTON, 0u) << "no default push button";
            }
            if (item.kind == ControlKind::Edit) {
                EXPECT_EQ(item.style & ES_AUTOHSCROLL, 0u) << "an entry is no wider than its field";
            }
        }
        EXPECT_EQ(order, e.order);
    }
}

TEST(Resources, RadioButtonsFormOneGroupPerGroupBox) {
    headless::Backend screen;
    screen.onDialog = [](headless::DialogDriver& d) {
        d.click(321);
        d.click(341);
        EXPECT_TRUE(d.checked(321));
        EXPECT_TRUE(d.checked(341)) << "choosing a pixel rule leaves the growth direction alone";
        d.click(340);
        EXPECT_TRUE(d.checked(321));
        EXPECT_FALSE(d.checked(341));
        EXPECT_EQ(d.text(310), "   Pixel Evaluation   ");
        EXPECT_EQ(d.text(341), "Centripetal (toward center)");
        d.press(IDCANCEL);
    };
    auto proc = [](HWND d, UINT m, WPARAM wp, LPARAM) -> INT_PTR {
        if (m == WM_COMMAND && LOWORD(wp) == IDCANCEL) return EndDialog(d, 2);
        return m == WM_INITDIALOG;
    };
    EXPECT_EQ(DialogBoxParamA(&zorvdla, MAKEINTRESOURCEA(300), nullptr, proc, 0), 2);
}

TEST(Resources, IconIsASmallConnectedClusterOnAPlainGround) {
    HICON icon = LoadIconA(&zorvdla, "VORMIXICON");
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->width, 32);
    ASSERT_EQ(icon->height, 32);
    ASSERT_EQ(icon->pixels.size(), 1024u);
    const COLORREF ground = icon->pixels[0];
    auto at = [&](int x, int y) { return icon->pixels[static_cast<std::size_t>(y * 32 + x)]; };
    ASSERT_NE(at(16, 16), ground) << "the seed is in the middle";
    // Every cluster pixel is reached from the seed through 8-neighbours.
    std::set<int> seen{16 * 32 + 16};
    std::vector<int> todo{16 * 32 + 16};
    while (!todo.empty()) {
        int p = todo.back();
        todo.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                int x = p % 32 + dx, y = p / 32 + dy;
                if (x < 0 || y < 0 || x > 31 || y > 31 || at(x, y) == ground) continue;
                if (seen.insert(y * 32 + x).second) todo.push_back(y * 32 + x);
            }
    }
    int cluster = 0;
    std::set<COLORREF> colours;
    for (COLORREF c : icon->pixels)
        if (c != ground) {
            ++cluster;
            colours.insert(c);
        }
    EXPECT_EQ(static_cast<int>(seen.size()), cluster) << "no stray pixels";
    EXPECT_GE(cluster, 60);
    EXPECT_LE(cluster, 400) << "a cluster, not a filled disc";
    EXPECT_GE(colours.size(), 10u) << "coloured by the order of growth";
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(at(i, 0), ground);
        EXPECT_EQ(at(0, i), ground);
    }
}

}  // namespace

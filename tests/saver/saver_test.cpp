// The palettes entry by entry; the saver on the headless screen with driven clocks, its runs read from what they draw.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "canvas/defpalette.h"
#include "engine/random.h"
#include "platform/headless/headless.h"
#include "saver/palettes.h"
#include "saver/saver.h"
#include "tests/texts.h"

namespace {

// The listed entries (index, red, green, blue). Palette 0 is zorv-dla's default, exact ramps from 14 to 190. Palette
// 2's entry 1 is (0, 4, 0), as an inward run's seed circle in palettes 2 and 3 shows, not a straight rise's (0, 8, 1).
const std::vector<int> listed[7] = {
    {0, 0, 0, 0, 1, 0, 72, 208, 14, 0, 0, 252, 44, 120, 0, 132, 45, 128, 0, 124, 50, 148, 0, 104, 51, 160, 0, 100, 52,
     156, 0, 96, 74, 244, 0, 8, 75, 252, 0, 0, 78, 252, 0, 0, 141, 252, 252, 0, 142, 252, 252, 0, 189, 64, 252, 0, 190,
     64, 252, 0, 235, 0, 180, 140, 255, 0, 76, 204},
    {0, 0, 0, 0, 1, 243, 233, 224, 55, 193, 147, 89, 119, 122, 88, 46, 138, 72, 52, 26, 184, 0, 0, 0, 244, 255, 0, 0,
     250, 255, 0, 0, 251, 255, 34, 34, 255, 255, 166, 166},
    {0, 0, 0, 0, 1, 0, 4, 0, 27, 0, 212, 24, 32, 160, 252, 168, 36, 0, 224, 32, 64, 0, 0, 0, 91, 64, 212, 148, 96, 252,
     252, 252, 101, 68, 216, 152, 128, 0, 0, 0, 155, 0, 120, 212, 160, 80, 216, 252, 165, 0, 124, 216, 192, 0, 0, 0,
     219, 212, 0, 168, 224, 252, 120, 244, 229, 216, 0, 176, 255, 4, 0, 8},
    {0, 0, 0, 0, 1, 0, 4, 0, 32, 0, 200, 0, 64, 200, 252, 0, 96, 252, 252, 252, 144, 252, 252, 0, 192, 0, 252, 0, 255,
     0, 4, 0},
    {0, 180, 192, 0, 25, 108, 244, 24, 57, 24, 244, 112, 82, 0, 192, 188, 105, 16, 124, 236, 127, 68, 60, 252, 152, 144,
     8, 228, 185, 228, 8, 140, 209, 252, 60, 68, 235, 232, 136, 12, 255, 184, 196, 0},
    {0, 0, 0, 0, 1, 160, 16, 0, 30, 252, 128, 0, 31, 152, 64, 0, 60, 252, 252, 0, 61, 0, 48, 16, 90, 0, 252, 108, 91, 0,
     48, 48, 120, 0, 252, 252, 121, 0, 0, 96, 122, 0, 0, 0, 123, 4, 4, 104, 150, 64, 64, 252, 151, 72, 0, 80, 180, 172,
     96, 252, 181, 96, 0, 32, 210, 252, 0, 172, 211, 96, 0, 0, 240, 252, 32, 32, 241, 246, 31, 0, 255, 160, 17, 0},
    {0, 8, 0, 8, 1, 24, 16, 8, 43, 248, 240, 8, 128, 248, 0, 248, 171, 8, 240, 248, 255, 8, 16, 24},
};

// Listed entries exactly; between two, within 10 of the line (palettes 1-5; palette 0 on it from 14 to 190, elsewhere
// steps of 0, 4 or 8, green falling in 1-14). Palette 4's second half is within 6 of 252 minus its first; palette 6
// walks a closed lattice, each entry once: red and blue 8 + 16k, green 16k, each step 16 in green and red or blue.
TEST(Palettes, EntryByEntry) {
    EXPECT_EQ(std::memcmp(palette[0], defaultpalette, sizeof defaultpalette), 0) << "the saver's palette 0";
    for (int p = 0; p < 7; ++p)
        for (std::size_t k = 0; k < listed[p].size(); k += 4) {
            const int i = listed[p][k], *colour = &listed[p][k + 1];
            for (int c = 0; c < 3; ++c) EXPECT_EQ(int(palette[p][i][c]), colour[c]) << "palette " << p << ": " << i;
            if (p == 6 || k + 4 == listed[p].size()) continue;
            const int j = listed[p][k + 4], *next = &listed[p][k + 5];
            const double tolerance = p ? 10 : i >= 14 && j <= 190 ? 0 : -1;
            for (int n = i + 1; n < j && tolerance >= 0; ++n)
                for (int c = 0; c < 3; ++c)
                    EXPECT_LE(std::abs(palette[p][n][c] - colour[c] - double(next[c] - colour[c]) * (n - i) / (j - i)),
                              tolerance) << "palette " << p << " entry " << n << " channel " << c;
        }
    for (auto [from, to, most] : {std::tuple{1, 14, 8}, {190, 235, 4}, {235, 255, 8}})
        for (int i = from; i < to; ++i)
            for (int c = 0; c < 3; ++c) {
                const int step = palette[0][i + 1][c] - palette[0][i][c], way = palette[0][to][c] - palette[0][from][c];
                EXPECT_TRUE(step % 4 == 0 && std::abs(step) <= most && step * way >= 0 && (from != 1 || c != 1 || step))
                    << "entry " << i + 1 << " channel " << c << " steps by " << step;
            }
    std::set<int> seen;
    for (int i = 0; i < 256; ++i) {
        for (int c = 0; i < 128 && c < 3; ++c) EXPECT_LE(std::abs(palette[4][i + 128][c] + palette[4][i][c] - 252), 6);
        const unsigned char *a = palette[6][i], *b = palette[6][(i + 1) % 256];
        const int dr = std::abs(b[0] - a[0]), dg = std::abs(b[1] - a[1]), db = std::abs(b[2] - a[2]);
        EXPECT_TRUE(a[0] % 16 == 8 && a[1] % 16 == 0 && a[2] % 16 == 8 && dg == 16 && dr + db == 16 && dr * db == 0 &&
                    seen.insert(a[0] << 16 | a[1] << 8 | a[2]).second) << "palette 6 entry " << i;
    }
}

COLORREF entrycolor(int p, int i) { return RGB(palette[p][i][0], palette[p][i][1], palette[p][i][2]); }

// Paints, as cluster, every pixel from lo up to (not including) hi from the centre.
void paintring(double lo, double hi) {
    for (int i = 0; i < xscreen * yscreen; ++i) {
        const double d = std::hypot(i % xscreen - xcenter, i / xscreen - ycenter);
        if (d >= lo && d < hi) SetPixel(g_vhdc, i % xscreen, i / xscreen, RGB(9, 9, 9));
    }
}

class Saver : public ::testing::Test {
protected:
    headless::Backend screen;
    void SetUp() override {
        resetsaver();
        platform::SetPumpInterval(1);
    }
    void TearDown() override {
        screen.onPump = nullptr;
        if (g_hWnd && IsWindow(g_hWnd)) DestroyWindow(g_hWnd);
        resetsaver();
        initpalettes();
        platform::SetPumpInterval(64);
    }
    int runWinMain(std::string args = "") { return WinMain(&saverModule, nullptr, args.data(), SW_SHOWNORMAL); }
    // The saver as a new process finds it, on a screen of the given size.
    void restart(int width = 640, int height = 480, int bits = 32) {
        resetsaver();
        platform::SetBackend(&screen);
        screen.setScreen(width, height, bits);
    }
    // One run (dla1 outward, else dla2) on a 640 x 480 screen, seeded at `second`: `paint` draws on the cleared canvas
    // before the seed is planted (at the first pump); `done`, asked at every pump after, ends the run by a key.
    int probe(bool outward, std::int64_t second, std::function<void()> paint, std::function<bool()> done) {
        if (!g_hWnd) {
            screen.setScreen(640, 480, 32);
            EXPECT_TRUE(InitWindowClass(&saverModule) == 0 && CreateMainWindow(&saverModule, SW_SHOWNORMAL) == 0);
        }
        screen.calendar = second;
        bool painted = false, ended = false;
        screen.onPump = [&] {
            if (!painted) {
                painted = true;
                return paint();
            }
            if (!ended && done()) {
                ended = true;
                screen.keyDown(g_hWnd, 'K');
            }
        };
        return outward ? dla1() : dla2();
    }
};

// A screen under 640 x 480 or 32 bits is refused with a box. Else the first run is dla1 in palette 0, titled, cursor
// hidden, command line ignored: seed and first 65 particles in entry 1; with entries 2-255 black, 254 entries later
// entry 1 again, never 0. It goes on at two minutes (ticks wrapping), ends past them; dla2 starts in palette 1.
TEST_F(Saver, StartFirstRunColoursAndTimeOut) {
    screen.onPump = [&] { screen.keyDown(g_hWnd, 'Q'); };  // a saver that runs where it should refuse ends at once
    for (auto [w, h, bits, text] : {std::tuple{639, 480, 32, 1}, {640, 479, 32, 1}, {1024, 768, 24, 2}}) {
        restart(w, h, bits);
        screen.boxes.clear();
        EXPECT_TRUE(runWinMain() == 0 && screen.cursorVisible);
        ASSERT_EQ(screen.boxes.size(), 1u);
        const headless::BoxRecord& box = screen.boxes[0];
        EXPECT_EQ(std::tuple(box.caption, box.text, box.type, box.owner),
                  std::tuple(texts::startupCaption, texts::startupError[text], MB_OK | MB_ICONEXCLAMATION, HWND{}));
    }
    for (int i = 2; i < 256; ++i) palette[0][i][0] = palette[0][i][1] = palette[0][i][2] = 0;
    palette[0][0][0] = 200;
    restart(1024, 768);
    screen.ticks = 0xFFFFFFFFu - 60000;
    platform::SetPumpInterval(256);
    int ones = 0, zeros = 0, scans = 0, at66 = 0, stage = 0, dla2pumps = 0;  // at66: scans that saw 66 in entry 1
    screen.onPump = [&] {
        if (!g_vhdc) return;
        EXPECT_FALSE(screen.cursorVisible);
        if (palindex == 1) {  // its second pump is in dla2's walk (the first may come before the circle is drawn)
            if (++dla2pumps != 2) return;
            EXPECT_TRUE(stage == 2 && GetPixel(g_vhdc, xcenter + 199, ycenter) == entrycolor(1, 1)) << stage;
            return screen.keyDown(g_hWnd, VK_ESCAPE);
        }
        if (stage == 1) {
            stage = 2;
            screen.ticks += 1;
        }
        if (stage) return;
        ones = zeros = 0;
        for (int i = 0; i < 61 * 61; ++i) {
            const COLORREF c = GetPixel(g_vhdc, xcenter - 30 + i % 61, ycenter - 30 + i / 61);
            ones += c == entrycolor(0, 1);
            zeros += c == entrycolor(0, 0);
        }
        ++scans;
        at66 += ones == 66;
        if (ones > 66 || zeros) {
            stage = 1;
            screen.ticks += 120000;
        }
    };
    EXPECT_EQ(runWinMain("\"/c:1234\""), 0);
    EXPECT_TRUE(2 * at66 > scans && ones > 66 && zeros == 0) << at66 << " of " << scans << ", " << ones;
    EXPECT_TRUE(dla2pumps >= 2 && g_hWnd->title == texts::saverTitle);
}

// The first particle launches at radius 10 (dla1) or 190 (dla2); a stray walker is put back at its launch point
// (-1, -1) outward, (+1, +1) inward: made cluster, that point stops it at once, away from every cluster pixel.
TEST_F(Saver, StrayWalkersArePutBackBesideTheirLaunchPoint) {
    for (bool outward : {true, false}) {
        int away = 0;  // about half of the seeds stray before they touch
        for (std::int64_t second = 1700000011; second <= 1700000030; ++second) {
            zorvsrand(static_cast<unsigned>(second));
            const double angle = zorvrandom() * 0.017453292519943295 * 360.0, r = outward ? 10 : 190;
            const double lo = outward ? 2 : 185, hi = outward ? 14 : 197.5;  // where the first particle rests
            const int p = palindex, d = outward ? -1 : 1, n = 2 * int(hi) + 1;
            int rest = -1;  // the cluster neighbours of the first particle at rest
            const int lx = static_cast<int>(std::cos(angle) * r), ly = static_cast<int>(std::sin(angle) * r);
            probe(outward, second, [&] { SetPixel(g_vhdc, xcenter + lx + d, ycenter + ly + d, RGB(9, 9, 9)); }, [&] {
                for (int i = 0; i < n * n && rest < 0; ++i) {
                    const int x = xcenter + i % n - int(hi), y = ycenter + i / n - int(hi);
                    const double distance = std::hypot(x - xcenter, y - ycenter);
                    if (distance < lo || distance >= hi || GetPixel(g_vhdc, x, y) != entrycolor(p, 1)) continue;
                    rest = 0;
                    for (int k = 0; k < 9; ++k) rest += k != 4 && GetPixel(g_vhdc, x + k % 3 - 1, y + k / 3 - 1) != 0;
                }
                return rest >= 0;
            });
            away += rest == 0;
        }
        EXPECT_GE(away, 5) << (outward ? "dla1" : "dla2");
    }
}

// Particles drawn in black, a painted disc or ring is the cluster: dla1 completes on touching a pixel 191 or more from
// the centre, dla2 one nearer than 20; completing advances the palette (6 to 0) after a 3-second pause.
TEST_F(Saver, ClustersCompleteAtTheirLimits) {
    for (auto& p : palette) std::memset(p[1], 0, sizeof p - sizeof p[0]);  // entries 1 to 255
    palindex = 5;
    struct Ring { bool outward; int lo, hi; bool completes; };  // painted from lo up to hi
    for (const Ring& ring : {Ring{true, 0, 191, false}, Ring{true, 0, 192, true},
                             Ring{false, 20, 1000, false}, Ring{false, 19, 1000, true}}) {
        const DWORD ticks = screen.ticks;
        int p = palindex;
        int pumps = 0;
        const int r = probe(ring.outward, 1700000021, [&] { paintring(ring.lo, ring.hi); },
                            [&] { return ++pumps == 40000; });
        EXPECT_TRUE(r == !ring.completes && palindex == (ring.completes ? (p + 1) % 7 : p))
            << ring.outward << " " << ring.lo;
        EXPECT_EQ(screen.ticks - ticks, ring.completes ? 3000u : 0u) << ring.outward << " " << ring.lo;
    }
}

// An input during the first run, in the 3-second pause after the first cluster (completed on a painted disc) or at the
// loop's poll after a run timed out ends the saver at once or is ignored. Ended in the pause, no time passes and the
// cluster stays shown; ignored there, the picture stays its 3 s and the next run begins. The cursor is shown as often
// as hidden and the canvas released (once, also when a move and a key, WM_NULL, both end it).
TEST_F(Saver, InputEndsTheSaverOrIsIgnored) {
    struct Input { const char* name; UINT message; int x, y; bool endsDuringRun, endsAfterwards; };
    enum When { DURING_RUN, IN_PAUSE, BETWEEN_RUNS };
    for (Input in : {Input{"key", WM_KEYDOWN, 0, 0, true, true}, {"left", WM_LBUTTONDOWN, 10, 10, true, true},
                     {"right", WM_RBUTTONDOWN, 10, 10, true, true}, {"middle", WM_MBUTTONDOWN, 10, 10, false, true},
                     {"key release", WM_KEYUP, 0, 0, false, false}, {"move 3 across", WM_MOUSEMOVE, 13, 10, true, true},
                     {"move 3 up", WM_MOUSEMOVE, 10, 7, true, true}, {"move 2, 2", WM_MOUSEMOVE, 12, 8, false, true},
                     {"move 1 across", WM_MOUSEMOVE, 11, 10, false, true},
                     {"move and key", WM_NULL, 20, 20, true, true}})
        for (When when : {DURING_RUN, IN_PAUSE, BETWEEN_RUNS}) {
            const char* const whens[] = {"during a run", "in the pause", "between runs"};
            SCOPED_TRACE(testing::Message() << in.name << " " << whens[when]);
            restart();
            long pumps = 0, actedAt = 0;
            bool painted = false;
            std::optional<DWORD> pausedAt;
            DWORD actedTicks = 0, nextRunAt = 0;
            screen.onPump = [&] {
                ++pumps;
                if (when == BETWEEN_RUNS && pumps == 100) screen.ticks += 120001;
                if (when == IN_PAUSE && !painted && g_vhdc && GetPixel(g_vhdc, xcenter, ycenter) == entrycolor(0, 1)) {
                    painted = true;  // the seed: dla1 is walking; a disc out to 191 completes its cluster
                    paintring(0, 192);
                }
                if (when == IN_PAUSE && palindex == 1 && !pausedAt) pausedAt = screen.ticks;
                const bool now = when == DURING_RUN ? pumps == 200
                                 : when == BETWEEN_RUNS ? palindex == 1 : pausedAt && screen.ticks - *pausedAt >= 1234;
                if (!actedAt && now) {
                    actedAt = pumps;
                    actedTicks = screen.ticks;
                    if (in.message == WM_MOUSEMOVE || in.message == WM_NULL) screen.mouseMove(g_hWnd, in.x, in.y);
                    if (in.message == WM_KEYDOWN || in.message == WM_NULL) screen.keyDown(g_hWnd, 'Q');
                    if (in.message == WM_KEYUP) screen.keyUp(g_hWnd, 'Q');
                    if (in.message > WM_MOUSEMOVE) screen.click(g_hWnd, in.message, 10, 10);
                }
                // In the pause, the next run shows by dla2's seed circle; else the key comes 300 pumps after the input.
                const bool next = when == IN_PAUSE ? palindex == 1 && g_vhdc && !nextRunAt &&
                                                         GetPixel(g_vhdc, xcenter + 199, ycenter) == entrycolor(1, 1)
                                                   : actedAt && pumps == actedAt + 300;
                if (next) {
                    nextRunAt = screen.ticks;
                    screen.keyDown(g_hWnd, VK_SPACE);
                }
            };
            EXPECT_EQ(runWinMain(), 0);
            const bool ends = when == DURING_RUN ? in.endsDuringRun : in.endsAfterwards;
            if (when == IN_PAUSE && ends) {
                EXPECT_TRUE(painted && actedAt && screen.ticks == actedTicks) << "no time passed after the input";
                EXPECT_EQ(nextRunAt, 0u) << "no next run";
                EXPECT_EQ(screen.pixel(g_hWnd, xcenter, ycenter), entrycolor(0, 1)) << "the cluster is still shown";
            } else if (when == IN_PAUSE) {
                EXPECT_EQ(nextRunAt - pausedAt.value_or(0), 3000u) << "the picture stayed 3 s, then the next run began";
            } else if (ends) {
                EXPECT_LT(pumps, actedAt + 10) << "ended at once";
            } else {
                EXPECT_GE(pumps, actedAt + 300) << "went on until the key";
            }
            EXPECT_TRUE(palindex == (when != DURING_RUN) && screen.cursorVisible && g_vhdc == nullptr);
            EXPECT_EQ(ShowCursor(FALSE), -1) << "hidden and shown the same number of times";
        }
}

}  // namespace

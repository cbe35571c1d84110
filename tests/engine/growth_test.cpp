// The growth runs: flags, help, escape, contact rules, stickiness, colouring,
// limits, user stops, drawing and statistics, on a headless main window.
#include <climits>
#include <cstdio>
#include <set>
#include <string>

#include "tests/engine/growth_fixture.h"

namespace growthtest {
namespace {

const char* const kHelp =
    "Start or resume using 'Plot Image' (F1)\n\nStop with PAUSE key or mouse click\n\n"
    "Rendering stops automatically when seeding\n   circle approaches limit\n\n"
    "Press D to toggle debugging information:\n   animated seeding circle, elapsed time,\n"
    "   and values of variables";

int helpboxes(const headless::Backend& screen) {
    int n = 0;
    for (const auto& b : screen.boxes) n += b.caption == "HELP";
    return n;
}

// ------------------------------------------------------------------ help

TEST_F(Growth, HelpTextShownOncePerProgramStartBeforeTheFirstImage) {
    open(100);
    firsttime = 1;
    terminate = 1;  // a stop noticed at entry shows nothing
    EXPECT_EQ(dla_centrifugal(), 2);
    EXPECT_EQ(helpboxes(screen), 0);
    EXPECT_EQ(firsttime, 1);

    plot();
    grow();
    plot();
    grow();  // a second image
    ASSERT_EQ(helpboxes(screen), 1);
    const auto& box = screen.boxes.front();
    EXPECT_EQ(box.text, kHelp);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.type, MB_ICONINFORMATION);
    EXPECT_EQ(firsttime, 0);
}

TEST_F(Growth, CentripetalRunNeverShowsHelp) {
    open(100);
    firsttime = 1;
    growth = 1;
    grow();
    EXPECT_EQ(helpboxes(screen), 0);
    EXPECT_EQ(firsttime, 1);
    growth = 0;
    plot();
    dla_centrifugal();
    EXPECT_EQ(helpboxes(screen), 1);
}

// ------------------------------------------------------------ whole images

struct RuleCase {
    int algorithm;
    int image;
};

class WholeCluster : public Growth, public ::testing::WithParamInterface<RuleCase> {};

// Every particle comes to rest next to the cluster (within two pixels under
// rule 2), inside the image and inside the final seeding circle; the run
// ends at the limit, with the last particle undrawn.
TEST_P(WholeCluster, CentrifugalGrowsToTheLimit) {
    const RuleCase rc = GetParam();
    open(rc.image);
    algorithm = rc.algorithm;
    screen.calendar = 1700000123;
    stopafter(2'000'000);
    std::vector<COLORREF> before;
    int last = dla_centrifugal(), particles = 1, gaps = 0;
    ASSERT_EQ(last, GROWTH_CONTINUES);
    const int reach = rc.algorithm == 2 ? 2 : 1;
    while (okdla) {
        before = canvas();
        const GrowthState s = centrifugalstate();
        last = dla_centrifugal();
        serve();
        if (last != GROWTH_CONTINUES) break;
        ++particles;
        // Exactly one new pixel, touching (or, under rule 2, near) the old cluster.
        std::vector<COLORREF> after = canvas();
        int changed = 0;
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) {
                if (after[y * xres + x] == before[y * xres + x]) continue;
                ++changed;
                ASSERT_EQ(before[y * xres + x], bkgd) << "a new pixel lands on empty space";
                bool near = false, touching = false;
                for (int dy = -reach; dy <= reach; ++dy)
                    for (int dx = -reach; dx <= reach; ++dx) {
                        COLORREF c = GetPixel(g_vhdc, x + dx, y + dy);
                        if ((dx || dy) && c != CLR_INVALID && before[(y + dy) * xres + x + dx] != bkgd) {
                            near = true;
                            touching |= std::abs(dx) <= 1 && std::abs(dy) <= 1;
                        }
                    }
                ASSERT_TRUE(near) << "particle " << particles << " at " << x << "," << y;
                gaps += !touching;
                const GrowthState& now = centrifugalstate();
                ASSERT_LE(std::hypot(x - now.xcenter, y - now.ycenter), now.radius);
            }
        ASSERT_EQ(changed, 1) << "particle " << particles;
        ASSERT_LE(s.radius, centrifugalstate().radius) << "the circle never shrinks";
    }
    EXPECT_EQ(last, 0);
    EXPECT_EQ(okdla, 0);
    EXPECT_EQ(firstloop, 1);
    EXPECT_EQ(terminate, 1);
    EXPECT_EQ(canvas(), before) << "the particle that reached the limit is not drawn";
    const GrowthState& s = centrifugalstate();
    EXPECT_LT(s.xcenter - s.radius, 10);
    EXPECT_EQ(s.radius, static_cast<int>(s.distancemax) + startradius);
    EXPECT_EQ(clusterpixels(), particles + 1);
    if (rc.algorithm == 2) {
        EXPECT_GT(gaps, 0) << "rule 2 leaves one-pixel gaps";
    } else {
        EXPECT_EQ(gaps, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, WholeCluster, ::testing::Values(RuleCase{0, 100}, RuleCase{1, 100}, RuleCase{2, 100}));

TEST_F(Growth, DefaultImageCompletesAtTheFirstParticleReaching181) {
    open(400);
    screen.calendar = 1700000777;
    stopafter(2'000'000);  // a walk that never ends fails instead of hanging
    int particles = 0, last = -1;
    int radiusbefore = 0;
    while (okdla) {
        radiusbefore = centrifugalstate().radius;
        last = dla_centrifugal();
        serve();
        particles += last == GROWTH_CONTINUES;
    }
    const GrowthState& s = centrifugalstate();
    EXPECT_EQ(last, 0);
    EXPECT_LE(radiusbefore, 190);
    EXPECT_GE(s.distancemax, 181.0);
    EXPECT_GT(s.radius, 190);
    EXPECT_EQ(clusterpixels(), particles + 1);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x)
            if (can(x, y) != bkgd) {
                ASSERT_LE(std::hypot(x - 200, y - 200), radiusbefore) << x << "," << y;
                ASSERT_EQ(win(x, y), can(x, y)) << "drawn live on the window too";
            }
}

TEST_F(Growth, CentripetalGrowsInwardToItsLimit) {
    open(200);
    growth = 1;
    screen.calendar = 1700000555;
    stopafter(2'000'000);
    int last = -1, particles = 0;
    double nearest = 1e9;
    while (okdla) {
        last = dla_centripetal();
        serve();
        if (last == GROWTH_CONTINUES) {
            ++particles;
            nearest = std::min(nearest, centripetalstate().distancemin);
            ASSERT_GE(centripetalstate().radius, 10);
        }
    }
    const GrowthState& s = centripetalstate();
    EXPECT_EQ(last, 0);
    EXPECT_EQ(firstloop, 1);
    EXPECT_LT(s.radius, 10);
    EXPECT_LT(s.distancemin, startradius + 10.0);
    EXPECT_GE(nearest, startradius + 10.0) << "the particle that ended the run is not drawn";
    EXPECT_GT(particles, 100);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if (can(x, y) != bkgd && can(x, y) != palettecolor(1)) {
                ASSERT_GE(std::hypot(x - 100, y - 100), nearest - 1.5);
            }
}

// ------------------------------------------------------------------ limits

struct LimitCase {
    int growth;
    int startradius;
};
class SmallImageLimit : public Growth, public ::testing::WithParamInterface<LimitCase> {};

// 100 x 100 with a start radius of 41 to 50 leaves no room: the first
// particle ends the run and only the seed remains.
TEST_P(SmallImageLimit, CompletesAtTheFirstParticleDrawingNothing) {
    open(100);
    growth = GetParam().growth;
    startradius = GetParam().startradius;
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(okdla, 0);
    EXPECT_EQ(firstloop, 1);
    if (growth == 0) {
        EXPECT_EQ(clusterpixels(), 1);
        EXPECT_EQ(can(50, 50), palettecolor(1));
    } else {
        for (COLORREF c : canvas()) ASSERT_TRUE(c == bkgd || c == palettecolor(1));
    }
}
INSTANTIATE_TEST_SUITE_P(Radii, SmallImageLimit,
                         ::testing::Values(LimitCase{0, 41}, LimitCase{0, 45}, LimitCase{0, 50}, LimitCase{1, 41},
                                           LimitCase{1, 50}));

// ------------------------------------------------------------------ escape

// Only the four pixels at exactly radius + 2 on the axes are cluster: a
// walker that steps there is not put back, so it finds them.
TEST_F(Growth, OutwardDistanceOfExactlyRadiusPlusTwoIsNoEscape) {
    open(100);
    for (unsigned seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE(seed);
        begin(10);
        for (POINT p : {POINT{62, 50}, POINT{38, 50}, POINT{50, 62}, POINT{50, 38}}) SetPixel(g_vhdc, p.x, p.y, kWall);
        zorvsrand(seed);
        stopafter(20000);  // a walk that never ends would be a fault
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        EXPECT_EQ(centrifugalstate().distancemax, 12.0);
    }
}

// Pixels beyond radius + 2 are never read: a walker stepping there goes back
// beside its launch point first. The walk only ends by the user's PAUSE.
TEST_F(Growth, OutwardOneStepFurtherIsAnEscape) {
    open(100);
    begin(10);
    ring(12.0, 20.0);
    const std::vector<COLORREF> before = canvas();
    platform::SetPumpInterval(64);
    stopafter(3000);  // about 190 000 steps
    EXPECT_EQ(dla_centrifugal(), 1);
    EXPECT_GT(centrifugalstate().moves, 100000);
    EXPECT_EQ(canvas(), before);
}

TEST_F(Growth, InwardDistanceOfExactlyRadiusMinusTwoIsNoEscapeButOneStepFurtherIs) {
    open(100);
    growth = 1;
    startradius = 5;  // keeps the circle above its limit
    // Cluster at exactly 18 on two axes, a wall beyond 28, and pixels just
    // inside 18 that only a walker that was not put back could reach. All
    // lie right of and below the centre, where the put-back point (one pixel
    // right and down of the launch point) never comes inside 19.
    int atexactly = 0;
    for (unsigned seed = 1; seed <= 200 && atexactly < 3; ++seed) {
        SCOPED_TRACE(seed);
        begin(20);
        ring(28.0, 31.0);
        ring(15.0, 17.9, true);
        SetPixel(g_vhdc, 68, 50, kWall);
        SetPixel(g_vhdc, 50, 68, kWall);
        zorvsrand(seed);
        stopafter(20000);
        ASSERT_EQ(dla_centripetal(), GROWTH_CONTINUES);
        const double d = centripetalstate().distancemin;
        if (d < 18.0) {
            // Only a put-back walker reads inside 18, and there only background.
            ADD_FAILURE() << "rested at distance " << d;
        }
        atexactly += d == 18.0;
    }
    EXPECT_GT(atexactly, 0);
}

struct BackCase {
    int growth;
    int back;
};
class PutBack : public Growth, public ::testing::WithParamInterface<BackCase> {};

// With only the pixel beside the launch point painted, a particle whose
// last step escaped has read that pixel after being put back there.
TEST_P(PutBack, EscapedWalkerGoesBesideItsLaunchPoint) {
    open(100);
    growth = GetParam().growth;
    startradius = 5;
    const int radius = growth ? 20 : 10;
    int viaescape = 0;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        begin(radius);
        FirstDraws d = peek(seed);
        POINT l = launchpoint(d.angle, radius, 50, 50);
        SetPixel(g_vhdc, l.x + GetParam().back, l.y + GetParam().back, kWall);
        if (growth) ring(30.0, 80.0);  // keeps inward walks short
        stopafter(20000);
        ASSERT_EQ(call(), GROWTH_CONTINUES);
        const GrowthState& s = state();
        const double reached = growth ? s.distancemin : s.distancemax;
        if (growth ? reached < radius - 2 : reached > radius + 2) ++viaescape;
    }
    EXPECT_GT(viaescape, 0);
}
INSTANTIATE_TEST_SUITE_P(Directions, PutBack, ::testing::Values(BackCase{0, -1}, BackCase{1, 1}));

// ------------------------------------------------------------ contact rules

// The launch point's lower right neighbour is the only cluster pixel.
class Contact : public Growth, public ::testing::WithParamInterface<int> {};

TEST_P(Contact, WhereTheParticleRests) {
    open(100);
    algorithm = GetParam();
    std::set<int> chebyshev;
    int firststep = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        begin(10);
        FirstDraws d = peek(seed);
        POINT l = launchpoint(d.angle, 10, 50, 50);
        POINT c{l.x + 1, l.y + 1};
        SetPixel(g_vhdc, c.x, c.y, kWall);
        const std::int64_t moves = centrifugalstate().moves;
        stopafter(20000);
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        const std::int64_t steps = centrifugalstate().moves - moves;
        // Find where it rests: the one palette-coloured pixel.
        POINT rest{-1, -1};
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (can(x, y) != bkgd && can(x, y) != kWall) rest = {x, y};
        ASSERT_GE(rest.x, 0);
        const int cheb = std::max(std::abs(rest.x - c.x), std::abs(rest.y - c.y));
        chebyshev.insert(cheb);
        const POINT landing{l.x + d.dx, l.y + d.dy};
        const bool landsonc = landing.x == c.x && landing.y == c.y;
        const bool nearc = std::max(std::abs(landing.x - c.x), std::abs(landing.y - c.y)) <= 1;
        if (steps == 1) ++firststep;
        switch (std::min(algorithm, 2)) {
        case 0:  // the landing pixel itself; rests where it came from
            EXPECT_EQ(steps == 1, landsonc);
            break;
        case 1:  // the neighbours of the position before the step, whatever the step
            EXPECT_EQ(steps, 1);
            EXPECT_EQ(rest.x, l.x);
            EXPECT_EQ(rest.y, l.y);
            break;
        default:  // the neighbours of the position after the step
            EXPECT_EQ(steps == 1, nearc && !landsonc);
            break;
        }
        if (steps == 1) {
            EXPECT_EQ(rest.x, l.x);
            EXPECT_EQ(rest.y, l.y);
        }
    }
    if (algorithm >= 2) {
        EXPECT_TRUE(chebyshev.count(2)) << "rule 2 rests up to two pixels from the pixel found";
    } else {
        EXPECT_EQ(chebyshev, std::set<int>{1});
    }
    EXPECT_GT(firststep, 0);
}
INSTANTIATE_TEST_SUITE_P(Rules, Contact, ::testing::Values(0, 1, 2, 7));

// Neighbours are read in a fixed order and the first one found decides; the
// pixel read outside the canvas counts as contact.
TEST_F(Growth, ReadOutsideTheCanvasCountsAsContact) {
    open(100);
    algorithm = 0;
    begin(10);
    centrifugalstate().xcenter = -40;  // launch far to the left of the canvas
    centrifugalstate().ycenter = 50;
    EXPECT_EQ(dla_centrifugal(), 0) << "contact at once, then the limit";
    EXPECT_EQ(clusterpixels(), 0);
}

// ------------------------------------------------------------- stickiness

// Everything around the walker is cluster, so under rule 1 every step is a
// contact and only the stickiness draw decides: the steps per particle
// follow a geometric law with the chance probability / 100.
class Stickiness : public Growth, public ::testing::WithParamInterface<int> {};

TEST_P(Stickiness, ContactHoldsWhenTheDrawIsAtMostTheProbability) {
    open(100);
    algorithm = 1;
    begin(10);
    fill(kWall);
    probability = GetParam();
    const int particles = probability == 1 ? 3000 : 20000;
    stopafter(100000);  // a walk that never holds is stopped, and fails
    std::int64_t moves = 0;
    for (int i = 0; i < particles; ++i) {
        GrowthState& s = centrifugalstate();
        s.radius = 10;
        s.distancemax = 0;
        const std::int64_t before = s.moves;
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        moves += s.moves - before;
    }
    const double mean = static_cast<double>(moves) / particles;
    const double p = probability / 100.0;
    const double se = std::sqrt(1 - p) / p / std::sqrt(static_cast<double>(particles));
    EXPECT_NEAR(mean, 1 / p, 4 * se + 1e-12) << "off by one would give " << 100.0 / (probability - 1);
}
INSTANTIATE_TEST_SUITE_P(Percent, Stickiness, ::testing::Values(1, 50, 99, 100));

// Below 100 a walker crosses the cluster and may rest on one of its pixels,
// replacing its colour without growing.
TEST_F(Growth, LowStickinessCanRestOnTheCluster) {
    open(100);
    probability = 5;
    screen.calendar = 1700000999;
    int particles = 0;
    for (int i = 0; i < 300 && okdla; ++i) particles += dla_centrifugal() == GROWTH_CONTINUES;
    EXPECT_LT(clusterpixels(), particles + 1);
}

// --------------------------------------------------------------- colouring

// Every call rests its particle after one step: the pixel-count rule then
// gives entry 1 to particles 1 to 64, entry 2 to particle 65, and after 255
// entries starts again at entry 1 with 256 particles each.
TEST_F(Growth, PixelCountColouring) {
    open(100);
    algorithm = 1;
    begin(10);
    fill(kWall);
    centrifugalstate().color = 1;
    centrifugalstate().colorcount = 0;
    centrifugalstate().colorfactor = 1;
    struct Expect {
        int particle, entry;
    };
    const Expect expects[] = {{1, 1}, {64, 1}, {65, 2}, {128, 2}, {129, 3}, {16320, 255}, {16321, 1},
                              {16576, 1}, {16577, 2}};
    int next = 0;
    for (int n = 1; n <= 16577; ++n) {
        GrowthState& s = centrifugalstate();
        s.radius = 10;
        s.distancemax = 0;
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        if (n == expects[next].particle) {
            SCOPED_TRACE(n);
            EXPECT_EQ(s.frgd, palettecolor(expects[next].entry));
            ++next;
        }
    }
    EXPECT_EQ(centrifugalstate().colorfactor, 4);
}

// The first step's landing decides the distance; the launch radius is
// chosen so that it lands at the distance wanted.
TEST_F(Growth, DistanceColouringWrapsAt255) {
    open(600);
    algorithm = 1;
    coloring = 1;
    bool found[2] = {false, false};
    for (unsigned seed = 1; seed < 3000 && !(found[0] && found[1]); ++seed) {
        FirstDraws d = peek(seed);
        for (int radius = 245; radius <= 265; ++radius) {
            POINT l = launchpoint(d.angle, radius, 0, 0);
            const double dist = std::hypot(l.x + d.dx, l.y + d.dy);
            const int which = dist == 255.0 ? 1 : (dist >= 254.9 && dist < 255.0 ? 0 : -1);
            if (which < 0 || found[which]) continue;
            SCOPED_TRACE(dist);
            found[which] = true;
            begin(radius);
            fill(kWall);
            zorvsrand(seed);
            ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
            EXPECT_EQ(centrifugalstate().distancemax, dist);
            EXPECT_EQ(centrifugalstate().color, which ? 1 : 255);
            EXPECT_EQ(can(l.x + 300, l.y + 300), palettecolor(which ? 1 : 255));
            break;
        }
    }
    EXPECT_TRUE(found[0] && found[1]);
}

TEST_F(Growth, GreyShades) {
    open(100);
    greyscale = 1;
    screen.calendar = 1700000321;
    std::set<COLORREF> seen;
    int particles = grow() == 0 ? 0 : 0;
    for (COLORREF c : canvas())
        if (c != bkgd) seen.insert(c);
    EXPECT_EQ(seen, (std::set<COLORREF>{RGB(108, 108, 108), RGB(128, 128, 128), RGB(148, 148, 148),
                                        palettecolor(1)}));
    EXPECT_EQ(can(50, 50), palettecolor(1)) << "the seed keeps entry 1";
    (void)particles;
    // Pixel counting goes on in greyscale, though its colour is not used.
    EXPECT_GT(centrifugalstate().colorcount + 64 * (centrifugalstate().color - 1), 64);
}

TEST_F(Growth, BackgroundGreyIsNotAvoided) {
    open(100);
    greyscale = 1;
    rback = gback = bback = 128;
    repackbackground();
    screen.calendar = 1700000321;
    grow(400);
    // Grey-128 particles count as empty space: the seed and the other two shades remain.
    std::set<COLORREF> seen;
    for (COLORREF c : canvas())
        if (c != bkgd) seen.insert(c);
    EXPECT_FALSE(seen.count(RGB(128, 128, 128)));
    EXPECT_TRUE(seen.count(RGB(108, 108, 108)));
}

// -------------------------------------------------------- stops and resumes

class UserStop : public Growth, public ::testing::WithParamInterface<UINT> {};

TEST_P(UserStop, DuringAWalkReturnsOneAndDrawsNothing) {
    open(100);
    screen.mouseMove(g_hWnd, 3, 3);  // the class cursor is in force when the image starts
    begin(10);  // no cluster: the walk goes on until stopped
    const std::vector<COLORREF> before = canvas();
    stopafter(50, GetParam());
    EXPECT_EQ(dla_centrifugal(), 1);
    EXPECT_EQ(terminate, 1);
    EXPECT_EQ(okdla, 0);
    EXPECT_EQ(firstloop, 0);
    EXPECT_EQ(canvas(), before);
    EXPECT_EQ(screen.cursor.x, 100);
    EXPECT_EQ(screen.cursor.y, 100);
    EXPECT_EQ(screen.cursorShape, CursorShape::Cross);
}
INSTANTIATE_TEST_SUITE_P(Inputs, UserStop, ::testing::Values(WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN));

TEST_F(Growth, OtherInputDuringAWalkIsDroppedAndMouseMovesKeepTheWaitCursor) {
    open(100);
    screen.mouseMove(g_hWnd, 3, 3);  // the class cursor is in force
    begin(10);
    SetPixel(g_vhdc, 50, 50, kWall);
    auto count = std::make_shared<int>(0);
    platform::SetPumpInterval(1);
    screen.onPump = [this, count] {
        if (++*count == 3) {
            screen.key(g_hWnd, 'A');
            screen.mouseDown(g_hWnd, WM_MBUTTONDOWN, 4, 4);
            screen.mouseMove(g_hWnd, 7, 7);
        }
    };
    EXPECT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    EXPECT_EQ(screen.cursorShape, CursorShape::Wait);
    PostMessageA(g_hWnd, WM_USER, 0, 0);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, g_hWnd, 0x100, 0x209, PM_NOREMOVE)) << "the walk took its input";
    EXPECT_TRUE(PeekMessageA(&m, g_hWnd, WM_USER, WM_USER, PM_REMOVE));
}

TEST_F(Growth, StopSeenAtEntryReturnsTwo) {
    open(100);
    dla_centrifugal();
    const GrowthState s = centrifugalstate();
    const std::vector<COLORREF> before = canvas();
    terminate = 1;
    EXPECT_EQ(dla_centrifugal(), 2);
    EXPECT_EQ(okdla, 0);
    EXPECT_EQ(firstloop, 0);
    EXPECT_EQ(centrifugalstate().moves, s.moves);
    EXPECT_EQ(canvas(), before);
    EXPECT_EQ(screen.cursor.x, 100);
}

TEST_F(Growth, ResumeKeepsTheCluster) {
    open(100);
    screen.calendar = 1700000042;
    for (int i = 0; i < 30; ++i) ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    const GrowthState s = centrifugalstate();
    const std::vector<COLORREF> before = canvas();
    stopafter(1);
    ASSERT_EQ(dla_centrifugal(), 1);
    screen.onPump = nullptr;
    okdla = 1;  // Plot Image
    terminate = 0;
    screen.calendar += 100;  // no reseeding either
    ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    const GrowthState& now = centrifugalstate();
    EXPECT_EQ(now.starttime, s.starttime);
    EXPECT_GE(now.radius, s.radius);
    EXPECT_GT(now.moves, s.moves);
    EXPECT_EQ(now.colorcount, s.colorcount + 1);
    int changed = 0;
    std::vector<COLORREF> after = canvas();
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        ++changed;
        EXPECT_EQ(before[i], bkgd);
    }
    EXPECT_EQ(changed, 1);
}

TEST_F(Growth, InputMadeBeforeAStartIsDiscarded) {
    open(100);
    screen.keyDown(g_hWnd, VK_PAUSE);
    screen.click(g_hWnd, WM_LBUTTONDOWN, 5, 5);
    screen.click(g_hWnd, WM_RBUTTONDOWN, 5, 5);
    PostMessageA(g_hWnd, WM_USER, 0, 0);
    EXPECT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, g_hWnd, WM_USER, WM_USER, PM_REMOVE)) << "other messages stay queued";
}

TEST_F(Growth, SameSecondSameImage) {
    open(100);
    screen.calendar = 1700001000;
    grow();
    const std::vector<COLORREF> first = canvas();
    plot();
    grow();
    EXPECT_EQ(canvas(), first);
    screen.calendar += 1;
    plot();
    grow();
    EXPECT_NE(canvas(), first);
}

// ------------------------------------------------------------ live drawing

struct ClientCase {
    int client;
    bool live;
};
class LiveDrawing : public Growth, public ::testing::WithParamInterface<ClientCase> {};

TEST_P(LiveDrawing, OnlyWhileTheCentreIsInView) {
    open(100, GetParam().client, GetParam().client);
    screen.calendar = 1700000100;
    for (int i = 0; i < 20; ++i) dla_centrifugal();
    const int visible = std::min(GetParam().client, 100);
    int shown = 0, drawn = 0;
    for (int y = 0; y < visible; ++y)
        for (int x = 0; x < visible; ++x) {
            drawn += can(x, y) != bkgd;
            shown += win(x, y) != bkgd;
            if (win(x, y) != bkgd) {
                ASSERT_EQ(win(x, y), can(x, y));
            }
        }
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(shown, GetParam().live ? drawn : 0);
}
INSTANTIATE_TEST_SUITE_P(Clients, LiveDrawing,
                         ::testing::Values(ClientCase{50, false}, ClientCase{51, true}, ClientCase{120, true}));

TEST_F(Growth, WithoutAWindowTheCanvasAloneGrows) {
    open(100);
    debug = 1;  // the debugging circle too has nowhere to go
    DestroyWindow(g_hWnd);
    g_hWnd = nullptr;
    for (growth = 0; growth <= 1; ++growth) {
        plot();
        firstloop = 1;
        for (int i = 0; i < 20; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES);
        EXPECT_GT(clusterpixels(), 20);
    }
}

// --------------------------------------------------------------- debugging

TEST_F(Growth, DebuggingCircleOnTheWindowOnly) {
    open(100);
    debug = 1;
    screen.calendar = 1700000200;
    for (int i = 0; i < 40; ++i) ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    const GrowthState& s = centrifugalstate();
    EXPECT_EQ(s.pixelcount, 40);
    EXPECT_EQ(s.ulx, 50 - s.radius);
    EXPECT_EQ(s.lry, 50 + s.radius);
    int grey = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            ASSERT_NE(can(x, y), kGrey127);
            if (win(x, y) != kGrey127) continue;
            ++grey;
            const double d = std::hypot(x - 49.5, y - 49.5);
            ASSERT_NEAR(d, s.radius - 0.5, 1.5) << "only the current circle is shown";
        }
    EXPECT_GT(grey, 4 * s.radius);
}

// ------------------------------------------------------------- statistics

struct StatsCase {
    int growth, algorithm, coloring;
    const char* algorithmline;
    const char* coloringline;
};
class Statistics : public Growth, public ::testing::WithParamInterface<StatsCase> {};

TEST_P(Statistics, TextAtEveryEndOfARun) {
    const StatsCase sc = GetParam();
    open(100);
    growth = sc.growth;
    algorithm = sc.algorithm;
    coloring = sc.coloring;
    probability = 97;
    debug = 1;
    screen.ticks = 0xFFFFF000u;  // the tick counter wraps during the image
    screen.calendar = 1700000300;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES);
    screen.ticks = 0xFFFFF000u + 3723999u;  // 1 h 2 min 3.999 s
    terminate = 1;
    ASSERT_EQ(call(), 2);
    ASSERT_EQ(screen.boxes.size(), 1u);
    const GrowthState& s = state();
    char expected[600];
    std::snprintf(expected, sizeof expected,
                  "hours: 1\nminutes: 2\nseconds: 3\n\nstartradius: 10\nstickiness: 97 %%\n\n%s: %d\nradius: %d\n"
                  "pixel count: 5\nrandom walk moves: %lld%s%s",
                  growth ? "distancemin" : "distancemax",
                  static_cast<int>(growth ? s.distancemin : s.distancemax), s.radius,
                  static_cast<long long>(s.moves), sc.algorithmline, sc.coloringline);
    EXPECT_EQ(screen.boxes[0].text, expected);
    EXPECT_EQ(screen.boxes[0].caption, "ZORV DLA 2017");
    EXPECT_EQ(screen.boxes[0].type, MB_OK);
    EXPECT_EQ(screen.boxes[0].owner, nullptr);

    // A stop during a walk and the end at the limit show it too.
    okdla = 1;
    terminate = 0;
    stopafter(1);
    ASSERT_EQ(call(), 1);
    screen.onPump = nullptr;
    okdla = 1;
    terminate = 0;
    EXPECT_EQ(grow(), 0);
    EXPECT_EQ(screen.boxes.size(), 3u);
}
INSTANTIATE_TEST_SUITE_P(
    Texts, Statistics,
    ::testing::Values(
        StatsCase{0, 0, 0, "\n\nDLA algorithm: Durero-Rudo", "\n\nColoring algorithm: pixel count"},
        StatsCase{0, 1, 1, "\n\nDLA algorithm: Fractint", "\n\nColoring algorithm: distance from center"},
        StatsCase{0, 2, 0, "\n\nDLA algorithm: Fractint with Spaces", "\n\nColoring algorithm: pixel count"},
        StatsCase{1, 0, 1, "\n\nDLA algorithm: Durero-Rudo", "\n\nColoring algorithm: distance from center"},
        StatsCase{1, 5, 0, "\n\nDLA algorithm: Fractint with Spaces", "\n\nColoring algorithm: pixel count"}));

TEST_F(Growth, StatisticsTextLiterally) {
    GrowthState s;
    s.starttime = 1000;
    s.radius = 57;
    s.pixelcount = 1234;
    s.moves = 9876543210LL;  // beyond 32 bits the count is shown in full
    headless::Backend& b = screen;
    b.ticks = 1000 + 59999;
    EXPECT_EQ(statisticstext(s, "distancemax", 47.99),
              "hours: 0\nminutes: 0\nseconds: 59\n\nstartradius: 10\nstickiness: 100 %\n\ndistancemax: 47\n"
              "radius: 57\npixel count: 1234\nrandom walk moves: 9876543210\n\nDLA algorithm: Durero-Rudo\n\n"
              "Coloring algorithm: pixel count");
}

// ------------------------------------------------------------ centripetal

TEST_F(Growth, CentripetalStartsFromTheEllipseAlone) {
    for (int grey : {0, 1}) {
        SCOPED_TRACE(grey);
        open(100);
        growth = 1;
        greyscale = grey;
        firstloop = 1;
        okdla = 1;
        platform::SetPumpInterval(1);
        stopafter(2);
        ASSERT_EQ(dla_centripetal(), 1);
        const COLORREF ring = grey ? kGrey127 : palettecolor(1);
        const GrowthState& s = centripetalstate();
        EXPECT_EQ(s.radius, 40);
        EXPECT_EQ(s.distancemin, 50.0);
        EXPECT_EQ(s.ulx, 10);
        EXPECT_EQ(s.lrx, 90);
        int onring = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                const COLORREF c = can(x, y);
                ASSERT_TRUE(c == bkgd || c == ring) << x << "," << y;
                ASSERT_EQ(win(x, y), c);
                if (c == bkgd) continue;
                ++onring;
                ASSERT_NEAR(std::hypot(x - 49, y - 49), 48, 2.5) << x << "," << y;
            }
        EXPECT_GT(onring, 2 * 3 * 96);
        EXPECT_EQ(can(50, 50), bkgd) << "no seed at the centre";
        screen.onPump = nullptr;
        plot();
        releasecanvas();
    }
}

TEST_F(Growth, CentripetalLaunchRadiusFromTheWidth) {
    xres = 400;
    yres = 200;
    g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, 420, 220, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(createcanvas(g_hWnd));
    growth = 1;
    platform::SetPumpInterval(1);
    stopafter(2);
    ASSERT_EQ(dla_centripetal(), 1);
    EXPECT_EQ(centripetalstate().radius, 190);
    platform::SetPumpInterval(64);
    // The circle reaches past the top and bottom: the first particles rest
    // outside the ellipse or beyond the canvas and pull the circle inward.
    screen.onPump = nullptr;
    plot();
    screen.calendar = 1700000400;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(dla_centripetal(), GROWTH_CONTINUES);
    EXPECT_LT(centripetalstate().distancemin, 200.0);
    EXPECT_LT(centripetalstate().radius, 190);
}

// ------------------------------------------------------------- bad settings

struct BadCase {
    const char* name;
    int growth;
    int startradius;
    int probability;
    int algorithm;
    int xres;  // set after the canvas was made
};
class BadSettings : public Growth, public ::testing::WithParamInterface<BadCase> {};

// Out of their legal ranges the settings must not make the run misbehave:
// no undefined arithmetic (the sanitizer build checks), no endless walk,
// nothing drawn outside the canvas.
TEST_P(BadSettings, RunStaysSafe) {
    const BadCase bc = GetParam();
    SCOPED_TRACE(bc.name);
    open(100);
    growth = bc.growth;
    startradius = bc.startradius;
    probability = bc.probability;
    algorithm = bc.algorithm;
    xres = bc.xres;
    screen.calendar = 1700000500;
    platform::SetPumpInterval(64);
    stopafter(200000);  // some 12 million steps: a walk that does not end
    for (int i = 0; i < 200 && okdla; ++i) {
        int r = call();
        ASSERT_NE(r, 1) << "a walk did not end";
    }
    xres = 100;
    for (COLORREF c : canvas()) ASSERT_NE(c, CLR_INVALID);
}
INSTANTIATE_TEST_SUITE_P(
    Ranges, BadSettings,
    ::testing::Values(BadCase{"huge radius", 0, INT_MAX, 100, 0, 100}, BadCase{"lowest radius", 0, INT_MIN, 100, 1, 100},
                      BadCase{"negative radius", 0, -7, 100, 0, 100}, BadCase{"no stickiness", 0, 10, 0, 0, 100},
                      BadCase{"negative stickiness", 0, 10, -50, 2, 100}, BadCase{"huge width", 0, 10, 100, 0, INT_MAX},
                      BadCase{"lowest width", 0, 10, 100, 0, INT_MIN}, BadCase{"inward huge radius", 1, INT_MAX, 100, 0, 100},
                      BadCase{"inward lowest radius", 1, INT_MIN, 100, 2, 100},
                      BadCase{"inward huge width", 1, 10, 100, 1, INT_MAX},
                      BadCase{"inward lowest width", 1, 10, 100, 0, INT_MIN}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& c : n)
            if (c == ' ') c = '_';
        return n;
    });

}  // namespace
}  // namespace growthtest

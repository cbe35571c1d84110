// Where the saver is asked to draw: the options and the environment that a
// screen-saver framework passes.
#include <gtest/gtest.h>

#include <vector>

#include "platform/qt/qt_embed.h"

namespace {

using platform::qt::HackTarget;
using platform::qt::ParseHackTarget;

struct Parsed {
    std::optional<HackTarget> target;
    std::string why;
};

Parsed parse(std::vector<std::string> args, const char* environment = nullptr) {
    args.insert(args.begin(), "zorv-dla-ss");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Parsed p;
    p.target = ParseHackTarget(static_cast<int>(args.size()), argv.data(), environment, p.why);
    return p;
}

TEST(HackTarget, TheSaverRunsOnItsOwnScreenWithoutAWindowToDrawInto) {
    for (auto args : {std::vector<std::string>{}, {"/s"}, {"-window"}, {"/c:1234"}}) {
        Parsed p = parse(args, "");
        EXPECT_FALSE(p.target);
        EXPECT_EQ(p.why, "");
    }
}

TEST(HackTarget, AWindowIdOptionComesBeforeTheEnvironmentAndTheEnvironmentBeforeTheRoot) {
    Parsed p = parse({"-root", "-window-id", "0x2a0000f"}, "12345");
    ASSERT_TRUE(p.target);
    EXPECT_FALSE(p.target->root);
    EXPECT_EQ(p.target->window, 0x2a0000fu);

    p = parse({"-root"}, "0X1C00007");
    ASSERT_TRUE(p.target);
    EXPECT_FALSE(p.target->root);
    EXPECT_EQ(p.target->window, 0x1c00007u);

    p = parse({"--window-id", "4294967295"});
    ASSERT_TRUE(p.target);
    EXPECT_EQ(p.target->window, 4294967295u);

    p = parse({"-root"});
    ASSERT_TRUE(p.target);
    EXPECT_TRUE(p.target->root);
    p = parse({}, "77");
    ASSERT_TRUE(p.target);
    EXPECT_EQ(p.target->window, 77u);
}

TEST(HackTarget, AValueThatNamesNoWindowIsRefusedWithItsSource) {
    for (auto value : {"", "0", "0x", "12ab", "-5", "4294967296", "0x1g"}) {
        Parsed p = parse({"-window-id", value});
        EXPECT_FALSE(p.target) << value;
        EXPECT_EQ(p.why, "-window-id: '" + std::string(value) + "' is not a window id");
    }
    Parsed p = parse({"-window-id"});
    EXPECT_EQ(p.why, "-window-id: '' is not a window id");
    p = parse({"-root"}, "window");
    EXPECT_FALSE(p.target);
    EXPECT_EQ(p.why, "XSCREENSAVER_WINDOW: 'window' is not a window id");
}

}  // namespace

// Where the saver is asked to draw: the options and the environment that a
// screen-saver framework passes. A window id option comes before the
// environment, the environment before -root; without any, its own screen.
#include <gtest/gtest.h>

#include <vector>

#include "platform/qt/qt_embed.h"

namespace {

TEST(HackTarget, FromTheOptionsAndTheEnvironmentOrRefusedWithTheirSource) {
    struct Case {
        std::vector<std::string> args;
        const char* environment;
        std::string want;  // "root", the window in hexadecimal, "screen", or the refusal
    };
    const Case cases[] = {
        {{}, "", "screen"}, {{"/s"}, nullptr, "screen"}, {{"-window"}, "", "screen"}, {{"/c:1234"}, "", "screen"},
        {{"-root", "-window-id", "0x2a0000f"}, "12345", "2a0000f"}, {{"-root"}, "0X1C00007", "1c00007"},
        {{"--window-id", "4294967295"}, nullptr, "ffffffff"}, {{"-root"}, nullptr, "root"}, {{}, "77", "4d"},
        {{"-root"}, "window", "XSCREENSAVER_WINDOW: 'window' is not a window id"},
        {{"-window-id"}, nullptr, "-window-id: '' is not a window id"}};
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (const char* bad : {"", "0", "0x", "12ab", "-5", "4294967296", "0x1g"})
        all.push_back({{"-window-id", bad}, "1", "-window-id: '" + std::string(bad) + "' is not a window id"});
    for (Case c : all) {
        c.args.insert(c.args.begin(), "zorv-dla-ss");
        std::vector<char*> argv;
        for (auto& a : c.args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::string why;
        const auto target = platform::qt::ParseHackTarget(static_cast<int>(c.args.size()), argv.data(), c.environment, why);
        char window[16];
        std::snprintf(window, sizeof window, "%x", target ? target->window : 0);
        EXPECT_EQ(!target ? (why.empty() ? "screen" : why) : target->root ? "root" : window, c.want)
            << ::testing::PrintToString(c.args) << " " << (c.environment ? c.environment : "(none)");
        EXPECT_TRUE(!target || target->root == (c.want == "root"));
    }
}

}  // namespace

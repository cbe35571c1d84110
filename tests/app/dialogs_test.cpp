// The four settings dialogs, run modally over a plain owner window with
// scripted entries.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/dialogs.h"
#include "app/resources.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"

namespace {

using Step = std::function<void(headless::DialogDriver&)>;

class Dialogs : public ::testing::Test {
protected:
    headless::Backend screen;
    HWND owner = nullptr;
    HWND dialog = nullptr;
    std::vector<Step> steps;
    std::size_t next = 0;

    void SetUp() override {
        resetsettings();
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "Owner";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, "Owner", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                nullptr);
        screen.onDialog = [this](headless::DialogDriver& d) {
            dialog = d.handle();
            if (next < steps.size()) steps[next++](d);
        };
    }

    INT_PTR run(int id, DLGPROC proc) {
        next = 0;
        return DialogBoxParamA(&zorvdla, MAKEINTRESOURCEA(id), owner, proc, 0);
    }

    // Types the four entries of the Image Parameters dialog and presses OK.
    void enter(const std::string& x, const std::string& y, const std::string& r, const std::string& p) {
        steps.push_back([=](headless::DialogDriver& d) {
            d.setText(IDC_XRES, x);
            d.setText(IDC_YRES, y);
            d.setText(IDC_RADIUS, r);
            d.setText(IDC_STICKINESS, p);
            d.press(IDOK);
        });
    }
    void press(int id) {
        steps.push_back([id](headless::DialogDriver& d) { d.press(id); });
    }
};

TEST_F(Dialogs, ParametersOpensWithTheLabelsAndTheValuesInForce) {
    xres = 321;
    yres = 123;
    startradius = 7;
    probability = 55;
    steps.push_back([](headless::DialogDriver& d) {
        EXPECT_EQ(d.title(), " Image Parameters");
        EXPECT_EQ(d.text(250), "xres ( 100 - 9600 )");
        EXPECT_EQ(d.text(251), "yres ( 100 - 9600 )");
        EXPECT_EQ(d.text(252), "starting radius ( 5 - 50 )");
        EXPECT_EQ(d.text(253), "% stickiness ( 1 - 100)");
        EXPECT_EQ(d.text(IDC_XRES), "321");
        EXPECT_EQ(d.text(IDC_YRES), "123");
        EXPECT_EQ(d.text(IDC_RADIUS), "7");
        EXPECT_EQ(d.text(IDC_STICKINESS), "55");
        EXPECT_FALSE(d.ownerEnabled()) << "modal to the main window";
        d.press(IDOK);
    });
    EXPECT_EQ(run(IDD_PARAMETERS, ParamDialogProc), 1) << "OK without a change is still accepted";
    EXPECT_EQ(newdimensions, 0);
    EXPECT_EQ(newparam, 0);
    EXPECT_EQ(xres, 321);
    EXPECT_TRUE(screen.boxes.empty());
}

struct Entry {
    const char* name;
    std::string x, y, r, p;
    const char* error;  // nullptr: accepted
    int xres, yres, startradius, probability;
};

class ParameterEntries : public Dialogs, public ::testing::WithParamInterface<Entry> {};

TEST_P(ParameterEntries, AreCheckedInFieldOrder) {
    const Entry& e = GetParam();
    enter(e.x, e.y, e.r, e.p);
    if (e.error) {
        steps.push_back([](headless::DialogDriver& d) { d.press(IDCANCEL); });
    }
    INT_PTR result = run(IDD_PARAMETERS, ParamDialogProc);
    if (e.error) {
        EXPECT_EQ(result, 2);
        ASSERT_EQ(screen.boxes.size(), 1u);
        const auto& box = screen.boxes[0];
        EXPECT_EQ(box.text, e.error);
        EXPECT_EQ(box.caption, "Parameter Error");
        EXPECT_EQ(box.owner, dialog) << "the box belongs to the dialog";
        EXPECT_EQ(box.type, MB_ICONWARNING | MB_OK);
        // The fields before the failing one are stored; Cancel keeps them.
        EXPECT_EQ(xres, e.xres);
        EXPECT_EQ(yres, e.yres);
        EXPECT_EQ(startradius, e.startradius);
        EXPECT_EQ(probability, e.probability);
        EXPECT_EQ(newdimensions, e.xres != 400 || e.yres != 400);
        EXPECT_EQ(newparam, e.startradius != 10 || e.probability != 100);
    } else {
        EXPECT_EQ(result, 1);
        EXPECT_TRUE(screen.boxes.empty());
        EXPECT_EQ(xres, e.xres);
        EXPECT_EQ(yres, e.yres);
        EXPECT_EQ(startradius, e.startradius);
        EXPECT_EQ(probability, e.probability);
        EXPECT_EQ(newdimensions, e.xres != 400 || e.yres != 400);
        EXPECT_EQ(newparam, e.startradius != 10 || e.probability != 100);
    }
}

const std::string kLong = std::string(26, '0') + "1500";  // 30 characters; the 29 read give 150

INSTANTIATE_TEST_SUITE_P(
    Table, ParameterEntries,
    ::testing::Values(
        Entry{"LettersForWidth", "abc", "400", "10", "100", "xres / yres range: 100 - 9600", 400, 400, 10, 100},
        Entry{"WidthTooSmall", "99", "400", "10", "100", "xres / yres range: 100 - 9600", 400, 400, 10, 100},
        Entry{"WidthTooLarge", "9601", "400", "10", "100", "xres / yres range: 100 - 9600", 400, 400, 10, 100},
        Entry{"WidthThatWouldWrap", "4294967396", "400", "10", "100", "xres / yres range: 100 - 9600", 400, 400, 10, 100},
        Entry{"ValidWidthBadHeight", "150", "abc", "10", "100", "xres / yres range: 100 - 9600", 150, 400, 10, 100},
        Entry{"NegativeHeight", "400", "-400", "10", "100", "xres / yres range: 100 - 9600", 400, 400, 10, 100},
        Entry{"RadiusTooSmall", "400", "400", "4", "100", "radius range: 5 - 50", 400, 400, 10, 100},
        Entry{"RadiusTooLarge", "400", "400", "51", "100", "radius range: 5 - 50", 400, 400, 10, 100},
        Entry{"NoStickiness", "400", "400", "10", "0", "stickiness range: 1 - 100", 400, 400, 10, 100},
        Entry{"TooSticky", "400", "400", "10", "101", "stickiness range: 1 - 100", 400, 400, 10, 100},
        Entry{"FirstFailingFieldWins", "400", "400", "99", "0", "radius range: 5 - 50", 400, 400, 10, 100},
        Entry{"TrailingLettersIgnored", "150px", "120", "10", "100", nullptr, 150, 120, 10, 100},
        Entry{"LowestValues", "100", "100", "5", "1", nullptr, 100, 100, 5, 1},
        Entry{"HighestValues", "9600", "100", "50", "100", nullptr, 9600, 100, 50, 100},
        Entry{"BlanksAndSign", "  +200", " 300", "  12 ", "7%", nullptr, 200, 300, 12, 7},
        Entry{"LongEntryCut", kLong, "400", "10", "100", nullptr, 150, 400, 10, 100},
        Entry{"OnlyStickiness", "400", "400", "10", "50", nullptr, 400, 400, 10, 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dialogs, ParametersStayOpenAfterAnErrorAndAcceptTheCorrection) {
    enter("9601", "200", "10", "100");
    steps.push_back([](headless::DialogDriver& d) {
        EXPECT_EQ(d.text(IDC_XRES), "9601") << "the entry stays as typed";
        d.setText(IDC_XRES, "9600");
        d.press(IDOK);
    });
    EXPECT_EQ(run(IDD_PARAMETERS, ParamDialogProc), 1);
    EXPECT_EQ(screen.boxes.size(), 1u) << "one box per failed OK";
    EXPECT_EQ(xres, 9600);
    EXPECT_EQ(yres, 200);
    EXPECT_EQ(newdimensions, 1);
}

TEST_F(Dialogs, ParametersCancelChangesNothing) {
    steps.push_back([](headless::DialogDriver& d) {
        d.setText(IDC_XRES, "200");
        d.setText(IDC_STICKINESS, "5");
        d.press(IDCANCEL);
    });
    EXPECT_EQ(run(IDD_PARAMETERS, ParamDialogProc), 2);
    EXPECT_EQ(xres, 400);
    EXPECT_EQ(probability, 100);
    EXPECT_EQ(newdimensions + newparam, 0);
}

struct Choice {
    const char* name;
    std::vector<int> clicks;
    int button;  // IDOK or IDCANCEL
    int result, algorithm, growth;
};

class AlgorithmChoices : public Dialogs, public ::testing::WithParamInterface<Choice> {};

TEST_P(AlgorithmChoices, EndWithOneOnlyForAChange) {
    const Choice& c = GetParam();
    algorithm = 1;
    steps.push_back([&c](headless::DialogDriver& d) {
        EXPECT_TRUE(d.checked(IDC_FRACTINT)) << "opens with the rule in force";
        EXPECT_TRUE(d.checked(IDC_CENTRIFUGAL));
        for (int id : c.clicks) d.click(id);
        d.press(c.button);
    });
    EXPECT_EQ(run(IDD_ALGORITHMS, AlgorithmDialogProc), c.result);
    EXPECT_EQ(algorithm, c.algorithm);
    EXPECT_EQ(growth, c.growth);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlgorithmChoices,
    ::testing::Values(Choice{"Unchanged", {}, IDOK, 2, 1, 0},
                      Choice{"SameButtonsClickedAgain", {IDC_FRACTINT, IDC_CENTRIFUGAL}, IDOK, 2, 1, 0},
                      Choice{"GrowthOnly", {IDC_CENTRIPETAL}, IDOK, 1, 1, 1},
                      Choice{"RuleOnly", {IDC_FRACTINTSPACES}, IDOK, 1, 2, 0},
                      Choice{"Both", {IDC_DURERORUDO, IDC_CENTRIPETAL}, IDOK, 1, 0, 1},
                      Choice{"Cancelled", {IDC_DURERORUDO, IDC_CENTRIPETAL}, IDCANCEL, 2, 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dialogs, ColoringMethodEndsWithOneOnlyForAChange) {
    const std::vector<std::tuple<int, int, int, int>> cases = {
        // click (0: none), button, result, coloring afterwards
        {0, IDOK, 2, 0},
        {IDC_DISTANCE, IDCANCEL, 2, 0},
        {IDC_DISTANCE, IDOK, 1, 1},
        {IDC_DISTANCE, IDOK, 2, 1},
        {IDC_PIXELCOUNT, IDOK, 1, 0},
    };
    for (auto [click, button, result, after] : cases) {
        SCOPED_TRACE(testing::Message() << click << " " << button);
        steps = {[click, button](headless::DialogDriver& d) {
            EXPECT_EQ(d.title(), "Coloring Method");
            if (click) d.click(click);
            d.press(button);
        }};
        EXPECT_EQ(run(IDD_COLORING, ColoringDialogProc), result);
        EXPECT_EQ(coloring, after);
    }
}

TEST_F(Dialogs, BackgroundColorChecksEveryComponentAndSetsOnlyTheCandidate) {
    rback = 1;
    gback = 2;
    bback = 3;
    repackbackground();
    const std::vector<std::array<std::string, 3>> rejected = {
        {"256", "0", "0"}, {"0", "-1", "0"}, {"0", "0", "256"}, {"x", "0", "999"}};
    for (const auto& entry : rejected) {
        SCOPED_TRACE(entry[0] + "," + entry[1] + "," + entry[2]);
        screen.boxes.clear();
        steps = {[&entry](headless::DialogDriver& d) {
                     EXPECT_EQ(d.text(IDC_RED), "1");
                     EXPECT_EQ(d.text(IDC_GREEN), "2");
                     EXPECT_EQ(d.text(IDC_BLUE), "3");
                     for (int i = 0; i < 3; ++i) d.setText(IDC_RED + i, entry[static_cast<std::size_t>(i)]);
                     d.press(IDOK);
                 },
                 [](headless::DialogDriver& d) { d.press(IDCANCEL); }};
        EXPECT_EQ(run(IDD_BACKGROUND, BackgroundDialogProc), 2);
        ASSERT_EQ(screen.boxes.size(), 1u);
        EXPECT_EQ(screen.boxes[0].text, "range: 0 - 255");
        EXPECT_EQ(screen.boxes[0].caption, "Parameter Error");
        EXPECT_EQ(screen.boxes[0].owner, dialog);
        EXPECT_EQ(screen.boxes[0].type, MB_ICONWARNING | MB_OK);
    }
    // "x" reads as 0, a legal component.
    steps = {[](headless::DialogDriver& d) {
        d.setText(IDC_RED, "x");
        d.setText(IDC_GREEN, "255");
        d.setText(IDC_BLUE, " 17 ");
        d.press(IDOK);
    }};
    EXPECT_EQ(run(IDD_BACKGROUND, BackgroundDialogProc), 1);
    EXPECT_EQ(rtemp, 0);
    EXPECT_EQ(gtemp, 255);
    EXPECT_EQ(btemp, 17);
    EXPECT_EQ(rback, 1) << "the colour in force waits for the preview";
    EXPECT_EQ(bkgd, RGB(1, 2, 3));
    // The colour in force, unchanged, is accepted all the same.
    steps = {[](headless::DialogDriver& d) { d.press(IDOK); }};
    EXPECT_EQ(run(IDD_BACKGROUND, BackgroundDialogProc), 1);
    EXPECT_EQ(rtemp, 1);
    EXPECT_EQ(gtemp, 2);
    EXPECT_EQ(btemp, 3);
}

}  // namespace

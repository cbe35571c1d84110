// The whole program, from WinMain to its exit code, with scripted input and
// answers: what it shows, the flags it leaves, the canvas and the files.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/commands.h"
#include "canvas/defpalette.h"
#include "engine/growth.h"
#include "files/dlafile.h"
#include "scenario.h"

namespace {

std::uintmax_t filesize(const std::string& path) {
    std::error_code ec;
    auto n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

// Writes a parameter file with the given direction and radius, background
// and a palette whose entry i is (i, g, b).
void writeparams(const std::string& path, int growthvalue, int radius, COLORREF back, int g, int b) {
    DLA d{};
    d.algorithm = 1;
    d.growth = growthvalue;
    d.startradius = radius;
    d.probability = 80;
    d.coloring = 1;
    d.greyscale = 0;
    d.rback = GetRValue(back);
    d.gback = GetGValue(back);
    d.bback = GetBValue(back);
    for (int i = 0; i < 256; ++i) {
        d.palette[i][0] = static_cast<unsigned char>(i);
        d.palette[i][1] = static_cast<unsigned char>(g);
        d.palette[i][2] = static_cast<unsigned char>(b);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&d), sizeof d);
}

bool paletteis(const unsigned char (&want)[256][3]) { return std::memcmp(palette, want, sizeof palette) == 0; }

bool paletteramp(int g, int b) {
    for (int i = 0; i < 256; ++i)
        if (palette[i][0] != i || palette[i][1] != g || palette[i][2] != b) return false;
    return true;
}


}  // namespace

class App : public Scenario {
protected:
    void pauseearly(int particles = 12) {
        until([particles] { return growing() && clusterpixels() >= particles; });
        then([this] { screen.keyDown(g_hWnd, VK_PAUSE); });
        until(idle);
    }
};

TEST_F(App, StartsGrowingAtOnceThenSavesTheFinishedImageAndStartsANewOne) {
    int finished = 0;
    until(completed);
    then([&] {
        RECT r;
        GetWindowRect(g_hWnd, &r);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        EXPECT_EQ(r.right, 1024);
        EXPECT_EQ(r.bottom, 730);
        EXPECT_EQ(g_hWnd->title, "ZORV DLA 2017");
        EXPECT_EQ(g_hWnd->style, WS_OVERLAPPEDWINDOW);
        EXPECT_TRUE(g_hWnd->visible);
        EXPECT_EQ(g_hWnd->cls->name, "ZORVWindow");
        EXPECT_EQ(g_hWnd->cls->icon, LoadIconA(&zorvdla, "VORMIXICON"));
        EXPECT_EQ(g_hWnd->cls->cursor->shape, CursorShape::Cross);
        EXPECT_EQ(g_hWnd->cls->background, GetStockObject(GRAY_BRUSH));
        EXPECT_EQ(g_hWnd->menu, LoadMenuA(&zorvdla, "VORMIXMENU"));
        EXPECT_EQ(xres, 400);
        EXPECT_EQ(yres, 400);
        EXPECT_EQ(xscreen, 1024);
        EXPECT_EQ(yscreen, 768);
        finished = clusterpixels();
        EXPECT_GT(finished, 500);
        EXPECT_EQ(win(200, 200), GetPixel(g_vhdc, 200, 200)) << "the seed shows in the window";
        EXPECT_EQ(win(450, 100), kGrey) << "grey beside the image";
        files.push_back(path("a.tga"));
        screen.key(g_hWnd, 'S');
    });
    until([this] { return files.empty() && lastbox() && lastbox()->text.starts_with("Parameters saved"); });
    then([this] { screen.key(g_hWnd, VK_F1); });
    until(growing);
    then([&] {
        EXPECT_LT(clusterpixels(), 20) << "F1 after completion starts a new cluster";
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    quit();

    EXPECT_EQ(run(1024, 768), 0);

    ASSERT_EQ(screen.boxes.size(), 3u);
    EXPECT_EQ(screen.boxes[0].caption, "HELP") << "the help text comes once, before growth";
    EXPECT_EQ(screen.boxes[0].text, HELP_TEXT);
    EXPECT_EQ(screen.boxes[0].owner, nullptr);
    EXPECT_EQ(screen.boxes[0].type, MB_ICONINFORMATION | MB_OK);
    EXPECT_EQ(screen.boxes[1].text, "Image saved as a.tga");
    EXPECT_EQ(screen.boxes[1].caption, "ZORV DLA 2017");
    EXPECT_EQ(screen.boxes[1].owner, nullptr);
    EXPECT_EQ(screen.boxes[1].type, MB_ICONINFORMATION | MB_OK);
    EXPECT_EQ(screen.boxes[2].text, "Parameters saved as a.dla\n\nLoad via ' File ' menu or by double-clicking.");
    EXPECT_EQ(screen.boxes[2].caption, "ZORV DLA 2017");
    ASSERT_EQ(screen.fileDialogs.size(), 1u);
    EXPECT_EQ(screen.fileDialogs[0].title, "Select a file for saving your image:");
    EXPECT_TRUE(screen.fileDialogs[0].save);
    EXPECT_EQ(filesize(path("a.tga")), 18u + 400u * 400u * 3u + 26u);
    EXPECT_EQ(filesize(path("a.dla")), 804u);
}

TEST_F(App, PauseAndClickStopARunPlotImageResumesItAndNothingElseIsHonouredMeanwhile) {
    std::vector<COLORREF> paused;
    int count = 0;
    until([] { return growing() && clusterpixels() >= 12; });
    then([&] {
        // Every command and the D key reach the window procedure during the run.
        std::size_t boxes = screen.boxes.size();
        for (int id : {100, 105, 110, 115, 130, 140, 150, 160, 165, 170, 175, 180, 190, 195})
            SendMessageA(g_hWnd, WM_COMMAND, static_cast<WPARAM>(id), 0);
        SendMessageA(g_hWnd, WM_KEYDOWN, 'D', 0);
        EXPECT_EQ(screen.boxes.size(), boxes);
        EXPECT_TRUE(screen.fileDialogs.empty());
        EXPECT_TRUE(screen.dialogsShown.empty());
        EXPECT_EQ(debug, 0);
        EXPECT_EQ(greyscale, 0);
        EXPECT_EQ(firstloop, 0) << "Clear Screen refused";
        EXPECT_TRUE(IsWindow(g_hWnd)) << "Exit refused";
        SendMessageA(g_hWnd, WM_COMMAND, IDM_PLOT, 0);
        EXPECT_EQ(okdla, 1);
        EXPECT_EQ(terminate, 0);
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    until(idle);
    then([&] {
        EXPECT_EQ(firstloop, 0) << "a stopped cluster can be resumed";
        paused = canvas();
        count = clusterpixels();
        screen.key(g_hWnd, VK_F1);
    });
    until([&] { return growing() && clusterpixels() > count + 3; });
    then([&] {
        auto now = canvas();
        for (std::size_t i = 0; i < paused.size(); ++i)
            if (paused[i] != bkgd) {
                ASSERT_EQ(now[i], paused[i]) << "the same cluster goes on";
            }
        screen.click(g_hWnd, WM_LBUTTONDOWN, 5, 5);
    });
    until(idle);
    then([&] {
        EXPECT_EQ(firstloop, 0);
        count = clusterpixels();
        screen.click(g_hWnd, WM_RBUTTONDOWN, 5, 5);  // while idle
    });
    until([] { return terminate == 1; });
    press(VK_F1);
    until([&] { return growing() && terminate == 0 && clusterpixels() > count + 3; });
    then([this] { screen.keyDown(g_hWnd, VK_PAUSE); });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
    EXPECT_EQ(boxescaptioned("HELP"), 1);
}

TEST_F(App, ParametersRefuseBadEntriesThenClearOrResizeAsTheChangeAsks) {
    std::vector<COLORREF> paused;
    pauseearly();
    then([&] {
        paused = canvas();
        for (const char* width : {"abc", "99", "9601"})
            dialog([width](headless::DialogDriver& d) {
                d.setText(IDC_XRES, width);
                d.press(IDOK);
            });
        // The width as it was: OK without a change.
        dialog([](headless::DialogDriver& d) {
            d.setText(IDC_XRES, "100");
            d.press(IDOK);
        });
        screen.key(g_hWnd, VK_F4);
    });
    until([this] { return dialogSteps.empty(); });
    settle();
    then([&] {
        ASSERT_EQ(screen.boxes.size(), 4u);
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(screen.boxes[i].text, "xres / yres range: 100 - 9600");
            EXPECT_EQ(screen.boxes[i].caption, "Parameter Error");
            EXPECT_EQ(screen.boxes[i].owner, dialogHandles.at(0));
            EXPECT_EQ(screen.boxes[i].type, MB_ICONWARNING | MB_OK);
        }
        EXPECT_EQ(canvas(), paused) << "accepted without a change: the paused cluster survives";
        EXPECT_EQ(firstloop, 0);
        EXPECT_EQ(newparam + newdimensions, 0);
        dialog([](headless::DialogDriver& d) {
            d.setText(IDC_XRES, "150");
            d.setText(IDC_YRES, "abc");
            d.press(IDOK);
        });
        dialog([](headless::DialogDriver& d) { d.press(IDCANCEL); });
        screen.key(g_hWnd, VK_F4);
    });
    until([this] { return dialogSteps.empty(); });
    settle();
    then([&] {
        ASSERT_EQ(screen.boxes.size(), 5u);
        EXPECT_EQ(screen.boxes[4].text, "xres / yres range: 100 - 9600");
        EXPECT_EQ(xres, 150) << "the width before the refused height stays stored after Cancel";
        EXPECT_EQ(yres, 100);
        EXPECT_EQ(newdimensions, 1);
        EXPECT_EQ(canvas(), paused) << "no resize until a dialog is accepted";
        EXPECT_EQ(GetPixel(g_vhdc, 120, 0), CLR_INVALID) << "the old canvas reads harmlessly outside";
        EXPECT_EQ(firstloop, 0);
        // The next accepted dialog resizes to the stored width.
        dialog([](headless::DialogDriver& d) { d.press(IDOK); });
        screen.key(g_hWnd, VK_F4);
    });
    until([] { return newdimensions == 0; });
    settle();
    then([&] {
        EXPECT_EQ(firstloop, 1);
        EXPECT_EQ(GetPixel(g_vhdc, 149, 99), kGrey);
        EXPECT_EQ(GetPixel(g_vhdc, 150, 0), CLR_INVALID);
        dialog([](headless::DialogDriver& d) {
            d.setText(IDC_STICKINESS, "50");
            d.press(IDOK);
        });
        screen.key(g_hWnd, VK_F4);
    });
    until([] { return probability == 50; });
    settle();
    then([&] {
        EXPECT_EQ(probability, 50);
        EXPECT_EQ(newparam, 0);
        EXPECT_TRUE(canvasall(kGrey)) << "a new stickiness clears the screen";
        EXPECT_EQ(win(50, 50), kGrey);
        dialog([](headless::DialogDriver& d) {
            d.setText(IDC_XRES, "150px");
            d.setText(IDC_YRES, "120");
            d.setText(IDC_STICKINESS, "60");
            d.press(IDOK);
        });
        screen.key(g_hWnd, VK_F4);
    });
    until([] { return yres == 120; });
    then([&] {
        EXPECT_EQ(xres, 150);
        EXPECT_EQ(GetPixel(g_vhdc, 149, 119), kGrey);
        EXPECT_EQ(GetPixel(g_vhdc, 150, 0), CLR_INVALID);
        EXPECT_EQ(GetPixel(g_vhdc, 0, 120), CLR_INVALID);
        EXPECT_EQ(newdimensions, 0);
        EXPECT_EQ(newparam, 1) << "the size branch leaves newparam set";
        EXPECT_EQ(firstloop, 1);
        EXPECT_EQ(win(140, 110), kGrey);
        screen.key(g_hWnd, VK_F1);
    });
    until(completed);
    then([&] {
        EXPECT_GT(clusterpixels(), 50) << "the new size grows a whole cluster";
        EXPECT_NE(GetPixel(g_vhdc, 149, 119), kGrey) << "the run cleared all of the new canvas";
        dialog([](headless::DialogDriver& d) { d.press(IDOK); });
        screen.key(g_hWnd, VK_F4);
    });
    until([] { return newparam == 0; });
    settle();
    then([&] { EXPECT_TRUE(canvasall(kGrey)) << "the pending new stickiness clears now"; });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, AlgorithmsAndColoringMethodClearOnlyWhenSomethingChanged) {
    std::vector<COLORREF> paused;
    pauseearly();
    then([&] {
        paused = canvas();
        dialog([](headless::DialogDriver& d) { d.press(IDOK); });
        screen.key(g_hWnd, VK_F5);
    });
    settle();
    then([&] {
        dialog([](headless::DialogDriver& d) { d.press(IDOK); });
        screen.key(g_hWnd, 'M');
    });
    until([this] { return dialogSteps.empty(); });
    settle();
    then([&] {
        EXPECT_EQ(screen.dialogsShown, (std::vector<std::string>{"Algorithms", "Coloring Method"}));
        EXPECT_EQ(canvas(), paused);
        EXPECT_EQ(firstloop, 0);
        dialog([](headless::DialogDriver& d) {
            d.click(IDC_FRACTINT);
            d.press(IDOK);
        });
        screen.key(g_hWnd, VK_F5);
    });
    until([] { return firstloop == 1; });
    then([&] {
        EXPECT_EQ(algorithm, 1);
        EXPECT_TRUE(canvasall(kGrey));
        screen.key(g_hWnd, VK_F1);
    });
    until(growing);
    then([&] {
        screen.keyDown(g_hWnd, VK_PAUSE);
        dialog([](headless::DialogDriver& d) {
            d.click(IDC_DISTANCE);
            d.press(IDOK);
        });
    });
    until(idle);
    press('M');
    until([] { return firstloop == 1; });
    then([] {
        EXPECT_EQ(coloring, 1);
        EXPECT_TRUE(canvasall(kGrey));
    });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, BackgroundPreviewRejectedReopensTheDialogAndAcceptedPaintsTheNextRun) {
    std::vector<COLORREF> window, image;
    pauseearly();
    then([&] {
        window = corner(296, 100);
        image = canvas();
        dialog([](headless::DialogDriver& d) {
            EXPECT_EQ(d.text(IDC_RED), "255");
            EXPECT_EQ(d.text(IDC_GREEN), "245");
            EXPECT_EQ(d.text(IDC_BLUE), "230");
            d.setText(IDC_RED, "10");
            d.setText(IDC_GREEN, "20");
            d.setText(IDC_BLUE, "30");
            d.press(IDOK);
        });
        answers.push_back(IDNO);
        onQuestion = [this](const headless::BoxRecord& box) {
            EXPECT_EQ(box.text, "Accept background?");
            EXPECT_EQ(box.caption, "Preview");
            EXPECT_EQ(box.owner, nullptr);
            EXPECT_EQ(box.type, MB_YESNO | MB_ICONINFORMATION);
            EXPECT_EQ(win(10, 10), RGB(10, 20, 30)) << "the candidate shows in the corner";
            EXPECT_EQ(win(0, 0), RGB(205, 215, 225));
        };
        // Reopened after No: it shows the colour in force, not the rejected one.
        dialog([](headless::DialogDriver& d) {
            EXPECT_EQ(d.text(IDC_RED), "255");
            EXPECT_EQ(d.text(IDC_BLUE), "230");
            d.press(IDCANCEL);
        });
        screen.key(g_hWnd, 'B');
    });
    until([this] { return dialogSteps.empty(); });
    settle();
    then([&] {
        EXPECT_EQ(screen.dialogsShown.size(), 2u);
        EXPECT_EQ(corner(296, 100), window) << "the corner is put back in the window";
        EXPECT_EQ(canvas(), image) << "and in the canvas";
        EXPECT_EQ(rback, 255);
        EXPECT_EQ(bkgd, RGB(255, 245, 230));
        EXPECT_EQ(firstloop, 0);
        onQuestion = nullptr;
        dialog([](headless::DialogDriver& d) {
            for (int id : {IDC_RED, IDC_GREEN, IDC_BLUE}) d.setText(id, "0");
            d.press(IDOK);
        });
        answers.push_back(IDYES);
        screen.key(g_hWnd, 'B');
    });
    until([] { return firstloop == 1; });
    then([] {
        EXPECT_EQ(rback + gback + bback, 0);
        EXPECT_EQ(bkgd, RGB(0, 0, 0));
        EXPECT_TRUE(canvasall(kGrey));
    });
    press(VK_F1);
    until(growing);
    then([this] {
        EXPECT_EQ(GetPixel(g_vhdc, 0, 0), RGB(0, 0, 0)) << "the new cluster starts on the new background";
        EXPECT_EQ(win(0, 0), RGB(0, 0, 0));
        EXPECT_EQ(palette[0][0], 1) << "the black palette entry was nudged off the background";
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, MapFileGreyscaleAndDefaultPalette) {
    {
        std::ofstream good(path("good.map"));
        for (int i = 0; i < 256; ++i) good << i << " " << 255 - i << " 7  colour " << i << "\n";
        std::ofstream bad(path("bad.map"));
        bad << "1 2 3\n4,5,6\n";
    }
    std::vector<COLORREF> window, image;
    pauseearly();
    then([&] {
        window = corner(296, 100);
        image = canvas();
        files.push_back(path("good.map"));
        answers.push_back(IDNO);
        onQuestion = [this](const headless::BoxRecord& box) {
            EXPECT_EQ(box.text, "Accept palette?");
            EXPECT_EQ(box.caption, "Preview");
            EXPECT_EQ(win(20, 50), RGB(0, 255, 7)) << "stripe of entry 0";
            EXPECT_EQ(win(20 + 255, 50), RGB(255, 0, 7));
        };
        files.push_back("");  // the dialog comes back after No; cancel it
        screen.key(g_hWnd, 'F');
    });
    until([this] { return files.empty(); });
    settle();
    then([&] {
        ASSERT_EQ(screen.fileDialogs.size(), 2u);
        EXPECT_EQ(screen.fileDialogs[1].title, "Select a Fractint .MAP File");
        EXPECT_FALSE(screen.fileDialogs[1].save);
        EXPECT_TRUE(paletteis(defaultpalette));
        EXPECT_EQ(corner(296, 100), window);
        EXPECT_EQ(canvas(), image);
        EXPECT_EQ(firstloop, 0);
        onQuestion = nullptr;
        screen.key(g_hWnd, 'G');
    });
    until([] { return greyscale == 1 && firstloop == 1; });
    then([this] {
        const auto* box = lastbox();
        EXPECT_EQ(box->text, "Greyscale palette set");
        EXPECT_EQ(box->caption, "PALETTE");
        EXPECT_EQ(box->type, MB_OK);
        EXPECT_EQ(box->owner, nullptr);
        files.push_back("");
        screen.key(g_hWnd, 'F');
    });
    until([this] { return files.empty() && greyscale == 0; });
    settle();
    then([this] {
        EXPECT_EQ(lastbox()->text, "Greyscale palette set") << "cancelling says nothing";
        files.push_back(path("good.map"));
        answers.push_back(IDYES);
        screen.key(g_hWnd, 'F');
    });
    until([] { return palette[9][1] == 246; });
    then([this] {
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(palette[i][0], i);
            ASSERT_EQ(palette[i][1], 255 - i);
            ASSERT_EQ(palette[i][2], 7);
        }
        files.push_back(path("bad.map"));
        screen.key(g_hWnd, 'F');
    });
    until([this] { return files.empty(); });
    settle();
    then([this] {
        const auto* box = lastbox();
        EXPECT_EQ(box->text, "Error opening MAP file");
        EXPECT_EQ(box->caption, "MAP file error");
        EXPECT_EQ(box->owner, g_hWnd);
        EXPECT_EQ(box->type, MB_ICONWARNING | MB_OK);
        EXPECT_EQ(palette[9][1], 246) << "a bad file leaves the palette";
        EXPECT_EQ(firstloop, 1);
        files.push_back(path("missing.map"));
        screen.key(g_hWnd, 'F');
    });
    until([this] { return files.empty(); });
    settle();
    then([this] {
        EXPECT_EQ(boxescaptioned("MAP file error"), 2) << "an unreadable file is refused the same way";
        screen.key(g_hWnd, 'G');
    });
    until([] { return greyscale == 1; });
    press('P');
    until([] { return greyscale == 0; });
    then([this] {
        EXPECT_TRUE(paletteis(defaultpalette)) << "back to the palette the program started with";
        EXPECT_EQ(lastbox()->text, "Default palette restored");
        EXPECT_EQ(lastbox()->caption, "PALETTE");
        EXPECT_EQ(lastbox()->type, MB_OK);
    });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, DebugKeyTogglesTheDisplayAndClearsTheScreen) {
    pauseearly();
    press('D');
    until([] { return debug == 1 && firstloop == 1; });
    then([this] {
        EXPECT_EQ(lastbox()->text, "Debugging display turned on.");
        EXPECT_EQ(lastbox()->caption, "ZORV DLA 2017");
        EXPECT_EQ(lastbox()->type, MB_ICONINFORMATION | MB_OK);
        EXPECT_TRUE(canvasall(kGrey));
        screen.key(g_hWnd, 'D');
    });
    until([] { return debug == 0; });
    then([this] { EXPECT_EQ(lastbox()->text, "Debugging display turned off."); });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, HelpAboutAndSavingParametersOnly) {
    pauseearly();
    press(VK_F2);
    press(VK_F3);
    then([this] {
        files.push_back(path("only"));  // no extension: the dialog adds .dla
        screen.key(g_hWnd, 'O');
    });
    until([this] { return files.empty(); });
    settle();
    then([this] {
        files.push_back(path("no such folder/x.tga"));
        screen.key(g_hWnd, 'S');
    });
    until([this] { return files.empty(); });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
    ASSERT_EQ(screen.boxes.size(), 5u);
    EXPECT_EQ(screen.boxes[1].text, HELP_TEXT);
    EXPECT_EQ(screen.boxes[1].caption, "HELP");
    EXPECT_EQ(screen.boxes[2].caption, "ABOUT");
    EXPECT_EQ(screen.boxes[2].type, MB_ICONINFORMATION | MB_OK);
    EXPECT_NE(screen.boxes[2].text.find("ZORV DLA 2017"), std::string::npos);
    EXPECT_EQ(screen.boxes[3].text, "Parameters saved as only.dla\n\nLoad via ' File ' menu or by double-clicking.");
    EXPECT_EQ(filesize(path("only.dla")), 804u);
    EXPECT_EQ(screen.boxes[4].text, "Error opening a save file.") << "an unwritable image is the only box";
    EXPECT_EQ(screen.boxes[4].caption, "Save file error");
    EXPECT_EQ(screen.boxes[4].owner, g_hWnd);
    EXPECT_FALSE(std::filesystem::exists(path("no such folder/x.dla")));
}

TEST_F(App, LoadingAParameterFileKeepsThePictureAndStartsAfreshOnlyForTheOtherDirection) {
    writeparams(path("same.dla"), 0, 7, RGB(1, 2, 3), 40, 50);
    writeparams(path("other.dla"), 1, 9, RGB(4, 5, 6), 60, 70);
    {
        std::ofstream cut(path("cut.dla"), std::ios::binary);
        cut << "too short";
    }
    std::vector<COLORREF> paused;
    pauseearly();
    then([&] {
        paused = canvas();
        files.push_back(path("same.dla"));
        screen.key(g_hWnd, 'L');
    });
    until([] { return startradius == 7; });
    settle();
    then([&] {
        EXPECT_EQ(lastbox()->text, "Parameter file  same.dla  loaded.");
        EXPECT_EQ(lastbox()->caption, "ZORV DLA 2017");
        EXPECT_EQ(lastbox()->type, MB_ICONINFORMATION | MB_OK);
        EXPECT_EQ(screen.fileDialogs.back().title, "Select a DLA parameter file:");
        EXPECT_EQ(bkgd, RGB(1, 2, 3));
        EXPECT_TRUE(paletteramp(40, 50));
        EXPECT_EQ(firstloop, 0) << "the same direction can resume the paused cluster";
        EXPECT_EQ(canvas(), paused) << "loading does not clear the picture";
        files.push_back(path("other.dla"));
        screen.key(g_hWnd, 'L');
    });
    until([] { return growth == 1; });
    settle();
    then([&] {
        EXPECT_EQ(firstloop, 1) << "the other direction must start a new cluster";
        EXPECT_EQ(canvas(), paused);
        files.push_back(path("cut.dla"));
        screen.key(g_hWnd, 'L');
    });
    until([this] { return files.empty(); });
    settle();
    then([] {
        EXPECT_EQ(growth, 1) << "a refused file changes nothing";
        EXPECT_EQ(startradius, 9);
        EXPECT_TRUE(paletteramp(60, 70));
    });
    then([this] {
        EXPECT_EQ(lastbox()->text, "Error opening DLA file");
        EXPECT_EQ(lastbox()->caption, "DLA file error");
        EXPECT_EQ(lastbox()->owner, g_hWnd);
        screen.key(g_hWnd, VK_F1);
    });
    until(growing);
    then([this] {
        EXPECT_EQ(GetPixel(g_vhdc, 0, 0), RGB(4, 5, 6)) << "a new centripetal cluster on the loaded background";
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

TEST_F(App, AQuotedCommandLinePathStartsWithThatFileAndDefaultPaletteRestoresIt) {
    writeparams(path("start.dla"), 1, 8, RGB(9, 9, 9), 33, 44);
    until(growing);
    then([this] {
        EXPECT_EQ(growth, 1);
        EXPECT_EQ(startradius, 8);
        EXPECT_EQ(GetPixel(g_vhdc, 0, 0), RGB(9, 9, 9));
        EXPECT_TRUE(paletteramp(33, 44));
        EXPECT_TRUE(screen.boxes.empty()) << "silent load, and the centripetal run shows no help";
        screen.keyDown(g_hWnd, VK_PAUSE);
    });
    until(idle);
    press('G');
    until([] { return greyscale == 1; });
    press('P');
    until([] { return greyscale == 0; });
    then([] { EXPECT_TRUE(paletteramp(33, 44)) << "the file's palette is the default now"; });
    quit();

    std::string quoted = "\"";
    quoted += path("start.dla");
    quoted += '"';
    EXPECT_EQ(run(1024, 228, quoted), 0);
}

TEST_F(App, AnUnusableCommandLineStartsWithTheDefaultsSilently) {
    writeparams(path("start.dla"), 1, 8, RGB(9, 9, 9), 33, 44);
    std::string missing = "\"";
    missing += path("missing.dla");
    missing += '"';
    for (const std::string& args : {path("start.dla"), missing, std::string("\"")}) {
        SCOPED_TRACE(args);
        restart();
        until(growing);
        then([] {
            EXPECT_EQ(growth, 0);
            EXPECT_EQ(startradius, 10);
            EXPECT_TRUE(paletteis(defaultpalette));
            PostMessageA(g_hWnd, WM_DESTROY, 0, 0);
        });
        EXPECT_EQ(run(1024, 228, args), 0);
        ASSERT_EQ(screen.boxes.size(), 1u);
        EXPECT_EQ(screen.boxes[0].caption, "HELP");
    }
}

TEST_F(App, ADisplayBelowTrueColourEndsAtStartUp) {
    EXPECT_EQ(run(1024, 768, "", 16), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text, "Couldn't initialize graphics.");
    EXPECT_EQ(screen.boxes[0].caption, "Error");
    EXPECT_EQ(screen.boxes[0].owner, nullptr);
    EXPECT_EQ(screen.boxes[0].type, MB_ICONWARNING | MB_OK);
    EXPECT_TRUE(platform::Windows().empty()) << "the window is freed, never shown";
    EXPECT_EQ(g_vhdc, nullptr);
    EXPECT_EQ(firsttime, 1) << "no growth run was called";
}

TEST_F(App, TheDefaultImageFollowsTheScreenHeight) {
    for (auto [height, side] : {std::pair{480, 352}, std::pair{228, 100}, std::pair{600, 400}, std::pair{200, 100}}) {
        SCOPED_TRACE(height);
        restart();
        until(growing);
        then([&, side = side] {
            EXPECT_EQ(xres, side);
            EXPECT_EQ(yres, side);
            EXPECT_EQ(GetPixel(g_vhdc, side - 1, side - 1), bkgd);
            EXPECT_EQ(GetPixel(g_vhdc, side, 0), CLR_INVALID);
            // Ends the program in the middle of a run: the loop must not
            // call the run again once the canvas is gone.
            PostMessageA(g_hWnd, WM_DESTROY, 0, 0);
        });
        EXPECT_EQ(run(1024, height), 0);
        EXPECT_EQ(g_vhdc, nullptr);
    }
}

TEST_F(App, ClosingTheWindowDuringARunEndsTheProgram) {
    until([] { return growing() && clusterpixels() >= 5; });
    then([this] { screen.closeFromFrame(g_hWnd); });
    EXPECT_EQ(run(1024, 228), 0);
    EXPECT_FALSE(IsWindow(g_hWnd));
    EXPECT_EQ(g_vhdc, nullptr);
}

TEST_F(App, AfterAResizeTheWindowShowsTheCanvasAgainGreyBeyondIt) {
    pauseearly();
    then([this] {
        platform::NativeResized(g_hWnd, 300, 80);
        EXPECT_EQ(ClientRes.right, 300);
        EXPECT_EQ(ClientRes.bottom, 80);
    });
    settle();
    then([this] {
        for (int y = 0; y < 80; y += 7)
            for (int x = 0; x < 100; x += 7) ASSERT_EQ(win(x, y), GetPixel(g_vhdc, x, y)) << x << "," << y;
        EXPECT_EQ(win(150, 40), kGrey);
        EXPECT_EQ(win(299, 79), kGrey);
        platform::NativeMoved(g_hWnd, 40, 30);
        platform::NativeResized(g_hWnd, 500, 120);
    });
    settle();
    then([this] {
        EXPECT_EQ(win(50, 50), GetPixel(g_vhdc, 50, 50));
        EXPECT_EQ(win(99, 99), GetPixel(g_vhdc, 99, 99));
        EXPECT_EQ(win(50, 110), kGrey) << "below the image";
        EXPECT_EQ(win(400, 10), kGrey);
    });
    quit();

    EXPECT_EQ(run(1024, 228), 0);
}

// The Targa writer: the bytes of the file, what an independent decoder makes
// of it, and what is left on disk when a save fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "canvas/canvas.h"
#include "engine/settings.h"
#include "files/filedialogs.h"
#include "files/targa.h"
#include "filetest.h"
#include "platform/headless/headless.h"

namespace {

using filetest::Bytes;
using filetest::TempDir;

// A colour that differs in every channel from pixel to pixel, so swapped
// channels, mirrored rows or a shifted row show up.
COLORREF patternAt(int x, int y) {
    return RGB((x * 7 + y) & 0xFF, (y * 5 + 3) & 0xFF, (x + y * 11 + 1) & 0xFF);
}

struct Event {
    BOOL enabled;
    CursorShape cursor;
};
std::vector<Event> g_enableEvents;
headless::Backend* g_screen = nullptr;

LRESULT recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_ENABLE) g_enableEvents.push_back({static_cast<BOOL>(wParam), g_screen->cursorShape});
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Targa : public ::testing::Test {
protected:
    headless::Backend screen;
    TempDir dir;

    void SetUp() override {
        resetsettings();
        g_screen = &screen;
        g_enableEvents.clear();
        WNDCLASSA wc{};
        wc.lpfnWndProc = recordingProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "Main";
        RegisterClassA(&wc);
        tgafile = dir / "image.tga";
    }
    void TearDown() override {
        releasecanvas();
        g_screen = nullptr;
    }

    // A main window and a canvas of w x h painted with the pattern.
    void canvas(int w, int h) {
        xres = w;
        yres = h;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) SetPixel(g_vhdc, x, y, patternAt(x, y));
    }
};

std::size_t pixelOffset(int x, int y, int width) { return 18 + 3 * (static_cast<std::size_t>(y) * width + x); }

class TargaLayout : public Targa, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(TargaLayout, HeaderPixelsAndFooterByteForByte) {
    auto [w, h] = GetParam();
    canvas(w, h);
    SetPixel(g_vhdc, 0, 0, RGB(255, 0, 0));
    ASSERT_EQ(writetga(g_vhdc), 0);

    Bytes file = filetest::readBytes(tgafile);
    ASSERT_EQ(file.size(), 18 + 3 * static_cast<std::size_t>(w) * h + 26);
    Bytes header(file.begin(), file.begin() + 18);
    Bytes expectHeader = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          static_cast<unsigned char>(w & 0xFF), static_cast<unsigned char>(w >> 8),
                          static_cast<unsigned char>(h & 0xFF), static_cast<unsigned char>(h >> 8), 24, 0x20};
    EXPECT_EQ(header, expectHeader);

    // The red top-left pixel: blue, green, red.
    EXPECT_EQ(file[18], 0);
    EXPECT_EQ(file[19], 0);
    EXPECT_EQ(file[20], 255);
    for (int y = 0; y < h; ++y)
        for (int x = (y == 0 ? 1 : 0); x < w; ++x) {
            COLORREF c = patternAt(x, y);
            std::size_t at = pixelOffset(x, y, w);
            ASSERT_EQ(file[at], GetBValue(c)) << x << "," << y;
            ASSERT_EQ(file[at + 1], GetGValue(c)) << x << "," << y;
            ASSERT_EQ(file[at + 2], GetRValue(c)) << x << "," << y;
        }

    Bytes footer(file.end() - 26, file.end());
    Bytes expectFooter(8, 0);
    const char sig[] = "TRUEVISION-XFILE.";
    expectFooter.insert(expectFooter.end(), sig, sig + 18);  // with its zero byte
    EXPECT_EQ(footer, expectFooter);
}

// 400 x 400 makes the 480044-byte file of the default image.
INSTANTIATE_TEST_SUITE_P(Sizes, TargaLayout,
                         ::testing::Values(std::pair{100, 100}, std::pair{257, 100}, std::pair{100, 300},
                                           std::pair{400, 400}));

TEST_F(Targa, PixelsOutsideTheCanvasAreStoredWhite) {
    canvas(100, 100);
    // A new size chosen but the canvas not yet remade.
    xres = 120;
    yres = 110;
    ASSERT_EQ(writetga(g_vhdc), 0);
    Bytes file = filetest::readBytes(tgafile);
    ASSERT_EQ(file.size(), 18 + 3u * 120 * 110 + 26);
    EXPECT_EQ(file[12], 120);
    EXPECT_EQ(file[14], 110);
    for (int y = 0; y < 110; ++y)
        for (int x = 0; x < 120; ++x) {
            std::size_t at = pixelOffset(x, y, 120);
            if (x < 100 && y < 100) {
                COLORREF c = patternAt(x, y);
                ASSERT_EQ(file[at], GetBValue(c));
                ASSERT_EQ(file[at + 2], GetRValue(c));
            } else {
                ASSERT_EQ(file[at], 255) << x << "," << y;
                ASSERT_EQ(file[at + 1], 255);
                ASSERT_EQ(file[at + 2], 255);
            }
        }
}

TEST_F(Targa, WaitCursorAndDisabledWindowOnlyWhileWriting) {
    canvas(100, 100);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    ASSERT_EQ(writetga(g_vhdc), 0);
    ASSERT_EQ(g_enableEvents.size(), 2u);
    EXPECT_FALSE(g_enableEvents[0].enabled);
    EXPECT_EQ(g_enableEvents[0].cursor, CursorShape::Wait);
    EXPECT_TRUE(g_enableEvents[1].enabled);
    EXPECT_TRUE(IsWindowEnabled(g_hWnd));
    EXPECT_EQ(screen.cursorShape, CursorShape::Arrow);
}

TEST_F(Targa, AFailedWriteStillRestoresWindowAndCursor) {
    if (!filetest::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    canvas(100, 100);
    SetCursor(LoadCursorA(nullptr, IDC_CROSS));
    tgafile = "/dev/full";
    ASSERT_EQ(writetga(g_vhdc), 3);
    EXPECT_STREQ(saveerror[2], "Error writing to save file.");
    EXPECT_TRUE(IsWindowEnabled(g_hWnd));
    EXPECT_EQ(screen.cursorShape, CursorShape::Cross);
}

TEST_F(Targa, ATargetThatCannotBeOpenedGivesResult1AndLeavesNothing) {
    canvas(100, 100);
    auto targets = filetest::unopenableTargets(dir, "image.tga");
    auto before = dir.names();
    for (const auto& [what, path] : targets) {
        SCOPED_TRACE(what);
        tgafile = path;
        EXPECT_EQ(writetga(g_vhdc), 1);
        EXPECT_TRUE(g_enableEvents.empty()) << "the window was disabled for nothing";
    }
    EXPECT_EQ(dir.names(), before);
    EXPECT_FALSE(filetest::exists(dir / "missing"));
    EXPECT_STREQ(saveerror[0], "Error opening a save file.");
}

TEST_F(Targa, AReadOnlyFolderGivesResult1) {
    canvas(100, 100);
    std::filesystem::create_directory(dir / "locked");
    chmod((dir / "locked").c_str(), 0555);
    if (access((dir / "locked").c_str(), W_OK) == 0) GTEST_SKIP() << "file permissions do not bind this user";
    tgafile = dir / "locked/image.tga";
    EXPECT_EQ(writetga(g_vhdc), 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "locked"));
}

TEST_F(Targa, AFailedSaveLeavesTheEarlierFileAsItWas) {
    canvas(100, 100);
    Bytes earlier = {'o', 'l', 'd', ' ', 'i', 'm', 'a', 'g', 'e'};
    filetest::writeBytes(tgafile, earlier);
    {
        filetest::FileSizeLimit limit(1000);  // the disk fills after 1000 bytes
        EXPECT_EQ(writetga(g_vhdc), 3);
    }
    EXPECT_EQ(filetest::readBytes(tgafile), earlier);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"image.tga"}) << "something half-written was left";
    EXPECT_TRUE(IsWindowEnabled(g_hWnd));
}

TEST_F(Targa, ANewFileThatFailsLeavesNothingUnderItsName) {
    canvas(100, 100);
    {
        filetest::FileSizeLimit limit(1000);
        EXPECT_EQ(writetga(g_vhdc), 3);
    }
    EXPECT_TRUE(dir.names().empty());
}

TEST_F(Targa, ASaveReplacesAnEarlierFileAndKeepsItsPermissions) {
    canvas(100, 100);
    filetest::writeBytes(tgafile, {1, 2, 3});
    chmod(tgafile.c_str(), 0640);
    ASSERT_EQ(writetga(g_vhdc), 0);
    EXPECT_EQ(filetest::readBytes(tgafile).size(), 30044u);
    struct stat st {};
    ASSERT_EQ(stat(tgafile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"image.tga"});
}

TEST_F(Targa, SavingThroughASymbolicLinkKeepsTheLink) {
    canvas(100, 100);
    std::filesystem::create_directory(dir / "real");
    filetest::writeBytes(dir / "real/image.tga", {9});
    std::filesystem::create_symlink(dir / "real/image.tga", dir / "link.tga");
    tgafile = dir / "link.tga";
    ASSERT_EQ(writetga(g_vhdc), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.tga"));
    EXPECT_EQ(filetest::readBytes(dir / "real/image.tga").size(), 30044u);
}

TEST_F(Targa, ASizeTheHeaderCannotHoldIsRefusedWithoutTouchingTheFile) {
    canvas(100, 100);
    filetest::writeBytes(tgafile, {7});
    for (auto [w, h] : {std::pair{70000, 100}, std::pair{100, 0}, std::pair{-5, 100}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        xres = w;
        yres = h;
        EXPECT_EQ(writetga(g_vhdc), 3);
        EXPECT_EQ(filetest::readBytes(tgafile), Bytes{7});
    }
}

// An independent decoder (Pillow) reads the file back: size, orientation
// and every pixel must match the canvas.
TEST_F(Targa, PillowDecodesTheImageUpright) {
    std::string python;
    for (const char* candidate : {"/usr/bin/python3", "python3"}) {
        std::string probe = std::string(candidate) + " -c 'import PIL.Image' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0) {
            python = candidate;
            break;
        }
    }
    if (python.empty()) GTEST_SKIP() << "python3 with Pillow is not installed";

    const int w = 123, h = 101;
    canvas(w, h);
    ASSERT_EQ(writetga(g_vhdc), 0);
    std::string decoded = dir / "decoded.rgb";
    std::string script =
        "import sys, PIL.Image\n"
        "im = PIL.Image.open(sys.argv[1])\n"
        "out = open(sys.argv[2], 'wb')\n"
        "out.write(b'%s %d %d\\n' % (im.format.encode(), im.size[0], im.size[1]))\n"
        "out.write(im.convert('RGB').tobytes())\n";
    filetest::writeText(dir / "decode.py", script);
    std::string command = python + " '" + (dir / "decode.py") + "' '" + tgafile + "' '" + decoded + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    Bytes out = filetest::readBytes(decoded);
    auto newline = std::find(out.begin(), out.end(), '\n');
    ASSERT_NE(newline, out.end());
    EXPECT_EQ(std::string(out.begin(), newline), "TGA 123 101");
    Bytes rgb(newline + 1, out.end());
    ASSERT_EQ(rgb.size(), 3u * w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            COLORREF c = patternAt(x, y);
            std::size_t at = 3 * (static_cast<std::size_t>(y) * w + x);
            ASSERT_EQ(rgb[at], GetRValue(c)) << x << "," << y;
            ASSERT_EQ(rgb[at + 1], GetGValue(c)) << x << "," << y;
            ASSERT_EQ(rgb[at + 2], GetBValue(c)) << x << "," << y;
        }
}

}  // namespace

// zorv-dla-ss on the Qt backend, off screen: full screen, cursor hidden, the
// cluster on screen exactly as on the canvas, and the end on a key press.
#include <QElapsedTimer>
#include <QTest>
#include <cmath>

#include "saver/saver.h"
#include "tests/qt/harness.h"

namespace {

using qtbackend::Backend;

TEST(SaverOnQt, OpensFullScreenHidesTheCursorGrowsAndEndsOnAKey) {
    Backend backend;
    resetsaver();
    bool fullScreen = false, cursorHidden = false;
    int clusterPixels = 0, differences = 0, farPixels = 0;
    harness::Script script([] {
        if (Backend::view(g_hWnd)) QTest::keyClick(Backend::view(g_hWnd), Qt::Key_Space);
        PostQuitMessage(0);
    });
    script.then(
        "cluster visible", [] { return g_hWnd && Backend::view(g_hWnd) && g_vhdc; },
        [&] {
            QWidget* top = Backend::widget(g_hWnd);
            fullScreen = top->isFullScreen();
            const QCursor* c = QGuiApplication::overrideCursor();
            cursorHidden = c && c->shape() == Qt::BlankCursor;
        });
    QElapsedTimer grown;
    grown.start();
    script.then(
        "some growth", [&] { return grown.elapsed() > 600; },
        [&] {
            QImage shot = harness::Screenshot(backend, g_hWnd);
            ASSERT_EQ(shot.width(), xscreen);
            ASSERT_EQ(shot.height(), yscreen);
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) {
                    QRgb s = shot.pixel(x, y);
                    COLORREF c = GetPixel(g_vhdc, x, y);
                    if (qRed(s) != GetRValue(c) || qGreen(s) != GetGValue(c) || qBlue(s) != GetBValue(c)) ++differences;
                    if ((s & 0xFFFFFF) == 0) continue;
                    ++clusterPixels;
                    if (std::hypot(x - xcenter, y - ycenter) > 205) ++farPixels;
                }
            QTest::keyClick(Backend::view(g_hWnd), Qt::Key_Space);
        });
    script.start();
    int code = WinMain(&saverModule, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    EXPECT_TRUE(script.finished()) << script.pending();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fullScreen);
    EXPECT_TRUE(cursorHidden);
    EXPECT_GT(clusterPixels, 1);
    EXPECT_EQ(farPixels, 0);
    EXPECT_EQ(differences, 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // shown again at the end
}

}  // namespace

int main(int argc, char** argv) { return harness::Main(argc, argv); }

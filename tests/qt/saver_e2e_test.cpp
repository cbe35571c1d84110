// zorv-dla-ss off screen: full screen, cursor hidden, the screen equal to the canvas; a one-pixel move (a window-system
// event, made while it sleeps) during the pause after a cluster ends it within that pause, the cluster still on screen.
#include <QTest>

#include "saver/saver.h"
#include "tests/qt/harness.h"

namespace {

TEST(SaverOnQt, FullScreenTheCanvasPixelForPixelAndAMoveDuringThePauseEndsIt) {
    qtbackend::Backend backend;
    resetsaver();
    harness::Script script;
    QElapsedTimer clock;
    QTimer fallback;  // ends a saver that missed the move, for the checks below
    fallback.setSingleShot(true);
    fallback.callOnTimeout([] { QTest::keyClick(qtbackend::Backend::view(g_hWnd), Qt::Key_Space); });
    script.then("the window", [] { return g_hWnd && qtbackend::Backend::view(g_hWnd) && g_vhdc; }, [&] {
        EXPECT_TRUE(qtbackend::Backend::widget(g_hWnd)->isFullScreen());
        const QCursor* c = QGuiApplication::overrideCursor();
        EXPECT_TRUE(c && c->shape() == Qt::BlankCursor) << "the cursor is hidden";
        clock.start();
    });
    script.then("some growth", [&] { return clock.elapsed() > 600; }, [&] {
        harness::Shot shot = harness::Compare(backend, g_hWnd, g_vhdc, RGB(0, 0, 0));
        EXPECT_EQ(std::pair(shot.width, shot.height), std::pair(xscreen, yscreen));
        EXPECT_EQ(shot.differences, 0) << "the screen shows the canvas pixel for pixel";
        EXPECT_GT(shot.ink, 1);
    });
    script.then("the pause after the first cluster", [] { return palindex == 1; }, [&] {
        QCursor::setPos(QCursor::pos() + QPoint(1, 0));
        fallback.start(8000);
    });
    EXPECT_EQ(WinMain(&saverModule, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
    EXPECT_TRUE(fallback.isActive()) << "the move ended the saver";
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the cursor is shown again at the end";
    ASSERT_TRUE(IsWindow(g_hWnd)) << "it ended between runs (a run ends it by closing the window)";
    HDC screen = GetDC(g_hWnd);
    EXPECT_EQ(GetPixel(screen, xcenter, ycenter), RGB(0, 72, 208)) << "the first cluster is still on screen";
    ReleaseDC(g_hWnd, screen);
}

}  // namespace

int main(int argc, char** argv) { return harness::Main(argc, argv); }

// zorv-dla on the Qt backend, off screen, driven with Qt input the way a
// user would: the help box, the growing cluster on screen, PAUSE, F1 and a
// click, a menu item, the Image Parameters dialog refused and corrected, a
// save through the file dialog, and Esc to end.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <unistd.h>

#include "app/resources.h"
#include "app/winmain.h"
#include "canvas/canvas.h"
#include "engine/settings.h"
#include "tests/qt/harness.h"

namespace {

using qtbackend::Backend;

template <typename T>
T* visible(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible() && t->windowTitle() == title) return t;
    return nullptr;
}

QAction* menuAction(HWND hwnd, const QStringList& path) {
    auto* top = qobject_cast<QMainWindow*>(Backend::widget(hwnd));
    if (!top) return nullptr;
    QList<QAction*> actions = top->menuBar()->actions();
    QAction* found = nullptr;
    for (const QString& part : path) {
        found = nullptr;
        for (QAction* a : actions)
            if (a->text() == part) found = a;
        if (!found) return nullptr;
        if (found->menu()) actions = found->menu()->actions();
    }
    return found;
}

void typeInto(HWND dialog, int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(Backend::control(GetDlgItem(dialog, id)));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

HWND openDialog() {
    for (HWND h : platform::Windows())
        if (h->kind == WindowKind::Dialog) return h;
    return nullptr;
}

class AppOnQt : public ::testing::Test {
protected:
    std::filesystem::path dir, home;
    void SetUp() override {
        resetsettings();
        dir = std::filesystem::temp_directory_path() / ("zorv-qt-app-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        home = std::filesystem::current_path();
        std::filesystem::current_path(dir);  // the file dialogs start here
    }
    void TearDown() override {
        std::filesystem::current_path(home);
        std::filesystem::remove_all(dir);
    }
};

TEST_F(AppOnQt, GrowsShowsPausesResumesSetsParametersSavesAndExits) {
    Backend backend;
    QString helpText;
    int differences = -1, clusterPixels = 0, parameterErrors = 0;
    bool stoppedByPause = false, stoppedByClick = false;
    std::vector<QString> infos;
    QElapsedTimer clock;
    harness::Script script([] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible()) d->reject();
        PostQuitMessage(0);
    });
    auto view = [] { return Backend::view(g_hWnd); };

    script.then(
        "the help box", [] { return visible<QMessageBox>("HELP") != nullptr; },
        [&] {
            QMessageBox* box = visible<QMessageBox>("HELP");
            helpText = box->text();
            QTest::keyClick(box, Qt::Key_Return);
            clock.restart();
        });
    script.then(
        "a growing cluster", [&] { return clock.elapsed() > 150 && okdla; },
        [&] {
            // The client area shows the canvas pixel for pixel.
            QImage shot = harness::Screenshot(backend, g_hWnd);
            differences = 0;
            for (int y = 0; y < std::min(yres, shot.height()); ++y)
                for (int x = 0; x < std::min(xres, shot.width()); ++x) {
                    QRgb s = shot.pixel(x, y);
                    COLORREF c = GetPixel(g_vhdc, x, y);
                    if (qRed(s) != GetRValue(c) || qGreen(s) != GetGValue(c) || qBlue(s) != GetBValue(c)) ++differences;
                    if (c != bkgd) ++clusterPixels;
                }
            QTest::keyClick(view(), Qt::Key_Pause);
        });
    // A stop by the user leaves the cluster to resume (a finished one would
    // start anew).
    script.then(
        "stopped by PAUSE", [] { return okdla == 0; },
        [&] {
            stoppedByPause = firstloop == 0;
            QTest::keyClick(view(), Qt::Key_F1);
        });
    script.then(
        "resumed by F1", [] { return okdla == 1; },
        [&] { QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(20, 20)); });
    script.then(
        "stopped by a click", [] { return okdla == 0; },
        [&] {
            stoppedByClick = firstloop == 0;
            QAction* parameters = menuAction(g_hWnd, {"Options   ", "Parameters (F4)"});
            ASSERT_NE(parameters, nullptr);
            parameters->trigger();
        });
    script.then(
        "the Image Parameters dialog", [] { return visible<QDialog>(" Image Parameters") && openDialog(); },
        [&] {
            HWND d = openDialog();
            typeInto(d, IDC_XRES, "abc");
            QTest::mouseClick(qobject_cast<QPushButton*>(Backend::control(GetDlgItem(d, IDOK))), Qt::LeftButton);
        });
    script.then(
        "the refusal", [] { return visible<QMessageBox>("Parameter Error") != nullptr; },
        [&] {
            QMessageBox* box = visible<QMessageBox>("Parameter Error");
            if (box->text() == "xres / yres range: 100 - 9600") ++parameterErrors;
            QTest::keyClick(box, Qt::Key_Return);
        });
    script.then(
        "the dialog open for correction",
        [] { return !visible<QMessageBox>("Parameter Error") && visible<QDialog>(" Image Parameters"); },
        [&] {
            HWND d = openDialog();
            typeInto(d, IDC_XRES, "300");
            typeInto(d, IDC_YRES, "240");
            QTest::keyClick(Backend::widget(d), Qt::Key_Return);
        });
    script.then(
        "the new size", [] { return !openDialog() && xres == 300 && yres == 240; },
        [&] { QTest::keyClick(view(), Qt::Key_S); });
    script.then(
        "the save dialog", [] { return visible<QFileDialog>("Select a file for saving your image:") != nullptr; },
        [&] {
            QFileDialog* d = visible<QFileDialog>("Select a file for saving your image:");
            d->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString((dir / "grown").string()));
            static_cast<QDialog*>(d)->accept();
        });
    for (int i = 0; i < 2; ++i)
        script.then(
            "a confirmation",
            [] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) return true;
                return false;
            },
            [&] {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) {
                        infos.push_back(b->text());
                        QTest::keyClick(b, Qt::Key_Return);
                        return;
                    }
            });
    script.then(
        "idle again",
        [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<QDialog*>(w) && w->isVisible()) return false;
            return true;
        },
        [&] { QTest::keyClick(view(), Qt::Key_Escape); });

    script.start();
    int code = WinMain(&zorvdla, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
    EXPECT_TRUE(script.finished()) << "stopped at: " << script.pending();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(helpText.startsWith("Start or resume using 'Plot Image' (F1)")) << helpText.toStdString();
    EXPECT_EQ(differences, 0);
    EXPECT_GT(clusterPixels, 10);
    EXPECT_TRUE(stoppedByPause);
    EXPECT_TRUE(stoppedByClick);
    EXPECT_EQ(parameterErrors, 1);
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0], "Image saved as grown.tga");
    EXPECT_TRUE(infos[1].contains("grown.dla")) << infos[1].toStdString();
    // 18-byte header, 300 x 240 pixels of 3 bytes, 26-byte footer; 804-byte parameters.
    std::error_code ec;
    EXPECT_EQ(std::filesystem::file_size(dir / "grown.tga", ec), 18u + 300u * 240u * 3u + 26u);
    EXPECT_EQ(std::filesystem::file_size(dir / "grown.dla", ec), 804u);
    releasecanvas();
}

}  // namespace

int main(int argc, char** argv) { return harness::Main(argc, argv); }

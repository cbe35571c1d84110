// zorv-dla on the Qt backend, off screen, driven with Qt input the way a
// user would: the help box, the growing cluster on screen, PAUSE, F1 and a
// click, a menu item, the Image Parameters dialog refused and corrected, a
// save through the file dialog, and Esc to end.
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
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

// The visible top-level window of type T with that title (any title if empty).
template <typename T>
T* visible(const QString& title = {}) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible() && (title.isEmpty() || t->windowTitle() == title))
            return t;
    return nullptr;
}

HWND openDialog() {
    for (HWND h : platform::Windows())
        if (h->kind == WindowKind::Dialog) return h;
    return nullptr;
}

void typeInto(int id, const QString& text) {
    auto* edit = qobject_cast<QLineEdit*>(Backend::control(GetDlgItem(openDialog(), id)));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

TEST(AppOnQt, GrowsShowsPausesResumesSetsParametersSavesAndExits) {
    const auto dir = std::filesystem::temp_directory_path() / ("zorv-qt-app-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(dir);  // the file dialogs start here
    resetsettings();
    Backend backend;
    QString helpText;
    harness::Shot shot;
    int parameterErrors = 0;
    bool stoppedByPause = false, stoppedByClick = false;
    std::vector<QString> infos;
    QElapsedTimer clock;
    harness::Script script;
    auto view = [] { return Backend::view(g_hWnd); };

    script.then("the help box", [] { return visible<QMessageBox>("HELP"); }, [&] {
        helpText = visible<QMessageBox>()->text();
        QTest::keyClick(visible<QMessageBox>(), Qt::Key_Return);
        clock.restart();
    });
    script.then("a growing cluster", [&] { return clock.elapsed() > 150 && okdla; }, [&] {
        shot = harness::Compare(backend, g_hWnd, g_vhdc, bkgd);
        QTest::keyClick(view(), Qt::Key_Pause);
    });
    // A stop by the user leaves the cluster to resume (a finished one would
    // start anew).
    script.then("stopped by PAUSE", [] { return okdla == 0; }, [&] {
        stoppedByPause = firstloop == 0;
        QTest::keyClick(view(), Qt::Key_F1);
    });
    script.then("resumed by F1", [] { return okdla == 1; },
                [&] { QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(20, 20)); });
    script.then("stopped by a click", [] { return okdla == 0; }, [&] {
        stoppedByClick = firstloop == 0;
        for (QAction* menu : qobject_cast<QMainWindow*>(Backend::widget(g_hWnd))->menuBar()->actions())
            for (QAction* item : menu->menu() ? menu->menu()->actions() : QList<QAction*>{})
                if (item->text() == "Parameters (F4)") item->trigger();
    });
    script.then("the Image Parameters dialog", [] { return visible<QDialog>(" Image Parameters") && openDialog(); },
                [&] {
                    typeInto(IDC_XRES, "abc");
                    QTest::mouseClick(Backend::control(GetDlgItem(openDialog(), IDOK)), Qt::LeftButton);
                });
    script.then("the refusal", [] { return visible<QMessageBox>("Parameter Error"); }, [&] {
        parameterErrors += visible<QMessageBox>("Parameter Error")->text() == "xres / yres range: 100 - 9600";
        QTest::keyClick(visible<QMessageBox>("Parameter Error"), Qt::Key_Return);
    });
    script.then("the dialog open for correction",
                [] { return !visible<QMessageBox>("Parameter Error") && visible<QDialog>(" Image Parameters"); },
                [&] {
                    typeInto(IDC_XRES, "300");
                    typeInto(IDC_YRES, "240");
                    QTest::keyClick(Backend::widget(openDialog()), Qt::Key_Return);  // Enter acts as OK
                });
    script.then("the new size", [] { return !openDialog() && xres == 300 && yres == 240; },
                [&] { QTest::keyClick(view(), Qt::Key_S); });
    script.then("the save dialog", [] { return visible<QFileDialog>("Select a file for saving your image:"); }, [&] {
        QFileDialog* d = visible<QFileDialog>();
        d->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString((dir / "grown").string()));
        static_cast<QDialog*>(d)->accept();
    });
    for (int i = 0; i < 2; ++i)
        script.then("a confirmation", [] { return visible<QMessageBox>(); }, [&] {
            infos.push_back(visible<QMessageBox>()->text());
            QTest::keyClick(visible<QMessageBox>(), Qt::Key_Return);
        });
    script.then("idle again", [] { return !visible<QDialog>(); }, [&] { QTest::keyClick(view(), Qt::Key_Escape); });

    script.start();
    EXPECT_EQ(WinMain(&zorvdla, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
    EXPECT_EQ(script.pending(), "");
    EXPECT_TRUE(helpText.startsWith("Start or resume using 'Plot Image' (F1)")) << helpText.toStdString();
    EXPECT_EQ(shot.differences, 0) << "the client area shows the canvas pixel for pixel";
    EXPECT_GT(shot.ink, 10);
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
    std::filesystem::current_path(home);
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) { return harness::Main(argc, argv); }

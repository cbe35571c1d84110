// zorv-dla on the Qt backend, off screen, driven with Qt input the way a user would, and its settings dialogs as they
// show their texts.
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QRadioButton>
#include <ctime>
#include <filesystem>
#include <unistd.h>

#include "app/dialogs.h"
#include "app/resources.h"
#include "app/winmain.h"
#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "tests/qt/harness.h"

namespace {

using harness::Visible;
using qtbackend::Backend;

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

double cpuseconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }  // the process's, all threads

// The help box, the growing cluster on screen pixel for pixel, PAUSE, F1 and a click, a menu item, the Image Parameters
// dialog refused and corrected, a save through the file dialog; then, the new cluster finished, the program waits in
// the toolkit: under 1 % of a core over 10 s (the process's own CPU time; the Xvfb test checks the same after PAUSE).
// Esc ends it.
TEST(AppOnQt, GrowsShowsPausesResumesSetsParametersSavesWaitsAndExits) {
    const auto dir = std::filesystem::temp_directory_path() / ("zorv-qt-app-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(dir);  // the file dialogs start here
    resetsettings();
    Backend backend;
    QStringList said;  // the texts of the boxes
    harness::Script script;
    auto view = [] { return Backend::view(g_hWnd); };
    script.box("the help box", "HELP", said);
    // A whole cluster may grow in a tenth of a second: the script looks at the canvas, not at the clock, and stops the
    // run at once.
    auto grown = [ink = 0]() mutable {
        for (int i = 0; i < 1600; ++i) ink += GetPixel(g_vhdc, xres / 2 - 20 + i % 40, yres / 2 - 20 + i / 40) != bkgd;
        return std::exchange(ink, 0) > 10;
    };
    script.then("a growing cluster", [&] { return okdla && firstloop == 0 && grown(); }, [&] {
        harness::Shot shot = harness::Compare(backend, g_hWnd, g_vhdc, bkgd);
        EXPECT_EQ(shot.differences, 0) << "the client area shows the canvas pixel for pixel";
        EXPECT_GT(shot.ink, 10);
        QTest::keyClick(view(), Qt::Key_Pause);
    });
    // A stop by the user leaves the cluster to resume (a finished one would start anew).
    script.then("stopped by PAUSE", [] { return okdla == 0; }, [&] {
        EXPECT_EQ(firstloop, 0);
        QTest::keyClick(view(), Qt::Key_F1);
    });
    script.then("resumed by F1", [] { return okdla == 1; },
                [&] { QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(20, 20)); });
    script.then("stopped by a click", [] { return okdla == 0; }, [&] {
        EXPECT_EQ(firstloop, 0);
        for (QAction* menu : qobject_cast<QMainWindow*>(Backend::widget(g_hWnd))->menuBar()->actions())
            for (QAction* item : menu->menu() ? menu->menu()->actions() : QList<QAction*>{})
                if (item->text() == "Parameters (F4)") item->trigger();
    });
    script.then("Image Parameters", [] { return Visible<QDialog>(" Image Parameters") && openDialog(); }, [] {
        typeInto(IDC_XRES, "abc");
        QTest::mouseClick(Backend::control(GetDlgItem(openDialog(), IDOK)), Qt::LeftButton);
    });
    script.box("the refusal", "Parameter Error", said);
    script.then("the dialog open for correction", [] { return !Visible<QMessageBox>() && openDialog(); }, [] {
        typeInto(IDC_XRES, "300");
        typeInto(IDC_YRES, "240");
        QTest::keyClick(Backend::widget(openDialog()), Qt::Key_Return);  // Enter acts as OK
    });
    script.then("the new size", [] { return !openDialog() && xres == 300 && yres == 240; },
                [&] { QTest::keyClick(view(), Qt::Key_S); });
    script.then("the save dialog", [] { return Visible<QFileDialog>("Select a file for saving your image:"); },
                [&] { harness::AcceptFile(QString::fromStdString((dir / "grown").string())); });
    script.box("the image confirmation", "", said);
    script.box("the parameters confirmation", "", said);
    QElapsedTimer clock;
    double cpu = 0, seconds = 0;
    script.then("idle again", [] { return !Visible<QDialog>(); }, [&] { QTest::keyClick(view(), Qt::Key_F1); });
    script.then("the new cluster finished", [] { return okdla == 0 && firstloop == 1; }, [&] {
        cpu = cpuseconds();
        clock.start();
        QTimer::singleShot(10000, Qt::PreciseTimer, [&] {
            cpu = cpuseconds() - cpu;
            seconds = clock.elapsed() / 1000.0;
            QTest::keyClick(view(), Qt::Key_Escape);
        });
    });

    EXPECT_EQ(WinMain(&zorvdla, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT), 0);
    EXPECT_EQ(said.join('|').toStdString(),
              std::string(HELP_TEXT) + "|xres / yres range: 100 - 9600|Image saved as grown.tga|Parameters saved as "
                                       "grown.dla\n\nLoad via ' File ' menu or by double-clicking.");
    std::error_code ec;
    EXPECT_EQ(std::filesystem::file_size(dir / "grown.tga", ec), 18u + 300u * 240u * 3u + 26u);
    EXPECT_EQ(std::filesystem::file_size(dir / "grown.dla", ec), 804u);
    EXPECT_GE(seconds, 10.0);
    EXPECT_LT(cpu, 0.01 * seconds) << cpu << " s of CPU in " << seconds << " s";
    releasecanvas();
    std::filesystem::current_path(home);
    std::filesystem::remove_all(dir);
}

// Every text of the four settings dialogs is shown whole on its own lines: labels (the advice text too) wrap nowhere
// but at their line breaks, radio buttons and group boxes are wide enough, and nothing overlaps a field. No close
// button; a field takes 29 characters.
TEST(AppOnQt, SettingsDialogsShowEveryTextWholeOnItsLines) {
    resetsettings();
    Backend backend;
    std::vector<std::string> problems;
    backend.onModalShown = [&](QWidget* w) {
        auto* d = qobject_cast<qtbackend::DialogWindow*>(w);
        ASSERT_TRUE(d);
        const QRect inside = d->rect();
        EXPECT_FALSE(d->windowFlags() & Qt::WindowCloseButtonHint) << "no close button";
        for (QLineEdit* f : d->findChildren<QLineEdit*>()) {
            QTest::keyClicks(f, QString(40, '9'));
            EXPECT_EQ(f->text().size(), 29) << "a field takes 29 characters";
        }
        auto report = [&](const QString& what, const QString& text) {
            problems.push_back((d->windowTitle() + ": " + what + " " + text.section('\n', 0, 0)).toStdString());
        };
        for (QLabel* l : d->findChildren<QLabel*>()) {
            if (l->text().isEmpty() || !l->isVisible()) continue;
            QFontMetrics m(l->font());
            const int lines = static_cast<int>(l->text().count('\n')) + 1;
            const QRect wrapped = m.boundingRect(QRect(0, 0, l->contentsRect().width(), 100000),
                                                 Qt::TextWordWrap | Qt::AlignLeft, l->text());
            if (wrapped.height() > lines * m.lineSpacing() + m.leading()) report("label wraps", l->text());
            if (l->height() < wrapped.height()) report("label cut off below", l->text());
            if (!inside.contains(l->geometry())) report("label beyond the dialog", l->text());
            const QRect firstline(l->pos(), QSize(m.horizontalAdvance(l->text().section('\n', 0, 0)), 1));
            for (QLineEdit* f : d->findChildren<QLineEdit*>())
                if (f->geometry().intersects(firstline)) report("label under a field", l->text());
        }
        for (QRadioButton* r : d->findChildren<QRadioButton*>())
            if (r->sizeHint().width() > r->width() || !inside.contains(r->geometry())) report("radio cut", r->text());
        for (QGroupBox* g : d->findChildren<QGroupBox*>())
            if (QFontMetrics(g->font()).horizontalAdvance(g->title()) > g->width()) report("title cut", g->title());
        QTest::keyClick(d, Qt::Key_Escape);
    };
    for (auto [id, proc] : {std::pair<int, DLGPROC>{IDD_PARAMETERS, ParamDialogProc},
                            {IDD_ALGORITHMS, AlgorithmDialogProc}, {IDD_COLORING, ColoringDialogProc},
                            {IDD_BACKGROUND, BackgroundDialogProc}})
        EXPECT_EQ(DialogBoxParamA(&zorvdla, MAKEINTRESOURCEA(id), nullptr, proc, 0), 2);
    EXPECT_EQ(problems, std::vector<std::string>{});
}

}  // namespace

int main(int argc, char** argv) { return harness::Main(argc, argv); }

// The Qt backend with the probe program: windows, pixels, input, menus,
// boxes, template dialogs, file dialogs, cursor and screen. Runs on the
// offscreen platform, also with a scale factor of 2.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_main.h"
#include "tests/qt/probe.h"

namespace {

using qtbackend::Backend;

struct Got {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class QtLayer : public ::testing::Test {
protected:
    std::unique_ptr<Backend> backend;
    std::deque<std::function<void(QWidget*)>> script;  // one step per modal window shown
    std::vector<QString> shownTitles;
    bool sawQuit = false;

    void SetUp() override {
        backend = std::make_unique<Backend>();
        probe::seen.clear();
        probe::dialogResult = {};
        backend->onModalShown = [this](QWidget* w) {
            shownTitles.push_back(w->windowTitle());
            if (script.empty()) return;
            auto step = script.front();
            script.pop_front();
            QPointer<QWidget> target(w);
            QTimer::singleShot(10, w, [step, target] {
                if (target) step(target);
            });
        };
        // A hung modal loop ends the test instead of the run.
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            ADD_FAILURE() << "a modal loop waited too long";
            PostQuitMessage(0);
        });
        watchdog.start(20000);
    }

    void TearDown() override {
        watchdog.stop();
        backend.reset();
        QCoreApplication::processEvents();
    }

    HWND open(DWORD style = WS_OVERLAPPEDWINDOW, int x = 0, int y = 0, int w = 420, int h = 340) {
        HWND hwnd = probe::CreateProbeWindow(style, x, y, w, h);
        EXPECT_NE(hwnd, nullptr);
        ShowWindow(hwnd, SW_SHOW);
        UpdateWindow(hwnd);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Backend::widget(hwnd)));
        drain();
        return hwnd;
    }

    // Native events in, then the queue out the way a program's loop takes it.
    std::vector<Got> drain(UINT lo = 0, UINT hi = 0) {
        QCoreApplication::processEvents();
        std::size_t from = probe::seen.size();
        MSG m;
        while (platform::detail::PeekMessageSlow(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                sawQuit = true;
                break;
            }
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        std::vector<Got> out;
        for (std::size_t i = from; i < probe::seen.size(); ++i) {
            const auto& s = probe::seen[i];
            if ((lo == 0 && hi == 0) || (s.message >= lo && s.message <= hi)) out.push_back({s.message, s.wParam, s.lParam});
        }
        return out;
    }

    // What the window shows: the window system's copy at scale 1; at other
    // scales the offscreen grab is not in device pixels, so the view renders
    // itself at its device pixel ratio.
    QImage screenshot(HWND hwnd) {
        QWidget* view = Backend::view(hwnd);
        QPoint at = view->mapTo(view->window(), QPoint(0, 0));
        QPixmap shot = backend->ratio() == 1.0
                           ? view->screen()->grabWindow(view->window()->winId(), at.x(), at.y(), view->width(),
                                                        view->height())
                           : view->grab();
        return shot.toImage().convertToFormat(QImage::Format_RGB32);
    }

    int device(int logical) const { return static_cast<int>(std::lround(logical * backend->ratio())); }

private:
    QTimer watchdog;
};

template <typename T>
T* findChildWithText(QWidget* parent, const QString& text) {
    for (T* c : parent->findChildren<T*>())
        if (c->text() == text) return c;
    return nullptr;
}

// ------------------------------------------------------------------ window

TEST_F(QtLayer, ClientAreaShowsTheSurfacePixelForPixel) {
    HWND hwnd = open();
    RECT client;
    GetClientRect(hwnd, &client);
    QWidget* view = Backend::view(hwnd);
    EXPECT_EQ(client.right, device(view->width()));
    EXPECT_EQ(client.bottom, device(view->height()));
    EXPECT_GT(client.right, 0);
    EXPECT_GT(client.bottom, 0);

    probe::PaintPattern(hwnd);
    QTest::qWait(20);
    QCoreApplication::processEvents();
    QImage shot = screenshot(hwnd);
    ASSERT_EQ(shot.width(), client.right);
    ASSERT_EQ(shot.height(), client.bottom);
    int wrong = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            COLORREF want = probe::PatternAt(x, y);
            QRgb got = shot.pixel(x, y);
            if (qRed(got) != GetRValue(want) || qGreen(got) != GetGValue(want) || qBlue(got) != GetBValue(want))
                if (wrong++ < 5) ADD_FAILURE() << "pixel " << x << "," << y;
        }
    EXPECT_EQ(wrong, 0);

    // A single pixel written later reaches the screen on the next pump.
    HDC dc = GetDC(hwnd);
    SetPixel(dc, 3, 4, RGB(1, 2, 3));
    ReleaseDC(hwnd, dc);
    QTest::qWait(20);
    QRgb got = screenshot(hwnd).pixel(3, 4);
    EXPECT_EQ(qRgb(qRed(got), qGreen(got), qBlue(got)), qRgb(1, 2, 3));
}

TEST_F(QtLayer, WindowTakesTitleIconPositionAndMenuFromTheProgram) {
    HWND hwnd = open(WS_OVERLAPPEDWINDOW, 0, 0, 420, 340);
    auto* top = qobject_cast<QMainWindow*>(Backend::widget(hwnd));
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->windowTitle(), "zorv probe");
    SetWindowTextA(hwnd, "another title");
    EXPECT_EQ(top->windowTitle(), "another title");
    QImage icon = top->windowIcon().pixmap(32, 32).toImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(qRed(icon.pixel(4, 0)), 32);

    RECT frame;
    GetWindowRect(hwnd, &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    POINT origin = hwnd->clientOrigin;
    QPoint global = Backend::view(hwnd)->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(origin.x, device(global.x()));
    EXPECT_EQ(origin.y, device(global.y()));

    // The bar mirrors the menu resource; no item has a shortcut.
    QMenuBar* bar = top->menuBar();
    QStringList titles;
    for (QAction* a : bar->actions()) {
        titles << a->text();
        EXPECT_TRUE(a->shortcut().isEmpty());
    }
    EXPECT_EQ(titles, (QStringList{"File", "Plot (F1)", "Options"}));
}

TEST_F(QtLayer, MenuItemsPostTheirCommands) {
    HWND hwnd = open();
    QMenuBar* bar = qobject_cast<QMainWindow*>(Backend::widget(hwnd))->menuBar();
    struct Case {
        QString path;
        WPARAM id;
    };
    for (const Case& c : {Case{"Plot (F1)", 20}, Case{"File/Hello", 10}, Case{"Options/Deeper/Deep item", 31}}) {
        SCOPED_TRACE(c.path.toStdString());
        QStringList parts = c.path.split('/');
        QList<QAction*> actions = bar->actions();
        QAction* found = nullptr;
        for (const QString& part : parts) {
            found = nullptr;
            for (QAction* a : actions)
                if (a->text() == part) found = a;
            ASSERT_NE(found, nullptr);
            if (found->menu()) actions = found->menu()->actions();
        }
        found->trigger();
        auto got = drain(WM_COMMAND, WM_COMMAND);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(LOWORD(got[0].wParam), c.id);
    }
}

TEST_F(QtLayer, KeysArriveAsVirtualKeyCodes) {
    HWND hwnd = open();
    QWidget* view = Backend::view(hwnd);
    struct Case {
        Qt::Key key;
        int vk;
    };
    const Case cases[] = {{Qt::Key_F1, VK_F1},   {Qt::Key_F6, VK_F6},     {Qt::Key_Pause, VK_PAUSE},
                          {Qt::Key_Escape, VK_ESCAPE}, {Qt::Key_A, 'A'},  {Qt::Key_D, 'D'},
                          {Qt::Key_Z, 'Z'},      {Qt::Key_5, '5'},        {Qt::Key_Return, VK_RETURN},
                          {Qt::Key_Tab, VK_TAB}, {Qt::Key_Left, VK_LEFT}, {Qt::Key_F3, VK_F3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vk);
        QTest::keyClick(view, c.key);
        auto got = drain(WM_KEYDOWN, WM_KEYUP);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].message, WM_KEYDOWN);
        EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(c.vk));
        EXPECT_EQ(got[1].message, WM_KEYUP);
        EXPECT_EQ(got[1].wParam, static_cast<WPARAM>(c.vk));
    }
    // A lower-case letter is still its upper-case key; WM_CHAR brings the case.
    QTest::keyClick(view, 'q');
    auto got = drain(WM_KEYDOWN, WM_CHAR);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].wParam, static_cast<WPARAM>('Q'));
    EXPECT_EQ(got[2].message, WM_CHAR);
    EXPECT_EQ(got[2].wParam, static_cast<WPARAM>('q'));
}

TEST_F(QtLayer, AcceleratorsSeeTheKeysOfTheProgramsLoop) {
    HWND hwnd = open();
    HACCEL accel = LoadAcceleratorsA(&probe::module, "PROBEMENU");
    QTest::keyClick(Backend::view(hwnd), Qt::Key_F1);
    QCoreApplication::processEvents();
    MSG m;
    std::vector<WPARAM> commands;
    std::size_t from = probe::seen.size();
    while (platform::detail::PeekMessageSlow(&m, nullptr, 0, 0, PM_REMOVE))
        if (!TranslateAcceleratorA(hwnd, accel, &m)) DispatchMessageA(&m);
    for (std::size_t i = from; i < probe::seen.size(); ++i)
        if (probe::seen[i].message == WM_COMMAND) commands.push_back(LOWORD(probe::seen[i].wParam));
    EXPECT_EQ(commands, (std::vector<WPARAM>{probe::kCmdPlot}));
}

TEST_F(QtLayer, MouseButtonsAndMovesCarryClientCoordinates) {
    HWND hwnd = open();
    QWidget* view = Backend::view(hwnd);
    struct Case {
        Qt::MouseButton button;
        UINT down;
    };
    for (const Case& c : {Case{Qt::LeftButton, WM_LBUTTONDOWN}, Case{Qt::RightButton, WM_RBUTTONDOWN},
                          Case{Qt::MiddleButton, WM_MBUTTONDOWN}}) {
        SCOPED_TRACE(c.down);
        QTest::mouseClick(view, c.button, {}, QPoint(10, 20));
        auto got = drain(WM_LBUTTONDOWN, WM_MBUTTONUP);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].message, c.down);
        EXPECT_EQ(got[1].message, c.down + 1);
        EXPECT_EQ(GET_X_LPARAM(got[0].lParam), device(10));
        EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), device(20));
    }
    QPoint global = view->mapToGlobal(QPoint(30, 40));
    QMouseEvent move(QEvent::MouseMove, QPointF(30, 40), QPointF(global), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    auto moves = drain(WM_MOUSEMOVE, WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), device(30));
    EXPECT_EQ(GET_Y_LPARAM(moves[0].lParam), device(40));
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, device(global.x()));
    EXPECT_EQ(p.y, device(global.y()));
    // The same place again is no movement.
    QMouseEvent again(QEvent::MouseMove, QPointF(30, 40), QPointF(global), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &again);
    EXPECT_TRUE(drain(WM_MOUSEMOVE, WM_MOUSEMOVE).empty());
}

TEST_F(QtLayer, DisabledWindowDropsKeysClicksMenuAndClose) {
    HWND hwnd = open();
    auto* top = qobject_cast<QMainWindow*>(Backend::widget(hwnd));
    EnableWindow(hwnd, FALSE);
    QTest::keyClick(top->centralWidget(), Qt::Key_F1);
    QTest::mouseClick(top->centralWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    top->menuBar()->actions().at(1)->trigger();
    top->close();
    auto got = drain();
    for (const Got& g : got) {
        EXPECT_NE(g.message, WM_KEYDOWN);
        EXPECT_NE(g.message, WM_LBUTTONDOWN);
        EXPECT_NE(g.message, WM_COMMAND);
        EXPECT_NE(g.message, WM_CLOSE);
    }
    EXPECT_FALSE(top->menuBar()->isEnabled());
    EnableWindow(hwnd, TRUE);
    EXPECT_TRUE(top->menuBar()->isEnabled());
    QTest::keyClick(top->centralWidget(), Qt::Key_F1);
    EXPECT_EQ(drain(WM_KEYDOWN, WM_KEYDOWN).size(), 1u);
}

TEST_F(QtLayer, CloseFromTheFrameReachesTheProgramAsWmClose) {
    HWND hwnd = open();
    Backend::widget(hwnd)->close();
    auto got = drain();
    bool closed = false, destroyed = false;
    for (const Got& g : got) {
        closed |= g.message == WM_CLOSE;
        destroyed |= g.message == WM_DESTROY;
    }
    EXPECT_TRUE(closed);
    EXPECT_TRUE(destroyed);  // the default handling destroys it
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(sawQuit);
}

TEST_F(QtLayer, ResizingTheNativeWindowResizesTheSurface) {
    HWND hwnd = open();
    QWidget* top = Backend::widget(hwnd);
    top->resize(300, 250);
    QTest::qWait(20);
    drain();
    RECT client;
    GetClientRect(hwnd, &client);
    QWidget* view = Backend::view(hwnd);
    EXPECT_EQ(client.right, device(view->width()));
    EXPECT_EQ(client.bottom, device(view->height()));
    EXPECT_EQ(hwnd->surface.width, client.right);
    bool sized = false;
    for (const auto& s : probe::seen) sized |= s.message == WM_SIZE && LOWORD(s.lParam) == client.right;
    EXPECT_TRUE(sized);
}

TEST_F(QtLayer, FullScreenPopupCoversTheScreenWithoutFrame) {
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HWND hwnd = open(WS_POPUP | WS_VISIBLE, 0, 0, w, h);
    QWidget* top = Backend::widget(hwnd);
    EXPECT_TRUE(top->isFullScreen());
    EXPECT_TRUE(top->windowFlags() & Qt::FramelessWindowHint);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, w);
    EXPECT_EQ(client.bottom, h);
    EXPECT_EQ(hwnd->clientOrigin.x, 0);
    EXPECT_EQ(hwnd->clientOrigin.y, 0);
}

// ------------------------------------------------------------------ screen, cursor, clocks

TEST_F(QtLayer, ScreenSizeAndDepthComeFromThePrimaryScreen) {
    QScreen* s = QGuiApplication::primaryScreen();
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), device(s->geometry().width()));
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), device(s->geometry().height()));
    int depth = s->depth();
    EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), (depth == 24 || depth == 32) ? 32 : depth);
}

TEST_F(QtLayer, CursorShapeVisibilityAndPosition) {
    HWND hwnd = open();
    QWidget* view = Backend::view(hwnd);
    EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);  // the class cursor
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_EQ(view->cursor().shape(), Qt::WaitCursor);

    ShowCursor(FALSE);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    ShowCursor(TRUE);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    SetCursorPos(device(10), device(12));
    POINT p;
    GetCursorPos(&p);
    EXPECT_EQ(p.x, device(10));
    EXPECT_EQ(p.y, device(12));
    QTest::qWait(5);
    EXPECT_TRUE(drain(WM_MOUSEMOVE, WM_MOUSEMOVE).empty());  // the program's own move is no user movement
}

TEST_F(QtLayer, SleepAndTickCountAgree) {
    DWORD before = GetTickCount();
    Sleep(30);
    EXPECT_GE(GetTickCount() - before, 30u);
    std::int64_t now = CalendarTime();
    EXPECT_LE(std::abs(now - static_cast<std::int64_t>(std::time(nullptr))), 1);
}

TEST_F(QtLayer, EmptyPollsPumpAtMostAboutOnceAMillisecondAndInputStillArrives) {
    HWND hwnd = open();
    MSG m;
    long before = backend->nativePumps;
    auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(40))
        for (int i = 0; i < 1000; ++i) PeekMessageA(&m, hwnd, 0x100, 0x209, PM_NOREMOVE);
    long elapsed = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    long pumps = backend->nativePumps - before;
    EXPECT_GT(pumps, 0);
    EXPECT_LE(pumps, elapsed + 2);

    // A key that arrives natively while a walk polls is seen by the poll.
    QCoreApplication::postEvent(Backend::view(hwnd), new QKeyEvent(QEvent::KeyPress, Qt::Key_Pause, Qt::NoModifier));
    bool seen = false;
    start = std::chrono::steady_clock::now();
    while (!seen && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        seen = PeekMessageA(&m, hwnd, 0x100, 0x209, PM_REMOVE) && m.message == WM_KEYDOWN && m.wParam == VK_PAUSE;
    EXPECT_TRUE(seen);
}

// ------------------------------------------------------------------ message boxes

TEST_F(QtLayer, OwnedQuestionBoxShowsCaptionTextIconButtonsAndDisablesItsOwner) {
    HWND hwnd = open();
    bool ownerDisabled = false, dispatchedMeanwhile = false;
    script.push_back([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Preview");
        EXPECT_EQ(box->text(), "Keep <this> colour?");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->icon(), QMessageBox::Information);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
        ownerDisabled = !IsWindowEnabled(hwnd);
        PostMessageA(hwnd, WM_USER + 5, 0, 0);
        QTimer::singleShot(30, box, [&dispatchedMeanwhile, box] {
            for (const auto& s : probe::seen) dispatchedMeanwhile |= s.message == WM_USER + 5;
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        });
    });
    int answer = MessageBoxA(hwnd, "Keep <this> colour?", "Preview", MB_YESNO | MB_ICONINFORMATION);
    EXPECT_EQ(answer, IDNO);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(dispatchedMeanwhile);  // the box's loop serves the thread's messages
    EXPECT_TRUE(IsWindowEnabled(hwnd));
}

TEST_F(QtLayer, BoxWithoutOwnerLeavesTheWindowEnabledAndAnswersEnter) {
    HWND hwnd = open();
    struct Case {
        UINT type;
        QMessageBox::Icon icon;
        Qt::Key key;
        int answer;
    };
    for (const Case& c : {Case{MB_OK | MB_ICONWARNING, QMessageBox::Warning, Qt::Key_Return, IDOK},
                          Case{MB_OK, QMessageBox::NoIcon, Qt::Key_Escape, IDOK},
                          Case{MB_YESNO | MB_ICONQUESTION, QMessageBox::Question, Qt::Key_Return, IDYES},
                          Case{MB_OK | MB_ICONERROR, QMessageBox::Critical, Qt::Key_Return, IDOK}}) {
        SCOPED_TRACE(c.type);
        bool enabled = false;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        script.push_back([&](QWidget* w) {
            icon = qobject_cast<QMessageBox*>(w)->icon();
            enabled = IsWindowEnabled(hwnd);
            QTest::keyClick(w, c.key);
        });
        EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", c.type), c.answer);
        EXPECT_EQ(icon, c.icon);
        EXPECT_TRUE(enabled);
    }
}

// ------------------------------------------------------------------ dialogs

TEST_F(QtLayer, DialogIsBuiltFromItsTemplateInDialogUnits) {
    HWND hwnd = open();
    script.push_back([&](QWidget* w) {
        auto* d = qobject_cast<qtbackend::DialogWindow*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), " Probe Values");
        EXPECT_FALSE(d->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_EQ(d->width(), d->unitsToX(160));
        EXPECT_EQ(d->height(), d->unitsToY(230));
        // Base units from the dialog font: x = x * cx / 4, y = y * cy / 8.
        QFontMetrics fm(d->font());
        EXPECT_EQ(d->charHeight(), fm.height());
        EXPECT_EQ(d->unitsToX(100), static_cast<int>(std::lround(100 * d->averageCharWidth() / 4.0)));
        HWND dlg = nullptr;
        for (HWND h : platform::Windows())
            if (h->kind == WindowKind::Dialog) dlg = h;
        ASSERT_NE(dlg, nullptr);
        auto* edit = qobject_cast<QLineEdit*>(Backend::control(GetDlgItem(dlg, probe::kEdit)));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->geometry(), QRect(d->unitsToX(94), d->unitsToY(10), d->unitsToX(144) - d->unitsToX(94),
                                          d->unitsToY(22) - d->unitsToY(10)));
        EXPECT_EQ(edit->maxLength(), 29);
        EXPECT_EQ(edit->text(), "123");
        auto* label = qobject_cast<QLabel*>(Backend::control(GetDlgItem(dlg, probe::kLabel)));
        EXPECT_EQ(label->text(), "value ( 1 - 999 )");
        // A label wider than the dialog wraps inside it.
        auto* advice = qobject_cast<QLabel*>(Backend::control(GetDlgItem(dlg, probe::kAdvice)));
        EXPECT_LE(advice->geometry().right(), d->width());
        EXPECT_TRUE(advice->wordWrap());
        auto* group = qobject_cast<QGroupBox*>(Backend::control(GetDlgItem(dlg, probe::kGroupA)));
        EXPECT_EQ(group->title(), "  Kind  ");
        EXPECT_TRUE(qobject_cast<QRadioButton*>(Backend::control(GetDlgItem(dlg, probe::kRadioA0 + 1)))->isChecked());
        EXPECT_TRUE(qobject_cast<QRadioButton*>(Backend::control(GetDlgItem(dlg, probe::kRadioB0)))->isChecked());
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(probe::RunDialog(hwnd), 2);
    EXPECT_EQ(shownTitles.size(), 1u);
}

TEST_F(QtLayer, DialogIsFilledRefusedCorrectedAndAccepted) {
    HWND hwnd = open();
    HWND dlg = nullptr;
    bool dialogDisabledUnderBox = false;
    auto find = [&] {
        for (HWND h : platform::Windows())
            if (h->kind == WindowKind::Dialog) dlg = h;
    };
    script.push_back([&](QWidget* w) {
        find();
        auto* edit = qobject_cast<QLineEdit*>(Backend::control(GetDlgItem(dlg, probe::kEdit)));
        edit->selectAll();
        QTest::keyClicks(edit, "abc");
        // Radios form one group per group box.
        auto* third = qobject_cast<QRadioButton*>(Backend::control(GetDlgItem(dlg, probe::kRadioA0 + 2)));
        QTest::mouseClick(third, Qt::LeftButton, {}, QPoint(6, third->height() / 2));
        EXPECT_TRUE(third->isChecked());
        EXPECT_FALSE(qobject_cast<QRadioButton*>(Backend::control(GetDlgItem(dlg, probe::kRadioA0 + 1)))->isChecked());
        EXPECT_TRUE(qobject_cast<QRadioButton*>(Backend::control(GetDlgItem(dlg, probe::kRadioB0)))->isChecked());
        QTest::mouseClick(findChildWithText<QPushButton>(w, "OK"), Qt::LeftButton);
    });
    script.push_back([&](QWidget* w) {  // the refusal's box, owned by the dialog
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Value Error");
        EXPECT_EQ(box->text(), "value range: 1 - 999");
        dialogDisabledUnderBox = !IsWindowEnabled(dlg);
        QTest::keyClick(box, Qt::Key_Return);
        QTimer::singleShot(20, [&] {
            auto* edit = qobject_cast<QLineEdit*>(Backend::control(GetDlgItem(dlg, probe::kEdit)));
            EXPECT_EQ(edit->text(), "abc");  // the entry stays for correction
            edit->selectAll();
            QTest::keyClicks(edit, "77");
            QTest::keyClick(edit, Qt::Key_Return);  // Enter acts as OK
        });
    });
    EXPECT_EQ(probe::RunDialog(hwnd), 1);
    EXPECT_EQ(probe::dialogResult.refusals, 1);
    EXPECT_EQ(probe::dialogResult.text, "77");
    EXPECT_EQ(probe::dialogResult.radioA, 2);
    EXPECT_EQ(probe::dialogResult.radioB, 0);
    EXPECT_TRUE(dialogDisabledUnderBox);
    EXPECT_TRUE(IsWindowEnabled(hwnd));
}

TEST_F(QtLayer, EditFieldsTakeAtMost29Characters) {
    HWND hwnd = open();
    script.push_back([&](QWidget* w) {
        HWND dlg = nullptr;
        for (HWND h : platform::Windows())
            if (h->kind == WindowKind::Dialog) dlg = h;
        auto* edit = qobject_cast<QLineEdit*>(Backend::control(GetDlgItem(dlg, probe::kEdit)));
        edit->selectAll();
        QTest::keyClicks(edit, "12" + QString(38, 'x'));
        EXPECT_EQ(edit->text().size(), 29);
        QTest::mouseClick(findChildWithText<QPushButton>(w, "OK"), Qt::LeftButton);
    });
    EXPECT_EQ(probe::RunDialog(hwnd), 1);
    EXPECT_EQ(probe::dialogResult.text, "12" + std::string(27, 'x'));
}

// ------------------------------------------------------------------ file dialogs

class FileDialogs : public QtLayer {
protected:
    std::filesystem::path dir;
    void SetUp() override {
        QtLayer::SetUp();
        dir = std::filesystem::temp_directory_path() /
              ("zorv-qt-files-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "a.dla") << "x";
        std::ofstream(dir / "b.tga") << "x";
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        QtLayer::TearDown();
    }
    static void type(QWidget* w, const QString& name) {
        auto* edit = w->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(name);  // at once: the completer must not work on half a name
        static_cast<QDialog*>(w)->accept();  // the dialog's own button
    }
    OPENFILENAMEA record(std::string* file, std::string* title, const char* filter, const char* caption,
                         const char* ext, DWORD flags) {
        OPENFILENAMEA ofn{};
        ofn.lStructSize = 76;
        ofn.lpstrFilter = filter;
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file;
        ofn.nMaxFile = 260;
        ofn.lpstrFileTitle = title;
        ofn.nMaxFileTitle = 260;
        ofn.lpstrTitle = caption;
        ofn.lpstrDefExt = ext;
        ofn.Flags = flags;
        return ofn;
    }
};

TEST_F(FileDialogs, OpenHonoursTitleFilterFolderAndFileMustExist) {
    std::string file = dir.string() + "/*.dla", title;
    OPENFILENAMEA ofn = record(&file, &title, "DLA files (*.dla)\0*.dla\0", "Select a DLA parameter file:", "dla",
                               OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
    QString warning;
    script.push_back([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "Select a DLA parameter file:");
        EXPECT_EQ(d->nameFilters(), QStringList{"DLA files (*.dla)"});
        EXPECT_EQ(QFileInfo(d->directory().absolutePath()).canonicalFilePath(),
                  QFileInfo(QString::fromStdString(dir.string())).canonicalFilePath());
        EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
        type(w, "missing.dla");
    });
    script.push_back([&](QWidget* w) {
        warning = qobject_cast<QMessageBox*>(w)->text();
        QTest::keyClick(w, Qt::Key_Return);
        QTimer::singleShot(20, [&] {
            for (QWidget* t : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QFileDialog*>(t); d && d->isVisible()) type(d, "a.dla");
        });
    });
    ASSERT_TRUE(GetOpenFileNameA(&ofn));
    EXPECT_TRUE(warning.contains("missing.dla")) << warning.toStdString();
    EXPECT_EQ(std::filesystem::path(file), dir / "a.dla");
    EXPECT_EQ(title, "a.dla");
}

TEST_F(FileDialogs, SaveAddsTheDefaultExtensionAndAsksBeforeReplacing) {
    std::string file = dir.string() + "/*.tga", title;
    OPENFILENAMEA ofn = record(&file, &title, "Targa files (*.tga)\0*.tga\0", "Select a file for saving your image:",
                               "tga", OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    int questions = 0;
    script.push_back([&](QWidget* w) {
        EXPECT_EQ(qobject_cast<QFileDialog*>(w)->acceptMode(), QFileDialog::AcceptSave);
        type(w, "b");  // b.tga exists
    });
    script.push_back([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ++questions;
        EXPECT_TRUE(box->text().contains("b.tga")) << box->text().toStdString();
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);  // keeps the dialog open
        QTimer::singleShot(20, [&] {
            for (QWidget* t : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QFileDialog*>(t); d && d->isVisible()) type(d, "b");
        });
    });
    script.push_back([&](QWidget* w) {
        ++questions;
        QTest::mouseClick(qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes), Qt::LeftButton);
    });
    ASSERT_TRUE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(std::filesystem::path(file), dir / "b.tga");
    EXPECT_EQ(title, "b.tga");

    // A new name is taken without a question.
    script.push_back([&](QWidget* w) { type(w, "fresh"); });
    ASSERT_TRUE(GetSaveFileNameA(&ofn));
    EXPECT_EQ(std::filesystem::path(file), dir / "fresh.tga");
    EXPECT_EQ(questions, 2);
}

TEST_F(FileDialogs, SaveIntoAMissingFolderIsRefusedAndCancelKeepsTheBuffers) {
    std::string file = dir.string() + "/last.dla", title = "last.dla";
    OPENFILENAMEA ofn = record(&file, &title, "DLA files (*.dla)\0*.dla\0", "Select a file for saving parameters:",
                               "dla", OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
    bool refused = false;
    script.push_back([&](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>("fileNameEdit");
        EXPECT_EQ(edit->text(), "last.dla");  // opens at the file chosen last
        edit->setText(QString::fromStdString((dir / "nowhere" / "x.dla").string()));
        static_cast<QDialog*>(w)->accept();  // as if the button were pressed
    });
    script.push_back([&](QWidget* w) {
        refused = qobject_cast<QMessageBox*>(w)->text().contains("does not exist");
        QTest::keyClick(w, Qt::Key_Return);
        QTimer::singleShot(20, [] {
            for (QWidget* t : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QFileDialog*>(t); d && d->isVisible()) d->reject();
        });
    });
    EXPECT_FALSE(GetSaveFileNameA(&ofn));
    EXPECT_TRUE(refused);
    EXPECT_EQ(file, dir.string() + "/last.dla");
    EXPECT_EQ(title, "last.dla");
}

// ------------------------------------------------------------------ entry

TEST(QtEntry, ArgumentTextQuotesEachArgument) {
    struct Case {
        std::vector<std::string> args;
        std::string text;
    };
    const Case cases[] = {{{}, ""},
                          {{"/tmp/a.dla"}, "\"/tmp/a.dla\""},
                          {{"/tmp/with blank.dla"}, "\"/tmp/with blank.dla\""},
                          {{"-s", "x"}, "\"-s\" \"x\""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> storage{"zorv-dla"};
        storage.insert(storage.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (auto& s : storage) argv.push_back(s.data());
        EXPECT_EQ(platform::qt::CommandLineText(static_cast<int>(argv.size()), argv.data()), c.text);
    }
}

TEST(QtEntry, DisplayProblemIsFoundBeforeQtWouldAbort) {
    struct Case {
        const char* platform;
        const char* display;
        bool problem;
        const char* says;
    };
    const Case cases[] = {{"offscreen", nullptr, false, ""},
                          {nullptr, nullptr, true, "DISPLAY is not set"},
                          {"xcb", nullptr, true, "DISPLAY is not set"},
                          {nullptr, ":4711", true, "cannot open display \":4711\""}};
    std::string savedPlatform = getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "";
    std::string savedDisplay = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    std::string savedWayland = getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "";
    unsetenv("WAYLAND_DISPLAY");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform ? c.platform : "-") + " " + (c.display ? c.display : "-"));
        if (c.platform) setenv("QT_QPA_PLATFORM", c.platform, 1);
        else unsetenv("QT_QPA_PLATFORM");
        if (c.display) setenv("DISPLAY", c.display, 1);
        else unsetenv("DISPLAY");
        std::string problem = platform::qt::DisplayProblem();
        EXPECT_EQ(!problem.empty(), c.problem) << problem;
        EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos);
    }
    setenv("QT_QPA_PLATFORM", savedPlatform.c_str(), 1);
    if (savedDisplay.empty()) unsetenv("DISPLAY");
    else setenv("DISPLAY", savedDisplay.c_str(), 1);
    if (!savedWayland.empty()) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
}

}  // namespace

// The offscreen platform's notes about what it cannot do are no test output.
static void quietOffscreen(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (message.startsWith("This plugin does not support")) return;
    if (message.startsWith("QStandardPaths:")) return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg) std::abort();
}

int main(int argc, char** argv) {
    qInstallMessageHandler(quietOffscreen);
    // Off any real screen unless a platform is asked for.
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The Qt 6 Widgets backend: each layer window becomes a native window whose
// client area shows the window surface one surface pixel to one device pixel;
// native input becomes queue messages; boxes and dialogs are Qt widgets and
// file dialogs the desktop's own, all run by the layer's own modal loop. Only
// platform/qt includes Qt.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>

#include "platform/backend.h"

class QMessageBox;

namespace qtbackend {

class Backend;

// Maps a Qt key to its Win32 virtual-key code, 0 when it has none.
int VirtualKey(int qtKey);

// The client area of a top-level window: paints the window surface.
class SurfaceView : public QWidget {
    Q_OBJECT
public:
    SurfaceView(Backend& backend, HWND hwnd, QWidget* parent);
    HWND hwnd() const { return hwnd_; }
    void detach() { hwnd_ = nullptr; }
    QRect pending;  // shown parts not yet asked to repaint, logical pixels

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void mouse(QMouseEvent* event, UINT message);
    Backend& backend_;
    HWND hwnd_;
};

// A top-level window: the menu bar built from the menu resource and the
// surface view as its central widget.
class TopWindow : public QMainWindow {
    Q_OBJECT
public:
    TopWindow(Backend& backend, HWND hwnd);
    HWND hwnd() const { return hwnd_; }
    SurfaceView* view() const { return view_; }
    void detach();
    bool fullScreenRequested = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void buildMenu(QWidget* menu, const std::vector<MenuItemData>& items);
    Backend& backend_;
    HWND hwnd_;
    SurfaceView* view_;
};

// A dialog built from a template; its controls report to the layer.
class DialogWindow : public QDialog {
    Q_OBJECT
public:
    DialogWindow(Backend& backend, HWND hwnd);
    HWND hwnd() const { return hwnd_; }
    void detach() { hwnd_ = nullptr; }
    // Dialog units to pixels, from the dialog font's average character size.
    int unitsToX(int x) const;
    int unitsToY(int y) const;
    int averageCharWidth() const { return charWidth_; }
    int charHeight() const { return charHeight_; }
    // Places the controls at their template positions and sizes the dialog,
    // making room where a label's text needs more than the template gives.
    void layout();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    Backend& backend_;
    HWND hwnd_;
    int charWidth_ = 6;
    int charHeight_ = 13;
};

class Backend final : public ::Backend {
public:
    // A QApplication must exist. Installs itself as the layer's backend.
    Backend();
    ~Backend() override;

    // Device pixels per logical pixel of the primary screen.
    qreal ratio() const { return ratio_; }
    // The native window of a layer window (top-level or dialog), if any.
    static QWidget* widget(HWND hwnd);
    static SurfaceView* view(HWND hwnd);
    // The native widget of a dialog control.
    static QWidget* control(HWND hwnd);

    // Called each time a box, dialog or file dialog has been shown.
    std::function<void(QWidget*)> onModalShown;
    // File dialogs are run as the desktop's native ones are, which close when
    // accepted: a path in a missing folder is refused once the dialog has
    // gone, and the dialog opens again at it. Lets Qt's own dialog take that
    // way, which is otherwise taken only where the desktop offers a dialog.
    bool treatFileDialogsAsNative = false;

    // A box run by the layer's modal loop: the button chosen.
    int question(QWidget* owner, const QString& caption, const QString& text, UINT type);

    // Backend.
    ScreenInfo screen() override;
    void createWindow(Window& w) override;
    void destroyWindow(Window& w) override;
    void showWindow(Window& w, bool show) override;
    void windowChanged(Window& w) override;
    void setWindowEnabled(Window& w, bool enabled) override;
    void focusWindow(Window& w) override;
    void present(Window& w) override;
    void pump(bool wait) override;
    // At most about once a millisecond.
    bool pumpDue() override;
    int messageBox(const MessageBoxRequest& request) override;
    void runDialog(Window& dialog) override;
    std::string fileDialog(const FileDialogRequest& request) override;
    void setCursorShape(Window* w, CursorShape shape) override;
    void setCursorVisible(bool visible) override;
    void setCursorPos(int x, int y) override;
    POINT cursorPos() override;
    DWORD tickCount() override;
    std::int64_t calendarTime() override;
    void sleep(DWORD ms) override;

    // Called by the native windows.
    void noteMouse(const QPointF& globalLogical);
    void syncGeometry(TopWindow& top);
    struct HandlerScope {
        explicit HandlerScope(Backend& b) : b_(b) { ++b_.handlerDepth_; }
        ~HandlerScope() { --b_.handlerDepth_; }
        Backend& b_;
    };
    // Whether a motion to this position is the user's: not the program's
    // own cursor move, nor a report of where the cursor already was.
    bool mouseMoved(const QPointF& globalLogical);

private:
    // Runs the layer's modal loop until done() holds or a quit is pending;
    // false when a quit ended it.
    bool modalLoop(const std::function<bool()>& done);
    void flushDirty();
    void flushFrames();
    void discard(QWidget* widget);
    void shown(QWidget* w);

    qreal ratio_ = 1.0;
    // Repaints are asked at most once a frame: a growing cluster dirties a
    // rectangle around all of it, and showing that far more often than the
    // screen refreshes only slows the walk.
    static constexpr int kFrameMs = 16;
    std::chrono::steady_clock::time_point lastFrame_{};
    QTimer* frameTimer_ = nullptr;
    int handlerDepth_ = 0;
    std::chrono::steady_clock::time_point lastPump_{};
    POINT devicePoint(const QPointF& globalLogical) const;
    POINT cursor_{0, 0};
    POINT lastMove_{-100000, -100000};
    // Cursor moves of the program's not yet reported by the window system.
    struct Warp {
        POINT to;
        std::chrono::steady_clock::time_point at;
    };
    std::vector<Warp> warps_;
    bool cursorHidden_ = false;
    CursorShape shape_ = CursorShape::Arrow;
};

}  // namespace qtbackend

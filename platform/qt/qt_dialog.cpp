// Dialogs built from templates: Qt controls for the template's controls,
// placed in dialog units of the dialog's font, room made where a label's
// text needs it, and the dialog run by the layer's modal loop.
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

namespace {

// Edit fields take at most this many characters, what the programs read back.
constexpr int kEditLimit = 29;

}  // namespace

DialogWindow::DialogWindow(Backend& backend, HWND hwnd) : backend_(backend), hwnd_(hwnd) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(text(hwnd->title));
    const DialogTemplate* t = hwnd->dialogTemplate;
    QFont font = QApplication::font();
    if (t && !t->fontName.empty()) font.setFamily(text(t->fontName));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(t && t->fontPoints > 0 ? t->fontPoints : 8);
    setFont(font);
    QFontMetrics metrics(font);
    // The average width of the letters, rounded, and the line height: the
    // base units a dialog's positions are measured in.
    int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    charWidth_ = std::max(1, (letters / 26 + 1) / 2);
    charHeight_ = std::max(1, metrics.height());

    for (HWND c : hwnd->children) {
        QWidget* widget = nullptr;
        switch (c->control) {
            case ControlKind::Button: {
                auto* b = new QPushButton(text(c->title), this);
                b->setAutoDefault(false);
                b->setDefault((c->style & 0xF) == BS_DEFPUSHBUTTON);
                int id = c->controlId;
                connect(b, &QPushButton::clicked, this, [this, id] {
                    if (alive(hwnd_)) platform::PressButton(hwnd_, id);
                });
                widget = b;
                break;
            }
            case ControlKind::Edit: {
                auto* e = new QLineEdit(text(c->title), this);
                e->setMaxLength(kEditLimit);
                connect(e, &QLineEdit::textEdited, this, [this, c](const QString& typed) {
                    if (alive(hwnd_) && alive(c)) platform::SetControlText(c, typed.toStdString());
                });
                widget = e;
                break;
            }
            case ControlKind::Static: {
                auto* l = new QLabel(text(c->title), this);
                l->setWordWrap(true);
                l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                l->setTextFormat(Qt::PlainText);
                widget = l;
                break;
            }
            case ControlKind::GroupBox:
                widget = new QGroupBox(text(c->title), this);
                break;
            case ControlKind::RadioButton: {
                auto* r = new QRadioButton(text(c->title), this);
                // Groups follow the template's group marks, not Qt's parents.
                r->setAutoExclusive(false);
                r->setChecked(c->checked);
                connect(r, &QRadioButton::clicked, this, [this, c, r] {
                    if (!alive(hwnd_) || !alive(c)) return;
                    platform::ClickRadio(c);
                    r->setChecked(c->checked);
                });
                widget = r;
                break;
            }
        }
        widget->setEnabled(c->enabled);
        widget->setVisible((c->style & WS_VISIBLE) != 0);
        c->native = widget;
    }
    layout();
}

int DialogWindow::unitsToX(int x) const { return static_cast<int>(std::lround(x * charWidth_ / 4.0)); }
int DialogWindow::unitsToY(int y) const { return static_cast<int>(std::lround(y * charHeight_ / 8.0)); }

void DialogWindow::layout() {
    const DialogTemplate* t = hwnd_->dialogTemplate;
    int width = t ? unitsToX(t->cx) : this->width();
    const int height = t ? unitsToY(t->cy) : this->height();
    std::vector<std::pair<HWND, QRect>> placed;
    for (HWND c : hwnd_->children)
        if (c->native)
            placed.push_back({c, QRect(QPoint(unitsToX(c->frame.left), unitsToY(c->frame.top)),
                                       QPoint(unitsToX(c->frame.right) - 1, unitsToY(c->frame.bottom) - 1))});

    QFontMetrics metrics(font());
    auto label = [](HWND c) { return c->control == ControlKind::Static && !c->title.empty() && (c->style & WS_VISIBLE); };
    auto needed = [&](HWND c) {  // the longest line, and a pixel for rounding
        int most = 0;
        for (const QString& line : text(c->title).split(QLatin1Char('\n'))) most = std::max(most, metrics.horizontalAdvance(line));
        return most + 1;
    };
    // The left edge of the nearest control to the right in a label's rows;
    // group boxes hold labels, they do not bound them.
    auto rightNeighbour = [&](HWND c, const QRect& r) {
        int next = INT_MAX;
        for (const auto& [o, g] : placed)
            if (o != c && o->control != ControlKind::GroupBox && g.top() <= r.bottom() && r.top() <= g.bottom() &&
                g.left() > r.left())
                next = std::min(next, g.left());
        return next;
    };
    const int gap = unitsToX(2);

    // The template's sizes were made for another font. A label whose text
    // reaches the control to its right makes room: everything from that
    // control's column on moves right, group boxes across the column widen,
    // and so does the dialog.
    int shift = 0, column = INT_MAX;
    for (const auto& [c, r] : placed) {
        int next = label(c) ? rightNeighbour(c, r) : INT_MAX;
        int over = next == INT_MAX ? 0 : needed(c) - (next - gap - r.left());
        if (over > 0) shift = std::max(shift, over), column = std::min(column, next);
    }
    if (shift > 0) {
        for (auto& [c, r] : placed) {
            if (r.left() >= column) r.translate(shift, 0);
            else if (r.right() >= column) r.setRight(r.right() + shift);
        }
        width += shift;
    }
    // A label with nothing to its right widens the dialog as far as its text
    // needs, with its left margin on the right too.
    for (const auto& [c, r] : placed)
        if (label(c) && rightNeighbour(c, r) == INT_MAX) width = std::max(width, 2 * r.left() + needed(c));

    // Each label as wide as its text needs (at least its template's width)
    // within its room, and as high as its lines need, down to the next
    // control below.
    for (auto& [c, r] : placed) {
        if (c->control != ControlKind::Static) continue;
        int next = rightNeighbour(c, r);
        int room = (next == INT_MAX ? width - unitsToX(4) : next - gap) - r.left();
        int w = std::max(std::min(std::max(r.width(), needed(c)), room), 1);
        int maxBottom = height - unitsToY(4);
        for (const auto& [o, g] : placed)
            if (o != c && o->control != ControlKind::GroupBox && g.left() < r.left() + w && g.right() >= r.left() &&
                g.top() > r.top())
                maxBottom = std::min(maxBottom, g.top() - unitsToY(1));
        int h = metrics.boundingRect(QRect(0, 0, w, 100000), Qt::TextWordWrap | Qt::AlignLeft, text(c->title)).height();
        r = QRect(r.left(), r.top(), w, std::max(r.height(), std::min(h, maxBottom - r.top())));
    }
    for (const auto& [c, r] : placed) static_cast<QWidget*>(c->native)->setGeometry(r);
    setFixedSize(width, height);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    Backend::HandlerScope scope(backend_);
    if (!alive(hwnd_)) return;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // Enter presses the focused push button, or OK.
            int id = IDOK;
            for (HWND c : hwnd_->children)
                if (c->native == focusWidget() && c->control == ControlKind::Button) id = c->controlId;
            platform::PressButton(hwnd_, id);
            return;
        }
        case Qt::Key_Escape:
            platform::PressButton(hwnd_, IDCANCEL);
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) { event->ignore(); }

// ---------------------------------------------------------------- backend

void Backend::runDialog(Window& dialog) {
    auto* d = qobject_cast<DialogWindow*>(widget(&dialog));
    if (!d) return;
    // Label texts set while the dialog was made ready need their room.
    d->layout();
    dialog.clientWidth = toDevice(d->width(), ratio_);
    dialog.frame.right = dialog.frame.left + dialog.clientWidth;
    d->show();
    d->raise();
    d->activateWindow();
    HWND focus = GetFocus();
    QWidget* first = nullptr;
    if (focus && focus->parent == &dialog) first = control(focus);
    if (!first)
        for (HWND c : dialog.children)
            if ((c->style & WS_TABSTOP) && control(c) && control(c)->isEnabled()) {
                first = control(c);
                break;
            }
    if (first) first->setFocus();
    shown(d);
    modalLoop([&] { return dialog.dialogEnded || dialog.destroyed; });
    d->hide();
}

}  // namespace qtbackend

// Message boxes: a Qt message box with the box's caption, text, icon and
// buttons, run by the layer's modal loop.
#include <QMessageBox>
#include <QWindow>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

int Backend::question(QWidget* owner, const QString& caption, const QString& message, UINT type) {
    QMessageBox box;
    box.setWindowTitle(caption);
    box.setTextFormat(Qt::PlainText);
    box.setText(message);
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
        default: box.setIcon(QMessageBox::NoIcon); break;
    }
    bool yesNo = (type & MB_TYPEMASK) == MB_YESNO;
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    int answer = 0;
    QObject::connect(&box, &QDialog::finished, &box, [&] {
        QAbstractButton* b = box.clickedButton();
        QMessageBox::StandardButton chosen = b ? box.standardButton(b) : QMessageBox::NoButton;
        if (yesNo) answer = chosen == QMessageBox::Yes ? IDYES : IDNO;
        else answer = IDOK;
    });
    if (owner) {
        box.winId();
        box.windowHandle()->setTransientParent(owner->window()->windowHandle());
        box.setWindowModality(Qt::WindowModal);
    }
    box.show();
    box.raise();
    box.activateWindow();
    shown(&box);
    modalLoop([&] { return answer != 0; });
    box.hide();
    // A quit request closes the box as its safe answer.
    if (!answer) answer = yesNo ? IDNO : IDOK;
    return answer;
}

int Backend::messageBox(const MessageBoxRequest& request) {
    QWidget* owner = widget(request.owner);
    return question(owner, text(request.caption), text(request.text), request.type);
}

}  // namespace qtbackend

// The open and save file dialogs, run by the layer's modal loop.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QWindow>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

namespace {

// Qt's file dialog, which refuses a path whose folder does not exist while it
// can stay open for the user to correct it. A native dialog has closed by the
// time it is accepted; the layer refuses the path and opens it again. No
// Q_OBJECT: Qt offers the desktop's dialog only to its own class name.
class FileDialog : public QFileDialog {
public:
    FileDialog(Backend& backend, const FileDialogRequest& request) : backend_(backend), request_(request) {}
    bool staysOpen = true;

    void accept() override {
        const QStringList files = selectedFiles();
        if (staysOpen && !files.isEmpty() && !QFileInfo(files.first()).isDir()) {
            if (auto box = platform::MissingFolderBox(request_, files.first().toStdString())) {
                backend_.question(this, text(box->caption), text(box->text), box->type);
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    Backend& backend_;
    const FileDialogRequest& request_;
};

// The open or save dialog the desktop offers (a portal, GTK or KDE dialog
// through Qt's platform theme), else Qt's own. Qt checks that an opened file
// exists and asks before a saved one replaces a file.
void configure(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(text(request.title));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!request.save && (request.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                                             : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(request.flags & OFN_OVERWRITEPROMPT));
    QStringList filters;
    for (const auto& [description, pattern] : request.filters) {
        QString patterns = text(pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
        QString f = text(description);
        if (!f.contains(QLatin1Char('(') + patterns + QLatin1Char(')'))) f += QStringLiteral(" (") + patterns + QLatin1Char(')');
        filters << f;
    }
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(text(request.defaultExtension));
    QString initial = text(request.initialPath);
    if (initial.isEmpty()) initial = QDir::currentPath();
    QFileInfo info(QDir::cleanPath(QFileInfo(initial).absoluteFilePath()));
    if (info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
        return;
    }
    // A path refused for its missing folder opens in the nearest folder that
    // exists, with the rest in the name field as the user typed it.
    QString folder = info.absolutePath();
    QString name = info.fileName();
    while (!QFileInfo(folder).isDir()) {
        const QFileInfo up(folder);
        if (up.absolutePath() == folder) break;
        name = up.fileName() + QLatin1Char('/') + name;
        folder = up.absolutePath();
    }
    dialog.setDirectory(folder);
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) dialog.selectFile(name);
}

}  // namespace

std::string Backend::fileDialog(const FileDialogRequest& request) {
    FileDialog dlg(*this, request);
    configure(dlg, request);
    std::string chosen;
    bool finished = false;
    QObject::connect(&dlg, &QDialog::finished, &dlg, [&](int result) {
        finished = true;
        if (result == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            chosen = dlg.selectedFiles().first().toStdString();
    });
    if (QWidget* owner = widget(request.owner)) {
        dlg.winId();
        dlg.windowHandle()->setTransientParent(owner->window()->windowHandle());
        dlg.setWindowModality(Qt::WindowModal);
    }
    dlg.show();
    dlg.raise();
    dlg.activateWindow();
    // Qt's own dialog has its widgets; while the native one is shown, Qt marks
    // them as not to be shown.
    dlg.staysOpen = dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) &&
                    !dlg.testAttribute(Qt::WA_DontShowOnScreen) && !treatFileDialogsAsNative;
    shown(&dlg);
    modalLoop([&] { return finished; });
    dlg.hide();
    return chosen;
}

}  // namespace qtbackend

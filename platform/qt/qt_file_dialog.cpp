// The open and save file dialogs, run by the layer's modal loop.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QWindow>

#include "platform/qt/qt_backend.h"
#include "platform/qt/qt_internal.h"

namespace qtbackend {

namespace {

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
    QFileInfo info(initial);
    QString name = info.fileName();
    if (info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
    } else {
        dialog.setDirectory(info.absolutePath());
        if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) dialog.selectFile(name);
    }
}

}  // namespace

std::string Backend::fileDialog(const FileDialogRequest& request) {
    QFileDialog dlg;
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
    shown(&dlg);
    modalLoop([&] { return finished; });
    dlg.hide();
    return chosen;
}

}  // namespace qtbackend

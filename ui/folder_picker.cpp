#include "ui/folder_picker.h"

#include "ui/look_and_feel.h"

#include <QFileDialog>
#include <QFileInfo>

namespace ui {

QString BrowseForFolder(QWidget& owner, const QString& prompt, const QString& initialFolder)
{
    QFileDialog dialog(&owner);
    dialog.setWindowTitle(ui::appTitle());
    // Qt's own dialog on every desktop: it shows the prompt and can be driven by the tests.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::LookIn, prompt);
    dialog.setWindowModality(Qt::WindowModal);
    if (!initialFolder.isEmpty() && QFileInfo(initialFolder).isDir())
        dialog.setDirectory(initialFolder);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || !QFileInfo(chosen.first()).isDir())
        return QString();
    return QFileInfo(chosen.first()).absoluteFilePath();
}

} // namespace ui

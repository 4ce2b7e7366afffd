#pragma once

#include <QString>
#include <QWidget>

namespace ui {

// Asks the user for a folder. A window gets one of these, so a test can give it a fake.
class FolderPicker
{
public:
    virtual ~FolderPicker() = default;
    // The chosen folder's full path, or the empty text when the user cancels.
    virtual QString browseForFolder(QWidget& owner, const QString& prompt, const QString& initialFolder) = 0;
};

// Qt's folder dialog: modal and owned by the window, the prompt above the folder view,
// opened at initialFolder when that folder exists, and only real folders can be chosen.
QString BrowseForFolder(QWidget& owner, const QString& prompt, const QString& initialFolder);

class DialogFolderPicker : public FolderPicker
{
public:
    QString browseForFolder(QWidget& owner, const QString& prompt, const QString& initialFolder) override
    {
        return BrowseForFolder(owner, prompt, initialFolder);
    }
};

} // namespace ui

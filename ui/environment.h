#pragma once

#include "ui/skin_framework.h"
#include "ui/folder_picker.h"

#include <QFont>
#include <QIcon>
#include <QString>

namespace ui {

// What the windows take from outside: where the program lives and the two services a test
// may want to replace.
struct Environment
{
    QString applicationFolder; // holds Samples/, the work database and the look files
    ui::SkinFramework& skin;
    FolderPicker& folderPicker;
};

// The program's one icon, in every size it is drawn in.
QIcon programIcon();

// The buttons' font: Arial 11.25 pt bold (the forms cannot give a fractional size).
QFont buttonFont();

// Fixed border, minimize button, no maximize button; placed in the middle of the screen.
void makeFixedDialogWindow(QWidget& window);

} // namespace ui

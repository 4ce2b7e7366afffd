#include "core/helpers.h"
#include "data/replace/interrupted_write_backs.h"
#include "data/replace/table_replace.h"
#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/look_and_feel.h"
#include "ui/settings_store.h"
#include "ui/skin_framework.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {

// "--first-folder DIR" (used by scripts/run.sh to open the sample database): when the
// settings store remembers no folder yet, start as if DIR had been chosen before. A
// folder the user has chosen is never replaced.
void rememberFirstFolder(const QStringList& arguments)
{
    const qsizetype option = arguments.indexOf(u"--first-folder"_s);
    if (option < 0 || option + 1 >= arguments.size())
        return;
    const QString database = QString::fromUtf16(ui::kDatabaseKey);
    if (!ui::hasSetting(database))
        ui::writeSetting(database, arguments.at(option + 1));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(ui::kProductName));
    QApplication::setDesktopFileName(u"fieldwright"_s);
    rememberFirstFolder(QApplication::arguments());
    // A write-back that a kill or a power cut interrupted is finished before anything else.
    for (const QString& notice : data::finishAllInterruptedWriteBacks())
        QMessageBox::information(nullptr, QString::fromUtf16(ui::kProductName), notice);

    ui::StyleSheetSkin skin;
    ui::DialogFolderPicker folderPicker;
    ui::Form1 form1(ui::Environment { core::applicationFolder(), skin, folderPicker });
    form1.Form_Load();
    if (!form1.hasMovedOn())
        form1.show();
    return application.exec();
}

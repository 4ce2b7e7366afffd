#pragma once

// What the procedures of the data layer need from their host: the folder box (read at
// the moment of use), the application folder (where dbTemp.mdb lies), where error reports
// go, the yield point, and where the write-back keeps its backups.

#include "app/dialogs.h"
#include "app/folder_box.h"

#include <QString>

namespace data {

struct DataContext
{
    const app::FolderBox& folderBox;
    QString applicationFolder;
    app::ErrorSink& errors;
    app::EventPump& events;
    QString backupRoot; // empty: defaultBackupRoot() (backups.h)
};

} // namespace data

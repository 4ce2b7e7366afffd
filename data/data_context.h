#pragma once

// What the procedures of the data layer need from their host: the folder box (read at
// the moment of use), the application folder (where dbTemp.mdb lies), where error reports
// go, the yield point, and where the write-back keeps its backups.

#include "core/dialogs.h"
#include "core/folder_box.h"

#include <QString>

namespace data {

struct DataContext
{
    const core::FolderBox& folderBox;
    QString applicationFolder;
    core::ErrorSink& errors;
    core::EventPump& events;
    QString backupRoot; // empty: defaultBackupRoot() (backups.h)
};

} // namespace data

#pragma once

// What the copy and the write-back need from their host: the Paradox folder (taken once,
// when the run starts, so nothing clicked during the run can send its write-back elsewhere),
// the application folder (where dbTemp.mdb lies), where error reports go, the yield point,
// and where the write-back keeps its backups.

#include "core/dialogs.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace data {

struct DataContext
{
    QString folder;
    QString applicationFolder;
    core::ErrorSink& errors;
    core::EventPump& events;
    QString backupRoot; // empty: defaultBackupRoot() (backups.h)
    // Names the run: the copy marks its work table with it, and the write-back takes back
    // only a work table its own run made. Empty: any work table of the name will do.
    QString runId = {};
    // What the run does, for the note of the backup that keeps the replaced table.
    QString operation = {};
    QStringList answers = {};
    // How far the copy (records read of the table's records) or the write-back (its stages
    // done of its stages) has got. Called often; the host decides what to show, and when.
    enum class Stage { Copying, WritingBack };
    std::function<void(Stage stage, std::int64_t done, std::int64_t total)> progress = {};
};

} // namespace data

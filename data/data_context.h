#pragma once

// What the copy and the write-back need from their host: the Paradox folder (taken once,
// when the run starts, so nothing clicked during the run can send its write-back elsewhere),
// the application folder (where dbTemp.mdb lies), where error reports go, the yield point,
// and where the write-back keeps its backups.

#include "core/dialogs.h"
#include "data/backups/run_history.h"
#include "data/paradox/io/table_place.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace data {

class TableLock;

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
    // The table, found once when the run started, and the run's claim on it; when not given, the
    // copy and the write-back find the table in folder and the write-back claims it itself.
    const paradox::TablePlace* place = nullptr;
    const TableLock* claim = nullptr;
    // What the history records of the run once its write-back is done (its records changed
    // filled in then); none: the run is not recorded.
    std::optional<HistoryEntry> history = {};
};

} // namespace data

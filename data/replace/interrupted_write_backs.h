#pragma once

// Finishing what a kill or a power cut interrupted: a write-back whose journal is still beside
// its table is carried out to its end, so that every reader sees one whole version of the
// table; temporary files no journal names are removed.

#include <QString>
#include <QStringList>
#include <chrono>

namespace data {

// Finishes the write-backs interrupted in folder and removes temporary files that no
// write-back will finish. A write-back that another process is putting in place right now is
// waited for, up to patience, so the tables are whole when this returns. Returns what the
// user should be told, one text per table.
inline constexpr std::chrono::milliseconds kJournalPatience { 5000 };
QStringList finishInterruptedWriteBacks(
    const QString& folder, std::chrono::milliseconds patience = kJournalPatience);

// The same for every folder in which a write-back of this user was interrupted, wherever it
// is (called at start).
QStringList finishAllInterruptedWriteBacks();

} // namespace data

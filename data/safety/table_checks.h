#pragma once

// What must hold before a run may write a table back, checked before the copy and again
// before the write-back: the table's files can be written and nothing else holds them, and
// (at the write-back) they are still exactly what the copy read.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <future>
#include <optional>

namespace data {

// Why the table whose .db file is dbPath must not be written now, or the empty text. The
// table's own Paradox lock file, the folder's PDOXUSRS.LCK / PARADOX.LCK / PDOXUSRS.NET
// (another Paradox program may have it open), a lock another program holds on one of its
// files, a file or folder that cannot be written, a file owned by another user, a family
// whose files lie in different folders.
QString writeBackRefusal(const QString& dbPath);

// The state of the table's files when the copy read them: identity, size, times, and a
// digest of the .db and .mb contents.
QJsonObject takeSnapshot(const QString& dbPath);
// takeSnapshot's state of the files, with the digests of the .db and .mb worked out on a
// thread of their own while the copy reads the table, and their SHA-256 besides: the backup
// of the same bytes at the write-back then need not digest them again. `now` holds those
// digests as pending, which no file matches; `whole` gives them once worked out (at get()
// while a test plans faults). The copy's check that nothing wrote to the files while it read
// them (their change times) makes them the digests of the files as they were at the start.
struct LaterDigestedSnapshot
{
    QJsonObject now;
    std::future<QJsonObject> whole;
};
LaterDigestedSnapshot takeSnapshotDigestedLater(const QString& dbPath);
// The SHA-256 that snapshot holds of its file `name`, when `copy` holds the same bytes as that
// file did by their quick digest; else empty. copied: the quick digest of the bytes written to
// the copy, when its writer worked it out already; else the copy is read back.
QByteArray snapshotSha256(const QJsonObject& snapshot, const QString& name, const QString& copy,
    std::optional<quint64> copied = std::nullopt);

// Why the files are no longer as they were in snapshot, or the empty text. Without the
// digests only identities, sizes and times are compared: every write to a file moves its
// change time, which no program can set back.
QString snapshotDifference(const QJsonObject& snapshot, const QString& dbPath, bool withDigests = true);

} // namespace data

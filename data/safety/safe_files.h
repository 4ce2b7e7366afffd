#pragma once

// The file operations of the write-back and its backups, each flushed where the order of
// events on the disk matters, each failing with an error that names the file. They pass the
// fault plan of paradox::io first, so tests can make any one of them fail.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace data::files {

// Throws the failure of a file operation of the Paradox layer, which hands back only its
// message: said plainly when the machine failed (no space, a name too long, an I/O error, no
// permission), otherwise a core::Error. outcome, when given, says what became of the table.
[[noreturn]] void throwFailure(const QString& message, const QString& outcome = {});

// A copy of `from` (a new file; never a link, so nothing written to one reaches the other),
// flushed to the disk, and named `to` only once it is whole. Returns the quick digest
// (quick_digest.h) of the bytes it copied, unless the file system or the kernel copied them
// without handing them over (a clone that shares the original's blocks, or a copy where the
// file system refuses to bypass the page cache). Throws core::Error.
std::optional<quint64> copySynced(const QString& from, const QString& to);
// As copySynced, and returns the SHA-256 in hex of the bytes copied.
QByteArray copySyncedWithDigest(const QString& from, const QString& to);
// A new file holding bytes, flushed, put in place by a rename so it is never seen half-written.
void writeSynced(const QString& path, const QByteArray& bytes);
// As writeSynced, but the file is locked (flock, exclusive) before it gets its name, and stays
// locked until the returned descriptor is closed: nobody else can lock it in between. The name
// is taken only when no file has it; when one has, nothing is left behind and -1 is returned.
// The file is written as PATH.<random>.part first, so two writers never share a partial file.
int writeSyncedLockedNew(const QString& path, const QByteArray& bytes);
// Replaces `to` by `from` in one step. Throws core::Error.
void rename(const QString& from, const QString& to);
// Removes a file; one that is not there is no failure. Throws core::Error.
void remove(const QString& path);
// Flushes a folder's entries (the renames, creations and removals in it) to the disk.
void syncFolder(const QString& folder);
void makeFolder(const QString& folder);
// Writes each (offset, bytes) into the existing file at path, then flushes it. Throws core::Error.
void writeInPlace(const QString& path, const std::vector<std::pair<std::uint64_t, QByteArray>>& writes);
// Appends the bytes of `from` past offset to `to`, then flushes `to`. Throws core::Error.
void appendTail(const QString& from, std::int64_t offset, const QString& to);
// Cuts the file at path to size bytes and flushes it. Throws core::Error.
void truncate(const QString& path, std::int64_t size);
// Gives `to` the permissions, owner and group of `from`, so that a file replaced by `to` keeps
// them. Throws core::Error when they cannot be given.
void copyOwnership(const QString& from, const QString& to);

} // namespace data::files

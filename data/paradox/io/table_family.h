#pragma once

// The files of one table on disk: the writer's temporary files and the moves that put a
// finished family in place (and an old one into a backup folder) without a moment at which
// a half-written or half-moved table could be seen.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace paradox::writer {

// A new file of the family under a temporary name in the table's folder. Removed on
// destruction unless placeFamily() has moved it into place.
class TemporaryFile
{
public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates FOLDER/.NAME.<random>.EXT.tmp, which no table listing takes for a table.
    bool create(const QString& folder, const QString& name, const QString& extension, QString* error);
    bool writeAt(std::uint64_t offset, const char* data, std::size_t size, QString* error);
    // Writes from now on go past the page cache where the file system allows it, or through it
    // again (uncached_io.h); while they bypass it, offsets, sizes and buffers must line up on
    // its unit. A write the file system refuses there turns the bypass off for good.
    void bypassCache(bool isOn);
    bool isBypassingCache() const { return m_isBypassing; }
    // Makes the file a copy of `source`, in the kernel where it can (file_copy.cpp).
    bool copyFrom(const QString& source, QString* error);
    // Starts writing a written range to the disk without waiting for it, so that finish()
    // has less to wait for (file_copy.cpp).
    void startFlush(std::uint64_t offset, std::uint64_t size);
    // Sets the length (zero-filling when it grows).
    bool resize(std::uint64_t size, QString* error);
    // Flushes the contents to the disk; no more writes. The file stays locked until this
    // object goes, so a clean-up of leftovers by another process passes over it.
    bool finish(QString* error);

    const QString& path() const { return m_path; }
    const QString& extension() const { return m_extension; }
    // The file is the table's now: it stays, and its lock goes.
    void markPlaced();

    // follower is told, after each write that extends the file's written start, how far it
    // reaches now and the bytes just written, which end there (so that the file can be
    // digested while it is written); and -1, once and last, when a write, copy or resize lands
    // anywhere else.
    using Follower = std::function<void(std::int64_t writtenStart, const char* data, std::size_t size)>;
    void follow(Follower follower) { m_follower = std::move(follower); }

private:
    void unfollow();

    Follower m_follower;
    std::int64_t m_writtenStart = 0;
    QString m_path;
    QString m_extension;
    int m_fd = -1;
    int m_lockFd = -1; // the descriptor after finish(), kept only for its lock
    bool m_isPlaced = false;
    bool m_isBypassing = false;
};

// Renames without replacing: a file that appeared at `to` meanwhile is never overwritten.
// False, with errno EEXIST, when `to` exists.
bool renameNew(const QString& from, const QString& to);

// Moves finished temporary files (the .DB among them) into place as table `name` of folder.
// An existing family (tableFamily) first goes to backupFolder (refused when backupFolder is
// empty or already holds a table of that name, in any case). The order keeps, at every
// instant, either the old table complete in folder, or the new one, or the old one complete
// in backupFolder:
// 1. link (or copy and flush) every old file into backupFolder, the .DB last; flush the folder;
// 2. remove the old .DB from folder, then the rest of the old family;
// 3. rename the new files into place, the .DB last; flush the folder.
bool placeFamily(const QString& folder, const QString& name, std::vector<TemporaryFile*> files,
    const QString& backupFolder, QString* error);

} // namespace paradox::writer

namespace paradox {

// Removes the whole family of table `name` in folder (tableFamily). False with *error when
// a file could not be removed.
bool dropTable(const QString& folder, const QString& name, QString* error);

} // namespace paradox

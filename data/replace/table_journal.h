#pragma once

// The journal of a write-back, which table_replace.cpp writes before its renames and carries
// out after a kill: its file beside the table, its entry in the per-user list that lets the
// next start find it, and the lock that lets one process at a time carry it out.

#include "data/replace/file_move.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace data::journal {

// An exclusive lock on a file for as long as this object lives; a journal being carried out
// is locked, so a second process never finishes it at the same time.
class FileLock
{
public:
    explicit FileLock(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {
        m_isLocked = m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    }
    FileLock() = default;
    // Takes over a descriptor that already holds the lock.
    void adopt(int lockedFd)
    {
        m_fd = lockedFd;
        m_isLocked = true;
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool isLocked() const { return m_isLocked; }
    // Tries again until the lock is had or patience runs out.
    void waitFor(std::chrono::milliseconds patience)
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!m_isLocked && m_fd >= 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            m_isLocked = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
        }
    }

private:
    int m_fd = -1;
    bool m_isLocked = false;
};

struct Journal
{
    QString table;
    QString backup;
    std::vector<FileMove> moves; // file names, relative to the table's folder
    // By move: the length its target is cut back to once the new .DB is in place, or -1.
    std::vector<std::int64_t> cutBackTo;
};

QString journalPath(const QString& folder, const QString& table);
QString registryFolder();
QString registryEntry(const QString& journal);
bool isDbFile(const QString& path);
QByteArray encode(const Journal& journal);
std::optional<Journal> decode(const QString& path);
void carryOut(const QString& folder, const std::vector<FileMove>& moves);
void forget(const QString& journal);
void noteInRegistry(const QString& journal);
// Once the new .DB is in place: the old memo values freed, a memo file put back cut to its
// own length. A failure here costs no value, and is not one of the write-back; but until it is
// done the files are not as the backup's note says the write-back left them, so the journal
// stays for the next start to do it again (the writes and the cut can be repeated). Returns
// whether all was done.
bool afterPlacing(
    const QString& folder, const std::vector<FileMove>& ordered, const std::vector<std::int64_t>& cutBackTo);
bool hasWorkAfterPlacing(const Journal& journal);

} // namespace data::journal

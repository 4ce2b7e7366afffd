#pragma once

// The SHA-256 of a file that is still being written, worked out on a thread of its own a step
// behind the writer: the writer says how far the file is written, and the thread reads that far
// back while the bytes are still in memory. The digest is of what the file holds, not of what
// was meant to go into it, and the writer never waits for it until the end.

#include "data/sha256.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace data {

class TrailingDigest
{
public:
    explicit TrailingDigest(const QString& path);
    ~TrailingDigest();
    TrailingDigest(const TrailingDigest&) = delete;
    TrailingDigest& operator=(const TrailingDigest&) = delete;

    // The file holds its bytes up to end now.
    void writtenUpTo(std::int64_t end);
    // The digest of the file's first `end` bytes, once read: lower-case hex, or empty when the
    // file could not be read that far.
    QByteArray finish(std::int64_t end);

private:
    void digest();
    // Waits for more to read; false once there is no more.
    bool next(std::int64_t done, std::int64_t* end);

    int m_fd;
    Sha256 m_hash;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::int64_t m_written = 0;
    bool m_isLast = false;
    bool m_isFailed = false;
    std::thread m_thread;
};

} // namespace data

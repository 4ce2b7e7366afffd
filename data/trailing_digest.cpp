#include "data/trailing_digest.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace data {

TrailingDigest::TrailingDigest(const QString& path)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    , m_isFailed(m_fd < 0)
{
    if (m_fd >= 0)
        m_thread = std::thread([this] { digest(); });
}

TrailingDigest::~TrailingDigest()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_isLast = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

void TrailingDigest::writtenUpTo(std::int64_t end)
{
    {
        const std::lock_guard lock(m_mutex);
        m_written = end;
    }
    m_wake.notify_one();
}

QByteArray TrailingDigest::finish(std::int64_t end)
{
    {
        const std::lock_guard lock(m_mutex);
        m_written = end;
        m_isLast = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    return m_isFailed ? QByteArray() : m_hash.hex();
}

bool TrailingDigest::next(std::int64_t done, std::int64_t* end)
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [&] { return m_written > done || m_isLast; });
    *end = m_written;
    return done < m_written;
}

void TrailingDigest::digest()
{
    std::vector<char> buffer(std::size_t { 1 } << 20);
    std::int64_t done = 0;
    for (std::int64_t end = 0; next(done, &end);) {
        while (done < end) {
            const ssize_t got = ::pread(m_fd, buffer.data(),
                static_cast<std::size_t>(std::min<std::int64_t>(end - done, std::ssize(buffer))),
                static_cast<off_t>(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                const std::lock_guard lock(m_mutex);
                m_isFailed = true;
                return;
            }
            m_hash.add(buffer.data(), static_cast<std::size_t>(got));
            done += got;
        }
    }
}

} // namespace data

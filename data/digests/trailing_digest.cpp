#include "data/digests/trailing_digest.h"

#include <algorithm>
#include <cstring>

namespace data {

TrailingDigest::TrailingDigest()
    : m_ring(std::size_t { 4 } << 20)
    , m_thread([this] { digest(); })
{ }

TrailingDigest::~TrailingDigest()
{
    stop();
}

void TrailingDigest::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_isLast = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TrailingDigest::add(const char* data, std::size_t size)
{
    const std::uint64_t capacity = m_ring.size();
    while (size > 0) {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [&] { return m_added - m_digested < capacity; });
        const std::uint64_t at = m_added % capacity;
        const auto taken = static_cast<std::size_t>(
            std::min<std::uint64_t>({ size, capacity - (m_added - m_digested), capacity - at }));
        lock.unlock();
        // The thread reads only below m_added, and has freed what lies past it.
        std::memcpy(m_ring.data() + at, data, taken);
        lock.lock();
        m_added += taken;
        lock.unlock();
        m_wake.notify_all();
        data += taken;
        size -= taken;
    }
}

QByteArray TrailingDigest::finish()
{
    stop();
    return m_hash.hex();
}

void TrailingDigest::digest()
{
    const std::uint64_t capacity = m_ring.size();
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_added > m_digested || m_isLast; });
        if (m_added == m_digested)
            return;
        const std::uint64_t at = m_digested % capacity;
        const auto taken = static_cast<std::size_t>(std::min(m_added - m_digested, capacity - at));
        lock.unlock();
        m_hash.add(m_ring.data() + at, taken);
        lock.lock();
        m_digested += taken;
        m_wake.notify_all();
    }
}

} // namespace data

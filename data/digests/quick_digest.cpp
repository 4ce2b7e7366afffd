#include "data/digests/quick_digest.h"

#include <algorithm>
#include <cstring>

namespace data {
namespace {

quint64 mix(quint64 hash, quint64 word)
{
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
    return hash ^ (hash >> 32);
}

constexpr std::int64_t kHalved = std::int64_t { 32 } << 20;

} // namespace

RangeDigest::RangeDigest(quint64 seed)
    : m_lanes { seed, seed ^ 0xC2B2AE3D27D4EB4FULL, seed ^ 0x165667B19E3779F9ULL, ~seed }
{ }

void RangeDigest::add(const char* data, std::size_t size)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const auto words = [this](const unsigned char* at) {
        quint64 word[4];
        std::memcpy(word, at, sizeof word);
        for (int lane = 0; lane < 4; ++lane)
            m_lanes[lane] = mix(m_lanes[lane], word[lane]);
    };
    if (m_heldSize > 0) {
        const std::size_t taken = std::min(size, sizeof m_held - m_heldSize);
        std::memcpy(m_held + m_heldSize, bytes, taken);
        m_heldSize += taken;
        bytes += taken;
        size -= taken;
        if (m_heldSize < sizeof m_held)
            return;
        words(m_held);
        m_heldSize = 0;
    }
    for (; size >= 32; bytes += 32, size -= 32)
        words(bytes);
    std::memcpy(m_held, bytes, size);
    m_heldSize = size;
}

quint64 RangeDigest::value() const
{
    quint64 first = m_lanes[0];
    for (std::size_t i = 0; i < m_heldSize; ++i)
        first = (first ^ m_held[i]) * 0x100000001B3ULL;
    return mix(mix(mix(first, m_lanes[1]), m_lanes[2]), m_lanes[3]);
}

QuickDigest::QuickDigest(std::int64_t fileSize)
    : m_half(halfOf(fileSize))
    , m_first(seedOf(fileSize))
    , m_second(~seedOf(fileSize))
{ }

void QuickDigest::add(const char* data, std::size_t size)
{
    if (m_done < m_half) {
        const auto first = static_cast<std::size_t>(
            std::min<std::int64_t>(m_half - m_done, static_cast<std::int64_t>(size)));
        m_first.add(data, first);
        data += first;
        size -= first;
        m_done += static_cast<std::int64_t>(first);
    }
    m_second.add(data, size);
    m_done += static_cast<std::int64_t>(size);
}

quint64 QuickDigest::value() const
{
    return m_done > m_half ? combine(m_first.value(), m_second.value()) : m_first.value();
}

std::int64_t QuickDigest::halfOf(std::int64_t fileSize)
{
    return fileSize < 2 * kHalved ? fileSize : fileSize / 2 / kHalved * kHalved;
}

quint64 QuickDigest::seedOf(std::int64_t fileSize)
{
    return 0x9E3779B97F4A7C15ULL ^ static_cast<quint64>(fileSize);
}

quint64 QuickDigest::combine(quint64 first, quint64 second)
{
    return mix(first, second);
}

} // namespace data

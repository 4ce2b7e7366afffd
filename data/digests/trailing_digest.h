#pragma once

// The SHA-256 of a file's bytes as its writer writes them, worked out on a thread of its own:
// each piece is copied aside as it is written, and the thread digests it while the writer goes
// on. The writer waits only when the thread falls a few pieces behind, and at the end.

#include "data/digests/sha256.h"

#include <QByteArray>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace data {

class TrailingDigest
{
public:
    TrailingDigest();
    ~TrailingDigest();
    TrailingDigest(const TrailingDigest&) = delete;
    TrailingDigest& operator=(const TrailingDigest&) = delete;

    // The next bytes of the file.
    void add(const char* data, std::size_t size);
    // The digest of every byte added, in lower-case hex.
    QByteArray finish();

private:
    void digest();
    // Lets the thread digest what was added, and waits for it to end.
    void stop();

    Sha256 m_hash;
    std::vector<char> m_ring;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::uint64_t m_added = 0; // bytes put into the ring so far
    std::uint64_t m_digested = 0; // bytes the thread has taken out of it
    bool m_isLast = false;
    std::thread m_thread;
};

} // namespace data

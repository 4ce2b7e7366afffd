#include "data/prefetched_changes.h"

#include <QByteArray>
#include <QString>

#include <type_traits>

namespace data {
namespace {

// A batch is handed over when it holds this many changes or bytes of values. At most
// kBatchesAhead batches, and about kBytesAhead bytes, wait to be taken: memo values can be
// large, and the bytes bound what the reading holds.
constexpr std::size_t kBatchChanges = 512;
constexpr std::size_t kBatchBytes = std::size_t { 1 } << 20;
constexpr std::size_t kBatchesAhead = 16;
constexpr std::size_t kBytesAhead = std::size_t { 8 } << 20;

std::size_t bytesOf(const paradox::Value& value)
{
    return std::visit(
        [](const auto& held) -> std::size_t {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, QString>)
                return static_cast<std::size_t>(held.size()) * sizeof(QChar);
            else if constexpr (std::is_same_v<Held, QByteArray>)
                return static_cast<std::size_t>(held.size());
            else
                return sizeof held;
        },
        value);
}

} // namespace

PrefetchedChanges::PrefetchedChanges(paradox::TablePatch::ChangeSource& source)
    : m_source(source)
    , m_thread([this] { read(); })
{ }

PrefetchedChanges::~PrefetchedChanges()
{
    {
        const std::lock_guard lock(m_mutex);
        m_isStopped = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void PrefetchedChanges::read()
{
    for (bool isMore = true; isMore;) {
        Batch batch;
        batch.reserve(kBatchChanges);
        std::size_t bytes = 0;
        std::exception_ptr failure;
        try {
            while (batch.size() < kBatchChanges && bytes < kBatchBytes) {
                Change change { 0, 0, {} };
                if (!(isMore = m_source.next(&change.record, &change.field, &change.value)))
                    break;
                bytes += bytesOf(change.value);
                batch.push_back(std::move(change));
            }
        } catch (...) {
            // The changes read before it come first.
            failure = std::current_exception();
            isMore = false;
        }
        if (!hand(std::move(batch), bytes, isMore, failure))
            return;
    }
}

bool PrefetchedChanges::hand(Batch batch, std::size_t bytes, bool isMore, std::exception_ptr failure)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] {
        return m_isStopped || m_ready.empty()
            || (m_ready.size() < kBatchesAhead && m_readyBytes < kBytesAhead);
    });
    if (m_isStopped)
        return false;
    if (!batch.empty()) {
        m_readyBytes += bytes;
        m_ready.emplace_back(std::move(batch), bytes);
    }
    m_isEnded = !isMore;
    m_failure = std::move(failure);
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool PrefetchedChanges::next(std::int64_t* record, int* field, paradox::Value* value)
{
    if (m_taken == m_current.size()) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_ready.empty() || m_isEnded; });
        if (m_ready.empty()) {
            if (m_failure)
                std::rethrow_exception(m_failure);
            return false;
        }
        m_current = std::move(m_ready.front().first);
        m_readyBytes -= m_ready.front().second;
        m_ready.pop_front();
        m_taken = 0;
        lock.unlock();
        m_changed.notify_all();
    }
    Change& change = m_current[m_taken++];
    *record = change.record;
    *field = change.field;
    *value = std::move(change.value);
    return true;
}

} // namespace data

#pragma once

// The changes a patch writes, read on a thread of their own a few batches ahead of it: looking
// the changed values up in the work database and reading and writing the table's blocks then
// share the processors instead of taking turns. The patch sees the same changes in the same
// order, and what the reading throws, where it threw it.

#include "data/paradox/patch/table_patch.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace data {

class PrefetchedChanges final : public paradox::TablePatch::ChangeSource
{
public:
    // source is read on the thread until it ends, throws, or this is destroyed; nothing else
    // may use it (or what it reads from) meanwhile.
    explicit PrefetchedChanges(paradox::TablePatch::ChangeSource& source);
    ~PrefetchedChanges() override;
    PrefetchedChanges(const PrefetchedChanges&) = delete;
    PrefetchedChanges& operator=(const PrefetchedChanges&) = delete;

    bool next(std::int64_t* record, int* field, paradox::Value* value) override;

private:
    struct Change
    {
        std::int64_t record;
        int field;
        paradox::Value value;
    };
    using Batch = std::vector<Change>;
    void read();
    // Waits while the batches ready hold enough; false once stopped. isMore: whether more
    // may follow; failure: what the reading threw after the batch.
    bool hand(Batch batch, std::size_t bytes, bool isMore, std::exception_ptr failure);

    paradox::TablePatch::ChangeSource& m_source;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<Batch, std::size_t>> m_ready; // with their values' bytes
    std::size_t m_readyBytes = 0;
    bool m_isEnded = false; // the source has no more, or threw m_failure
    bool m_isStopped = false;
    std::exception_ptr m_failure;
    Batch m_current; // taken by the patch, change by change
    std::size_t m_taken = 0;
    std::thread m_thread;
};

} // namespace data

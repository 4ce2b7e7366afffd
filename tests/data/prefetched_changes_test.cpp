// The changes a write-back reads a few batches ahead of the patch: the patch sees each change
// once, in order, then what the reading threw, where it threw it; and a patch that stops early
// does not wait for the rest.

#include "core/error_report.h"
#include "data/prefetched_changes.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

// Changes 0, 1, 2, ... with values of varying size (some of a megabyte, which end a batch on
// their own); throws at `failAt`, or ends there when it is negative.
class CountingSource final : public paradox::TablePatch::ChangeSource
{
public:
    CountingSource(std::int64_t count, bool isFailing)
        : m_count(count)
        , m_isFailing(isFailing)
    { }
    bool next(std::int64_t* record, int* field, paradox::Value* value) override
    {
        if (m_next == m_count) {
            if (m_isFailing)
                throw core::Error(u"Record %1 cannot be read."_s.arg(m_next));
            return false;
        }
        const std::int64_t at = m_next++;
        *record = at;
        *field = static_cast<int>(at % 3);
        *value = QString(at % 700 == 0 ? 1 << 20 : static_cast<int>(at % 50),
            QChar(static_cast<char16_t>(u'a' + at % 26)));
        return true;
    }
    std::int64_t read() const { return m_next; }

private:
    const std::int64_t m_count;
    const bool m_isFailing;
    std::atomic<std::int64_t> m_next = 0;
};

} // namespace

TEST(PrefetchedChanges, HandsOnEveryChangeInOrderThenWhatTheReadingThrew)
{
    for (const bool isFailing : { false, true }) {
        SCOPED_TRACE(isFailing);
        CountingSource source(5'000, isFailing);
        data::PrefetchedChanges ahead(source);
        std::int64_t expected = 0;
        std::int64_t record = -1;
        int field = -1;
        paradox::Value value;
        const auto takeAll = [&] {
            while (ahead.next(&record, &field, &value)) {
                ASSERT_EQ(record, expected);
                ASSERT_EQ(field, expected % 3);
                ASSERT_EQ(std::get<QString>(value).size(), expected % 700 == 0 ? 1 << 20 : expected % 50);
                ++expected;
            }
        };
        if (isFailing)
            EXPECT_THROW(takeAll(), core::Error);
        else
            takeAll();
        EXPECT_EQ(expected, 5'000);
        if (!isFailing) {
            EXPECT_FALSE(ahead.next(&record, &field, &value));
        }
    }
}

// The reading stays a few batches ahead, not the whole source, and stops with the patch.
TEST(PrefetchedChanges, ReadsOnlyAFewBatchesAheadAndStopsWithThePatch)
{
    CountingSource source(10'000'000, false);
    {
        data::PrefetchedChanges ahead(source);
        std::int64_t record = -1;
        int field = -1;
        paradox::Value value;
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(ahead.next(&record, &field, &value));
    }
    EXPECT_LT(source.read(), 100'000);
}

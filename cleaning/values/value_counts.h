#pragma once

// Every distinct value of a field with its number of records, and the ways the values
// view and the command line order and search them. Pure functions over values and counts.

#include <QRegularExpression>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace cleaning::values {

struct ValueCount
{
    std::optional<QString> value; // nullopt: the null (blank) value
    std::int64_t records = 0;
    bool operator==(const ValueCount&) const = default;
};

// Counts values one record at a time; memory grows with the distinct values only.
class ValueCounter
{
public:
    // Slots point into the counter's own texts: a copy would point into the original's.
    ValueCounter() = default;
    ValueCounter(const ValueCounter&) = delete;
    ValueCounter& operator=(const ValueCounter&) = delete;
    ValueCounter(ValueCounter&&) = default;
    ValueCounter& operator=(ValueCounter&&) = default;

    void add(const QString& text, bool isNull);
    // Distinct values in no particular order; the counter is empty afterwards.
    std::vector<ValueCount> take();

private:
    // Open addressing over the distinct texts. A lookup in a large field waits on memory
    // twice (the slot, then the text it points to), so texts are taken in batches and
    // both are fetched ahead for the whole batch before any is compared.
    struct Slot
    {
        std::uint32_t hashTag = 0;
        std::uint32_t entry = 0; // index + 1 into m_texts; 0: empty
        const QChar* text = nullptr; // m_texts[entry - 1]'s characters, which never move
        qsizetype length = 0;
    };
    struct Pending
    {
        std::size_t hash;
        qsizetype start; // in m_pendingText
        qsizetype length;
    };
    void countPending();
    void count(const Pending& pending);
    void grow();

    std::vector<Slot> m_slots;
    std::vector<QString> m_texts;
    std::vector<std::int64_t> m_records;
    std::vector<Pending> m_pending;
    QString m_pendingText;
    std::int64_t m_nulls = 0;
};

// Every distinct value of field in table of folder, ordered by count. Throws core::Error
// as data::readFieldValues does. progress is called every few thousand records; when it
// answers false the count stops and nullopt comes back.
std::optional<std::vector<ValueCount>> countFieldValues(const QString& folder, const QString& table,
    const QString& field,
    const std::function<bool(std::int64_t recordsRead, std::int64_t recordCount)>& progress = {});

enum class ValueOrder {
    ByCount, // most records first, ties by value
    ByValue, // null first, then the empty text, then texts ignoring case (case breaks ties)
};

// Whether a comes before b in order: a strict weak order for std::sort.
bool isBefore(const ValueCount& a, const ValueCount& b, ValueOrder order);
void sortValues(std::vector<ValueCount>& values, ValueOrder order);

enum class MatchKind {
    Plain, // the text contains the search text, case as typed
    IgnoreCase, // the same, ignoring case
    Pattern, // a regular expression found anywhere in the text (anchor it with ^ $)
};

// A search of the values view. An empty search text matches every value; otherwise a null
// matches nothing, and the empty text only a pattern that matches it.
class ValueMatch
{
public:
    ValueMatch() = default;
    ValueMatch(const QString& text, MatchKind kind);
    // False for a pattern that does not compile; problem() says why, as a user can read it.
    bool isValid() const { return m_problem.isEmpty(); }
    const QString& problem() const { return m_problem; }
    bool matches(const std::optional<QString>& value) const;

private:
    QString m_text;
    MatchKind m_kind = MatchKind::Plain;
    QRegularExpression m_pattern;
    QString m_problem;
};

std::vector<ValueCount> matchingValues(std::span<const ValueCount> values, const ValueMatch& match);

} // namespace cleaning::values

#include "cleaning/values/value_counts.h"

#include "data/field_values.h"

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace cleaning::values {

namespace {

constexpr std::size_t kBatch = 64;

// A multiply-and-fold hash over the UTF-16 units, four at a time: Qt's string hash is
// several times slower here, and no one outside chooses the texts to collide.
std::size_t textHash(QStringView text)
{
    std::uint64_t hash = 0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(text.size());
    const char16_t* units = text.utf16();
    const auto size = static_cast<std::size_t>(text.size());
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        std::uint64_t word = 0;
        std::memcpy(&word, units + i, sizeof word);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
        hash ^= hash >> 32;
    }
    for (; i < size; ++i)
        hash = (hash ^ units[i]) * 0xC4CEB9FE1A85EC53ULL;
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<std::size_t>(hash ^ (hash >> 32));
}

std::uint32_t tagOf(std::size_t hash)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32) | 1U;
}

} // namespace

void ValueCounter::add(const QString& text, bool isNull)
{
    if (isNull) {
        ++m_nulls;
        return;
    }
    m_pending.push_back({ textHash(text), m_pendingText.size(), text.size() });
    m_pendingText.append(text);
    if (m_pending.size() == kBatch)
        countPending();
}

void ValueCounter::countPending()
{
    if ((m_texts.size() + m_pending.size()) * 2 >= m_slots.size())
        grow();
    const std::size_t mask = m_slots.size() - 1;
    for (const Pending& pending : m_pending)
        __builtin_prefetch(&m_slots[pending.hash & mask]);
    for (const Pending& pending : m_pending) {
        const Slot& slot = m_slots[pending.hash & mask];
        if (slot.hashTag == tagOf(pending.hash))
            __builtin_prefetch(slot.text);
    }
    for (const Pending& pending : m_pending)
        count(pending);
    m_pending.clear();
    m_pendingText.resize(0); // keeps its capacity for the next batch
}

void ValueCounter::count(const Pending& pending)
{
    const QStringView text = QStringView(m_pendingText).mid(pending.start, pending.length);
    const std::uint32_t tag = tagOf(pending.hash);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t at = pending.hash & mask;; at = (at + 1) & mask) {
        Slot& slot = m_slots[at];
        if (slot.entry == 0) {
            m_texts.push_back(text.toString());
            m_records.push_back(1);
            slot = { tag, static_cast<std::uint32_t>(m_texts.size()), m_texts.back().constData(),
                text.size() };
            return;
        }
        if (slot.hashTag == tag && slot.length == text.size()
            && std::equal(text.begin(), text.end(), slot.text)) {
            ++m_records[slot.entry - 1];
            return;
        }
    }
}

void ValueCounter::grow()
{
    std::vector<Slot> grown(std::max<std::size_t>(1024, m_slots.size() * 2));
    const std::size_t mask = grown.size() - 1;
    for (const Slot& slot : m_slots) {
        if (slot.entry == 0)
            continue;
        std::size_t at = textHash(m_texts[slot.entry - 1]) & mask;
        while (grown[at].entry != 0)
            at = (at + 1) & mask;
        grown[at] = slot;
    }
    m_slots = std::move(grown);
}

std::vector<ValueCount> ValueCounter::take()
{
    countPending();
    std::vector<ValueCount> values;
    values.reserve(m_texts.size() + 1);
    if (m_nulls > 0)
        values.push_back({ std::nullopt, m_nulls });
    for (std::size_t i = 0; i < m_texts.size(); ++i)
        values.push_back({ std::move(m_texts[i]), m_records[i] });
    *this = ValueCounter();
    return values;
}

std::optional<std::vector<ValueCount>> countFieldValues(const QString& folder, const QString& table,
    const QString& field,
    const std::function<bool(std::int64_t recordsRead, std::int64_t recordCount)>& progress)
{
    constexpr std::int64_t kProgressEvery = 4096;
    ValueCounter counter;
    std::int64_t recordCount = 0;
    std::int64_t recordsRead = 0;
    const data::FieldValuesRead read = data::readFieldValues(
        folder, table, field,
        [&](const QString& text, bool isNull) {
            counter.add(text, isNull);
            if (progress && ++recordsRead % kProgressEvery == 0)
                return progress(recordsRead, recordCount);
            return true;
        },
        [&](std::int64_t count) { recordCount = count; });
    if (read.isStopped)
        return std::nullopt;
    std::vector<ValueCount> values = counter.take();
    sortValues(values, ValueOrder::ByCount);
    return values;
}

namespace {

char16_t folded(char16_t unit)
{
    if (unit < 0x80)
        return unit >= u'A' && unit <= u'Z' ? char16_t(unit + (u'a' - u'A')) : unit;
    return static_cast<char16_t>(QChar::toCaseFolded(char32_t { unit }));
}

// Null, then the empty text, then texts compared unit by unit with case folded, with
// case breaking ties so that the order is total and the same on every run. No copies:
// sorting a large field makes millions of these comparisons.
int compareValues(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (!a || !b)
        return int(a.has_value()) - int(b.has_value());
    const qsizetype common = std::min(a->size(), b->size());
    const QChar* aUnits = a->constData();
    const QChar* bUnits = b->constData();
    for (qsizetype i = 0; i < common; ++i) {
        if (aUnits[i] == bUnits[i])
            continue;
        const char16_t aFolded = folded(aUnits[i].unicode());
        const char16_t bFolded = folded(bUnits[i].unicode());
        if (aFolded != bFolded)
            return aFolded < bFolded ? -1 : 1;
    }
    if (a->size() != b->size())
        return a->size() < b->size() ? -1 : 1;
    return QString::compare(*a, *b, Qt::CaseSensitive);
}

} // namespace

bool isBefore(const ValueCount& a, const ValueCount& b, ValueOrder order)
{
    if (order == ValueOrder::ByCount && a.records != b.records)
        return a.records > b.records;
    return compareValues(a.value, b.value) < 0;
}

void sortValues(std::vector<ValueCount>& values, ValueOrder order)
{
    std::sort(values.begin(), values.end(),
        [order](const ValueCount& a, const ValueCount& b) { return isBefore(a, b, order); });
}

ValueMatch::ValueMatch(const QString& text, MatchKind kind)
    : m_text(text)
    , m_kind(kind)
{
    if (kind != MatchKind::Pattern || text.isEmpty())
        return;
    m_pattern.setPattern(text);
    if (!m_pattern.isValid()) {
        m_problem = u"The pattern \"%1\" is not a valid regular expression: %2 (at character %3)."_s.arg(
            text, m_pattern.errorString(), QString::number(m_pattern.patternErrorOffset() + 1));
    }
}

bool ValueMatch::matches(const std::optional<QString>& value) const
{
    if (m_text.isEmpty())
        return true;
    if (!value || !isValid())
        return false;
    switch (m_kind) {
    case MatchKind::Plain:
        return value->contains(m_text, Qt::CaseSensitive);
    case MatchKind::IgnoreCase:
        return value->contains(m_text, Qt::CaseInsensitive);
    case MatchKind::Pattern:
        return m_pattern.match(*value).hasMatch();
    }
    return false;
}

std::vector<ValueCount> matchingValues(std::span<const ValueCount> values, const ValueMatch& match)
{
    std::vector<ValueCount> found;
    for (const ValueCount& value : values) {
        if (match.matches(value.value))
            found.push_back(value);
    }
    return found;
}

} // namespace cleaning::values

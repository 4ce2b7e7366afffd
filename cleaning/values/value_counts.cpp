#include "cleaning/values/value_counts.h"

#include "data/field_values.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace cleaning::values {

void ValueCounter::add(const QString& text, bool isNull)
{
    if (isNull)
        ++m_nulls;
    else
        ++m_counts[text];
}

std::vector<ValueCount> ValueCounter::take()
{
    std::vector<ValueCount> values;
    values.reserve(static_cast<std::size_t>(m_counts.size()) + 1);
    if (m_nulls > 0)
        values.push_back({ std::nullopt, m_nulls });
    for (auto it = m_counts.cbegin(); it != m_counts.cend(); ++it)
        values.push_back({ it.key(), it.value() });
    m_counts.clear();
    m_nulls = 0;
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

// Null, then the empty text, then texts ignoring case, with case breaking ties so that
// the order is total and the same on every run.
int compareValues(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (!a || !b)
        return int(a.has_value()) - int(b.has_value());
    const int folded = a->compare(*b, Qt::CaseInsensitive);
    return folded != 0 ? folded : a->compare(*b, Qt::CaseSensitive);
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

#include "data/workdb/distinct_texts.h"

#include <functional>

namespace data {

DistinctTexts::Group DistinctTexts::at(std::size_t index) const
{
    const Entry& entry = m_entries.at(index);
    return { entry.isNull, std::u16string_view(m_texts).substr(entry.at, entry.length), entry.rows };
}

// What the values would hold after the next one: a vector may double what it holds.
std::size_t DistinctTexts::bytes() const
{
    return m_texts.capacity() * sizeof(char16_t) + m_entries.capacity() * sizeof(Entry) * 2
        + m_slots.capacity() * sizeof(std::uint32_t) * 2;
}

void DistinctTexts::rehash(std::size_t slotCount)
{
    m_slots.assign(slotCount, 0);
    const std::size_t mask = slotCount - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& entry = m_entries[i];
        if (entry.isNull)
            continue;
        std::size_t slot
            = std::hash<std::u16string_view> {}(std::u16string_view(m_texts).substr(entry.at, entry.length))
            & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

bool DistinctTexts::add(std::u16string_view text, bool isNull)
{
    if (isNull) {
        if (m_nullEntry == 0) {
            if (bytes() > m_mostBytes)
                return false;
            m_entries.push_back({ m_texts.size(), 0, true, 0 });
            m_nullEntry = static_cast<std::uint32_t>(m_entries.size());
        }
        ++m_entries[m_nullEntry - 1].rows;
        return true;
    }
    if (m_slots.empty())
        rehash(1024);
    const std::size_t hash = std::hash<std::u16string_view> {}(text);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = hash & mask;
    for (; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        Entry& entry = m_entries[m_slots[slot] - 1];
        if (entry.length == text.size()
            && std::u16string_view(m_texts).substr(entry.at, entry.length) == text) {
            ++entry.rows;
            return true;
        }
    }
    // A new value. Texts longer than an entry can say, or more values than a slot can number,
    // would not fit under any limit the caller sets.
    if (bytes() + text.size() * sizeof(char16_t) > m_mostBytes || text.size() >= std::uint32_t(-1)
        || m_entries.size() >= std::uint32_t(-1) / 4)
        return false;
    m_entries.push_back({ m_texts.size(), static_cast<std::uint32_t>(text.size()), false, 1 });
    m_texts.append(text);
    if (m_entries.size() * 2 > m_slots.size()) {
        rehash(m_slots.size() * 2);
        return true;
    }
    m_slots[slot] = static_cast<std::uint32_t>(m_entries.size());
    return true;
}

} // namespace data

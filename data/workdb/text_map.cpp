#include "data/workdb/text_map.h"

#include "core/error_report.h"

#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

namespace data {

void TextMap::reserve(std::size_t count, std::size_t textLength)
{
    m_entries.reserve(count);
    m_texts.reserve(textLength);
}

void TextMap::insert(QStringView old, bool isNull, QStringView text)
{
    // A value of a Paradox field is far shorter; a table of more entries than the slots can
    // number would not fit in memory anyway.
    constexpr auto kLargest = std::size_t { std::numeric_limits<std::uint32_t>::max() } - 1;
    if (static_cast<std::size_t>(old.size()) > kLargest || static_cast<std::size_t>(text.size()) > kLargest
        || m_entries.size() >= kLargest / 2)
        throw core::Error(u"The updates hold more or longer texts than one batch can take."_s);
    Entry entry;
    entry.at = m_texts.size();
    entry.oldLength = static_cast<std::uint32_t>(old.size());
    entry.newLength = static_cast<std::uint32_t>(text.size());
    entry.isNull = isNull;
    m_texts.append(reinterpret_cast<const char16_t*>(old.utf16()), static_cast<std::size_t>(old.size()));
    m_texts.append(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
    m_entries.push_back(entry);
}

void TextMap::index()
{
    std::size_t size = 16;
    while (size < m_entries.size() * 2)
        size *= 2;
    m_slots.assign(size, 0);
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::size_t hash = std::hash<std::u16string_view> {}(oldText(m_entries[i]));
        std::size_t slot = hash & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

bool TextMap::find(std::u16string_view old, NewText* found) const
{
    if (m_slots.empty())
        return false;
    const std::size_t mask = m_slots.size() - 1;
    const std::size_t hash = std::hash<std::u16string_view> {}(old);
    for (std::size_t slot = hash & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        const Entry& entry = m_entries[m_slots[slot] - 1];
        if (oldText(entry) != old)
            continue;
        found->isNull = entry.isNull;
        found->text = QStringView(m_texts.data() + entry.at + entry.oldLength, entry.newLength);
        return true;
    }
    return false;
}

} // namespace data

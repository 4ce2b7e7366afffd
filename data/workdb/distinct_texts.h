#pragma once

// The distinct values of a text column, in the order of the rows that first hold them, each
// with its number of rows: what GROUP BY gives, without the two sorts SQLite needs for it.
// Texts are told apart exactly, code unit by code unit, as the column's binary collation
// tells them apart; an empty text is not the null. Held as compactly as TextMap holds its
// texts, and only up to a limit, so that a column of millions of distinct values is left to
// SQLite, which sorts on the disk.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace data {

class DistinctTexts
{
public:
    explicit DistinctTexts(std::size_t mostBytes = std::numeric_limits<std::size_t>::max())
        : m_mostBytes(mostBytes)
    { }

    // False, and the value not counted, when a value not yet held would take the values past
    // mostBytes; the caller then leaves the column to SQLite.
    bool add(std::u16string_view text) { return add(text, false); }
    bool addNull() { return add({}, true); }

    struct Group
    {
        bool isNull = false;
        std::u16string_view text;
        std::int64_t rows = 0;
    };
    std::size_t size() const { return m_entries.size(); }
    Group at(std::size_t index) const;

private:
    struct Entry
    {
        std::size_t at = 0;
        std::uint32_t length = 0;
        bool isNull = false;
        std::int64_t rows = 0;
    };
    bool add(std::u16string_view text, bool isNull);
    std::size_t bytes() const;
    void rehash(std::size_t slotCount);

    std::size_t m_mostBytes;
    std::u16string m_texts;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_slots; // an entry's position + 1; 0: free
    std::uint32_t m_nullEntry = 0; // position + 1; 0: no null yet
};

} // namespace data

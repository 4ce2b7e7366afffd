#pragma once

// The new text of each old text that a batch of updates of a text column noted, looked up by
// the text a row holds, in place. Held compactly: the texts side by side in one buffer and an
// open-addressed table of their entries, so that a batch that changes hundreds of thousands
// of distinct values holds a few dozen bytes per value besides its texts, not a few hundred.

#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace data {

class TextMap
{
public:
    struct NewText
    {
        bool isNull = false;
        QStringView text;
    };

    // Room for count entries whose old and new texts have textLength characters in all.
    void reserve(std::size_t count, std::size_t textLength);
    // The old texts are distinct (the column of the noted updates is their key).
    void insert(QStringView old, bool isNull, QStringView text);
    // After the last insert, before the first find.
    void index();

    bool isEmpty() const { return m_entries.empty(); }
    // False when the text has no new text.
    bool find(std::u16string_view old, NewText* found) const;

private:
    struct Entry
    {
        std::size_t at = 0; // of the old text; the new one follows it
        std::uint32_t oldLength = 0;
        std::uint32_t newLength = 0;
        bool isNull = false;
    };
    std::u16string_view oldText(const Entry& entry) const
    {
        return std::u16string_view(m_texts).substr(entry.at, entry.oldLength);
    }

    std::u16string m_texts;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_slots; // an entry's position + 1; 0: free
};

} // namespace data

#pragma once

// The copy's INSERT of one record ("INSERT INTO `T` VALUES('a', NULL, 'b')"), kept as its
// values instead of as text. The work database binds the values to a prepared statement
// directly; the text is written out only when something reads it (a statement observer,
// an error report), and then reads exactly as the string the copy would have built by
// that point: each operation here is the text operation named beside it.

#include "data/paradox/table.h"

#include <QString>
#include <span>
#include <vector>

namespace data {

class Recordset;

class InsertStatement
{
public:
    // += "INSERT INTO `" + table + "` VALUES('"
    void start(const QString& table);
    // += the value's text between quotes with its apostrophes doubled, + "', '"; an empty
    // value chops the opening quote and adds "NULL, '". Reads the record set's current row
    // (throws core::Error as the record set does).
    void appendValue(const Recordset& records, int index);
    void chopSeparator(); // .chop(3): the last ", '"
    void closeValues(); // += ")"

    // Becomes a copy of other whose texts share no memory with it, reusing this statement's
    // own: a held copy then leaves the reader free to reuse the memory of its row.
    void copyFrom(const InsertStatement& other);

    QString text() const;
    const QString& table() const { return m_table; }
    // The copy text of each value (data::copyText); a null or empty one is a NULL.
    std::span<const paradox::Value> values() const { return { m_values.data(), m_count }; }
    // The statement as the copy sends it: started, every value appended, closed.
    bool isComplete() const { return m_isStarted && m_isSeparatorChopped && m_isClosed && m_count > 0; }

private:
    QString m_table;
    std::vector<paradox::Value> m_values; // the first m_count; the rest keep their memory
    std::size_t m_count = 0;
    bool m_isStarted = false;
    bool m_isSeparatorChopped = false;
    bool m_isClosed = false;
};

} // namespace data

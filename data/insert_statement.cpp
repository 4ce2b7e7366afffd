#include "data/insert_statement.h"

#include "data/ado.h"
#include "data/paradox_values.h"
#include "data/recordset.h"

using namespace Qt::StringLiterals;

namespace data {
namespace {

// The statement ends with an opening quote, and so does the result.
void appendValueText(QString& insert, const QString& text)
{
    if (text.isEmpty()) {
        insert.chop(1);
        insert += u"NULL, '"_s;
        return;
    }
    if (text.contains(u'\''))
        insert += QString(text).replace(u'\'', u"''"_s);
    else
        insert += text;
    insert += u"', '"_s;
}

// slot = value, a text copied into the slot's own memory when it has some: the copy then
// neither allocates nor keeps the reader from reusing the memory of its row.
void assignValue(paradox::Value& slot, const paradox::Value& value)
{
    const auto* text = std::get_if<QString>(&value);
    auto* ownText = std::get_if<QString>(&slot);
    if (text && ownText)
        ownText->setUnicode(text->constData(), text->size());
    else if (text)
        slot = QString(text->constData(), text->size());
    else
        slot = value;
}

} // namespace

void InsertStatement::start(const QString& table)
{
    m_table = table;
    m_count = 0;
    m_isStarted = true;
    m_isSeparatorChopped = false;
    m_isClosed = false;
}

void InsertStatement::appendValue(const Recordset& records, int index)
{
    if (m_count == m_values.size())
        m_values.emplace_back();
    paradox::Value& slot = m_values[m_count++];
    if (const paradox::Value* cell = records.paradoxValue(index)) {
        assignValue(slot, *cell);
        return;
    }
    // Bytes get a leading 0x: the work database turns a text of digits into a number in the
    // OLEOBJECT column of a blob, which would drop the leading zeros of bytes such as 00 12.
    QString text = records.valueText(index);
    const int type = records.fieldType(index);
    if (!text.isEmpty() && (type == ado::adBinary || type == ado::adLongVarBinary || type == 204))
        text.prepend(u"0x"_s);
    slot = std::move(text);
}

void InsertStatement::chopSeparator()
{
    m_isSeparatorChopped = true;
}

void InsertStatement::closeValues()
{
    m_isClosed = true;
}

void InsertStatement::copyFrom(const InsertStatement& other)
{
    m_table = other.m_table;
    m_isStarted = other.m_isStarted;
    m_isSeparatorChopped = other.m_isSeparatorChopped;
    m_isClosed = other.m_isClosed;
    if (m_values.size() < other.m_count)
        m_values.resize(other.m_count);
    m_count = other.m_count;
    for (std::size_t i = 0; i < m_count; ++i)
        assignValue(m_values[i], other.m_values[i]);
}

QString InsertStatement::text() const
{
    if (!m_isStarted)
        return {};
    QString insert = u"INSERT INTO `"_s + m_table + u"` VALUES('"_s;
    for (const paradox::Value& value : values())
        appendValueText(insert, copyText(value));
    if (m_isSeparatorChopped)
        insert.chop(3);
    if (m_isClosed)
        insert += u')';
    return insert;
}

} // namespace data

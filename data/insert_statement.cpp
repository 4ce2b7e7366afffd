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

} // namespace

void InsertStatement::start(const QString& table)
{
    m_table = table;
    m_values.clear();
    m_isStarted = true;
    m_isSeparatorChopped = false;
    m_isClosed = false;
}

void InsertStatement::appendValue(const Recordset& records, int index)
{
    if (const paradox::Value* cell = records.paradoxValue(index)) {
        m_values.push_back(*cell);
        return;
    }
    // Bytes get a leading 0x: the work database turns a text of digits into a number in the
    // OLEOBJECT column of a blob, which would drop the leading zeros of bytes such as 00 12.
    QString text = records.valueText(index);
    const int type = records.fieldType(index);
    if (!text.isEmpty() && (type == ado::adBinary || type == ado::adLongVarBinary || type == 204))
        text.prepend(u"0x"_s);
    m_values.emplace_back(std::move(text));
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
    m_values.resize(other.m_values.size());
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        const paradox::Value& value = other.m_values[i];
        const auto* text = std::get_if<QString>(&value);
        auto* ownText = std::get_if<QString>(&m_values[i]);
        if (text && ownText)
            ownText->setUnicode(text->constData(), text->size());
        else if (text)
            m_values[i] = QString(text->constData(), text->size());
        else
            m_values[i] = value;
    }
}

QString InsertStatement::text() const
{
    if (!m_isStarted)
        return {};
    QString insert = u"INSERT INTO `"_s + m_table + u"` VALUES('"_s;
    for (const paradox::Value& value : m_values)
        appendValueText(insert, copyText(value));
    if (m_isSeparatorChopped)
        insert.chop(3);
    if (m_isClosed)
        insert += u')';
    return insert;
}

} // namespace data

#include "data/update_statement.h"

using namespace Qt::StringLiterals;

namespace data {
namespace {

class Scanner
{
public:
    explicit Scanner(QStringView text)
        : m_text(text)
    { }

    bool take(QStringView word)
    {
        if (!m_text.mid(m_at).startsWith(word))
            return false;
        m_at += word.size();
        return true;
    }

    // A bare identifier or a name in backquotes.
    std::optional<QString> name()
    {
        if (m_at >= m_text.size())
            return std::nullopt;
        if (m_text[m_at] == u'`') {
            const qsizetype end = m_text.indexOf(u'`', m_at + 1);
            if (end <= m_at + 1)
                return std::nullopt;
            QString result = m_text.mid(m_at + 1, end - m_at - 1).toString();
            m_at = end + 1;
            return result;
        }
        const qsizetype start = m_at;
        while (m_at < m_text.size()
            && (isAsciiLetter(m_text[m_at]) || m_text[m_at] == u'_'
                || (m_at > start && m_text[m_at].unicode() >= u'0' && m_text[m_at].unicode() <= u'9')))
            ++m_at;
        if (m_at == start)
            return std::nullopt;
        return m_text.mid(start, m_at - start).toString();
    }

    // A quoted text whose apostrophes are doubled, without its quotes.
    std::optional<QString> text()
    {
        if (!take(u"'"))
            return std::nullopt;
        QString result;
        for (;;) {
            const qsizetype quote = m_text.indexOf(u'\'', m_at);
            if (quote < 0)
                return std::nullopt;
            result += m_text.mid(m_at, quote - m_at);
            if (quote + 1 < m_text.size() && m_text[quote + 1] == u'\'') {
                result += u'\'';
                m_at = quote + 2;
                continue;
            }
            m_at = quote + 1;
            return result;
        }
    }

    bool isAtEnd() const { return m_at == m_text.size(); }

private:
    static bool isAsciiLetter(QChar c)
    {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
    }

    QStringView m_text;
    qsizetype m_at = 0;
};

} // namespace

std::optional<UpdateStatement> parseUpdateStatement(QStringView sql)
{
    Scanner scan(sql);
    UpdateStatement update;
    if (!scan.take(u"update "))
        return std::nullopt;
    const auto table = scan.name();
    if (!table || !scan.take(u" set "))
        return std::nullopt;
    const auto field = scan.name();
    if (!field || !scan.take(u"="))
        return std::nullopt;
    const auto newText = scan.text();
    if (!newText || !scan.take(u" where "))
        return std::nullopt;
    const auto tested = scan.name();
    if (!tested || *tested != *field)
        return std::nullopt;
    if (scan.take(u" is null ")) {
        update.isNullTest = true;
    } else {
        if (!scan.take(u"="))
            return std::nullopt;
        const auto oldText = scan.text();
        if (!oldText)
            return std::nullopt;
        update.oldText = *oldText;
    }
    if (!scan.isAtEnd())
        return std::nullopt;
    update.table = *table;
    update.field = *field;
    update.newText = *newText;
    return update;
}

} // namespace data

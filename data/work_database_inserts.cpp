// The work database's inserts: the copy's INSERT texts recognised and run through one
// prepared statement, and the copy's inserts held as values (insert_statement.h), bound
// directly and run several records per statement.

#include "data/insert_statement.h"
#include "data/paradox_values.h"
#include "data/work_database_backend.h"
#include "data/work_database_internal.h"

#include "core/error_report.h"

#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// SQLite's own text-to-double conversion can miss the nearest double by one unit for very
// large or small magnitudes; the copy must give back every Number exactly, so a plain
// decimal bound for a REAL column is converted here, correctly rounded.
std::optional<double> exactNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 64)
        return std::nullopt;
    char buffer[64] = {};
    qsizetype digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool isDigit = c >= u'0' && c <= u'9';
        digits += isDigit ? 1 : 0;
        if (!isDigit && c != u'.' && c != u'-' && c != u'+' && c != u'e' && c != u'E')
            return std::nullopt;
        buffer[i] = static_cast<char>(c);
    }
    const char* begin = buffer + (buffer[0] == '+' ? 1 : 0);
    const char* end = buffer + text.size();
    double value = 0;
    const auto result = std::from_chars(begin, end, value);
    if (digits == 0 || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

// A plain whole number that fits 64 bits, as an INTEGER column would store the text.
std::optional<qint64> exactInteger(QStringView text)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text[0] == u'0'))
        return std::nullopt;
    const bool isNegative = text[0] == u'-';
    if (isNegative && (text.size() == 1 || text[1] == u'0'))
        return std::nullopt;
    qint64 value = 0;
    for (qsizetype i = isNegative ? 1 : 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return isNegative ? -value : value;
}

// The start of the copy's insert text, up to VALUES.
QString copyInsertHead(const QString& table)
{
    return u"INSERT INTO `"_s + table + u"` "_s;
}

} // namespace

constexpr int kBatchRows = 32;

struct WorkDatabaseBackend::PreparedInsert
{
    Statement statement;
    std::vector<Affinity> affinities;
    QString head; // the statement up to VALUES
    int valueCount = 0;
    QString table;
    Statement batch; // batchRows records in one statement
    int batchRows = 1;
};

namespace {

// Binds a value the statement text gave between quotes, as SQLite would store the literal
// in a column of this affinity. The text must stay alive until the statement has run.
void bindQuoted(sqlite3_stmt* statement, int parameter, QStringView value, Affinity affinity)
{
    if (affinity == Affinity::Real) {
        if (const auto number = exactNumber(value)) {
            sqlite3_bind_double(statement, parameter, *number);
            return;
        }
    } else if (affinity == Affinity::Integer) {
        // What SQLite would make of the text, without its conversion.
        if (const auto number = exactInteger(value)) {
            sqlite3_bind_int64(statement, parameter, *number);
            return;
        }
    }
    sqlite3_bind_text16(statement, parameter, value.utf16(), static_cast<int>(value.size() * 2), SQLITE_STATIC);
}

} // namespace

// The copy sends one INSERT text per record; preparing a million texts would cost more than
// the rest of the copy together. An INSERT whose values are all quoted texts or NULL is
// therefore run through one prepared statement per table, with the texts bound: SQLite
// gives bound texts the same column affinity as literal ones. Anything else takes the
// ordinary way.
bool WorkDatabaseBackend::tryFastInsert(const QString& sql)
{
    const QStringView text(sql);
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < text.size() && text[at].isSpace())
            ++at;
    };
    const auto take = [&](QStringView word) {
        // Punctuation needs no case folding, and it is most of what a row's text holds.
        if (word.size() == 1) {
            if (at >= text.size() || text[at] != word[0])
                return false;
            ++at;
            return true;
        }
        if (text.mid(at, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        at += word.size();
        return true;
    };
    skipBlanks();
    if (!take(u"INSERT") || at >= text.size() || !text[at].isSpace())
        return false;
    skipBlanks();
    if (!take(u"INTO"))
        return false;
    skipBlanks();
    if (at >= text.size())
        return false;
    const qsizetype nameStart = at;
    const char16_t open = text[at].unicode();
    if (open == u'`' || open == u'[' || open == u'"') {
        const char16_t close = open == u'[' ? u']' : open;
        const qsizetype end = text.indexOf(QChar(close), at + 1);
        if (end < 0)
            return false;
        at = end + 1;
    } else {
        while (at < text.size() && (text[at].isLetterOrNumber() || text[at] == u'_'))
            ++at;
    }
    const qsizetype nameEnd = at;
    if (nameEnd - nameStart < (open == u'`' || open == u'[' || open == u'"' ? 3 : 1))
        return false;
    skipBlanks();
    const qsizetype headEnd = at;
    if (!take(u"VALUES"))
        return false;
    skipBlanks();
    if (!take(u"("))
        return false;

    // Each value as a piece of the statement text; only a text with doubled quotes needs a
    // copy of its own.
    m_literals.clear();
    m_unquoted.clear();
    for (;;) {
        skipBlanks();
        if (at < text.size() && text[at] == u'\'') {
            const qsizetype start = ++at;
            bool hasDoubledQuotes = false;
            for (;;) {
                const qsizetype quote = text.indexOf(u'\'', at);
                if (quote < 0)
                    return false;
                if (quote + 1 < text.size() && text[quote + 1] == u'\'') {
                    hasDoubledQuotes = true;
                    at = quote + 2;
                    continue;
                }
                at = quote + 1;
                m_literals.push_back({ start, quote - start, hasDoubledQuotes, false });
                break;
            }
        } else if (take(u"NULL")) {
            m_literals.push_back({ 0, 0, false, true });
        } else {
            return false;
        }
        skipBlanks();
        if (take(u","))
            continue;
        if (take(u")"))
            break;
        return false;
    }
    skipBlanks();
    take(u";");
    skipBlanks();
    if (at != text.size())
        return false;

    const int valueCount = static_cast<int>(m_literals.size());
    QStringView table = text.mid(nameStart, nameEnd - nameStart);
    if (open == u'`' || open == u'[' || open == u'"')
        table = table.mid(1, table.size() - 2);
    PreparedInsert* insert = lastOrPreparedInsert(text.left(headEnd), table, valueCount);
    if (!insert)
        return false;
    sqlite3_stmt* statement = insert->statement.get();
    m_unquoted.clear();
    m_unquoted.reserve(m_literals.size()); // the bound texts must not move
    for (int i = 0; i < valueCount; ++i) {
        const Literal& literal = m_literals[static_cast<std::size_t>(i)];
        const int parameter = i + 1;
        if (literal.isNull) {
            sqlite3_bind_null(statement, parameter);
            continue;
        }
        QStringView value = text.mid(literal.start, literal.length);
        if (literal.hasDoubledQuotes) {
            m_unquoted.push_back(value.toString().replace(u"''"_s, u"'"_s));
            value = m_unquoted.back();
        }
        bindQuoted(statement, parameter, value, insert->affinities[static_cast<std::size_t>(i)]);
    }
    if (const QString problem = runBound(statement); !problem.isEmpty())
        throw core::Error(failure(u"%1 (in the statement %2)"_s.arg(problem, shortened(sql))));
    return true;
}

// The copy's inserts, bound from the values they hold. Inside a transaction they are held
// and run kBatchRows records to a statement, which saves SQLite most of its work per
// statement; nothing outside the connection can see the records before the commit, and
// everything done with this connection runs the held ones first.
void WorkDatabaseBackend::execute(const InsertStatement& insert, DeferredDrops* drops)
{
    m_rowsByValue.reset();
    const QString& table = insert.table();
    if (!insert.isComplete() || table.contains(u'`')) {
        execute(insert.text(), drops);
        return;
    }
    const int valueCount = static_cast<int>(insert.values().size());
    PreparedInsert* prepared = m_lastInsert;
    // The same table and count is the same statement, whatever the text spelled around it.
    if (!prepared || prepared->valueCount != valueCount || prepared->table != table) {
        flushInserts();
        prepared = lastOrPreparedInsert(copyInsertHead(table), table, valueCount);
    }
    if (!prepared) {
        execute(insert.text(), drops);
        return;
    }
    if (prepared->batchRows < 2 || sqlite3_get_autocommit(m_db->get())) {
        runInsert(insert, *prepared);
        return;
    }
    if (m_pendingCount == m_pending.size())
        m_pending.emplace_back();
    m_pending[m_pendingCount++].copyFrom(insert);
    m_pendingInsert = prepared;
    if (m_pendingCount == static_cast<std::size_t>(prepared->batchRows))
        flushInserts();
}

// Each value is bound exactly as the same value in the statement text would be (see
// bindQuoted): a whole number read from an integer field into an INTEGER column, and a
// finite number into a REAL column, skip the round trip through their text; everything
// else is bound as its text. Texts made here live in m_valueTexts until the statement ran.
void WorkDatabaseBackend::bindValues(
    sqlite3_stmt* statement, int firstParameter, const InsertStatement& insert, const PreparedInsert& prepared)
{
    const std::span<const paradox::Value> values = insert.values();
    for (std::size_t i = 0; i < values.size(); ++i) {
        const paradox::Value& value = values[i];
        const Affinity affinity = prepared.affinities[i];
        const int parameter = firstParameter + static_cast<int>(i);
        if (const auto* number = std::get_if<std::int32_t>(&value); number && affinity == Affinity::Integer) {
            sqlite3_bind_int64(statement, parameter, *number);
            continue;
        }
        if (const auto* real = std::get_if<double>(&value);
            real && affinity == Affinity::Real && std::isfinite(*real)) {
            sqlite3_bind_double(statement, parameter, *real);
            continue;
        }
        const QString* text = std::get_if<QString>(&value);
        if (!text) {
            // The copy text, written into a string kept from statement to statement.
            if (m_valueTextsUsed == m_valueTexts.size())
                m_valueTexts.emplace_back();
            QString& own = m_valueTexts[m_valueTextsUsed++]; // moving it later keeps its characters
            own.resize(0);
            appendCopyText(own, value);
            text = &own;
        }
        if (text->isEmpty())
            sqlite3_bind_null(statement, parameter);
        else
            bindQuoted(statement, parameter, *text, affinity);
    }
}

void WorkDatabaseBackend::runInsert(const InsertStatement& insert, const PreparedInsert& prepared)
{
    m_valueTextsUsed = 0;
    bindValues(prepared.statement.get(), 1, insert, prepared);
    if (const QString problem = runBound(prepared.statement.get()); !problem.isEmpty())
        throw core::Error(failure(u"%1 (in the statement %2)"_s.arg(problem, shortened(insert.text()))));
}

void WorkDatabaseBackend::flushInserts()
{
    const std::size_t count = std::exchange(m_pendingCount, 0);
    if (count == 0)
        return;
    const PreparedInsert& prepared = *m_pendingInsert;
    m_valueTextsUsed = 0;
    if (count < static_cast<std::size_t>(prepared.batchRows)) {
        for (std::size_t i = 0; i < count; ++i)
            runInsert(m_pending[i], prepared);
        return;
    }
    sqlite3_stmt* statement = prepared.batch.get();
    for (std::size_t i = 0; i < count; ++i)
        bindValues(statement, static_cast<int>(i) * prepared.valueCount + 1, m_pending[i], prepared);
    // Without a journal SQLite cannot take back part of a statement, so the records are not
    // tried again one by one: the copy is incomplete either way.
    if (const QString problem = runBound(statement); !problem.isEmpty())
        throw core::Error(failure(u"%1 (in the statement %2, or in one of the %3 sent with it)"_s
                                     .arg(problem, shortened(m_pending.front().text()))
                                     .arg(count - 1)));
}

void WorkDatabaseBackend::forgetPreparedInserts()
{
    flushInserts();
    m_inserts.clear();
    m_lastInsert = nullptr;
    m_pendingInsert = nullptr;
}

WorkDatabaseBackend::PreparedInsert* WorkDatabaseBackend::lastOrPreparedInsert(
    QStringView head, QStringView table, int valueCount)
{
    if (m_lastInsert && valueCount == m_lastInsert->valueCount && head == m_lastInsert->head)
        return m_lastInsert;
    m_lastInsert = preparedInsert(head.toString(), table.toString(), valueCount);
    return m_lastInsert;
}

WorkDatabaseBackend::PreparedInsert* WorkDatabaseBackend::preparedInsert(
    const QString& head, const QString& table, int valueCount)
{
    const QString key = head + u'#' + QString::number(valueCount);
    if (const auto found = m_inserts.constFind(key); found != m_inserts.constEnd())
        return found.value().get();

    std::vector<Affinity> affinities;
    {
        Statement columns(m_db, u"SELECT type FROM pragma_table_info(?)"_s);
        sqlite3_bind_text16(
            columns.get(), 1, table.utf16(), static_cast<int>(table.size() * 2), SQLITE_TRANSIENT);
        while (columns.step()) {
            const QString declared = sqliteText(sqlite3_column_text(columns.get(), 0));
            affinities.push_back(affinityOf(declared));
        }
    }
    // A missing table or a wrong number of values: let the ordinary way give SQLite's message.
    if (affinities.size() != static_cast<std::size_t>(valueCount))
        return nullptr;
    QString row = u"("_s;
    for (int i = 0; i < valueCount; ++i)
        row += i == 0 ? u"?"_s : u",?"_s;
    row += u')';
    auto insert = std::make_shared<PreparedInsert>(PreparedInsert {
        Statement(m_db, head + u" VALUES"_s + row), std::move(affinities), head, valueCount, table, Statement(), 1 });
    // As many records to a statement as SQLite takes parameters, up to kBatchRows.
    const int parameterLimit = sqlite3_limit(m_db->get(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
    insert->batchRows = std::clamp(parameterLimit / std::max(valueCount, 1), 1, kBatchRows);
    if (insert->batchRows > 1) {
        QStringList rows;
        for (int i = 0; i < insert->batchRows; ++i)
            rows << row;
        insert->batch = Statement(m_db, head + u" VALUES"_s + rows.join(u','));
    }
    m_inserts.insert(key, insert);
    return insert.get();
}

} // namespace data

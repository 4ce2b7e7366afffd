// The change run's updates on the work database. It sends one update text per distinct
// value of the field:
//
//     update T set F='new' where F='old'        update T set F='new' where F is null
//
// Compiling each text (with the table's triggers) would cost more than the update itself,
// so both forms run through prepared statements with the texts bound; a bound text meets
// the same column affinity as a literal one, so the rows matched and the values stored are
// the same.
//
// The rows are found first and then changed one by one by rowid, each change checking the
// old value again: the same rows get the same value and row triggers fire for each as
// before. SQLite needs an index on F to find them and a temporary table per statement to
// change them through that index; a text column instead gets a look-up of its own here
// (RowsByValue), which no change has to keep up to date row by row.

#include "data/safe_names.h"
#include "data/update_statement.h"
#include "data/work_database_backend.h"
#include "data/work_database_internal.h"

#include "core/error_report.h"

#include <QStringList>
#include <algorithm>
#include <limits>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// A bare keyword would make the text fail; the prepared form must not quietly accept it.
bool isKeyword(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    return sqlite3_keyword_check(utf8.constData(), static_cast<int>(utf8.size())) != 0;
}

quint64 hashOf(QStringView text)
{
    return qHash(text, 0x5eedU);
}

QString errorText(sqlite3* db)
{
    return sqliteText(reinterpret_cast<const unsigned char*>(sqlite3_errmsg(db)));
}

} // namespace

struct WorkDatabaseBackend::PreparedUpdate
{
    Statement find; // SELECT rowid FROM T WHERE F = ?1 (or F IS NULL)
    Statement change; // UPDATE T SET F = ?1 WHERE rowid = ?2 AND F = ?3 (or F IS NULL)
};

// Candidates for the rows of a text column that hold a value: every row whose text has the
// value's hash when the look-up was made, and every row an update changed to a text of
// that hash since. A candidate may hold another value (a hash collision, a row changed
// since): the change checks the value again. A text column under binary collation holds
// texts, nulls, and blobs that equal no text, so no row that holds the value is missing.
// Anything else done with the database drops the look-up.
struct WorkDatabaseBackend::RowsByValue
{
    QString table;
    QString field;
    std::vector<std::pair<quint64, std::int64_t>> byHash; // sorted
    std::vector<std::int64_t> nulls;
    QHash<quint64, std::vector<std::int64_t>> changed;
};

// Null when the statements cannot be prepared (no such table or field, no rowid): the
// ordinary way then gives SQLite's own message for the text sent.
std::shared_ptr<WorkDatabaseBackend::PreparedUpdate> WorkDatabaseBackend::preparedUpdate(
    const QString& table, const QString& field, bool isNullTest)
{
    QStringList columns;
    {
        Statement info(m_db, u"SELECT name FROM pragma_table_info(?)"_s);
        sqlite3_bind_text16(info.get(), 1, table.utf16(), static_cast<int>(table.size() * 2), SQLITE_TRANSIENT);
        while (info.step())
            columns << sqliteText(sqlite3_column_text(info.get(), 0));
    }
    const QString rowId = rowIdName(columns);
    if (columns.isEmpty() || rowId.isEmpty())
        return nullptr;
    const QString t = delimitedName(table);
    const QString f = delimitedName(field);
    const QString test = isNullTest ? f + u" IS NULL"_s : f + u" = ?3"_s;
    try {
        return std::make_shared<PreparedUpdate>(PreparedUpdate {
            Statement(m_db,
                u"SELECT "_s + rowId + u" FROM "_s + t + u" WHERE "_s + (isNullTest ? test : f + u" = ?1"_s)),
            Statement(m_db,
                u"UPDATE "_s + t + u" SET "_s + f + u" = ?1 WHERE "_s + rowId + u" = ?2 AND "_s + test) });
    } catch (const core::Error&) {
        return nullptr; // a table without rowid, say
    }
}

// The look-up of a text column under binary collation, made on first use; null for any
// other column.
WorkDatabaseBackend::RowsByValue* WorkDatabaseBackend::rowsByValue(const QString& table, const QString& field)
{
    if (m_rowsByValue && m_rowsByValue->table == table && m_rowsByValue->field == field)
        return m_rowsByValue.get();
    m_rowsByValue.reset();
    const char* declared = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(m_db->get(), "main", table.toUtf8().constData(), field.toUtf8().constData(),
            &declared, &collation, nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return nullptr;
    if (affinityOf(QString::fromUtf8(declared ? declared : "")) != Affinity::Text
        || QString::fromUtf8(collation ? collation : "").compare(u"BINARY"_s, Qt::CaseInsensitive) != 0)
        return nullptr;

    auto rows = std::make_shared<RowsByValue>();
    rows->table = table;
    rows->field = field;
    try {
        Statement all(m_db, u"SELECT rowid, "_s + delimitedName(field) + u" FROM "_s + delimitedName(table));
        while (all.step()) {
            const std::int64_t rowId = sqlite3_column_int64(all.get(), 0);
            switch (sqlite3_column_type(all.get(), 1)) {
            case SQLITE_NULL:
                rows->nulls.push_back(rowId);
                break;
            case SQLITE_TEXT: {
                const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(all.get(), 1));
                rows->byHash.emplace_back(
                    hashOf(QStringView(text, sqlite3_column_bytes16(all.get(), 1) / 2)), rowId);
                break;
            }
            default:
                break; // a blob equals no text
            }
        }
    } catch (const core::Error&) {
        return nullptr;
    }
    std::sort(rows->byHash.begin(), rows->byHash.end());
    m_rowsByValue = std::move(rows);
    return m_rowsByValue.get();
}

// The rows an update may change into m_rowIds, each once.
void WorkDatabaseBackend::findRows(const PreparedUpdate& prepared, const UpdateStatement& update, const QString& sql)
{
    const QString& oldText = update.oldText;
    const bool isNullTest = update.isNullTest;
    m_rowIds.clear();
    if (RowsByValue* rows = rowsByValue(update.table, update.field)) {
        if (isNullTest) {
            m_rowIds = rows->nulls;
        } else {
            const quint64 hash = hashOf(oldText);
            auto at = std::lower_bound(rows->byHash.begin(), rows->byHash.end(), std::pair { hash, std::numeric_limits<std::int64_t>::min() });
            for (; at != rows->byHash.end() && at->first == hash; ++at)
                m_rowIds.push_back(at->second);
            if (const auto changed = rows->changed.constFind(hash); changed != rows->changed.constEnd())
                m_rowIds.insert(m_rowIds.end(), changed->begin(), changed->end());
        }
        std::sort(m_rowIds.begin(), m_rowIds.end());
        m_rowIds.erase(std::unique(m_rowIds.begin(), m_rowIds.end()), m_rowIds.end());
        return;
    }
    sqlite3_stmt* find = prepared.find.get();
    if (!isNullTest)
        sqlite3_bind_text16(find, 1, oldText.utf16(), static_cast<int>(oldText.size() * 2), SQLITE_STATIC);
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(find)) == SQLITE_ROW)
        m_rowIds.push_back(sqlite3_column_int64(find, 0));
    const QString problem = result == SQLITE_DONE ? QString() : errorText(m_db->get());
    sqlite3_reset(find);
    sqlite3_clear_bindings(find);
    if (!problem.isEmpty())
        throw core::Error(failure(u"%1 (in the statement %2)"_s.arg(problem, shortened(sql))));
}

bool WorkDatabaseBackend::tryFastUpdate(const QString& sql)
{
    const auto update = parseUpdateStatement(sql);
    if (!update)
        return false;
    const bool isQuoted = sql.contains(u'`');
    const QString key = update->table + u'\n' + update->field + (update->isNullTest ? u"\nnull"_s : u"\nvalue"_s)
        + (isQuoted ? u"\nquoted"_s : QString());
    auto found = m_updates.find(key);
    if (found == m_updates.end()) {
        const bool isRefused = !isQuoted && (isKeyword(update->table) || isKeyword(update->field));
        found = m_updates.insert(
            key, isRefused ? nullptr : preparedUpdate(update->table, update->field, update->isNullTest));
    }
    if (!found.value())
        return false;
    const PreparedUpdate& prepared = *found.value();

    findRows(prepared, *update, sql);
    sqlite3_stmt* change = prepared.change.get();
    const quint64 newHash = hashOf(update->newText);
    for (const std::int64_t rowId : m_rowIds) {
        sqlite3_bind_text16(
            change, 1, update->newText.utf16(), static_cast<int>(update->newText.size() * 2), SQLITE_STATIC);
        sqlite3_bind_int64(change, 2, rowId);
        if (!update->isNullTest)
            sqlite3_bind_text16(
                change, 3, update->oldText.utf16(), static_cast<int>(update->oldText.size() * 2), SQLITE_STATIC);
        if (const QString problem = runBound(change); !problem.isEmpty()) {
            m_rowsByValue.reset(); // what the failed change left is unknown
            throw core::Error(failure(u"%1 (in the statement %2)"_s.arg(problem, shortened(sql))));
        }
        if (m_rowsByValue && sqlite3_changes(m_db->get()) > 0)
            m_rowsByValue->changed[newHash].push_back(rowId);
    }
    return true;
}

} // namespace data

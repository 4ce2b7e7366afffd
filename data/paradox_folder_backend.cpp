// A connection to a folder of Paradox tables, on our own file code. It understands the
// statements the program sends to such a folder, and nothing else:
//     SELECT * FROM `T`        SELECT `F` FROM `T`        DROP TABLE `T`
// with names in backquotes, square brackets or bare.

#include "core/error_report.h"
#include "data/backend.h"
#include "data/backups.h"
#include "data/deferred_drops.h"
#include "data/memory_cursor.h"
#include "data/paradox/table.h"
#include "data/paradox_values.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace data {
namespace {

// A name in backquotes, in square brackets, or bare.
const QString kName = u"(?:`([^`]*)`|\\[([^\\]]*)\\]|([^\\s`\\[\\];]+))"_s;

QString nameOf(const QRegularExpressionMatch& match, int first)
{
    for (int i = first; i < first + 3; ++i) {
        if (match.hasCaptured(i))
            return match.captured(i);
    }
    return {};
}

class ParadoxCursor : public Cursor
{
public:
    ParadoxCursor(std::unique_ptr<paradox::TableReader> reader, std::vector<int> columns)
        : m_reader(std::move(reader))
        , m_columns(std::move(columns))
    {
        read();
    }
    int fieldCount() const override { return static_cast<int>(m_columns.size()); }
    QString fieldName(int index) const override { return field(index).name; }
    int fieldType(int index) const override { return adoTypeOf(field(index).type); }
    bool atEnd() const override { return m_isAtEnd; }
    std::int64_t recordCount() const override { return m_reader->info().recordCount; }
    bool isNull(int index) const override { return paradox::isNull(cell(index)); }
    QVariant value(int index) const override { return toVariant(cell(index)); }
    QString valueText(int index) const override { return paradox::valueText(cell(index)); }
    void moveNext() override
    {
        if (m_isAtEnd)
            throw core::Error(u"Either BOF or EOF is True: there is no next record."_s);
        read();
    }
    const paradox::TableInfo* sourceTable() const override { return &m_reader->info(); }
    const paradox::Value* paradoxValue(int index) const override { return &cell(index); }
    const paradox::Value& cell(int index) const
    {
        if (m_isAtEnd)
            throw core::Error(u"Either BOF or EOF is True: there is no current record."_s);
        return m_row.at(static_cast<std::size_t>(m_columns.at(static_cast<std::size_t>(index))));
    }

private:
    const paradox::Field& field(int index) const
    {
        return m_reader->info().fields.at(
            static_cast<std::size_t>(m_columns.at(static_cast<std::size_t>(index))));
    }
    void read()
    {
        m_isAtEnd = !m_reader->readNext(m_row);
        if (m_isAtEnd && !m_reader->error().isEmpty())
            throw core::Error(m_reader->error());
    }

    std::unique_ptr<paradox::TableReader> m_reader;
    std::vector<int> m_columns;
    paradox::Row m_row;
    bool m_isAtEnd = true;
};

class ParadoxFolderBackend : public Backend
{
public:
    explicit ParadoxFolderBackend(QString folder)
        : m_folder(std::move(folder))
    {
        if (m_folder.isEmpty())
            throw core::Error(u"No Paradox folder is given."_s);
        if (!QFileInfo(m_folder).isDir())
            throw core::Error(
                u"The Paradox folder %1 does not exist."_s.arg(QDir::toNativeSeparators(m_folder)));
    }

    void execute(const QString& sql, DeferredDrops* drops) override
    {
        static const QRegularExpression drop(
            u"^\\s*DROP\\s+TABLE\\s+%1\\s*;?\\s*$"_s.arg(kName), QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = drop.match(sql);
        if (!match.hasMatch())
            throw notUnderstood(sql);
        const QString table = nameOf(match, 1);
        tableFile(table); // throws when there is no such table
        if (drops) {
            if (!drops->find(m_folder, table))
                drops->hold({ m_folder, table, newBackupFolder(drops->backupRoot(), table) });
            return;
        }
        QString error;
        if (!paradox::dropTable(m_folder, table, &error))
            throw core::Error(u"The table %1 could not be dropped: %2"_s.arg(table, error));
    }

    std::unique_ptr<Cursor> query(const QString& sql, const CursorOptions&) override
    {
        static const QRegularExpression select(
            u"^\\s*SELECT\\s+(?:(\\*)|%1)\\s+FROM\\s+%1\\s*;?\\s*$"_s.arg(kName),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = select.match(sql);
        if (!match.hasMatch())
            throw notUnderstood(sql);
        const QString table = nameOf(match, 5);
        QString error;
        std::unique_ptr<paradox::TableReader> reader = paradox::openTable(tableFile(table), &error);
        if (!reader)
            throw core::Error(error);
        std::vector<int> columns;
        const std::vector<paradox::Field>& fields = reader->info().fields;
        if (match.hasCaptured(1)) {
            for (std::size_t i = 0; i < fields.size(); ++i)
                columns.push_back(static_cast<int>(i));
        } else {
            const QString name = nameOf(match, 2);
            for (std::size_t i = 0; i < fields.size() && columns.empty(); ++i) {
                if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                    columns.push_back(static_cast<int>(i));
            }
            if (columns.empty())
                throw core::Error(u"The table %1 has no field %2."_s.arg(table, name));
        }
        return std::make_unique<ParadoxCursor>(std::move(reader), std::move(columns));
    }

    std::unique_ptr<Cursor> tableList() override
    {
        std::vector<std::vector<QVariant>> rows;
        const QStringList files
            = QDir(m_folder).entryList({ u"*.db"_s }, QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& file : files)
            rows.push_back({ QVariant(), QVariant(), QFileInfo(file).completeBaseName(), u"TABLE"_s });
        std::vector<MemoryCursor::Column> columns { { u"TABLE_CATALOG"_s, 202 }, { u"TABLE_SCHEMA"_s, 202 },
            { u"TABLE_NAME"_s, 202 }, { u"TABLE_TYPE"_s, 202 } };
        return std::make_unique<MemoryCursor>(std::move(columns), std::move(rows));
    }

private:
    QString tableFile(const QString& table) const
    {
        const QString file = paradox::findTableFile(m_folder, table);
        if (file.isEmpty())
            throw core::Error(
                u"The Paradox folder %1 has no table %2."_s.arg(QDir::toNativeSeparators(m_folder), table));
        return file;
    }

    static core::Error notUnderstood(const QString& sql)
    {
        return core::Error(
            u"A Paradox folder understands SELECT * FROM, SELECT one field FROM and DROP TABLE, "
            "not this statement: %1"_s.arg(sql));
    }

    QString m_folder;
};

} // namespace

std::unique_ptr<Backend> openParadoxFolder(const QString& folder)
{
    return std::make_unique<ParadoxFolderBackend>(folder);
}

} // namespace data

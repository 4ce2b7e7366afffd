#include "data/table_export.h"

#include "core/error_report.h"
#include "data/backups.h"
#include "data/workdb/work_values.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace data {
namespace {

using paradox::FieldType;

constexpr int kLargestAlpha = 255;

// A column that did not come from a Paradox field: the nearest Paradox type.
paradox::Field fieldForDeclaredType(const WorkColumn& column)
{
    const QString type = column.declaredType.toLower();
    const auto field = [&](FieldType fieldType, int size) {
        return paradox::Field { column.name, fieldType, size };
    };
    if (type.contains(u"char"_s) || type.contains(u"text"_s))
        return field(FieldType::Alpha, 1);
    if (type.contains(u"int"_s))
        return field(FieldType::Long, 4);
    if (type.contains(u"oleobject"_s) || type.contains(u"blob"_s))
        return field(FieldType::Blob, 10);
    if (type.contains(u"datetime"_s) || type.contains(u"timestamp"_s))
        return field(FieldType::Timestamp, 8);
    if (type.contains(u"date"_s))
        return field(FieldType::Date, 4);
    if (type.contains(u"time"_s))
        return field(FieldType::Time, 4);
    if (type.contains(u"bit"_s) || type.contains(u"bool"_s))
        return field(FieldType::Logical, 1);
    if (type.contains(u"real"_s) || type.contains(u"floa"_s) || type.contains(u"doub"_s)
        || type.contains(u"decimal"_s) || type.contains(u"numeric"_s))
        return field(FieldType::Number, 8);
    if (type.contains(u"currency"_s) || type.contains(u"money"_s))
        return field(FieldType::Money, 8);
    return field(FieldType::Alpha, 1);
}

// Alpha fields keep their size unless a value no longer fits; then they grow to the
// longest value, up to the largest Alpha field. Lengths count characters, which is bytes
// in the single-byte code pages of Paradox tables.
void widenAlphaFields(WorkDatabase& database, const QString& source, qint64 rowLimit,
    std::vector<paradox::Field>& fields, const QString& target)
{
    QStringList lengths;
    std::vector<std::size_t> alpha;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].type != FieldType::Alpha)
            continue;
        alpha.push_back(i);
        // length() counts characters, and to count them it converts each UTF-16 text to
        // UTF-8; half the bytes count the same for every character of a Paradox code page.
        const QString column = QString(fields[i].name).replace(u'"', u"\"\""_s);
        lengths << u"max(length(CAST(\"%1\" AS BLOB))) / 2"_s.arg(column);
    }
    if (alpha.empty())
        return;
    sqlite::Statement statement(database.handle(),
        u"SELECT %1 FROM (SELECT * FROM %2 LIMIT %3)"_s.arg(lengths.join(u", "_s), sqlite::quoted(source)).arg(rowLimit));
    if (!statement.step())
        return;
    for (std::size_t k = 0; k < alpha.size(); ++k) {
        paradox::Field& field = fields[alpha[k]];
        const auto longest = static_cast<int>(statement.intAt(static_cast<int>(k)));
        if (longest > kLargestAlpha)
            throw core::Error(u"Table %1: a value of field %2 has %3 characters, but an Alpha field holds at "
                             "most %4."_s.arg(target, field.name)
                                 .arg(longest)
                                 .arg(kLargestAlpha));
        field.size = std::max(field.size, longest);
    }
}

// Writes the rows of the work table into a new Paradox table, not yet placed. Returns null
// when stopOnLongText is set and an Alpha value is longer than its field.
std::unique_ptr<paradox::TableWriter> writeRows(WorkTable& work, const paradox::NewTable& table, qint64 rowLimit, bool stopOnLongText)
{
    const QString& target = table.name;
    QString error;
    std::unique_ptr<paradox::TableWriter> writer = paradox::createTable(table, &error);
    if (!writer)
        throw core::Error(error);
    const std::unique_ptr<WorkTable::RowReader> rows = work.rows();
    const int columnCount = static_cast<int>(table.fields.size());
    paradox::Row row(table.fields.size());
    qint64 rowNumber = 0;
    while (rowNumber < rowLimit && rows->next()) {
        ++rowNumber;
        for (int i = 0; i < columnCount; ++i) {
            const paradox::Field& field = table.fields[static_cast<std::size_t>(i)];
            paradox::Value& value = row[static_cast<std::size_t>(i)];
            // One look-up of the column; its value stays valid until the next step.
            if (const auto problem = assignFieldValue(rows->value(i), field, value))
                throw core::Error(u"Table %1, row %2, field %3: %4. Nothing was written."_s.arg(target)
                                     .arg(rowNumber)
                                     .arg(field.name, *problem));
            if (stopOnLongText && field.type == FieldType::Alpha) {
                if (const auto* text = std::get_if<QString>(&value); text && text->size() > field.size)
                    return nullptr; // the writer removes what it wrote
            }
        }
        if (!writer->append(row, &error))
            throw core::Error(
                u"Table %1, row %2: %3. Nothing was written."_s.arg(target).arg(rowNumber).arg(error));
    }
    return writer;
}

} // namespace

void exportToParadox(WorkDatabase& database, WorkTable& work, std::int64_t rowLimit, const QString& folder,
    const QString& target, const QString& backupFolder)
{
    if (!QFileInfo(folder).isDir())
        throw core::Error(u"The folder %1 does not exist."_s.arg(QDir::toNativeSeparators(folder)));
    paradox::NewTable table;
    table.folder = folder;
    table.name = target;
    const std::optional<paradox::TableInfo> original = database.source(work.name());
    if (original) {
        // The writer cannot write the 3.x formats; their tables come back as 4.x tables.
        table.fileVersion = std::max(original->fileVersion, 5);
        table.codePage = original->codePage;
        table.blockSizeKb = original->blockSizeKb;
        table.autoIncrementNext = original->autoIncrementNext;
        table.sortOrderCode = original->sortOrderCode;
        table.sortOrderName = original->sortOrderName;
    }
    for (const WorkColumn& column : work.columns()) {
        const paradox::Field* kept = nullptr;
        if (original) {
            for (const paradox::Field& field : original->fields) {
                if (field.name.compare(column.name, Qt::CaseInsensitive) == 0)
                    kept = &field;
            }
        }
        table.fields.push_back(kept ? paradox::Field { column.name, kept->type, kept->size } : fieldForDeclaredType(column));
    }
    // Values seldom outgrow their fields, so the table is first written with the sizes it
    // had; only when a value does not fit are the lengths measured and the table started anew.
    std::unique_ptr<paradox::TableWriter> writer = writeRows(work, table, rowLimit, true);
    if (!writer) {
        widenAlphaFields(database, work.name(), rowLimit, table.fields, target);
        writer = writeRows(work, table, rowLimit, false);
    }
    QString error;
    if (writer->commit(backupFolder, &error))
        return;
    if (!isCompleteBackup(backupFolder, target) || !paradox::findTableFile(folder, target).isEmpty())
        throw core::Error(u"The table %1 could not be written: %2"_s.arg(target, error));
    // The old family left the folder, the new one did not arrive: put the old one back.
    try {
        restoreTable(backupFolder, folder);
    } catch (const core::Error& e) {
        throw core::Error(u"The table %1 could not be written (%2), and the old table could not be put back "
                          "(%3). The old table is kept in %4."_s.arg(
                              target, error, e.description(), QDir::toNativeSeparators(backupFolder)));
    }
    throw core::Error(u"The table %1 could not be written (%2); the old table was put back."_s.arg(target, error));
}

} // namespace data

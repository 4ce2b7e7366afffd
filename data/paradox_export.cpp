#include "data/paradox_export.h"

#include "core/error_report.h"
#include "data/backups.h"
#include "data/deferred_drops.h"
#include "data/paradox/table.h"
#include "data/paradox_values.h"
#include "data/work_database_backend.h"

#include <QDir>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <limits>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

using paradox::FieldType;

constexpr int kLargestAlpha = 255;
constexpr std::int64_t kMsecsPerDay = 86'400'000;

const QRegularExpression& exportPattern()
{
    // The folder is the greedy part: it is typed by the user and may hold "].[" itself.
    static const QRegularExpression pattern(u"^\\s*select\\s+top\\s+(\\d+)\\s+\\*\\s+into\\s+\\[Paradox "
                                            u"5\\.x;Database=(.*)\\]\\.\\[([^\\]]*)\\.db\\]"
                                            "\\s+from\\s+\\[([^\\]]*)\\]\\s*;?\\s*$"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    return pattern;
}

struct WorkColumn
{
    QString name;
    QString declaredType;
};

std::vector<WorkColumn> workColumns(WorkDatabaseBackend& database, const QString& table)
{
    std::vector<WorkColumn> columns;
    Statement statement(database.handle(), u"SELECT name, type FROM pragma_table_info(?)"_s);
    sqlite3_bind_text16(
        statement.get(), 1, table.utf16(), static_cast<int>(table.size() * 2), SQLITE_TRANSIENT);
    while (statement.step())
        columns.push_back(
            { QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 0))),
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), 1))) });
    return columns;
}

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

// Days with 0001-01-01 = 1 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t daysFromCivil(std::int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146'097 + dayOfEra - 719'468 + 719'163;
}

// Digits [at, at + count) of text as a number; nullopt when one is not a digit.
std::optional<std::int64_t> digitsAt(QStringView text, qsizetype at, qsizetype count)
{
    if (at < 0 || count <= 0 || at + count > text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

// "YYYY-MM-DD", the year possibly negative or longer than four digits.
std::optional<std::int64_t> parseDate(QStringView text)
{
    const bool isNegative = text.startsWith(u'-');
    const qsizetype yearDigits = text.size() - 6 - (isNegative ? 1 : 0);
    if (yearDigits < 1 || yearDigits > 9 || text[text.size() - 6] != u'-' || text[text.size() - 3] != u'-')
        return std::nullopt;
    const auto year = digitsAt(text, isNegative ? 1 : 0, yearDigits);
    const auto month = digitsAt(text, text.size() - 5, 2);
    const auto day = digitsAt(text, text.size() - 2, 2);
    if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31)
        return std::nullopt;
    return daysFromCivil(isNegative ? -*year : *year, static_cast<int>(*month), static_cast<int>(*day));
}

// "HH:MM:SS" with an optional ".mmm" (one to three digits).
std::optional<std::int64_t> parseTime(QStringView text)
{
    const qsizetype point = text.indexOf(u'.');
    const QStringView clock = point < 0 ? text : text.left(point);
    if (clock.size() < 8 || clock[clock.size() - 3] != u':' || clock[clock.size() - 6] != u':')
        return std::nullopt;
    const auto hours = digitsAt(clock, 0, clock.size() - 6);
    const auto minutes = digitsAt(clock, clock.size() - 5, 2);
    const auto seconds = digitsAt(clock, clock.size() - 2, 2);
    if (!hours || !minutes || !seconds || *minutes > 59 || *seconds > 59)
        return std::nullopt;
    std::int64_t millis = 0;
    if (point >= 0) {
        const qsizetype fractionDigits = text.size() - point - 1;
        const auto fraction = digitsAt(text, point + 1, fractionDigits);
        if (!fraction || fractionDigits > 3)
            return std::nullopt;
        millis = *fraction * (fractionDigits == 1 ? 100 : fractionDigits == 2 ? 10 : 1);
    }
    return ((*hours * 60 + *minutes) * 60 + *seconds) * 1000 + millis;
}

std::optional<double> parseNumber(QStringView text)
{
    const QByteArray latin = text.trimmed().toLatin1();
    double value = 0;
    const char* begin = latin.constData() + (latin.startsWith('+') ? 1 : 0);
    const char* end = latin.constData() + latin.size();
    const auto result = std::from_chars(begin, end, value);
    if (latin.isEmpty() || result.ec != std::errc() || result.ptr != end)
        return std::nullopt;
    return value;
}

// Valid until the row's next step: only texts that become values are copied.
QStringView cellText(sqlite3_value* cell)
{
    const void* text = sqlite3_value_text16(cell);
    return { static_cast<const char16_t*>(text), sqlite3_value_bytes16(cell) / 2 };
}

struct Problem
{
    QString text;
};

// The work value of one column as a value of the Paradox field, into value; or a reason why
// not. A text goes into the string value already holds when it can: a million rows then
// reuse a few strings.
std::optional<Problem> assignParadoxValue(sqlite3_value* cell, const paradox::Field& field, paradox::Value& value)
{
    const int storage = sqlite3_value_type(cell);
    if (storage == SQLITE_NULL) {
        value = paradox::Null {};
        return std::nullopt;
    }
    // A number in a numeric field is taken as it is: asking SQLite for its text costs a printf.
    const bool isPlainNumber = (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT)
        && (field.type == FieldType::Short || field.type == FieldType::Long
            || field.type == FieldType::Autoincrement || field.type == FieldType::Number
            || field.type == FieldType::Money);
    const QStringView text = isPlainNumber ? QStringView() : cellText(cell);
    const auto notA = [&](const QString& what) {
        return Problem { u"\"%1\" is not %2"_s.arg(text.toString(), what) };
    };
    switch (field.type) {
    case FieldType::Alpha:
    case FieldType::Memo:
    case FieldType::FormattedMemo:
        if (text.isEmpty())
            value = paradox::Null {};
        else if (auto* own = std::get_if<QString>(&value))
            own->setUnicode(reinterpret_cast<const QChar*>(text.utf16()), text.size());
        else
            value = text.toString();
        return std::nullopt;
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::Autoincrement: {
        std::int64_t number = 0;
        if (storage == SQLITE_INTEGER) {
            number = sqlite3_value_int64(cell);
        } else if (storage == SQLITE_FLOAT) {
            const double real = sqlite3_value_double(cell);
            if (real != std::trunc(real) || std::fabs(real) > 4e9)
                return Problem { u"%1 is not a whole number"_s.arg(real) };
            number = static_cast<std::int64_t>(real);
        } else {
            bool isNumber = false;
            number = text.trimmed().toLongLong(&isNumber);
            if (!isNumber)
                return notA(u"a whole number"_s);
        }
        if (number < std::numeric_limits<std::int32_t>::min()
            || number > std::numeric_limits<std::int32_t>::max())
            return Problem { u"%1 is too large for a whole-number field"_s.arg(number) };
        value = static_cast<std::int32_t>(number);
        return std::nullopt;
    }
    case FieldType::Number:
    case FieldType::Money: {
        if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
            value = sqlite3_value_double(cell);
            return std::nullopt;
        }
        if (const auto number = parseNumber(text)) {
            value = *number;
            return std::nullopt;
        }
        return notA(u"a number"_s);
    }
    case FieldType::Logical:
        if (storage == SQLITE_INTEGER) {
            value = sqlite3_value_int64(cell) != 0;
            return std::nullopt;
        }
        if (text.compare(u"true", Qt::CaseInsensitive) == 0) {
            value = true;
            return std::nullopt;
        }
        if (text.compare(u"false", Qt::CaseInsensitive) == 0) {
            value = false;
            return std::nullopt;
        }
        return notA(u"true or false"_s);
    case FieldType::Date: {
        const auto days = parseDate(text);
        if (!days || *days <= std::numeric_limits<std::int32_t>::min()
            || *days > std::numeric_limits<std::int32_t>::max())
            return notA(u"a date (YYYY-MM-DD)"_s);
        value = paradox::Date { static_cast<std::int32_t>(*days) };
        return std::nullopt;
    }
    case FieldType::Time: {
        const auto msecs = parseTime(text);
        if (!msecs || *msecs >= kMsecsPerDay)
            return notA(u"a time of day (HH:MM:SS)"_s);
        value = paradox::TimeOfDay { static_cast<std::int32_t>(*msecs) };
        return std::nullopt;
    }
    case FieldType::Timestamp: {
        const qsizetype space = text.indexOf(u' ');
        if (space > 0) {
            const auto days = parseDate(text.left(space));
            const auto msecs = parseTime(text.mid(space + 1));
            if (days && msecs && *msecs < kMsecsPerDay) {
                value = paradox::Timestamp { static_cast<double>(*days * kMsecsPerDay + *msecs) };
                return std::nullopt;
            }
        }
        // A value far outside the calendar is shown, and so copied, as its plain number.
        if (const auto number = parseNumber(text)) {
            value = paradox::Timestamp { *number };
            return std::nullopt;
        }
        return notA(u"a date and time (YYYY-MM-DD HH:MM:SS)"_s);
    }
    case FieldType::Bcd:
        // SQLite keeps a decimal of up to 15 digits as a double and writes it back with 15
        // significant digits, which gives the decimal again; a longer one stays text.
        if (storage == SQLITE_FLOAT && text.contains(u'e', Qt::CaseInsensitive)) {
            value = paradox::Bcd { QString::number(sqlite3_value_double(cell), 'f', field.size) };
            return std::nullopt;
        }
        value = paradox::Bcd { text.toString() };
        return std::nullopt;
    case FieldType::Bytes:
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic: {
        if (storage == SQLITE_BLOB) {
            value = QByteArray(static_cast<const char*>(sqlite3_value_blob(cell)),
                sqlite3_value_bytes(cell));
            return std::nullopt;
        }
        if (text.isEmpty()) {
            value = paradox::Null {};
            return std::nullopt;
        }
        if (const auto bytes = bytesFromCopyText(text.toString())) {
            value = *bytes;
            return std::nullopt;
        }
        return notA(u"binary data in hex digits (0x...)"_s);
    }
    }
    return Problem { u"the field type is unknown"_s };
}

// Alpha fields keep their size unless a value no longer fits; then they grow to the
// longest value, up to the largest Alpha field. Lengths count characters, which is bytes
// in the single-byte code pages of Paradox tables.
void widenAlphaFields(WorkDatabaseBackend& database, const QString& source, qint64 rowLimit,
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
        lengths << (database.isUtf16() ? u"max(length(CAST(\"%1\" AS BLOB))) / 2"_s.arg(column)
                                       : u"max(length(\"%1\"))"_s.arg(column));
    }
    if (alpha.empty())
        return;
    Statement statement(database.handle(),
        u"SELECT %1 FROM (SELECT * FROM [%2] LIMIT %3)"_s.arg(lengths.join(u", "_s), source).arg(rowLimit));
    if (!statement.step())
        return;
    for (std::size_t k = 0; k < alpha.size(); ++k) {
        paradox::Field& field = fields[alpha[k]];
        const auto longest = static_cast<int>(sqlite3_column_int64(statement.get(), static_cast<int>(k)));
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
std::unique_ptr<paradox::TableWriter> writeRows(WorkDatabaseBackend& database, const paradox::NewTable& table,
    const QString& source, qint64 rowLimit, bool stopOnLongText)
{
    const QString& target = table.name;
    QString error;
    std::unique_ptr<paradox::TableWriter> writer = paradox::createTable(table, &error);
    if (!writer)
        throw core::Error(error);
    Statement rows(database.handle(), u"SELECT * FROM [%1] LIMIT %2"_s.arg(source).arg(rowLimit));
    const int columnCount = static_cast<int>(table.fields.size());
    paradox::Row row(table.fields.size());
    qint64 rowNumber = 0;
    while (rows.step()) {
        ++rowNumber;
        for (int i = 0; i < columnCount; ++i) {
            const paradox::Field& field = table.fields[static_cast<std::size_t>(i)];
            paradox::Value& value = row[static_cast<std::size_t>(i)];
            // One look-up of the column; its value stays valid until the next step.
            if (const auto problem = assignParadoxValue(sqlite3_column_value(rows.get(), i), field, value))
                throw core::Error(u"Table %1, row %2, field %3: %4. Nothing was written."_s.arg(target)
                                     .arg(rowNumber)
                                     .arg(field.name, problem->text));
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

bool isParadoxExportStatement(const QString& sql)
{
    // Every INSERT of a copy passes here: look at the pattern only when the start fits.
    const QStringView start = QStringView(sql).trimmed().left(10);
    return start.compare(u"select top", Qt::CaseInsensitive) == 0 && exportPattern().match(sql).hasMatch();
}

void exportToParadox(WorkDatabaseBackend& database, const QString& sql, DeferredDrops* drops)
{
    const QRegularExpressionMatch match = exportPattern().match(sql);
    bool isCount = false;
    const qint64 rowLimit = match.captured(1).toLongLong(&isCount);
    const QString folder = match.captured(2);
    const QString target = match.captured(3);
    const QString source = match.captured(4);
    if (!isCount)
        throw core::Error(u"The row count %1 of the copy statement is too large."_s.arg(match.captured(1)));
    if (!database.hasTable(source))
        throw core::Error(database.failure(u"there is no table %1 to copy."_s.arg(source)));
    if (!QFileInfo(folder).isDir())
        throw core::Error(u"The folder %1 does not exist."_s.arg(QDir::toNativeSeparators(folder)));

    HeldDrop* held = drops ? drops->find(folder, target) : nullptr;
    if (!paradox::findTableFile(folder, target).isEmpty() && !held)
        throw core::Error(
            u"The table %1 already exists in %2."_s.arg(target, QDir::toNativeSeparators(folder)));

    paradox::NewTable table;
    table.folder = folder;
    table.name = target;
    const std::optional<paradox::TableInfo> original = database.source(source);
    if (original) {
        // The writer cannot write the 3.x formats; their tables come back as 4.x tables.
        table.fileVersion = std::max(original->fileVersion, 5);
        table.codePage = original->codePage;
        table.blockSizeKb = original->blockSizeKb;
        table.autoIncrementNext = original->autoIncrementNext;
        table.sortOrderCode = original->sortOrderCode;
        table.sortOrderName = original->sortOrderName;
    }
    for (const WorkColumn& column : workColumns(database, source)) {
        const paradox::Field* kept = nullptr;
        if (original) {
            for (const paradox::Field& field : original->fields) {
                if (field.name.compare(column.name, Qt::CaseInsensitive) == 0)
                    kept = &field;
            }
        }
        table.fields.push_back(
            kept ? paradox::Field { column.name, kept->type, kept->size } : fieldForDeclaredType(column));
    }
    // Values seldom outgrow their fields, so the table is first written with the sizes it
    // had; only when a value does not fit are the lengths measured and the table started anew.
    QString error;
    std::unique_ptr<paradox::TableWriter> writer = writeRows(database, table, source, rowLimit, true);
    if (!writer) {
        widenAlphaFields(database, source, rowLimit, table.fields, target);
        writer = writeRows(database, table, source, rowLimit, false);
    }

    if (!writer->commit(held ? held->backupFolder : QString(), &error)) {
        if (!held || isCompleteBackup(held->backupFolder, target) == false
            || !paradox::findTableFile(folder, target).isEmpty())
            throw core::Error(u"The table %1 could not be written: %2"_s.arg(target, error));
        // The old family left the folder, the new one did not arrive: put the old one back.
        try {
            restoreTable(held->backupFolder, folder);
        } catch (const core::Error& e) {
            throw core::Error(
                u"The table %1 could not be written (%2), and the old table could not be put back "
                "(%3). The old table is kept in %4."_s.arg(
                    target, error, e.description(), QDir::toNativeSeparators(held->backupFolder)));
        }
        throw core::Error(
            u"The table %1 could not be written (%2); the old table was put back."_s.arg(target, error));
    }
    if (held)
        held->isReplaced = true;
}

} // namespace data

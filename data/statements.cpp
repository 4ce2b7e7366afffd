#include "data/statements.h"

#include "data/ado.h"
#include "data/workdb/work_values.h"

#include <array>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace data {
namespace {

StatementObserver& observer()
{
    static StatementObserver instance;
    return instance;
}

bool s_withRepeatedStatements = true;

QString escaped(const QString& text)
{
    QString result = text;
    return result.replace(u'\'', u"''"_s);
}

struct ColumnRule
{
    const char16_t* contains; // in the lower-cased type name; null: every type
    const char16_t* type;
};

// The first rule whose text the type name contains decides. Types that would lose values
// in the first rules' columns get columns that keep them: single precision REAL rather than
// INT, numeric (BCD, up to 32 digits) TEXT rather than INT (SQLite's DECIMAL keeps 15
// digits), currency FLOAT, logical BIT and time TIME rather than TEXT. The added rules match
// exact names, so no other type changes its column.
constexpr std::array<ColumnRule, 13> kColumnRules { {
    { u"char", u"TEXT" },
    { u"decimal", u"DECIMAL" },
    { u"single", u"REAL" },
    { u"int", u"INT" },
    { u"adlongvarbinary", u"OLEOBJECT" },
    { u"numeric", u"TEXT" },
    { u"date", u"DATETIME" },
    { u"timestamp", u"DATETIME" },
    { u"double", u"FLOAT" },
    { u"adcurrency", u"FLOAT" },
    { u"adboolean", u"BIT" },
    { u"addbtime", u"TIME" },
    { nullptr, u"TEXT" },
} };

QString columnType(const QString& lowerTypeName)
{
    for (const ColumnRule& rule : kColumnRules) {
        if (!rule.contains || lowerTypeName.contains(QString::fromUtf16(rule.contains)))
            return QString::fromUtf16(rule.type);
    }
    return {};
}

QString lowerTypeName(const paradox::Field& field)
{
    return AdoTypeName(static_cast<std::int16_t>(adoTypeOf(field.type))).toLower();
}

} // namespace

QString copyDropStatement(const QString& table)
{
    return u"DROP TABLE `"_s + table + u'`';
}

QString copyReadStatement(const QString& table)
{
    return u"SELECT * FROM `"_s + table + u'`';
}

QString columnTypeText(const QString& lowerTypeName)
{
    return u"` "_s + columnType(lowerTypeName) + u',';
}

QString columnTypeOf(const paradox::Field& field)
{
    return columnType(lowerTypeName(field));
}

QString copyCreateStatement(const QString& table, const std::vector<paradox::Field>& fields)
{
    QString create = u"CREATE TABLE `"_s + table + u"`("_s;
    for (const paradox::Field& field : fields)
        create += u'`' + field.name + columnTypeText(lowerTypeName(field));
    create.chop(1);
    return create + u");"_s;
}

QString copyInsertStatement(const QString& table, std::span<const paradox::Value> row)
{
    QString insert = u"INSERT INTO `"_s + table + u"` VALUES("_s;
    for (const paradox::Value& value : row) {
        const QString text = copyText(value);
        insert += text.isEmpty() ? u"NULL"_s : u'\'' + escaped(text) + u'\'';
        insert += u", "_s;
    }
    if (!row.empty())
        insert.chop(2);
    return insert + u')';
}

QString nameForUpdate(const QString& name)
{
    // Plain: an ASCII letter or underscore, then letters, digits or underscores, and no
    // keyword. Checked by hand: the run asks twice for every distinct value.
    bool isPlain = !name.isEmpty();
    for (qsizetype i = 0; isPlain && i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool isLetter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
        isPlain = isLetter || (i > 0 && c >= u'0' && c <= u'9');
    }
    if (isPlain) {
        const QByteArray ascii = name.toLatin1();
        if (sqlite3_keyword_check(ascii.constData(), static_cast<int>(ascii.size())) == 0)
            return name;
    }
    return u'`' + name + u'`';
}

QString distinctQuery(const QString& table, const QString& field)
{
    return u"SELECT distinct `"_s + field + u"` FROM `"_s + table + u'`';
}

QString previewQuery(const QString& table, const QString& field)
{
    return u"SELECT `"_s + field + u"` FROM `"_s + table + u'`';
}

QString updateValueStatement(
    const QString& table, const QString& field, const QString& newText, const QString& oldText)
{
    const QString f = nameForUpdate(field);
    return u"update "_s + nameForUpdate(table) + u" set "_s + f + u"='"_s + escaped(newText) + u"' where "_s + f
        + u"='"_s + escaped(oldText) + u'\'';
}

QString updateNullStatement(const QString& table, const QString& field, const QString& newText)
{
    const QString f = nameForUpdate(field);
    return u"update "_s + nameForUpdate(table) + u" set "_s + f + u"='"_s + escaped(newText) + u"' where "_s + f
        + u" is null "_s;
}

QString paradoxDropStatement(const QString& table)
{
    return u"DROP TABLE `"_s + table + u'`';
}

QString workReadStatement(const QString& table)
{
    return u"select * from ["_s + table + u']';
}

QString exportStatement(std::int64_t rowCount, const QString& targetFolder, const QString& table)
{
    return u"select top "_s + QString::number(rowCount) + u" * into [Paradox 5.x;Database="_s + targetFolder
        + u"].["_s + table + u".db] from ["_s + table + u']';
}

QString workDropStatement(const QString& table)
{
    return u"DROP TABLE ["_s + table + u']';
}

void setStatementObserver(StatementObserver newObserver, bool withRepeatedStatements)
{
    observer() = std::move(newObserver);
    s_withRepeatedStatements = withRepeatedStatements;
}

void notifyWorkStatement(const QString& sql)
{
    if (observer())
        observer()(sql);
}

bool isObservingRepeatedStatements()
{
    return observer() && s_withRepeatedStatements;
}

} // namespace data

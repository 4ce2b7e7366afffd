#pragma once

// A table as the format describes it: its fields and their types, the facts its header
// holds, and the values a record's fields hold, with the text the program shows for each.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace paradox {

// Field type codes as stored in the .db header.
enum class FieldType : std::uint8_t {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Money = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    Autoincrement = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

struct Field
{
    QString name;
    FieldType type = FieldType::Alpha;
    // The size byte of the field descriptor: bytes for Alpha and Bytes, leader + 10 for
    // memo and blob fields, the number of decimals for BCD, the fixed width otherwise.
    int size = 0;
};

struct TableInfo
{
    QString path; // the .db file
    int fileVersion = 0; // the version byte of the header (0x09 = 4.x, 0x0B = 5.x, 0x0C = 7.x, ...)
    int codePage = 0; // e.g. 437, 850, 1252; 1051 for HP Roman-8
    // Where codePage comes from: the header, else (where it gives none) the table's language
    // driver, else, for a driver not known here, the DOS code page of the 3.x era.
    enum class CodePageSource { Header, LanguageDriver, Assumed };
    CodePageSource codePageSource = CodePageSource::Header;
    int blockSizeKb = 0;
    bool isKeyed = false;
    std::int64_t recordCount = 0;
    std::vector<Field> fields;
    std::int32_t autoIncrementNext = 0; // header's autoincrement value, kept on rewrite
    // Collation: header byte 0x29 and the sort order name at the end of the header. A rewrite
    // keeps both, since other programs build index order from them.
    int sortOrderCode = 0;
    QByteArray sortOrderName;
    // The table's blocks are scrambled with a key derived from its owner's password (which the
    // key stands in for: no password is asked for or kept). Read and written like any other.
    bool isPasswordProtected = false;
};

// For the table list's tooltip and the schema command: "Password-protected: ..." for a
// password-protected table, else empty.
QString passwordProtectionText(const TableInfo& info);
// Where the table's code page comes from: "the header", "the language driver "BLROM800" (sort
// order 0x14); the header gives none", or "nowhere: ..." for a driver not known here.
QString codePageOrigin(const TableInfo& info);
// The code page the table is read in and where it comes from: "Code page 850, from the header".
QString codePageText(const TableInfo& info);

// Values, one alternative per family of field types; Null for a blank field.
struct Null
{
    bool operator==(const Null&) const = default;
};
struct Date // days, 0001-01-01 = 1
{
    std::int32_t days = 0;
    bool operator==(const Date&) const = default;
};
struct TimeOfDay // milliseconds since midnight
{
    std::int32_t msecs = 0;
    bool operator==(const TimeOfDay&) const = default;
};
struct Timestamp // milliseconds, 0001-01-01 00:00:00.000 = 86'400'000
{
    double msecs = 0;
    bool operator==(const Timestamp&) const = default;
};
struct Bcd // exact decimal text such as "-12.34"
{
    QString decimal;
    bool operator==(const Bcd&) const = default;
};

using Value = std::variant<Null,
    bool, // Logical
    std::int32_t, // Short, Long, Autoincrement
    double, // Number, Money
    QString, // Alpha, Memo, FormattedMemo
    QByteArray, // Bytes, Blob, Ole, Graphic
    Date, TimeOfDay, Timestamp, Bcd>;

using Row = std::vector<Value>;

// The type's name as the program shows it ("Alpha", "Formatted memo", "BCD", ...).
QString fieldTypeName(FieldType type);

inline bool isNull(const Value& value)
{
    return std::holds_alternative<Null>(value);
}

// The text of a value as the program shows and exports it: numbers as the shortest
// decimal that reads back the same, BCD exact, Date YYYY-MM-DD, Time HH:MM:SS[.mmm],
// Timestamp date + space + time, Logical true/false, binary values as lower-case hex,
// a null as the empty text.
QString valueText(const Value& value);
// The same text, appended: a caller that keeps its string spares an allocation per value.
void appendValueText(QString& text, const Value& value);

// A table to be written anew (write/table_writer.h).
struct NewTable
{
    QString folder;
    QString name; // base name of the files, e.g. "ORDERS"
    std::vector<Field> fields;
    int codePage = 1252;
    int fileVersion = 0x0B; // Paradox 5.x by default (raised when a field type needs it)
    int blockSizeKb = 4;
    std::int32_t autoIncrementNext = 0;
    int sortOrderCode = -1; // -1: the usual one for codePage
    QByteArray sortOrderName; // empty: the usual one for codePage
};

} // namespace paradox

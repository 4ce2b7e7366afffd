// The .DB header of a new table (integers little-endian), as written here for versions 4.x
// to 7.x:
// | Off | Size | Meaning                              | Off | Size | Meaning                          |
// |-----|------|--------------------------------------|-----|------|----------------------------------|
// | 00  | u16  | record size                          | 39  | u8   | file version (0x0B = 5.x)        |
// | 02  | u16  | header size (multiple of 0x800)      | 3A  | u16  | max blocks (= file blocks)       |
// | 04  | u8   | 2 = unkeyed table                    | 3E  | 2    | 1F 0F                            |
// | 05  | u8   | block size / 1024                    | 49  | u32  | autoincrement value              |
// | 06  | u32  | number of records                    | 51  | u16  | header bytes in use              |
// | 0A  | u16  | blocks in use                        | 56  | u8   | 0x20                             |
// | 0C  | u16  | blocks in the file                   | 58  | u16  | 0x0100 + version; 5A the same    |
// | 0E  | u16  | first block (0 when empty)           | 5C  | u32  | encryption key, 0                |
// | 10  | u16  | last block                           | 64  | u16  | number of fields + 1             |
// | 21  | i16  | number of fields                     | 66  | u16  | field-number array offset - 0x58 |
// | 23  | i16  | key fields, 0                        | 6A  | u16  | code page                        |
// | 25  | u32  | 0xFF00FF00 (key lives at 5C)         | 6C  | 2    | 01 01                            |
// | 29  | u8   | sort order code                      | 6E  | u16  | 0x18 + 8n + 4 + name area + names + 8 |
// | 2D  | u8   | 2; 2E u8 1                           | 30  | u32  | 0x78 + 2n; 34 u32 0x78           |
// Everything else in 00-77 is zero. From 0x78: n x (u8 type, u8 size); u32 0; n x u32 0;
// table name (79 bytes, 261 in 7.x); field names, each NUL-terminated; n x u16 field
// numbers 1..n; sort order name, NUL-terminated; zeros up to the header size.
// The counts (06-10, 3A) and the autoincrement value are filled in at commit.

#include "data/paradox/write/new_table_layout.h"

#include "data/paradox/format/byte_writer.h"
#include "data/paradox/format/code_page.h"
#include "data/paradox/format/header.h"
#include "data/paradox/write/field_encode.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace Qt::StringLiterals;

namespace paradox::writer {
namespace {

constexpr int kVersion4 = 0x09;
constexpr int kVersion5 = 0x0B;
constexpr int kHeaderUnit = 0x800;
constexpr std::uint32_t kLargestHeader = 0xF800;

struct SortOrder
{
    int codePage;
    int code;
    const char* name;
};

// The language driver a table of each code page usually carries.
constexpr SortOrder kUsualSortOrders[] = {
    { 437, 0xB7, "intl" },
    { 850, 0x54, "intl850" },
    { 852, 0x0D, "czech" },
    { 865, 0x82, "nordan" },
    { 866, 0xC0, "cyrr" },
    { 1250, 0xDC, "anczech" },
    { 1251, 0x8F, "ancyrr" },
    { 1252, 0x62, "ANSIINTL" },
};

struct ChosenSortOrder
{
    int code = 0;
    QByteArray name;
};

// The level of the newest field type a table uses: 5.x types in a 4.x file are unreadable
// to a 4.x engine, so the file version is raised to match.
int minimumVersion(const std::vector<Field>& fields)
{
    int version = 0;
    for (const Field& field : fields) {
        switch (field.type) {
        case FieldType::Long:
        case FieldType::Time:
        case FieldType::Timestamp:
        case FieldType::Logical:
        case FieldType::Autoincrement:
        case FieldType::Bcd:
        case FieldType::Bytes:
            version = std::max(version, kVersion5);
            break;
        case FieldType::Memo:
        case FieldType::Blob:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic:
            version = std::max(version, kVersion4);
            break;
        default:
            break;
        }
    }
    return version;
}

// What the name, the number of fields, the code page and the version alone rule out; empty
// when they are fine.
QString descriptionProblem(const NewTable& table)
{
    if (table.name.isEmpty() || table.name.contains(u'/') || table.name.contains(QChar(0)))
        return u"the name is not a valid file name"_s;
    if (table.fields.empty() || table.fields.size() > 255)
        return u"a table has 1 to 255 fields, not %1"_s.arg(table.fields.size());
    if (!isSupportedCodePage(table.codePage) || table.codePage > 0xFFFF)
        return u"code page %1 is not supported"_s.arg(table.codePage);
    if (table.fileVersion < 5 || table.fileVersion > dbHeader::kVersion7)
        return u"file version %1 cannot be written"_s.arg(table.fileVersion);
    return QString();
}

bool isBlockSizeAllowed(int kilobytes, int version)
{
    const bool isLargeBlockAllowed = version == dbHeader::kVersion7;
    return (kilobytes >= 1 && kilobytes <= 4)
        || (isLargeBlockAllowed && (kilobytes == 16 || kilobytes == 32));
}

// The block sizes a table may have, smallest first; 16 and 32 KB need version 7.
constexpr std::array<int, 5> kBlockSizesKb { 1, 2, 4, 16, 32 };

// The fields as stored, their offsets and the record size; `names` gets their names in the
// code page, each NUL-terminated. Empty when they can be written, else why not.
QString layOutFields(const NewTable& table, NewTableLayout& layout, QByteArray& names)
{
    QStringList seen;
    for (const Field& given : table.fields) {
        QString problem;
        const auto size = checkedSizeByte(given, &problem);
        if (!size)
            return problem;
        if (seen.contains(given.name, Qt::CaseInsensitive))
            return u"two fields are named %1"_s.arg(given.name);
        seen << given.name;
        const auto encodedName = encodeText(given.name, table.codePage);
        if (!encodedName || encodedName->contains('\0'))
            return u"field name %1 cannot be written in code page %2"_s.arg(given.name).arg(table.codePage);
        names += *encodedName + '\0';
        Field field = given;
        field.size = *size;
        layout.offsets.push_back(layout.recordSize);
        layout.recordSize += fieldWidth(field);
        layout.fields.push_back(field);
    }
    if (layout.recordSize > layout.blockSize - kBlockHeaderSize)
        return u"a record of %1 bytes does not fit in a block of %2"_s.arg(layout.recordSize)
            .arg(layout.blockSize);
    layout.recordsPerBlock = (layout.blockSize - kBlockHeaderSize) / layout.recordSize;
    return QString();
}

// The sort order the table names, completed from the usual one of its code page.
std::optional<ChosenSortOrder> chooseSortOrder(const NewTable& table, QString* problem)
{
    ChosenSortOrder chosen { table.sortOrderCode, table.sortOrderName };
    for (const SortOrder& usual : kUsualSortOrders) {
        if (chosen.code < 0 && usual.codePage == table.codePage)
            chosen.code = usual.code;
        if (chosen.name.isEmpty() && usual.codePage == table.codePage && usual.code == chosen.code)
            chosen.name = usual.name;
    }
    if (chosen.code < 0)
        chosen.code = 0;
    if (chosen.name.isEmpty())
        chosen.name = chosen.code == 0 ? "ascii" : "";
    if (chosen.code > 0xFF || chosen.name.isEmpty() || chosen.name.contains('\0')) {
        *problem = u"sort order %1 \"%2\" cannot be written"_s.arg(chosen.code)
                       .arg(QString::fromLatin1(chosen.name));
        return std::nullopt;
    }
    return chosen;
}

// The header bytes but the counts; empty with *problem when they do not fit a header.
QByteArray buildHeader(const NewTable& table, const NewTableLayout& layout, const QByteArray& names,
    const ChosenSortOrder& sortOrder, QString* problem)
{
    using namespace dbHeader;
    const int tableNameSize = layout.version == kVersion7 ? kTableNameSize7 : kTableNameSizeBefore7;
    const auto tableName = encodeText(table.name + u".DB"_s, table.codePage);
    if (!tableName || tableName->size() >= tableNameSize) {
        *problem = u"the name cannot be written in code page %1"_s.arg(table.codePage);
        return QByteArray();
    }
    const auto count = static_cast<std::uint32_t>(layout.fields.size());
    const auto namesAt = static_cast<std::uint32_t>(
        headerPart::fieldNamesAt(kExtendedPartEnd, static_cast<int>(count), layout.version));
    const auto numbersAt = namesAt + static_cast<std::uint32_t>(names.size());
    const std::uint32_t used = numbersAt + 2 * count + static_cast<std::uint32_t>(sortOrder.name.size()) + 1;
    const std::uint32_t headerSize = (used + kHeaderUnit - 1) & ~std::uint32_t { kHeaderUnit - 1 };
    if (headerSize > kLargestHeader) {
        *problem = u"the field names do not fit in a header"_s;
        return QByteArray();
    }

    QByteArray header(static_cast<qsizetype>(headerSize), '\0');
    char* h = header.data();
    const auto version = static_cast<std::uint32_t>(layout.version);
    putU16(h + kRecordSize, static_cast<std::uint32_t>(layout.recordSize));
    putU16(h + kHeaderSize, headerSize);
    h[kFileType] = 2;
    h[kMaxTableSize] = static_cast<char>(layout.blockSize / 1024);
    putU16(h + kNumFields, count);
    putU32(h + kEncryption1, kEncryptionInExtendedPart);
    h[kSortOrder] = static_cast<char>(sortOrder.code);
    h[kChangeCount1] = 2;
    h[kChangeCount2] = 1;
    putU32(h + kNamePointer, kExtendedPartEnd + 2 * count);
    putU32(h + kDescriptorPointer, kExtendedPartEnd);
    h[kFileVersion] = static_cast<char>(version);
    h[0x3E] = 0x1F;
    h[0x3F] = 0x0F;
    putU16(h + kUsedHeaderSize, used);
    h[0x56] = 0x20;
    putU16(h + kVersionWord, 0x0100U + version);
    putU16(h + kVersionWord2, 0x0100U + version);
    putU16(h + kHighFieldId, count + 1);
    putU16(h + kFieldNumbersAt, numbersAt - kFixedPartEnd);
    putU16(h + kCodePage, static_cast<std::uint32_t>(table.codePage));
    h[0x6C] = 1;
    h[0x6D] = 1;
    // Meaning unknown; this is the value other writers store.
    putU16(h + 0x6E, 0x18 + 8 * count + 4 + static_cast<std::uint32_t>(tableNameSize + names.size()) + 8);
    for (std::uint32_t i = 0; i < count; ++i) {
        h[kExtendedPartEnd + 2 * i] = static_cast<char>(layout.fields[i].type);
        h[kExtendedPartEnd + 2 * i + 1] = static_cast<char>(layout.fields[i].size);
        putU16(h + numbersAt + 2 * i, i + 1);
    }
    std::memcpy(
        h + namesAt - tableNameSize, tableName->constData(), static_cast<std::size_t>(tableName->size()));
    std::memcpy(h + namesAt, names.constData(), static_cast<std::size_t>(names.size()));
    std::memcpy(h + numbersAt + 2 * count, sortOrder.name.constData(),
        static_cast<std::size_t>(sortOrder.name.size()));
    return header;
}

} // namespace

int chooseBlockSizeKb(const std::vector<Field>& fields, std::int64_t records)
{
    int recordSize = 0;
    for (const Field& field : fields)
        recordSize += fieldWidth(field);
    for (int kilobytes : kBlockSizesKb) {
        const int perBlock = (kilobytes * 1024 - kBlockHeaderSize) / std::max(recordSize, 1);
        if (records > 0 && std::int64_t { kMaxBlockNumber } * perBlock >= records)
            return kilobytes;
    }
    return kBlockSizesKb.back();
}

std::optional<NewTableLayout> planNewTable(const NewTable& table, QString* error)
{
    const auto fail = [&](const QString& what) {
        *error = u"cannot create table %1: %2"_s.arg(table.name, what);
        return std::nullopt;
    };
    if (const QString problem = descriptionProblem(table); !problem.isEmpty())
        return fail(problem);
    NewTableLayout layout;
    layout.version = std::max(table.fileVersion, minimumVersion(table.fields));
    const bool isBlockSizeChosen = table.blockSizeKb == 0;
    if (!isBlockSizeChosen && !isBlockSizeAllowed(table.blockSizeKb, layout.version))
        return fail(u"a block of %1 KB is not possible in this file version"_s.arg(table.blockSizeKb));
    layout.blockSize = (isBlockSizeChosen ? kBlockSizesKb.back() : table.blockSizeKb) * 1024;
    QByteArray names;
    if (const QString problem = layOutFields(table, layout, names); !problem.isEmpty())
        return fail(problem);
    if (isBlockSizeChosen)
        layout.version = dbHeader::kVersion7; // the only version with 32 KB blocks
    QString problem;
    const auto sortOrder = chooseSortOrder(table, &problem);
    if (!sortOrder)
        return fail(problem);
    layout.header = buildHeader(table, layout, names, *sortOrder, &problem);
    if (layout.header.isEmpty())
        return fail(problem);
    return layout;
}

} // namespace paradox::writer

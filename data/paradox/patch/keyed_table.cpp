// Beyond what the reader decodes (header.cpp), a rebuild reads these .DB header bytes:
//
// | Off | Size | Meaning                                                                 |
// |-----|------|-------------------------------------------------------------------------|
// | 14  | u8   | "rebuild required" flag: non-zero means the engine found damage          |
// | 23  | i16  | key fields: the first N fields, 0 for an unkeyed table                   |
// | 2A  | u8   | another "rebuild required" flag                                          |
// | 38  | u8   | 1 = the user write-protected the table                                   |
// | 4F  | u8   | "index update required": the indexes are stale                           |
// | 55  | u8   | non-zero (2 seen) in a table whose key other tables refer to (a master)  |

#include "data/paradox/patch/keyed_table.h"

#include "data/paradox/write/field_encode.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;

namespace paradox {

std::vector<Field> KeyedTable::keyFieldList() const
{
    return std::vector<Field>(fields().begin(), fields().begin() + keyFields);
}

KeyedTable openKeyedTable(const QString& dbPath)
{
    KeyedTable table;
    table.path = dbPath;
    table.name = QFileInfo(dbPath).fileName();
    QFile file;
    openForReading(file, dbPath, table.name);
    const QByteArray bytes = readHeaderBytes(file, table.name);
    const ByteReader reader(
        reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size(), table.name);
    table.header = decodeHeader(reader, file.size());
    table.header.info.path = dbPath;
    table.rawHeader = bytes.left(table.header.headerSize);
    table.keyFields = reader.i16(dbHeader::kPrimaryKeyFields, "number of key fields");
    if (table.header.info.isKeyed != (table.keyFields > 0))
        reader.fail(dbHeader::kPrimaryKeyFields,
            u"the file type says %1, but the header gives %2 key fields"_s
                .arg(table.header.info.isKeyed ? u"keyed"_s : u"unkeyed"_s)
                .arg(table.keyFields));
    for (int i = 0; i < table.keyFields; ++i)
        table.keySize += fieldWidth(table.fields()[static_cast<std::size_t>(i)]);
    table.isWriteProtected = reader.u8(dbHeader::kWriteProtected, "write protection") != 0;
    table.needsRebuild = headerPart::needsRebuild(reader);
    table.isMasterOfReferentialIntegrity
        = reader.u8(dbHeader::kReferentialIntegrity, "referential integrity") != 0;
    return table;
}

std::optional<FieldChanges> FieldChanges::encode(
    const KeyedTable& table, int field, std::vector<FieldChange> changes, QString* error)
{
    const std::vector<Field>& fields = table.fields();
    if (field < 0 || static_cast<std::size_t>(field) >= fields.size()) {
        *error = u"%1: the table has no field number %2"_s.arg(table.name).arg(field + 1);
        return std::nullopt;
    }
    const Field& target = fields[static_cast<std::size_t>(field)];
    if (isBlobType(target.type)) {
        *error = u"%1: field \"%2\" is a %3 field, whose values are not stored in the record"_s.arg(
            table.name, target.name, fieldTypeName(target.type));
        return std::nullopt;
    }
    FieldChanges result;
    result.m_field = field;
    result.m_offset = table.header.fieldOffsets[static_cast<std::size_t>(field)];
    result.m_width = fieldWidth(target);

    std::sort(changes.begin(), changes.end(),
        [](const FieldChange& a, const FieldChange& b) { return a.record < b.record; });
    result.m_records.reserve(changes.size());
    result.m_bytes.resize(changes.size() * static_cast<std::size_t>(result.m_width));
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const std::int64_t record = changes[i].record;
        if (record < 0 || record >= table.header.info.recordCount) {
            *error = u"%1: there is no record %2 (the table has %3)"_s.arg(table.name)
                         .arg(record + 1)
                         .arg(table.header.info.recordCount);
            return std::nullopt;
        }
        if (i > 0 && changes[i - 1].record == record) {
            *error = u"%1: record %2 is given two new values"_s.arg(table.name).arg(record + 1);
            return std::nullopt;
        }
        auto* out
            = reinterpret_cast<char*>(result.m_bytes.data() + i * static_cast<std::size_t>(result.m_width));
        QString problem;
        if (!writer::encodeFixedField(target, changes[i].value, table.header.info.codePage, out, &problem)) {
            *error = u"%1: record %2, field \"%3\": %4"_s.arg(table.name)
                         .arg(record + 1)
                         .arg(target.name, problem);
            return std::nullopt;
        }
        result.m_records.push_back(static_cast<std::uint32_t>(record));
    }
    return result;
}

const unsigned char* FieldChanges::bytes(std::size_t index) const
{
    return m_bytes.data() + index * static_cast<std::size_t>(m_width);
}

const unsigned char* FieldChanges::find(std::uint32_t record) const
{
    const auto it = std::lower_bound(m_records.begin(), m_records.end(), record);
    if (it == m_records.end() || *it != record)
        return nullptr;
    return bytes(static_cast<std::size_t>(it - m_records.begin()));
}

void FieldChanges::apply(std::uint32_t record, unsigned char* recordBytes) const
{
    if (const unsigned char* value = find(record))
        std::copy(value, value + m_width, recordBytes + m_offset);
}

} // namespace paradox

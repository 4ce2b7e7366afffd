#pragma once

// A table as a rebuild sees it: the decoded header with the bytes it was decoded from, and
// the new values of one field, encoded once before anything is written.

#include "data/paradox/format/header.h"
#include "data/paradox/format/key_order.h"
#include "data/paradox/read/block_file.h"

#include <optional>

namespace paradox {

struct KeyedTable
{
    QString path;
    QString name; // file name, for messages
    TableHeader header;
    QByteArray rawHeader; // headerSize bytes
    int keyFields = 0; // the first keyFields fields form the primary key
    int keySize = 0; // their bytes, the first of every record
    bool isWriteProtected = false;
    bool needsRebuild = false; // the engine's "rebuild required" or "index update required" flags
    bool isMasterOfReferentialIntegrity = false; // header 0x55: other tables' records refer to this key

    const std::vector<Field>& fields() const { return header.info.fields; }
    std::vector<Field> keyFieldList() const;
    TableSortOrder sortOrder() const { return { header.info.sortOrderCode, header.info.sortOrderName }; }
    BlockLayout layout() const { return header.layout(); }
};

// Reads and checks the header of a .DB file. Throws FormatError.
KeyedTable openKeyedTable(const QString& dbPath);

struct FieldChange
{
    std::int64_t record = 0; // position of the record in the table's chain of blocks, from 0
    Value value; // the field's new value
};

// New values of one fixed-width field, encoded as the record stores them.
class FieldChanges
{
public:
    // Encodes every value. nullopt with *error when a record number is out of range or given
    // twice, or a value does not fit the field.
    static std::optional<FieldChanges> encode(
        const KeyedTable& table, int field, std::vector<FieldChange> changes, QString* error);

    int field() const { return m_field; }
    int offset() const { return m_offset; }
    int width() const { return m_width; }
    std::size_t size() const { return m_records.size(); }
    std::uint32_t record(std::size_t index) const { return m_records[index]; }
    const unsigned char* bytes(std::size_t index) const;
    // The new bytes of record `record`'s field, or null when it keeps its value.
    const unsigned char* find(std::uint32_t record) const;
    // Writes the new value, if any, into a copy of the record.
    void apply(std::uint32_t record, unsigned char* recordBytes) const;

private:
    int m_field = 0;
    int m_offset = 0;
    int m_width = 0;
    std::vector<std::uint32_t> m_records; // ascending
    std::vector<unsigned char> m_bytes; // m_width per record
};

} // namespace paradox

#pragma once

// pxlib as an independent writer and reader of keyed tables and their .PX.

#include "data/paradox/table.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace keystest {

// Writes a keyed table (the first keyFields fields) and its .PX with pxlib. Rows must come in
// key order; records are encoded by our writer, the file structure is pxlib's. Text in 1252.
bool writeKeyedTableWithPxlib(const QString& dbPath, const QString& pxPath,
    const std::vector<paradox::Field>& fields, int keyFields, const std::vector<paradox::Row>& rows,
    QString* error);

struct IndexedRecords
{
    QString error; // pxlib's messages, empty when it read everything quietly
    std::vector<QByteArray> records;
};

// Reads every record through the .PX: pxlib locates record n by walking the index's lowest
// level, adding each entry's count until it reaches n, then reads it from that entry's block.
IndexedRecords readThroughPrimaryIndex(const QString& dbPath, const QString& pxPath);

} // namespace keystest

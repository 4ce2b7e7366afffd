#pragma once

// Test pieces for keyed tables: building tables with keys and index files, independent
// checks of tree files (by hand and through pxlib), and putting a rewrite's files in place.

#include "data/paradox/paradox.h"
#include "data/paradox/patch/keyed_rewrite.h"
#include "tests/data/paradox/writer_test_support.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <vector>

namespace keystest {

// The folder of the engine's own tables (FW_REALWORLD_DIR in the environment or at build
// time); empty when neither is there.
QString realworldDir();

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& bytes);
// Every file of a folder, hidden ones included, with its contents.
std::map<QString, QByteArray> snapshot(const QString& folder);
// Copies the files of `folder` whose name starts with "name." into `target`.
void copyFamily(const QString& folder, const QString& name, const QString& target);

// A header with the bytes a rebuild recounts (records, blocks, first and last block, maximum
// blocks, first free block) zeroed: what must stay as it was.
QByteArray withoutCounts(QByteArray header);

// Moves every rewritten file over its target.
QString placeFiles(paradox::KeyedRewrite& rewrite);

struct KeyedTableRecipe
{
    QString folder;
    QString name;
    std::vector<paradox::Field> fields;
    int keyFields = 1;
    std::vector<paradox::Row> rows; // in key order
    int codePage = 1252;
    int sortOrderCode = 0;
    QByteArray sortOrderName = "ascii";
    int blockSizeKb = 1;
    int fileVersion = 0x0B;
};

struct IndexRecipe
{
    QString suffix; // "X02", "XG0", ...
    std::vector<int> fields; // table fields (from 0) in index order
    QByteArray indexName; // empty for an unnamed single-field index
    bool isDescending = false;
};

// Writes the .DB with our own writer and marks it keyed; the .PX is a header with no blocks.
// Empty on success, else what failed.
QString writeKeyedTable(const KeyedTableRecipe& recipe);
// Marks the table written from `recipe` keyed and adds its header-only .PX (the second half of
// writeKeyedTable, for tables written otherwise).
void markKeyed(const KeyedTableRecipe& recipe);
// Writes an .Xnn/.XGn and its tree as headers without entries, as the engine lays them out.
void writeEmptyIndex(const KeyedTableRecipe& recipe, const IndexRecipe& index);
// Rebuilds the .PX and every index of a table just written, so that it starts consistent.
QString buildIndexes(const QString& dbPath);

// Checks a tree file (.PX, .Ynn) against the file it indexes, decoding both by hand: every
// entry's key, child and count, keys ascending on every level, one entry per block of the
// indexed file in chain order, its records in key order, the chains' back links and the
// headers' counts. Empty when all holds, else the first fault.
QString verifyTree(const QString& treePath, const QString& indexedPath);

// The entries an index must hold, built by hand from the .DB: the bytes of the indexed fields
// (offset and width in the record), of the key (the first keySize bytes), the block as a
// Short; sorted by all but the block.
std::vector<QByteArray> expectedEntries(
    const QString& dbPath, const std::vector<std::pair<int, int>>& fields, int keySize);

// The records of a .DB-format file along its chain, as raw bytes.
std::vector<QByteArray> chainRecords(const QString& path);

struct IndexedRecords
{
    QString error; // pxlib's messages, empty when it read everything quietly
    std::vector<QByteArray> records;
};
// Reads every record with pxlib through the .PX: it locates record n by walking the index's
// lowest level, adding each entry's count until it reaches n, then reads it from that entry's
// block. An independent reader that does not follow the block chain.
IndexedRecords readThroughPrimaryIndex(const QString& dbPath, const QString& pxPath);

} // namespace keystest

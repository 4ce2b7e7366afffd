#pragma once

// Changing a field that a key or an index is built on. A keyed table keeps its records in key
// order, its .PX indexes their blocks and every secondary index holds, per record, the
// indexed values, the primary key and the record's block: the engine reads them all again
// after us, so they must come back consistent.
//
// - A key field changes: the records are laid out again in the order of their new keys and
//   the .PX and every secondary index are rebuilt (their keys and block numbers moved).
// - An indexed field that is no key field changes: the records keep their places and only
//   the indexes over that field are rebuilt.
// - Any other field: values change in place, no index is touched (not done here).
//
// Whatever cannot be reproduced as the engine does it is refused before anything is written:
// text keys under a sort order other than "ascii", descending indexes, composite indexes
// over text (they may ignore case), indexes of unkeyed tables, files of unknown layout,
// duplicate keys. See key_order.h.

#include "data/paradox/io/table_family.h"
#include "data/paradox/patch/keyed_table.h"

#include <memory>

namespace paradox {

enum class RebuildScope {
    None, // no key or index depends on the field
    SecondaryIndexes, // the indexes over the field; the records stay where they are
    KeyedLayout, // the record order, the .PX and every secondary index
};

struct RebuildPlan
{
    RebuildScope scope = RebuildScope::None;
    std::vector<QString> files; // what would be written anew (full paths), the .DB first; empty for None
    QString refusal; // why this program cannot do it; empty when it can
};

// Which files a change of `field` (from 0) makes stale and whether they can be rebuilt. Reads
// headers only; a rewrite may still refuse for what only the records show (duplicate keys,
// records or index entries in an order that cannot be reproduced).
RebuildPlan planFieldChange(const QString& dbPath, int field);

struct RewrittenFile
{
    QString target; // the file of the table this one replaces
    std::unique_ptr<writer::TemporaryFile> file; // written, flushed and closed
};

struct KeyedRewrite
{
    RebuildScope scope = RebuildScope::None;
    // The new .DB first, then the .PX (when the records moved) and the rebuilt indexes.
    std::vector<RewrittenFile> files;
};

// Writes the table at dbPath with the new values of `field` into temporary files beside it
// (hidden .NAME.<random>.EXT.tmp); the caller moves them over their targets. Records not
// named in `changes` keep their bytes, and so does everything but the changed values, the
// record order and block counts. Returns an empty string on success, else a message for the
// user; then nothing is left in the folder.
QString rewriteKeyedTable(
    const QString& dbPath, int field, std::vector<FieldChange> changes, KeyedRewrite* result);

} // namespace paradox

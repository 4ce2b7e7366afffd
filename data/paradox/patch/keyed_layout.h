#pragma once

// The records of a .DB written anew: in the order of their keys after a change, or in their
// old places with the changed values patched in.

#include "data/paradox/patch/keyed_table.h"

#include <optional>

namespace paradox {

// Where each record lies (in chain order) and the chain positions sorted by their new keys.
// Eight bytes a record: the keys themselves are dropped once sorted.
struct KeyOrder
{
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> order;
};

// Reads every key with the changes applied and sorts them. nullopt with *refusal when the
// table's own records are not in the order computed for their old keys (the sort order is
// not the one reproduced here, or the table is damaged), or when records would share a key.
// Throws FormatError for a damaged file.
std::optional<KeyOrder> orderByNewKeys(
    const KeyedTable& table, const FieldChanges& changes, QString* refusal);

// Writes the table's header and its records in `order` into full blocks of `file`, each
// changed record with its new value. `blocks` receives what the .PX indexes.
bool writeInKeyOrder(const KeyedTable& table, const FieldChanges& changes, const KeyOrder& order,
    writer::TemporaryFile& file, BlockKeys* blocks, QString* error);

// Writes a copy of the .DB, byte for byte, with the new values in their records' places.
bool writePatchedCopy(
    const KeyedTable& table, const FieldChanges& changes, writer::TemporaryFile& file, QString* error);

} // namespace paradox

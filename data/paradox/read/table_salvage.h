#pragma once

// Reading what can be read of a damaged table: every record that lies whole in its block,
// along whatever of the chain of blocks can be followed, with a note of each block or record
// that could not be read and why. Memo values that cannot be read (the memo file is missing
// or damaged) are marked, and their records kept. Never writes.

#include "data/paradox/format/table.h"
#include "data/paradox/read/table_problem.h"

#include <memory>

namespace paradox {

class SalvageReader
{
public:
    virtual ~SalvageReader() = default;
    virtual const TableInfo& info() const = 0;
    // The next record that could be read; false at the end. isMissing[i] is true for a value
    // that could not be read (then row[i] is null).
    virtual bool readNext(Row& row, std::vector<bool>& isMissing) = 0;
    // What could not be read since the last call, in the order it was met.
    virtual std::vector<TableProblem> takeProblems() = 0;
};

// Null with *error when not even the header can be read.
std::unique_ptr<SalvageReader> openTableForSalvage(const QString& dbPath, QString* error);

} // namespace paradox

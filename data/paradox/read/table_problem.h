#pragma once

// A fault found in a table's files, where it lies and what it is: what the health check
// reports and what the salvage reader passes over.

#include <QString>

namespace paradox {

struct TableProblem
{
    QString file; // file name as the user knows it, e.g. "ORDERS.DB"
    QString where; // "block 3", "record 12 (block 3)", ...; empty for the file as a whole
    QString what;

    QString text() const; // "ORDERS.DB, block 3: ..."
};

} // namespace paradox

#pragma once

// What the health check answers of one table: its problems, kept to a number a user can read.

#include "data/paradox/read/table_problem.h"

#include <QString>
#include <vector>

namespace paradox {

struct TableCheck
{
    QString table; // the table's name ("ORDERS"), or an index file's name when it has no table
    std::vector<TableProblem> problems; // at most kMaxTableProblems, then one that counts the rest
    bool isWhole() const { return problems.empty(); }
    // "ok" or "damaged: PROBLEM; PROBLEM ...", for a list or a message.
    QString summary() const;
};

// A badly damaged table could fault on every record; past this many, the rest are counted.
constexpr int kMaxTableProblems = 20;

} // namespace paradox

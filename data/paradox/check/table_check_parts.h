#pragma once

// The pieces of the health check (table_check.h) that live in files of their own.

#include "data/paradox/check/table_check_report.h"
#include "data/paradox/format/header.h"

#include <QIODevice>
#include <vector>

namespace paradox {

// The problems of one table, kept to kMaxTableProblems; the rest are counted.
class ProblemList
{
public:
    explicit ProblemList(TableCheck& check)
        : m_check(check)
    { }
    void add(const QString& file, const QString& where, const QString& what);
    bool isEmpty() const { return m_check.problems.empty(); }
    // Adds the count of the problems left out, if any.
    void finish();

private:
    TableCheck& m_check;
    int m_leftOut = 0;
};

// A block of a chain as an index over it should describe it.
struct ChainBlock
{
    int number = 0;
    int recordCount = 0;
    std::vector<unsigned char> firstKey; // the key of its first record; empty when it has none
};

// What a tree file (.px, .Ynn, .YGn) should hold: the indexed file's blocks, in chain order.
struct TreeExpectation
{
    int fileType = 1; // 1 .px, 4 .Ynn, 7 .YGn
    int keySize = 0;
    std::vector<Field> keyFields; // to show keys in messages
    int codePage = 0;
    QString indexedName; // the indexed file, e.g. "ORDERS.DB"
    const std::vector<ChainBlock>* blocks = nullptr;
};

// The tree file against the expectation: every block listed once, in chain order, with its
// record count and the key of its first record; the levels above adding up.
void checkTree(ProblemList& problems, QIODevice& file, const QString& name, const TreeExpectation& expected);

// The table's secondary indexes: readable, with their trees, an entry for every record.
void checkSecondaryIndexes(ProblemList& problems, const QString& dbPath);

} // namespace paradox

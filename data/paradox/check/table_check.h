#pragma once

// The health check of a table and its family: everything a reader or a rebuild relies on,
// verified without stopping at the first fault, so that a user learns which tables are
// damaged, and where, before anything is cleaned. Never writes.

#include "data/paradox/check/table_check_report.h"

#include <QIODevice>
#include <QString>
#include <memory>
#include <vector>

namespace paradox {

// Checks the table whose .db is dbPath: its header, chain of blocks, records, memo file,
// primary index and secondary indexes, and that the files its fields need are there.
TableCheck checkTable(const QString& dbPath);

// Checks every table of folder (or only `table`, when not empty), in name order, and adds an
// entry for each index or memo file whose table is missing.
std::vector<TableCheck> checkFolder(const QString& folder, const QString& table = QString());

// The checks of a table's .db, .mb and .px given as open devices (mb, px may be null when the
// file is missing): what checkTable does without the secondary indexes. Tests and the fuzz
// target hand it bytes in memory.
TableCheck checkTableDevices(const QString& table, QIODevice& db, const QString& dbName,
    std::unique_ptr<QIODevice> mb, const QString& mbName, QIODevice* px, const QString& pxName);

} // namespace paradox

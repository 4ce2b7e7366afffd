#pragma once

// Which files of a folder are a table's. A table is its .DB; its other files (.MB, .PX,
// .Xnn, ...) share the .DB's base name, spelled exactly so, with the extension in any case
// (CUSTOMER.DB with CUSTOMER.mb is one table). On a case-sensitive file system CUSTOMER.DB
// and customer.db are two tables, and neither takes the other's files.
//
// Files copied from a system that ignores case may come back spelled differently from their
// .DB (ORDERS.DB with orders.mb). Such a file is still the table's when it can be no other
// table's: no .DB bears its exact base name, and exactly one .DB's name differs from it only
// in case. The reader, the patch, the rebuild of indexes and tableFamily() all take the same
// files by this rule.

#include <QString>
#include <vector>

namespace paradox {

// The .db file of table `name` in folder: the exact name first (in a folder with CUSTOMER.DB
// and customer.db, CUSTOMER finds CUSTOMER.DB), else one whose name differs only in case
// (ORDERS finds orders.db and Orders.DB); empty when there is none.
QString findTableFile(const QString& folder, const QString& name);

// The files of table `name`'s family in folder (.db, .px, .mb, .xnn/.ynn, .val, .tv, ...),
// as full paths: those whose base name is exactly `name` (CUST, not CUST2), the extension
// in any case. A file whose base name differs from `name` only in case is one of them when
// it can be no other table's (ORDERS.DB with orders.mb; find_table.h); in a folder with
// CUSTOMER.DB and customer.db, each table keeps its own files.
std::vector<QString> tableFamily(const QString& folder, const QString& name);

// The file of `folder` named fileName, as a full path: the exact name, else the same base
// name with the extension in another case, else a name that differs only in case, taken
// only when it is not another table's file (the rule above). Among equals, the first in
// code-unit order, so that the same file is found every time. Empty when there is none.
QString findFileIgnoringCase(const QString& folder, const QString& fileName);

// The files of every table in folder whose name equals `name` ignoring case, as full paths.
// A backup folder may end up on a system that ignores case: one such file there is enough to
// keep another table of that name out.
std::vector<QString> filesNamedLike(const QString& folder, const QString& name);

} // namespace paradox

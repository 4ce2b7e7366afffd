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

#pragma once

// Where a table lies, found once and handed down: the folder made canonical (links, "..",
// "//" resolved), the .DB found whatever the case of its name, its family listed from there. A
// run, a restore, a recipe's table and a check find their table's place once; every step below
// works on those same files instead of finding the table again from a folder and a name.

#include <QString>
#include <vector>

namespace paradox {

struct TablePlace
{
    QString folder; // the folder that holds the .DB, canonical
    QString name; // the table as the .DB spells it: the base name its family shares
    QString dbPath; // the .DB; empty when the folder holds no such table

    bool isFound() const { return !dbPath.isEmpty(); }
    // The table's files as they are now (tableFamily): none when it is not found.
    std::vector<QString> family() const;
    // The .DB as the links it may be lead: where its files really are, and are replaced.
    QString realDbPath() const;
    QString realFolder() const;
};

// The canonical path of folder, or, when it does not exist, its cleaned absolute path.
QString canonicalFolder(const QString& folder);

// Table `table` of folder: a plain name, with or without ".db", found as findTableFile finds it.
// Not found (an empty dbPath; the name as given, the folder canonical) when folder holds no
// such table or the name has a path in it.
TablePlace findTablePlace(const QString& folder, const QString& table);

} // namespace paradox

#include "data/paradox/io/table_place.h"

#include "data/paradox/io/find_table.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace paradox {

std::vector<QString> TablePlace::family() const
{
    return isFound() ? tableFamily(folder, name) : std::vector<QString> {};
}

QString TablePlace::realDbPath() const
{
    if (!isFound())
        return {};
    const QString real = QFileInfo(dbPath).canonicalFilePath();
    return real.isEmpty() ? dbPath : real;
}

QString TablePlace::realFolder() const
{
    return isFound() ? QFileInfo(realDbPath()).absolutePath() : folder;
}

QString canonicalFolder(const QString& folder)
{
    if (folder.isEmpty())
        return {};
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

TablePlace findTablePlace(const QString& folder, const QString& table)
{
    TablePlace place { canonicalFolder(folder), table, {} };
    if (folder.isEmpty())
        return place;
    const QString found = findTableFile(place.folder, table);
    if (found.isEmpty()) {
        if (table.endsWith(u".db"_s, Qt::CaseInsensitive))
            place.name = table.left(table.size() - 3);
        return place;
    }
    place.dbPath = found;
    place.name = QFileInfo(found).completeBaseName();
    return place;
}

} // namespace paradox

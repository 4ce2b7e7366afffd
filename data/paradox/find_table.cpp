#include "data/paradox/find_table.h"

#include "data/paradox/table.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace paradox {

QString findFileIgnoringCase(const QString& folder, const QString& fileName)
{
    const QDir dir(folder);
    if (QFileInfo(dir.filePath(fileName)).isFile())
        return dir.filePath(fileName);
    // Sorted, so that of orders.db and ORDERS.DB the same one is found every time.
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries) {
        if (entry.compare(fileName, Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    }
    return {};
}

QString findTableFile(const QString& folder, const QString& name)
{
    // A table name is a plain file name; one with a path in it would look outside the folder.
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\'))
        return {};
    const bool hasExtension = name.endsWith(u".db"_s, Qt::CaseInsensitive);
    return findFileIgnoringCase(folder, hasExtension ? name : name + u".db"_s);
}

} // namespace paradox

#include "data/table_state.h"

#include "data/paradox/table.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace data {

bool isDataFileExtension(const QString& extension)
{
    static const QRegularExpression pattern(
        u"^(DB|MB|PX|[XY][0-9A-F]{2}|[XY]G[0-9A-F])$"_s, QRegularExpression::CaseInsensitiveOption);
    return pattern.match(extension).hasMatch();
}

QString fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

QStringList dataFileNames(const QString& folder, const QString& table)
{
    const QString db = paradox::findTableFile(folder, table);
    if (db.isEmpty())
        return {};
    QStringList names;
    for (const QString& file :
        paradox::tableFamily(QFileInfo(db).absolutePath(), QFileInfo(db).completeBaseName())) {
        if (isDataFileExtension(QFileInfo(file).suffix()))
            names << QFileInfo(file).fileName();
    }
    return names;
}

TableState tableState(const QString& folder, const QString& table)
{
    TableState state;
    for (const QString& name : dataFileNames(folder, table))
        state.insert(QFileInfo(name).suffix().toLower(), fileDigest(QDir(folder).filePath(name)).toLatin1());
    return state;
}

} // namespace data

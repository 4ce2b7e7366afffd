#include "files/paths.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace files {

QChar separator()
{
    return QDir::separator();
}

bool endsWithSeparator(const QString& path)
{
    // Qt accepts "/" on every platform, so a Windows path typed with "/" counts too.
    return path.endsWith(separator()) || path.endsWith(u'/');
}

QString withTrailingSeparator(const QString& path)
{
    return endsWithSeparator(path) ? path : path + separator();
}

QString withoutTrailingSeparator(const QString& path)
{
    QString result = path;
    while (result.size() > 1 && endsWithSeparator(result))
        result.chop(1);
    return result;
}

bool isBeforeInListing(const QString& a, const QString& b)
{
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

std::filesystem::path toFsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    const QByteArray bytes = QFile::encodeName(path);
    return std::filesystem::path(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
#endif
}

QString fromFsPath(const std::filesystem::path& path)
{
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
#endif
}

} // namespace files

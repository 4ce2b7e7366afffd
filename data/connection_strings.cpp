#include "data/connection_strings.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace data {
namespace {

constexpr char16_t kParadoxStart[]
    = u"Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;DefaultDir=";
constexpr char16_t kWorkStart[] = u"PROVIDER=Microsoft.Jet.OLEDB.4.0;Data Source=";

// The value of key in a string of key=value pairs separated by semicolons. The folder in
// a Paradox string is typed by the user and may itself hold a semicolon, so DefaultDir
// runs up to ";Dbq=" rather than to the next semicolon.
QString valueAfter(const QString& text, const QString& key, const QString& end)
{
    const qsizetype start = text.indexOf(key, 0, Qt::CaseInsensitive);
    if (start < 0)
        return {};
    const qsizetype from = start + key.size();
    const qsizetype stop = text.indexOf(end, from, Qt::CaseInsensitive);
    return text.mid(from, stop < 0 ? -1 : stop - from);
}

} // namespace

QString paradoxConnectionString(const QString& folder)
{
    return QString::fromUtf16(kParadoxStart) + folder + u";Dbq="_s + folder + u";CollatingSequence=ASCII;"_s;
}

QString workDatabaseConnectionString(const QString& applicationFolder)
{
    return QString::fromUtf16(kWorkStart) + applicationFolder + QDir::separator()
        + QString::fromUtf16(kWorkDatabaseFileName) + u";JET OLEDB:Database Password="_s;
}

ConnectionTarget parseConnectionString(const QString& connectionString)
{
    if (connectionString.contains(u"Microsoft Paradox Driver"_s, Qt::CaseInsensitive)) {
        QString folder = valueAfter(connectionString, u"DefaultDir="_s, u";Dbq="_s);
        if (folder.isEmpty())
            folder = valueAfter(connectionString, u"Dbq="_s, u";CollatingSequence="_s);
        return { ConnectionTarget::Kind::ParadoxFolder, folder };
    }
    if (connectionString.contains(u"Microsoft.Jet.OLEDB"_s, Qt::CaseInsensitive))
        return { ConnectionTarget::Kind::WorkDatabase,
            valueAfter(connectionString, u"Data Source="_s, u";JET OLEDB:"_s) };
    return {};
}

} // namespace data

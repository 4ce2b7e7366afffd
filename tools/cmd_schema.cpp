// fieldwright-cli schema FILE.db: the table's header facts, then one line per field
// (name, type, size), tab-separated.

#include "tools/commands.h"

#include "data/paradox/table.h"

using namespace Qt::StringLiterals;

namespace tools {
namespace {

QString versionText(int versionByte)
{
    if (versionByte == 3)
        return u"3.0"_s;
    if (versionByte == 4)
        return u"3.5"_s;
    if (versionByte >= 5 && versionByte <= 9)
        return u"4.x"_s;
    if (versionByte == 0x0A || versionByte == 0x0B)
        return u"5.x"_s;
    if (versionByte == 0x0C)
        return u"7.x"_s;
    return u"unknown (0x%1)"_s.arg(versionByte, 2, 16, QChar(u'0'));
}

} // namespace

int runSchema(const QStringList& args)
{
    if (args.size() != 1) {
        printErr(u"usage: fieldwright-cli schema FILE.db"_s);
        return 2;
    }
    QString error;
    const auto reader = paradox::openTable(args.first(), &error);
    if (!reader) {
        printErr(u"fieldwright-cli: "_s + error);
        return 1;
    }
    const paradox::TableInfo& info = reader->info();
    printOut(u"file version\t"_s + versionText(info.fileVersion));
    printOut(u"code page\t"_s + QString::number(info.codePage));
    printOut(u"record count\t"_s + QString::number(info.recordCount));
    for (const paradox::Field& field : info.fields)
        printOut(
            field.name + u'\t' + paradox::fieldTypeName(field.type) + u'\t' + QString::number(field.size));
    return 0;
}

} // namespace tools

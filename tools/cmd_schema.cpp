// fieldwright-cli schema FILE.db: the table's header facts (version, code page and where it
// comes from, password protection, records), then one line per field (name, type, size),
// tab-separated.

#include "tools/cli_support.h"

#include "data/paradox/paradox.h"

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
    int status = 0;
    const auto reader = openTableArgument(args, u"schema"_s,
        u"Shows the header facts of a table file, then its fields (name, type, size)."_s, &status);
    if (!reader)
        return status;
    const paradox::TableInfo& info = reader->info();
    printOut(u"file version\t"_s + versionText(info.fileVersion));
    printOut(u"code page\t"_s + QString::number(info.codePage));
    printOut(u"code page from\t"_s + paradox::codePageOrigin(info));
    printOut(u"password-protected\t"_s + (info.isPasswordProtected ? u"yes"_s : u"no"_s));
    printOut(u"record count\t"_s + QString::number(info.recordCount));
    for (const paradox::Field& field : info.fields)
        printOut(
            field.name + u'\t' + paradox::fieldTypeName(field.type) + u'\t' + QString::number(field.size));
    return 0;
}

} // namespace tools

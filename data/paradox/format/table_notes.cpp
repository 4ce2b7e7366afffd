// What the table list's tooltip and the schema command say about a table beyond its fields.

#include "data/paradox/format/code_page.h"
#include "data/paradox/format/language_driver.h"
#include "data/paradox/format/table.h"

using namespace Qt::StringLiterals;

namespace paradox {

QString passwordProtectionText(const TableInfo& info)
{
    return info.isPasswordProtected
        ? u"Password-protected: read and written with the key in its header, without the password"_s
        : QString();
}

QString codePageOrigin(const TableInfo& info)
{
    const QString sortOrder = u"sort order 0x%1"_s.arg(info.sortOrderCode, 2, 16, QChar(u'0'));
    const QString driver = info.sortOrderName.isEmpty()
        ? u"with %1 and no name"_s.arg(sortOrder)
        : u"\"%1\" (%2)"_s.arg(QString::fromLatin1(info.sortOrderName), sortOrder);
    switch (info.codePageSource) {
    case TableInfo::CodePageSource::Header:
        return u"the header"_s;
    case TableInfo::CodePageSource::LanguageDriver:
        return u"the language driver %1; the header gives none"_s.arg(driver);
    case TableInfo::CodePageSource::Assumed:
        break;
    }
    return u"nowhere: the header gives none and the language driver %1 is not known"_s.arg(driver);
}

QString codePageText(const TableInfo& info)
{
    const QString codePage
        = info.codePage == kHpRoman8CodePage ? u"HP Roman-8"_s : QString::number(info.codePage);
    return u"Code page %1, from %2"_s.arg(codePage, codePageOrigin(info));
}

} // namespace paradox

#include "core/error_report.h"

using namespace Qt::StringLiterals;

namespace core {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{ }

QString errorReportText(const QString& description, const QString& context, int line)
{
    return description + u"\r\n"_s + u"in "_s + context + u' ' + u"at line "_s + QString::number(line)
        + u"\r\r"_s + u"Please email screenshot of this message to "_s + QString::fromUtf16(kSupportAddress);
}

} // namespace core

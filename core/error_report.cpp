#include "core/error_report.h"

#include <cerrno>

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

void throwLike(const Error& e, const QString& description)
{
    if (dynamic_cast<const EnvironmentError*>(&e))
        throw EnvironmentError(description);
    throw Error(description);
}

void throwFileError(int error, const QString& failure, const QString& outcome)
{
    QString advice;
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        advice = u"The disk is full: free some space on it and start again."_s;
        break;
    case ENAMETOOLONG:
        advice = u"The name is too long for the disk: give the table or its folder a shorter name and start "
                 "again."_s;
        break;
    case EIO:
        advice = u"The disk reported an I/O error: check the disk and start again."_s;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        advice = u"The file or its folder cannot be written: make it writable and start again."_s;
        break;
    default:
        throw Error(outcome.isEmpty() ? failure : failure + u". "_s + outcome);
    }
    throw EnvironmentError(failure + u". "_s + advice + (outcome.isEmpty() ? QString() : u' ' + outcome));
}

} // namespace core

#include "tests/support/pxlib_session.h"

#include <QString>
#include <clocale>
#include <mutex>

namespace testsupport {

void bootPxlib()
{
    static std::once_flag once;
    std::call_once(once, [] {
        PX_boot();
        std::setlocale(LC_ALL, "C");
    });
}

void collectPxlibMessages(pxdoc_t*, int, const char* message, void* data)
{
    auto* messages = static_cast<QString*>(data);
    if (!messages->isEmpty())
        messages->append(QStringLiteral("; "));
    messages->append(QString::fromLocal8Bit(message));
}

} // namespace testsupport

#include "core/helpers.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QTime>

namespace core {

QVariant ValueOrDefault(const QVariant& value, const QVariant& fallback)
{
    return value.isNull() ? fallback : value;
}

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

float secondsSinceMidnight()
{
    return static_cast<float>(QTime::currentTime().msecsSinceStartOfDay()) / 1000.0f;
}

void Pause(float seconds, EventPump& events, const std::function<float()>& clock)
{
    const float start = clock();
    for (;;) {
        const float now = clock();
        // The clock starts again at 0 at midnight.
        const float elapsed = now < start ? now - start + 86400.0f : now - start;
        if (elapsed >= seconds)
            return;
        events.processEvents();
    }
}

QString applicationFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace core

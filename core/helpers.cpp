#include "core/helpers.h"

#include "core/error_report.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTime>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

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
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QString installed = QDir::cleanPath(programFolder + u"/../share/fieldwright"_s);
    if (QFileInfo(programFolder).fileName() == u"bin"_s && QFileInfo(installed).isDir())
        return installed;
    return programFolder;
}

bool isInstalledFolder(const QString& folder)
{
    const QFileInfo info(QDir::cleanPath(folder));
    return info.fileName() == u"fieldwright"_s && QFileInfo(info.path()).fileName() == u"share"_s;
}

QString userDataFolder()
{
    const QString tail = u"/Vantorel/Fieldwright"_s;
#ifdef Q_OS_UNIX
    // The freedesktop rule: XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
    // Without HOME, Qt would answer "/.local/share"; the user database knows the home folder.
    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (QDir::isAbsolutePath(dataHome))
        return QDir::cleanPath(dataHome) + tail;
    QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home)) {
        const passwd* user = ::getpwuid(::getuid());
        home = user && user->pw_dir ? QFile::decodeName(user->pw_dir) : QString();
    }
    if (!QDir::isAbsolutePath(home) || QDir::cleanPath(home) == u"/"_s)
        throw Error(u"There is no home folder for the program's backups: HOME is not set, and the user "
                    "database names none."_s);
    return QDir::cleanPath(home) + u"/.local/share"_s + tail;
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + tail;
#endif
}

} // namespace core

#pragma once

// A folder tree in a temporary folder, built by the test and removed afterwards.

#include "core/dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_tree {

class TempTree
{
public:
    // The root, ending with "/".
    QString root() const { return m_dir.path() + QLatin1Char('/'); }
    QString path(const QString& relative) const { return root() + relative; }

    void folder(const QString& relative) const { QDir().mkpath(path(relative)); }
    void file(const QString& relative, const QByteArray& content = {}) const
    {
        folder(QFileInfo(path(relative)).path().mid(root().size()));
        QFile out(path(relative));
        if (out.open(QIODevice::WriteOnly))
            out.write(content);
    }
    void link(const QString& relative, const QString& target) const { QFile::link(target, path(relative)); }
    void pipe(const QString& relative) const
    {
        ::mkfifo(QFile::encodeName(path(relative)).constData(), 0600);
    }
    QByteArray read(const QString& relative) const
    {
        QFile in(path(relative));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }

    // Paths relative to the root; the root itself is "".
    QStringList relative(const QStringList& paths) const
    {
        QStringList result;
        for (const QString& p : paths)
            result.append(p.startsWith(root()) ? p.mid(root().size()) : p);
        return result;
    }

private:
    QTemporaryDir m_dir;
};

struct RecordedErrors : core::ErrorSink
{
    QStringList reports;
    void showErrorReport(const QString& report) override { reports.append(report); }
};

inline bool isRoot()
{
    return ::geteuid() == 0;
}

} // namespace testing_tree

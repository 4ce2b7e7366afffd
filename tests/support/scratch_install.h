#pragma once

// A scratch installation for tests of the data path: an application folder with an empty
// work database, a Paradox folder, a backup root, and helpers to write tables there and to
// read them back.

#include "data/paradox/paradox.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace testsupport {

class ScratchInstall
{
public:
    // The per-user data folder (backups, the list of interrupted write-backs) is the
    // installation's own while it lives: tests run side by side, and one test's start-up
    // must not finish another's write-back under its feet.
    ScratchInstall()
        : m_hadDataHome(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
        , m_dataHome(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("userdata"))));
        QDir().mkpath(appFolder());
        QDir().mkpath(paradoxFolder());
        QFile workDatabase(appFolder() + QStringLiteral("/dbTemp.mdb"));
        if (workDatabase.open(QIODevice::WriteOnly)) // 0 bytes: an empty SQLite database
            workDatabase.close();
    }

    ~ScratchInstall()
    {
        if (m_hadDataHome)
            qputenv("XDG_DATA_HOME", m_dataHome);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    ScratchInstall(const ScratchInstall&) = delete;
    ScratchInstall& operator=(const ScratchInstall&) = delete;

    QString appFolder() const { return m_root.path() + QStringLiteral("/app"); }
    QString paradoxFolder() const { return m_root.path() + QStringLiteral("/paradox"); }
    QString backupRoot() const { return m_root.path() + QStringLiteral("/backups"); }
    QString path(const QString& name) const { return m_root.path() + u'/' + name; }

    // Writes a table with our own writer into the Paradox folder.
    void writeTable(const QString& name, const std::vector<paradox::Field>& fields,
        const std::vector<paradox::Row>& rows, int codePage = 1252) const
    {
        paradox::NewTable table;
        table.folder = paradoxFolder();
        table.name = name;
        table.fields = fields;
        table.codePage = codePage;
        QString error;
        auto writer = paradox::createTable(table, &error);
        ASSERT_TRUE(writer) << error.toStdString();
        for (const paradox::Row& row : rows)
            ASSERT_TRUE(writer->append(row, &error)) << error.toStdString();
        ASSERT_TRUE(writer->commit(QString(), &error)) << error.toStdString();
    }

    // Every record of a table of the Paradox folder.
    std::vector<paradox::Row> readTable(const QString& name) const
    {
        QString error;
        auto reader = paradox::openTable(paradox::findTableFile(paradoxFolder(), name), &error);
        EXPECT_TRUE(reader) << error.toStdString();
        std::vector<paradox::Row> rows;
        paradox::Row row;
        while (reader && reader->readNext(row))
            rows.push_back(row);
        if (reader) {
            EXPECT_TRUE(reader->error().isEmpty()) << reader->error().toStdString();
        }
        return rows;
    }

    // One column of a table as texts; a null is shown as "<null>".
    QStringList column(const QString& name, int index = 0) const
    {
        QStringList values;
        for (const paradox::Row& row : readTable(name)) {
            const paradox::Value& value = row.at(static_cast<std::size_t>(index));
            values << (paradox::isNull(value) ? QStringLiteral("<null>") : paradox::valueText(value));
        }
        return values;
    }

    // Names and contents of every file of a folder (the Paradox folder by default).
    QByteArray fingerprint(const QString& folder = {}) const
    {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        const QDir dir(folder.isEmpty() ? paradoxFolder() : folder);
        for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
            QFile file(info.filePath());
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            hash.addData(info.fileName().toUtf8());
            hash.addData(file.readAll());
        }
        return hash.result();
    }

private:
    QTemporaryDir m_root;
    bool m_hadDataHome;
    QByteArray m_dataHome;
};

inline paradox::Field alphaField(const QString& name, int size = 40)
{
    return { name, paradox::FieldType::Alpha, size };
}

// A row of texts; a null pointer is a null value.
inline paradox::Row texts(std::initializer_list<const char16_t*> values)
{
    paradox::Row row;
    for (const char16_t* v : values)
        row.push_back(v ? paradox::Value(QString::fromUtf16(v)) : paradox::Value(paradox::Null {}));
    return row;
}

} // namespace testsupport

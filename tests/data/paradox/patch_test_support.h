#pragma once

// Shared pieces of the patch tests: file bytes, reading a whole table, and putting a patch's
// temporary files where a reader finds them.

#include "data/paradox/patch/table_patch.h"
#include "tests/data/paradox/writer_test_support.h"

#include <QFile>
#include <QFileInfo>

namespace patchtest {

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

struct Table
{
    QString error;
    std::vector<paradox::Row> rows;
};

inline Table readAll(const QString& dbPath)
{
    Table table;
    auto reader = paradox::openTable(dbPath, &table.error);
    if (!reader)
        return table;
    paradox::Row row;
    while (reader->readNext(row))
        table.rows.push_back(row);
    table.error = reader->error();
    return table;
}

// The offsets at which two files differ, as [first, last] byte ranges.
inline std::vector<std::pair<qsizetype, qsizetype>> differences(const QByteArray& a, const QByteArray& b)
{
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] == b[i])
            continue;
        if (!ranges.empty() && ranges.back().second >= i - 16)
            ranges.back().second = i;
        else
            ranges.emplace_back(i, i);
    }
    if (a.size() != b.size())
        ranges.emplace_back(std::min(a.size(), b.size()), std::max(a.size(), b.size()) - 1);
    return ranges;
}

// Copies the patch's files (and the unchanged .MB when the patch left it alone) into folder
// as table `name`, so that readers find them under their usual names.
inline void placeCopy(
    const paradox::TablePatch& patch, const QString& originalMb, const QString& folder, const QString& name)
{
    const QDir dir(folder);
    QFile::remove(dir.filePath(name + u".DB"_s));
    QFile::remove(dir.filePath(name + u".MB"_s));
    QFile::copy(patch.temporaryDbPath(), dir.filePath(name + u".DB"_s));
    const QString mb = patch.temporaryMbPath().isEmpty() ? originalMb : patch.temporaryMbPath();
    if (!mb.isEmpty())
        QFile::copy(mb, dir.filePath(name + u".MB"_s));
}

inline QStringList temporaryFilesIn(const QString& folder)
{
    return QDir(folder).entryList({ u"*.tmp"_s }, QDir::Files | QDir::Hidden);
}

} // namespace patchtest

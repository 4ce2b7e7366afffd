#include "data/digests/table_state.h"

#include "core/error_report.h"
#include "data/digests/sha256.h"
#include "data/paradox/paradox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace data {

bool isDataFileExtension(const QString& extension)
{
    static const QRegularExpression pattern(
        u"^(DB|MB|PX|[XY][0-9A-F]{2}|[XY]G[0-9A-F])$"_s, QRegularExpression::CaseInsensitiveOption);
    return pattern.match(extension).hasMatch();
}

QString fileDigest(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    Sha256 hash;
    std::vector<char> buffer(std::size_t { 1 } << 20);
    for (;;) {
        const qint64 got = file.read(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got < 0)
            return {};
        if (got == 0)
            break;
        hash.add(buffer.data(), static_cast<std::size_t>(got));
    }
    return QString::fromLatin1(hash.hex());
}

QByteArray requiredDigest(const QString& path)
{
    const QString digest = fileDigest(path);
    if (digest.isEmpty())
        throw core::Error(u"Cannot read %1."_s.arg(QDir::toNativeSeparators(path)));
    return digest.toLatin1();
}

QString fileDigest(const QString& path, const InPlaceWrites& writes, std::int64_t length)
{
    if (writes.empty() && length < 0)
        return fileDigest(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::int64_t size = file.size();
    std::int64_t end = length;
    if (end < 0) {
        end = size;
        for (const auto& [offset, bytes] : writes)
            end = std::max<std::int64_t>(end, static_cast<std::int64_t>(offset) + bytes.size());
    }
    Sha256 hash;
    constexpr std::int64_t kChunk = 1 << 20;
    QByteArray chunk;
    for (std::int64_t at = 0; at < end; at += kChunk) {
        const std::int64_t count = std::min(kChunk, end - at);
        chunk = at < size ? file.read(std::min(count, size - at)) : QByteArray();
        if (at < size && chunk.size() != std::min(count, size - at))
            return {};
        // Past the file's end, a write or a lengthening leaves zeros.
        chunk.resize(static_cast<qsizetype>(count), '\0');
        for (const auto& [offset, bytes] : writes) {
            const std::int64_t from = std::max(at, static_cast<std::int64_t>(offset));
            const std::int64_t to
                = std::min<std::int64_t>(at + count, static_cast<std::int64_t>(offset) + bytes.size());
            if (from < to)
                std::memcpy(chunk.data() + (from - at),
                    bytes.constData() + (from - static_cast<std::int64_t>(offset)),
                    static_cast<std::size_t>(to - from));
        }
        hash.add(chunk);
    }
    return QString::fromLatin1(hash.hex());
}

QStringList dataFileNames(const QString& folder, const QString& table)
{
    const QString db = paradox::findTableFile(folder, table);
    if (db.isEmpty())
        return {};
    QStringList names;
    for (const QString& file :
        paradox::tableFamily(QFileInfo(db).absolutePath(), QFileInfo(db).completeBaseName())) {
        if (isDataFileExtension(QFileInfo(file).suffix()))
            names << QFileInfo(file).fileName();
    }
    return names;
}

TableState tableState(const QString& folder, const QString& table)
{
    TableState state;
    for (const QString& name : dataFileNames(folder, table))
        state.insert(QFileInfo(name).suffix().toLower(), fileDigest(QDir(folder).filePath(name)).toLatin1());
    return state;
}

} // namespace data

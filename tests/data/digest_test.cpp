// The digests a backup's note keeps: SHA-256, the same whichever way the bytes are read, a file
// copied while it is digested, or one digested as later writes will leave it.

#include "data/digests/quick_digest.h"
#include "data/digests/table_state.h"
#include "data/paradox/io/uncached_io.h"
#include "data/safety/safe_files.h"
#include "data/safety/table_checks.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The quick digest of a snapshot, of the file at path.
QString snapshotDigest(const QString& path)
{
    return data::takeSnapshot(path)
        .value(u"files"_s)
        .toArray()
        .at(0)
        .toObject()
        .value(u"digest"_s)
        .toString();
}

// Sizes around the pieces the copy and the digests read (1 MiB, 8 MiB), off the disk's units,
// past the size the quick digest halves at (64 MiB), and none at all. A copy's bytes go past the
// page cache where they can, else through the kernel; its digests are of the bytes it copied,
// equal to the digests of the file read back, whichever pieces they come in.
TEST(Digests, AreTheSha256OfTheBytesHoweverTheyAreRead)
{
    QTemporaryDir dir;
    for (const qsizetype size : { qsizetype { 0 }, qsizetype { 4095 }, qsizetype { 1 } << 20,
             (qsizetype { 17 } << 20) + 5, (qsizetype { 64 } << 20) + 4097 }) {
        SCOPED_TRACE(size);
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(static_cast<quint32>(size));
        for (char& byte : bytes)
            byte = static_cast<char>(generator.bounded(256));
        const QString from = dir.filePath(u"from.db"_s);
        const QString to = dir.filePath(u"to.db"_s);
        write(from, bytes);
        EXPECT_EQ(data::fileDigest(from).toLatin1(), sha256(bytes));
        const QString quick = snapshotDigest(from);
        for (const bool isBypassAllowed : { true, false }) {
            SCOPED_TRACE(isBypassAllowed ? "past the page cache" : "through it");
            paradox::uncached::allowBypass(isBypassAllowed);
            QFile::remove(to);
            EXPECT_EQ(data::files::copySyncedWithDigest(from, to), sha256(bytes));
            EXPECT_TRUE(read(to) == bytes);
            EXPECT_FALSE(QFile::exists(to + u".part"_s));
            QFile::remove(to);
            const std::optional<quint64> copied = data::files::copySynced(from, to);
            EXPECT_TRUE(read(to) == bytes);
            if (copied) { // else the kernel or the file system copied the bytes without handing them over
                EXPECT_EQ(QString::number(*copied, 16), quick);
            }
        }
        paradox::uncached::allowBypass(true);
        data::QuickDigest pieces(size);
        for (qsizetype at = 0, piece = 1; at < size; at += piece, piece = piece * 7 % 9973 + 1)
            pieces.add(bytes.constData() + at, static_cast<std::size_t>(std::min(piece, size - at)));
        EXPECT_EQ(QString::number(pieces.value(), 16), quick) << "fed in uneven pieces";
    }
}

// A memo file finished in place: written over inside and past its end, then cut or lengthened.
TEST(Digests, OfAFileAsLaterWritesAndACutWillLeaveIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.mb"_s);
    const QByteArray original = QByteArray("0123456789").repeated(300000);
    write(path, original);
    const data::InPlaceWrites writes { { 5, "abc" }, { (1 << 20) - 1, "across a piece" },
        { static_cast<std::uint64_t>(original.size()) + 10, "past the end" } };
    QByteArray finished = original;
    for (const auto& [offset, bytes] : writes) {
        if (finished.size() < static_cast<qsizetype>(offset) + bytes.size())
            finished.resize(static_cast<qsizetype>(offset) + bytes.size(), '\0');
        finished.replace(static_cast<qsizetype>(offset), bytes.size(), bytes);
    }
    EXPECT_EQ(data::fileDigest(path, writes, -1).toLatin1(), sha256(finished));
    EXPECT_EQ(data::fileDigest(path, writes, 2000).toLatin1(), sha256(finished.left(2000)));
    QByteArray longer = finished;
    longer.resize(finished.size() + 7, '\0');
    EXPECT_EQ(data::fileDigest(path, writes, longer.size()).toLatin1(), sha256(longer));
    EXPECT_TRUE(data::fileDigest(dir.filePath(u"missing.mb"_s)).isEmpty());
}

} // namespace

// The quick digest that tells whether a table is still as its copy read it: a change of one
// byte anywhere (every lane of a 32-byte stretch, both sides of the chunks read, the tail)
// changes it, and putting the byte back restores it.
TEST(Digests, OfASnapshotSeeEveryByte)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"T.DB"_s);
    QByteArray bytes(qsizetype { 4 << 20 } + 37, '\0');
    QRandomGenerator random(7);
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    write(path, bytes);
    const auto digest = [&] { return snapshotDigest(path); };
    const QString original = digest();
    ASSERT_FALSE(original.isEmpty());
    std::vector<qsizetype> offsets;
    for (qsizetype at = 0; at < 32; ++at)
        offsets.push_back(at);
    for (const qsizetype at : { qsizetype { 4 << 20 } - 1, qsizetype { 4 << 20 }, bytes.size() - 1 })
        offsets.push_back(at);
    for (const qsizetype at : offsets) {
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
        write(path, bytes);
        EXPECT_NE(digest(), original) << "a change at byte " << at << " is not seen";
        bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    }
    write(path, bytes);
    EXPECT_EQ(digest(), original);
}

namespace {

QJsonObject snapshotFile(const QJsonObject& snapshot)
{
    return snapshot.value(u"files"_s).toArray().at(0).toObject();
}

} // namespace

// The digests a snapshot gets while the copy reads the table: pending until then, and no file
// matches that; then the quick digest the snapshot would have had at once, and the SHA-256
// that the backup notes without digesting its copy again, taken only for a copy that holds
// the same bytes. A file of over 64 MiB is quick-digested in two halves side by side, and
// must come to the same digest as when the SHA-256 reads along.
TEST(Digests, ASnapshotDigestedLaterHasTheSameDigestsAndTheSha256)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"T.DB"_s);
    const QString copy = dir.filePath(u"copy.db"_s);
    for (const qsizetype size : { qsizetype { 3 } << 20, (qsizetype { 65 } << 20) + 3 }) {
        SCOPED_TRACE(size);
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator random(static_cast<quint32>(size));
        for (char& byte : bytes)
            byte = static_cast<char>(random.bounded(256));
        write(path, bytes);
        data::LaterDigestedSnapshot later = data::takeSnapshotDigestedLater(path);
        EXPECT_FALSE(data::snapshotDifference(later.now, path).isEmpty());
        EXPECT_TRUE(data::snapshotDifference(later.now, path, false).isEmpty());
        const QJsonObject digested = later.whole.get();
        const QJsonObject atOnce = snapshotFile(data::takeSnapshot(path));
        EXPECT_EQ(snapshotFile(digested).value(u"digest"_s), atOnce.value(u"digest"_s));
        EXPECT_EQ(snapshotFile(digested).value(u"sha256"_s).toString().toLatin1(), sha256(bytes));
        EXPECT_TRUE(data::snapshotDifference(digested, path).isEmpty());
        write(copy, bytes);
        EXPECT_EQ(data::snapshotSha256(digested, u"t.db"_s, copy), sha256(bytes));

        // A copy with a byte changed in either half does not get it.
        for (const qsizetype at : { qsizetype { 0 }, size - 1 }) {
            QByteArray changed = bytes;
            changed[at] = static_cast<char>(changed[at] ^ 1);
            write(copy, changed);
            EXPECT_TRUE(data::snapshotSha256(digested, u"T.DB"_s, copy).isEmpty()) << at;
        }
    }
}

namespace {

// Another program that cuts the table short while it is digested (a crash then, after the
// journal, would let the next start finish the swap over that edit): the digest differs, the
// program goes on.
TEST(Digests, OfAFileCutShortWhileItIsReadDifferAndNeverEndTheProgram)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"T.DB"_s);
    const QByteArray bytes(qsizetype { 8 } << 20, 'x');
    write(path, bytes);
    const QJsonValue whole = snapshotFile(data::takeSnapshot(path)).value(u"digest"_s);
    std::atomic<bool> isDone = false;
    std::thread cutter([&] {
        const QByteArray name = QFile::encodeName(path);
        while (!isDone) {
            EXPECT_EQ(::truncate(name.constData(), 4096), 0);
            EXPECT_EQ(::truncate(name.constData(), bytes.size()), 0);
        }
    });
    int differing = 0;
    for (int round = 0; round < 200; ++round)
        differing += snapshotFile(data::takeSnapshot(path)).value(u"digest"_s) != whole ? 1 : 0;
    isDone = true;
    cutter.join();
    EXPECT_GT(differing, 0);
    write(path, bytes);
    EXPECT_EQ(snapshotFile(data::takeSnapshot(path)).value(u"digest"_s), whole);
}

} // namespace

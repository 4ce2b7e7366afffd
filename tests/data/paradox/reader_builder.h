#pragma once

// Builds Paradox table files byte by byte for the reader tests, independently of the codec:
// every layout decision here comes from the file format description, not from our reader.

#include "data/paradox/paradox.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace readertest {

struct TestTable
{
    int version = 0x0C; // file version byte
    int blockSizeKb = 2;
    int codePage = 1252;
    bool isKeyed = false;
    std::vector<paradox::Field> fields;
    std::vector<QByteArray> records; // raw record bytes, recordSize() each
    int recordsPerBlock = 0; // 0: as many as fit
    bool reverseBlocks = false; // the chain runs backwards through the file

    int recordSize() const;
    int headerSize() const;
    QByteArray build() const;
};

// A .mb file: the header block, then values appended as single-value or sub-allocated blocks.
class MemoBuilder
{
public:
    MemoBuilder();
    // Returns the pointer offset a record stores for the value.
    std::uint32_t addSingle(const QByteArray& value, std::uint16_t modification = 1);
    std::uint32_t addSmall(const QByteArray& value, std::uint16_t modification = 1);
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    std::int64_t m_smallBlock = -1;
    int m_nextSlot = 63;
    int m_nextChunk = 0x15;
};

// A memo/blob field of leader + 10 bytes.
QByteArray blobField(
    int leaderSize, const QByteArray& value, std::uint32_t offset, std::uint16_t modification = 1);

// A record made by concatenating field bytes given as hex ("80 01", spaces allowed).
QByteArray hexBytes(const char* hex);

// Reads a whole table from bytes in memory; rows hold valueText of each value.
struct ReadResult
{
    bool isOpen = false;
    paradox::TableInfo info;
    std::vector<std::vector<QString>> rows;
    std::vector<paradox::Row> values;
    QString error; // from openTable or from readNext
};
ReadResult readBytes(
    const QByteArray& db, const QByteArray* mb = nullptr, const QString& name = QStringLiteral("test.db"));

} // namespace readertest

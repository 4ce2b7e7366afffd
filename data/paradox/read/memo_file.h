#pragma once

// Reading memo and blob values from a table's .mb file.

#include "data/paradox/format/field_decode.h"

#include <QByteArray>
#include <QIODevice>
#include <memory>

namespace paradox {

class MemoFile
{
public:
    // `fileName` is the name errors use (e.g. "orders.mb"); `encryptionKey` is the table's,
    // 0 when it is not password-protected. Throws FormatError when the file is not a memo file.
    MemoFile(std::unique_ptr<QIODevice> device, const QString& fileName, std::uint32_t encryptionKey = 0);

    // The bytes of the value `pointer` names, valid until the next call. Throws FormatError
    // when the pointer does not lead to a value of its length.
    QByteArrayView read(const BlobPointer& pointer);

private:
    void readAt(std::int64_t offset, std::int64_t count, QByteArray& buffer);
    QByteArrayView readSingle(const BlobPointer& pointer, std::int64_t blockStart);
    QByteArrayView readSubAllocated(const BlobPointer& pointer, std::int64_t blockStart);

    void readScrambled(std::int64_t offset, std::int64_t count, QByteArray& buffer);

    std::unique_ptr<QIODevice> m_device;
    QString m_fileName;
    std::uint32_t m_encryptionKey = 0;
    std::int64_t m_size = 0;
    QByteArray m_value;
    // Small values share 4 KB blocks, and neighbouring records usually share one: keep the
    // last such block.
    QByteArray m_subBlock;
    std::int64_t m_subBlockStart = -1;
};

} // namespace paradox

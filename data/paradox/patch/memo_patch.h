#pragma once

// The .MB side of a table patch: a copy of the memo file (memo_layout.h) in which changed
// values are new blocks at the end and their old blocks are freed, every other byte as it was.
//
// Like the engine, the patch never changes a blob in place: a new value gets new blocks
// (memo_writer.h lays them out), stored under the next modification number, and the old
// value's single-value run becomes a free block or its slot is zeroed. The copy keeps the old
// values, though: the old .DB still reads its memos from it, so the two may stand side by side
// while the files are put in place. The old values are freed in place once the new .DB is.

#include "data/paradox/format/field_decode.h"
#include "data/paradox/io/source_file.h"
#include "data/paradox/io/table_family.h"
#include "data/paradox/write/memo_writer.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace paradox {

class MemoPatch
{
public:
    // The memo file at mbPath, copied into folder under a temporary name of table `name` on
    // first use. `encryptionKey` is the table's (0: not password-protected): what the patch
    // reads it unscrambles, and what it writes it scrambles again.
    MemoPatch(
        const QString& mbPath, const QString& folder, const QString& name, std::uint32_t encryptionKey = 0);

    // Stores a value longer than its field's leader; the pointer the record is to hold.
    // Throws FormatError when the original is no memo file, false with *error when the copy
    // cannot be written.
    std::optional<BlobPointer> store(const QByteArray& value, QString* error);

    // Frees the value an old record pointer leads to, in laterWrites(). A pointer that leads to
    // no value of its length (which the reader would refuse) is left alone: freeing what it
    // names could destroy another value.
    bool release(const BlobPointer& old, QString* error);
    // The bytes to write into the new memo file, at their offsets, once the new .DB is in place.
    const std::vector<std::pair<std::uint64_t, QByteArray>>& laterWrites() const { return m_laterWrites; }

    // Pads, stores the modification counter and flushes the copy; nothing when never used.
    bool finish(QString* error);

    bool isUsed() const { return m_copy != nullptr; }
    QString temporaryPath() const { return m_copy ? m_copy->path() : QString(); }
    writer::TemporaryFile* temporaryFile() { return m_copy.get(); }
    void discard();

private:
    bool open(QString* error);
    std::uint16_t nextModification();
    // The original's bytes in clear; false when they lie in a chunk the file cuts off.
    bool readClear(std::int64_t offset, char* data, std::int64_t size);
    bool writeClear(std::int64_t offset, const char* data, std::size_t size, QString* error);
    // As writeClear, but kept for laterWrites(): made only once the new .DB is in place.
    void writeClearLater(std::int64_t offset, const QByteArray& data);

    QString m_path;
    QString m_fileName;
    QString m_folder;
    QString m_name;
    std::uint32_t m_encryptionKey = 0;
    SourceFile m_source;
    std::unique_ptr<writer::TemporaryFile> m_copy;
    std::unique_ptr<writer::MemoWriter> m_writer;
    std::uint16_t m_modification = 0;
    std::vector<std::pair<std::uint64_t, QByteArray>> m_laterWrites;
};

} // namespace paradox

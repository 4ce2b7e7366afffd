#pragma once

// The .DB side of a table patch: a copy of the file in which only changed fields differ.
//
// Records are found as the reader finds them, along the chain of data blocks (6-byte block
// headers: u16 next, u16 previous, i16 offset of the last record), with the reader's checks:
// every link names a block of the file, no block comes twice, the blocks hold exactly the
// records the header counts. Two ways to the same bytes:
//  - few changes: the kernel copies the file (copy_file_range; a server-side copy on a
//    network share, shared extents where the file system offers them), then the chain is
//    walked through its block headers alone and each changed field is written at its offset;
//  - many changes: the file streams through memory in large pieces, changed in passing,
//    as long as the chain runs in file order (it usually does); whatever comes after a
//    jump back is walked and written as above. The pieces go to the disk as they are
//    written, past the page cache where the file system allows it (uncached_io.h), so the
//    final flush has little left to wait for.

#include "data/paradox/format/header.h"
#include "data/paradox/io/source_file.h"
#include "data/paradox/io/table_family.h"

#include <functional>
#include <vector>

namespace paradox {

// One change, compact: its field bytes live in a buffer of the patch, trailing zeros left out.
struct PendingChange
{
    std::int64_t record = 0; // in chain order, from 0
    std::uint32_t bytesAt = 0;
    std::uint16_t field = 0;
    std::uint16_t length = 0;
};

// Puts a change's bytes into slot, which holds the field's old bytes (fieldWidth of them).
using ApplyChange = std::function<bool(const PendingChange& change, char* slot, QString* error)>;

// The changes sorted by record (a record's fields in field order), taken one at a time: from a
// list, or made as the copy comes to them, so that memory need not hold them all.
class ChangeFeed
{
public:
    virtual ~ChangeFeed() = default;
    // How many there are, near enough to choose how the file is copied.
    virtual std::int64_t count() const = 0;
    // The next change into *change (null past the last), valid until the next call; false
    // with *error when it cannot be had.
    virtual bool next(const PendingChange** change, QString* error) = 0;
};

// Writes into copy (created, empty) the original .DB with the changes. Throws FormatError for
// a damaged chain; false with *error when a file cannot be read or written, a change cannot
// be had or apply fails.
bool writeDbCopy(const TableHeader& header, const SourceFile& original, const QString& originalName,
    writer::TemporaryFile& copy, ChangeFeed& changes, const ApplyChange& apply, QString* error);

} // namespace paradox

#pragma once

// The headers of a keyed table's companion files: the primary index (.PX), secondary index
// data (.Xnn, .XGn) and their trees (.Ynn, .YGn). They share the fixed part of the .DB header;
// a rebuild copies every header byte and changes only the counts (block_file.h).

#include "data/paradox/format/data_block.h"
#include "data/paradox/format/table.h"
#include "data/paradox/io/format_error.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace paradox {

enum class IndexFileKind {
    Primary, // .PX (file type 1): a tree over the .DB's blocks
    SecondaryData, // .Xnn / .XGn (3, 5, 6, 8): a keyed table of index entries
    SecondaryTree, // .Ynn / .YGn (4, 7): the tree over the .Xnn's blocks
};

struct IndexFileHeader
{
    QString path;
    QString name; // file name, for messages
    QByteArray header; // the whole header, headerSize bytes
    IndexFileKind kind = IndexFileKind::Primary;
    int fileType = 0;
    int version = 0;
    int headerSize = 0;
    int blockSize = 0;
    int recordSize = 0;
    int keyFields = 0; // header 0x23: 0 in trees, index + primary key fields in .Xnn
    int firstBlock = 0;
    int fileBlocks = 0;
    std::int64_t recordCount = 0;
    std::vector<Field> fields; // types and sizes (names only in .Xnn)
    int sortOrderCode = 0;
    // .Xnn only: the field numbers as stored (first the table's numbers of the indexed fields,
    // with 0x8000 set for a descending one, then the file's own positions), the sort order
    // name and the index name (empty for an unnamed single-field index).
    std::vector<int> fieldNumbers;
    QByteArray sortOrderName;
    QByteArray indexName;
    bool isDescending = false; // .Xnn: header 0x55 is 0x11 (descending) or unknown, not 0 or 0x01
    bool needsRebuild = false; // the engine's "rebuild required" flags are set
    std::uint32_t encryptionKey = 0; // the file's own; 0 when its blocks are in clear

    BlockLayout layout() const
    {
        return { headerSize, blockSize, recordSize, firstBlock, fileBlocks, recordCount, encryptionKey };
    }
};

// Reads and checks the header of an index file. Throws FormatError for a file that is not one
// of the three kinds, or whose sizes do not agree with each other or the file.
IndexFileHeader readIndexHeader(const QString& path);

} // namespace paradox

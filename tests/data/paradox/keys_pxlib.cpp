#include "tests/data/paradox/keys_support.h"
#include "tests/support/pxlib_session.h"

#include <QFile>
#include <clocale>
#include <cstdio>
#include <mutex>
extern "C" {
#include <paradox.h>
}

namespace keystest {
namespace { } // namespace

IndexedRecords readThroughPrimaryIndex(const QString& dbPath, const QString& pxPath)
{
    testsupport::bootPxlib();
    IndexedRecords result;
    FILE* dbFile = std::fopen(QFile::encodeName(dbPath).constData(), "rb");
    FILE* pxFile = std::fopen(QFile::encodeName(pxPath).constData(), "rb");
    pxdoc_t* doc = PX_new3(testsupport::collectPxlibMessages, nullptr, nullptr, nullptr, &result.error);
    pxdoc_t* index = PX_new3(testsupport::collectPxlibMessages, nullptr, nullptr, nullptr, &result.error);
    bool isOpen = dbFile && pxFile && PX_open_fp(doc, dbFile) == 0 && PX_open_fp(index, pxFile) == 0
        && PX_read_primary_index(index) == 0;
    // Opening built an index from the block chain; adding the .PX drops it without freeing it.
    if (isOpen && doc->px_indexdata) {
        doc->free(doc, doc->px_indexdata);
        doc->px_indexdata = nullptr;
    }
    isOpen = isOpen && PX_add_primary_index(doc, index) == 0;
    if (isOpen) {
        const int records = PX_get_num_records(doc);
        QByteArray record(PX_get_recordsize(doc), '\0');
        for (int i = 0; i < records; ++i) {
            if (!PX_get_record(doc, i, record.data()))
                break;
            result.records.push_back(record);
        }
    } else if (result.error.isEmpty()) {
        result.error = QStringLiteral("pxlib cannot open the table with its index");
    }
    PX_delete(doc);
    // pxlib (0.6.8) frees neither the entries PX_read_primary_index reads nor their keys.
    auto* entries = static_cast<pxpindex_t*>(index->px_data);
    for (int i = 0; entries && i < index->px_datalen; ++i) {
        if (entries[i].data)
            index->free(index, entries[i].data);
    }
    if (entries)
        index->free(index, entries);
    index->px_data = nullptr;
    PX_delete(index);
    if (dbFile)
        std::fclose(dbFile);
    if (pxFile)
        std::fclose(pxFile);
    return result;
}

} // namespace keystest

#include "tests/data/keys_pxlib.h"

#include "data/paradox/field_encode.h"
#include "data/paradox/header.h"

#include <QFile>
#include <clocale>
#include <cstdio>
#include <mutex>
extern "C" {
#include <paradox.h>
}

namespace keystest {
namespace {

void collectError(pxdoc_t*, int, const char* message, void* data)
{
    auto* messages = static_cast<QString*>(data);
    if (!messages->isEmpty())
        messages->append(QStringLiteral("; "));
    messages->append(QString::fromLocal8Bit(message));
}

void bootPxlib()
{
    static std::once_flag once;
    std::call_once(once, [] {
        PX_boot();
        std::setlocale(LC_ALL, "C");
    });
}

// pxlib frees field arrays itself: they must come from its allocator.
pxfield_t* pxlibFields(pxdoc_t* doc, const std::vector<paradox::Field>& fields, std::size_t count)
{
    auto* result = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * count, "fields"));
    for (std::size_t i = 0; i < count; ++i) {
        result[i].px_fname = PX_strdup(doc, fields[i].name.toLatin1().constData());
        result[i].px_ftype = static_cast<char>(fields[i].type);
        result[i].px_flen = paradox::fieldWidth(fields[i]);
        result[i].px_fdc = 0;
    }
    return result;
}

bool writeIndex(pxdoc_t* table, const QString& pxPath, const std::vector<paradox::Field>& fields,
    int keyFields, QString* messages)
{
    pxdoc_t* index = PX_new3(collectError, nullptr, nullptr, nullptr, messages);
    const QByteArray path = QFile::encodeName(pxPath);
    bool isOk = PX_create_file(index, pxlibFields(index, fields, static_cast<std::size_t>(keyFields)),
                    keyFields, path.constData(), pxfFileTypPrimIndex)
        == 0;
    isOk = isOk && PX_write_primary_index(table, index) == 0;
    PX_close(index);
    PX_delete(index);
    return isOk;
}

} // namespace

bool writeKeyedTableWithPxlib(const QString& dbPath, const QString& pxPath,
    const std::vector<paradox::Field>& fields, int keyFields, const std::vector<paradox::Row>& rows,
    QString* error)
{
    bootPxlib();
    QString messages;
    pxdoc_t* doc = PX_new3(collectError, nullptr, nullptr, nullptr, &messages);
    const QByteArray path = QFile::encodeName(dbPath);
    bool isOk = PX_create_file(doc, pxlibFields(doc, fields, fields.size()), static_cast<int>(fields.size()),
                    path.constData(), pxfFileTypIndexDB)
        == 0;
    isOk = isOk && PX_set_value(doc, "numprimkeys", static_cast<float>(keyFields)) == 0;
    isOk = isOk && PX_set_value(doc, "codepage", 1252.0F) == 0;
    int recordSize = 0;
    for (const paradox::Field& field : fields)
        recordSize += paradox::fieldWidth(field);
    QByteArray record(recordSize, '\0');
    for (std::size_t r = 0; isOk && r < rows.size(); ++r) {
        int offset = 0;
        for (std::size_t i = 0; isOk && i < fields.size(); ++i) {
            isOk = paradox::writer::encodeFixedField(
                fields[i], rows[r][i], 1252, record.data() + offset, error);
            offset += paradox::fieldWidth(fields[i]);
        }
        isOk = isOk && PX_put_record(doc, record.data()) >= 0;
    }
    isOk = isOk && writeIndex(doc, pxPath, fields, keyFields, &messages);
    PX_close(doc);
    PX_delete(doc);
    // pxlib leaves header byte 0x55 (referential integrity) uninitialised; the engine writes 0
    // in a table no other refers to.
    QFile table(dbPath);
    if (isOk && table.open(QIODevice::ReadWrite) && table.seek(0x55))
        isOk = table.write("\0", 1) == 1;
    if (!isOk && error->isEmpty())
        *error = messages.isEmpty() ? QStringLiteral("pxlib failed") : messages;
    return isOk;
}

IndexedRecords readThroughPrimaryIndex(const QString& dbPath, const QString& pxPath)
{
    bootPxlib();
    IndexedRecords result;
    FILE* dbFile = std::fopen(QFile::encodeName(dbPath).constData(), "rb");
    FILE* pxFile = std::fopen(QFile::encodeName(pxPath).constData(), "rb");
    pxdoc_t* doc = PX_new3(collectError, nullptr, nullptr, nullptr, &result.error);
    pxdoc_t* index = PX_new3(collectError, nullptr, nullptr, nullptr, &result.error);
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

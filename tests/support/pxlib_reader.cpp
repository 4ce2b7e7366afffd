#include "tests/support/pxlib_reader.h"
#include "tests/support/pxlib_session.h"

#include <QFile>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <mutex>
#include <string>

// pxlib's header has no C++ guard of its own.
extern "C" {
#include <paradox.h>
}

namespace testsupport {
namespace {


void collectError(pxdoc_t*, int level, const char* message, void* data)
{
    auto* errors = static_cast<QString*>(data);
    if (level == PX_Warning)
        return;
    if (!errors->isEmpty())
        errors->append(QStringLiteral("; "));
    errors->append(QString::fromLocal8Bit(message));
}

// A FILE* over the .mb whose seek to the end fails while pxlib attaches it: pxlib then
// skips indexing the blocks, the step that overflows a buffer when the size is a multiple
// of 4096. Reading values does not need that index.
struct MemoCookie
{
    FILE* file = nullptr;
    bool isAttaching = true;
};

ssize_t cookieRead(void* cookie, char* buffer, size_t size)
{
    auto* memo = static_cast<MemoCookie*>(cookie);
    return static_cast<ssize_t>(std::fread(buffer, 1, size, memo->file));
}

int cookieSeek(void* cookie, off64_t* offset, int whence)
{
    auto* memo = static_cast<MemoCookie*>(cookie);
    if (memo->isAttaching && whence == SEEK_END)
        return -1;
    if (fseeko(memo->file, *offset, whence) != 0)
        return -1;
    *offset = ftello(memo->file);
    return 0;
}

int cookieClose(void* cookie)
{
    auto* memo = static_cast<MemoCookie*>(cookie);
    const int result = std::fclose(memo->file);
    delete memo;
    return result;
}

std::int32_t decodeInteger(const char* data, int width, bool* isBlank)
{
    std::uint32_t bits = 0;
    bool allZero = true;
    for (int i = 0; i < width; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        allZero = allZero && byte == 0;
        bits = (bits << 8) | byte;
    }
    *isBlank = allZero;
    bits ^= 1U << (8 * width - 1);
    if (width == 2)
        return static_cast<std::int16_t>(bits);
    return static_cast<std::int32_t>(bits);
}

QString decodeMemoText(const char* data, int size, int codePage)
{
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString();
    std::string out(static_cast<std::size_t>(size) * 4 + 4, '\0');
    char* in = const_cast<char*>(data);
    std::size_t inLeft = static_cast<std::size_t>(size);
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size() - outLeft));
}

class PxlibDocument
{
public:
    explicit PxlibDocument(QString* errors)
    {
        testsupport::bootPxlib();
        m_doc = PX_new3(collectError, nullptr, nullptr, nullptr, errors);
    }
    ~PxlibDocument()
    {
        if (m_doc) {
            // pxlib frees a memo stream's bookkeeping only when it may also close the FILE*;
            // let it, or every attached .mb leaks.
            if (m_mb && m_doc->px_blob && m_doc->px_blob->mb_stream) {
                m_doc->px_blob->mb_stream->close = px_true;
                m_mb = nullptr;
            }
            PX_close(m_doc);
            PX_delete(m_doc);
        }
        if (m_db)
            std::fclose(m_db);
        if (m_mb)
            std::fclose(m_mb);
    }
    PxlibDocument(const PxlibDocument&) = delete;
    PxlibDocument& operator=(const PxlibDocument&) = delete;

    pxdoc_t* doc() const { return m_doc; }
    FILE* db() const { return m_db; }

    bool open(const QString& dbPath)
    {
        // pxlib's own open wants write access; a read-only FILE* works.
        m_db = std::fopen(QFile::encodeName(dbPath).constData(), "rb");
        return m_db && PX_open_fp(m_doc, m_db) == 0;
    }

    bool attachMemo(const QString& mbPath)
    {
        FILE* file = std::fopen(QFile::encodeName(mbPath).constData(), "rb");
        if (!file)
            return false;
        auto* cookie = new MemoCookie { file, true };
        m_mb = fopencookie(
            cookie, "rb", cookie_io_functions_t { cookieRead, nullptr, cookieSeek, cookieClose });
        if (!m_mb) {
            std::fclose(file);
            delete cookie;
            return false;
        }
        const bool isAttached = PX_set_blob_fp(m_doc, m_mb) == 0;
        cookie->isAttaching = false;
        return isAttached;
    }

private:
    pxdoc_t* m_doc = nullptr;
    FILE* m_db = nullptr;
    FILE* m_mb = nullptr;
};

paradox::Value decodeValue(pxdoc_t* doc, const pxfield_t& field, char* data, int codePage, QString* error)
{
    using paradox::FieldType;
    const auto type = static_cast<FieldType>(static_cast<unsigned char>(field.px_ftype));
    bool isBlank = false;
    switch (type) {
    case FieldType::Alpha: {
        char* text = nullptr;
        const int result = PX_get_data_alpha(doc, data, field.px_flen, &text);
        if (result <= 0)
            return paradox::Null {};
        QString value = QString::fromUtf8(text);
        doc->free(doc, text);
        return value;
    }
    case FieldType::Short: {
        const std::int32_t value = decodeInteger(data, 2, &isBlank);
        return isBlank ? paradox::Value(paradox::Null {}) : paradox::Value(value);
    }
    case FieldType::Long:
    case FieldType::Autoincrement: {
        const std::int32_t value = decodeInteger(data, 4, &isBlank);
        return isBlank ? paradox::Value(paradox::Null {}) : paradox::Value(value);
    }
    case FieldType::Date: {
        const std::int32_t value = decodeInteger(data, 4, &isBlank);
        return isBlank ? paradox::Value(paradox::Null {}) : paradox::Value(paradox::Date { value });
    }
    case FieldType::Time: {
        const std::int32_t value = decodeInteger(data, 4, &isBlank);
        return isBlank ? paradox::Value(paradox::Null {}) : paradox::Value(paradox::TimeOfDay { value });
    }
    case FieldType::Number:
    case FieldType::Money:
    case FieldType::Timestamp: {
        double value = 0;
        const int result = PX_get_data_double(doc, data, field.px_flen, &value);
        if (result <= 0)
            return paradox::Null {};
        if (type == FieldType::Timestamp)
            return paradox::Timestamp { value };
        return value;
    }
    case FieldType::Logical: {
        char value = 0;
        const int result = PX_get_data_byte(doc, data, field.px_flen, &value);
        if (result <= 0)
            return paradox::Null {};
        return value != 0;
    }
    case FieldType::Bcd: {
        char* text = nullptr;
        const int result = PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), field.px_fdc, &text);
        if (result <= 0)
            return paradox::Null {};
        QString value = QString::fromLatin1(text);
        doc->free(doc, text);
        return paradox::Bcd { value };
    }
    case FieldType::Bytes: {
        // pxlib calls a value blank when its first byte is zero; only all zeros are blank.
        const QByteArray bytes(data, field.px_flen);
        if (bytes.count('\0') == bytes.size())
            return paradox::Null {};
        return bytes;
    }
    case FieldType::Memo:
    case FieldType::FormattedMemo:
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic: {
        char* blob = nullptr;
        int modification = 0;
        int size = 0;
        const int result = type == FieldType::Graphic
            ? PX_get_data_graphic(doc, data, field.px_flen, &modification, &size, &blob)
            : PX_get_data_blob(doc, data, field.px_flen, &modification, &size, &blob);
        if (result < 0) {
            *error = QStringLiteral("pxlib could not read a value of field %1")
                         .arg(QString::fromLatin1(field.px_fname));
            return paradox::Null {};
        }
        if (result == 0 || !blob)
            return paradox::Null {};
        paradox::Value value;
        if (type == FieldType::Memo || type == FieldType::FormattedMemo)
            value = decodeMemoText(blob, size, codePage);
        else
            value = QByteArray(blob, size);
        doc->free(doc, blob);
        return value;
    }
    }
    *error = QStringLiteral("unknown field type %1").arg(static_cast<int>(field.px_ftype));
    return paradox::Null {};
}

} // namespace

PxlibTable readWithPxlib(const QString& dbPath, const QString& mbPath, std::int64_t maxRecords)
{
    PxlibTable table;
    QString errors;
    PxlibDocument document(&errors);
    pxdoc_t* doc = document.doc();
    if (!doc || !document.open(dbPath)) {
        table.error = QStringLiteral("pxlib cannot open %1: %2").arg(dbPath, errors);
        return table;
    }
    const pxhead_t* head = doc->px_head;
    table.fileVersion = head->px_fileversion;
    table.codePage = head->px_doscodepage;
    table.blockSizeKb = head->px_maxtablesize;
    table.sortOrderCode = static_cast<unsigned char>(head->px_sortorder);
    table.autoIncrement = head->px_autoinc;
    table.recordCount = head->px_numrecords;
    const std::string encoding = "CP" + std::to_string(table.codePage);
    // A header without a code page (3.x): text stays as stored.
    if (table.codePage != 0) {
        PX_set_targetencoding(doc, "UTF-8");
        PX_set_inputencoding(doc, encoding.c_str());
    }

    const int fieldCount = PX_get_num_fields(doc);
    const pxfield_t* fields = PX_get_fields(doc);
    for (int i = 0; i < fieldCount; ++i) {
        const auto type = static_cast<paradox::FieldType>(static_cast<unsigned char>(fields[i].px_ftype));
        const int size = type == paradox::FieldType::Bcd ? fields[i].px_fdc : fields[i].px_flen;
        table.fields.push_back({ QString::fromLatin1(fields[i].px_fname), type, size });
    }
    if (!mbPath.isEmpty() && QFile::exists(mbPath)) {
        if (!document.attachMemo(mbPath)) {
            table.error = QStringLiteral("pxlib cannot attach %1: %2").arg(mbPath, errors);
            return table;
        }
        errors.clear(); // pxlib complains about the seek that fails on purpose
    }

    // PX_get_record() walks the block chain from the start for every record. Ask pxlib
    // where each block starts (the first record of the block) and read the block's other
    // records from that position: linear in the table size.
    const int recordSize = PX_get_recordsize(doc);
    std::vector<char> record(static_cast<std::size_t>(recordSize));
    const std::int64_t count = maxRecords < 0 ? table.recordCount : std::min(maxRecords, table.recordCount);
    pxdatablockinfo_t block {};
    std::int64_t blockEnd = 0; // record number after the current block
    long nextPosition = 0;
    for (std::int64_t recno = 0; recno < count; ++recno) {
        // Records of a password-protected table are unscrambled only by pxlib's own reads.
        if (recno >= blockEnd || head->px_encryption != 0) {
            int deleted = 0;
            if (!PX_get_record2(doc, static_cast<int>(recno), record.data(), &deleted, &block)) {
                table.error = QStringLiteral("pxlib cannot read record %1: %2").arg(recno + 1).arg(errors);
                return table;
            }
            blockEnd = recno + (block.numrecords - block.recno);
            nextPosition = block.recordpos + recordSize;
        } else {
            if (std::fseek(document.db(), nextPosition, SEEK_SET) != 0
                || std::fread(record.data(), 1, record.size(), document.db()) != record.size()) {
                table.error = QStringLiteral("cannot read record %1").arg(recno + 1);
                return table;
            }
            nextPosition += recordSize;
        }
        paradox::Row row;
        int offset = 0;
        for (int i = 0; i < fieldCount; ++i) {
            QString problem;
            row.push_back(decodeValue(doc, fields[i], record.data() + offset, table.codePage, &problem));
            if (!problem.isEmpty()) {
                table.error = QStringLiteral("record %1: %2 (%3)").arg(recno + 1).arg(problem, errors);
                return table;
            }
            offset += fields[i].px_flen;
        }
        table.rows.push_back(std::move(row));
    }
    if (!errors.isEmpty())
        table.error = errors;
    return table;
}

} // namespace testsupport

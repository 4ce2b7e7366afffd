#include "tests/support/pxlib_writer.h"
#include "tests/support/pxlib_session.h"

#include "data/paradox/format/code_page.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <clocale>
#include <cstring>
#include <mutex>
// paradox.h declares C functions without extern "C".
extern "C" {
#include <paradox.h>
// pxlib's own scrambling of .MB chunks: exported by the library, though no header declares it.
void px_encrypt_mb_block(unsigned char* src, unsigned char* dst, long encryption, long size);
}

namespace testsupport {
namespace {

using paradox::FieldType;

int widthOf(const paradox::Field& field)
{
    return field.type == FieldType::Bcd ? 17 : field.size;
}

bool isBlob(FieldType type)
{
    return type == FieldType::Memo || type == FieldType::Blob || type == FieldType::FormattedMemo
        || type == FieldType::Ole || type == FieldType::Graphic;
}

// The .mb must be a whole number of 4 KB blocks, or pxlib's own reader refuses it.
bool padMemoFile(const QString& mbPath, QString* error)
{
    QFile mb(mbPath);
    if (!mb.open(QIODevice::ReadWrite)) {
        *error = mb.errorString();
        return false;
    }
    const qint64 remainder = mb.size() % 4096;
    if (remainder != 0)
        mb.resize(mb.size() + 4096 - remainder);
    return true;
}

// pxlib scrambles the .DB of a password-protected table but writes its .MB in clear, which
// pxlib's own reader (and the engine) then unscramble into garbage. Scramble it as the engine
// does, with pxlib's own code.
bool scrambleMemoFile(const QString& mbPath, unsigned long key, QString* error)
{
    QFile mb(mbPath);
    if (!mb.open(QIODevice::ReadWrite)) {
        *error = mb.errorString();
        return false;
    }
    QByteArray bytes = mb.readAll();
    QByteArray scrambled(bytes.size(), '\0');
    px_encrypt_mb_block(reinterpret_cast<unsigned char*>(bytes.data()),
        reinterpret_cast<unsigned char*>(scrambled.data()), static_cast<long>(key),
        static_cast<long>(bytes.size()));
    return mb.seek(0) && mb.write(scrambled) == scrambled.size();
}

class RecordBuilder
{
public:
    RecordBuilder(pxdoc_t* doc, const std::vector<paradox::Field>& fields, int codePage)
        : m_doc(doc)
        , m_fields(fields)
        , m_codePage(codePage)
    {
        int offset = 0;
        for (const paradox::Field& field : fields) {
            m_offsets.push_back(offset);
            offset += widthOf(field);
        }
        m_record.resize(offset);
    }

    bool build(const paradox::Row& row, QString* error)
    {
        if (row.size() != m_fields.size()) {
            *error = QStringLiteral("a row has %1 values for %2 fields").arg(row.size()).arg(m_fields.size());
            return false;
        }
        m_record.fill('\0');
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (paradox::isNull(row[i]))
                continue;
            if (!put(m_fields[i], m_record.data() + m_offsets[i], row[i], error)) {
                *error = QStringLiteral("field %1: %2").arg(m_fields[i].name, *error);
                return false;
            }
        }
        return true;
    }

    char* data() { return m_record.data(); }

private:
    bool encode(const QString& text, QByteArray& bytes, QString* error) const
    {
        const auto encoded = paradox::encodeText(text, m_codePage);
        if (!encoded) {
            *error = QStringLiteral("text not in code page %1").arg(m_codePage);
            return false;
        }
        bytes = *encoded;
        return true;
    }

    bool put(const paradox::Field& field, char* data, const paradox::Value& value, QString* error)
    {
        const int width = widthOf(field);
        const auto* text = std::get_if<QString>(&value);
        const auto* bytes = std::get_if<QByteArray>(&value);
        const auto* integer = std::get_if<std::int32_t>(&value);
        const auto* number = std::get_if<double>(&value);
        switch (field.type) {
        case FieldType::Alpha: {
            QByteArray encoded;
            if (!text || !encode(*text, encoded, error))
                break;
            // pxlib checks lengths before converting and may crash on a value that is too
            // long: check it here.
            if (encoded.size() > width) {
                *error = QStringLiteral("text longer than the field");
                return false;
            }
            PX_put_data_alpha(m_doc, data, width, encoded.data());
            return true;
        }
        case FieldType::Short:
            if (!integer)
                break;
            PX_put_data_short(m_doc, data, width, static_cast<short>(*integer));
            return true;
        case FieldType::Long:
        case FieldType::Autoincrement:
            if (!integer)
                break;
            PX_put_data_long(m_doc, data, width, *integer);
            return true;
        case FieldType::Date:
            if (!std::holds_alternative<paradox::Date>(value))
                break;
            PX_put_data_long(m_doc, data, width, std::get<paradox::Date>(value).days);
            return true;
        case FieldType::Time:
            if (!std::holds_alternative<paradox::TimeOfDay>(value))
                break;
            PX_put_data_long(m_doc, data, width, std::get<paradox::TimeOfDay>(value).msecs);
            return true;
        case FieldType::Number:
        case FieldType::Money:
            if (!number)
                break;
            PX_put_data_double(m_doc, data, width, *number);
            return true;
        case FieldType::Timestamp:
            if (!std::holds_alternative<paradox::Timestamp>(value))
                break;
            PX_put_data_double(m_doc, data, width, std::get<paradox::Timestamp>(value).msecs);
            return true;
        case FieldType::Logical:
            if (!std::holds_alternative<bool>(value))
                break;
            PX_put_data_byte(m_doc, data, width, std::get<bool>(value) ? 1 : 0);
            return true;
        case FieldType::Bcd: {
            if (!std::holds_alternative<paradox::Bcd>(value))
                break;
            QByteArray decimal = std::get<paradox::Bcd>(value).decimal.toLatin1();
            // Without a decimal point pxlib misplaces the digits ("123" becomes 12.00).
            if (!decimal.contains('.'))
                decimal.append(".0");
            // PX_insert_record passes 17 here instead of the decimals; call it directly.
            PX_put_data_bcd(m_doc, data, field.size, decimal.data());
            return true;
        }
        case FieldType::Bytes: {
            if (!bytes || bytes->size() > width)
                break;
            QByteArray padded = *bytes;
            padded.append(QByteArray(width - padded.size(), '\0'));
            PX_put_data_bytes(m_doc, data, width, padded.data());
            return true;
        }
        case FieldType::Memo:
        case FieldType::Blob: {
            QByteArray content;
            if (field.type == FieldType::Memo) {
                if (!text || !encode(*text, content, error))
                    break;
            } else if (bytes) {
                content = *bytes;
            } else {
                break;
            }
            if (PX_put_data_blob(m_doc, data, width, content.data(), static_cast<int>(content.size())) < 0) {
                *error = QStringLiteral("pxlib could not store the value");
                return false;
            }
            return true;
        }
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic:
            *error = QStringLiteral("pxlib cannot write values of this type");
            return false;
        }
        if (error->isEmpty())
            *error = QStringLiteral("a value of the wrong kind for the field");
        return false;
    }

    pxdoc_t* m_doc;
    const std::vector<paradox::Field>& m_fields;
    int m_codePage;
    std::vector<int> m_offsets;
    QByteArray m_record;
};

} // namespace

bool writeTableWithPxlib(const QString& dbPath, const std::vector<paradox::Field>& fields,
    const std::vector<paradox::Row>& rows, int codePage, QString* error)
{
    return writeTableWithPxlib(dbPath, fields, rows, codePage, error, PxlibTableOptions());
}

bool writeTableWithPxlib(const QString& dbPath, const std::vector<paradox::Field>& fields,
    const std::vector<paradox::Row>& rows, int codePage, QString* error, const PxlibTableOptions& options)
{
    QString scratch;
    if (!error)
        error = &scratch;
    testsupport::bootPxlib();
    QString pxlibMessages;
    pxdoc_t* doc = PX_new3(testsupport::collectPxlibMessages, nullptr, nullptr, nullptr, &pxlibMessages);
    if (!doc) {
        *error = QStringLiteral("pxlib could not start");
        return false;
    }

    // pxlib takes ownership of the field array and the names and frees them itself, so
    // they must come from its allocator.
    auto* pxFields = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * fields.size(), "fields"));
    bool hasBlobs = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto encoded = paradox::encodeText(fields[i].name, codePage);
        pxFields[i].px_fname = PX_strdup(doc, encoded.value_or(fields[i].name.toLatin1()).constData());
        pxFields[i].px_ftype = static_cast<char>(fields[i].type);
        pxFields[i].px_flen = widthOf(fields[i]);
        pxFields[i].px_fdc = fields[i].type == FieldType::Bcd ? fields[i].size : 0;
        hasBlobs = hasBlobs || isBlob(fields[i].type);
    }

    const QByteArray dbFile = QFile::encodeName(dbPath);
    const QFileInfo info(dbPath);
    const QString mbPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".mb"));
    bool isOk = PX_create_file(doc, pxFields, static_cast<int>(fields.size()), dbFile.constData(),
                    options.keyFields > 0 ? pxfFileTypIndexDB : pxfFileTypNonIndexDB)
        == 0;
    if (isOk)
        isOk = PX_set_value(doc, "codepage", static_cast<float>(codePage)) == 0;
    if (isOk && options.keyFields > 0)
        isOk = PX_set_value(doc, "numprimkeys", static_cast<float>(options.keyFields)) == 0;
    if (isOk && !options.password.isEmpty())
        isOk = PX_set_parameter(doc, "password", options.password.constData()) == 0;
    if (isOk && hasBlobs)
        isOk = PX_set_blob_file(doc, QFile::encodeName(mbPath).constData()) == 0;
    if (isOk) {
        RecordBuilder builder(doc, fields, codePage);
        for (const paradox::Row& row : rows) {
            if (!builder.build(row, error)) {
                isOk = false;
                break;
            }
            if (PX_put_record(doc, builder.data()) < 0) {
                isOk = false;
                break;
            }
        }
    }
    if (isOk && options.keyFields > 0) {
        const QString pxPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".px"));
        pxdoc_t* index
            = PX_new3(testsupport::collectPxlibMessages, nullptr, nullptr, nullptr, &pxlibMessages);
        isOk = index
            && PX_create_file(index, nullptr, 0, QFile::encodeName(pxPath).constData(), pxfFileTypPrimIndex)
                == 0
            && PX_write_primary_index(doc, index) == 0;
        if (index) {
            PX_close(index);
            PX_delete(index);
        }
    }
    const unsigned long key = doc->px_head ? doc->px_head->px_encryption : 0;
    PX_close(doc);
    PX_delete(doc);
    if (isOk && hasBlobs)
        isOk = padMemoFile(mbPath, error);
    if (isOk && hasBlobs && key != 0)
        isOk = scrambleMemoFile(mbPath, key, error);
    if (!isOk && error->isEmpty())
        *error = pxlibMessages.isEmpty() ? QStringLiteral("pxlib failed") : pxlibMessages;
    return isOk;
}

} // namespace testsupport

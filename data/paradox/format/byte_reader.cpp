#include "data/paradox/format/byte_reader.h"

namespace paradox {

void ByteReader::failOutside(std::int64_t offset, std::int64_t count, const char* what) const
{
    fail(offset,
        QStringLiteral("%1 at byte %2 (%3 bytes) lies past the end of the data (%4 bytes): the file is "
                       "truncated or corrupt")
            .arg(QLatin1StringView(what))
            .arg(m_base + offset)
            .arg(count)
            .arg(m_base + m_size));
}

void ByteReader::fail(std::int64_t offset, const QString& what) const
{
    throw FormatError { *m_file, m_base + offset, what };
}

} // namespace paradox

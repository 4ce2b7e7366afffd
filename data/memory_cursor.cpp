#include "data/memory_cursor.h"

#include "core/error_report.h"
#include "data/paradox_values.h"

using namespace Qt::StringLiterals;

namespace data {

QString MemoryCursor::valueText(int index) const
{
    return variantText(cell(index));
}

void MemoryCursor::moveNext()
{
    if (atEnd())
        throw core::Error(u"Either BOF or EOF is True: there is no next record."_s);
    ++m_position;
}

const QVariant& MemoryCursor::cell(int index) const
{
    if (atEnd())
        throw core::Error(u"Either BOF or EOF is True: there is no current record."_s);
    return m_rows[m_position].at(static_cast<std::size_t>(index));
}

} // namespace data

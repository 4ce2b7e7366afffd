#include "data/field_values.h"

#include "core/error_report.h"
#include "data/paradox_folder.h"

namespace data {

FieldValuesRead readFieldValues(const QString& folder, const QString& table, const QString& field,
    const FieldValueVisitor& visit, const std::function<void(std::int64_t recordCount)>& recordCountKnown)
{
    const std::unique_ptr<paradox::TableReader> reader = openParadoxTable(folder, table);
    const auto index = static_cast<std::size_t>(fieldIndex(reader->info(), table, field));
    FieldValuesRead read;
    read.recordCount = reader->info().recordCount;
    if (recordCountKnown)
        recordCountKnown(read.recordCount);
    // The reader decodes the text into the value's own string; handing that string on
    // without a copy keeps it unshared, so the next record needs no new allocation.
    paradox::Value value;
    QString text;
    while (reader->readNextField(index, value)) {
        ++read.recordsRead;
        const auto* alpha = std::get_if<QString>(&value);
        if (!alpha) {
            text.clear();
            paradox::appendValueText(text, value);
        }
        if (!visit(alpha ? *alpha : text, paradox::isNull(value))) {
            read.isStopped = true;
            return read;
        }
    }
    if (!reader->error().isEmpty())
        throw core::Error(reader->error());
    return read;
}

} // namespace data

#pragma once

// The 8 fields of the table the Paradox benchmarks write and read: numbers, dates, a
// logical and texts of three widths.

#include "data/paradox/paradox.h"

#include <vector>

namespace bench {

inline const std::vector<paradox::Field>& benchFields()
{
    using namespace Qt::StringLiterals;
    using paradox::FieldType;
    static const std::vector<paradox::Field> fields { { u"Id"_s, FieldType::Long, 4 },
        { u"Name"_s, FieldType::Alpha, 30 }, { u"City"_s, FieldType::Alpha, 20 },
        { u"Amount"_s, FieldType::Number, 8 }, { u"Count"_s, FieldType::Short, 2 },
        { u"Born"_s, FieldType::Date, 4 }, { u"Notes"_s, FieldType::Alpha, 80 },
        { u"Active"_s, FieldType::Logical, 1 } };
    return fields;
}

} // namespace bench

#pragma once

#include <QString>

namespace core {

// The values of one field, row by row: from a Paradox table or from a work table.
class ValueCursor
{
public:
    virtual ~ValueCursor() = default;
    virtual bool atEnd() const = 0;
    virtual bool isNull() const = 0; // throws core::Error at the end
    virtual QString text() const = 0; // the empty text for a null; throws core::Error at the end
    virtual void moveNext() = 0; // throws core::Error
};

} // namespace core

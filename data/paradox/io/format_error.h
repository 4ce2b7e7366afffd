#pragma once

// The one exception type inside the codec. Public functions catch it and turn it into an
// error text; it never crosses the codec's boundary.

#include <QString>
#include <cstdint>

namespace paradox {

struct FormatError
{
    QString file; // file name as the user knows it, e.g. "orders.db"
    std::int64_t offset = -1; // byte offset in that file where the fault was seen, -1 if none
    QString what; // the fault, e.g. "data block 12 links to block 4096, but ..."

    QString message() const { return file + QStringLiteral(": ") + what; }
};

} // namespace paradox

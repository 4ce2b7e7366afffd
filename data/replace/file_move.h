#pragma once

// One new file of a write-back and the file of the table it replaces: what the replacement
// moves and what its journal lists.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace data {

struct FileMove
{
    QString temporary; // a finished, flushed file in the table's folder
    QString target; // the file of the table it replaces (or becomes)
    // Written into target in place once the new .DB is in place: what frees the old memo
    // values, which the old .DB reads until then. The journal keeps them, so a write-back a
    // kill cut short is finished with them too.
    std::vector<std::pair<std::uint64_t, QByteArray>> laterWrites = {};
    // The SHA-256 of temporary as it is, when its writer worked it out already; else empty.
    // Not kept by the journal.
    QByteArray digest = {};
};

} // namespace data

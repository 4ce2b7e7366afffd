#pragma once

// Test tables written by pxlib, an independent implementation of the Paradox format, so that
// our reader (and everything above it) can be checked against files we did not write.
//
// pxlib always writes Paradox 7 tables, unkeyed here. It cannot store Formatted memo, OLE or
// Graphic contents: fields of those types may only hold nulls. Keep tables small (pxlib
// rewrites its whole header after every record).

#include "data/paradox/paradox.h"

#include <QString>
#include <vector>

namespace testsupport {

// Writes dbPath (and, when a field is a memo or blob, the .mb beside it with the same base
// name). Text is converted to codePage by our own encodeText first; a value that does not
// fit (too long, a character the code page lacks, the wrong type for its field) makes the
// call fail with *error and leaves a partial file behind. Field sizes follow paradox::Field:
// for BCD the number of decimals.
bool writeTableWithPxlib(const QString& dbPath, const std::vector<paradox::Field>& fields,
    const std::vector<paradox::Row>& rows, int codePage, QString* error);

struct PxlibTableOptions
{
    // Keyed on the first keyFields fields, with a .PX beside it that pxlib builds (its index
    // stays in clear). The rows must come in key order: pxlib does not sort them.
    int keyFields = 0;
    // Non-empty: the table is password-protected with it.
    QByteArray password;
};

bool writeTableWithPxlib(const QString& dbPath, const std::vector<paradox::Field>& fields,
    const std::vector<paradox::Row>& rows, int codePage, QString* error, const PxlibTableOptions& options);

} // namespace testsupport

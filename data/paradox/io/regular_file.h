#pragma once

// Only regular files are a table's files. A FIFO, a device or a socket named like one would
// block the program at its first open or read, a folder would fail obscurely: each is refused
// at once, opened without blocking and looked at before a byte is read.

#include <QFile>
#include <QString>

namespace paradox {

// Why path is not a regular file a table can be read from ("CUSTOMER.DB is a FIFO, not a
// file"), or the empty text. Symbolic links are followed; a missing file is no problem here.
QString irregularFileProblem(const QString& path);

// Opens path for reading without ever blocking; -1 with *problem when it cannot be opened or
// is not a regular file. The descriptor is left blocking for the reads that follow.
int openRegularFile(const QString& path, QString* problem);

// The same into file (which then owns the descriptor), opened read-only and unbuffered.
bool openRegularFile(QFile& file, const QString& path, QString* problem);

} // namespace paradox

#pragma once

// A table's data files (.DB, .MB, .PX, .Xnn, .Ynn) by their digests: what a backup notes of
// the table before and after its write-back, and what a restore compares the table with.
// The other files of a family (.VAL, .TV, ...) are left out: other programs rewrite them
// freely, and no version of the records depends on them.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>
#include <vector>

namespace data {

// By lower-case extension ("db", "mb", "x02"): the file's SHA-256 in hex.
using TableState = QMap<QString, QByteArray>;

bool isDataFileExtension(const QString& extension);
QString fileDigest(const QString& path); // empty when the file cannot be read
QByteArray requiredDigest(const QString& path); // throws core::Error when it cannot be read

// Bytes written into a file in place, at an offset.
using InPlaceWrites = std::vector<std::pair<std::uint64_t, QByteArray>>;

// The digest of the file at path as it will be once writes are made in it, in their order,
// and it is then cut (or lengthened with zeros) to length, when length is not negative: what
// a file put in place now and finished later will hold. Empty when the file cannot be read.
QString fileDigest(const QString& path, const InPlaceWrites& writes, std::int64_t length);

// The names of the data files of table `table` of folder (the family of its .DB); none when
// the table is not there.
QStringList dataFileNames(const QString& folder, const QString& table);
TableState tableState(const QString& folder, const QString& table);

} // namespace data

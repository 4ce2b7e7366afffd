#pragma once

// Helpers shared by the files of the work database back end.

#include <QString>

namespace data {

QString sqliteText(const unsigned char* text); // UTF-8 from SQLite
QString shortened(const QString& sql); // a statement cut for an error description

// SQLite's affinity of a column declared with this type: what it makes of a value stored
// there, and so how a bound value must look to be stored as the same literal would be.
enum class Affinity { Integer, Text, Blob, Real, Numeric };
Affinity affinityOf(const QString& declared);

} // namespace data

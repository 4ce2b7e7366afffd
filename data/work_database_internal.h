#pragma once

// Helpers shared by the files of the work database back end.

#include <QString>

namespace data {

QString sqliteText(const unsigned char* text); // UTF-8 from SQLite
QString shortened(const QString& sql); // a statement cut for an error description

} // namespace data

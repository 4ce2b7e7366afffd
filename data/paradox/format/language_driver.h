#pragma once

// The code page a table's language driver stands for. The header names the driver twice: a
// sort order byte (0x29) and its id at the header's end ("intl850", "ANSIINTL", ...). Tables
// whose header gives no code page (3.x tables, and tables written through other drivers)
// have their text in the driver's code page.

#include <QByteArray>
#include <optional>

namespace paradox {

// The code page of the driver with this sort order byte and id; nullopt for a driver not
// known here, or whose code page this system cannot convert. The id decides when it is there
// (with the byte it must come with); a header without one names a driver by the byte alone,
// which counts only when every driver with that byte has the same code page.
std::optional<int> languageDriverCodePage(int sortOrderCode, const QByteArray& sortOrderName);

} // namespace paradox

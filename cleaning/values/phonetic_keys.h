#pragma once

// Phonetic keys of names: values that sound alike get the same key. Both start from
// plainWords (accents folded, punctuation gone) and key each word on its own.

#include <QString>

namespace cleaning::values {

// Metaphone of each word, joined by one space ("Smith Jon" and "Smyth John" meet); a word
// of digits only keeps its digits. Empty when the value has no letters or digits.
QString metaphoneKey(const QString& value);

// Cologne phonetics of each word, joined by one space ("Meier" = "Mayer" = "Maier" = 67).
QString colognePhonetics(const QString& value);

} // namespace cleaning::values

#pragma once

// Transforms that know every script: case, accents, letters and digits, white space, and
// patterns. Pure functions like the 27's, but by Unicode's rules (ICU's case mapping, word
// and sentence breaks, character properties and transliteration), not ASCII sets. The case
// mappings are the language-neutral ones, so a table cleaned on any machine comes out alike.

#include <QString>

namespace cleaning {

// "straße" -> "STRASSE", "ǆungla" -> "ǄUNGLA".
QString ToUpperCase(const QString& value);
QString ToLowerCase(const QString& value);
// The first letter of each word in title case ("ǆungla" -> "ǅungla"), the rest lower case.
QString ToTitleCase(const QString& value);
// The first letter of each sentence in title case, the rest lower case.
QString ToSentenceCase(const QString& value);

// Keeps letters, digits and combining marks of any script, and white space; removes or
// replaces every other character (punctuation, symbols, controls).
QString RemoveNonAlphanumericsAnyScript(const QString& value);
QString ReplaceNonAlphanumericsAnyScript(const QString& value, const QString& replacement);

// Latin, Greek and Cyrillic letters lose their accents, and Latin letters that are none of
// ASCII's become their usual ASCII spelling ("Crème Brûlée" -> "Creme Brulee", "ß" -> "ss");
// other scripts (kana and their sound marks among them) stay as they are.
QString RemoveAccents(const QString& value);

// Every occurrence of find, compared ignoring case, becomes replacement.
QString ReplaceIgnoringCase(const QString& value, const QString& find, const QString& replacement);

// Every match of the regular expression becomes replacement, in which \1 to \99 stand for the
// groups the match captured. Throws core::Error (patternProblem's text) for an invalid pattern.
QString ReplacePattern(const QString& value, const QString& pattern, const QString& replacement);

// Every run of white space of any kind (tabs, line breaks, non-breaking and other spaces)
// becomes one space, and none is left at either end.
QString TrimAndCollapseWhiteSpace(const QString& value);

} // namespace cleaning

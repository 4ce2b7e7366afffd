#pragma once

// The keys of key-collision clustering: values with the same non-empty key are variants
// of one another. An empty key means "cluster with nothing".

#include <QString>

namespace cleaning::values {

// Trimmed, lower-case, accents folded (NFKD without marks, then ß → ss, æ → ae, ł → l,
// ... to plain Latin), punctuation and control characters gone, words sorted, each once,
// joined by one space: "  Acme,  Inc." and "inc ACME" both give "acme inc".
//
// Punctuation between two letters or digits separates words ("Wiley-Sons" and
// "Sons, Wiley" are the same two words), except apostrophes and full stops, which elide
// within a word ("O'Neil" = "ONeil", "U.S.A." = "USA").
QString fingerprintKey(const QString& value);

// The same clean-up without sorting, all white space removed, then every distinct
// substring of n characters in sorted order: "Mac Donald" and "MacDonald" meet. Empty
// for a text shorter than n after the clean-up.
QString ngramKey(const QString& value, int n);

// The fingerprint's clean-up, words kept in their order and joined by one space, with only
// letters and digits left in them: what the phonetic keys start from.
QString plainWords(const QString& value);

} // namespace cleaning::values

#pragma once

// Variants: values that are probably the same thing spelt differently, grouped by a key
// they share (fingerprint, n-gram fingerprint, phonetic key) or by edit distance.

#include "cleaning/values/value_counts.h"

#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace cleaning::values {

enum class ClusterMethod {
    Fingerprint,
    NGram,
    Phonetic,
    Levenshtein,
};

enum class PhoneticKey {
    English, // Metaphone
    German, // Cologne phonetics
};

struct ClusterOptions
{
    ClusterMethod method = ClusterMethod::Fingerprint;
    int ngramSize = 2; // NGram: 1 and more
    PhoneticKey phonetic = PhoneticKey::English;
    int radius = 1; // Levenshtein: the most edits between a member and the proposed value, 1 to 4
};

// The method as the command line writes it: "fingerprint", "ngram:2", "phonetic:german",
// "levenshtein:1"; nullopt with *problem for a text that names no method or a size or
// radius out of range. "ngram", "phonetic" and "levenshtein" alone take the defaults.
std::optional<ClusterOptions> parseClusterMethod(const QString& text, QString* problem);
QString clusterMethodText(const ClusterOptions& options);

struct Cluster
{
    std::vector<ValueCount> members; // most records first, ties by value; at least two
    QString proposed; // the most frequent member: the value to keep
    std::int64_t records() const;
};

// Groups the non-empty values (nulls and empty texts never take part). Each value is in
// one cluster at most. Clusters come largest first: most members, then most records.
// With Levenshtein every member is within the radius of the proposed value, counted in
// characters (code points), case and accents as written. progress, when given, is called
// now and then with a fraction done (0 to 1); when it answers false the search stops and
// nullopt comes back.
std::optional<std::vector<Cluster>> findClusters(std::span<const ValueCount> values,
    const ClusterOptions& options, const std::function<bool(double done)>& progress = {});

} // namespace cleaning::values

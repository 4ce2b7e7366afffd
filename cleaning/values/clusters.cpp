#include "cleaning/values/clusters.h"

#include "cleaning/values/cluster_keys.h"
#include "cleaning/values/nearest_neighbours.h"
#include "cleaning/values/phonetic_keys.h"

#include <QHash>
#include <QList>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace cleaning::values {
namespace {

constexpr int kMaxNgramSize = 10;
constexpr int kMaxRadius = 4;

// The values that may cluster, most records first, ties by value: the first member of a
// group is its proposed value.
std::vector<ValueCount> candidates(std::span<const ValueCount> values)
{
    std::vector<ValueCount> eligible;
    for (const ValueCount& value : values) {
        if (value.value && !value.value->isEmpty())
            eligible.push_back(value);
    }
    // Values usually come counted, already in this order: checking costs far less than sorting.
    const auto byCount
        = [](const ValueCount& a, const ValueCount& b) { return isBefore(a, b, ValueOrder::ByCount); };
    if (!std::is_sorted(eligible.begin(), eligible.end(), byCount))
        sortValues(eligible, ValueOrder::ByCount);
    return eligible;
}

QString keyOf(const QString& value, const ClusterOptions& options)
{
    switch (options.method) {
    case ClusterMethod::NGram:
        return ngramKey(value, options.ngramSize);
    case ClusterMethod::Phonetic:
        return options.phonetic == PhoneticKey::German ? colognePhonetics(value) : metaphoneKey(value);
    default:
        return fingerprintKey(value);
    }
}

// Groups of indexes into `values`, each group in the values' order.
std::optional<std::vector<std::vector<std::size_t>>> groupsByKey(const std::vector<ValueCount>& values,
    const ClusterOptions& options, const std::function<bool(double)>& progress)
{
    QHash<QString, std::size_t> groupOfKey;
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const QString key = keyOf(*values[i].value, options);
        if (key.isEmpty())
            continue;
        const auto found = groupOfKey.constFind(key);
        if (found == groupOfKey.cend()) {
            groupOfKey.insert(key, groups.size());
            groups.push_back({ i });
        } else {
            groups[*found].push_back(i);
        }
        if (progress && i % 4096 == 0 && !progress(double(i) / double(values.size())))
            return std::nullopt;
    }
    return groups;
}

// Each value, most records first, that is in no cluster yet becomes a centre and takes
// every value within the radius that is in no cluster yet. So every member is within the
// radius of its centre, the centre is its cluster's most frequent value, and no value is
// in two clusters.
std::optional<std::vector<std::vector<std::size_t>>> groupsByDistance(
    const std::vector<ValueCount>& values, int radius, const std::function<bool(double)>& progress)
{
    std::vector<std::u32string> texts;
    texts.reserve(values.size());
    for (const ValueCount& value : values) {
        const auto codePoints = value.value->toUcs4();
        texts.emplace_back(codePoints.cbegin(), codePoints.cend());
    }
    const auto pairs = pairsWithin(texts, radius, progress);
    if (!pairs)
        return std::nullopt;
    texts = {};
    std::vector<std::vector<std::uint32_t>> neighbours(values.size());
    for (const auto& [a, b] : *pairs) {
        neighbours[a].push_back(b);
        neighbours[b].push_back(a);
    }
    std::vector<bool> isTaken(values.size(), false);
    std::vector<std::vector<std::size_t>> groups;
    for (std::size_t centre = 0; centre < values.size(); ++centre) {
        if (isTaken[centre])
            continue;
        isTaken[centre] = true;
        std::vector<std::size_t> group { centre };
        for (const std::uint32_t neighbour : neighbours[centre]) {
            if (!isTaken[neighbour]) {
                isTaken[neighbour] = true;
                group.push_back(neighbour);
            }
        }
        std::sort(group.begin(), group.end());
        groups.push_back(std::move(group));
    }
    return groups;
}

} // namespace

std::int64_t Cluster::records() const
{
    std::int64_t total = 0;
    for (const ValueCount& member : members)
        total += member.records;
    return total;
}

std::optional<ClusterOptions> parseClusterMethod(const QString& text, QString* problem)
{
    const QString name = text.section(u':', 0, 0).trimmed().toLower();
    const QString argument = text.section(u':', 1).trimmed().toLower();
    const bool hasArgument = text.contains(u':');
    ClusterOptions options;
    auto number = [&](int low, int high, int* into, const QString& what) {
        if (!hasArgument)
            return true;
        bool isNumber = false;
        const int value = argument.toInt(&isNumber);
        if (isNumber && value >= low && value <= high) {
            *into = value;
            return true;
        }
        *problem = u"The %1 must be a whole number from %2 to %3, not \"%4\"."_s.arg(
            what, QString::number(low), QString::number(high), argument);
        return false;
    };
    if (name == u"fingerprint"_s && !hasArgument) {
        options.method = ClusterMethod::Fingerprint;
    } else if (name == u"ngram"_s) {
        options.method = ClusterMethod::NGram;
        if (!number(1, kMaxNgramSize, &options.ngramSize, u"n-gram size"_s))
            return std::nullopt;
    } else if (name == u"levenshtein"_s) {
        options.method = ClusterMethod::Levenshtein;
        if (!number(1, kMaxRadius, &options.radius, u"radius"_s))
            return std::nullopt;
    } else if (name == u"phonetic"_s) {
        options.method = ClusterMethod::Phonetic;
        if (argument == u"german"_s || argument == u"cologne"_s) {
            options.phonetic = PhoneticKey::German;
        } else if (hasArgument && argument != u"english"_s && argument != u"metaphone"_s) {
            *problem = u"The phonetic key must be english or german, not \"%1\"."_s.arg(argument);
            return std::nullopt;
        }
    } else {
        *problem = u"\"%1\" is no clustering method: use fingerprint, ngram[:N], phonetic[:english|german] "
                   "or levenshtein[:R]."_s.arg(text);
        return std::nullopt;
    }
    return options;
}

QString clusterMethodText(const ClusterOptions& options)
{
    switch (options.method) {
    case ClusterMethod::NGram:
        return u"ngram:%1"_s.arg(options.ngramSize);
    case ClusterMethod::Phonetic:
        return options.phonetic == PhoneticKey::German ? u"phonetic:german"_s : u"phonetic:english"_s;
    case ClusterMethod::Levenshtein:
        return u"levenshtein:%1"_s.arg(options.radius);
    default:
        return u"fingerprint"_s;
    }
}

std::optional<std::vector<Cluster>> findClusters(std::span<const ValueCount> values,
    const ClusterOptions& options, const std::function<bool(double)>& progress)
{
    const std::vector<ValueCount> eligible = candidates(values);
    const auto groups = options.method == ClusterMethod::Levenshtein
        ? groupsByDistance(eligible, std::clamp(options.radius, 1, kMaxRadius), progress)
        : groupsByKey(eligible, options, progress);
    if (!groups)
        return std::nullopt;
    std::vector<Cluster> clusters;
    for (const std::vector<std::size_t>& group : *groups) {
        if (group.size() < 2)
            continue;
        Cluster cluster;
        for (const std::size_t i : group)
            cluster.members.push_back(eligible[i]);
        cluster.proposed = *cluster.members.front().value;
        clusters.push_back(std::move(cluster));
    }
    std::sort(clusters.begin(), clusters.end(), [](const Cluster& a, const Cluster& b) {
        if (a.members.size() != b.members.size())
            return a.members.size() > b.members.size();
        const std::int64_t aRecords = a.records();
        const std::int64_t bRecords = b.records();
        if (aRecords != bRecords)
            return aRecords > bRecords;
        return isBefore(a.members.front(), b.members.front(), ValueOrder::ByValue);
    });
    if (progress && !progress(1.0))
        return std::nullopt;
    return clusters;
}

} // namespace cleaning::values

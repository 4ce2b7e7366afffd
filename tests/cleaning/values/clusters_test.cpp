#include "cleaning/values/clusters.h"
#include "cleaning/values/edit_distance.h"
#include "cleaning/values/nearest_neighbours.h"
#include "cleaning/values/value_counts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace Qt::StringLiterals;
using namespace cleaning::values;

namespace cleaning::values {
void PrintTo(const ValueCount& value, std::ostream* os)
{
    *os << (value.value ? '"' + value.value->toStdString() + '"' : std::string("null")) << " x"
        << value.records;
}
} // namespace cleaning::values

namespace {

// The whole dynamic-programming table: slow, plain, and sure.
int fullEditDistance(const std::u32string& a, const std::u32string& b)
{
    std::vector<int> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Distinct short texts over a small alphabet, so that many pairs lie within a few edits,
// and a few long ones that share a long prefix.
std::vector<std::u32string> randomTexts(unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::u32string> texts;
    for (int i = 0; i < 400; ++i) {
        std::u32string text;
        const auto length = 1 + random() % 7;
        for (unsigned j = 0; j < length; ++j)
            text.push_back(U"abcé"[random() % 4]);
        texts.push_back(text);
    }
    for (int i = 0; i < 100; ++i)
        texts.push_back(U"a shared prefix, then " + std::u32string(1, char32_t(U'a' + random() % 3))
            + std::u32string(1, char32_t(U'a' + random() % 3)));
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    std::shuffle(texts.begin(), texts.end(), random);
    return texts;
}

TEST(NearestNeighbours, FindEveryPairWithinTheRadiusAndNoOther)
{
    for (const int radius : { 1, 2, 3 }) {
        const std::vector<std::u32string> texts = randomTexts(static_cast<unsigned>(radius));
        std::vector<TextPair> expected;
        for (std::uint32_t a = 0; a < texts.size(); ++a) {
            for (std::uint32_t b = a + 1; b < texts.size(); ++b) {
                const int distance = fullEditDistance(texts[a], texts[b]);
                ASSERT_EQ(boundedEditDistance(texts[a], texts[b], radius), std::min(distance, radius + 1));
                if (distance <= radius)
                    expected.emplace_back(a, b);
            }
        }
        const auto pairs = pairsWithin(texts, radius);
        ASSERT_TRUE(pairs);
        EXPECT_EQ(*pairs, expected) << "radius " << radius;
    }
}

std::vector<ValueCount> counts(std::initializer_list<std::pair<const char16_t*, int>> values)
{
    std::vector<ValueCount> result;
    for (const auto& [text, records] : values)
        result.push_back({ text ? std::optional<QString>(QString::fromUtf16(text)) : std::nullopt, records });
    return result;
}

TEST(FindClusters, ProposeTheMostFrequentAndOrderAsUsersRead)
{
    const auto values
        = counts({ { u"acme inc", 2 }, { u"ACME Inc", 2 }, { u"Acme, Inc.", 7 }, { nullptr, 50 }, { u"", 40 },
            { u"  ", 30 }, { u"Bolt", 1 }, { u"bolt", 1 }, { u"Cog", 5 }, { u"COG", 4 }, { u"alone", 99 } });
    const auto clusters = findClusters(values, ClusterOptions {});
    ASSERT_TRUE(clusters);
    ASSERT_EQ(clusters->size(), 3U);
    // Most members first, then most records; within a cluster most records, ties by value.
    EXPECT_EQ(
        clusters->at(0).members, counts({ { u"Acme, Inc.", 7 }, { u"ACME Inc", 2 }, { u"acme inc", 2 } }));
    EXPECT_EQ(clusters->at(0).proposed, u"Acme, Inc."_s);
    EXPECT_EQ(clusters->at(1).proposed, u"Cog"_s);
    EXPECT_EQ(clusters->at(1).records(), 9);
    EXPECT_EQ(clusters->at(2).members, counts({ { u"Bolt", 1 }, { u"bolt", 1 } }));
}

TEST(FindClusters, EditDistanceKeepsEveryMemberWithinTheRadiusOfTheProposedValue)
{
    // A chain: "abcd" is 1 from "abce", which is 1 from "abff", 2 from "abcd". The chain must
    // not become one cluster; nulls and the empty text never take part, short values do.
    const auto values = counts({ { u"abcd", 10 }, { u"abce", 5 }, { u"abff", 3 }, { u"abfg", 1 }, { u"", 9 },
        { nullptr, 9 }, { u"a", 4 }, { u"b", 2 } });
    ClusterOptions options;
    options.method = ClusterMethod::Levenshtein;
    const auto clusters = findClusters(values, options);
    ASSERT_TRUE(clusters);
    ASSERT_EQ(clusters->size(), 3U);
    EXPECT_EQ(clusters->at(0).members, counts({ { u"abcd", 10 }, { u"abce", 5 } }));
    EXPECT_EQ(clusters->at(1).members, counts({ { u"a", 4 }, { u"b", 2 } }));
    EXPECT_EQ(clusters->at(2).members, counts({ { u"abff", 3 }, { u"abfg", 1 } }));
    options.radius = 2;
    const auto wider = findClusters(values, options);
    ASSERT_TRUE(wider);
    EXPECT_EQ(
        wider->at(0).members, counts({ { u"abcd", 10 }, { u"abce", 5 }, { u"abff", 3 }, { u"abfg", 1 } }));
    for (const Cluster& cluster : *wider) {
        for (const ValueCount& member : cluster.members) {
            const auto a = member.value->toUcs4();
            const auto b = cluster.proposed.toUcs4();
            EXPECT_LE(fullEditDistance({ a.begin(), a.end() }, { b.begin(), b.end() }), 2);
        }
    }
    // Stopped from outside: nothing comes back.
    EXPECT_FALSE(findClusters(values, options, [](double) { return false; }));
}

TEST(ClusterMethod, ParsesWhatTheCommandLineWritesAndRefusesTheRest)
{
    QString problem;
    const auto ngram = parseClusterMethod(u"ngram:3"_s, &problem);
    ASSERT_TRUE(ngram);
    EXPECT_EQ(ngram->method, ClusterMethod::NGram);
    EXPECT_EQ(ngram->ngramSize, 3);
    EXPECT_EQ(parseClusterMethod(u"levenshtein"_s, &problem)->radius, 1);
    EXPECT_EQ(parseClusterMethod(u"phonetic:german"_s, &problem)->phonetic, PhoneticKey::German);
    for (const QString& wrong : { u"ngram:0"_s, u"levenshtein:x"_s, u"levenshtein:9"_s, u"phonetic:latin"_s,
             u"fingerprint:2"_s, u"soundex"_s }) {
        problem.clear();
        EXPECT_FALSE(parseClusterMethod(wrong, &problem)) << wrong.toStdString();
        EXPECT_FALSE(problem.isEmpty());
    }
    for (const QString& text : { u"fingerprint"_s, u"ngram:4"_s, u"phonetic:english"_s, u"levenshtein:2"_s })
        EXPECT_EQ(clusterMethodText(*parseClusterMethod(text, &problem)), text);
}

TEST(ValueCounts, CountSortAndSearch)
{
    ValueCounter counter;
    for (const QString& text : { u"b"_s, u"B"_s, u"a"_s, u"b"_s, u""_s })
        counter.add(text, false);
    counter.add(QString(), true);
    std::vector<ValueCount> values = counter.take();
    sortValues(values, ValueOrder::ByCount);
    EXPECT_EQ(values, counts({ { u"b", 2 }, { nullptr, 1 }, { u"", 1 }, { u"a", 1 }, { u"B", 1 } }));
    sortValues(values, ValueOrder::ByValue);
    EXPECT_EQ(values, counts({ { nullptr, 1 }, { u"", 1 }, { u"a", 1 }, { u"B", 1 }, { u"b", 2 } }));

    EXPECT_EQ(matchingValues(values, ValueMatch(u"b"_s, MatchKind::Plain)).size(), 1U);
    EXPECT_EQ(matchingValues(values, ValueMatch(u"b"_s, MatchKind::IgnoreCase)).size(), 2U);
    EXPECT_EQ(matchingValues(values, ValueMatch(u"^$"_s, MatchKind::Pattern)), counts({ { u"", 1 } }));
    EXPECT_EQ(matchingValues(values, ValueMatch(QString(), MatchKind::Pattern)).size(), values.size());
    const ValueMatch broken(u"(a"_s, MatchKind::Pattern);
    EXPECT_FALSE(broken.isValid());
    EXPECT_TRUE(broken.problem().contains(u"(a"_s));
}

} // namespace

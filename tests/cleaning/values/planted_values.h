#pragma once

// A field of names with variants planted where each clustering method should find them:
// case, spaces, punctuation, word order and accents for the fingerprint; inner spacing for
// n-grams; one-letter typos, in 4-letter values as in long ones, for edit distance;
// sound-alikes for the phonetic keys. The other values are random names, far from one
// another and from the planted ones. The same arguments give the same field everywhere.

#include "data/paradox/paradox.h"

#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

namespace planted {

enum class Kind { Fingerprint, NGram, Typo, ShortTypo, SoundAlike };

struct Group
{
    Kind kind;
    std::vector<QString> values; // the base value, the most frequent, first
};

struct Field
{
    std::vector<Group> groups;
    std::vector<QString> values; // every distinct value
    std::vector<std::int64_t> records; // per value
};

class Random
{
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed)
    { }
    int below(int n)
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<int>((m_state >> 33) % static_cast<std::uint64_t>(n));
    }

private:
    std::uint64_t m_state;
};

inline QString letters(Random& random, int length)
{
    QString word;
    for (int i = 0; i < length; ++i)
        word += QChar(u'a' + random.below(26));
    return word;
}

inline QString capitalised(QString word)
{
    word[0] = word[0].toUpper();
    return word;
}

inline QChar otherLetter(Random& random, QChar letter)
{
    const QChar other(u'a' + random.below(25));
    return other >= letter.toLower() ? QChar(other.unicode() + 1) : other;
}

inline Group fingerprintGroup(Random& random)
{
    using namespace Qt::StringLiterals;
    const QString first = capitalised(letters(random, 1) + u'e' + letters(random, 4));
    const QString second = capitalised(letters(random, 7));
    QString accented = first;
    accented[1] = QChar(u'é');
    return { Kind::Fingerprint,
        { first + u' ' + second, (first + u' ' + second).toUpper(),
            u"  "_s + first.toLower() + u"  "_s + second, first + u", "_s + second + u'.',
            second + u' ' + first, accented + u' ' + second, first + u'-' + second } };
}

inline Group ngramGroup(Random& random)
{
    const QString word = capitalised(letters(random, 12));
    return { Kind::NGram,
        { word, word.left(4) + u' ' + word.mid(4), word.left(7) + u' ' + word.mid(7),
            word.left(3) + u' ' + word.mid(3, 5) + u' ' + word.mid(8) } };
}

// base, then one letter replaced, one left out and one put in.
inline Group typoGroup(Kind kind, const QString& base, Random& random)
{
    const auto at = static_cast<qsizetype>(random.below(static_cast<int>(base.size())));
    QString replaced = base;
    replaced[at] = otherLetter(random, base[at]);
    QString inserted = base;
    inserted.insert(random.below(static_cast<int>(base.size()) + 1), QChar(u'a' + random.below(26)));
    return { kind,
        { base, replaced, QString(base).remove(random.below(static_cast<int>(base.size())), 1), inserted } };
}

// A word that Metaphone and Cologne phonetics each read one way whatever its vowels:
// consonants that sound the same wherever they stand, one vowel after each.
inline Group soundAlikeGroup(Random& random)
{
    static const char16_t consonants[] = u"bdflmnprt";
    static const char16_t vowels[] = u"aeiou";
    QString word;
    for (int i = 0; i < 6; ++i) {
        word += QChar(consonants[random.below(9)]);
        word += QChar(vowels[random.below(5)]);
    }
    word = capitalised(word);
    QString otherVowel = word;
    otherVowel[3] = word[3] == u'a' ? u'o' : u'a';
    QString doubled = word;
    doubled.insert(4, word[4]);
    QString withY = word;
    withY[5] = u'y';
    return { Kind::SoundAlike, { word, otherVowel, doubled, withY } };
}

// distinct values (at least 10,000) in `records` records (at least 10 a value).
inline Field plantedField(int distinct, std::int64_t records)
{
    Random random(20261207);
    Field field;
    const int scale = distinct / 10000;
    for (int i = 0; i < 300 * scale; ++i) {
        field.groups.push_back(fingerprintGroup(random));
        field.groups.push_back(ngramGroup(random));
        field.groups.push_back(typoGroup(Kind::Typo, capitalised(letters(random, 11)), random));
        if (i < 200 * scale)
            field.groups.push_back(soundAlikeGroup(random));
    }
    // Four-letter values, no letter shared between two of them: so a typo can only bring a
    // value within one letter of its own group.
    for (int group = 0; group < 6; ++group) {
        QString base;
        for (int i = 0; i < 4; ++i)
            base += QChar(u'a' + group * 4 + i);
        field.groups.push_back(typoGroup(Kind::ShortTypo, base, random));
    }
    QSet<QString> seen;
    std::int64_t plantedRecords = 0;
    for (Group& group : field.groups) {
        for (std::size_t i = 0; i < group.values.size(); ++i) {
            if (seen.contains(group.values[i]))
                qFatal("planted value %s twice", qPrintable(group.values[i]));
            seen.insert(group.values[i]);
            field.values.push_back(group.values[i]);
            field.records.push_back(i == 0 ? 30 + random.below(20) : 1 + random.below(5));
            plantedRecords += field.records.back();
        }
    }
    const auto fillers = static_cast<std::int64_t>(distinct) - static_cast<std::int64_t>(field.values.size());
    const std::int64_t left = records - plantedRecords;
    for (std::int64_t i = 0; i < fillers; ++i) {
        QString name;
        do
            name = capitalised(letters(random, 5 + random.below(4))) + u' '
                + capitalised(letters(random, 6 + random.below(4)));
        while (seen.contains(name));
        seen.insert(name);
        field.values.push_back(name);
        field.records.push_back(left / fillers + (i < left % fillers ? 1 : 0));
    }
    return field;
}

// The field as the Name column of a table (Id, Name) in folder, its records shuffled.
// Empty on success, else what went wrong.
inline QString writePlantedTable(const QString& folder, const QString& name, const Field& field)
{
    using namespace Qt::StringLiterals;
    std::vector<std::uint32_t> order;
    for (std::size_t value = 0; value < field.values.size(); ++value)
        order.insert(
            order.end(), static_cast<std::size_t>(field.records[value]), static_cast<std::uint32_t>(value));
    Random random(7);
    for (std::size_t i = order.size(); i > 1; --i)
        std::swap(order[i - 1], order[static_cast<std::size_t>(random.below(static_cast<int>(i)))]);
    paradox::NewTable table;
    table.folder = folder;
    table.name = name;
    table.fields = { { u"Id"_s, paradox::FieldType::Long, 4 }, { u"Name"_s, paradox::FieldType::Alpha, 40 } };
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer)
        return error;
    paradox::Row row(2);
    for (std::size_t i = 0; i < order.size(); ++i) {
        row[0] = static_cast<std::int32_t>(i + 1);
        row[1] = field.values[order[i]];
        if (!writer->append(row, &error))
            return error;
    }
    return writer->commit(QString(), &error) ? QString() : error;
}

} // namespace planted

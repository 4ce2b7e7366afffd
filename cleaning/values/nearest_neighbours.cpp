#include "cleaning/values/nearest_neighbours.h"

#include "cleaning/values/edit_distance.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace cleaning::values {
namespace {

constexpr std::uint64_t kBase = 0x100000001B3ULL;
constexpr std::size_t kProgressEvery = 4096;

// Polynomial hashes of every prefix, so that the hash of any substring, and of a text with
// one character left out, costs a few multiplications. Equal texts always hash equal;
// unequal ones that collide are weeded out by the distance check.
struct PrefixHashes
{
    std::vector<std::uint64_t> prefix; // prefix[i]: text[0, i)
    std::vector<std::uint64_t> power; // power[i]: kBase^i

    explicit PrefixHashes(std::u32string_view text)
        : prefix(text.size() + 1, 0)
        , power(text.size() + 1, 1)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            prefix[i + 1] = prefix[i] * kBase + text[i] + 1;
            power[i + 1] = power[i] * kBase;
        }
    }
    std::uint64_t of(std::size_t start, std::size_t length) const
    {
        return prefix[start + length] - prefix[start] * power[length];
    }
    std::uint64_t without(std::size_t position) const
    {
        const std::size_t after = prefix.size() - 1 - position - 1;
        return prefix[position] * power[after] + of(position + 1, after);
    }
};

std::uint64_t mixed(std::uint64_t hash, std::uint64_t with)
{
    hash ^= with + 0x9E3779B97F4A7C15ULL + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCDULL;
}

bool keepsGoing(const std::function<bool(double)>& progress, std::size_t done, std::size_t total)
{
    return !progress || done % kProgressEvery != 0
        || progress(double(done) / double(std::max<std::size_t>(total, 1)));
}

// Radius 1 by symmetric deletion: two texts within one edit share the text itself or the
// text with one character left out. Every candidate is then within two edits, so little
// is checked in vain, even where thousands of values share a long prefix.
std::optional<std::vector<TextPair>> pairsByDeletion(
    std::span<const std::u32string> texts, const std::function<bool(double)>& progress)
{
    struct Variant
    {
        std::uint64_t hash;
        std::uint32_t text;
        bool operator<(const Variant& other) const
        {
            return hash != other.hash ? hash < other.hash : text < other.text;
        }
    };
    std::vector<Variant> variants;
    for (std::uint32_t id = 0; id < texts.size(); ++id) {
        const std::u32string& text = texts[id];
        const PrefixHashes hashes(text);
        variants.push_back({ mixed(hashes.of(0, text.size()), text.size()), id });
        for (std::size_t p = 0; p < text.size(); ++p) {
            // Leaving out either of two equal neighbours gives the same text.
            if (p > 0 && text[p] == text[p - 1])
                continue;
            variants.push_back({ mixed(hashes.without(p), text.size() - 1), id });
        }
        if (!keepsGoing(progress, id + 1, texts.size() * 3))
            return std::nullopt;
    }
    std::sort(variants.begin(), variants.end());
    std::vector<TextPair> candidates;
    for (std::size_t first = 0; first < variants.size();) {
        std::size_t end = first + 1;
        while (end < variants.size() && variants[end].hash == variants[first].hash)
            ++end;
        for (std::size_t a = first; a < end; ++a) {
            for (std::size_t b = a + 1; b < end; ++b) {
                if (variants[a].text != variants[b].text)
                    candidates.emplace_back(variants[a].text, variants[b].text);
            }
        }
        first = end;
    }
    variants = {};
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    std::vector<TextPair> pairs;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const auto [a, b] = candidates[i];
        if (boundedEditDistance(texts[a], texts[b], 1) <= 1)
            pairs.push_back(candidates[i]);
        if (!keepsGoing(progress, i + 1, candidates.size() * 3 / 2))
            return std::nullopt;
    }
    return pairs;
}

// Larger radii by partition: cut each text into radius + 1 pieces; a text within the radius
// of it holds one piece unchanged, shifted by at most the radius. Texts are indexed by
// length, piece number and piece, and each text looks up the shorter and equal ones.
std::optional<std::vector<TextPair>> pairsByPartition(
    std::span<const std::u32string> texts, int radius, const std::function<bool(double)>& progress)
{
    const auto k = static_cast<std::size_t>(radius);
    const std::size_t pieces = k + 1;
    auto pieceStart = [pieces](std::size_t length, std::size_t piece) {
        // The first pieces are the shorter ones when the length does not divide evenly.
        const std::size_t shorter = pieces - length % pieces;
        const std::size_t small = length / pieces;
        return piece <= shorter ? piece * small : shorter * small + (piece - shorter) * (small + 1);
    };
    auto keyOf = [](std::size_t length, std::size_t piece, std::uint64_t hash) {
        return mixed(mixed(hash, length), piece);
    };
    std::vector<std::uint32_t> byLength(texts.size());
    std::iota(byLength.begin(), byLength.end(), 0U);
    std::stable_sort(byLength.begin(), byLength.end(),
        [&](std::uint32_t a, std::uint32_t b) { return texts[a].size() < texts[b].size(); });
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> index;
    std::vector<std::size_t> seenBy(texts.size(), SIZE_MAX);
    std::vector<TextPair> pairs;
    for (std::size_t order = 0; order < byLength.size(); ++order) {
        const std::uint32_t probe = byLength[order];
        const std::u32string& text = texts[probe];
        const std::size_t length = text.size();
        const PrefixHashes hashes(text);
        for (std::size_t other = length > k ? length - k : 0; other <= length; ++other) {
            for (std::size_t piece = 0; piece < pieces; ++piece) {
                const std::size_t start = pieceStart(other, piece);
                const std::size_t size = pieceStart(other, piece + 1) - start;
                if (size > length)
                    continue;
                const std::size_t from = start > k ? start - k : 0;
                const std::size_t to = std::min(start + k, length - size);
                for (std::size_t at = from; at <= to; ++at) {
                    const auto found = index.find(keyOf(other, piece, hashes.of(at, size)));
                    if (found == index.end())
                        continue;
                    for (const std::uint32_t candidate : found->second) {
                        if (seenBy[candidate] == order)
                            continue;
                        seenBy[candidate] = order;
                        if (boundedEditDistance(texts[candidate], text, radius) <= radius)
                            pairs.emplace_back(std::min(candidate, probe), std::max(candidate, probe));
                    }
                }
            }
        }
        for (std::size_t piece = 0; piece < pieces; ++piece) {
            const std::size_t start = pieceStart(length, piece);
            index[keyOf(length, piece, hashes.of(start, pieceStart(length, piece + 1) - start))].push_back(
                probe);
        }
        if (!keepsGoing(progress, order + 1, texts.size()))
            return std::nullopt;
    }
    std::sort(pairs.begin(), pairs.end());
    return pairs;
}

} // namespace

std::optional<std::vector<TextPair>> pairsWithin(
    std::span<const std::u32string> texts, int radius, const std::function<bool(double)>& progress)
{
    if (radius <= 1)
        return pairsByDeletion(texts, progress);
    return pairsByPartition(texts, radius, progress);
}

} // namespace cleaning::values

#pragma once

// Every pair of texts within an edit distance of each other: the candidates of
// nearest-neighbour clustering, found without missing any, however short the texts.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace cleaning::values {

using TextPair = std::pair<std::uint32_t, std::uint32_t>; // indexes, first < second

// The pairs (i, j), i < j, of texts whose edit distance is at most radius (>= 1), each
// once, sorted. Texts must be distinct. progress as in findClusters; nullopt when stopped.
std::optional<std::vector<TextPair>> pairsWithin(
    std::span<const std::u32string> texts, int radius, const std::function<bool(double done)>& progress = {});

} // namespace cleaning::values

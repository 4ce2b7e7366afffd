#pragma once

// Edit distance (Levenshtein: insertions, deletions, substitutions) counted in characters.

#include <span>

namespace cleaning::values {

// The distance between a and b when it is at most limit, else limit + 1. Works in a band of
// 2·limit + 1 cells per row and stops as soon as every cell of a row exceeds limit.
int boundedEditDistance(std::span<const char32_t> a, std::span<const char32_t> b, int limit);

} // namespace cleaning::values

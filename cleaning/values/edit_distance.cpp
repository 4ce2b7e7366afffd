#include "cleaning/values/edit_distance.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace cleaning::values {

int boundedEditDistance(std::span<const char32_t> a, std::span<const char32_t> b, int limit)
{
    if (a.size() > b.size())
        std::swap(a, b);
    const auto n = static_cast<long>(a.size());
    const auto m = static_cast<long>(b.size());
    const int over = limit + 1;
    if (m - n > limit)
        return over;
    if (n == 0)
        return static_cast<int>(m);
    // Row i holds the distances of a[0, i) to b[0, j) for |i - j| <= limit; cells outside
    // the band count as "over", which no path through them can beat.
    const long width = 2L * limit + 1;
    // Kept between calls: clustering verifies a great many short pairs.
    thread_local std::vector<int> previous;
    thread_local std::vector<int> current;
    previous.assign(static_cast<std::size_t>(width), over);
    current.assign(static_cast<std::size_t>(width), over);
    auto cell = [limit](long i, long j) { return static_cast<std::size_t>(j - i + limit); };
    for (long j = 0; j <= std::min<long>(m, limit); ++j)
        previous[cell(0, j)] = static_cast<int>(j);
    for (long i = 1; i <= n; ++i) {
        std::fill(current.begin(), current.end(), over);
        int rowBest = over;
        for (long j = std::max(0L, i - limit); j <= std::min(m, i + limit); ++j) {
            int best = over;
            if (j == 0) {
                best = static_cast<int>(i);
            } else {
                const int substitute
                    = previous[cell(i - 1, j - 1)] + (a[std::size_t(i - 1)] == b[std::size_t(j - 1)] ? 0 : 1);
                best = substitute;
                if (j - 1 >= i - limit)
                    best = std::min(best, current[cell(i, j - 1)] + 1);
                if (j <= i - 1 + limit)
                    best = std::min(best, previous[cell(i - 1, j)] + 1);
            }
            best = std::min(best, over);
            current[cell(i, j)] = best;
            rowBest = std::min(rowBest, best);
        }
        if (rowBest > limit)
            return over;
        std::swap(previous, current);
    }
    return std::min(previous[cell(n, m)], over);
}

} // namespace cleaning::values

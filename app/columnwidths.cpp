#include "app/columnwidths.h"

#include <algorithm>
#include <numeric>

std::vector<int> FitColumnWidths(const std::vector<int> &minimum, const std::vector<int> &content,
                                 int maximum, int available)
{
    std::vector<int> widths(minimum.size());
    for (size_t column = 0; column < minimum.size(); ++column) {
        const int wanted = column < content.size() ? std::min(content[column], maximum) : 0;
        widths[column] = std::max(minimum[column], wanted);
    }
    const int total = std::accumulate(widths.begin(), widths.end(), 0);
    const int extra = available - total;
    if (extra <= 0 || total <= 0)
        return widths;
    // The last column takes what the rounding leaves, so the columns fill the area exactly.
    int given = 0;
    for (size_t column = 0; column + 1 < widths.size(); ++column) {
        const int share = int(static_cast<long long>(extra) * widths[column] / total);
        widths[column] += share;
        given += share;
    }
    widths.back() += extra - given;
    return widths;
}

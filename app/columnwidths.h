#pragma once

#include <vector>

// The widths of a list's columns: each at least its minimum and as wide as its content needs, up
// to maximum (a wider cell is cut). Width left over in the visible area (available) is shared
// among the columns in proportion to their widths, so a larger window shows more of each and no
// empty strip. minimum and content have one entry per column.
std::vector<int> FitColumnWidths(const std::vector<int> &minimum, const std::vector<int> &content,
                                 int maximum, int available);

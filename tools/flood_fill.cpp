#include "flood_fill.h"

#include <cstddef>
#include <deque>

namespace t3dhost {

FloodResult FloodFrom(const HeightGrid& grid, int seedRow, int seedColumn, double level,
                      uint8_t label, std::vector<uint8_t>& labels) {
  FloodResult result;
  const size_t count = size_t(grid.rows) * size_t(grid.columns);
  labels.assign(count, 0);
  const auto floods = [&](size_t at) {
    return labels[at] == 0 && grid.missing[at] == 0 && grid.heights[at] <= level;
  };
  if (seedRow < 0 || seedRow >= grid.rows || seedColumn < 0 || seedColumn >= grid.columns)
    return result;
  const size_t seed = size_t(seedRow) * size_t(grid.columns) + size_t(seedColumn);
  if (!floods(seed)) return result;
  // Each cell is queued once: it is labelled when it joins the queue.
  std::deque<size_t> queue{seed};
  labels[seed] = label;
  const size_t columns = size_t(grid.columns);
  while (!queue.empty()) {
    const size_t at = queue.front();
    queue.pop_front();
    ++result.cells;
    result.depthSum += level - grid.heights[at];
    const size_t column = at % columns;
    const auto visit = [&](size_t next) {
      if (floods(next)) {
        labels[next] = label;
        queue.push_back(next);
      }
    };
    if (column > 0) visit(at - 1);
    if (column + 1 < columns) visit(at + 1);
    if (at >= columns) visit(at - columns);
    if (at + columns < count) visit(at + columns);
  }
  return result;
}

}  // namespace t3dhost

#include "terrain/missing_map.h"

#include <algorithm>

namespace t3d {

void MissingMap::Reset(int rows, int columns) {
  rows_ = std::max(rows, 0);
  columns_ = std::max(columns, 0);
  runCount_ = 0;
  runs_.assign(size_t(rows_), {});
  rowsBefore_.assign(size_t(rows_) + 1, 0);
}

void MissingMap::Add(int row, int column) {
  if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return;
  std::vector<Run>& line = runs_[size_t(row)];
  if (!line.empty() && line.back().last + 1 >= column) {
    line.back().last = std::max(line.back().last, column);
    return;
  }
  line.push_back({column, column});
  ++runCount_;
}

void MissingMap::Finish() {
  for (int r = 0; r < rows_; ++r)
    rowsBefore_[size_t(r) + 1] = rowsBefore_[size_t(r)] + (runs_[size_t(r)].empty() ? 0 : 1);
}

bool MissingMap::AnyMissing(int r0, int r1, int c0, int c1) const {
  if (runCount_ == 0) return false;
  if (r0 > r1) std::swap(r0, r1);
  if (c0 > c1) std::swap(c0, c1);
  r0 = std::clamp(r0, 0, rows_ - 1);
  r1 = std::clamp(r1, 0, rows_ - 1);
  c0 = std::clamp(c0, 0, columns_ - 1);
  c1 = std::clamp(c1, 0, columns_ - 1);
  if (rowsBefore_[size_t(r1) + 1] == rowsBefore_[size_t(r0)]) return false;
  for (int r = r0; r <= r1; ++r) {
    const std::vector<Run>& line = runs_[size_t(r)];
    if (line.empty()) continue;
    // The first run that ends at or after c0 decides the row.
    const auto run = std::lower_bound(line.begin(), line.end(), c0,
                                      [](const Run& a, int value) { return a.last < value; });
    if (run != line.end() && run->first <= c1) return true;
  }
  return false;
}

}  // namespace t3d

// Where a grid built with holes has missing nodes, kept as runs of missing columns row by row,
// so that the mesh can ask whether any node of a rectangle is missing without reading the cache.
// A coarse patch samples only every step-th node: this is how it learns that its triangles would
// span a hole it never sampled.
#pragma once

#include <cstdint>
#include <vector>

namespace t3d {

class MissingMap {
 public:
  // Starts an empty map of rows x columns nodes.
  void Reset(int rows, int columns);
  // Marks (row, column) missing. Within a row, columns must come in increasing order (rows may
  // interleave), as the cache is built block by block.
  void Add(int row, int column);
  // Call after the last Add: counts the rows with missing nodes, for quick refusals.
  void Finish();

  bool empty() const { return runCount_ == 0; }
  // True when any node of rows r0..r1 and columns c0..c1 is missing. Positions beyond the grid
  // stand for the nearest edge node (as the cache fills them).
  bool AnyMissing(int r0, int r1, int c0, int c1) const;

 private:
  struct Run {
    int32_t first, last;
  };
  int rows_ = 0, columns_ = 0;
  uint64_t runCount_ = 0;
  std::vector<std::vector<Run>> runs_;   // by row, sorted by column
  std::vector<int32_t> rowsBefore_;      // rows with runs before row r; rows_ + 1 entries
};

}  // namespace t3d

// The records of an open map file, held in memory, their spatial index and the geometric tests
// of records against rectangles. Internal to the OGR adapter: included only by the files of
// src/adapters/ogr/.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace t3d::ogr {

// x min, y min, x max, y max.
struct Box {
  double v[4];
  bool Meets(const double rect[4]) const {
    return v[0] <= rect[2] && rect[0] <= v[2] && v[1] <= rect[3] && rect[1] <= v[3];
  }
};

// One record: one part of a feature.
struct Record {
  std::vector<double> xy;           // points as x, y; a region's rings one after the other
  std::vector<int32_t> ringCounts;  // a region's point counts per ring, the outer ring first
  Box box{};
  int32_t attributeRow = 0;  // the feature's row of attributes
  int32_t colourNumber = -1;
  std::string note;  // a note's text in GBK (point files only)
};

// A static R-tree over record boxes, packed by sorting (sort-tile-recursive): built once, queried
// by rectangle. Nodes hold up to 16 entries.
class BoxIndex {
 public:
  void Build(const std::vector<Box>& boxes);
  // Appends the numbers (positions in the boxes given to Build) of the boxes meeting rect.
  void Query(const double rect[4], std::vector<int32_t>& out) const;

 private:
  struct Node {
    Box box;
    int32_t first;  // first child node, or first entry of entries_ for a leaf
    int32_t count;
    bool leaf;
  };
  std::vector<Node> nodes_;    // the root is the last node
  std::vector<int32_t> entries_;
  std::vector<Box> boxes_;
};

// True when a segment meets the closed rectangle.
bool SegmentMeetsRect(double x0, double y0, double x1, double y1, const double rect[4]);
// True when the record (of the kind given: 0 lines, 1 points, 2 regions) meets the rectangle.
bool RecordMeetsRect(const Record& record, int kind, const double rect[4]);

}  // namespace t3d::ogr

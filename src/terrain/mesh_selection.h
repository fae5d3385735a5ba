// Node selection of the terrain surface: the visible part of the grid covered by square quadtree
// nodes, each drawn as a 9 x 9 vertex patch. A patch whose in-between vertices would move the
// picture by less than the view's tolerance is simplified, and four simplified siblings merge
// into their parent.
#pragma once

#include <cstdint>
#include <vector>

#include "terrain/footprint.h"
#include "terrain/terrain_area.h"

namespace t3d {

// A node of the mesh.
struct MeshNode {
  int16_t firstRow, lastRow, firstColumn, lastColumn;  // last = first + size
  int16_t step;                                        // size = 8 x step
  uint8_t simplified;
  uint8_t drawn;
  uint16_t root;
  uint16_t codeId;
  uint8_t level;  // 1 to 7 below the root tile
  uint8_t stitchedEdge;
  uint8_t edgeFlags;
};

// Edge flags of a node.
enum : uint8_t {
  kEdgeFirstRowAtGrid = 1 << 0,
  kEdgeLastColumnBeyondGrid = 1 << 1,
  kEdgeLastRowBeyondGrid = 1 << 2,
  kEdgeFirstColumnAtGrid = 1 << 3,
  kEdgeFirstRowAtRoot = 1 << 4,
  kEdgeLastColumnAtRoot = 1 << 5,
  kEdgeLastRowAtRoot = 1 << 6,
  kEdgeFirstColumnAtRoot = 1 << 7,
};

// Nodes past this many are never stored (a trace line tells, once per frame).
constexpr int kMaxMeshNodes = 16400;

// The leaves of the mesh for the full footprint (with more detail in the near footprint).
// Textured selection uses nodes twice as large, aligned to their size so that each lies inside
// texture tiles of its size.
std::vector<MeshNode> SelectMeshNodes(const MeshView& view, TerrainArea& area, const Footprint& full,
                                      const Footprint& near, bool* overflowed = nullptr,
                                      bool textured = false);

// The 81 heights' in-between vertices that may be left out (1) for a node, and whether all may.
bool TestNodeError(const MeshView& view, TerrainArea& area, const MeshNode& node,
                   double projection, double tolerance, uint8_t mask[81]);

}  // namespace t3d

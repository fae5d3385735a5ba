// The terrain surface as a mesh in memory: the selected nodes' 9 x 9 vertex patches, coloured and
// lit from the cells' colour indices and normal codes, with the edges between patches of
// different detail sharing their vertices so that the surface has no cracks. Nothing here calls
// GL: the scene's renderer and the block scene both submit what it builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/colour_table.h"
#include "terrain/mesh_selection.h"

namespace t3d {

// What colours the vertices: the tables and lookup tables of the scene being drawn.
struct MeshColouring {
  const ColourTable* table = nullptr;          // height colours, or the grey table
  const ColourTable* mapAreaTables = nullptr;  // the seven map-area class tables
  const float (*normalTable)[256][3] = nullptr;  // unit normal by azimuth and elevation code
  const float* unitRamp = nullptr;             // colour component c -> c / 65535
  int applyType = 0;                           // 1: flood analysis display
  const float* analysisColours = nullptr;      // three red, green, blue colours
  bool waterSurface = false;                   // flooded cells drawn flat at waterLevel
  float waterLevel = 0;
};

// A vertex as GL's C4F_N3F_V3F interleaved layout takes it.
struct ColouredVertex {
  float rgba[4];
  float normal[3];
  float position[3];
};
static_assert(sizeof(ColouredVertex) == 40, "coloured vertices are 40 bytes");

// Where a node's vertices and indices lie in the mesh's arrays.
struct NodeRange {
  size_t vertexBegin, vertexEnd, indexBegin, indexEnd;
};

// What a frame drew.
struct MeshStats {
  int nodes = 0;
  int simplifiedNodes = 0;
  int triangles = 0;
  bool overflowed = false;
  int texturePasses = 0;    // textured mode: tiles loaded
  int untexturedNodes = 0;  // textured mode: nodes that lie inside no tile (not drawn)
};

struct SurfaceMesh {
  std::vector<MeshNode> nodes;  // sorted by root, code and level
  std::vector<ColouredVertex> vertices;
  std::vector<uint32_t> indices;  // triangles, or pairs of line ends when `lines`
  bool lines = false;
  // Textured builds: each vertex's grid row and column (clamped to the grid). Every build: each
  // node's vertex and index ranges (a node's indices name only its own vertices), so that a
  // texture tile's pass or a host batch can take its nodes' part.
  std::vector<int32_t> gridOf;
  std::vector<NodeRange> ranges;
  MeshStats stats;  // nodes, simplified nodes, triangles, overflow

  // What `nodes` were selected for: a build with the same view, footprints and terrain keeps
  // them instead of selecting again (a still eye redraws without the selection's cost).
  struct SelectionInputs {
    MeshView view;
    Footprint full, near;
    bool textured = false;
    uint64_t areaSerial = 0;
  };
  bool haveSelection = false;
  bool selectionOverflowed = false;
  SelectionInputs selectedFor;
};

// Selects the nodes of the full footprint (more detail in the near one) and builds their
// vertices and indices into mesh (its arrays are reused). lines: wireframe index pairs instead
// of triangles (not in textured builds). Node overflow is traced once per build.
void BuildSurfaceMesh(const MeshView& view, const MeshColouring& colouring, TerrainArea& area,
                      const Footprint& full, const Footprint& near, bool textured, bool lines,
                      SurfaceMesh& mesh);

}  // namespace t3d

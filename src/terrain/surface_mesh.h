// The terrain surface: a view-dependent level-of-detail mesh over the terrain area. The visible
// part of the grid is covered by square quadtree nodes, each drawn as a 9 x 9 vertex patch; a
// patch whose in-between vertices would move the picture by less than a tolerance is drawn
// simplified, four simplified siblings merge into their parent, and the edges between patches of
// different detail share their vertices, so the surface has no cracks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace t3d {

class SceneObject;
struct SceneState;
class TerrainArea;

// The grid rectangle seen from the eye and the ground point the view axis meets.
struct Footprint {
  int32_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
  float ground[3] = {0, 0, 0};
};

// A map rectangle: x min, y min, x max, y max.
struct MapRect {
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

// The map extent of the last full footprint, read by the overlays.
extern MapRect g_viewRect;

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

// The grid rectangle seen from the eye (and its map extent when extent is not null). The variant
// for views tilted less than 10 degrees (variantTilt) traces the view's ground triangle; the other
// cuts the view's corner rays with the planes of the highest and the lowest height. Leaves the
// vertical component of the view direction in state.viewDirZ.
void ComputeVisibleRegion(const SceneObject& scene, SceneState& state, Footprint& footprint,
                          MapRect* extent, double variantTilt);

// What the last frame drew.
struct MeshStats {
  int nodes = 0;
  int simplifiedNodes = 0;
  int triangles = 0;
  bool overflowed = false;
  int texturePasses = 0;    // textured mode: tiles loaded
  int untexturedNodes = 0;  // textured mode: nodes that lie inside no tile (not drawn)
};

class TextureStore;

// The terrain texture a frame drapes over the surface: the prepared tiles, the buffer a tile is
// read into and its upload parameters.
struct SurfaceTexture {
  const TextureStore* store = nullptr;
  uint8_t* image = nullptr;
  size_t imageBytes = 0;
  int width = 0, height = 0;  // of a tile
  int components = 3;
  unsigned format = 0, type = 0;
  float halfTexel = 1.0f / 512;
};

// Selects the nodes of the full footprint (with more detail in the near footprint) and draws
// them. Without a texture: coloured mode (triangles, or lines when drawMode is set). With one:
// one pass per texture tile, in which the nodes lying inside the tile (and not drawn before)
// are drawn with the tile as the current texture, texture coordinates spanning the tile's rows
// and columns. GL must be current; with a texture, a 2-D texture must be bound and enabled.
MeshStats DrawTerrainSurface(SceneState& state, TerrainArea& area, const Footprint& full,
                             const Footprint& near, const SurfaceTexture* texture = nullptr);

// When set, DrawTerrainSurface also appends what it draws to it (benchmarks compare the frame
// with drawing the same triangles from one array).
struct MeshCapture {
  std::vector<float> vertices;  // 10 floats a vertex: colour, normal, position
  std::vector<uint32_t> indices;
};
extern MeshCapture* g_meshCapture;

// Only the node selection, for tests and benchmarks: the leaves of the mesh.
// Textured selection uses nodes twice as large, aligned to their size so that each lies inside
// texture tiles of its size.
std::vector<MeshNode> SelectMeshNodes(SceneState& state, TerrainArea& area, const Footprint& full,
                                      const Footprint& near, bool* overflowed = nullptr,
                                      bool textured = false);

// The 81 heights' in-between vertices that may be left out (1) for a node, and whether all may.
bool TestNodeError(const SceneState& state, TerrainArea& area, const MeshNode& node,
                   double projection, double tolerance, uint8_t mask[81]);

}  // namespace t3d

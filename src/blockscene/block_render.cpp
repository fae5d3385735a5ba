#include "blockscene/block_render.h"

#include <algorithm>
#include <cstring>

#include "blockscene/mesh_batches.h"
#include "model/process_objects.h"
#include "terrain/footprint.h"

namespace t3d {
namespace {

// A grid range from the host's record, limited to what the grid can hold.
Footprint FootprintOf(const int32_t r[4], const BlockScene& s) {
  Footprint f;
  f.firstRow = std::clamp(r[0], 0, s.rowCount + 1);
  f.lastRow = std::clamp(r[1], 0, s.rowCount + 1);
  f.firstColumn = std::clamp(r[2], 0, s.columnCount + 1);
  f.lastColumn = std::clamp(r[3], 0, s.columnCount + 1);
  if (f.firstRow > f.lastRow) std::swap(f.firstRow, f.lastRow);
  if (f.firstColumn > f.lastColumn) std::swap(f.firstColumn, f.lastColumn);
  return f;
}

// Hands the patches `order` of the mesh to the host in batches. tile: the texture tile whose
// coordinates the vertices carry, or null for coloured vertices.
void EmitPatches(BlockScene& s, const std::vector<size_t>& order, int kind, const TileEntry* tile,
                 TnDrawMeshCallback drawMesh, void* user, BlockFrameStats& stats) {
  const SurfaceMesh& mesh = s.mesh;
  std::vector<size_t> vertexCounts(order.size()), indexCounts(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    const NodeRange& r = mesh.ranges[order[k]];
    vertexCounts[k] = r.vertexEnd - r.vertexBegin;
    indexCounts[k] = r.indexEnd - r.indexBegin;
  }
  const size_t vertexBytes = VertexKindBytes(kind);
  const int lastRow = std::max(0, s.rowCount - 1), lastColumn = std::max(0, s.columnCount - 1);
  double rowSpan = 1, columnSpan = 1;
  if (tile != nullptr) {
    rowSpan = std::max(1, tile->rowLast - tile->rowFirst);
    columnSpan = std::max(1, tile->colLast - tile->colFirst);
  }
  const float half = s.halfTexel;
  for (const BatchSpan& batch : PlanBatches(vertexCounts, indexCounts)) {
    size_t vertexTotal = 0, indexTotal = 0;
    for (size_t k = batch.first; k < batch.last; ++k) {
      vertexTotal += vertexCounts[k];
      indexTotal += indexCounts[k];
    }
    if (vertexTotal == 0 || indexTotal == 0) continue;
    s.batchIndices.resize(indexTotal);
    uint16_t* outIndex = s.batchIndices.data();
    // Coloured OpenGL vertices of consecutive patches are the mesh's own array: no copy.
    const bool direct = kind == 1 && tile == nullptr &&
                        order[batch.last - 1] - order[batch.first] == batch.last - 1 - batch.first;
    if (!direct) s.batchVertices.resize(vertexTotal * vertexBytes);
    size_t base = 0;
    for (size_t k = batch.first; k < batch.last; ++k) {
      const NodeRange& r = mesh.ranges[order[k]];
      for (size_t i = r.indexBegin; i < r.indexEnd; ++i)
        *outIndex++ = uint16_t(mesh.indices[i] - r.vertexBegin + base);
      if (!direct) {
        uint8_t* out = s.batchVertices.data() + base * vertexBytes;
        for (size_t v = r.vertexBegin; v < r.vertexEnd; ++v, out += vertexBytes) {
          const ColouredVertex& cv = mesh.vertices[v];
          float st[2] = {0, 0};
          if (tile != nullptr) {
            const double row = std::min(mesh.gridOf[2 * v], lastRow);
            const double column = std::min(mesh.gridOf[2 * v + 1], lastColumn);
            st[0] = float(half + (column - tile->colFirst) / columnSpan * (1 - 2 * half));
            st[1] = float(half + (row - tile->rowFirst) / rowSpan * (1 - 2 * half));
          }
          WriteVertex(kind, cv.position, cv.normal, cv.rgba, st, out);
        }
      }
      base += r.vertexEnd - r.vertexBegin;
    }
    void* vertices = direct ? const_cast<ColouredVertex*>(&mesh.vertices[mesh.ranges[order[batch.first]].vertexBegin])
                            : static_cast<void*>(s.batchVertices.data());
    drawMesh(kind, vertices, uint16_t(vertexTotal), s.batchIndices.data(), uint16_t(indexTotal), user);
    ++stats.batches;
    stats.patches += int(batch.last - batch.first);
  }
}

bool RenderTerrain(BlockScene& s, TerrainArea& area, const TnViewRangeRecord& range,
                   bool textured, TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh,
                   void* user, BlockFrameStats& stats) {
  MeshView view;
  view.grid = s.Grid();
  std::copy(s.viewEye, s.viewEye + 3, view.eye);
  view.viewDirSin = s.viewDirSin;
  view.viewDirCos = s.viewDirCos;
  view.viewFov = s.viewFov;
  view.viewTilt = s.viewTilt;
  view.focalLength = s.focalLength;
  view.viewDirZ = s.viewDirZ;
  view.clientWidth = std::max(1, s.viewportWidth);
  view.clientHeight = std::max(1, s.viewportHeight);
  view.tolerance = g_process.lodFactors[std::clamp(s.displayQuality, 0, 2)];
  const Footprint full = FootprintOf(range.range, s), near = FootprintOf(range.innerRange, s);

  BuildSurfaceMesh(view, s.Colouring(), area, full, near, textured, false, s.mesh);
  if (s.mesh.stats.overflowed) {
    stats.overflowed = true;
    return false;
  }
  const size_t count = std::min(s.mesh.nodes.size(), s.mesh.ranges.size());
  if (!textured) {
    std::vector<size_t> order(count);
    for (size_t k = 0; k < count; ++k) order[k] = k;
    EmitPatches(s, order, s.vertexKinds[0], nullptr, drawMesh, user, stats);
    return true;
  }
  // One pass per tile in table order: the patches inside the tile that no earlier pass drew.
  // A tile the host could not load leaves its patches to a later (larger) tile.
  const std::vector<TileEntry>& tiles = g_process.textureStore->library.tiles();
  const int lastRow = std::max(0, s.rowCount - 1), lastColumn = std::max(0, s.columnCount - 1);
  std::vector<uint8_t> drawn(count, 0);
  size_t left = count;
  std::vector<size_t> order;
  for (size_t n = 0; n < tiles.size() && left > 0; ++n) {
    const TileEntry& tile = tiles[n];
    order.clear();
    for (size_t k = 0; k < count; ++k) {
      const MeshNode& node = s.mesh.nodes[k];
      if (drawn[k] != 0) continue;
      if (node.firstRow < tile.rowFirst || std::min<int>(node.lastRow, lastRow) > tile.rowLast ||
          node.firstColumn < tile.colFirst ||
          std::min<int>(node.lastColumn, lastColumn) > tile.colLast)
        continue;
      order.push_back(k);
    }
    if (order.empty()) continue;
    if (loadTile(s.tileSizeExponent, s.bytesPerPixel, s.pixelFormat, int32_t(n), user) <= 0)
      continue;
    ++stats.tilesLoaded;
    for (size_t k : order) drawn[k] = 1;
    left -= order.size();
    EmitPatches(s, order, s.vertexKinds[1], &tile, drawMesh, user, stats);
  }
  return true;
}

}  // namespace

bool RenderPlane(BlockScene& s, const TnViewRangeRecord& range, bool textured, int planeTile,
                 TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh, void* user,
                 BlockFrameStats& stats);

bool RenderBlockScene(BlockScene& s, const TnViewRangeRecord& range, bool withTexture,
                      int planeTileNumber, TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh,
                      void* user, BlockFrameStats* statsOut) {
  BlockFrameStats stats;
  bool ok = false;
  if (drawMesh != nullptr) {
    const bool textured = withTexture && loadTile != nullptr && s.TextureUsable() && s.tileCount > 0;
    if (s.planeMode) {
      ok = RenderPlane(s, range, textured, planeTileNumber, loadTile, drawMesh, user, stats);
    } else if (TerrainArea* area = s.OwnTerrain()) {
      ok = RenderTerrain(s, *area, range, textured, loadTile, drawMesh, user, stats);
    }
  }
  if (statsOut != nullptr) *statsOut = stats;
  return ok;
}

}  // namespace t3d

// Plane mode of dmRenderDem3DScene: one blue quad, or one textured quad per plane tile in view.
#include <algorithm>

#include "blockscene/block_render.h"
#include "blockscene/mesh_batches.h"
#include "model/process_objects.h"

namespace t3d {
namespace {

// The quad's two triangles over corners 0 .. 3.
uint16_t g_quadIndices[6] = {0, 1, 3, 1, 2, 3};

void DrawQuad(int kind, const float corners[4][2], float z, const float colour[4],
              const float st[4][2], TnDrawMeshCallback drawMesh, void* user) {
  const float normal[3] = {0, 0, 1};
  uint8_t vertices[4 * 40];
  const size_t bytes = VertexKindBytes(kind);
  for (int i = 0; i < 4; ++i) {
    const float position[3] = {corners[i][0], corners[i][1], z};
    WriteVertex(kind, position, normal, colour, st[i], vertices + i * bytes);
  }
  uint16_t indices[6];
  std::copy(g_quadIndices, g_quadIndices + 6, indices);
  drawMesh(kind, vertices, 4, indices, 6, user);
}

}  // namespace

bool RenderPlane(BlockScene& s, const TnViewRangeRecord& range, bool textured, int planeTile,
                 TnLoadTileCallback loadTile, TnDrawMeshCallback drawMesh, void* user,
                 BlockFrameStats& stats) {
  const float blue[4] = {0, 0, 1, 1};
  if (!textured) {
    const float corners[4][2] = {{s.xMin, s.yMin}, {s.xMin, s.yMax}, {s.xMax, s.yMax}, {s.xMax, s.yMin}};
    const float st[4][2] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
    DrawQuad(s.vertexKinds[0], corners, s.zMin, blue, st, drawMesh, user);
    ++stats.batches;
    return true;
  }
  const std::vector<TileEntry>& tiles = g_process.textureStore->library.tiles();
  const int tileRows = int(s.tileRowsCount), tileCols = int(s.tileColsCount);
  if (tileRows <= 0 || tileCols <= 0 || s.tileSize == 0) return true;
  const int r0 = std::clamp(std::min(range.range[0], range.range[1]), 0, s.rowCount - 1);
  const int r1 = std::clamp(std::max(range.range[0], range.range[1]), 0, s.rowCount - 1);
  const int c0 = std::clamp(std::min(range.range[2], range.range[3]), 0, s.columnCount - 1);
  const int c1 = std::clamp(std::max(range.range[2], range.range[3]), 0, s.columnCount - 1);
  const int e = s.tileSizeExponent;
  const int i0 = std::clamp(r0 >> e, 0, tileRows - 1), i1 = std::clamp(r1 >> e, 0, tileRows - 1);
  const int j0 = std::clamp(c0 >> e, 0, tileCols - 1), j1 = std::clamp(c1 >> e, 0, tileCols - 1);
  const int kind = s.vertexKinds[1];
  const float h = s.halfTexel;
  auto drawTile = [&](int i, int j) {
    const size_t n = size_t(i) * size_t(tileCols) + size_t(j);
    if (n >= tiles.size()) return;
    const TileEntry& tile = tiles[n];
    if (tile.rowLast < r0 || tile.rowFirst > r1 || tile.colLast < c0 || tile.colFirst > c1) return;
    loadTile(s.tileSizeExponent, s.bytesPerPixel, s.pixelFormat, int32_t(n), user);
    ++stats.tilesLoaded;
    const float se = float(tile.colLast - tile.colFirst + 1) / s.tileSize;
    const float te = float(tile.rowLast - tile.rowFirst + 1) / s.tileSize;
    // Neighbouring tiles share their edge: each tile's quad starts one cell back per tile.
    const float x0 = (tile.colFirst - j) * s.cellSizeX + s.xMin, x1 = (tile.colLast - j) * s.cellSizeX + s.xMin;
    const float y0 = (tile.rowFirst - i) * s.cellSizeY + s.yMin, y1 = (tile.rowLast - i) * s.cellSizeY + s.yMin;
    const float corners[4][2] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
    float st[4][2] = {{0, 0}, {0, te}, {se, te}, {se, 0}};
    if (kind == 4) {
      const float inset[4][2] = {{h, h}, {h, te - h}, {se - h, te - h}, {se - h, h}};
      std::copy(&inset[0][0], &inset[0][0] + 8, &st[0][0]);
    }
    DrawQuad(kind, corners, s.zMin, nullptr, st, drawMesh, user);
    ++stats.batches;
  };
  // The tile the host has current first.
  const int firstI = planeTile >= 0 ? planeTile / tileCols : -1;
  const int firstJ = planeTile >= 0 ? planeTile % tileCols : -1;
  const bool firstInRange = firstI >= i0 && firstI <= i1 && firstJ >= j0 && firstJ <= j1;
  if (firstInRange) drawTile(firstI, firstJ);
  for (int i = i0; i <= i1; ++i)
    for (int j = j0; j <= j1; ++j)
      if (!(firstInRange && i == firstI && j == firstJ)) drawTile(i, j);
  return true;
}

}  // namespace t3d

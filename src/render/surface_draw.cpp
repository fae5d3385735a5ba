#include "render/surface_draw.h"

#include <GL/gl.h>

#include <algorithm>

#include "model/mesh_inputs.h"

namespace t3d {
namespace {

// A vertex as GL's T2F_N3F_V3F interleaved layout takes it.
struct TexturedVertex {
  float st[2];
  float normal[3];
  float position[3];
};
static_assert(sizeof(TexturedVertex) == 32, "textured vertices are 32 bytes");

// One pass per texture tile: the nodes lying inside the tile that no earlier pass drew, with
// the tile loaded as the current texture and each vertex's texture coordinates its place between
// the tile's first and last column (and row), kept half a texel inside the tile's edges. A tile's
// rows and columns may reach past the grid, whose vertices are clamped to it: a node is tested
// with its part inside the grid.
void DrawTexturePasses(const GridExtent& grid, const SurfaceTexture& texture, SurfaceMesh& mesh) {
  MeshStats& stats = mesh.stats;
  const std::vector<MeshNode>& nodes = mesh.nodes;
  const std::vector<NodeRange>& ranges = mesh.ranges;
  const std::vector<ColouredVertex>& vertices = mesh.vertices;
  const std::vector<int32_t>& gridOf = mesh.gridOf;
  const std::vector<uint32_t>& indices = mesh.indices;
  const std::vector<TileEntry>& tiles = texture.store->library.tiles();
  const int lastRow = std::max(0, grid.rowCount - 1), lastColumn = std::max(0, grid.columnCount - 1);
  const float half = texture.halfTexel;
  std::vector<uint8_t> drawn(nodes.size(), 0);
  std::vector<TexturedVertex> passVertices;
  std::vector<GLuint> passIndices;
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT | GL_CLIENT_VERTEX_ARRAY_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  for (size_t n = 0; n < tiles.size(); ++n) {
    const TileEntry& tile = tiles[n];
    const double rowSpan = std::max(1, tile.rowLast - tile.rowFirst);
    const double columnSpan = std::max(1, tile.colLast - tile.colFirst);
    passVertices.clear();
    passIndices.clear();
    for (size_t k = 0; k < nodes.size() && k < ranges.size(); ++k) {
      const MeshNode& node = nodes[k];
      if (drawn[k] != 0) continue;
      if (node.firstRow < tile.rowFirst || std::min<int>(node.lastRow, lastRow) > tile.rowLast ||
          node.firstColumn < tile.colFirst || std::min<int>(node.lastColumn, lastColumn) > tile.colLast)
        continue;
      drawn[k] = 1;
      const NodeRange& range = ranges[k];
      const GLuint base = GLuint(passVertices.size());
      for (size_t v = range.vertexBegin; v < range.vertexEnd; ++v) {
        TexturedVertex out;
        const double row = gridOf[v * 2], column = gridOf[v * 2 + 1];
        out.st[0] = float(half + (column - tile.colFirst) / columnSpan * (1 - 2 * half));
        out.st[1] = float(half + (row - tile.rowFirst) / rowSpan * (1 - 2 * half));
        std::copy(vertices[v].normal, vertices[v].normal + 3, out.normal);
        std::copy(vertices[v].position, vertices[v].position + 3, out.position);
        passVertices.push_back(out);
      }
      for (size_t i = range.indexBegin; i < range.indexEnd; ++i)
        passIndices.push_back(indices[i] - GLuint(range.vertexBegin) + base);
    }
    if (passIndices.empty()) continue;
    if (!texture.store->ReadTile(int(n), texture.image, texture.imageBytes)) continue;
    glTexImage2D(GL_TEXTURE_2D, 0, texture.components, texture.width, texture.height, 0,
                 texture.format, texture.type, texture.image);
    ++stats.texturePasses;
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, passVertices.data());
    glDrawElements(GL_TRIANGLES, GLsizei(passIndices.size()), GL_UNSIGNED_INT, passIndices.data());
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  glPopClientAttrib();
  stats.untexturedNodes = int(std::count(drawn.begin(), drawn.end(), uint8_t(0)));
}

}  // namespace

void SubmitSurfaceMesh(const GridExtent& grid, SurfaceMesh& mesh, const SurfaceTexture* texture) {
  if (texture != nullptr) {
    DrawTexturePasses(grid, *texture, mesh);
    return;
  }
  const std::vector<ColouredVertex>& vertices = mesh.vertices;
  const std::vector<uint32_t>& indices = mesh.indices;
  if (vertices.empty() || indices.empty()) return;
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glInterleavedArrays(GL_C4F_N3F_V3F, 0, vertices.data());
  glDrawElements(mesh.lines ? GL_LINES : GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_INT,
                 indices.data());
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

MeshStats DrawTerrainSurface(const SceneState& state, TerrainArea& area, const Footprint& full,
                             const Footprint& near, const SurfaceTexture* texture) {
  const bool textured = texture != nullptr && texture->store != nullptr && texture->image != nullptr;
  // Kept from frame to frame (one per drawing thread): its arrays keep their room, and a frame
  // with the same view and terrain as the last keeps its node selection.
  thread_local SurfaceMesh mesh;
  const MeshView view = MeshViewOf(state);
  BuildSurfaceMesh(view, ColouringOf(state), area, full, near, textured, state.drawMode != 0, mesh);
  SubmitSurfaceMesh(view.grid, mesh, textured ? texture : nullptr);
  return mesh.stats;
}

}  // namespace t3d

// The host side of the block scene suites: grid files of node-centred cells, the meshes and
// texture tiles the host receives through its callbacks, and camera records.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "blockscene/mesh_batches.h"
#include "terrain3d/terrain3d.h"
#include "test_grids.h"

namespace t3d {
namespace blockhost {

// A grid file of columns x rows nodes, cells of dx x dy, node centres from x 0 and y 0;
// height(row, column) with row 0 at the smallest y.
inline std::string Grid(const std::string& name, int columns, int rows, double dx, double dy,
                        const std::function<double(int, int)>& height) {
  const std::string path = testgrids::GridPath(name);
  double gt[6];
  testgrids::NorthUp(gt, -dx / 2, (rows - 1) * dy + dy / 2, dx, dy);
  EXPECT_TRUE(testgrids::WriteGrid(path, columns, rows, gt, GDT_Float32,
                                   [&](int line, int pixel) { return height(rows - 1 - line, pixel); }));
  return path;
}

// One mesh as the host received it.
struct Mesh {
  int kind = 0;
  std::vector<uint8_t> vertices;
  int vertexCount = 0;
  std::vector<uint16_t> indices;
};

// What the host received: meshes and the texture tiles asked for (answered with tileAnswer).
struct Host {
  std::vector<Mesh> meshes;
  std::vector<int> tiles;
  int tileAnswer = 1;
};

inline void TN_CALL CopyMesh(int32_t kind, void* vertices, unsigned short vertexCount,
                             unsigned short* indices, unsigned short indexCount, void* user) {
  Mesh mesh;
  mesh.kind = kind;
  mesh.vertexCount = vertexCount;
  const auto* bytes = static_cast<const uint8_t*>(vertices);
  mesh.vertices.assign(bytes, bytes + size_t(vertexCount) * VertexKindBytes(kind));
  mesh.indices.assign(indices, indices + indexCount);
  static_cast<Host*>(user)->meshes.push_back(std::move(mesh));
}

inline int32_t TN_CALL LoadTile(TnByte, TnByte, int32_t, int32_t tile, void* user) {
  Host& host = *static_cast<Host*>(user);
  host.tiles.push_back(tile);
  return host.tileAnswer;
}

// A camera at (ex, ey, ez) looking at (tx, ty, 0).
inline TnViewRecord View(float ex, float ey, float ez, float tx, float ty, float fov = 60, int w = 1024,
                         int h = 768) {
  TnViewRecord v{};
  v.eye[0] = ex;
  v.eye[1] = ey;
  v.eye[2] = ez;
  v.lookAt[0] = tx;
  v.lookAt[1] = ty;
  v.fieldOfView = fov;
  v.viewportWidth = w;
  v.viewportHeight = h;
  return v;
}

}  // namespace blockhost
}  // namespace t3d

// The block scene: a prepared grid (or a flat plane) whose level-of-detail meshes and texture
// tiles are handed to a host that draws them with its own device.
//
// The terrain area and the texture store are process-wide and shared with the scene interface;
// the latest preparation of any scene wins. A block scene therefore never keeps a pointer into
// them: it reads them through g_process on every call, recognises the terrain area it built
// itself by a serial number, and treats any other terrain as gone.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "adapters/raster_image.h"
#include "formats/colour_table.h"
#include "model/scene_state.h"
#include "terrain/surface_mesh.h"
#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// The terrain area a block scene builds: a terrain area that knows which preparation made it.
class BlockTerrainArea : public TerrainArea {
 public:
  explicit BlockTerrainArea(uint64_t serial) : serial_(serial) {}
  uint64_t serial() const { return serial_; }

 private:
  uint64_t serial_;
};

// Largest grid side a block scene accepts.
constexpr int kBlockMaxGridSide = 16384;

class BlockScene {
 public:
  BlockScene();
  // Closes the plan image and deletes the terrain area and the texture store when they are
  // still the ones this block scene prepared.
  virtual ~BlockScene();
  BlockScene(const BlockScene&) = delete;
  BlockScene& operator=(const BlockScene&) = delete;

  // Terrain mode from a DEM grid of the store; false (everything reset) on failure.
  bool PrepareTerrain(int demHandle, bool direct3D, float out[9]);
  // Plane mode: the header's rectangle, flat at its lowest height.
  bool PreparePlane(const TnGridHeader& header, bool direct3D, float out[9]);

  // The terrain area of this block scene's last preparation, or null when none exists any more
  // (another preparation replaced it, or this one failed).
  TerrainArea* OwnTerrain() const;
  // Whether the process-wide texture store is the one this block scene prepared (for its
  // current terrain, in terrain mode).
  bool TextureUsable() const;

  // The grid as the mesh builder reads it.
  GridExtent Grid() const;
  // The colouring of the cells: the height colour table, the map-area tables, lookup tables.
  MeshColouring Colouring() const;

  // Fields. Extents and heights are in map units; heights divided by zScale.
  bool planeMode = false;
  float xMin = 0, xMax = 0, cellSizeX = 0;
  float yMin = 0, yMax = 0, cellSizeY = 0;
  float zMin = 0, zMax = 0;
  int32_t rowCount = 0, columnCount = 0;
  float sceneRadius = 0;
  float zScale = 1;
  float terrainCentre[3] = {0, 0, 0};
  float viewEye[3] = {0, 0, 0};
  float viewDirSin = 0, viewDirCos = 0;
  float viewFov = 0, viewTilt = 0;
  double focalLength = 0;
  double viewDirZ = 0;
  int32_t viewportWidth = 0, viewportHeight = 0;
  int32_t displayQuality = 1;
  float eyeLimits[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};

  // Texture tiles (copied from the store by the texture preparation).
  bool textureReady = false;
  uint32_t tileCount = 0, tileRowsCount = 0, tileColsCount = 0;
  int32_t pixelFormat = 0;
  uint8_t bytesPerPixel = 0;
  uint16_t tileSize = 0;
  uint8_t tileSizeExponent = 0;
  float halfTexel = 1.0f / 512;

  // Colouring.
  HeightColourSettings layerColours{};
  const ColourTable* activeColorTable = nullptr;
  ColourTable mapAreaColorTables[7];
  std::unique_ptr<float[][256][3]> normalTable;  // 256 x 256 unit normals
  std::unique_ptr<float[]> unitRamp;             // 65,536 entries

  // Vertex kinds without / with texture (1, 2 OpenGL; 3, 4 Direct3D).
  int32_t vertexKinds[2] = {1, 2};

  // Plan image open between dmBeginDrawGraph and dmEndDrawGraph.
  RasterHandle planeRaster = 0;
  void ClosePlaneRaster();

  // The mesh of the last frame, kept so that its arrays are reused.
  SurfaceMesh mesh;
  std::vector<uint8_t> batchVertices;
  std::vector<uint16_t> batchIndices;

  // The serial of this block scene's terrain area (0: none built).
  uint64_t terrainSerial = 0;

 private:
  // Drops the buffers, the terrain area and texture store this block scene made, and the view.
  void Reset();
};

// Fills a normal table and a unit ramp as the scenes use them.
void FillBlockLookupTables(float (*normalTable)[256][3], float* unitRamp);

}  // namespace t3d

// The process-wide overlay store: road, region and note layers with their files and font.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/note_data.h"
#include "model/road_data.h"
#include "model/scene_state.h"
#include "platform/file_mapping.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// Region blocks: fixed-size blocks of triangles in a temporary file, block k at k × kBytes.
struct RegionBlock {
  static constexpr size_t kBytes = 32768;
  // Colour-filled regions: header of 8 bytes, vertices as GL_N3F_V3F (6 floats).
  static constexpr size_t kColourHeader = 8;
  static constexpr int kColourFloats = 6;
  static constexpr int kColourTriangles = 455;
  // Textured regions: header of 32 bytes, vertices as GL_T2F_N3F_V3F (8 floats).
  static constexpr size_t kTexturedHeader = 32;
  static constexpr int kTexturedFloats = 8;
  static constexpr int kTexturedTriangles = 341;
};
static_assert(RegionBlock::kColourHeader + RegionBlock::kColourTriangles * 3 *
                  RegionBlock::kColourFloats * 4 <= RegionBlock::kBytes, "colour block size");
static_assert(RegionBlock::kTexturedHeader + RegionBlock::kTexturedTriangles * 3 *
                  RegionBlock::kTexturedFloats * 4 <= RegionBlock::kBytes, "textured block size");
static_assert(sizeof(TnRegionDescriptor) == 281, "region descriptors are 281 bytes");

// One stored region image: raw RGB texels at offset in the image file.
struct RegionImageEntry {
  int32_t record = 0;
  const char* name = nullptr;  // inside the host's descriptor
  uint64_t offset = 0;
  uint16_t width = 0, height = 0;
};

// The loaded region layer. Both files are temporary and have no name in the file system: they
// go when they are closed (unload, a failed load, the store's end) and with the process.
// The map rectangle of a region block's triangles: x min, y min, x max, y max.
using RegionBlockExtent = std::array<double, 4>;

// How a region is drawn at different distances.
struct RegionLevels {
  static constexpr int kFarLevels = 3;
  // Draped levels: the triangulation cut at a step of a few cells (RegionData::drapeStep),
  // coarsest first, for regions whose triangulation strays too far from the ground to be drawn
  // from afar. They follow the far levels in the arrays below.
  static constexpr int kDrapeLevels = 2;
  static constexpr int kLevels = kFarLevels + kDrapeLevels;
  // Blocks of the triangulation drawn from afar, before the blocks of the cut faces.
  uint16_t coarse = 0;
  // Far levels: the region's rings thinned further and triangulated, drawn where the thinning
  // moves the outline by at most a pixel. They are small and kept in memory (RegionData::
  // farVertices, laid out as in the blocks): first float and vertex count of each; 0 vertices
  // when the level thins too little to be worth drawing.
  uint32_t farFirst[kLevels] = {};
  uint16_t farVertices[kLevels] = {};
  // How far the triangulation and each far level stray from the ground between their corners
  // (scene height units, the largest difference; the cut faces follow it).
  float coarseDeviation = 0;
  float farDeviation[kLevels] = {};
  // A height of the region's faces (scene units), where its on-screen detail is measured.
  float z = 0;
  // The tile's blocks in the block file (first, then the count of both sets) and its map
  // rectangle (x min, y min, x max, y max).
  uint32_t firstBlock = 0;
  uint32_t blocks = 0;
  double extent[4] = {0, 0, 0, 0};
};

struct RegionData {
  platform::File blocks;
  std::unique_ptr<uint8_t[]> blockBuffer;
  TnRegionDescriptor* descriptors = nullptr;
  int32_t count = 0;
  // The first block of each descriptor (running sums of the block counts), count + 1 entries.
  std::vector<uint32_t> firstBlock;
  // How each region is drawn at different distances, tile by tile: a region larger than a tile
  // is cut into tiles, each with its own sets (one tile otherwise). A tile's blocks hold first
  // its faces as triangulated (drawn from afar; 0 blocks when there is one set only), then the
  // faces cut to the grid's cells (drawn near by).
  std::vector<RegionLevels> levels;
  // The first tile of each descriptor (count + 1 entries).
  std::vector<uint32_t> firstTile;
  // The map rectangle of every block, so that a frame skips the blocks out of its view.
  std::vector<RegionBlockExtent> blockExtents;
  // The far levels' vertices of every region (see RegionLevels).
  std::vector<float> farVertices;
  // Below this distance from the eye (map units) a region is drawn from its cut faces.
  double fineDistance = 0;
  // The thinning tolerance of each far level, map units.
  double farTolerance[RegionLevels::kFarLevels] = {};
  // The cutting step of each draped level, map units.
  double drapeStep[RegionLevels::kDrapeLevels] = {};
  // The block file mapped for reading once it is written (invalid: blocks are read with ReadAt).
  platform::MappedView view;
  platform::File images;
  std::vector<RegionImageEntry> imageTable;  // sorted by record number

  bool loaded() const { return blocks.valid(); }
  // Closes both files and forgets everything.
  void Clear() {
    view.Reset();
    blocks.Close();
    blockBuffer.reset();
    descriptors = nullptr;
    count = 0;
    firstBlock.clear();
    firstTile.clear();
    levels.clear();
    farVertices.clear();
    blockExtents.clear();
    images.Close();
    imageTable.clear();
  }
};

// The region file slot of the scene (0: none), kept in bytes 2 and 3 of the layer indexes. The
// frame runs the region pass while it is above 0.
inline uint16_t RegionFileIndex(const SceneState& state) {
  return uint16_t(state.layerIndexes[2] | state.layerIndexes[3] << 8);
}
inline void SetRegionFileIndex(SceneState& state, uint16_t slot) {
  state.layerIndexes[2] = uint8_t(slot);
  state.layerIndexes[3] = uint8_t(slot >> 8);
}

class OverlayStore {
 public:
  virtual ~OverlayStore() {
    regions.Clear();
    roads.Clear();
  }
  RegionData regions;
  NoteData notes;
  RoadData roads;
};

}  // namespace t3d

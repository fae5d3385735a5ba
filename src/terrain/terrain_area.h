// The process-wide terrain area: the prepared grid in an unnamed temporary cache file of 8-byte
// cells, 256 x 256 cells a block, read and written through a ring of memory-mapped block views.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/file_mapping.h"
#include "terrain/missing_map.h"
#include "terrain/scene_origin.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// Asks the processor to start loading the cache line at address p (a hint; no effect elsewhere).
inline void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// The prepared grid as the scene placed it: its map extent, cell sizes and height range (scene
// heights), its node counts, and the scene radius that divides map units into scene units.
struct GridExtent {
  float xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  float cellSizeX = 0, cellSizeY = 0;
  float zMin = 0, zMax = 0;
  int32_t rowCount = 0, columnCount = 0;
  float sceneRadius = 0;
  // The map point at the scene's origin (see SceneOrigin).
  double originX = 0, originY = 0;
};

inline SceneOrigin OriginOf(const GridExtent& grid) {
  return {grid.originX, grid.originY, grid.sceneRadius != 0 ? double(grid.sceneRadius) : 1.0};
}

#pragma pack(push, 1)
// One cell of the cache file.
struct GridCell {
  uint8_t azimuthCode;    // normal azimuth code
  uint8_t elevationCode;  // normal elevation code
  float height;           // scene height = elevation / zScale / sceneRadius
  uint8_t colourIndex;    // height colour index 0..255
  uint8_t label;          // 0 none; 1..3 flood marks; 42 and up map-area classes
};
#pragma pack(pop)
static_assert(sizeof(GridCell) == 8, "a grid cell is 8 bytes");

constexpr int kBlockSide = 256;
constexpr uint32_t kBlockCells = kBlockSide * kBlockSide;
constexpr uint32_t kBlockBytes = kBlockCells * sizeof(GridCell);  // 524,288
// The ring of a 32-bit process: 64 views of half a megabyte keep the address space it takes small.
constexpr int kViewRingSize = 64;
// A 64-bit process has address space for every block of the largest grids (16,384 x 16,384
// cells take 4,225 blocks, 2.2 GB): a frame then maps each block once and keeps it, instead of
// remapping the blocks its level-of-detail walk visits out of order.
constexpr int kWideViewRingSize = 8192;
constexpr int DefaultViewRingSize() { return sizeof(void*) >= 8 ? kWideViewRingSize : kViewRingSize; }

// Colouring parameters of the height colour passes: heights in elevation / zScale.
struct ColouringParams {
  float zMinScaled;
  float zMaxScaled;
  float zScale;
  float sceneRadius;
};

// The default colour index of a cell: its height scaled into 0..255 between the lowest and the
// highest height (0 when the grid is flat). The build and ResetColourIndices both use it, so that
// resetting restores the built indices exactly.
uint8_t DefaultColourIndex(float cellHeight, const ColouringParams& params);

// Packs a unit normal into an azimuth code and an elevation code, and back.
void EncodeNormal(double x, double y, double z, uint8_t& azimuthCode, uint8_t& elevationCode);
void DecodeNormal(uint8_t azimuthCode, uint8_t elevationCode, float& x, float& y, float& z);

// Float to integer for map-to-grid indexes: a value within 1e-6 below the next integer rounds up
// to it; anything else truncates toward zero.
int TruncateNear(double value);

class MapAreas;

class TerrainArea {
 public:
  // ringSize: the number of block views kept mapped at once (at least 1).
  explicit TerrainArea(int ringSize = DefaultViewRingSize());
  // Unmaps every view and closes the cache file (it has no name: closing it deletes it).
  virtual ~TerrainArea();
  TerrainArea(const TerrainArea&) = delete;
  TerrainArea& operator=(const TerrainArea&) = delete;

  // Reads the whole grid through the DEM store into the cache file. False on failure (nothing is
  // shown) or when the user stopped it. missingAsHoles: cells whose height is missing are marked
  // as missing (see missing_cells.h) instead of standing at the lowest height.
  bool BuildTerrainGrid(int demHandle, const float& zScale, const float& sceneRadius,
                        bool missingAsHoles = false);
  // A number no other terrain area of the process has: what is worked out from the heights can
  // be kept and known again (an address may be reused by the next area).
  uint64_t serial() const { return serial_; }

  // The number of threads that compute the cells of a build (0, the default: one per processor,
  // at most 8). The cache's bytes are the same whatever the number.
  void SetBuildWorkers(int workers) { buildWorkers_ = workers < 0 ? 0 : workers; }

  // The cell at (row, column), mapping its block first when needed. Rows and columns are limited
  // to the cache (edge-filled positions included). When the block cannot be mapped, a scratch
  // cell of zeros is returned: reads see a flat, unlabelled cell and writes are dropped. The
  // reference stays valid until ringSize() further blocks have been mapped.
  GridCell& GetCell(int row, int column) {
    // Inline for the mapped case: the mesh reads tens of thousands of cells a frame.
    if (!blockTable_.empty()) {
      row = row < 0 ? 0 : (row > rowLimit_ ? rowLimit_ : row);
      column = column < 0 ? 0 : (column > columnLimit_ ? columnLimit_ : column);
      GridCell* cells = blockTable_[uint32_t(row / kBlockSide) * blockCols_ + uint32_t(column / kBlockSide)].view;
      if (cells != nullptr) return cells[(row % kBlockSide) * kBlockSide + (column % kBlockSide)];
    }
    return MapAndGetCell(row, column);
  }

  // Asks the processor to start loading the 9 x 9 cells of a node (as in NodeHeights) whose
  // blocks are mapped, so that reading them next costs less than one cache miss each.
  void PrefetchNode(int firstRow, int firstColumn, int step) const;

  // Copies count cells of grid row `row`, from column firstColumn on, into out: the cells GetCell
  // gives for those positions (limited to the cache the same way; zeros where a block cannot be
  // mapped). Each block the row crosses is looked up once, so reading a rectangle row by row
  // maps every block of it once as long as it spans at most 64 blocks.
  void CopyRow(int row, int firstColumn, int count, GridCell* out);

  // Maps block n into the next ring slot; false when the mapping fails.
  bool MapBlock(uint32_t blockNumber);

  // Writes scene heights x factor of rows range[0]..range[1] and columns range[2]..range[3],
  // stepping by range[4], into destination (9 floats a row, at most 9 x 9 samples), and widens
  // [minimum, maximum] to hold them. False for an empty or invalid range.
  bool ExtractSamples(const int16_t range[5], float* destination, float factor, double& minimum,
                     double& maximum);

  // The 9 x 9 cell heights (scene units, unscaled) of rows firstRow + i x step and columns
  // firstColumn + j x step, row by row, positions limited to the cache as in GetCell. The node
  // selection reads the same nodes frame after frame, scattered over the whole cache; the
  // samples are kept in a table of their own (up to kNodeSampleLimit nodes, then it starts
  // afresh), so that a node read before costs one lookup instead of 81 scattered reads. The
  // pointer stays valid until the next call. Null when no grid is built.
  const float* NodeHeights(int firstRow, int firstColumn, int step);
  static constexpr size_t kNodeSampleLimit = 1 << 16;

  // Bilinear scene height at a map point, from the prepared scene's extent; outside the grid it
  // extrapolates from the nearest edge cells.
  double HeightAtPoint(const GridExtent& grid, double x, double y);
  // Whether the surface is drawn at a map point: on the grid, and, for a grid built with holes,
  // in a cell none of whose corners is missing (such a cell is left out as a hole).
  bool GroundAtPoint(const GridExtent& grid, double x, double y) const;
  // Whether a map point lies on the grid but in a hole (a cell with a missing corner, for a grid
  // built with holes): there is no ground there, though there would be beside the grid.
  bool InHole(const GridExtent& grid, double x, double y) const {
    return x >= grid.xMin && x <= grid.xMax && y >= grid.yMin && y <= grid.yMax &&
           !GroundAtPoint(grid, x, y);
  }

  // The cells of block n (mapping it when needed), or null when it cannot be mapped.
  GridCell* BlockCells(uint32_t blockNumber);

  // The map areas burnt into the cells (map_areas.h); they go with the cache.
  MapAreas& mapAreas() { return *mapAreas_; }

  // What the flood analysis keeps of each block between its passes, so that raising or lowering
  // the water rewrites only the blocks the level crosses: the block's height range (once known)
  // and whether the last analysis left every label of it 0 or every label 2. Every other writer
  // of labels must call ForgetFloodLabels.
  struct BlockFloodState {
    float low = 0, high = 0;
    bool ranged = false;   // low and high are known
    bool missing = false;  // a height that compares with nothing (NaN) is in the block
    uint8_t labels = 0;    // kFloodLabelsUnknown, kFloodLabelsDry or kFloodLabelsSubmerged
  };
  static constexpr uint8_t kFloodLabelsUnknown = 0, kFloodLabelsDry = 1, kFloodLabelsSubmerged = 2;
  BlockFloodState& floodState(uint32_t blockNumber) {
    if (floodStates_.size() != blockCount_) floodStates_.assign(blockCount_, BlockFloodState{});
    return floodStates_[blockNumber];
  }
  void ForgetFloodLabels() {
    for (BlockFloodState& state : floodStates_) state.labels = kFloodLabelsUnknown;
  }

  // Grid information.
  bool ready() const { return ready_ != 0; }
  // The number of grid cells the build marked as missing (0 unless built with holes).
  uint64_t missingCells() const { return missingCells_; }
  // Whether the last build was asked to leave missing cells out as holes (whether or not the
  // grid had any).
  bool builtWithHoles() const { return builtWithHoles_; }
  // Where those cells lie (empty unless built with holes).
  const MissingMap& missingMap() const { return missingMap_; }
  const TnGridHeader& gridInfo() const { return gridInfo_; }
  int rows() const { return rows_; }
  int columns() const { return cols_; }
  uint32_t blockRows() const { return blockRows_; }
  uint32_t blockColumns() const { return blockCols_; }
  uint32_t blockCount() const { return blockCount_; }
  int ringSize() const { return int(viewRing_.size()); }
  double cellWidth() const { return cellWidth_; }
  double cellHeight() const { return cellHeight_; }
  // Bytes in the cache file (0 while none is open).
  uint64_t cacheFileSize() const { return cacheFile_.Size(); }
  // True while block n has a mapped view.
  bool IsMapped(uint32_t blockNumber) const {
    return blockNumber < blockTable_.size() && blockTable_[blockNumber].view != nullptr;
  }

 private:
  struct BlockEntry {
    uint64_t offset;
    GridCell* view;
  };
  struct RingSlot {
    uint32_t block = 0xFFFFFFFFu;
    platform::MappedView view;
  };

  void ReleaseCache();
  GridCell& MapAndGetCell(int row, int column);

  struct NodeSamples {
    float heights[81];
  };

  uint8_t ready_ = 0;
  int buildWorkers_ = 0;
  uint64_t serial_ = 0;
  uint64_t missingCells_ = 0;
  bool builtWithHoles_ = false;
  MissingMap missingMap_;
  uint32_t blockBytes_ = kBlockBytes;
  std::vector<BlockEntry> blockTable_;
  uint32_t blockCount_ = 0;
  std::vector<BlockFloodState> floodStates_;
  uint32_t blockCols_ = 0;
  uint32_t blockRows_ = 0;
  TnGridHeader gridInfo_{};
  int rows_ = 0, cols_ = 0;
  int rowLimit_ = 0, columnLimit_ = 0;  // last row and column of the cache
  double cellWidth_ = 0, cellHeight_ = 0;
  double blockWidth_ = 0, blockHeight_ = 0;
  std::vector<RingSlot> viewRing_;
  std::unique_ptr<MapAreas> mapAreas_;
  int ringNext_ = 0;
  platform::File cacheFile_;
  GridCell scratchCell_{};
  std::unordered_map<uint64_t, NodeSamples> nodeSamples_;
};

}  // namespace t3d

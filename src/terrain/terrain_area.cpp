#include "terrain/terrain_area.h"
#include "base/math.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "base/progress.h"
#include "base/trace.h"
#include "adapters/dem_store.h"
#include "platform/environment.h"
#include "terrain/block_builder.h"
#include "terrain/map_areas.h"
#include "terrain/missing_cells.h"

namespace t3d {

uint8_t DefaultColourIndex(float cellHeight, const ColouringParams& params) {
  const float span = params.zMaxScaled - params.zMinScaled;
  if (!(span > 0)) return 0;
  const float scaled = (cellHeight * params.sceneRadius - params.zMinScaled) * 255.0f / span;
  if (!(scaled > 0)) return 0;  // also NaN
  return scaled >= 255.0f ? 255 : uint8_t(scaled);
}

namespace {

// Codes by comparison instead of trigonometry. A code c (0..255) of an angle a on a scale of
// `range` degrees is trunc(a / range * 255 + 0.5): it reaches k exactly when a reaches the
// boundary (k - 0.5) * range / 255. Each boundary is turned into the value of a cheap function
// that rises with the angle, and a code is the number of boundaries at or below the normal's
// value. A coarse table of buckets gives the count at the bucket's start; at most a few
// comparisons finish it.
class CodeTable {
 public:
  // boundaries[k] for k = 1..255, rising; values lie in [low, high).
  CodeTable(const double boundaries[256], double low, double high) : low_(low) {
    scale_ = kBuckets / (high - low);
    for (int k = 1; k < 256; ++k) boundaries_[k] = boundaries[k];
    boundaries_[0] = -1e300;
    boundaries_[256] = 1e300;
    int code = 0;
    for (int b = 0; b <= kBuckets; ++b) {
      const double start = low + b / scale_;
      while (code < 255 && start >= boundaries_[code + 1]) ++code;
      // Rounding of start can place it just past a boundary the value may still be below.
      start_[b] = uint8_t(code > 0 ? code - 1 : 0);
    }
  }
  uint8_t Code(double value) const {
    int bucket = int((value - low_) * scale_);
    bucket = bucket < 0 ? 0 : (bucket > kBuckets ? kBuckets : bucket);
    int code = start_[bucket];
    while (code < 255 && value >= boundaries_[code + 1]) ++code;
    return uint8_t(code);
  }

 private:
  // Fine buckets hold few boundaries each, so that the comparisons after the lookup are few:
  // ground that is nearly flat has its normals' tilts where the boundaries crowd (the measure
  // flattens towards the vertical). 65,536 against 4,096 made the codes of a grid's normals
  // about 30 % faster, for two 64 KB tables.
  static constexpr int kBuckets = 65536;
  double low_, scale_;
  double boundaries_[257];
  uint8_t start_[kBuckets + 1];
};

// Rises with the compass-free angle atan2(y, x) taken in [0, 360): 0 to 4 round the circle.
inline double DiamondAngle(double x, double y) {
  if (y >= 0) return x >= 0 ? y / (x + y) : 1 - x / (-x + y);
  return x < 0 ? 2 - y / (-x - y) : 3 + x / (x - y);
}

// Rises with atan(z / h) for h > 0, from h squared: -1 to 1 (the signed squared sine).
inline double TiltMeasure(double z, double hh) {
  const double zz = z * z;
  return (z < 0 ? -zz : zz) / (zz + hh);
}

const CodeTable& AzimuthCodes() {
  static const CodeTable table = [] {
    double boundaries[256] = {};
    for (int k = 1; k < 256; ++k) {
      const double angle = (k - 0.5) * 360.0 / 255.0 / kDegrees;
      boundaries[k] = DiamondAngle(std::cos(angle), std::sin(angle));
    }
    return CodeTable(boundaries, 0.0, 4.0);
  }();
  return table;
}

const CodeTable& ElevationCodes() {
  static const CodeTable table = [] {
    double boundaries[256] = {};
    for (int k = 1; k < 256; ++k) {
      const double angle = ((k - 0.5) * 180.0 / 255.0 - 90.0) / kDegrees;
      boundaries[k] = TiltMeasure(std::sin(angle), std::cos(angle) * std::cos(angle));
    }
    return CodeTable(boundaries, -1.0, 1.0);
  }();
  return table;
}

}  // namespace

// azimuth = atan2(y, x) in degrees (0 to 360), code = trunc(azimuth / 360 * 255 + 0.5);
// elevation = atan(z / h) + 90 degrees with h = |(x, y)|, code = trunc(elevation / 180 * 255 + 0.5);
// a vertical normal (h below 1e-6 of the normal's length) has codes 0 and 255. Computed by
// comparison (see CodeTable); the normal need not be of unit length.
void EncodeNormal(double x, double y, double z, uint8_t& azimuthCode, uint8_t& elevationCode) {
  const double hh = x * x + y * y;
  if (hh < 1e-12 * (hh + z * z)) {
    azimuthCode = 0;
    elevationCode = 255;
    return;
  }
  static const CodeTable& azimuths = AzimuthCodes();
  static const CodeTable& elevations = ElevationCodes();
  azimuthCode = azimuths.Code(DiamondAngle(x, y));
  elevationCode = elevations.Code(TiltMeasure(z, hh));
}

void DecodeNormal(uint8_t azimuthCode, uint8_t elevationCode, float& x, float& y, float& z) {
  // Whole degrees, integer division, as the lookup table of the preparations holds them.
  const int elevation = (elevationCode * 180) / 255 - 90;
  const int azimuth = (azimuthCode * 360) / 255;
  const double e = elevation / kDegrees, a = azimuth / kDegrees;
  z = float(std::sin(e));
  const double h = std::fabs(std::cos(e));
  x = float(std::cos(a) * h);
  y = float(std::sin(a) * h);
}

int TruncateNear(double value) {
  double integer = 0;
  const double fraction = std::modf(value, &integer);
  if (std::fabs(1.0 - fraction) < 1e-6) return int(integer) + 1;
  return int(value);
}

namespace {
std::atomic<uint64_t> g_lastAreaSerial{0};
}  // namespace

TerrainArea::TerrainArea(int ringSize)
    : viewRing_(size_t(std::max(1, ringSize))),
      mapAreas_(std::make_unique<MapAreas>()) {
  serial_ = ++g_lastAreaSerial;
}

TerrainArea::~TerrainArea() { ReleaseCache(); }

void TerrainArea::ReleaseCache() {
  for (RingSlot& slot : viewRing_) {
    slot.view.Reset();
    slot.block = 0xFFFFFFFFu;
  }
  blockTable_.clear();
  nodeSamples_.clear();
  cacheFile_.Close();
  ready_ = 0;
}

bool TerrainArea::BuildTerrainGrid(int demHandle, const float& zScale, const float& sceneRadius,
                                   bool missingAsHoles) {
  ReleaseCache();
  missingCells_ = 0;
  builtWithHoles_ = missingAsHoles;
  missingMap_.Reset(0, 0);

  // The cache file, in the working directory, without a name: it goes with its descriptor and
  // mappings, so not even a killed process leaves it behind.
  const char* environment = BaseGetEnvironment();
  if (environment == nullptr) return false;
  platform::File file =
      platform::File::CreateTemporary(environment + BASE_ENV_WORK_DIRECTORY, "fly");
  if (!file.valid()) return false;

  // Grid geometry.
  if (DemStoreGetGridInfo(demHandle, &gridInfo_) != DEM_OK) return false;
  rows_ = gridInfo_.rows;
  cols_ = gridInfo_.columns;
  if (rows_ < 2 || cols_ < 2) return false;  // no cell size without two nodes each way
  cellWidth_ = (gridInfo_.xMax - gridInfo_.xMin) / (cols_ - 1);
  cellHeight_ = (gridInfo_.yMax - gridInfo_.yMin) / (rows_ - 1);
  blockWidth_ = kBlockSide * cellWidth_;
  blockHeight_ = kBlockSide * cellHeight_;
  blockRows_ = uint32_t(rows_ / kBlockSide + 1);
  blockCols_ = uint32_t(cols_ / kBlockSide + 1);
  blockCount_ = blockRows_ * blockCols_;
  if (missingAsHoles) missingMap_.Reset(rows_, cols_);

  // Height scaling.
  const float s = zScale;
  const float radius = sceneRadius;
  const double zMin = gridInfo_.zMin;
  ColouringParams params{float(zMin) / s, float(gridInfo_.zMax) / s, s, radius};

  BlockCellParams cellParams;
  cellParams.zMin = zMin;
  cellParams.zScale = s;
  cellParams.sceneRadius = radius;
  cellParams.cellWidth = cellWidth_;
  cellParams.cellHeight = cellHeight_;
  cellParams.colouring = params;
  cellParams.missingAsHoles = missingAsHoles;

  // Blocks in flight: this thread reads block after block into a ring of slots and writes them
  // to the cache in order, while the workers compute the cells of the slots read ahead. The
  // ring's size bounds the memory (about 1 MB a slot) whatever the grid's size. The last row and
  // column of cells inside the grid are kept for the blocks that lie wholly beyond the grid.
  const int workers = buildWorkers_ > 0 ? buildWorkers_ : DefaultBuildWorkers();
  std::vector<BlockSlot> slots(size_t(std::max(2, 3 * workers)));
  for (BlockSlot& slot : slots)
    if (!slot.Allocate(missingAsHoles)) return false;
  std::vector<GridCell> lastRowCells(size_t(blockCols_) * kBlockSide);
  std::vector<GridCell> lastColumnCells(kBlockSide);

  // Blocks and progress.
  if (DemStoreBeginBlocks(demHandle) != DEM_OK) return false;
  struct EndBlocks {
    int handle;
    ~EndBlocks() { DemStoreEndBlocks(handle); }
  } endBlocks{demHandle};
  ProgressScope progress("高程/法向量计算处理进度:", nullptr, int(blockRows_));
  if (!progress.shown()) return false;

  // Declared after the slots: the workers are stopped and joined before the slots go.
  BlockWorkers pool(workers, [&](size_t k) { ComputeBlockCells(slots[k], cellParams); }, slots.size());

  // Reads block `number` into its slot with the edge values its border cells take from beyond
  // the block, asked of the store in the order the cells need them.
  auto readBlock = [&](BlockSlot& slot, uint32_t number) {
    slot.number = number;
    slot.blockRow = int(number / blockCols_);
    slot.blockColumn = int(number % blockCols_);
    slot.rowsInside = std::clamp(rows_ - slot.blockRow * kBlockSide, 0, kBlockSide);
    slot.colsInside = std::clamp(cols_ - slot.blockColumn * kBlockSide, 0, kBlockSide);
    double* e = slot.heights.get();
    if (DemStoreReadBlock(demHandle, number, e) != DEM_OK) {
      // The block still takes its place in the file, so that later blocks keep their offsets:
      // a flat block at the lowest height.
      Trace("DEM block read failed; block filled with the lowest height");
      std::fill(e, e + kBlockCells, zMin);
    }
    if (slot.rowsInside == 0) return;
    for (int j = 0; j < slot.colsInside; ++j) {
      if (j == kBlockSide - 1) slot.right[0] = DemStoreGetEdgeValue(demHandle, number, 0, int16_t(j), 0);
      slot.before[j] = DemStoreGetEdgeValue(demHandle, number, 0, int16_t(j), 1);
    }
    if (slot.colsInside == kBlockSide)
      for (int i = 1; i < slot.rowsInside; ++i)
        slot.right[i] = DemStoreGetEdgeValue(demHandle, number, int16_t(i), kBlockSide - 1, 0);
  };

  // Writes a computed block to the cache: its missing cells counted, the edge fill of blocks
  // beyond the grid, and the last row and column kept. False when the write fails.
  auto writeBlock = [&](BlockSlot& slot) {
    GridCell* c = slot.cells.get();
    const int p = slot.blockRow, q = slot.blockColumn;
    const int rowsInside = slot.rowsInside, colsInside = slot.colsInside;
    if (missingAsHoles) {
      for (int i = 0; i < rowsInside; ++i)
        for (int j = 0; j < colsInside; ++j)
          if (slot.missing[size_t(i * kBlockSide + j)] != 0) {
            ++missingCells_;
            missingMap_.Add(p * kBlockSide + i, q * kBlockSide + j);
          }
    }
    if (rowsInside == 0 || colsInside == 0)
      FillBlockEdges(c, rowsInside, colsInside, lastColumnCells.data(),
                     &lastRowCells[size_t(q) * kBlockSide]);
    if (colsInside > 0 && q * kBlockSide + colsInside == cols_) {
      for (int i = 0; i < kBlockSide; ++i) lastColumnCells[size_t(i)] = c[i * kBlockSide + colsInside - 1];
    }
    if (rowsInside > 0 && p * kBlockSide + rowsInside == rows_) {
      std::memcpy(static_cast<void*>(&lastRowCells[size_t(q) * kBlockSide]),
                  c + (rowsInside - 1) * kBlockSide, kBlockSide * sizeof(GridCell));
    }
    return file.Append(c, kBlockBytes);
  };

  // Block by block; the progress display steps (and may be stopped) at each block row.
  bool stopped = false, writeFailed = false;
  const size_t ring = slots.size();
  for (uint32_t number = 0; number < blockCount_ && !writeFailed; ++number) {
    if (number % blockCols_ == 0 && progress.Step()) {
      stopped = true;
      break;
    }
    const size_t k = number % ring;
    if (number >= ring) {
      pool.Wait(k);
      if (!writeBlock(slots[k])) {
        writeFailed = true;
        break;
      }
    }
    readBlock(slots[k], number);
    pool.Submit(k);
  }
  for (uint32_t number = blockCount_ > ring ? uint32_t(blockCount_ - ring) : 0;
       number < blockCount_ && !stopped && !writeFailed; ++number) {
    const size_t k = number % ring;
    pool.Wait(k);
    if (!writeBlock(slots[k])) writeFailed = true;
  }

  // Done with the store and the progress display.
  if (stopped || writeFailed) return false;
  missingMap_.Finish();
  ready_ = 1;

  // The cache, read and written through mapped views of its blocks.
  if (file.Size() != uint64_t(blockCount_) * blockBytes_) {
    ready_ = 0;
    return false;
  }
  cacheFile_ = std::move(file);
  rowLimit_ = int(blockRows_) * kBlockSide - 1;
  columnLimit_ = int(blockCols_) * kBlockSide - 1;
  blockTable_.resize(blockCount_);
  for (uint32_t n = 0; n < blockCount_; ++n) blockTable_[n] = BlockEntry{uint64_t(n) * blockBytes_, nullptr};
  return true;
}

bool TerrainArea::MapBlock(uint32_t blockNumber) {
  if (blockNumber >= blockTable_.size()) return false;
  RingSlot& slot = viewRing_[ringNext_];
  if (slot.view.valid()) {
    if (slot.block < blockTable_.size()) blockTable_[slot.block].view = nullptr;
    slot.view.Reset();
  } else if (slot.block < blockTable_.size()) {
    blockTable_[slot.block].view = nullptr;
  }
  slot.block = blockNumber;
  slot.view = platform::MappedView::Map(cacheFile_, blockTable_[blockNumber].offset, blockBytes_);
  if (!slot.view.valid()) {
    Trace("映射失败!");
    return false;
  }
  blockTable_[blockNumber].view = static_cast<GridCell*>(slot.view.data());
  ringNext_ = (ringNext_ + 1) % int(viewRing_.size());
  return true;
}

GridCell* TerrainArea::BlockCells(uint32_t blockNumber) {
  if (blockNumber >= blockTable_.size()) return nullptr;
  if (blockTable_[blockNumber].view == nullptr && !MapBlock(blockNumber)) return nullptr;
  return blockTable_[blockNumber].view;
}

GridCell& TerrainArea::MapAndGetCell(int row, int column) {
  if (blockTable_.empty()) {
    scratchCell_ = GridCell{};
    return scratchCell_;
  }
  row = std::clamp(row, 0, int(blockRows_) * kBlockSide - 1);
  column = std::clamp(column, 0, int(blockCols_) * kBlockSide - 1);
  const uint32_t number = uint32_t(row / kBlockSide) * blockCols_ + uint32_t(column / kBlockSide);
  GridCell* cells = BlockCells(number);
  if (cells == nullptr) {
    scratchCell_ = GridCell{};
    return scratchCell_;
  }
  return cells[(row % kBlockSide) * kBlockSide + (column % kBlockSide)];
}

void TerrainArea::CopyRow(int row, int firstColumn, int count, GridCell* out) {
  if (count <= 0) return;
  if (blockTable_.empty()) {
    std::fill(out, out + count, GridCell{});
    return;
  }
  const int lastColumn = int(blockCols_) * kBlockSide - 1;
  row = std::clamp(row, 0, int(blockRows_) * kBlockSide - 1);
  const uint32_t firstBlock = uint32_t(row / kBlockSide) * blockCols_;
  const int rowOffset = (row % kBlockSide) * kBlockSide;
  int i = 0;
  while (i < count) {
    const int column = std::clamp(firstColumn + i, 0, lastColumn);
    // Positions before the first column or past the last repeat the edge cell.
    int n = 1;
    if (firstColumn + i == column) n = std::min(count - i, kBlockSide - column % kBlockSide);
    const GridCell* cells = BlockCells(firstBlock + uint32_t(column / kBlockSide));
    if (cells == nullptr) {
      std::fill(out + i, out + i + n, GridCell{});
    } else {
      std::memcpy(static_cast<void*>(out + i), cells + rowOffset + column % kBlockSide,
                  size_t(n) * sizeof(GridCell));
    }
    i += n;
  }
}

bool TerrainArea::ExtractSamples(const int16_t range[5], float* destination, float factor,
                                double& minimum, double& maximum) {
  if (range == nullptr || destination == nullptr) return false;
  const int firstRow = range[0], lastRow = range[1], firstColumn = range[2],
            lastColumn = range[3], step = range[4];
  if (step <= 0 || lastRow < firstRow || lastColumn < firstColumn) return false;
  // The node selection calls this for thousands of nodes a frame: the block of the previous
  // sample is kept, so a sample usually costs an index computation, not a block lookup.
  const int rowLimit = int(blockRows_) * kBlockSide - 1, columnLimit = int(blockCols_) * kBlockSide - 1;
  uint32_t lastBlock = 0xFFFFFFFFu;
  const GridCell* cells = nullptr;
  int rowIndex = 0;
  for (int row = firstRow; row <= lastRow && rowIndex < 9; row += step, ++rowIndex) {
    const int r = std::clamp(row, 0, rowLimit);
    int columnIndex = 0;
    for (int column = firstColumn; column <= lastColumn && columnIndex < 9;
         column += step, ++columnIndex) {
      float value;
      if (blockTable_.empty()) {
        value = 0;
      } else {
        const int c = std::clamp(column, 0, columnLimit);
        const uint32_t number = uint32_t(r / kBlockSide) * blockCols_ + uint32_t(c / kBlockSide);
        if (number != lastBlock) {
          // A block mapped for this node stays mapped while the node's few blocks are read.
          cells = BlockCells(number);
          lastBlock = number;
        }
        value = cells != nullptr ? cells[(r % kBlockSide) * kBlockSide + (c % kBlockSide)].height * factor : 0;
      }
      destination[rowIndex * 9 + columnIndex] = value;
      minimum = std::min(minimum, double(value));
      maximum = std::max(maximum, double(value));
    }
  }
  return true;
}

const float* TerrainArea::NodeHeights(int firstRow, int firstColumn, int step) {
  if (blockTable_.empty()) return nullptr;
  const uint64_t key = (uint64_t(uint16_t(firstRow)) << 32) | (uint64_t(uint16_t(firstColumn)) << 16) |
                       uint64_t(uint16_t(step));
  const auto found = nodeSamples_.find(key);
  if (found != nodeSamples_.end()) return found->second.heights;
  if (nodeSamples_.size() >= kNodeSampleLimit) nodeSamples_.clear();
  NodeSamples& samples = nodeSamples_[key];
  const int16_t range[5] = {int16_t(firstRow), int16_t(firstRow + 8 * step), int16_t(firstColumn),
                            int16_t(firstColumn + 8 * step), int16_t(step)};
  double low = 0, high = 0;
  if (ExtractSamples(range, samples.heights, 1.0f, low, high) == 0) {
    nodeSamples_.erase(key);
    return nullptr;
  }
  return samples.heights;
}

void TerrainArea::PrefetchNode(int firstRow, int firstColumn, int step) const {
  if (blockTable_.empty()) return;
  for (int i = 0; i < 9; ++i) {
    const int row = std::clamp(firstRow + i * step, 0, rowLimit_);
    for (int j = 0; j < 9; ++j) {
      const int column = std::clamp(firstColumn + j * step, 0, columnLimit_);
      const GridCell* cells =
          blockTable_[uint32_t(row / kBlockSide) * blockCols_ + uint32_t(column / kBlockSide)].view;
      if (cells != nullptr) Prefetch(cells + (row % kBlockSide) * kBlockSide + column % kBlockSide);
    }
  }
}

double TerrainArea::HeightAtPoint(const GridExtent& grid, double x, double y) {
  const double dx = grid.cellSizeX, dy = grid.cellSizeY;
  if (grid.columnCount < 2 || grid.rowCount < 2 || dx == 0 || dy == 0) return 0;
  // Cell indexes far outside the grid (or not a number) are limited before they become integers:
  // the conversion of a value beyond the int range is undefined.
  auto index = [](double v, int n) { return v >= 0 ? (v < n ? TruncateNear(v) : n) : -1; };
  int c = index((x - grid.xMin) / dx, grid.columnCount);
  int r = index((y - grid.yMin) / dy, grid.rowCount);
  c = c < 0 ? 0 : (c >= grid.columnCount - 1 ? grid.columnCount - 2 : c);
  r = r < 0 ? 0 : (r >= grid.rowCount - 1 ? grid.rowCount - 2 : r);
  const double fx = x - (c * dx + grid.xMin);
  const double fy = y - (r * dy + grid.yMin);
  const GridCell corners[4] = {GetCell(r, c), GetCell(r, c + 1), GetCell(r + 1, c + 1), GetCell(r + 1, c)};
  const double weights[4] = {(dx - fx) * (dy - fy), (dy - fy) * fx, fx * fy, (dx - fx) * fy};
  // Missing corners (a grid built with holes) take no part: the height comes from the others,
  // weighted as before. With all four missing there is no ground, and the lowest height stored
  // for them stands in.
  double all = 0, sum = 0, weight = 0;
  bool anyMissing = false;
  for (int k = 0; k < 4; ++k) {
    all += weights[k] * corners[k].height;
    if (IsMissing(corners[k])) {
      anyMissing = true;
      continue;
    }
    sum += weights[k] * corners[k].height;
    weight += weights[k];
  }
  if (anyMissing && std::fabs(weight) > 1e-9 * std::fabs(dx * dy)) return sum / weight;
  return all / (dx * dy);
}

bool TerrainArea::GroundAtPoint(const GridExtent& grid, double x, double y) const {
  if (!(x >= grid.xMin && x <= grid.xMax && y >= grid.yMin && y <= grid.yMax)) return false;
  if (!builtWithHoles_ || missingMap_.empty()) return true;
  const double dx = grid.cellSizeX, dy = grid.cellSizeY;
  if (grid.columnCount < 2 || grid.rowCount < 2 || dx == 0 || dy == 0) return true;
  const int c = std::min(int((x - grid.xMin) / dx), grid.columnCount - 2);
  const int r = std::min(int((y - grid.yMin) / dy), grid.rowCount - 2);
  return !missingMap_.AnyMissing(r, r + 1, c, c + 1);
}

}  // namespace t3d

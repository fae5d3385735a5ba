// The DEM store on GDAL: any raster GDAL opens serves as a grid of heights (band 1).
//
// Geometry. A raster's first line is its top (for the usual north-up geotransform) and its
// pixels are areas. The grid's row 0 lies at the smallest y, so the store turns the raster
// upside down, and the grid's nodes are the pixel centres: x min and x max are the centres of
// the first and last column, y min and y max those of the bottom and top line.
//
// Reading. Blocks are served from a strip of one block row of the grid (with the row before it,
// for the edge values), read with one RasterIO call per block row, so that a grid is read once
// from first line to last whatever its file layout. A height is the band's raw value times its
// scale plus its offset (GDAL's unit scaling, 1 and 0 when the band has none). Missing heights
// (the nodata value, NaN, heights beyond DEM_MISSING_LIMIT, and cells a mask marks: an alpha
// band, a mask file or an internal mask GDAL reads as the band's mask) are replaced by
// TN_MISSING_HEIGHT as the strip is read.
#include <gdal.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "adapters/dem_store.h"
#include "adapters/gdal/gdal_support.h"

namespace {

using t3d::gdal_support::QuietErrors;

constexpr int kBlock = DEM_BLOCK_SIZE;

std::string& LastError();

class Grid {
 public:
  Grid(GDALDatasetH dataset, GDALRasterBandH band, int rows, int columns, const double gt[6])
      : dataset_(dataset), band_(band), rows_(rows), columns_(columns) {
    // Node (row, column) at the centre of its pixel; row 0 at the smallest y.
    flip_ = gt[5] < 0;
    header_.columns = columns;
    header_.rows = rows;
    header_.xMin = gt[0] + 0.5 * gt[1];
    header_.xMax = header_.xMin + (columns - 1) * gt[1];
    const double firstLineY = gt[3] + 0.5 * gt[5];
    const double lastLineY = firstLineY + (rows - 1) * gt[5];
    header_.yMin = std::min(firstLineY, lastLineY);
    header_.yMax = std::max(firstLineY, lastLineY);
    if (gt[1] < 0) std::swap(header_.xMin, header_.xMax);
    flipColumns_ = gt[1] < 0;
    int hasNoData = 0;
    noData_ = GDALGetRasterNoDataValue(band_, &hasNoData);
    hasNoData_ = hasNoData != 0;
    scale_ = GDALGetRasterScale(band_, nullptr);
    offset_ = GDALGetRasterOffset(band_, nullptr);
    // A mask of its own (not one GDAL derives from the nodata value, which Clean reads anyway).
    if ((GDALGetMaskFlags(band_) & (GMF_ALL_VALID | GMF_NODATA)) == 0) mask_ = GDALGetMaskBand(band_);
  }
  ~Grid() { GDALClose(dataset_); }
  Grid(const Grid&) = delete;
  Grid& operator=(const Grid&) = delete;

  bool Header(TnGridHeader& out) {
    if (!rangeKnown_ && !ComputeRange()) {
      LastError() = rangeError_;
      return false;
    }
    out = header_;
    return true;
  }
  // The node counts, known from the file's header without reading a height.
  void Size(int32_t& columns, int32_t& rows) const {
    columns = columns_;
    rows = rows_;
  }
  bool BeginBlocks() {
    begun_ = true;
    stripBlockRow_ = -1;
    return true;
  }
  void EndBlocks() {
    begun_ = false;
    stripBlockRow_ = -1;
    std::vector<double>().swap(strip_);
  }
  uint32_t BlockColumns() const { return uint32_t(columns_ / kBlock + 1); }
  uint32_t BlockRows() const { return uint32_t(rows_ / kBlock + 1); }

  bool ReadBlock(uint32_t number, double* buffer) {
    if (!begun_ || buffer == nullptr) return false;
    const uint32_t blockRow = number / BlockColumns(), blockColumn = number % BlockColumns();
    if (blockRow >= BlockRows() || !LoadStrip(int(blockRow))) return false;
    const int firstColumn = int(blockColumn) * kBlock;
    for (int i = 0; i < kBlock; ++i) {
      const int row = std::min(int(blockRow) * kBlock + i, rows_ - 1);
      const double* source = &strip_[size_t(row - stripFirstRow_) * size_t(columns_)];
      double* target = buffer + size_t(i) * kBlock;
      // Columns inside the grid, then the last column repeated.
      const int inside = std::clamp(columns_ - firstColumn, 0, kBlock);
      std::copy(source + firstColumn, source + firstColumn + inside, target);
      std::fill(target + inside, target + kBlock, source[columns_ - 1]);
    }
    return true;
  }

  double Value(int row, int column) {
    row = std::clamp(row, 0, rows_ - 1);
    column = std::clamp(column, 0, columns_ - 1);
    if (stripBlockRow_ >= 0 && row >= stripFirstRow_ && row < stripFirstRow_ + stripRows_)
      return strip_[size_t(row - stripFirstRow_) * size_t(columns_) + size_t(column)];
    double value = 0;
    const int line = flip_ ? rows_ - 1 - row : row;
    const int pixel = flipColumns_ ? columns_ - 1 - column : column;
    if (GDALRasterIO(band_, GF_Read, pixel, line, 1, 1, &value, 1, 1, GDT_Float64, 0, 0) != CE_None ||
        !Unmask(pixel, line, 1, 1, &value))
      return TN_MISSING_HEIGHT;
    return Clean(value);
  }

  double EdgeValue(uint32_t number, int row, int column, int direction) {
    const uint32_t blockRow = number / BlockColumns(), blockColumn = number % BlockColumns();
    const int gridRow = int(blockRow) * kBlock + row, gridColumn = int(blockColumn) * kBlock + column;
    return direction == 0 ? Value(gridRow, gridColumn + 1) : Value(gridRow - 1, gridColumn);
  }

 private:
  // A raw band value as a height: TN_MISSING_HEIGHT for the nodata value, NaN and heights whose
  // magnitude exceeds DEM_MISSING_LIMIT (fill values such as -3.4e38 without a nodata tag).
  double Clean(double raw) const {
    if (std::isnan(raw) || (hasNoData_ && raw == noData_)) return TN_MISSING_HEIGHT;
    const double height = raw * scale_ + offset_;
    return std::fabs(height) <= DEM_MISSING_LIMIT ? height : TN_MISSING_HEIGHT;
  }

  // Sets the values of the window (file pixels and lines, values in file order) that the mask
  // marks as missing to NaN, which Clean makes missing. False when the mask cannot be read.
  bool Unmask(int pixel, int line, int columns, int lines, double* values) {
    if (mask_ == nullptr) return true;
    maskLine_.resize(size_t(columns) * size_t(lines));
    if (GDALRasterIO(mask_, GF_Read, pixel, line, columns, lines, maskLine_.data(), columns, lines,
                     GDT_Byte, 0, 0) != CE_None)
      return false;
    for (size_t i = 0; i < maskLine_.size(); ++i)
      if (maskLine_[i] == 0) values[i] = std::numeric_limits<double>::quiet_NaN();
    return true;
  }

  // The header's z range: that of the heights the store keeps. GDAL's own pass leaves out only
  // the nodata value and NaN; when its range, as heights, holds nothing beyond the missing limit
  // it is the answer, otherwise (and when GDAL finds no value at all, or the band has a mask of
  // its own) the store reads the grid itself. A raster without a single height is refused: it is
  // no terrain.
  bool ComputeRange() {
    double range[2] = {0, 0};
    CPLErr error = CE_Failure;
    if (mask_ == nullptr) {
      QuietErrors quiet;
      error = GDALComputeRasterMinMax(band_, FALSE, range);
    }
    if (error == CE_None) {
      double low = Clean(range[0]), high = Clean(range[1]);
      if (std::fabs(low) <= DEM_MISSING_LIMIT && std::fabs(high) <= DEM_MISSING_LIMIT) {
        if (low > high) std::swap(low, high);  // a negative scale turns the range round
        return KeepRange(low, high);
      }
    }
    // GDAL gives no range both when no height is valid and when the raster cannot be read (a
    // file cut short). Reading it tells them apart: an unreadable raster is refused, since its
    // grid would be built flat from fill values and reported as prepared.
    double low = 0, high = 0;
    size_t valid = 0;
    if (!ScanHeights(low, high, valid)) {
      rangeError_ = "the raster's heights cannot be read (damaged or incomplete file)";
      return false;
    }
    if (valid == 0) {
      rangeError_ = "the raster holds no valid height (every cell is nodata, NaN or beyond 1e18)";
      return false;
    }
    return KeepRange(low, high);
  }

  bool KeepRange(double low, double high) {
    header_.zMin = low;
    header_.zMax = high;
    rangeKnown_ = true;
    return true;
  }

  // The range and the number of the heights the store keeps, from a pass over every line;
  // false when a line cannot be read.
  bool ScanHeights(double& low, double& high, size_t& valid) {
    const int linesPerRead = std::max(1, std::min(rows_, (1 << 20) / columns_));
    std::vector<double> lines(size_t(linesPerRead) * size_t(columns_), 0.0);
    QuietErrors quiet;
    low = std::numeric_limits<double>::infinity();
    high = -low;
    valid = 0;
    for (int y = 0; y < rows_; y += linesPerRead) {
      const int count = std::min(linesPerRead, rows_ - y);
      if (GDALRasterIO(band_, GF_Read, 0, y, columns_, count, lines.data(), columns_, count,
                       GDT_Float64, 0, 0) != CE_None ||
          !Unmask(0, y, columns_, count, lines.data()))
        return false;
      for (size_t i = 0, n = size_t(count) * size_t(columns_); i < n; ++i) {
        const double height = Clean(lines[i]);
        if (height == TN_MISSING_HEIGHT) continue;
        low = std::min(low, height);
        high = std::max(high, height);
        ++valid;
      }
    }
    return true;
  }

  // Reads grid rows 256P - 1 to 256P + 255 (within the grid) into the strip, rows in grid order.
  bool LoadStrip(int blockRow) {
    if (blockRow == stripBlockRow_) return true;
    const int first = std::clamp(blockRow * kBlock - 1, 0, rows_ - 1);
    const int last = std::clamp(blockRow * kBlock + kBlock - 1, 0, rows_ - 1);
    const int count = last - first + 1;
    strip_.resize(size_t(count) * size_t(columns_));
    const int firstLine = flip_ ? rows_ - 1 - last : first;
    stripBlockRow_ = -1;
    if (GDALRasterIO(band_, GF_Read, 0, firstLine, columns_, count, strip_.data(), columns_, count,
                     GDT_Float64, 0, 0) != CE_None ||
        !Unmask(0, firstLine, columns_, count, strip_.data()))
      return false;
    if (flip_) {
      for (int a = 0, b = count - 1; a < b; ++a, --b)
        std::swap_ranges(strip_.begin() + ptrdiff_t(a) * columns_,
                         strip_.begin() + ptrdiff_t(a + 1) * columns_,
                         strip_.begin() + ptrdiff_t(b) * columns_);
    }
    if (flipColumns_) {
      for (int r = 0; r < count; ++r)
        std::reverse(strip_.begin() + ptrdiff_t(r) * columns_,
                     strip_.begin() + ptrdiff_t(r + 1) * columns_);
    }
    for (double& value : strip_) value = Clean(value);
    stripBlockRow_ = blockRow;
    stripFirstRow_ = first;
    stripRows_ = count;
    return true;
  }

  GDALDatasetH dataset_;
  GDALRasterBandH band_;
  int rows_, columns_;
  bool flip_ = false, flipColumns_ = false;
  bool hasNoData_ = false;
  double noData_ = 0;
  double scale_ = 1, offset_ = 0;
  GDALRasterBandH mask_ = nullptr;  // the band's own mask, if any (owned by the dataset)
  std::vector<uint8_t> maskLine_;
  bool rangeKnown_ = false;
  std::string rangeError_;
  TnGridHeader header_{};
  bool begun_ = false;
  std::vector<double> strip_;
  int stripBlockRow_ = -1, stripFirstRow_ = 0, stripRows_ = 0;
};

std::map<int, std::unique_ptr<Grid>>& Grids() {
  static std::map<int, std::unique_ptr<Grid>> grids;
  return grids;
}

std::string& LastError() {
  static std::string error;
  return error;
}

Grid* Find(int handle) {
  auto& grids = Grids();
  const auto found = grids.find(handle);
  return found == grids.end() ? nullptr : found->second.get();
}

// Keeps the reason and returns 0 (no handle).
int Refuse(const std::string& reason) {
  LastError() = reason;
  return 0;
}

}  // namespace

extern "C" {

int DemStoreOpenFile(const char* path) {
  t3d::gdal_support::InitialiseGdal();
  if (path == nullptr || path[0] == '\0') return Refuse("no file name given");
  GDALDatasetH dataset = nullptr;
  std::string gdalMessage;  // ": " and GDAL's message, or ""
  {
    QuietErrors quiet;
    dataset = GDALOpen(path, GA_ReadOnly);
    gdalMessage = quiet.Message();
  }
  if (dataset == nullptr)
    return Refuse(std::string("cannot open '") + path + "' as a raster" + gdalMessage);
  auto fail = [&](const std::string& reason) {
    GDALClose(dataset);
    return Refuse(std::string("'") + path + "': " + reason);
  };
  if (GDALGetRasterCount(dataset) < 1) return fail("the file has no raster band");
  const int columns = GDALGetRasterXSize(dataset), rows = GDALGetRasterYSize(dataset);
  if (columns < 2 || rows < 2)
    return fail("a grid needs at least 2 rows and 2 columns (this one has " +
                std::to_string(rows) + " x " + std::to_string(columns) + ")");
  GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
  if (GDALDataTypeIsComplex(GDALGetRasterDataType(band)))
    return fail("complex-valued rasters are not height grids");
  // No georeferencing: pixel units, first line on top.
  double gt[6] = {0, 1, 0, 0, 0, 1};
  t3d::gdal_support::ReadGeoTransform(dataset, gt);
  if (gt[2] != 0 || gt[4] != 0) return fail("rotated or sheared rasters are not supported");
  if (gt[1] == 0 || gt[5] == 0 || !std::isfinite(gt[1]) || !std::isfinite(gt[5]))
    return fail("the raster has a zero or invalid pixel size");
  if (!std::isfinite(GDALGetRasterScale(band, nullptr)) ||
      !std::isfinite(GDALGetRasterOffset(band, nullptr)))
    return fail("the band's scale or offset is not a finite number");

  auto& grids = Grids();
  static int next = 0;
  const int handle = t3d::gdal_support::NewHandle(grids, next);
  grids[handle] = std::make_unique<Grid>(dataset, band, rows, columns, gt);
  LastError().clear();
  return handle;
}

int DemStoreCloseHandle(int demHandle) {
  return Grids().erase(demHandle) > 0 ? DEM_OK : DEM_FAILED;
}

const char* DemStoreLastError(void) { return LastError().c_str(); }

int16_t DemStoreOpen(int demHandle) { return Find(demHandle) != nullptr ? DEM_OK : DEM_FAILED; }

int16_t DemStoreGetGridInfo(int demHandle, TnGridHeader* info) {
  Grid* grid = Find(demHandle);
  if (grid == nullptr || info == nullptr) return DEM_FAILED;
  return grid->Header(*info) ? DEM_OK : DEM_FAILED;
}

int16_t DemStoreGetGridSize(int demHandle, int32_t* columns, int32_t* rows) {
  Grid* grid = Find(demHandle);
  if (grid == nullptr || columns == nullptr || rows == nullptr) return DEM_FAILED;
  grid->Size(*columns, *rows);
  return DEM_OK;
}

int16_t DemStoreBeginBlocks(int demHandle) {
  Grid* grid = Find(demHandle);
  return grid != nullptr && grid->BeginBlocks() ? DEM_OK : DEM_FAILED;
}

int16_t DemStoreReadBlock(int demHandle, uint32_t blockNumber, double* buffer) {
  Grid* grid = Find(demHandle);
  return grid != nullptr && grid->ReadBlock(blockNumber, buffer) ? DEM_OK : DEM_FAILED;
}

double DemStoreGetEdgeValue(int demHandle, uint32_t blockNumber, int16_t row, int16_t column,
                            int direction) {
  Grid* grid = Find(demHandle);
  if (grid == nullptr) return TN_MISSING_HEIGHT;
  return grid->EdgeValue(blockNumber, row, column, direction);
}

void DemStoreEndBlocks(int demHandle) {
  if (Grid* grid = Find(demHandle)) grid->EndBlocks();
}

}  // extern "C"

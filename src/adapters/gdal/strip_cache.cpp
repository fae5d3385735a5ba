// The cell cache of an image of the raster image service on GDAL (strip_cache.h).
#include "adapters/gdal/strip_cache.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "adapters/gdal/gdal_support.h"
#include "adapters/gdal/raster_results.h"

namespace t3d::raster_gdal {

using gdal_support::NoSideFiles;
using gdal_support::QuietErrors;

namespace {

// The cell cache holds strips of about 1 MB, at least 2,048 lines of an image in all (the
// pictures written through it come in bands of up to 512 lines across the whole width), within
// 16 to 256 MB.
constexpr size_t kStripBytes = size_t(1) << 20;
constexpr size_t kCacheLines = 2048;
constexpr size_t kCacheMinBytes = size_t(16) << 20;
constexpr size_t kCacheMaxBytes = size_t(256) << 20;

}  // namespace

StripCache::StripCache(GDALDatasetH dataset, bool writable) : dataset_(dataset) {
  cells_ = GDALGetRasterXSize(dataset);
  lines_ = GDALGetRasterYSize(dataset);
  bands_ = GDALGetRasterCount(dataset);
  GDALDataType storeType = GDT_Float64;
  TypeOfCode(CodeOfType(GDALGetRasterDataType(GDALGetRasterBand(dataset, 1))), storeType);
  storeType_ = storeType;
  cellBytes_ = size_t(GDALGetDataTypeSizeBytes(storeType_));
  pixelBytes_ = size_t(bands_) * cellBytes_;
  lineBytes_ = size_t(cells_) * pixelBytes_;
  // Strips hold whole rows of the file's blocks, so that each is read or written in one piece,
  // unless a row of blocks is very large (tall tiles of a wide image).
  int blockCells = 0, blockLines = 0;
  GDALGetBlockSize(GDALGetRasterBand(dataset, 1), &blockCells, &blockLines);
  size_t fileBlockLines = size_t(std::clamp(blockLines, 1, lines_));
  if (fileBlockLines * lineBytes_ > 16 * kStripBytes) fileBlockLines = 1;
  const size_t blocks = std::max<size_t>(1, kStripBytes / (lineBytes_ * fileBlockLines));
  stripLines_ = int(std::min(blocks * fileBlockLines, size_t(lines_)));
  const size_t stripBytes = lineBytes_ * size_t(stripLines_);
  const size_t budget =
      std::clamp(std::max(kCacheLines * lineBytes_, kCacheMinBytes), kCacheMinBytes, kCacheMaxBytes);
  maxStrips_ = std::max<size_t>(2, budget / stripBytes);
  written_.assign(size_t((lines_ + stripLines_ - 1) / stripLines_), !writable);
}

bool StripCache::WriteBytes(int line, int firstCell, int cells, int bandCount,
                            const int32_t* bands, const uint8_t* source, ptrdiff_t pixelSpace) {
  unsigned char* row = CellAt(0, line, firstCell);
  if (row == nullptr) return false;
  current_->dirty = true;
  // Packed bytes of every band in order are the strip's own layout: one copy.
  if (storeType_ == GDT_Byte && bandCount == bands_ && pixelSpace == bandCount &&
      IsIdentityBandMap(bands, bandCount)) {
    std::memcpy(row, source, size_t(cells) * size_t(bandCount));
    return true;
  }
  for (int j = 0; j < cells; ++j) {
    const uint8_t* from = source + ptrdiff_t(j) * pixelSpace;
    unsigned char* to = row + size_t(j) * pixelBytes_;
    if (storeType_ == GDT_Byte) {
      for (int b = 0; b < bandCount; ++b) to[bands[b]] = from[b];
    } else {
      for (int b = 0; b < bandCount; ++b)
        StoreValue(storeType_, to + size_t(bands[b]) * cellBytes_, from[b]);
    }
  }
  return true;
}

bool StripCache::Flush() {
  bool ok = true;
  for (auto& strip : strips_)
    if (strip->dirty) ok = WriteStrip(*strip) && ok;
  return ok;
}

bool StripCache::Drop() {
  const bool ok = Flush();
  strips_.clear();
  current_ = nullptr;
  return ok;
}

StripCache::Strip* StripCache::LoadGuarded(int line) {
  try {
    return Load(line);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  LastError() = "out of memory";
  return current_ = nullptr;
}

StripCache::Strip* StripCache::Load(int line) {
  const int index = line / stripLines_;
  const int first = index * stripLines_;
  for (auto& strip : strips_)
    if (strip->first == first) {
      strip->lastUse = ++clock_;
      return current_ = strip.get();
    }
  Strip* strip = nullptr;
  if (strips_.size() < maxStrips_) {
    strips_.push_back(std::make_unique<Strip>());
    strip = strips_.back().get();
  } else {
    strip = std::min_element(strips_.begin(), strips_.end(), [](const auto& a, const auto& b) {
              return a->lastUse < b->lastUse;
            })->get();
    if (strip->dirty && !WriteStrip(*strip)) return current_ = nullptr;
  }
  current_ = nullptr;
  strip->first = first;
  strip->count = std::min(stripLines_, lines_ - first);
  strip->dirty = false;
  strip->lastUse = ++clock_;
  const size_t bytes = size_t(strip->count) * lineBytes_;
  if (!written_[size_t(index)]) {
    strip->data.assign(bytes, 0);  // not in the file yet: zeros
  } else {
    strip->data.resize(bytes);
    QuietErrors quiet;
    if (GDALDatasetRasterIO(dataset_, GF_Read, 0, first, cells_, strip->count, strip->data.data(),
                            cells_, strip->count, storeType_, bands_, nullptr, int(pixelBytes_),
                            GSpacing(lineBytes_), int(cellBytes_)) != CE_None) {
      LastError() = "cannot read the image" + quiet.Message();
      strip->first = -stripLines_ - 1;  // matches no line
      strip->count = 0;
      return nullptr;
    }
  }
  return current_ = strip;
}

bool StripCache::WriteStrip(Strip& strip) {
  NoSideFiles noSideFiles;
  QuietErrors quiet;
  const bool ok = GDALDatasetRasterIO(dataset_, GF_Write, 0, strip.first, cells_, strip.count,
                                      strip.data.data(), cells_, strip.count, storeType_, bands_,
                                      nullptr, int(pixelBytes_), GSpacing(lineBytes_),
                                      int(cellBytes_)) == CE_None;
  if (!ok) {
    writeFailed_ = true;
    LastError() = "cannot write the image" + quiet.Message();
    return false;
  }
  strip.dirty = false;
  written_[size_t(strip.first / stripLines_)] = true;
  return true;
}

}  // namespace t3d::raster_gdal

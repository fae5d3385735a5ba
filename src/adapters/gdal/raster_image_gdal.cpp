// The raster image service on GDAL.
//
// Images. Any raster GDAL opens is an image; GDAL recognises the format by the file's content,
// so a ".rim" file may be a GeoTIFF, an Erdas image or anything else GDAL reads. New images are
// GeoTIFF (pixel-interleaved, BigTIFF when needed) whatever their name. Nothing is written beside
// an image: the display bands, resolution and georeference of a new image live in its own tags.
//
// Cells. RasterGetCell and RasterSetCell are called once per value by their users (texture tiles
// read pixel by pixel, pictures written pixel by pixel; RasterWriteBlock takes rows of pixels at
// once and is several times faster), so cells go through a cache of strips:
// whole lines of all bands in the image's own cell type, read and written with one GDAL call per
// strip. A new image starts as zeros; a strip that was never written out is made in memory
// without reading the file.
//
// Resampling. A map rectangle rendered at a scale, a window drawn in map coordinates and one
// image resampled onto another's grid share one separable resampler: along each axis an output
// pixel takes the source pixels under it with weights, bilinear between source pixel centres
// (edge pixels repeat at the border) when the axis is enlarged or kept, the area average of the
// pixels it covers when the axis is reduced. Output pixels whose centres fall outside the source
// take no value. Source lines are read in strips of at most a few tens of megabytes, whatever the
// image's size.
#include <gdal.h>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cfloat>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "adapters/raster_image.h"

namespace {

// The cell cache holds strips of about 1 MB, at least 2,048 lines of an image in all (the
// pictures written through it come in bands of up to 512 lines across the whole width), within
// 16 to 256 MB.
constexpr size_t kStripBytes = size_t(1) << 20;
constexpr size_t kCacheLines = 2048;
constexpr size_t kCacheMinBytes = size_t(16) << 20;
constexpr size_t kCacheMaxBytes = size_t(256) << 20;
// New GeoTIFF files are written in strips of about 256 KB.
constexpr size_t kFileBlockBytes = size_t(256) << 10;
constexpr size_t kSourceBytes = size_t(32) << 20;  // source lines held by a resampling pass
constexpr int64_t kMaxRectPixels = int64_t(1) << 27;  // a map rectangle image (384 MB)
constexpr int kMaxRectSide = 1 << 20;
constexpr const char* kDisplayBandsItem = "DISPLAY_BANDS";

// ---- GDAL set-up and error handling ---------------------------------------------------------

void InitialiseGdal() {
  static const bool done = [] {
    GDALAllRegister();
    // Images are read and written strip by strip: a small block cache is enough. A host that sets
    // GDAL_CACHEMAX keeps its value.
    if (std::getenv("GDAL_CACHEMAX") == nullptr) GDALSetCacheMax64(GIntBig(32) << 20);
    return true;
  }();
  (void)done;
}

// GDAL's messages are kept from the console while alive; the last one is kept for the error text.
class QuietErrors {
 public:
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
  bool Failed() const { return CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal; }
  std::string Message() const {
    const char* message = CPLGetLastErrorMsg();
    return message != nullptr && message[0] != '\0' ? std::string(": ") + message : std::string();
  }
};

// No auxiliary ".aux.xml" files beside new images while alive (this thread only).
class NoSideFiles {
 public:
  NoSideFiles() {
    const char* old = CPLGetThreadLocalConfigOption("GDAL_PAM_ENABLED", nullptr);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", "NO");
  }
  ~NoSideFiles() { CPLSetThreadLocalConfigOption("GDAL_PAM_ENABLED", hadOld_ ? old_.c_str() : nullptr); }
  NoSideFiles(const NoSideFiles&) = delete;
  NoSideFiles& operator=(const NoSideFiles&) = delete;

 private:
  bool hadOld_ = false;
  std::string old_;
};

std::string& LastError() {
  static std::string error;
  return error;
}

int Refuse(const std::string& reason) {
  LastError() = reason;
  return RASTER_FAILED;
}

int Succeed() {
  LastError().clear();
  return RASTER_OK;
}

// ---- Cell types -----------------------------------------------------------------------------

struct CellTypeEntry {
  int32_t code;
  GDALDataType type;
};
constexpr CellTypeEntry kCellTypes[] = {
    {RASTER_CELL_BYTE, GDT_Byte},       {RASTER_CELL_UINT16, GDT_UInt16},
    {RASTER_CELL_INT16, GDT_Int16},     {RASTER_CELL_UINT32, GDT_UInt32},
    {RASTER_CELL_INT32, GDT_Int32},     {RASTER_CELL_FLOAT32, GDT_Float32},
    {RASTER_CELL_FLOAT64, GDT_Float64},
};

bool TypeOfCode(int32_t code, GDALDataType& type) {
  for (const CellTypeEntry& entry : kCellTypes)
    if (entry.code == code) {
      type = entry.type;
      return true;
    }
  return false;
}

// The cell type an image is handled in: its own, or 64-bit floating point for types outside the
// table (64-bit integers).
int32_t CodeOfType(GDALDataType type) {
  for (const CellTypeEntry& entry : kCellTypes)
    if (entry.type == type) return entry.code;
  return RASTER_CELL_FLOAT64;
}

template <typename T>
T ToInteger(double value) {
  // Rounded half away from zero, limited to T's range; NaN gives 0.
  constexpr double low = double(std::numeric_limits<T>::lowest());
  constexpr double high = double(std::numeric_limits<T>::max());
  if (!(value == value)) return T(0);
  if (value <= low) return std::numeric_limits<T>::lowest();
  if (value >= high) return std::numeric_limits<T>::max();
  return T(value >= 0 ? value + 0.5 : value - 0.5);
}

template <typename T>
void Put(unsigned char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

template <typename T>
double Get(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return double(value);
}

inline void StoreValue(GDALDataType type, unsigned char* at, double value) {
  switch (type) {
    case GDT_Byte: *at = ToInteger<uint8_t>(value); break;
    case GDT_UInt16: Put(at, ToInteger<uint16_t>(value)); break;
    case GDT_Int16: Put(at, ToInteger<int16_t>(value)); break;
    case GDT_UInt32: Put(at, ToInteger<uint32_t>(value)); break;
    case GDT_Int32: Put(at, ToInteger<int32_t>(value)); break;
    case GDT_Float32:
      // Finite values beyond float's range become its largest magnitude.
      Put(at, float(std::isfinite(value) ? std::clamp(value, double(-FLT_MAX), double(FLT_MAX)) : value));
      break;
    default: Put(at, value); break;
  }
}

inline double LoadValue(GDALDataType type, const unsigned char* at) {
  switch (type) {
    case GDT_Byte: return *at;
    case GDT_UInt16: return Get<uint16_t>(at);
    case GDT_Int16: return Get<int16_t>(at);
    case GDT_UInt32: return Get<uint32_t>(at);
    case GDT_Int32: return Get<int32_t>(at);
    case GDT_Float32: return Get<float>(at);
    default: return Get<double>(at);
  }
}

inline uint8_t ToByte(double value) { return ToInteger<uint8_t>(value); }

// a * b * c ... without overflow of 64 bits.
bool CheckedProduct(std::initializer_list<uint64_t> factors, uint64_t& product) {
  product = 1;
  for (uint64_t factor : factors) {
    if (factor != 0 && product > std::numeric_limits<uint64_t>::max() / factor) return false;
    product *= factor;
  }
  return true;
}

// True when bands[b] == b for every b.
bool IsIdentityBandMap(const int32_t* bands, int count) {
  for (int b = 0; b < count; ++b)
    if (bands[b] != b) return false;
  return true;
}

// ---- Images ---------------------------------------------------------------------------------

struct DatasetCloser {
  void operator()(void* dataset) const {
    QuietErrors quiet;
    GDALClose(dataset);
  }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

class Image {
 public:
  // The dataset has been checked: bands >= 1, an axis-aligned geotransform.
  Image(Dataset dataset, bool writable, const double gt[6])
      : dataset_(std::move(dataset)), writable_(writable) {
    GDALDatasetH ds = dataset_.get();
    cells_ = GDALGetRasterXSize(ds);
    lines_ = GDALGetRasterYSize(ds);
    bands_ = GDALGetRasterCount(ds);
    fileType_ = GDALGetRasterDataType(GDALGetRasterBand(ds, 1));
    GDALDataType storeType = GDT_Float64;
    TypeOfCode(CodeOfType(fileType_), storeType);
    storeType_ = storeType;
    cellBytes_ = size_t(GDALGetDataTypeSizeBytes(storeType_));
    std::copy(gt, gt + 6, gt_);
    pixelBytes_ = size_t(bands_) * cellBytes_;
    lineBytes_ = size_t(cells_) * pixelBytes_;
    // Strips hold whole rows of the file's blocks, so that each is read or written in one piece,
    // unless a row of blocks is very large (tall tiles of a wide image).
    int blockCells = 0, blockLines = 0;
    GDALGetBlockSize(GDALGetRasterBand(ds, 1), &blockCells, &blockLines);
    size_t fileBlockLines = size_t(std::clamp(blockLines, 1, lines_));
    if (fileBlockLines * lineBytes_ > 16 * kStripBytes) fileBlockLines = 1;
    const size_t blocks = std::max<size_t>(1, kStripBytes / (lineBytes_ * fileBlockLines));
    stripLines_ = int(std::min(blocks * fileBlockLines, size_t(lines_)));
    const size_t stripBytes = lineBytes_ * size_t(stripLines_);
    const size_t budget =
        std::clamp(std::max(kCacheLines * lineBytes_, kCacheMinBytes), kCacheMinBytes, kCacheMaxBytes);
    maxStrips_ = std::max<size_t>(2, budget / stripBytes);
    written_.assign(size_t((lines_ + stripLines_ - 1) / stripLines_), !writable);
    DefaultDisplayBands();
  }
  // A new image that was never closed keeps what was written to it.
  ~Image() {
    if (dataset_ && writable_) FlushStrips();
  }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  GDALDatasetH Handle() const { return dataset_.get(); }
  bool Writable() const { return writable_; }
  int Lines() const { return lines_; }
  int Cells() const { return cells_; }
  int Bands() const { return bands_; }
  const double* GeoTransform() const { return gt_; }
  int32_t CellType() const { return CodeOfType(fileType_); }
  const int* Display() const { return display_; }

  int32_t BandsInfo() const {
    auto interp = [&](int band) {
      return GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset_.get(), band));
    };
    if (bands_ >= 3 && interp(1) == GCI_RedBand && interp(2) == GCI_GreenBand &&
        interp(3) == GCI_BlueBand)
      return bands_ >= 4 && interp(4) == GCI_AlphaBand ? RASTER_BANDS_RGBA : RASTER_BANDS_RGB;
    if (bands_ == 1 && interp(1) == GCI_GrayIndex) return RASTER_BANDS_GREY;
    return RASTER_BANDS_GENERIC;
  }

  bool SetDisplay(const int rgb[3]) {
    std::copy(rgb, rgb + 3, display_);
    if (!writable_) return true;
    // A new image keeps the choice in its own metadata.
    char text[64];
    std::snprintf(text, sizeof text, "%d,%d,%d", rgb[0], rgb[1], rgb[2]);
    NoSideFiles noSideFiles;
    QuietErrors quiet;
    return GDALSetMetadataItem(dataset_.get(), kDisplayBandsItem, text, nullptr) == CE_None;
  }

  bool SetGeoreference(const double gt[6], const char* projection) {
    NoSideFiles noSideFiles;
    QuietErrors quiet;
    double copy[6];
    std::copy(gt, gt + 6, copy);
    if (GDALSetGeoTransform(dataset_.get(), copy) != CE_None) return false;
    std::copy(gt, gt + 6, gt_);
    if (projection != nullptr && projection[0] != '\0' &&
        GDALSetProjection(dataset_.get(), projection) != CE_None)
      return false;
    return true;
  }

  bool SetMetadata(const char* name, const char* value) {
    NoSideFiles noSideFiles;
    QuietErrors quiet;
    return GDALSetMetadataItem(dataset_.get(), name, value, nullptr) == CE_None;
  }

  // ---- Cells through the strip cache ----

  bool Inside(int band, int line, int cell) const {
    return band >= 0 && band < bands_ && line >= 0 && line < lines_ && cell >= 0 && cell < cells_;
  }

  // The cell's bytes, its strip loaded; null when the strip cannot be had.
  unsigned char* CellAt(int band, int line, int cell) {
    Strip* strip = current_;
    if (strip == nullptr || line < strip->first || line >= strip->first + strip->count) {
      strip = LoadGuarded(line);
      if (strip == nullptr) return nullptr;
    }
    return strip->data.data() + size_t(line - strip->first) * lineBytes_ +
           size_t(cell) * pixelBytes_ + size_t(band) * cellBytes_;
  }

  bool ReadCell(int band, int line, int cell, double& value) {
    const unsigned char* at = CellAt(band, line, cell);
    if (at == nullptr) return false;
    value = LoadValue(storeType_, at);
    return true;
  }

  bool WriteCell(int band, int line, int cell, double value) {
    unsigned char* at = CellAt(band, line, cell);
    if (at == nullptr) return false;
    if (storeType_ == GDT_Byte)
      *at = ToInteger<uint8_t>(value);
    else
      StoreValue(storeType_, at, value);
    current_->dirty = true;
    return true;
  }

  // Writes cells of one line from bytes: the value of band bands[b] at cell firstCell + j is
  // source[j * pixelSpace + b]. The arguments have been checked.
  bool WriteBytes(int line, int firstCell, int cells, int bandCount, const int32_t* bands,
                  const uint8_t* source, ptrdiff_t pixelSpace) {
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

  // Writes the strips changed since they were read.
  bool FlushStrips() {
    bool ok = true;
    for (auto& strip : strips_)
      if (strip->dirty) ok = WriteStrip(*strip) && ok;
    return ok;
  }

  // Writes changed strips and forgets all, before GDAL reads or writes the file directly.
  bool DropStrips() {
    const bool ok = FlushStrips();
    strips_.clear();
    current_ = nullptr;
    return ok;
  }

  bool WriteFailed() const { return writeFailed_; }

  // Closes the file; false when any write failed.
  bool Close() {
    bool ok = DropStrips() && !writeFailed_;
    NoSideFiles noSideFiles;
    QuietErrors quiet;
    GDALFlushCache(dataset_.get());
    ok = ok && !quiet.Failed();
    GDALClose(dataset_.release());
    ok = ok && !quiet.Failed();
    closeMessage_ = quiet.Message();
    return ok;
  }
  const std::string& CloseMessage() const { return closeMessage_; }

 private:
  struct Strip {
    int first = 0, count = 0;
    bool dirty = false;
    uint64_t lastUse = 0;
    std::vector<unsigned char> data;
  };

  void DefaultDisplayBands() {
    GDALDatasetH ds = dataset_.get();
    if (const char* stored = GDALGetMetadataItem(ds, kDisplayBandsItem, nullptr)) {
      int rgb[3];
      if (std::sscanf(stored, "%d,%d,%d", &rgb[0], &rgb[1], &rgb[2]) == 3 &&
          std::all_of(rgb, rgb + 3, [&](int b) { return b >= 0 && b < bands_; })) {
        std::copy(rgb, rgb + 3, display_);
        return;
      }
    }
    int found[3] = {-1, -1, -1};
    for (int band = 0; band < bands_; ++band) {
      const GDALColorInterp interp = GDALGetRasterColorInterpretation(GDALGetRasterBand(ds, band + 1));
      const int slot = interp == GCI_RedBand ? 0 : interp == GCI_GreenBand ? 1 : interp == GCI_BlueBand ? 2 : -1;
      if (slot >= 0 && found[slot] < 0) found[slot] = band;
    }
    if (found[0] >= 0 && found[1] >= 0 && found[2] >= 0) {
      std::copy(found, found + 3, display_);
    } else if (bands_ >= 3) {
      display_[0] = 0;
      display_[1] = 1;
      display_[2] = 2;
    } else {
      display_[0] = display_[1] = display_[2] = 0;
    }
  }

  // Load, with a failed allocation as a failure. Kept out of the cell functions' fast path.
  __attribute__((noinline)) Strip* LoadGuarded(int line) {
    try {
      return Load(line);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    LastError() = "out of memory";
    return current_ = nullptr;
  }

  Strip* Load(int line) {
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
      if (GDALDatasetRasterIO(dataset_.get(), GF_Read, 0, first, cells_, strip->count,
                              strip->data.data(), cells_, strip->count, storeType_, bands_, nullptr,
                              int(pixelBytes_), GSpacing(lineBytes_), int(cellBytes_)) != CE_None) {
        LastError() = "cannot read the image" + quiet.Message();
        strip->first = -stripLines_ - 1;  // matches no line
        strip->count = 0;
        return nullptr;
      }
    }
    return current_ = strip;
  }

  bool WriteStrip(Strip& strip) {
    NoSideFiles noSideFiles;
    QuietErrors quiet;
    const bool ok = GDALDatasetRasterIO(dataset_.get(), GF_Write, 0, strip.first, cells_, strip.count,
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

  Dataset dataset_;
  bool writable_;
  int lines_ = 0, cells_ = 0, bands_ = 0;
  GDALDataType fileType_ = GDT_Byte, storeType_ = GDT_Byte;
  size_t cellBytes_ = 1, pixelBytes_ = 1, lineBytes_ = 1;
  double gt_[6] = {0, 1, 0, 0, 0, -1};
  int display_[3] = {0, 0, 0};
  int stripLines_ = 1;
  size_t maxStrips_ = 2;
  std::vector<std::unique_ptr<Strip>> strips_;
  Strip* current_ = nullptr;
  uint64_t clock_ = 0;
  std::vector<bool> written_;  // per strip: the file holds its lines (else they are zeros)
  bool writeFailed_ = false;
  std::string closeMessage_;
};

// ---- Registry -------------------------------------------------------------------------------

struct Registry {
  std::map<RasterHandle, std::unique_ptr<Image>> images;
  RasterHandle next = 0;
  // The image used last: cell calls come in long runs on one handle.
  RasterHandle lastHandle = 0;
  Image* lastImage = nullptr;
  std::map<const uint8_t*, std::unique_ptr<uint8_t[]>> blocks;  // map rectangle images handed out
};

Registry& Images() {
  static Registry registry;
  return registry;
}

Image* Find(RasterHandle handle) {
  Registry& registry = Images();
  if (handle != 0 && handle == registry.lastHandle) return registry.lastImage;
  const auto found = registry.images.find(handle);
  if (found == registry.images.end()) return nullptr;
  registry.lastHandle = handle;
  registry.lastImage = found->second.get();
  return registry.lastImage;
}

RasterHandle Add(std::unique_ptr<Image> image) {
  Registry& registry = Images();
  RasterHandle handle = 0;
  do {
    registry.next = registry.next >= 0x7ffffffe ? 1 : registry.next + 1;
    handle = registry.next;
  } while (registry.images.count(handle) != 0);
  registry.images[handle] = std::move(image);
  return handle;
}

std::unique_ptr<Image> Remove(RasterHandle handle) {
  Registry& registry = Images();
  if (registry.lastHandle == handle) {
    registry.lastHandle = 0;
    registry.lastImage = nullptr;
  }
  const auto found = registry.images.find(handle);
  if (found == registry.images.end()) return nullptr;
  std::unique_ptr<Image> image = std::move(found->second);
  registry.images.erase(found);
  return image;
}

// Runs an operation, turning a failed allocation into a failure result.
template <typename F>
int Guarded(F&& operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return Refuse("out of memory");
  } catch (const std::length_error&) {
    return Refuse("out of memory");
  }
}

int UnknownHandle(RasterHandle handle) {
  return Refuse("no raster image has handle " + std::to_string(handle));
}

// Why a cell call was refused (kept out of the cell functions' fast path).
__attribute__((noinline)) int RefuseCell(const Image* image, RasterHandle handle, int32_t address,
                                         bool writing) {
  if (image == nullptr) return UnknownHandle(handle);
  if (writing && !image->Writable()) return Refuse("the image is open for reading only");
  if (address != RASTER_CELL_ADDRESS) return Refuse("unknown cell addressing " + std::to_string(address));
  return Refuse("the cell lies outside the image");
}

bool Finite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// ---- Resampling -----------------------------------------------------------------------------

// Weights along one axis: output pixel i takes source pixels index[start[i] .. start[i + 1]) with
// weight[...] (summing to 1); an output pixel with no weights lies outside the source.
struct Axis {
  std::vector<int> start{0};
  std::vector<int> index;
  std::vector<double> weight;
  int low = INT_MAX, high = -1;  // source pixels used

  bool Inside(int i) const { return start[size_t(i) + 1] > start[size_t(i)]; }
  bool Any() const { return high >= low; }
  void Add(int k, double w) {
    index.push_back(k);
    weight.push_back(w);
    low = std::min(low, k);
    high = std::max(high, k);
  }
};

// Output pixel i spans source pixel coordinates edge0 + i * step to edge0 + (i + 1) * step
// (source pixel k spans k to k + 1).
Axis MakeAxis(int count, double edge0, double step, int size, int method) {
  Axis axis;
  axis.start.reserve(size_t(count) + 1);
  for (int i = 0; i < count; ++i) {
    const double e0 = edge0 + i * step, e1 = edge0 + (i + 1) * step;
    const double lo = std::min(e0, e1), hi = std::max(e0, e1);
    const double centre = 0.5 * (lo + hi);
    if (centre >= 0 && centre < size) {
      if (method == RASTER_RESAMPLE_NEAREST) {
        axis.Add(std::min(int(centre), size - 1), 1.0);
      } else if (hi - lo > 1.0) {
        // Reduced: the average of the source pixels under the output pixel, by covered length.
        const double a = std::max(lo, 0.0), b = std::min(hi, double(size));
        const size_t first = axis.weight.size();
        double total = 0;
        for (int k = int(std::floor(a)); k < size && k < b; ++k) {
          const double w = std::min(b, k + 1.0) - std::max(a, double(k));
          if (w > 0) {
            axis.Add(k, w);
            total += w;
          }
        }
        for (size_t n = first; n < axis.weight.size(); ++n) axis.weight[n] /= total;
      } else {
        // Enlarged or kept: bilinear between source pixel centres, the border pixels repeated.
        const double u = std::clamp(centre - 0.5, 0.0, double(size - 1));
        const int k = std::min(int(u), size - 1);
        const double t = u - k;
        if (k >= size - 1 || t <= 0) {
          axis.Add(k, 1.0);
        } else {
          axis.Add(k, 1.0 - t);
          axis.Add(k + 1, t);
        }
      }
    }
    axis.start.push_back(int(axis.index.size()));
  }
  return axis;
}

// An output grid in map coordinates: the top-left corner, the pixel size, the pixel counts.
struct OutputGrid {
  double left, top;
  double pixelWidth, pixelHeight;
  int width, height;
};

enum class ResampleResult { kDone, kOutside, kFailed };

// Lines lineLow .. lineHigh of chosen bands of a source, for the columns low .. low + width - 1,
// read in strips as they are asked for.
class SourceLines {
 public:
  SourceLines(GDALDatasetH dataset, std::vector<int> bands, int low, int width, int lineLow,
              int lineHigh, bool forward)
      : dataset_(dataset), bands_(std::move(bands)), low_(low), width_(width), lineLow_(lineLow),
        lineHigh_(lineHigh), forward_(forward) {
    const size_t lineBytes = size_t(width_) * bands_.size() * sizeof(double);
    capacity_ = int(std::clamp<size_t>(kSourceBytes / lineBytes, 4, size_t(lineHigh - lineLow + 1)));
  }
  int Capacity() const { return capacity_; }

  // Lines a .. b (lineLow <= a <= b <= lineHigh, b - a < Capacity()) in memory; the strip read
  // reaches ahead in the direction of reading.
  bool Ensure(int a, int b) {
    if (a >= first_ && b < first_ + count_) return true;
    const int first = forward_ ? a : std::max(lineLow_, b + 1 - capacity_);
    const int count = forward_ ? std::min(capacity_, lineHigh_ + 1 - a) : b + 1 - first;
    count_ = 0;
    values_.resize(size_t(count) * size_t(width_) * bands_.size());
    QuietErrors quiet;
    if (GDALDatasetRasterIO(dataset_, GF_Read, low_, first, width_, count, values_.data(), width_,
                            count, GDT_Float64, int(bands_.size()), bands_.data(), 0, 0, 0) != CE_None) {
      LastError() = "cannot read the source image" + quiet.Message();
      return false;
    }
    first_ = first;
    count_ = count;
    return true;
  }

  // Band slot s (index into the band list) of line k, from column low on.
  const double* Line(size_t slot, int k) const {
    return values_.data() + (slot * size_t(count_) + size_t(k - first_)) * size_t(width_);
  }

 private:
  GDALDatasetH dataset_;
  std::vector<int> bands_;  // 1-based for GDAL
  int low_, width_, lineLow_, lineHigh_;
  bool forward_;
  int capacity_ = 4;
  int first_ = 0, count_ = 0;
  std::vector<double> values_;
};

// Resamples bands (0-based, distinct) of image onto grid. For every output row, sink(row,
// values, x, rowInside) gets the row's values, band after band (grid.width each), and the x axis
// to tell which columns lie inside the source.
template <typename Sink>
ResampleResult Resample(Image& image, const std::vector<int>& bands, const OutputGrid& grid,
                        int method, Sink&& sink) {
  const double* gt = image.GeoTransform();
  const Axis ax = MakeAxis(grid.width, (grid.left - gt[0]) / gt[1], grid.pixelWidth / gt[1],
                           image.Cells(), method);
  const Axis ay = MakeAxis(grid.height, (grid.top - gt[3]) / gt[5], -grid.pixelHeight / gt[5],
                           image.Lines(), method);
  if (!ax.Any() || !ay.Any()) return ResampleResult::kOutside;
  if (image.Writable() && !image.FlushStrips()) return ResampleResult::kFailed;

  std::vector<int> gdalBands(bands.size());
  for (size_t n = 0; n < bands.size(); ++n) gdalBands[n] = bands[n] + 1;
  // Output rows run down the map: source lines run forward when the image's lines do.
  const bool forward = gt[5] < 0;
  SourceLines source(image.Handle(), gdalBands, ax.low, ax.high - ax.low + 1, ay.low, ay.high, forward);

  const size_t width = size_t(grid.width);
  std::vector<double> row(width * bands.size());
  std::vector<int> insideColumns;
  for (int i = 0; i < grid.width; ++i)
    if (ax.Inside(i)) insideColumns.push_back(i);
  // Source columns counted from the first one read.
  std::vector<int> columns(ax.index);
  for (int& k : columns) k -= ax.low;

  auto accumulate = [&](int k, double wy) {
    for (size_t slot = 0; slot < bands.size(); ++slot) {
      const double* line = source.Line(slot, k);
      double* out = row.data() + slot * width;
      for (int i : insideColumns) {
        double sum = 0;
        for (int n = ax.start[size_t(i)]; n < ax.start[size_t(i) + 1]; ++n)
          sum += ax.weight[size_t(n)] * line[columns[size_t(n)]];
        out[i] += wy * sum;
      }
    }
  };

  for (int j = 0; j < grid.height; ++j) {
    std::fill(row.begin(), row.end(), 0.0);
    const bool rowInside = ay.Inside(j);
    if (rowInside) {
      const int begin = ay.start[size_t(j)], end = ay.start[size_t(j) + 1];
      const int kLow = ay.index[size_t(begin)], kHigh = ay.index[size_t(end - 1)];
      if (kHigh - kLow < source.Capacity()) {
        if (!source.Ensure(kLow, kHigh)) return ResampleResult::kFailed;
        for (int n = begin; n < end; ++n) accumulate(ay.index[size_t(n)], ay.weight[size_t(n)]);
      } else {
        // A footprint taller than the strip: line by line in the direction of reading.
        for (int m = 0; m < end - begin; ++m) {
          const int n = forward ? begin + m : end - 1 - m;
          const int k = ay.index[size_t(n)];
          if (!source.Ensure(k, k)) return ResampleResult::kFailed;
          accumulate(k, ay.weight[size_t(n)]);
        }
      }
    }
    if (!sink(j, row.data(), ax, rowInside)) return ResampleResult::kFailed;
  }
  return ResampleResult::kDone;
}

// The distinct bands among the display bands, and each display band's slot among them.
std::vector<int> DisplaySlots(const int display[3], size_t slots[3]) {
  std::vector<int> bands;
  for (int c = 0; c < 3; ++c) {
    const auto found = std::find(bands.begin(), bands.end(), display[c]);
    slots[c] = size_t(found - bands.begin());
    if (found == bands.end()) bands.push_back(display[c]);
  }
  return bands;
}

// ---- Opening --------------------------------------------------------------------------------

// Checks a dataset and reads its geotransform; false (with the reason) when it cannot serve.
bool CheckDataset(GDALDatasetH dataset, double gt[6], std::string& reason) {
  if (GDALGetRasterCount(dataset) < 1) {
    reason = "the file has no raster band";
    return false;
  }
  if (GDALGetRasterXSize(dataset) < 1 || GDALGetRasterYSize(dataset) < 1) {
    reason = "the image has no cells";
    return false;
  }
  if (GDALDataTypeIsComplex(GDALGetRasterDataType(GDALGetRasterBand(dataset, 1)))) {
    reason = "complex-valued images are not supported";
    return false;
  }
  // Bands of different cell types are handled in the first band's.
  if (GDALGetGeoTransform(dataset, gt) != CE_None) {
    // No georeference: the image's own pixel space, y up.
    gt[0] = 0;
    gt[1] = 1;
    gt[2] = 0;
    gt[3] = GDALGetRasterYSize(dataset);
    gt[4] = 0;
    gt[5] = -1;
  }
  if (gt[2] != 0 || gt[4] != 0) {
    reason = "rotated or sheared images are not supported";
    return false;
  }
  if (!Finite({gt[0], gt[1], gt[3], gt[5]}) || gt[1] == 0 || gt[5] == 0) {
    reason = "the image has a zero or invalid pixel size";
    return false;
  }
  uint64_t lineBytes = 0;
  if (!CheckedProduct({uint64_t(GDALGetRasterXSize(dataset)), uint64_t(GDALGetRasterCount(dataset)), 8},
                      lineBytes) ||
      lineBytes > (uint64_t(1) << 40)) {
    reason = "the image's lines are too long";
    return false;
  }
  return true;
}

std::string Quoted(const char* path) { return std::string("'") + path + "'"; }

}  // namespace

extern "C" {

int RasterOpenForRead(const char* path, RasterHandle* handle) {
  return Guarded([&] {
    if (handle != nullptr) *handle = 0;
    if (path == nullptr || path[0] == '\0') return Refuse("no file name given");
    if (handle == nullptr) return Refuse("no place for the handle given");
    InitialiseGdal();
    Dataset dataset;
    std::string message;
    {
      QuietErrors quiet;
      dataset.reset(GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
      message = quiet.Message();
    }
    if (!dataset) return Refuse("cannot open " + Quoted(path) + " as a raster image" + message);
    double gt[6];
    std::string reason;
    if (!CheckDataset(dataset.get(), gt, reason)) return Refuse(Quoted(path) + ": " + reason);
    *handle = Add(std::make_unique<Image>(std::move(dataset), false, gt));
    return Succeed();
  });
}

int RasterCloseRead(RasterHandle handle) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (image->Writable()) return Refuse("a new image is closed with RasterCloseNew");
  Remove(handle);
  return Succeed();
}

int RasterGetBandCount(RasterHandle handle, int32_t* bands) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (bands == nullptr) return Refuse("no place for the result given");
  *bands = image->Bands();
  return RASTER_OK;
}

int RasterGetLineCount(RasterHandle handle, int32_t* lines) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (lines == nullptr) return Refuse("no place for the result given");
  *lines = image->Lines();
  return RASTER_OK;
}

int RasterGetLineCells(RasterHandle handle, int32_t* cells) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (cells == nullptr) return Refuse("no place for the result given");
  *cells = image->Cells();
  return RASTER_OK;
}

int RasterGetBandsInfo(RasterHandle handle, int32_t* bandsInfo) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (bandsInfo == nullptr) return Refuse("no place for the result given");
  *bandsInfo = image->BandsInfo();
  return RASTER_OK;
}

int RasterGetCellType(RasterHandle handle, int32_t* cellType) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (cellType == nullptr) return Refuse("no place for the result given");
  *cellType = image->CellType();
  return RASTER_OK;
}

int RasterGetCoordinateRange(RasterHandle handle, int32_t mode, double* xMin, double* xMax,
                             double* yMin, double* yMax) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (xMin == nullptr || xMax == nullptr || yMin == nullptr || yMax == nullptr)
    return Refuse("no place for the results given");
  if (mode == RASTER_RANGE_IMAGE) {
    *xMin = 0;
    *xMax = image->Cells();
    *yMin = 0;
    *yMax = image->Lines();
    return RASTER_OK;
  }
  if (mode == RASTER_RANGE_MAP) {
    const double* gt = image->GeoTransform();
    const double x0 = gt[0], x1 = gt[0] + image->Cells() * gt[1];
    const double y0 = gt[3], y1 = gt[3] + image->Lines() * gt[5];
    *xMin = std::min(x0, x1);
    *xMax = std::max(x0, x1);
    *yMin = std::min(y0, y1);
    *yMax = std::max(y0, y1);
    return RASTER_OK;
  }
  return Refuse("unknown coordinate system " + std::to_string(mode));
}

int RasterGetDisplayBands(RasterHandle handle, int32_t* red, int32_t* green, int32_t* blue) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (red == nullptr || green == nullptr || blue == nullptr)
    return Refuse("no place for the results given");
  *red = image->Display()[0];
  *green = image->Display()[1];
  *blue = image->Display()[2];
  return RASTER_OK;
}

int RasterSetDisplayRGB(RasterHandle handle, int32_t red, int32_t green, int32_t blue) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  const int rgb[3] = {red, green, blue};
  for (int band : rgb)
    if (band < 0 || band >= image->Bands())
      return Refuse("band " + std::to_string(band) + " does not exist (the image has " +
                    std::to_string(image->Bands()) + ")");
  if (!image->SetDisplay(rgb)) return Refuse("cannot store the display bands");
  return Succeed();
}

int RasterGetCell(RasterHandle handle, int32_t address, int32_t band, int32_t line, int32_t cell,
                  double* value) {
  Image* image = Find(handle);
  if (image != nullptr && address == RASTER_CELL_ADDRESS && value != nullptr &&
      image->Inside(band, line, cell))
    return image->ReadCell(band, line, cell, *value) ? RASTER_OK : RASTER_FAILED;
  if (value == nullptr) return Refuse("no place for the result given");
  return RefuseCell(image, handle, address, false);
}

int RasterCreateNew(const char* path, RasterHandle* handle, int32_t cellType, int32_t lines,
                    int32_t cells, int32_t bands, int32_t bandsInfo) {
  return Guarded([&] {
    if (handle != nullptr) *handle = 0;
    if (path == nullptr || path[0] == '\0') return Refuse("no file name given");
    if (handle == nullptr) return Refuse("no place for the handle given");
    GDALDataType type = GDT_Byte;
    if (!TypeOfCode(cellType, type)) return Refuse("unknown cell type " + std::to_string(cellType));
    if (lines < 1 || cells < 1 || bands < 1 || bands > 65535)
      return Refuse("cannot make an image of " + std::to_string(lines) + " lines, " +
                    std::to_string(cells) + " cells and " + std::to_string(bands) + " bands");
    uint64_t bytes = 0;
    if (!CheckedProduct({uint64_t(lines), uint64_t(cells), uint64_t(bands),
                         uint64_t(GDALGetDataTypeSizeBytes(type))},
                        bytes) ||
        bytes > (uint64_t(1) << 50))
      return Refuse("the image would be too large");
    const int neededBands = bandsInfo == RASTER_BANDS_GENERIC ? 1
                            : bandsInfo == RASTER_BANDS_GREY  ? 1
                            : bandsInfo == RASTER_BANDS_RGB   ? 3
                            : bandsInfo == RASTER_BANDS_RGBA  ? 4
                                                              : -1;
    if (neededBands < 0) return Refuse("unknown band description " + std::to_string(bandsInfo));
    if (bands < neededBands)
      return Refuse("the band description needs " + std::to_string(neededBands) + " bands");

    InitialiseGdal();
    NoSideFiles noSideFiles;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr) return Refuse("GDAL has no GeoTIFF driver");
    const bool colour = bandsInfo == RASTER_BANDS_RGB || bandsInfo == RASTER_BANDS_RGBA;
    const bool rgbTags = colour && (type == GDT_Byte || type == GDT_UInt16);
    CPLStringList options;
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    options.SetNameValue("INTERLEAVE", "PIXEL");
    const uint64_t lineBytes = uint64_t(cells) * uint64_t(bands) * uint64_t(GDALGetDataTypeSizeBytes(type));
    const uint64_t blockLines = std::clamp<uint64_t>(kFileBlockBytes / lineBytes, 1, uint64_t(lines));
    options.SetNameValue("BLOCKYSIZE", std::to_string(blockLines).c_str());
    if (rgbTags) options.SetNameValue("PHOTOMETRIC", "RGB");
    if (rgbTags && bandsInfo == RASTER_BANDS_RGBA) options.SetNameValue("ALPHA", "UNASSOCIATED");
    Dataset dataset;
    std::string message;
    {
      QuietErrors quiet;
      dataset.reset(GDALCreate(driver, path, cells, lines, bands, type, options.List()));
      message = quiet.Message();
    }
    if (!dataset) return Refuse("cannot create " + Quoted(path) + message);
    if (colour && !rgbTags) {
      QuietErrors quiet;
      const GDALColorInterp interps[4] = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_AlphaBand};
      for (int b = 0; b < neededBands; ++b)
        (void)GDALSetRasterColorInterpretation(GDALGetRasterBand(dataset.get(), b + 1), interps[b]);
    }
    if (bandsInfo == RASTER_BANDS_GREY) {
      QuietErrors quiet;
      (void)GDALSetRasterColorInterpretation(GDALGetRasterBand(dataset.get(), 1), GCI_GrayIndex);
    }
    double gt[6] = {0, 1, 0, double(lines), 0, -1};
    *handle = Add(std::make_unique<Image>(std::move(dataset), true, gt));
    return Succeed();
  });
}

int RasterCloseNew(RasterHandle handle) {
  return Guarded([&] {
    Image* image = Find(handle);
    if (image == nullptr) return UnknownHandle(handle);
    if (!image->Writable()) return Refuse("an image opened for reading is closed with RasterCloseRead");
    std::unique_ptr<Image> closing = Remove(handle);
    if (!closing->Close()) return Refuse("the image was not written completely" + closing->CloseMessage());
    return Succeed();
  });
}

int RasterSetCell(RasterHandle handle, int32_t address, int32_t band, int32_t line, int32_t cell,
                  double value) {
  Image* image = Find(handle);
  if (image != nullptr && image->Writable() && address == RASTER_CELL_ADDRESS &&
      image->Inside(band, line, cell))
    return image->WriteCell(band, line, cell, value) ? RASTER_OK : RASTER_FAILED;
  return RefuseCell(image, handle, address, true);
}

int RasterWriteBlock(RasterHandle handle, int32_t firstLine, int32_t firstCell, int32_t lines,
                     int32_t cells, int32_t bandCount, const int32_t* bands, const uint8_t* pixels,
                     ptrdiff_t pixelSpace, ptrdiff_t lineSpace) {
  return Guarded([&] {
    Image* image = Find(handle);
    if (image == nullptr) return UnknownHandle(handle);
    if (!image->Writable()) return Refuse("the image is open for reading only");
    if (lines < 0 || cells < 0 || bandCount < 0) return Refuse("negative block size");
    if (lines == 0 || cells == 0 || bandCount == 0) return Succeed();
    if (pixels == nullptr || bands == nullptr) return Refuse("no pixels or band list given");
    if (firstLine < 0 || firstCell < 0 || int64_t(firstLine) + lines > image->Lines() ||
        int64_t(firstCell) + cells > image->Cells())
      return Refuse("the block lies outside the image");
    for (int32_t b = 0; b < bandCount; ++b)
      if (bands[b] < 0 || bands[b] >= image->Bands())
        return Refuse("band " + std::to_string(bands[b]) + " does not exist");
    for (int32_t i = 0; i < lines; ++i)
      if (!image->WriteBytes(firstLine + i, firstCell, cells, bandCount, bands,
                             pixels + ptrdiff_t(i) * lineSpace, pixelSpace))
        return RASTER_FAILED;
    return Succeed();
  });
}

int RasterSetXResolution(RasterHandle handle, double resolution) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (!image->Writable()) return Refuse("the image is open for reading only");
  if (!std::isfinite(resolution) || resolution <= 0) return Refuse("the resolution must be positive");
  const std::string text = CPLSPrintf("%.17g", resolution);
  if (!image->SetMetadata("TIFFTAG_XRESOLUTION", text.c_str()) ||
      !image->SetMetadata("TIFFTAG_RESOLUTIONUNIT", "2"))
    return Refuse("cannot store the resolution");
  return Succeed();
}

int RasterSetYResolution(RasterHandle handle, double resolution) {
  Image* image = Find(handle);
  if (image == nullptr) return UnknownHandle(handle);
  if (!image->Writable()) return Refuse("the image is open for reading only");
  if (!std::isfinite(resolution) || resolution <= 0) return Refuse("the resolution must be positive");
  const std::string text = CPLSPrintf("%.17g", resolution);
  if (!image->SetMetadata("TIFFTAG_YRESOLUTION", text.c_str()) ||
      !image->SetMetadata("TIFFTAG_RESOLUTIONUNIT", "2"))
    return Refuse("cannot store the resolution");
  return Succeed();
}

int RasterResample(RasterHandle source, RasterHandle target, int32_t method, double xScale,
                   double yScale, double xOrigin, double yOrigin) {
  return Guarded([&] {
    Image* from = Find(source);
    if (from == nullptr) return UnknownHandle(source);
    Image* to = Find(target);
    if (to == nullptr) return UnknownHandle(target);
    if (from == to) return Refuse("an image cannot be resampled onto itself");
    if (!to->Writable()) return Refuse("the target is open for reading only");
    if (method != RASTER_RESAMPLE_NEAREST && method != RASTER_RESAMPLE_BILINEAR)
      return Refuse("unknown resampling method " + std::to_string(method));
    if (!Finite({xScale, yScale, xOrigin, yOrigin}) || xScale <= 0 || yScale <= 0)
      return Refuse("the scales must be positive and the origin finite");
    if (from->Bands() != to->Bands())
      return Refuse("the source has " + std::to_string(from->Bands()) + " bands, the target " +
                    std::to_string(to->Bands()));
    const OutputGrid grid{xOrigin,     yOrigin + to->Lines() / yScale, 1 / xScale, 1 / yScale,
                          to->Cells(), to->Lines()};
    if (!Finite({grid.top, grid.pixelWidth, grid.pixelHeight}))
      return Refuse("the scales are out of range");

    std::vector<int> bands(size_t(from->Bands()));
    for (size_t b = 0; b < bands.size(); ++b) bands[b] = int(b);
    const size_t width = size_t(grid.width);
    const ResampleResult result = Resample(
        *from, bands, grid, method, [&](int row, const double* values, const Axis& ax, bool rowInside) {
          for (size_t b = 0; b < bands.size(); ++b)
            for (int i = 0; i < grid.width; ++i) {
              const double value = rowInside && ax.Inside(i) ? values[b * width + size_t(i)] : 0.0;
              if (!to->WriteCell(int(b), row, i, value)) return false;
            }
          return true;
        });
    if (result == ResampleResult::kOutside) return Refuse("the target grid lies outside the source image");
    if (result == ResampleResult::kFailed) return RASTER_FAILED;

    const double gt[6] = {grid.left, grid.pixelWidth, 0, grid.top, 0, -grid.pixelHeight};
    if (!to->SetGeoreference(gt, GDALGetProjectionRef(from->Handle())))
      return Refuse("cannot store the target's georeference");
    if (!to->SetDisplay(from->Display())) return Refuse("cannot store the display bands");
    return Succeed();
  });
}

int RasterGetMapRectImage(RasterMapRectRequest* request) {
  return Guarded([&] {
    if (request == nullptr) return Refuse("no request given");
    request->pixels = nullptr;
    request->height = 0;
    request->width = 0;
    Image* image = Find(request->image);
    if (image == nullptr) return UnknownHandle(request->image);
    const double xMin = request->xMin, xMax = request->xMax, yMin = request->yMin,
                 yMax = request->yMax, scale = request->scale;
    if (!Finite({xMin, xMax, yMin, yMax, scale}) || !(xMax > xMin) || !(yMax > yMin))
      return Refuse("the map rectangle is empty or invalid");
    if (!(scale > 0)) return Refuse("the scale must be positive");
    const double w = std::round((xMax - xMin) * scale), h = std::round((yMax - yMin) * scale);
    if (!(w <= kMaxRectSide && h <= kMaxRectSide))
      return Refuse("the map rectangle is too large at that scale");
    const int width = std::max(1, int(w)), height = std::max(1, int(h));
    if (int64_t(width) * height > kMaxRectPixels)
      return Refuse("the map rectangle is too large at that scale");

    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size_t(width) * size_t(height) * 3]);
    if (!block) return Refuse("out of memory");
    size_t slots[3];
    const std::vector<int> bands = DisplaySlots(image->Display(), slots);
    const OutputGrid grid{xMin, yMax, 1 / scale, 1 / scale, width, height};
    const size_t stride = size_t(width);
    const ResampleResult result = Resample(
        *image, bands, grid, RASTER_RESAMPLE_BILINEAR,
        [&](int row, const double* values, const Axis& ax, bool rowInside) {
          uint8_t* out = block.get() + size_t(row) * stride * 3;
          for (int i = 0; i < width; ++i, out += 3) {
            if (!rowInside || !ax.Inside(i)) {
              out[0] = out[1] = out[2] = 0;
              continue;
            }
            out[0] = ToByte(values[slots[2] * stride + size_t(i)]);
            out[1] = ToByte(values[slots[1] * stride + size_t(i)]);
            out[2] = ToByte(values[slots[0] * stride + size_t(i)]);
          }
          return true;
        });
    if (result == ResampleResult::kOutside) return Refuse("the map rectangle lies outside the image");
    if (result == ResampleResult::kFailed) return RASTER_FAILED;

    uint8_t* pixels = block.get();
    Images().blocks[pixels] = std::move(block);
    request->pixels = pixels;
    request->height = height;
    request->width = width;
    return Succeed();
  });
}

int RasterFreeMapRectImage(RasterMapRectRequest* request) {
  if (request == nullptr) return Refuse("no request given");
  if (request->pixels == nullptr) return Succeed();
  auto& blocks = Images().blocks;
  const auto found = blocks.find(request->pixels);
  if (found == blocks.end()) return Refuse("the pixel block was not made by RasterGetMapRectImage");
  blocks.erase(found);
  request->pixels = nullptr;
  request->height = 0;
  request->width = 0;
  return Succeed();
}

int RasterDrawInMapCoordinates(RasterHandle handle, double reserved1, double reserved2,
                               const RasterMapView* view, RasterClientRect rect,
                               RasterDrawTarget* target) {
  (void)reserved1;
  (void)reserved2;
  return Guarded([&] {
    Image* image = Find(handle);
    if (image == nullptr) return UnknownHandle(handle);
    if (view == nullptr || target == nullptr) return Refuse("no map view or drawing target given");
    if (target->pixels == nullptr || target->width < 1 || target->height < 1 ||
        (target->bytesPerPixel != 3 && target->bytesPerPixel != 4) ||
        int64_t(target->stride) < int64_t(target->width) * target->bytesPerPixel)
      return Refuse("the drawing target is invalid");
    const double vxMin = view->xMin, vxMax = view->xMax, vyMin = view->yMin, vyMax = view->yMax;
    if (!Finite({vxMin, vxMax, vyMin, vyMax}) || !(vxMax > vxMin) || !(vyMax > vyMin))
      return Refuse("the map view is empty or invalid");
    if (rect.right < rect.left || rect.bottom < rect.top) return Refuse("the client rectangle is invalid");
    if (rect.right == rect.left || rect.bottom == rect.top) return Succeed();

    // The part of the rectangle on the target.
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, target->width);
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, target->height);
    if (x0 >= x1 || y0 >= y1) return Succeed();
    const double pixelWidth = (vxMax - vxMin) / (double(rect.right) - rect.left);
    const double pixelHeight = (vyMax - vyMin) / (double(rect.bottom) - rect.top);
    const OutputGrid grid{vxMin + (double(x0) - rect.left) * pixelWidth,
                          vyMax - (double(y0) - rect.top) * pixelHeight, pixelWidth, pixelHeight,
                          x1 - x0, y1 - y0};
    size_t slots[3];
    const std::vector<int> bands = DisplaySlots(image->Display(), slots);
    const size_t width = size_t(grid.width);
    const int bpp = target->bytesPerPixel;
    const ResampleResult result = Resample(
        *image, bands, grid, RASTER_RESAMPLE_BILINEAR,
        [&](int row, const double* values, const Axis& ax, bool rowInside) {
          if (!rowInside) return true;
          uint8_t* out = target->pixels + ptrdiff_t(y0 + row) * target->stride + ptrdiff_t(x0) * bpp;
          for (int i = 0; i < grid.width; ++i, out += bpp) {
            if (!ax.Inside(i)) continue;
            out[0] = ToByte(values[slots[2] * width + size_t(i)]);
            out[1] = ToByte(values[slots[1] * width + size_t(i)]);
            out[2] = ToByte(values[slots[0] * width + size_t(i)]);
            if (bpp == 4) out[3] = 255;
          }
          return true;
        });
    if (result == ResampleResult::kFailed) return RASTER_FAILED;
    return Succeed();  // an image outside the view draws nothing
  });
}

const char* RasterLastError(void) { return LastError().c_str(); }

}  // extern "C"

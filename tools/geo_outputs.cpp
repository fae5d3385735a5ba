#include "geo_outputs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include <cpl_string.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <gdal_utils.h>

#include "interrupts.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

struct DatasetCloser {
  void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

const char kPictureSizeItem[] = "TERRAIN3D_PICTURE_SIZE";
const char kPictureItem[] = "TERRAIN3D_PICTURE";

bool EndsWithNoCase(const std::string& text, const char* tail) {
  const std::string end = tail;
  return text.size() >= end.size() && EQUAL(text.c_str() + text.size() - end.size(), tail);
}

// The GDAL driver for the file name's extension, or nullptr.
const char* DriverFor(const std::string& path) {
  if (EndsWithNoCase(path, ".tif") || EndsWithNoCase(path, ".tiff")) return "GTiff";
  if (EndsWithNoCase(path, ".png")) return "PNG";
  if (EndsWithNoCase(path, ".jpg") || EndsWithNoCase(path, ".jpeg")) return "JPEG";
  if (EndsWithNoCase(path, ".bmp")) return "BMP";
  return nullptr;
}

// The creation options of the driver: GeoTIFFs compressed and tiled; a world file beside the
// formats that cannot hold a geotransform. Deflate at its fastest level: on an 8000 x 8000 hill
// shade the default level took twice as long (2.2 against 1.1 s) for a file 13 % smaller.
char** CreationOptions(const char* driver, bool georeferenced) {
  char** options = nullptr;
  if (EQUAL(driver, "GTiff")) {
    options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "ZLEVEL", "1");
    options = CSLSetNameValue(options, "TILED", "YES");
  } else if (georeferenced) {
    options = CSLSetNameValue(options, "WORLDFILE", "YES");
  }
  return options;
}

void ApplyGeoreference(GDALDatasetH dataset, const Georeference* georeference) {
  if (georeference == nullptr) return;
  if (georeference->hasTransform)
    GDALSetGeoTransform(dataset, const_cast<double*>(georeference->transform));
  if (!georeference->wkt.empty()) GDALSetProjection(dataset, georeference->wkt.c_str());
  if (!georeference->pictureSize.empty())
    GDALSetMetadataItem(dataset, kPictureSizeItem, georeference->pictureSize.c_str(), nullptr);
  if (!georeference->pictureId.empty())
    GDALSetMetadataItem(dataset, kPictureItem, georeference->pictureId.c_str(), nullptr);
}

// The world file beside a picture: named after the picture's format (.pgw, .jgw, .bpw), so that
// pictures of one name in two formats do not share one (GDAL and GIS programs read these names).
std::string WorldFileName(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  const std::string stem = path.substr(0, dot);
  if (extension == "png") return stem + ".pgw";
  if (extension == "jpg" || extension == "jpeg") return stem + ".jgw";
  if (extension == "bmp") return stem + ".bpw";
  return stem + ".wld";
}

// Whether the picture file at path holds the pixels of source. The BMP writer reports no
// failed write (a full disk leaves a file of the right size with zeros for the rows it could
// not write), so its files are read back; the other writers report the failure themselves.
bool WrittenWhole(GDALDatasetH source, const std::string& path) {
  if (DriverFor(path) == nullptr || std::string(DriverFor(path)) != "BMP") return true;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  Dataset written(GDALOpen(path.c_str(), GA_ReadOnly));
  CPLPopErrorHandler();
  const int bands = GDALGetRasterCount(source);
  if (!written || GDALGetRasterCount(written.get()) != bands) return false;
  const int width = GDALGetRasterXSize(source), height = GDALGetRasterYSize(source);
  for (int band = 1; band <= bands; ++band) {
    GDALRasterBandH a = GDALGetRasterBand(source, band), b = GDALGetRasterBand(written.get(), band);
    if (GDALChecksumImage(a, 0, 0, width, height) != GDALChecksumImage(b, 0, 0, width, height))
      return false;
  }
  return true;
}

bool CopyTo(GDALDatasetH source, const std::string& path, const Georeference* georeference,
            std::string& error) {
  const char* driverName = DriverFor(path);
  GDALDriverH driver = driverName != nullptr ? GDALGetDriverByName(driverName) : nullptr;
  if (driver == nullptr) {
    error = path + ": the picture file must end in .tif, .png, .jpg or .bmp";
    return false;
  }
  ApplyGeoreference(source, georeference);
  // Written beside its name and put in its place when complete, so that a failure or an
  // interrupt leaves the file that was there; what GDAL writes beside the draft goes with it.
  DraftFile draft(path);
  const std::string draftStem = draft.path().substr(0, draft.path().find_last_of('.'));
  const std::string sides[2][2] = {{draftStem + ".wld", WorldFileName(path)},
                                   {draft.path() + ".aux.xml", path + ".aux.xml"}};
  const ScopedPendingFile world(sides[0][0]), auxiliary(sides[1][0]);
  auto dropSides = [&] {
    for (const auto& side : sides) std::remove(side[0].c_str());
  };
  char** options = CreationOptions(driverName, georeference != nullptr);
  CPLErrorReset();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  Dataset copy(GDALCreateCopy(driver, draft.path().c_str(), source, FALSE, options, nullptr, nullptr));
  CPLPopErrorHandler();
  CSLDestroy(options);
  if (!copy) {
    error = "cannot write " + path + ": " + CPLGetLastErrorMsg();
    dropSides();
    return false;
  }
  // Written and closed; the writers say on closing what they could not flush.
  CPLErrorReset();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  copy.reset();
  CPLPopErrorHandler();
  if (CPLGetLastErrorType() >= CE_Failure) {
    error = "cannot write " + path + ": " + CPLGetLastErrorMsg();
    dropSides();
    return false;
  }
  if (!WrittenWhole(source, draft.path())) {
    error = "cannot write " + path + ": the file could not be written whole (is the disk full?)";
    dropSides();
    return false;
  }
  // The output's side files are those of the new picture: one the draft has not (a picture
  // without georeference) would describe the file it replaces.
  for (const auto& side : sides) {
    if (std::rename(side[0].c_str(), side[1].c_str()) == 0) continue;
    std::remove(side[0].c_str());
    std::remove(side[1].c_str());
  }
  if (!draft.PutInPlace()) {
    error = "cannot write " + path + ": it cannot be replaced";
    return false;
  }
  return true;
}

}  // namespace

bool IsPictureName(const std::string& path) { return DriverFor(path) != nullptr; }

bool HoldsAlpha(const std::string& path) {
  const char* driver = DriverFor(path);
  return driver != nullptr && (EQUAL(driver, "GTiff") || EQUAL(driver, "PNG"));
}

bool WriteGeoPicture(const std::string& path, const Picture& picture,
                     const Georeference* georeference, std::string& error, bool alpha) {
  GDALAllRegister();
  const int bands = alpha && HoldsAlpha(path) ? 4 : 3;
  GDALDriverH memory = GDALGetDriverByName("MEM");
  Dataset dataset(memory != nullptr ? GDALCreate(memory, "", picture.width, picture.height, bands,
                                                 GDT_Byte, nullptr)
                                    : nullptr);
  if (!dataset) {
    error = "no memory for a picture of " + std::to_string(picture.width) + " x " +
            std::to_string(picture.height);
    return false;
  }
  // BGRA rows: band k (red, green, blue) is byte 2 - k of every 4, alpha byte 3.
  for (int band = 0; band < bands; ++band) {
    GDALRasterBandH target = GDALGetRasterBand(dataset.get(), band + 1);
    GDALSetRasterColorInterpretation(target, GDALColorInterp(GCI_RedBand + band));
    if (GDALRasterIOEx(target, GF_Write, 0, 0, picture.width, picture.height,
                       const_cast<uint8_t*>(picture.bgra.data()) + (band == 3 ? 3 : 2 - band),
                       picture.width,
                       picture.height, GDT_Byte, 4, GSpacing(picture.width) * 4,
                       nullptr) != CE_None) {
      error = "cannot fill the picture";
      return false;
    }
  }
  return CopyTo(dataset.get(), path, georeference, error);
}

bool ConvertPicture(const std::string& from, const std::string& path, int bands,
                    const Georeference* georeference, std::string& error) {
  GDALAllRegister();
  Dataset source(GDALOpen(from.c_str(), GA_ReadOnly));
  if (!source) {
    error = "cannot read " + from;
    return false;
  }
  Dataset chosen;
  GDALDatasetH copyFrom = source.get();
  if (bands > 0 && bands < GDALGetRasterCount(source.get())) {
    // The first bands only, through a virtual copy.
    char** arguments = nullptr;
    arguments = CSLAddString(arguments, "-of");
    arguments = CSLAddString(arguments, "VRT");
    for (int band = 1; band <= bands; ++band) {
      arguments = CSLAddString(arguments, "-b");
      arguments = CSLAddString(arguments, std::to_string(band).c_str());
    }
    GDALTranslateOptions* options = GDALTranslateOptionsNew(arguments, nullptr);
    CSLDestroy(arguments);
    chosen.reset(GDALTranslate("", source.get(), options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!chosen) {
      error = "cannot read the bands of " + from;
      return false;
    }
    copyFrom = chosen.get();
  }
  return CopyTo(copyFrom, path, georeference, error);
}

namespace {

// Pictures up to this many bytes that only a copy can write (PNG, JPEG, BMP) are gathered in
// memory; larger ones in a temporary GeoTIFF on disk, so that the host's memory does not grow
// with the picture (8000 x 8000 in colour is 192 MB).
constexpr int64_t kPictureInMemoryBytes = int64_t(32) << 20;

// The bands as the library's raster image of a picture shows them, and its resolution (pixels
// per inch) as GDAL reads it back from such a file (the unit with its name): formats other than
// GeoTIFF carry these items in their side file.
void DescribePicture(GDALDatasetH dataset, int bands, double resolution) {
  // 2 bands: grey and alpha; 4: red, green, blue and alpha.
  for (int band = 0; band < bands; ++band)
    GDALSetRasterColorInterpretation(
        GDALGetRasterBand(dataset, band + 1),
        bands == 2 ? (band == 0 ? GCI_GrayIndex : GCI_AlphaBand)
                   : GDALColorInterp(GCI_RedBand + band));
  if (resolution > 0) {
    const char* text = CPLSPrintf("%.17g", resolution);
    GDALSetMetadataItem(dataset, "TIFFTAG_XRESOLUTION", text, nullptr);
    GDALSetMetadataItem(dataset, "TIFFTAG_YRESOLUTION", text, nullptr);
    GDALSetMetadataItem(dataset, "TIFFTAG_RESOLUTIONUNIT", "2 (pixels/inch)", nullptr);
  }
}

}  // namespace

// The files being written, removed if the program is interrupted before they are complete.
struct PictureBlockWriter::Pending {
  explicit Pending(const std::string& path) : file(path), auxiliary(path + ".aux.xml") {}
  ScopedPendingFile file, auxiliary;
};

PictureBlockWriter::PictureBlockWriter(std::string path, int width, int height, int bands,
                                       double resolution, const Georeference* georeference)
    : path_(std::move(path)),
      width_(width),
      height_(height),
      bands_(bands),
      resolution_(resolution),
      georeferenced_(georeference != nullptr) {
  if (georeference != nullptr) georeference_ = *georeference;
}

PictureBlockWriter::~PictureBlockWriter() { Discard(); }

void PictureBlockWriter::Discard() {
  if (dataset_ != nullptr) {
    GDALClose(dataset_);
    dataset_ = nullptr;
  }
  if (!draft_.empty()) {
    std::remove(draft_.c_str());
    std::remove((draft_ + ".aux.xml").c_str());
    draft_.clear();
  }
  pending_.reset();
}

bool PictureBlockWriter::Create() {
  GDALAllRegister();
  const char* driverName = DriverFor(path_);
  if (driverName == nullptr || GDALGetDriverByName(driverName) == nullptr) {
    error_ = path_ + ": the picture file must end in .tif, .png, .jpg or .bmp";
    return false;
  }
  if (width_ <= 0 || height_ <= 0 || bands_ < 1 || bands_ > 4 ||
      ((bands_ == 2 || bands_ == 4) && !HoldsAlpha(path_))) {
    error_ = "no picture of " + std::to_string(width_) + " x " + std::to_string(height_);
    return false;
  }
  const bool geoTiff = EQUAL(driverName, "GTiff");
  geoTiff_ = geoTiff;
  const int64_t bytes = int64_t(width_) * height_ * bands_;
  inMemory_ = !geoTiff && bytes <= kPictureInMemoryBytes;
  char** options = nullptr;
  const char* creator = "MEM";
  if (geoTiff) {
    // The output itself, with the options a copy to it takes; its tiles are compressed on every
    // processor instead of one after the other (the bytes of the file are the same). A value the
    // user set is kept.
    options = CreationOptions(driverName, georeferenced_);
    options = CSLSetNameValue(options, "NUM_THREADS",
                              CPLGetConfigOption("GDAL_NUM_THREADS", "ALL_CPUS"));
    if (bands_ == 2 || bands_ == 4) {
      // The last band is alpha (unassociated), the others grey or red, green and blue.
      options = CSLSetNameValue(options, "ALPHA", "YES");
      options = CSLSetNameValue(options, "PHOTOMETRIC", bands_ == 4 ? "RGB" : "MINISBLACK");
    }
    creator = "GTiff";
    draft_ = DraftName(path_);
  } else if (inMemory_) {
    options = CSLSetNameValue(options, "INTERLEAVE", "PIXEL");
  } else {
    // Uncompressed: it is read once, line by line, by the copy.
    creator = "GTiff";
    draft_ = DraftName(path_ + ".tif");
    options = CSLSetNameValue(options, "BIGTIFF", "IF_NEEDED");
  }
  if (!draft_.empty()) pending_ = std::make_unique<Pending>(draft_);
  CPLErrorReset();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  dataset_ = GDALCreate(GDALGetDriverByName(creator), draft_.c_str(), width_, height_, bands_,
                        GDT_Byte, options);
  CPLPopErrorHandler();
  CSLDestroy(options);
  if (dataset_ == nullptr) {
    error_ = inMemory_ ? "no memory for a picture of " + std::to_string(width_) + " x " +
                             std::to_string(height_)
                       : "cannot write " + path_ + ": " + CPLGetLastErrorMsg();
    Discard();
    return false;
  }
  if (geoTiff) {
    // Everything the file's header holds is set before the first pixels, so that the header is
    // written once, at the start of the file, as a copy writes it.
    DescribePicture(dataset_, bands_, resolution_);
    ApplyGeoreference(dataset_, georeferenced_ ? &georeference_ : nullptr);
  }
  return true;
}

bool PictureBlockWriter::Put(int firstRow, int firstColumn, int rows, int columns, int bands,
                             const uint8_t* pixels, int rowBytes) {
  if (bands != bands_ || pixels == nullptr || firstRow < 0 || firstColumn < 0 || rows <= 0 ||
      columns <= 0 || firstRow > height_ - rows || firstColumn > width_ - columns)
    return false;
  if (!error_.empty()) return false;
  if (dataset_ == nullptr && !Create()) return false;
  CPLErrorReset();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  bool ok = true;
  if (geoTiff_) {
    // The blocks come row of blocks after row of blocks from the top, left to right; a row of
    // blocks is gathered and written with its last block (a block of another row first writes
    // what there is).
    if (stripRows_ > 0 && (firstRow != stripTop_ || rows != stripRows_)) ok = WriteStrip();
    if (stripRows_ == 0) {
      stripTop_ = firstRow;
      stripRows_ = rows;
      strip_.assign(size_t(width_) * size_t(rows) * size_t(bands_), 0);
    }
    for (int row = 0; row < rows; ++row)
      std::copy(pixels + size_t(row) * size_t(rowBytes),
                pixels + size_t(row) * size_t(rowBytes) + size_t(columns) * size_t(bands_),
                strip_.begin() + (size_t(row) * size_t(width_) + size_t(firstColumn)) * bands_);
    if (ok && firstColumn + columns == width_) ok = WriteStrip();
  } else {
    ok = GDALDatasetRasterIOEx(dataset_, GF_Write, firstColumn, firstRow, columns, rows,
                               const_cast<uint8_t*>(pixels), columns, rows, GDT_Byte, bands,
                               nullptr, bands, rowBytes, 1, nullptr) == CE_None;
    // The temporary file's strips a row of blocks fills are written with its last block, so
    // that GDAL's cache holds one row of blocks at most.
    if (ok && !inMemory_ && firstColumn + columns == width_) ok = FlushCache();
  }
  CPLPopErrorHandler();
  if (!ok) {
    error_ = "cannot write " + path_ + ": " + CPLGetLastErrorMsg();
    return false;
  }
  pixelsPut_ += int64_t(rows) * columns;
  return true;
}

bool PictureBlockWriter::FlushCache() {
  bool ok = true;
  for (int band = 1; band <= bands_ && ok; ++band)
    ok = GDALFlushRasterCache(GDALGetRasterBand(dataset_, band)) == CE_None;
  return ok;
}

bool PictureBlockWriter::WriteStrip() {
  // One row of the GeoTIFF's tiles at a time, each written as soon as it is complete: the tiles
  // are stored in the order of rows, left to right, as a copy to the file stores them. (Written
  // as GDAL's cache lets them go, several rows at once, they are the same tiles but stored in
  // another order where the picture is more than 64 tiles wide.)
  int tileWidth = 0, tileHeight = 0;
  GDALGetBlockSize(GDALGetRasterBand(dataset_, 1), &tileWidth, &tileHeight);
  tileHeight = std::max(tileHeight, 1);
  const int end = stripTop_ + stripRows_;
  bool ok = true;
  for (int top = stripTop_; top < end && ok;) {
    const int bottom = std::min(end, (top / tileHeight + 1) * tileHeight);
    uint8_t* rows = strip_.data() + size_t(top - stripTop_) * size_t(width_) * size_t(bands_);
    ok = GDALDatasetRasterIOEx(dataset_, GF_Write, 0, top, width_, bottom - top, rows, width_,
                               bottom - top, GDT_Byte, bands_, nullptr, bands_,
                               GSpacing(width_) * bands_, 1, nullptr) == CE_None &&
         FlushCache();
    top = bottom;
  }
  stripRows_ = 0;
  return ok;
}

bool PictureBlockWriter::Finish() {
  if (!error_.empty()) return false;
  if (dataset_ == nullptr || pixelsPut_ != int64_t(width_) * height_) {
    error_ = "the picture is incomplete";
    Discard();
    return false;
  }
  if (geoTiff_) {
    // The GeoTIFF: the rest of its tiles, and its header with where they lie.
    CPLErrorReset();
    CPLPushErrorHandler(CPLQuietErrorHandler);
    if (stripRows_ > 0 && !WriteStrip()) CPLError(CE_Failure, CPLE_FileIO, "%s", "unwritten rows");
    GDALClose(dataset_);
    dataset_ = nullptr;
    CPLPopErrorHandler();
    if (CPLGetLastErrorType() >= CE_Failure) {
      error_ = "cannot write " + path_ + ": " + CPLGetLastErrorMsg();
      Discard();
      return false;
    }
    // Complete: put in the output's place, with its side file if GDAL wrote one.
    if (std::rename(draft_.c_str(), path_.c_str()) != 0) {
      error_ = "cannot write " + path_ + ": it cannot be replaced";
      Discard();
      return false;
    }
    const std::string side = draft_ + ".aux.xml";
    if (std::rename(side.c_str(), (path_ + ".aux.xml").c_str()) != 0) std::remove(side.c_str());
    draft_.clear();
    pending_.reset();
    return true;
  }
  Dataset draft, source;  // the virtual copy reads the draft: it goes first
  if (inMemory_) {
    source.reset(dataset_);
  } else {
    // The temporary GeoTIFF, read through a virtual copy that carries what the library's raster
    // image carried (a side file of the temporary file would have to be removed as well).
    GDALClose(dataset_);
    dataset_ = nullptr;
    draft.reset(GDALOpen(draft_.c_str(), GA_ReadOnly));
    char** arguments = CSLAddString(nullptr, "-of");
    arguments = CSLAddString(arguments, "VRT");
    GDALTranslateOptions* options = GDALTranslateOptionsNew(arguments, nullptr);
    CSLDestroy(arguments);
    if (draft) source.reset(GDALTranslate("", draft.get(), options, nullptr));
    GDALTranslateOptionsFree(options);
    if (!source) {
      error_ = "cannot read " + draft_;
      draft.reset();
      Discard();
      return false;
    }
  }
  dataset_ = nullptr;
  DescribePicture(source.get(), bands_, resolution_);
  const bool copied = CopyTo(source.get(), path_, georeferenced_ ? &georeference_ : nullptr,
                             error_);
  source.reset();
  draft.reset();
  Discard();  // the temporary GeoTIFF
  return copied;
}

std::string TileName(const std::string& path, int index, int count) {
  int digits = 1;
  for (int rest = count; rest >= 10; rest /= 10) ++digits;
  digits = std::max(digits, 3);
  const size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  char number[32];
  std::snprintf(number, sizeof number, "_%0*d", digits, index);
  return path.substr(0, dot) + number + path.substr(dot);
}

Georeference TilePlacement(int column, int row, int width, int height, int across, int down) {
  Georeference placement;
  placement.pictureSize = std::to_string(across * width) + "x" + std::to_string(down * height);
  double* t = placement.transform;
  t[0] = double(column) * width;
  t[1] = 1;
  t[2] = 0;
  t[3] = -double(row) * height;
  t[4] = 0;
  t[5] = -1;
  placement.hasTransform = true;
  return placement;
}

bool WriteMosaic(const std::vector<std::string>& tiles, const std::string& path,
                 std::string& error) {
  GDALAllRegister();
  if (tiles.empty()) {
    error = "no tiles given";
    return false;
  }
  // Every tile: its place and size, to find overlaps and gaps before joining.
  struct Place {
    double left, top, right, bottom;
  };
  std::vector<Place> places;
  int bands = 0, pictureWidth = 0, pictureHeight = 0;
  std::string pictureId;
  for (size_t i = 0; i < tiles.size(); ++i) {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    Dataset tile(GDALOpen(tiles[i].c_str(), GA_ReadOnly));
    CPLPopErrorHandler();
    if (!tile) {
      error = "cannot read the tile " + tiles[i];
      return false;
    }
    double t[6];
    const char* size = GDALGetMetadataItem(tile.get(), kPictureSizeItem, nullptr);
    int width = 0, height = 0;
    if (GDALGetGeoTransform(tile.get(), t) != CE_None || t[1] != 1 || t[2] != 0 || t[4] != 0 ||
        t[5] != -1 || size == nullptr || std::sscanf(size, "%dx%d", &width, &height) != 2) {
      error = tiles[i] + " has no place in a mosaic (not a tile of 'render --tile-range')";
      return false;
    }
    const int count = GDALGetRasterCount(tile.get());
    const char* id = GDALGetMetadataItem(tile.get(), kPictureItem, nullptr);
    if (i > 0 && (count != bands || width != pictureWidth || height != pictureHeight ||
                  pictureId != (id != nullptr ? id : ""))) {
      error = tiles[i] + " and " + tiles[0] + " are tiles of different pictures";
      return false;
    }
    pictureId = id != nullptr ? id : "";
    bands = count;
    pictureWidth = width;
    pictureHeight = height;
    const Place place{t[0], -t[3], t[0] + GDALGetRasterXSize(tile.get()),
                      -t[3] + GDALGetRasterYSize(tile.get())};
    if (place.left < 0 || place.top < 0 || place.right > width || place.bottom > height) {
      error = tiles[i] + " lies outside its picture";
      return false;
    }
    for (const Place& other : places)
      if (place.left < other.right && other.left < place.right && place.top < other.bottom &&
          other.top < place.bottom) {
        error = tiles[i] + " overlaps another tile (a tile given twice?)";
        return false;
      }
    places.push_back(place);
  }
  double area = 0;
  for (const Place& place : places) area += (place.right - place.left) * (place.bottom - place.top);
  const double covered = double(pictureWidth) * pictureHeight;
  if (area < covered) {
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", 100 * (1 - area / covered));
    error = std::string("the tiles leave a gap: ") + share +
            " of the picture is missing (a tile range not drawn yet?)";
    return false;
  }
  std::vector<const char*> names;
  for (const std::string& tile : tiles) names.push_back(tile.c_str());
  const bool toVrt = EndsWithNoCase(path, ".vrt");
  const std::string vrtPath = toVrt ? path : "/vsimem/terrain3d_mosaic.vrt";
  const ScopedPendingFile pending(vrtPath);
  GDALBuildVRTOptions* options = GDALBuildVRTOptionsNew(nullptr, nullptr);
  CPLErrorReset();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  Dataset mosaic(GDALBuildVRT(vrtPath.c_str(), int(names.size()), nullptr, names.data(), options,
                              nullptr));
  CPLPopErrorHandler();
  GDALBuildVRTOptionsFree(options);
  if (!mosaic) {
    error = "cannot join the tiles: " + std::string(CPLGetLastErrorMsg());
    return false;
  }
  if (toVrt) {
    mosaic.reset();  // written and closed
    pending.Keep();
    return true;
  }
  const bool written = CopyTo(mosaic.get(), path, nullptr, error);
  mosaic.reset();
  VSIUnlink(vrtPath.c_str());
  return written;
}

bool GeoreferenceCovering(const std::string& gridPath, int width, int height,
                          Georeference& georeference) {
  Georeference grid;
  if (!ReadGeoreference(gridPath, grid) || !grid.hasTransform || width <= 0 || height <= 0)
    return false;
  GDALAllRegister();
  Dataset dataset(GDALOpen(gridPath.c_str(), GA_ReadOnly));
  if (!dataset) return false;
  const double columns = GDALGetRasterXSize(dataset.get()), rows = GDALGetRasterYSize(dataset.get());
  georeference = grid;
  double* t = georeference.transform;
  t[1] = grid.transform[1] * columns / width;
  t[2] = grid.transform[2] * rows / height;
  t[4] = grid.transform[4] * columns / width;
  t[5] = grid.transform[5] * rows / height;
  return true;
}

bool PlanViewGeoreference(void* scene, void* state, const std::string& gridPath, int width,
                          int height, Georeference& georeference) {
  if (!ReadGeoreference(gridPath, georeference) || width < 2 || height < 2) return false;
  // Two pixels near the centre: the scene picks only points over the grid and its margin.
  const int step = std::max(1, std::min(16, std::min(width, height) / 4));
  const int cx = width / 2, cy = height / 2;
  int first[2] = {cx - step, cy - step}, second[2] = {cx + step, cy + step};
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  if (GetCurMousePos(scene, state, first, &x0, &y0) != TN_OK ||
      GetCurMousePos(scene, state, second, &x1, &y1) != TN_OK)
    return false;
  // The map points are those of the pixels' centres.
  double* t = georeference.transform;
  t[1] = (x1 - x0) / (2 * step);
  t[5] = (y1 - y0) / (2 * step);
  t[2] = t[4] = 0;
  t[0] = x0 - t[1] * (cx - step + 0.5);
  t[3] = y0 - t[5] * (cy - step + 0.5);
  georeference.hasTransform = t[1] > 0 && t[5] < 0;
  return georeference.hasTransform;
}

}  // namespace t3dhost

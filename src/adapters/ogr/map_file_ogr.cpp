// Map files on OGR: any vector source OGR reads is opened into a file slot, its features read
// once into records in memory (reprojected into the grid's coordinate system when asked), with
// a spatial index over the records' boxes.
#include <gdal.h>
#include <ogr_core.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <cpl_error.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "adapters/map_file.h"
#include "adapters/ogr/map_colours.h"
#include "adapters/ogr/map_records.h"
#include "adapters/ogr/note_text.h"
#include "base/trace.h"

namespace t3d::ogr {
namespace {

// An open map file.
struct MapData {
  int kind = MAP_KIND_LINES;
  uint32_t serial = 0;
  std::vector<Record> records;  // record r is records[r - 1]
  std::vector<std::vector<double>> attributes;
  Box extent{};
  BoxIndex index;
  // The last rectangle asked of BaseRecordInRect and which records meet it (by record number).
  bool haveRect = false;
  double rect[4] = {0, 0, 0, 0};
  std::vector<uint8_t> inRect;
  std::vector<int32_t> found;
  std::vector<double> geometry;  // the copy handed out by BaseGetLineGeometry
  std::vector<int32_t> ringCounts;  // the ring counts handed out by BaseGetRegionRings
};

std::mutex g_mutex;
std::map<uint16_t, std::unique_ptr<MapData>> g_slots;
uint16_t g_lastSlot = 0;
uint32_t g_lastSerial = 0;

std::string& LastError() {
  thread_local std::string error;
  return error;
}

MapData* Find(uint16_t slot) {
  auto it = g_slots.find(slot);
  return it == g_slots.end() ? nullptr : it->second.get();
}

Record* FindRecord(MapData* data, int32_t record) {
  if (data == nullptr || record < 1 || record > static_cast<int32_t>(data->records.size()))
    return nullptr;
  return &data->records[static_cast<size_t>(record) - 1];
}

// OGR's messages kept from the console; the last failure's text is kept for the reason.
class QuietErrors {
 public:
  QuietErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); CPLErrorReset(); }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
  std::string Message() const {
    const char* text = CPLGetLastErrorMsg();
    return text != nullptr && *text != '\0' ? std::string(": ") + text : std::string();
  }
};

struct DatasetCloser {
  void operator()(GDALDataset* dataset) const { GDALClose(dataset); }
};

int KindOf(OGRwkbGeometryType type) {
  switch (wkbFlatten(type)) {
    case wkbLineString: case wkbMultiLineString: case wkbCircularString: case wkbCompoundCurve:
    case wkbMultiCurve:
      return MAP_KIND_LINES;
    case wkbPoint: case wkbMultiPoint:
      return MAP_KIND_POINTS;
    case wkbPolygon: case wkbMultiPolygon: case wkbCurvePolygon: case wkbMultiSurface:
      return MAP_KIND_REGIONS;
    default:
      return -1;
  }
}

void AddPoints(const OGRSimpleCurve& curve, Record& record) {
  for (int i = 0; i < curve.getNumPoints(); ++i) {
    record.xy.push_back(curve.getX(i));
    record.xy.push_back(curve.getY(i));
  }
}

// Appends one record per part of a simple geometry (after curves are made linear); parts of
// another kind than the file's are left out.
void AddParts(const OGRGeometry& geometry, int kind, int32_t row, std::vector<Record>& out) {
  const OGRwkbGeometryType type = wkbFlatten(geometry.getGeometryType());
  if (OGR_GT_IsSubClassOf(type, wkbGeometryCollection)) {
    const auto& collection = *geometry.toGeometryCollection();
    for (const OGRGeometry* part : collection) AddParts(*part, kind, row, out);
    return;
  }
  Record record;
  record.attributeRow = row;
  if (kind == MAP_KIND_LINES && type == wkbLineString) {
    AddPoints(*geometry.toLineString(), record);
  } else if (kind == MAP_KIND_POINTS && type == wkbPoint && !geometry.IsEmpty()) {
    record.xy = {geometry.toPoint()->getX(), geometry.toPoint()->getY()};
  } else if (kind == MAP_KIND_REGIONS && type == wkbPolygon) {
    // A polygon whose outer ring is too short gives no record (a hole must not take its
    // place); a hole too short is left out.
    const OGRLinearRing* outer = geometry.toPolygon()->getExteriorRing();
    if (outer == nullptr || outer->getNumPoints() < 4) return;
    for (const OGRLinearRing* ring : *geometry.toPolygon()) {
      if (ring->getNumPoints() < 4) continue;
      AddPoints(*ring, record);
      record.ringCounts.push_back(ring->getNumPoints());
    }
  }
  if (record.xy.empty() || (kind == MAP_KIND_LINES && record.xy.size() < 4)) return;
  record.box = Box{{record.xy[0], record.xy[1], record.xy[0], record.xy[1]}};
  for (size_t i = 0; i < record.xy.size(); i += 2) {
    record.box.v[0] = std::min(record.box.v[0], record.xy[i]);
    record.box.v[1] = std::min(record.box.v[1], record.xy[i + 1]);
    record.box.v[2] = std::max(record.box.v[2], record.xy[i]);
    record.box.v[3] = std::max(record.box.v[3], record.xy[i + 1]);
  }
  out.push_back(std::move(record));
}

std::vector<double> ReadAttributes(const OGRFeature& feature) {
  std::vector<double> row(static_cast<size_t>(feature.GetFieldCount()), 0.0);
  for (int i = 0; i < feature.GetFieldCount(); ++i) {
    if (!feature.IsFieldSetAndNotNull(i)) continue;
    const OGRFieldType type = feature.GetFieldDefnRef(i)->GetType();
    if (type == OFTInteger || type == OFTInteger64 || type == OFTReal) {
      row[static_cast<size_t>(i)] = feature.GetFieldAsDouble(i);
    } else if (type == OFTString) {
      row[static_cast<size_t>(i)] = std::strtod(feature.GetFieldAsString(i), nullptr);
    }
  }
  return row;
}

std::string FormatBox(const double v[4]) {
  char text[160];
  std::snprintf(text, sizeof text, "%.6g, %.6g to %.6g, %.6g", v[0], v[1], v[2], v[3]);
  return text;
}

// Reads the layer into data; the reason of a refusal in error.
bool Load(const char* path, const char* layerName, const char* gridCrs, const double* gridExtent,
          MapData& data, std::string& error) {
  QuietErrors quiet;
  GDALAllRegister();
  std::unique_ptr<GDALDataset, DatasetCloser> dataset(GDALDataset::FromHandle(
      GDALOpenEx(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  if (!dataset) {
    error = std::string("cannot open '") + path + "' as a vector file" + quiet.Message();
    return false;
  }
  const bool named = layerName != nullptr && *layerName != '\0';
  OGRLayer* layer = named ? dataset->GetLayerByName(layerName)
                          : (dataset->GetLayerCount() > 0 ? dataset->GetLayer(0) : nullptr);
  if (layer == nullptr) {
    error = named ? std::string("'") + path + "' has no layer named '" + layerName + "'"
                  : std::string("'") + path + "' has no layer";
    return false;
  }
  // The kind from the layer's geometry type, or from its first geometry when the layer
  // declares none (GeoJSON, for instance) or a collection (whose first part of a kind counts).
  data.kind = KindOf(layer->GetGeomType());
  layer->ResetReading();
  const OGRwkbGeometryType declaredType = wkbFlatten(layer->GetGeomType());
  if (data.kind < 0 && (declaredType == wkbUnknown || declaredType == wkbGeometryCollection)) {
    for (auto& feature : *layer) {
      const OGRGeometry* geometry = feature->GetGeometryRef();
      if (geometry == nullptr || geometry->IsEmpty()) continue;
      data.kind = KindOf(geometry->getGeometryType());
      if (data.kind < 0 && OGR_GT_IsSubClassOf(wkbFlatten(geometry->getGeometryType()),
                                               wkbGeometryCollection)) {
        for (const OGRGeometry* part : *geometry->toGeometryCollection())
          if ((data.kind = KindOf(part->getGeometryType())) >= 0) break;
      }
      break;
    }
    layer->ResetReading();
  }
  if (data.kind < 0) {
    error = std::string("the layer '") + layer->GetName() + "' holds no lines, points or regions";
    return false;
  }

  // Reprojection into the grid's system when the host names it and the file names another.
  std::unique_ptr<OGRCoordinateTransformation> transform;
  const OGRSpatialReference* fileCrs = layer->GetSpatialRef();
  if (gridCrs != nullptr && *gridCrs != '\0') {
    OGRSpatialReference grid;
    if (grid.SetFromUserInput(gridCrs) != OGRERR_NONE) {
      error = std::string("the grid's coordinate system '") + gridCrs + "' is not understood";
      return false;
    }
    grid.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (fileCrs != nullptr && !fileCrs->IsSame(&grid)) {
      OGRSpatialReference source(*fileCrs);
      source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
      transform.reset(OGRCreateCoordinateTransformation(&source, &grid));
      if (!transform) {
        error = "no transformation from the map file's coordinate system to the grid's" +
                quiet.Message();
        return false;
      }
    }
  }

  const int colourField = ColourField(*layer->GetLayerDefn());
  // Note texts, in GBK, for point files.
  const int noteField = data.kind == MAP_KIND_POINTS ? NoteField(*layer->GetLayerDefn()) : -1;
  const bool givesUtf8 = layer->TestCapability(OLCStringsAsUTF8) != 0;
  const char* declared = layer->GetMetadataItem("SOURCE_ENCODING", "SHAPEFILE");
  const std::string encoding = declared != nullptr ? declared : "";
  size_t unheld = 0;
  for (auto& feature : *layer) {
    OGRGeometry* geometry = feature->GetGeometryRef();
    if (geometry == nullptr || geometry->IsEmpty()) continue;
    std::unique_ptr<OGRGeometry> linear;
    if (geometry->hasCurveGeometry()) {
      linear.reset(geometry->getLinearGeometry());
      if (!linear) continue;
      geometry = linear.get();
    }
    if (transform && geometry->transform(transform.get()) != OGRERR_NONE) {
      error = "feature " + std::to_string(feature->GetFID()) +
              " cannot be reprojected into the grid's coordinate system" + quiet.Message();
      return false;
    }
    const int32_t row = static_cast<int32_t>(data.attributes.size());
    const size_t before = data.records.size();
    AddParts(*geometry, data.kind, row, data.records);
    const int32_t colour = ColourNumberOf(*feature, colourField);
    const std::string note = noteField >= 0 && data.records.size() > before
                                 ? NoteTextOf(*feature, noteField, givesUtf8, encoding, &unheld)
                                 : std::string();
    for (size_t part = before; part < data.records.size(); ++part) {
      data.records[part].colourNumber = colour;
      data.records[part].note = note;
    }
    if (data.records.size() > before) data.attributes.push_back(ReadAttributes(*feature));
  }
  if (unheld > 0) {
    const std::string line = std::string("map file '") + path + "': " + std::to_string(unheld) +
                             " note character(s) GBK cannot hold are shown as '?'";
    Trace(line.c_str());
  }
  if (data.records.size() > 0x7ffffffe) {
    error = "the map file holds too many records";
    return false;
  }

  std::vector<Box> boxes;
  boxes.reserve(data.records.size());
  for (const Record& record : data.records) boxes.push_back(record.box);
  if (!boxes.empty()) {
    data.extent = boxes.front();
    for (const Box& box : boxes)
      data.extent = Box{{std::min(data.extent.v[0], box.v[0]), std::min(data.extent.v[1], box.v[1]),
                         std::max(data.extent.v[2], box.v[2]), std::max(data.extent.v[3], box.v[3])}};
  }
  if (fileCrs == nullptr && gridExtent != nullptr && !boxes.empty() &&
      !data.extent.Meets(gridExtent)) {
    error = "the map file names no coordinate system and its extent (" +
            FormatBox(data.extent.v) + ") does not meet the grid's (" + FormatBox(gridExtent) + ")";
    return false;
  }
  data.index.Build(boxes);
  data.inRect.assign(data.records.size() + 1, 0);
  return true;
}

}  // namespace
}  // namespace t3d::ogr

using t3d::ogr::Find;
using t3d::ogr::FindRecord;
using t3d::ogr::g_mutex;
using t3d::ogr::g_slots;
using t3d::ogr::MapData;

extern "C" {

uint16_t MapFileOpen(const char* path, const char* layerName, const char* gridCrs,
                     const double gridExtent[4]) {
  std::string& error = t3d::ogr::LastError();
  error.clear();
  if (path == nullptr || *path == '\0') {
    error = "no map file named";
    return 0;
  }
  auto data = std::make_unique<MapData>();
  if (!t3d::ogr::Load(path, layerName, gridCrs, gridExtent, *data, error)) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_slots.size() >= 0xffff) {
    error = "too many map files open";
    return 0;
  }
  uint16_t& last = t3d::ogr::g_lastSlot;
  do {
    last = last == 0xffff ? 1 : static_cast<uint16_t>(last + 1);
  } while (g_slots.count(last) != 0);
  data->serial = ++t3d::ogr::g_lastSerial;
  g_slots[last] = std::move(data);
  return last;
}

int16_t MapFileClose(uint16_t slot) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_slots.erase(slot) != 0 ? MAP_OK : MAP_FAILED;
}

const char* MapFileLastError(void) { return t3d::ogr::LastError().c_str(); }

int16_t BaseGetFileError(uint16_t slot) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Find(slot) != nullptr ? MAP_FILE_USABLE : MAP_FILE_NO_SLOT;
}

uint8_t BaseGetFileKind(uint16_t slot) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const MapData* data = Find(slot);
  return data != nullptr ? static_cast<uint8_t>(data->kind) : MAP_KIND_NONE;
}

int16_t BaseGetFileExtent(uint16_t slot, double extent[4]) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const MapData* data = Find(slot);
  if (data == nullptr || extent == nullptr || data->records.empty()) return MAP_FAILED;
  for (int i = 0; i < 4; ++i) extent[i] = data->extent.v[i];
  return MAP_OK;
}

uint32_t BaseGetFileSerial(uint16_t slot) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const MapData* data = Find(slot);
  return data == nullptr ? 0 : data->serial;
}

int16_t BaseGetRecordRange(uint16_t slot, int32_t* first, int32_t* n) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const MapData* data = Find(slot);
  if (data == nullptr || first == nullptr || n == nullptr) return MAP_FAILED;
  *first = 1;
  *n = static_cast<int32_t>(data->records.size()) + 1;
  return MAP_OK;
}

int16_t BaseRecordInRect(uint16_t slot, int32_t record, const double rect[4]) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MapData* data = Find(slot);
  if (rect == nullptr || FindRecord(data, record) == nullptr) return MAP_FAILED;
  for (int i = 0; i < 4; ++i)
    if (std::isnan(rect[i])) return MAP_FAILED;
  if (!data->haveRect || std::memcmp(data->rect, rect, sizeof data->rect) != 0) {
    // A new rectangle: forget the last answer, ask the index, test the candidates exactly.
    for (int32_t r : data->found) data->inRect[static_cast<size_t>(r)] = 0;
    data->found.clear();
    std::vector<int32_t> candidates;
    data->index.Query(rect, candidates);
    for (int32_t i : candidates) {
      if (!t3d::ogr::RecordMeetsRect(data->records[static_cast<size_t>(i)], data->kind, rect))
        continue;
      data->inRect[static_cast<size_t>(i) + 1] = 1;
      data->found.push_back(i + 1);
    }
    std::memcpy(data->rect, rect, sizeof data->rect);
    data->haveRect = true;
  }
  return data->inRect[static_cast<size_t>(record)] != 0 ? MAP_OK : MAP_FAILED;
}

int16_t BaseGetLineGeometry(uint16_t slot, int32_t record, double** points, int32_t* count,
                            MapGraphicParameters* parameters, int /*reserved*/) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MapData* data = Find(slot);
  const t3d::ogr::Record* found = FindRecord(data, record);
  if (found == nullptr || points == nullptr || count == nullptr) return MAP_FAILED;
  // A region gives its outer ring.
  const size_t values = found->ringCounts.empty()
                            ? found->xy.size()
                            : 2 * static_cast<size_t>(found->ringCounts.front());
  data->geometry.assign(found->xy.begin(), found->xy.begin() + static_cast<std::ptrdiff_t>(values));
  *points = data->geometry.data();
  *count = static_cast<int32_t>(values / 2);
  if (parameters != nullptr) *parameters = MapGraphicParameters{0, found->colourNumber};
  return MAP_OK;
}

int16_t BaseGetRecordAttributes(uint16_t slot, int32_t record, void** first, void** second) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MapData* data = Find(slot);
  const t3d::ogr::Record* found = FindRecord(data, record);
  if (found == nullptr || first == nullptr || second == nullptr) return MAP_FAILED;
  *first = data;
  *second = &data->attributes[static_cast<size_t>(found->attributeRow)];
  return MAP_OK;
}

double BaseGetFieldNumber(void* second, void* first, int16_t fieldNumber, int /*a*/, int /*b*/) {
  if (second == nullptr || first == nullptr || fieldNumber < 0) return 0.0;
  const auto& row = *static_cast<const std::vector<double>*>(second);
  return static_cast<size_t>(fieldNumber) < row.size() ? row[static_cast<size_t>(fieldNumber)]
                                                        : 0.0;
}

double BaseDistance(const double from[2], const double to[2]) {
  if (from == nullptr || to == nullptr) return 0.0;
  return std::hypot(to[0] - from[0], to[1] - from[1]);
}

}  // extern "C"

// ---- Regions ---------------------------------------------------------------------------------
namespace {

// Squared distance from (px, py) to the segment (ax, ay)-(bx, by).
double SegmentDistance2(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0;
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  const double qx = ax + t * dx - px, qy = ay + t * dy - py;
  return qx * qx + qy * qy;
}

}  // namespace

extern "C" {

int16_t BaseGetRegionRings(uint16_t slot, int32_t record, double** points, int32_t** ringCounts,
                           int32_t* ringCount) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MapData* data = Find(slot);
  const t3d::ogr::Record* found = FindRecord(data, record);
  if (found == nullptr || points == nullptr || ringCounts == nullptr || ringCount == nullptr ||
      data->kind != MAP_KIND_REGIONS || found->ringCounts.empty()) {
    return MAP_FAILED;
  }
  data->geometry = found->xy;
  data->ringCounts = found->ringCounts;
  *points = data->geometry.data();
  *ringCounts = data->ringCounts.data();
  *ringCount = static_cast<int32_t>(data->ringCounts.size());
  return MAP_OK;
}

int16_t BaseGetRegionExtent(uint16_t slot, int32_t record, double extent[4]) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const t3d::ogr::Record* found = FindRecord(Find(slot), record);
  if (found == nullptr || extent == nullptr) return MAP_FAILED;
  for (int i = 0; i < 4; ++i) extent[i] = found->box.v[i];
  return MAP_OK;
}

int16_t BaseGetRegionColor(uint16_t slot, int32_t record, int32_t* colourNumber) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const t3d::ogr::Record* found = FindRecord(Find(slot), record);
  if (found == nullptr || colourNumber == nullptr) return MAP_FAILED;
  *colourNumber = found->colourNumber;
  return MAP_OK;
}

double BaseRegionDistance(const double point[2], uint16_t slot, int32_t record) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const t3d::ogr::Record* found = FindRecord(Find(slot), record);
  if (found == nullptr || point == nullptr || found->ringCounts.empty()) return HUGE_VAL;
  const double px = point[0], py = point[1];
  bool inside = false;
  double best = HUGE_VAL;
  size_t start = 0;
  for (int32_t count : found->ringCounts) {
    const double* ring = found->xy.data() + 2 * start;
    for (int32_t i = 0, j = count - 1; i < count; j = i++) {
      const double xi = ring[2 * i], yi = ring[2 * i + 1], xj = ring[2 * j], yj = ring[2 * j + 1];
      // Even-odd rule over all rings: a point in a hole is outside.
      if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) inside = !inside;
      best = std::min(best, SegmentDistance2(px, py, xi, yi, xj, yj));
    }
    start += static_cast<size_t>(count);
  }
  return inside ? 0.0 : std::sqrt(best);
}

int16_t MapSetRecordColour(uint16_t slot, int32_t record, int32_t colourNumber) {
  std::lock_guard<std::mutex> lock(g_mutex);
  MapData* data = Find(slot);
  if (data == nullptr) return MAP_FAILED;
  if (record == 0) {
    for (t3d::ogr::Record& r : data->records) r.colourNumber = colourNumber;
    return MAP_OK;
  }
  t3d::ogr::Record* found = FindRecord(data, record);
  if (found == nullptr) return MAP_FAILED;
  found->colourNumber = colourNumber;
  return MAP_OK;
}

}  // extern "C"

// ---- Notes -----------------------------------------------------------------------------------
extern "C" {

int16_t BaseGetNotePoint(uint16_t slot, int32_t record, double point[2]) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const t3d::ogr::Record* found = FindRecord(Find(slot), record);
  if (found == nullptr || point == nullptr || found->xy.size() < 2) return MAP_FAILED;
  point[0] = found->xy[0];
  point[1] = found->xy[1];
  return MAP_OK;
}

int16_t BaseGetNote(uint16_t slot, int32_t record, double point[2], const char** text,
                    void** reserved, MapNoteParameters* parameters) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const t3d::ogr::Record* found = FindRecord(Find(slot), record);
  if (found == nullptr || point == nullptr || text == nullptr || found->xy.size() < 2)
    return MAP_FAILED;
  point[0] = found->xy[0];
  point[1] = found->xy[1];
  *text = found->note.c_str();
  if (reserved != nullptr) *reserved = nullptr;
  if (parameters != nullptr) {
    std::memset(parameters, 0, sizeof *parameters);
    parameters->colourNumber = found->colourNumber;
  }
  return MAP_OK;
}

int16_t BasePointInRect(const double point[2], const double rect[4]) {
  if (point == nullptr || rect == nullptr) return MAP_FAILED;
  return point[0] >= rect[0] && point[0] <= rect[2] && point[1] >= rect[1] && point[1] <= rect[3]
             ? MAP_OK
             : MAP_FAILED;
}

double BasePointDistance(const double from[2], const double to[2]) {
  if (from == nullptr || to == nullptr) return HUGE_VAL;
  return std::hypot(to[0] - from[0], to[1] - from[1]);
}

}  // extern "C"

// Cells of the raster image service on GDAL: the cell types of the face and GDAL's, values
// converted to and from a cell's bytes, and arithmetic checked before memory or files are sized.
// Inline, for the cell functions' fast path. Internal to the adapter: included only by the files
// of src/adapters/gdal/.
#pragma once

#include <gdal.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "adapters/raster_image.h"

namespace t3d::raster_gdal {

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

inline bool TypeOfCode(int32_t code, GDALDataType& type) {
  for (const CellTypeEntry& entry : kCellTypes)
    if (entry.code == code) {
      type = entry.type;
      return true;
    }
  return false;
}

// The cell type an image is handled in: its own, or 64-bit floating point for types outside the
// table (64-bit integers).
inline int32_t CodeOfType(GDALDataType type) {
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
inline bool CheckedProduct(std::initializer_list<uint64_t> factors, uint64_t& product) {
  product = 1;
  for (uint64_t factor : factors) {
    if (factor != 0 && product > std::numeric_limits<uint64_t>::max() / factor) return false;
    product *= factor;
  }
  return true;
}

inline bool Finite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// True when bands[b] == b for every b.
inline bool IsIdentityBandMap(const int32_t* bands, int count) {
  for (int b = 0; b < count; ++b)
    if (bands[b] != b) return false;
  return true;
}

}  // namespace t3d::raster_gdal

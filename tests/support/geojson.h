// GeoJSON map files for the tests, written as text: points, lines and polygons with their
// properties.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace testgrids {

using MapPoints = std::vector<std::pair<double, double>>;

// A position [x,y], each number in the printf format given.
inline std::string JsonPoint(double x, double y, const char* format = "%.3f") {
  const std::string pattern = std::string("[") + format + "," + format + "]";
  char text[96];
  std::snprintf(text, sizeof text, pattern.c_str(), x, y);
  return text;
}

// Positions [[x,y],...]; a closed ring repeats its first point at the end.
inline std::string JsonPoints(const MapPoints& points, bool closed = false, const char* format = "%.3f") {
  std::string text = "[";
  const size_t count = points.size() + (closed && !points.empty() ? 1 : 0);
  for (size_t k = 0; k < count; ++k) {
    const auto& p = points[k % points.size()];
    text += (k > 0 ? "," : "") + JsonPoint(p.first, p.second, format);
  }
  return text + "]";
}

// A feature: its properties object and a geometry of the type with its coordinates (JSON text).
inline std::string JsonFeature(const std::string& type, const std::string& coordinates,
                               const std::string& properties = "{}") {
  return "{\"type\":\"Feature\",\"properties\":" + properties + ",\"geometry\":{\"type\":\"" + type +
         "\",\"coordinates\":" + coordinates + "}}";
}

// Writes the features to path as a FeatureCollection; returns the path.
inline std::string WriteFeatures(const std::string& path, const std::vector<std::string>& features) {
  std::string text = "{\"type\":\"FeatureCollection\",\"features\":[";
  for (size_t i = 0; i < features.size(); ++i) text += (i > 0 ? "," : "") + features[i];
  text += "]}";
  FILE* f = std::fopen(path.c_str(), "w");
  EXPECT_NE(f, nullptr) << path;
  if (f != nullptr) {
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  return path;
}

}  // namespace testgrids

// Packing a region's triangles into the fixed-size blocks of the region block file, and the
// texel conversions of overlay images.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/overlay_store.h"
#include "platform/file_mapping.h"
#include "terrain/scene_origin.h"

namespace t3d {

struct RegionPacking {
  SceneOrigin origin;  // of the scene coordinates the vertices are written in
  bool textured = false;
  // The outer ring's bounding rectangle (x min, y min, x max, y max): texture coordinates run
  // from 0 to 1 over it.
  double rect[4] = {0, 0, 1, 1};
};

// Appends the blocks of count triangles (x, y, z of three corners each, z in scene units) to
// file, using block (RegionBlock::kBytes) as the buffer. Colour-filled blocks hold up to 455
// triangles, and a full block is sorted by the triangles' mean height, highest first; textured
// blocks hold 341 and are not sorted. Each triangle gives its corners in the order first, third,
// second. Returns the number of blocks written, or -1 when writing failed.
// When extents is given, the map rectangle (x min, y min, x max, y max) of each block written is
// appended to it.
int64_t PackRegionBlocks(const double* triangles, int64_t count, const RegionPacking& packing,
                         platform::File& file, uint8_t* block,
                         std::vector<RegionBlockExtent>* extents = nullptr);

// Writes the vertices of count triangles as a block holds them (GL_N3F_V3F, or GL_T2F_N3F_V3F
// for textured regions; corners first, third, second) from out on; returns the end.
float* WriteRegionVertices(const double* triangles, int64_t count, const RegionPacking& packing,
                           float* out);

// Makes triangles follow the ground: every triangle whose longest edge is longer than step (map
// units; the grid's cell size) is cut into n × n equal triangles, n = that edge / step rounded
// up (at most kMaxDrapeSplit), and every new corner takes its height from height(context, x, y).
// Triangles are x, y, z of three corners each; the result keeps their orientation. A triangle
// that spans many cells otherwise lies flat between its corners: above the valleys and below
// the ridges it crosses. When deviation is given it receives the largest height difference
// between a new corner and the triangle it was cut from: how far the uncut triangles stray from
// the ground.
constexpr int kMaxDrapeSplit = 128;
// A sliver cut into more than this many pieces along its longest side is cut into a strip
// (see DrapeTriangles).
constexpr int kSliverSplit = 2;
std::vector<double> DrapeTriangles(const double* triangles, int64_t count, double step,
                                   double (*height)(void* context, double x, double y),
                                   void* context, double* deviation = nullptr);

// The parts of triangles inside rect (x min, y min, x max, y max): a triangle wholly inside is
// kept as it is, one across a side is cut along it and its inside part fanned into triangles of
// the same orientation, whose new corners on the sides take their height from height(context,
// x, y); one wholly outside is dropped. Regions are cut to the grid so: beyond it there is no
// ground to lie on, and the grid's edge heights stretched outwards would draw them as flat
// aprons and walls.
std::vector<double> ClipTriangles(const double* triangles, int64_t count, const double rect[4],
                                  double (*height)(void* context, double x, double y),
                                  void* context);

// The number of blocks count triangles take.
int64_t RegionBlocksFor(int64_t count, bool textured);

// Texel conversion of overlay images (count RGB texels in, out sized for the mode):
// 1 RGB, 2 RGB 5-6-5, 3 ARGB 1-5-5-5, 4 RGBA 5-5-5-1, 5 RGBA, 6 BGRA. Returns the bytes per texel
// of the mode, 0 for an unknown mode (nothing written).
int ConvertTexels(const uint8_t* rgb, size_t count, int mode, uint8_t* out);
int TexelBytes(int mode);

}  // namespace t3d

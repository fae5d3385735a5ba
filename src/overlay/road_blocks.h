// Road ribbons on the CPU: the quads of a line's two offset edges, draped over the ground and
// packed into the fixed-size blocks of the road block file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "terrain/terrain_area.h"
#include "model/road_data.h"
#include "platform/file_mapping.h"

namespace t3d {

// Fills road blocks one quad at a time and writes each full block to the file. Several writers
// may fill blocks of one file (each with its own buffer): blocks are numbered in the file's
// order through the counter they share.
class RoadBlockWriter {
 public:
  // block is a buffer of RoadBlock::kBytes bytes; nextBlock counts the blocks of the file.
  RoadBlockWriter(platform::File& file, uint8_t* block, uint32_t* nextBlock);

  // Adds a quad of four vertices (s, t, normal, position: RoadBlock::kFloats floats each) as the
  // triangles (0, 1, 2) and (2, 1, 3). The block is written first when it already holds more
  // than RoadBlock::kFullAbove vertices. False when writing failed.
  bool AddQuad(const float vertices[4][RoadBlock::kFloats]);
  // Writes the last block when it holds any vertex. False when writing failed.
  bool Finish();

  // The quads added between BeginRoad and EndRoad are one road's: EndRoad gives their runs, one
  // per block they went into. The block numbers of the runs are final once Finish has returned
  // (see BlockNumber).
  void BeginRoad();
  void EndRoad(std::vector<RoadSpan>& spans);
  // The file's number of this writer's k-th block (runs name blocks by k until then).
  uint32_t BlockNumber(uint32_t k) const { return k < numbers_.size() ? numbers_[k] : 0; }

  uint32_t blocks() const { return uint32_t(numbers_.size()); }

 private:
  bool Flush();
  void CloseSpan();

  platform::File& file_;
  uint8_t* block_;
  uint32_t* nextBlock_;
  int vertices_ = 0;
  int indices_ = 0;
  std::vector<uint32_t> numbers_;  // the file's number of each block written
  bool inRoad_ = false;
  int spanVertex_ = 0, spanIndex_ = 0;
  std::vector<RoadSpan> open_;
};

// What a ribbon is built with.
struct RibbonSettings {
  SceneOrigin origin;  // of the scene coordinates the vertices are written in
  // Image repeats along the line's shortest segment (0 counts as 1).
  int repeats = 1;
  // Longest piece of a quad along the road, map units (the grid's cell size): a longer segment
  // is cut into pieces whose corners all take the ground's height, so that the ribbon follows
  // the ground between the line's points instead of cutting through hills. 0: not cut.
  double step = 0;
  // Pieces with a corner outside the grid, or whose height is not a number (a hole), are left
  // out (there is no ground under them).
  GridExtent grid{};
  // Scene height of a map point.
  double (*height)(void* context, double x, double y) = nullptr;
  void* context = nullptr;
  // When above 0 and AddRibbon is given `rise`: the ground under each piece's edges is sampled
  // every sampleStep map units, and rise receives the most it stands above or below the piece
  // (it only grows: start it at 0).
  double sampleStep = 0;
};
constexpr int kMaxRoadPieces = 64;

// The least distance between consecutive points that are not equal; 0 when all are equal.
double ShortestSegment(const double* points, int32_t count);

// The image repeats along a segment: length / shortest × repeats, truncated, at least 1 and
// at most 32,767.
int RepeatsAlong(double length, double shortest, int repeats);

// Adds the quads of one road: centre is the (thinned) line, left and right its edges (the
// line offset by +width/2 and -width/2, point i of each belonging to point i of the line), all
// count points of x, y. Segment i gives the quads between points i and i + 1 of the edges; s
// runs from 0 (left) to 1 (right), t from 0 to RepeatsAlong at the segment's end. False only
// when writing failed.
bool AddRibbon(const double* centre, const double* left, const double* right, int32_t count,
               const RibbonSettings& settings, RoadBlockWriter& writer, double* rise = nullptr);

}  // namespace t3d

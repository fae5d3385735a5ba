// The loaded road layer as the overlay store keeps it: ribbons in fixed-size blocks of a
// temporary file, and the road image's file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_mapping.h"

namespace t3d {

// A road block: 32,768 bytes, block k at k × kBytes of the block file.
//   0   u16 vertex count
//   2   u16 index count
//   4   4 bytes 0
//   8   vertices, GL_T2F_N3F_V3F (s, t, normal x, y, z, position x, y, z as 32-bit floats)
//   29,960  16-bit indices
struct RoadBlock {
  static constexpr size_t kBytes = 32768;
  static constexpr size_t kVertexOffset = 8;
  static constexpr size_t kIndexOffset = 29960;
  static constexpr int kFloats = 8;
  static constexpr int kVertexCapacity = int((kIndexOffset - kVertexOffset) / (kFloats * 4));
  static constexpr int kIndexCapacity = int((kBytes - kIndexOffset) / 2);
  // A block is written out when, before a quad is added, it holds more than this many vertices:
  // 59 quads (236 vertices, 354 indices) fill a block.
  static constexpr int kFullAbove = 234;
};
static_assert(RoadBlock::kVertexCapacity == 936, "29,952 bytes of vertices");
static_assert(RoadBlock::kIndexCapacity == 1404, "2,808 bytes of indices");
static_assert(RoadBlock::kFullAbove + 2 <= RoadBlock::kVertexCapacity, "full blocks fit");

// A run of one road's quads inside one block: vertices and indices (the indices name vertices of
// the block, within the run).
struct RoadSpan {
  uint32_t block = 0;
  uint16_t firstVertex = 0, vertexCount = 0;
  uint16_t firstIndex = 0, indexCount = 0;
};

// One road: the map rectangle it covers (scene units: x min, y min, x max, y max) and its runs of
// quads in three sets: set 0 follows the ground cell by cell; set 1 is cut only every few cells;
// set 2 is the road thinned by thinTolerance (map units) and cut like set 1. The ground strays
// above or below the quads of sets 1 and 2 by at most rise[0] and rise[1] (scene units). A set
// is drawn where that is well within the lift of the road pass, and set 2 only where its
// thinning spans less than a pixel. A set that would be the same as the one before names the
// same runs.
struct RoadLine {
  float rect[4] = {0, 0, 0, 0};
  float rise[2] = {0, 0};
  uint32_t firstSpan[3] = {0, 0, 0};
  uint32_t spanCount[3] = {0, 0, 0};
};

// The loaded road layer. The block file is temporary and has no name in the file system: it goes
// when it is closed (unload, a failed load, the store's end) and with the process.
struct RoadData {
  platform::File blocks;
  uint32_t blockCount = 0;
  std::unique_ptr<uint8_t[]> blockBuffer;
  // The block file mapped for reading once it is written (invalid: blocks are read with ReadAt).
  platform::MappedView view;
  std::vector<RoadLine> lines;
  std::vector<RoadSpan> spans;
  double thinTolerance = 0;
  std::string imageFile;                // "" for the default road image
  // The named image was found unreadable (its message is shown once per load).
  bool imageRefused = false;

  bool loaded() const { return blocks.valid(); }
  // Closes the file and forgets everything.
  void Clear() {
    view.Reset();
    blocks.Close();
    blockCount = 0;
    blockBuffer.reset();
    lines.clear();
    spans.clear();
    thinTolerance = 0;
    imageFile.clear();
    imageRefused = false;
  }
};

}  // namespace t3d

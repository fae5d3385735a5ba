// Meshes for a host with 16-bit indices: runs of patches packed into batches that a 16-bit
// index can address, and the four vertex layouts the host may ask for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace t3d {

// The most vertices and indices one batch holds: every vertex must be reachable by an unsigned
// 16-bit index, and the counts are passed as unsigned 16-bit values.
constexpr size_t kMaxBatchVertices = 65535;
constexpr size_t kMaxBatchIndices = 65535;

// A batch: patches first .. last - 1 of the list it was planned over.
struct BatchSpan {
  size_t first, last;
};

// Packs patches, in order, into as few batches as the limits allow: a batch closes before the
// patch that would take it past either limit. A patch larger than the limits on its own cannot
// be drawn with 16-bit indices and is left out (it is in no batch).
std::vector<BatchSpan> PlanBatches(const std::vector<size_t>& vertexCounts,
                                   const std::vector<size_t>& indexCounts,
                                   size_t maxVertices = kMaxBatchVertices,
                                   size_t maxIndices = kMaxBatchIndices);

// Bytes of one vertex of a kind (1 to 4), 0 for any other kind.
size_t VertexKindBytes(int kind);

// Writes one vertex of the kind at out (VertexKindBytes(kind) bytes). colour: red, green,
// blue, alpha in 0..1 (kinds 1 and 3); st: texture coordinates (kinds 2 and 4). Kinds 3 and 4
// negate y (the Direct3D layouts' left-handed frame).
void WriteVertex(int kind, const float position[3], const float normal[3], const float colour[4],
                 const float st[2], uint8_t* out);

// The packed colour of kind 3: 0xFF000000 + red x 65536 + green x 256 + blue, each component
// trunc(c x 255).
uint32_t PackedColour(const float colour[4]);

}  // namespace t3d

#include "blockscene/mesh_batches.h"

#include <algorithm>
#include <cstring>

#include "base/trace.h"

namespace t3d {

std::vector<BatchSpan> PlanBatches(const std::vector<size_t>& vertexCounts,
                                   const std::vector<size_t>& indexCounts, size_t maxVertices,
                                   size_t maxIndices) {
  std::vector<BatchSpan> batches;
  const size_t n = std::min(vertexCounts.size(), indexCounts.size());
  size_t first = 0, vertices = 0, indices = 0;
  for (size_t k = 0; k < n; ++k) {
    const size_t v = vertexCounts[k], i = indexCounts[k];
    if (v > maxVertices || i > maxIndices) {
      // Cannot be addressed even alone: close the batch before it and leave it out.
      if (k > first) batches.push_back({first, k});
      first = k + 1;
      vertices = indices = 0;
      Trace("越界...!");
      continue;
    }
    if (vertices + v > maxVertices || indices + i > maxIndices) {
      if (k > first) batches.push_back({first, k});
      first = k;
      vertices = indices = 0;
    }
    vertices += v;
    indices += i;
  }
  if (n > first) batches.push_back({first, n});
  return batches;
}

size_t VertexKindBytes(int kind) {
  switch (kind) {
    case 1: return 40;
    case 2: return 32;
    case 3: return 28;
    case 4: return 32;
    default: return 0;
  }
}

uint32_t PackedColour(const float colour[4]) {
  auto component = [](float c) {
    const float v = c * 255;
    return uint32_t(v <= 0 ? 0 : (v >= 255 ? 255 : int(v)));
  };
  return 0xFF000000u + component(colour[0]) * 65536u + component(colour[1]) * 256u +
         component(colour[2]);
}

void WriteVertex(int kind, const float position[3], const float normal[3], const float colour[4],
                 const float st[2], uint8_t* out) {
  float* f = reinterpret_cast<float*>(out);
  switch (kind) {
    case 1:
      std::memcpy(f, colour, 4 * sizeof(float));
      std::memcpy(f + 4, normal, 3 * sizeof(float));
      std::memcpy(f + 7, position, 3 * sizeof(float));
      break;
    case 2:
      std::memcpy(f, st, 2 * sizeof(float));
      std::memcpy(f + 2, normal, 3 * sizeof(float));
      std::memcpy(f + 5, position, 3 * sizeof(float));
      break;
    case 3: {
      const float p[3] = {position[0], -position[1], position[2]};
      std::memcpy(f, p, sizeof p);
      std::memcpy(f + 3, normal, 3 * sizeof(float));
      const uint32_t packed = PackedColour(colour);
      std::memcpy(f + 6, &packed, sizeof packed);
      break;
    }
    case 4: {
      const float p[3] = {position[0], -position[1], position[2]};
      std::memcpy(f, p, sizeof p);
      std::memcpy(f + 3, normal, 3 * sizeof(float));
      std::memcpy(f + 6, st, 2 * sizeof(float));
      break;
    }
    default: break;
  }
}

}  // namespace t3d

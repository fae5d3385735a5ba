// The process-wide terrain area: the prepared grid in its disk-backed cell cache.
#pragma once

namespace t3d {

class TerrainArea {
 public:
  virtual ~TerrainArea() = default;
};

}  // namespace t3d

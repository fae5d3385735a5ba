// The process-wide overlay store: road, region and note layers with their files and font.
#pragma once

namespace t3d {

class OverlayStore {
 public:
  virtual ~OverlayStore() = default;
};

}  // namespace t3d

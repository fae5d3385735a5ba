// The process-wide texture store: the prepared terrain texture tiles.
#pragma once

namespace t3d {

class TextureStore {
 public:
  virtual ~TextureStore() = default;
};

}  // namespace t3d

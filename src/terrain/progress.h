// Progress of a pass over the grid: the host's progress bar when it handed one in, otherwise
// the DEM store's progress display.
#pragma once

#include "terrain3d/terrain3d.h"

namespace t3d {

class GridProgress {
 public:
  // title is shown by the store's display; a host bar shows no text.
  GridProgress(TnProgressControl bar, const char* title);
  ~GridProgress();
  GridProgress(const GridProgress&) = delete;
  GridProgress& operator=(const GridProgress&) = delete;

  // Starts a pass of steps steps; false when the display cannot be shown.
  bool Begin(int steps);
  // One step; true when the user asked to stop (the store's display only).
  bool Step();

 private:
  TnProgressControl bar_;
  const char* title_;
  bool storeDisplay_ = false;
};

}  // namespace t3d

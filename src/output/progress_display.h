// The progress display of an output, closed when it goes out of scope.
#pragma once

#include "services/dem_store.h"

namespace t3d {

class ProgressDisplay {
 public:
  ProgressDisplay(const char* title, const char* text, int count) {
    DemStoreProgressBegin(title, text);
    DemStoreProgressRange(0, count);
    DemStoreProgressStepSize(1);
  }
  ~ProgressDisplay() { DemStoreProgressEnd(); }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;
};

}  // namespace t3d

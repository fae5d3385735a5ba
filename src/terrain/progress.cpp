#include "terrain/progress.h"

#include "services/dem_store.h"

namespace t3d {

GridProgress::GridProgress(TnProgressControl bar, const char* title) : bar_(bar), title_(title) {}

GridProgress::~GridProgress() {
  if (storeDisplay_) DemStoreProgressEnd();
}

bool GridProgress::Begin(int steps) {
#if defined(_WIN32)
  (void)steps;
  return false;  // the Windows build drives its progress bar control through the platform layer
#else
  if (bar_ != nullptr) {
    if (bar_->setRange) bar_->setRange(bar_->user, 0, steps);
    if (bar_->setPos) bar_->setPos(bar_->user, 0);
    if (bar_->setStep) bar_->setStep(bar_->user, 1);
    return true;
  }
  if (DemStoreProgressBegin(title_, nullptr) == 0) return false;
  storeDisplay_ = true;
  DemStoreProgressRange(0, steps);
  return true;
#endif
}

bool GridProgress::Step() {
#if !defined(_WIN32)
  if (bar_ != nullptr) {
    if (bar_->stepIt) bar_->stepIt(bar_->user);
    return false;
  }
#endif
  if (!storeDisplay_) return false;
  DemStoreProgressStep();
  return DemStoreProgressCancelled() != 0;
}

}  // namespace t3d

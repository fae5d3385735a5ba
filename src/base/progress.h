// The progress display of long passes. Events go to the host's progress handler when one is
// installed; the default draws a bar on stderr when stderr is a terminal and stays silent
// otherwise, so a headless host never blocks.
#pragma once

#include "terrain3d/terrain3d.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The display as the DEM store offers it. Begin returns 0 when the display is not shown. */
int DemStoreProgressBegin(const char* title, const char* secondLine);
void DemStoreProgressRange(int low, int high);
void DemStoreProgressStepSize(int step);
void DemStoreProgressPos(int position);
void DemStoreProgressStep(void);
int DemStoreProgressCancelled(void);
void DemStoreProgressEnd(void);
void DemStoreSetProgressHandler(TnProgressHandler handler, void* user);

#ifdef __cplusplus
}

#include <string>

namespace t3d {

// What the default display shows for a title and its second line (or null): the library's
// titles in English, unless the user's locale is Chinese (UserReadsChinese).
std::string ProgressLine(const char* title, const char* secondLine);

// One pass of `steps` steps on a progress display, ended when the scope ends: the host's
// progress bar control when the call handed one in (it shows no text and cannot stop the
// pass), otherwise the store's display with a title and an optional second line.
//
// The rule for every long operation: when the host's progress handler answers the begin event
// with 0, shown() is false and the operation does not run: it fails as though the user had
// stopped it before its first step (nothing written, nothing applied) and says so in a trace
// line. The host's progress bar controls cannot refuse.
class ProgressScope {
 public:
  ProgressScope(const char* title, const char* text, int steps, TnProgressControl bar = nullptr);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

  // False when the display could not be shown (the passes that need it then fail).
  bool shown() const { return shown_; }
  // One step; true when the user asked to stop.
  bool Step();

 private:
  TnProgressControl bar_;
  bool storeDisplay_ = false;
  bool shown_ = false;
};

}  // namespace t3d
#endif

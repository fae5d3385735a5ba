// A clean end on Ctrl-C (SIGINT), SIGTERM and SIGHUP: the files a command is in the middle of
// writing are removed, and so is the program's own scratch folder, before the program ends with
// status 130 (128 + SIGINT; 143 and 129 for the others). The library's terrain cache has no name
// and goes with the process by itself.
#pragma once

#include <string>

namespace t3dhost {

// Blocks the signals in every thread (call it before any thread is started) and starts the
// thread that waits for them. Makes a scratch folder of its own inside the working directory
// (TERRAIN3D_WORK_DIR, else TMPDIR, else /tmp) and points TERRAIN3D_WORK_DIR at it, so that the
// library's temporary files (resampled images, texture libraries) land there; the folder is
// removed at the program's end, however it ends but by SIGKILL. False, with the reason on
// stderr, when the folder cannot be made.
bool InstallInterruptCleanup();

// The scratch folder (empty before InstallInterruptCleanup).
const std::string& ScratchFolder();

// A file being written: removed if the program is interrupted while the object lives.
class ScopedPendingFile {
 public:
  explicit ScopedPendingFile(std::string path);
  ~ScopedPendingFile();
  ScopedPendingFile(const ScopedPendingFile&) = delete;
  ScopedPendingFile& operator=(const ScopedPendingFile&) = delete;
  // The file is complete: an interrupt from now on leaves it.
  void Keep() const;

 private:
  std::string path_;
};

}  // namespace t3dhost

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

// A name beside finalPath for a file to be put in its place when complete: in the same folder
// (so that the move is a rename), unique to this program, ending in finalPath's extension (which
// some writers go by).
std::string DraftName(const std::string& finalPath);

// A file written beside its final name and put in its place only when complete, so that a
// failure or an interrupt leaves the file that was there before (or none), under DraftName.
// Removed if it is not put in place; Ctrl-C removes it too.
class DraftFile {
 public:
  explicit DraftFile(std::string finalPath);
  ~DraftFile();
  DraftFile(const DraftFile&) = delete;
  DraftFile& operator=(const DraftFile&) = delete;
  const std::string& path() const { return draft_; }
  // Moves the draft over the final name; false (the draft removed) when it cannot.
  bool PutInPlace();

 private:
  std::string final_, draft_;
  ScopedPendingFile pending_;
  bool placed_ = false;
};

}  // namespace t3dhost

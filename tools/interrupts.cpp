#include "interrupts.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

namespace t3dhost {
namespace {

std::mutex g_lock;
std::vector<std::string> g_pending;  // guarded by g_lock
std::string g_scratch;

// Removes the scratch folder with what the library left in it (files only: it makes no folders).
void RemoveScratch() {
  if (g_scratch.empty()) return;
  if (DIR* folder = ::opendir(g_scratch.c_str())) {
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") ::unlink((g_scratch + "/" + name).c_str());
    }
    ::closedir(folder);
  }
  ::rmdir(g_scratch.c_str());
}

// The signals the program ends cleanly on.
sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

// Waits for an ending signal, then removes the unfinished files and the scratch folder and ends
// the process at once (the other threads are stopped where they are; what they write goes with
// the removed names).
void WaitForSignal() {
  const sigset_t set = EndingSignals();
  int signal = 0;
  if (sigwait(&set, &signal) != 0) return;
  {
    const std::lock_guard<std::mutex> guard(g_lock);
    for (const std::string& path : g_pending) ::unlink(path.c_str());
    RemoveScratch();
  }
  std::fprintf(stderr, "\nterrain3d: interrupted; unfinished files removed\n");
  std::_Exit(128 + signal);
}

}  // namespace

bool InstallInterruptCleanup() {
  const sigset_t set = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::string base = "/tmp";
  if (const char* work = std::getenv("TERRAIN3D_WORK_DIR"); work != nullptr && *work != '\0')
    base = work;
  else if (const char* temporary = std::getenv("TMPDIR"); temporary != nullptr && *temporary != '\0')
    base = temporary;
  std::string pattern = base + "/terrain3d-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "terrain3d: cannot make a scratch folder in '%s'\n", base.c_str());
    return false;
  }
  g_scratch = pattern;
  ::setenv("TERRAIN3D_WORK_DIR", g_scratch.c_str(), 1);
  std::atexit([] {
    const std::lock_guard<std::mutex> guard(g_lock);
    RemoveScratch();
  });
  std::thread(WaitForSignal).detach();
  return true;
}

const std::string& ScratchFolder() { return g_scratch; }

ScopedPendingFile::ScopedPendingFile(std::string path) : path_(std::move(path)) {
  const std::lock_guard<std::mutex> guard(g_lock);
  g_pending.push_back(path_);
}

ScopedPendingFile::~ScopedPendingFile() { Keep(); }

void ScopedPendingFile::Keep() const {
  const std::lock_guard<std::mutex> guard(g_lock);
  const auto found = std::find(g_pending.rbegin(), g_pending.rend(), path_);
  if (found != g_pending.rend()) g_pending.erase(std::next(found).base());
}

}  // namespace t3dhost

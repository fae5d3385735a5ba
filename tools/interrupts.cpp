#include "interrupts.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include <dirent.h>
#include <pthread.h>
#include <unistd.h>

namespace t3dhost {
namespace {

std::mutex g_lock;
std::vector<std::string> g_pending;  // guarded by g_lock
std::string g_scratch;

// Removes a scratch folder with what the library left in it (files only: it makes no folders).
void RemoveFolder(const std::string& path) {
  if (DIR* folder = ::opendir(path.c_str())) {
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") ::unlink((path + "/" + name).c_str());
    }
    ::closedir(folder);
  }
  ::rmdir(path.c_str());
}

void RemoveScratch() {
  if (!g_scratch.empty()) RemoveFolder(g_scratch);
}

// Scratch folders are named "terrain3d-PID-XXXXXX" after the process that made them. A process
// killed outright (SIGKILL, a crash) cannot remove its own: the next run in the same place
// removes those of processes that no longer exist.
constexpr char kScratchPrefix[] = "terrain3d-";

// For the part "PID-REST" of a name this program makes (scratch folders, drafts): the length of
// "PID-" when it starts so and the process PID, another than this one, no longer exists; 0
// otherwise (its process may still run, or the name is of another form).
size_t GoneOwnerPrefix(const std::string& part) {
  const size_t dash = part.find('-');
  if (dash == 0 || dash == std::string::npos || part.find_first_not_of("0123456789") != dash)
    return 0;
  const long pid = std::strtol(part.substr(0, dash).c_str(), nullptr, 10);
  const bool gone = pid > 0 && pid != long(::getpid()) && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
  return gone ? dash + 1 : 0;
}

void RemoveStaleScratch(const std::string& base) {
  DIR* folder = ::opendir(base.c_str());
  if (folder == nullptr) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.compare(0, sizeof kScratchPrefix - 1, kScratchPrefix) != 0) continue;
    // PID, a dash, and the six characters mkdtemp chose.
    const std::string rest = name.substr(sizeof kScratchPrefix - 1);
    const size_t owner = GoneOwnerPrefix(rest);
    if (owner != 0 && rest.size() == owner + 6) stale.push_back(base + "/" + name);
  }
  ::closedir(folder);
  for (const std::string& path : stale) RemoveFolder(path);
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

// The thread that runs the commands, and the signal that holds it still before the files are
// removed: a file it created just after the removal would otherwise be left behind.
pthread_t g_mainThread;
constexpr int kHoldSignal = SIGUSR2;
std::atomic<bool> g_held{false};

void HoldStill(int) {
  g_held.store(true);
  for (;;) ::pause();
}

// Blocks the hold signal while the pending list is changed, so that the main thread is never
// held with the list's lock taken.
class ListGuard {
 public:
  ListGuard() {
    sigset_t hold;
    sigemptyset(&hold);
    sigaddset(&hold, kHoldSignal);
    pthread_sigmask(SIG_BLOCK, &hold, &before_);
    g_lock.lock();
  }
  ~ListGuard() {
    g_lock.unlock();
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  ListGuard(const ListGuard&) = delete;
  ListGuard& operator=(const ListGuard&) = delete;

 private:
  sigset_t before_;
};

// Waits for an ending signal, holds the main thread where it is, then removes the unfinished
// files and the scratch folder and ends the process at once (other threads only write into
// files that are open already, which go with the removed names).
void WaitForSignal() {
  const sigset_t set = EndingSignals();
  int signal = 0;
  if (sigwait(&set, &signal) != 0) return;
  if (pthread_kill(g_mainThread, kHoldSignal) == 0)
    for (int waited = 0; !g_held.load() && waited < 2000; ++waited) ::usleep(500);
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
  RemoveStaleScratch(base);
  std::string pattern = base + "/" + kScratchPrefix + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::fprintf(stderr, "terrain3d: cannot make a scratch folder in '%s'\n", base.c_str());
    return false;
  }
  g_scratch = pattern;
  g_mainThread = pthread_self();
  struct sigaction hold {};
  hold.sa_handler = &HoldStill;
  sigemptyset(&hold.sa_mask);
  sigaction(kHoldSignal, &hold, nullptr);
  ::setenv("TERRAIN3D_WORK_DIR", g_scratch.c_str(), 1);
  std::atexit([] {
    const ListGuard guard;
    RemoveScratch();
  });
  std::thread(WaitForSignal).detach();
  return true;
}

const std::string& ScratchFolder() { return g_scratch; }

ScopedPendingFile::ScopedPendingFile(std::string path) : path_(std::move(path)) {
  const ListGuard guard;
  g_pending.push_back(path_);
}

ScopedPendingFile::~ScopedPendingFile() { Keep(); }

void ScopedPendingFile::Keep() const {
  const ListGuard guard;
  const auto found = std::find(g_pending.rbegin(), g_pending.rend(), path_);
  if (found != g_pending.rend()) g_pending.erase(std::next(found).base());
}

namespace {

// Removes the drafts of one output (names "BASE.draft-PID-N...") that processes killed outright
// (SIGKILL, a crash) left in folder: those whose process no longer exists. Each folder is read
// once; only this output's drafts go (a name of this form beside another output is left alone).
void RemoveStaleDrafts(const std::string& folder, const std::string& base) {
  static std::mutex lock;
  static std::map<std::string, std::map<std::string, std::vector<std::string>>> folders;
  const std::lock_guard<std::mutex> guard(lock);
  auto known = folders.find(folder);
  if (known == folders.end()) {
    known = folders.emplace(folder, std::map<std::string, std::vector<std::string>>()).first;
    if (DIR* entries = ::opendir(folder.c_str())) {
      static const std::string kDraft = ".draft-";
      while (const dirent* entry = ::readdir(entries)) {
        const std::string name = entry->d_name;
        const size_t at = name.rfind(kDraft);
        if (at == std::string::npos || at == 0) continue;
        // PID, a dash, the draft's number and the extension.
        const std::string rest = name.substr(at + kDraft.size());
        const size_t owner = GoneOwnerPrefix(rest);
        if (owner != 0 && owner < rest.size() && std::isdigit(static_cast<unsigned char>(rest[owner])))
          known->second[name.substr(0, at)].push_back(name);
      }
      ::closedir(entries);
    }
  }
  const auto found = known->second.find(base);
  if (found == known->second.end()) return;
  for (const std::string& name : found->second) ::unlink((folder + "/" + name).c_str());
  known->second.erase(found);
}

}  // namespace

std::string DraftName(const std::string& finalPath) {
  static std::atomic<unsigned> counter{0};
  const size_t slash = finalPath.find_last_of('/');
  const size_t dot = finalPath.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? finalPath.substr(0, dot) : finalPath;
  const std::string extension = hasExtension ? finalPath.substr(dot) : "";
  // Drafts of this very output that a killed process left go now.
  RemoveStaleDrafts(slash == std::string::npos ? "." : (slash == 0 ? "/" : finalPath.substr(0, slash)),
                    slash == std::string::npos ? stem : stem.substr(slash + 1));
  return stem + ".draft-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + extension;
}

DraftFile::DraftFile(std::string finalPath)
    : final_(std::move(finalPath)), draft_(DraftName(final_)), pending_(draft_) {}

DraftFile::~DraftFile() {
  if (!placed_) ::unlink(draft_.c_str());
}

bool DraftFile::PutInPlace() {
  if (::rename(draft_.c_str(), final_.c_str()) != 0) {
    ::unlink(draft_.c_str());
    return false;
  }
  placed_ = true;
  return true;
}

}  // namespace t3dhost

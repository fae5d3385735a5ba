// Peak resident memory of this process while a piece of work runs, anonymous and file-backed
// apart (from /proc/self/smaps_rollup, sampled every 2 ms on a thread of its own): the terrain
// cache is a mapped file, so its clean pages count as file-backed and the library's own
// allocations as anonymous, and growth of either with the grid shows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace bench {

// The current anonymous and file-backed resident memory in KiB of the process whose
// smaps_rollup is at path; false where the kernel does not give it (or the process has gone).
inline bool ReadResidentMemoryAt(const char* path, long& anonymousKiB, long& fileKiB) {
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return false;
  long rss = -1, anonymous = -1;
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    long value = 0;
    if (std::sscanf(line, "Rss: %ld kB", &value) == 1) rss = value;
    else if (std::sscanf(line, "Anonymous: %ld kB", &value) == 1) anonymous = value;
  }
  std::fclose(file);
  if (rss < 0 || anonymous < 0) return false;
  anonymousKiB = anonymous;
  fileKiB = rss - anonymous;
  return true;
}

// The same for this process.
inline bool ReadResidentMemory(long& anonymousKiB, long& fileKiB) {
  return ReadResidentMemoryAt("/proc/self/smaps_rollup", anonymousKiB, fileKiB);
}

class MemorySampler {
 public:
  MemorySampler() : thread_([this] { Run(); }) {}
  ~MemorySampler() { Stop(); }
  MemorySampler(const MemorySampler&) = delete;
  MemorySampler& operator=(const MemorySampler&) = delete;

  // Stops sampling (a last sample is taken); the peaks stay.
  void Stop() {
    if (!thread_.joinable()) return;
    stop_.store(true);
    thread_.join();
  }
  long peakAnonymousKiB() const { return peakAnonymous_.load(); }
  long peakFileKiB() const { return peakFile_.load(); }

 private:
  void Sample() {
    long anonymous = 0, file = 0;
    if (!ReadResidentMemory(anonymous, file)) return;
    if (anonymous > peakAnonymous_.load()) peakAnonymous_.store(anonymous);
    if (file > peakFile_.load()) peakFile_.store(file);
  }
  void Run() {
    while (!stop_.load()) {
      Sample();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Sample();
  }

  std::atomic<bool> stop_{false};
  std::atomic<long> peakAnonymous_{0}, peakFile_{0};
  std::thread thread_;
};

}  // namespace bench

// A small pool of threads that share the chunks of one job at a time with the thread that runs
// it. The caller starts a job and may do other work meanwhile; when it finishes the job it runs
// the chunks nobody has taken yet itself and waits only for the chunks in progress on other
// threads. A helper that the system does not schedule in time therefore holds nothing up: on a
// machine busy with other work the caller does the job alone, as fast as one thread can.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace t3d {

class ChunkPool {
 public:
  // helpers: threads besides the caller (fewer when the system refuses some; 0 is allowed).
  explicit ChunkPool(int helpers);
  // Stops and joins the helpers; a job still running must have been finished before.
  ~ChunkPool();
  ChunkPool(const ChunkPool&) = delete;
  ChunkPool& operator=(const ChunkPool&) = delete;

  int helpers() const { return int(threads_.size()); }

  // Starts a job of `chunks` chunks: job(chunk, slot) runs once for every chunk, on a helper
  // (slots 1..helpers) or on the thread that finishes the job (slot 0); a slot is one thread,
  // so what a slot owns is never used by two chunks at once. Returns at once. The previous job
  // must have been finished.
  void Start(int chunks, std::function<void(int chunk, int slot)> job);
  // Runs the chunks not taken yet on this thread (slot 0), then waits for those in progress;
  // rethrows the first exception a chunk threw.
  void Finish();

 private:
  void Run(int slot);
  // Takes and runs one chunk (the lock held on entry and on return); false when none is left.
  bool RunOne(std::unique_lock<std::mutex>& lock, int slot);

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::function<void(int, int)> job_;
  int chunks_ = 0, next_ = 0, running_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> threads_;
};

}  // namespace t3d

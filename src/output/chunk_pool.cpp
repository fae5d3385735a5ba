#include "output/chunk_pool.h"

#include <system_error>

namespace t3d {

ChunkPool::ChunkPool(int helpers) {
  for (int slot = 1; slot <= helpers; ++slot) {
    try {
      threads_.emplace_back([this, slot] { Run(slot); });
    } catch (const std::system_error&) {
      break;  // fewer helpers: the caller runs what they would have
    }
  }
}

ChunkPool::~ChunkPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ChunkPool::Start(int chunks, std::function<void(int, int)> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
    chunks_ = chunks;
    next_ = 0;
    failure_ = nullptr;
  }
  wake_.notify_all();
}

bool ChunkPool::RunOne(std::unique_lock<std::mutex>& lock, int slot) {
  if (next_ >= chunks_) return false;
  const int chunk = next_++;
  ++running_;
  lock.unlock();
  std::exception_ptr failure;
  try {
    job_(chunk, slot);  // job_ stays as it is until the job is finished
  } catch (...) {
    failure = std::current_exception();
  }
  lock.lock();
  if (failure && !failure_) failure_ = failure;
  if (--running_ == 0 && next_ >= chunks_) done_.notify_all();
  return true;
}

void ChunkPool::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (RunOne(lock, 0)) {
  }
  done_.wait(lock, [this] { return running_ == 0; });
  chunks_ = next_ = 0;
  const std::exception_ptr failure = failure_;
  failure_ = nullptr;
  lock.unlock();
  if (failure) std::rethrow_exception(failure);
}

void ChunkPool::Run(int slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || next_ < chunks_; });
    if (stopping_) return;
    RunOne(lock, slot);
  }
}

}  // namespace t3d

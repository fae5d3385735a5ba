#include "output/frame_pipeline.h"

#include <cstring>
#include <utility>

namespace t3d {

FramePipeline::FramePipeline(size_t frameBytes, int slots, WriteFrame write)
    : write_(std::move(write)) {
  if (slots < 1) slots = 1;
  buffers_.resize(size_t(slots));
  for (int i = 0; i < slots; ++i) {
    buffers_[size_t(i)].resize(frameBytes);
    free_.push_back(i);
  }
  thread_ = std::thread([this] { Run(); });
}

FramePipeline::~FramePipeline() { Finish(); }

bool FramePipeline::Push(const uint8_t* frame) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return failed_ || finished_ || !free_.empty(); });
  if (failed_ || finished_) return false;
  const int slot = free_.back();
  free_.pop_back();
  lock.unlock();
  // The slot is this thread's until it is queued.
  std::memcpy(buffers_[size_t(slot)].data(), frame, buffers_[size_t(slot)].size());
  lock.lock();
  ready_.push_back(slot);
  changed_.notify_all();
  return true;
}

void FramePipeline::Run() {
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return closing_ || !ready_.empty(); });
    if (ready_.empty() || failed_) return;  // closing with nothing left, or after a failure
    const int slot = ready_.front();
    lock.unlock();
    const bool ok = write_(buffers_[size_t(slot)].data());
    lock.lock();
    ready_.pop_front();
    free_.push_back(slot);
    if (ok) {
      ++written_;
    } else {
      failed_ = true;
      ready_.clear();
    }
    changed_.notify_all();
    if (failed_) return;
  }
}

bool FramePipeline::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) return !failed_;
    closing_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = true;
  changed_.notify_all();
  return !failed_;
}

int FramePipeline::written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

}  // namespace t3d

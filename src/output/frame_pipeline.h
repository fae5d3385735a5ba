// Frames handed from the drawing thread to a writer on a thread of its own, so that encoding a
// frame overlaps drawing the next one.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace t3d {

// A writer thread fed with copies of a frame buffer. The write function runs only on the writer
// thread, one frame at a time and in the order the frames were pushed; it must not call into
// the host (messages, traces, progress), which belong to the host's thread. Once a write fails
// no further frame is written.
class FramePipeline {
 public:
  using WriteFrame = std::function<bool(const uint8_t* frame)>;

  // frameBytes: the size of every frame; slots: frames that may wait or be written at once (at
  // least 1). The buffers are taken here, before the first frame.
  FramePipeline(size_t frameBytes, int slots, WriteFrame write);
  // Waits for the frames pushed so far to be written.
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // Copies the frame and hands it to the writer, waiting while every slot is in use. False when
  // a write has failed (the frame is then not taken).
  bool Push(const uint8_t* frame);
  // Waits until every pushed frame is written (or a write failed) and ends the thread. True when
  // every frame was written.
  bool Finish();
  // Frames written so far.
  int written() const;

 private:
  void Run();

  WriteFrame write_;
  std::vector<std::vector<uint8_t>> buffers_;
  std::deque<int> ready_;  // slots holding frames to write, oldest first
  std::vector<int> free_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool closing_ = false, failed_ = false, finished_ = false;
  int written_ = 0;
  std::thread thread_;
};

}  // namespace t3d

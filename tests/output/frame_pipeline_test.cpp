// The writer thread of recordings: frames written in order from copies, a failed write stopping
// the rest, and waiting for the frames still queued.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "output/frame_pipeline.h"

namespace {

using t3d::FramePipeline;

TEST(FramePipeline, WritesCopiesInOrder) {
  std::vector<int> seen;
  std::thread::id writerThread;
  {
    FramePipeline pipeline(4, 2, [&](const uint8_t* frame) {
      writerThread = std::this_thread::get_id();
      // A slow writer: the pusher must wait for a free slot, never overwrite a queued frame.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      seen.push_back(frame[0] | frame[3] << 8);
      return true;
    });
    uint8_t frame[4];
    for (int k = 0; k < 20; ++k) {
      frame[0] = uint8_t(k);
      frame[3] = uint8_t(k);
      ASSERT_TRUE(pipeline.Push(frame));
      frame[0] = frame[3] = 0xEE;  // the caller reuses its buffer at once
    }
    EXPECT_TRUE(pipeline.Finish());
    EXPECT_EQ(pipeline.written(), 20);
    EXPECT_FALSE(pipeline.Push(frame));  // finished: nothing more is taken
  }
  ASSERT_EQ(seen.size(), 20u);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(seen[size_t(k)], k | k << 8);
  EXPECT_NE(writerThread, std::this_thread::get_id());
}

TEST(FramePipeline, AFailedWriteStopsTheRest) {
  std::atomic<int> calls{0};
  FramePipeline pipeline(1, 1, [&](const uint8_t* frame) {
    ++calls;
    return frame[0] != 3;
  });
  uint8_t frame[1];
  int pushed = 0;
  for (int k = 0; k < 10; ++k) {
    frame[0] = uint8_t(k);
    if (!pipeline.Push(frame)) break;
    ++pushed;
  }
  EXPECT_FALSE(pipeline.Finish());
  EXPECT_EQ(pipeline.written(), 3);
  EXPECT_EQ(calls.load(), 4);  // frames 0 to 3; nothing after the failure
  EXPECT_GE(pushed, 4);
  EXPECT_LT(pushed, 10);
}

TEST(FramePipeline, DestructionWaitsForQueuedFrames) {
  std::atomic<int> written{0};
  {
    FramePipeline pipeline(8, 3, [&](const uint8_t*) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ++written;
      return true;
    });
    const uint8_t frame[8] = {};
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(pipeline.Push(frame));
  }
  EXPECT_EQ(written.load(), 3);
}

}  // namespace

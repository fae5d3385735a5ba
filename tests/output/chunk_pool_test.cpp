// The chunk pool of the hill shade's CPU shading: every chunk of a job runs once and a slot is
// one thread; the caller finishing a job runs what nobody has taken instead of waiting for the
// helpers; a chunk's exception reaches the caller and leaves the pool usable.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "output/chunk_pool.h"

namespace {

using t3d::ChunkPool;

TEST(ChunkPool, EveryChunkRunsOnceAndASlotIsOneThread) {
  for (const int helpers : {0, 1, 3}) {
    ChunkPool pool(helpers);
    EXPECT_EQ(pool.helpers(), helpers);
    for (const int chunks : {0, 1, 7, 200}) {
      std::vector<std::atomic<int>> runs(static_cast<size_t>(chunks));
      std::mutex mutex;
      std::map<int, std::set<std::thread::id>> threadsOfSlot;
      pool.Start(chunks, [&](int chunk, int slot) {
        runs[size_t(chunk)]++;
        std::lock_guard<std::mutex> lock(mutex);
        threadsOfSlot[slot].insert(std::this_thread::get_id());
      });
      pool.Finish();
      for (int k = 0; k < chunks; ++k) EXPECT_EQ(runs[size_t(k)].load(), 1) << k;
      for (const auto& [slot, threads] : threadsOfSlot) {
        EXPECT_GE(slot, 0);
        EXPECT_LE(slot, helpers);
        EXPECT_EQ(threads.size(), 1u) << "slot " << slot;
        if (slot == 0) {
          EXPECT_EQ(*threads.begin(), std::this_thread::get_id());
        }
      }
    }
  }
}

// A helper held up inside its chunk does not hold up the others: the caller runs every chunk
// nobody has taken (here the helper's chunk waits until all the others are done).
TEST(ChunkPool, TheCallerRunsWhatTheHelpersHaveNotTaken) {
  ChunkPool pool(1);
  constexpr int kChunks = 50;
  std::mutex mutex;
  std::condition_variable changed;
  int doneByCaller = 0, takenByHelper = 0;
  bool helperSawTheRestDone = true;
  pool.Start(kChunks, [&](int, int slot) {
    std::unique_lock<std::mutex> lock(mutex);
    if (slot == 0) {
      ++doneByCaller;
      changed.notify_all();
      return;
    }
    ++takenByHelper;
    // Bounded, so that a pool that makes the caller wait fails instead of hanging.
    if (!changed.wait_for(lock, std::chrono::seconds(20),
                          [&] { return doneByCaller + takenByHelper == kChunks; }))
      helperSawTheRestDone = false;
  });
  pool.Finish();
  EXPECT_EQ(doneByCaller + takenByHelper, kChunks);
  EXPECT_TRUE(helperSawTheRestDone);
}

TEST(ChunkPool, AChunksExceptionReachesTheCallerAndThePoolGoesOn) {
  ChunkPool pool(2);
  std::atomic<int> ran{0};
  pool.Start(30, [&](int chunk, int) {
    ++ran;
    if (chunk == 17) throw std::runtime_error("chunk 17");
  });
  EXPECT_THROW(pool.Finish(), std::runtime_error);
  EXPECT_EQ(ran.load(), 30);  // the others still ran
  ran = 0;
  pool.Start(30, [&](int, int) { ++ran; });
  EXPECT_NO_THROW(pool.Finish());
  EXPECT_EQ(ran.load(), 30);
}

}  // namespace

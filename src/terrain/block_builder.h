// The block work of the terrain cache build, shared out over threads: one thread reads the DEM
// store block after block (the store is not made for several readers) and writes the cache in
// block order, while the cells of the blocks read ahead (heights, colour indices, normal codes,
// the edge fill inside the block) are computed by a small pool of threads. Internal to the
// terrain area's build.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "terrain/terrain_area.h"

namespace t3d {

// What the cells of a block are computed from, the same for every block of a build.
struct BlockCellParams {
  double zMin = 0;            // stands in for missing heights
  float zScale = 1, sceneRadius = 1;
  double cellWidth = 0, cellHeight = 0;
  ColouringParams colouring{};
  bool missingAsHoles = false;
};

// One block in flight: the store's heights and the edge values its border cells need, read by
// the reading thread, and the cells computed from them.
struct BlockSlot {
  uint32_t number = 0;
  int blockRow = 0, blockColumn = 0;
  int rowsInside = 0, colsInside = 0;  // rows and columns of the block inside the grid
  std::unique_ptr<double[]> heights;   // kBlockCells, as DemStoreReadBlock gives them
  double right[kBlockSide] = {};       // edge values right of column 255 (rows inside)
  double before[kBlockSide] = {};      // edge values of the row before row 0 (columns inside)
  std::unique_ptr<GridCell[]> cells;   // kBlockCells
  std::unique_ptr<uint8_t[]> missing;  // kBlockCells when building with holes: 1 = missing

  // False when the buffers cannot be had.
  bool Allocate(bool withMissing);
};

// Computes the cells of the slot's block from its heights and edge values: the cells inside the
// grid, and when the block has cells inside both ways, the positions beyond the last row and
// column (they copy the nearest cell inside). Blocks wholly beyond the grid's last row or column
// are left to FillBlockEdges with the cells kept from the blocks before them. Reads only the
// slot and the parameters, so slots are computed on any thread.
void ComputeBlockCells(BlockSlot& slot, const BlockCellParams& params);

// The edge fill of a block: positions right of the last column inside copy the cell before them
// (or, for a block wholly beyond the last column, lastColumnCells, the grid's last column in
// this block row); rows below the last row inside copy that row (or, for a block wholly below
// the grid, lastRowCells, the grid's last row in this block column).
void FillBlockEdges(GridCell* cells, int rowsInside, int colsInside, const GridCell* lastColumnCells,
                    const GridCell* lastRowCells);

// The worker count of a build that asks for none: the processor count, at most 8.
int DefaultBuildWorkers();

// A pool of threads running one job (the slot's number given) for slots handed to it in order.
// With workers threads in all, it starts workers - 1: the thread that waits for a slot runs
// queued jobs itself meanwhile, so one worker computes everything on the calling thread.
class BlockWorkers {
 public:
  BlockWorkers(int workers, std::function<void(size_t)> job, size_t slots);
  // Drops the jobs not started and joins the threads.
  ~BlockWorkers();
  BlockWorkers(const BlockWorkers&) = delete;
  BlockWorkers& operator=(const BlockWorkers&) = delete;

  // Queues the job of a slot (not queued or running already).
  void Submit(size_t slot);
  // Returns once the slot's job has run, running queued jobs on this thread while it waits.
  void Wait(size_t slot);

 private:
  void Run();

  std::function<void(size_t)> job_;
  std::mutex mutex_;
  std::condition_variable queued_, finished_;
  std::deque<size_t> queue_;
  std::vector<uint8_t> pending_;  // by slot: submitted and not yet run to the end
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace t3d

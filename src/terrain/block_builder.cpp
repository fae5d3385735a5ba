#include "terrain/block_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>

#include "adapters/dem_store.h"
#include "terrain/missing_cells.h"

namespace t3d {
namespace {

inline double CleanHeight(double value, double replacement) {
  return std::fabs(value) > DEM_MISSING_LIMIT ? replacement : value;
}

inline bool IsMissingHeight(double value) { return !(std::fabs(value) <= DEM_MISSING_LIMIT); }

}  // namespace

bool BlockSlot::Allocate(bool withMissing) {
  heights.reset(new (std::nothrow) double[kBlockCells]);
  cells.reset(new (std::nothrow) GridCell[kBlockCells]);
  if (withMissing) missing.reset(new (std::nothrow) uint8_t[kBlockCells]);
  return heights && cells && (!withMissing || missing);
}

void ComputeBlockCells(BlockSlot& slot, const BlockCellParams& params) {
  double* e = slot.heights.get();
  GridCell* c = slot.cells.get();
  uint8_t* missing = slot.missing.get();
  const bool holes = params.missingAsHoles;
  const int rowsInside = slot.rowsInside, colsInside = slot.colsInside;
  const double zMin = params.zMin;
  const float s = params.zScale, radius = params.sceneRadius;
  std::memset(static_cast<void*>(c), 0, kBlockBytes);

  // Heights and colour indices.
  for (int i = 0; i < rowsInside; ++i) {
    for (int j = 0; j < colsInside; ++j) {
      double& value = e[i * kBlockSide + j];
      if (holes) missing[i * kBlockSide + j] = IsMissingHeight(value) ? 1 : 0;
      value = CleanHeight(value, zMin);
      const float es = float(value) / s;
      GridCell& cell = c[i * kBlockSide + j];
      cell.height = es / radius;
      cell.colourIndex = DefaultColourIndex(cell.height, params.colouring);
    }
  }
  // Normals from the right and the previous-row neighbours.
  const double nz = params.cellWidth * params.cellHeight;
  for (int i = 0; i < rowsInside; ++i) {
    for (int j = 0; j < colsInside; ++j) {
      const double here = e[i * kBlockSide + j];
      const double rightRaw = j < kBlockSide - 1 ? e[i * kBlockSide + j + 1] : slot.right[i];
      const double beforeRaw = i >= 1 ? e[(i - 1) * kBlockSide + j] : slot.before[j];
      double right = CleanHeight(rightRaw, zMin);
      double before = CleanHeight(beforeRaw, zMin);
      GridCell& cell = c[i * kBlockSide + j];
      if (holes) {
        if (missing[i * kBlockSide + j] != 0) {
          MarkMissing(cell);
          continue;
        }
        // A missing neighbour does not tilt the ground beside a hole: the slope towards it is
        // taken as flat.
        const bool rightMissing =
            j + 1 < colsInside ? missing[i * kBlockSide + j + 1] != 0 : IsMissingHeight(rightRaw);
        const bool beforeMissing =
            i >= 1 ? missing[(i - 1) * kBlockSide + j] != 0 : IsMissingHeight(beforeRaw);
        if (rightMissing) right = here;
        if (beforeMissing) before = here;
      }
      // The codes do not depend on the normal's length: it is encoded unnormalised.
      const double nx = (here - right) * params.cellHeight / s;
      const double ny = (before - here) * params.cellWidth / s;
      EncodeNormal(nx, ny, nz, cell.azimuthCode, cell.elevationCode);
    }
  }
  if (rowsInside > 0 && colsInside > 0) FillBlockEdges(c, rowsInside, colsInside, nullptr, nullptr);
}

void FillBlockEdges(GridCell* c, int rowsInside, int colsInside, const GridCell* lastColumnCells,
                    const GridCell* lastRowCells) {
  for (int i = 0; i < rowsInside; ++i) {
    GridCell* row = c + i * kBlockSide;
    const GridCell fill = colsInside > 0 ? row[colsInside - 1] : lastColumnCells[i];
    std::fill(row + colsInside, row + kBlockSide, fill);
  }
  if (rowsInside < kBlockSide) {
    const GridCell* source = rowsInside > 0 ? c + (rowsInside - 1) * kBlockSide : lastRowCells;
    for (int i = rowsInside; i < kBlockSide; ++i)
      std::memcpy(static_cast<void*>(c + i * kBlockSide), source, kBlockSide * sizeof(GridCell));
  }
}

int DefaultBuildWorkers() {
  const unsigned processors = std::thread::hardware_concurrency();
  return int(std::clamp(processors, 1u, 8u));
}

BlockWorkers::BlockWorkers(int workers, std::function<void(size_t)> job, size_t slots)
    : job_(std::move(job)), pending_(slots, 0) {
  for (int t = 1; t < workers; ++t) {
    try {
      threads_.emplace_back([this] { Run(); });
    } catch (const std::system_error&) {
      break;  // fewer threads: the waiting thread runs what they would have
    }
  }
}

BlockWorkers::~BlockWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void BlockWorkers::Submit(size_t slot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_[slot] = 1;
    queue_.push_back(slot);
  }
  queued_.notify_one();
}

void BlockWorkers::Wait(size_t slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (pending_[slot] != 0) {
    if (queue_.empty()) {
      finished_.wait(lock);
      continue;
    }
    const size_t next = queue_.front();
    queue_.pop_front();
    lock.unlock();
    job_(next);
    lock.lock();
    pending_[next] = 0;
  }
}

void BlockWorkers::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const size_t next = queue_.front();
    queue_.pop_front();
    lock.unlock();
    job_(next);
    lock.lock();
    pending_[next] = 0;
    finished_.notify_all();
  }
}

}  // namespace t3d

#include "terrain/flood_labels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/progress.h"

namespace t3d {
namespace {

const char kFloodTitle[] = "洪水淹没分析进度:";
const char kClearTitle[] = "恢复...";

// The labels a pass has overwritten, block by block, so that a stopped pass can put them back.
// Blocks whose labels were all 0 (the common case: a grid not analysed before) keep no copy.
class LabelUndo {
 public:
  // Overwrites the labels of block `number` (cells) with label(i) for each in-block position i,
  // remembering the former ones.
  template <typename Label>
  void Rewrite(uint32_t number, GridCell* cells, Label label) {
    uint8_t any = 0;
    for (uint32_t i = 0; i < kBlockCells; ++i) {
      const uint8_t old = cells[i].label;
      scratch_[i] = old;
      any |= old;
      cells[i].label = label(i);
    }
    blocks_.push_back(Entry{number, any != 0 ? saved_.size() : kNone});
    if (any != 0) saved_.insert(saved_.end(), scratch_.begin(), scratch_.end());
  }
  // Puts back the labels of every block rewritten so far.
  void Restore(TerrainArea& area) const {
    for (const Entry& entry : blocks_) {
      GridCell* cells = area.BlockCells(entry.number);
      if (cells == nullptr) continue;
      for (uint32_t i = 0; i < kBlockCells; ++i)
        cells[i].label = entry.offset == kNone ? 0 : saved_[entry.offset + i];
    }
  }

 private:
  static constexpr size_t kNone = ~size_t(0);
  struct Entry {
    uint32_t number;
    size_t offset;  // of its labels in saved_, or kNone when they were all 0
  };
  std::vector<Entry> blocks_;
  std::vector<uint8_t> saved_;
  std::vector<uint8_t> scratch_ = std::vector<uint8_t>(kBlockCells);
};

// Runs label(cells, P, Q) -> per-cell label over every block, one progress step after each block
// row (before(P) may take steps of its own first: true from it stops the pass). All or nothing.
template <typename Before, typename Label>
bool RelabelBlocks(TerrainArea& area, ProgressScope& display, bool stepPerBlockRow, Before before,
                   Label label) {
  if (!display.shown()) return false;
  LabelUndo undo;
  for (uint32_t p = 0; p < area.blockRows(); ++p) {
    if (before(p)) {
      undo.Restore(area);
      return false;
    }
    for (uint32_t q = 0; q < area.blockColumns(); ++q) {
      const uint32_t number = p * area.blockColumns() + q;
      GridCell* cells = area.BlockCells(number);
      if (cells == nullptr) continue;
      undo.Rewrite(number, cells, [&](uint32_t i) { return label(cells, p, q, i); });
    }
    if (stepPerBlockRow && display.Step()) {
      undo.Restore(area);
      return false;
    }
  }
  return true;
}

}  // namespace

bool MarkSubmerged(TerrainArea& area, float waterLevel, TnProgressControl progress) {
  ProgressScope display(kFloodTitle, nullptr, int(area.blockRows()), progress);
  return RelabelBlocks(area, display, true, [](uint32_t) { return false; },
                       [waterLevel](const GridCell* cells, uint32_t, uint32_t, uint32_t i) {
                         return cells[i].height <= waterLevel ? kLabelSubmerged : uint8_t(0);
                       });
}

bool WriteHostLabels(TerrainArea& area, const uint8_t* labels, size_t count,
                     TnProgressControl progress) {
  const int rows = area.rows(), columns = area.columns();
  if (labels == nullptr || rows <= 0 || columns <= 0 || count / size_t(columns) < size_t(rows))
    return false;
  ProgressScope display(kFloodTitle, nullptr, 9, progress);
  // A step before every grid row whose number is a multiple of `every`.
  const int every = std::max(1, rows / 8);
  const auto before = [&](uint32_t p) {
    const int first = int(p) * kBlockSide, last = std::min(rows - 1, first + kBlockSide - 1);
    for (int r = (first + every - 1) / every * every; r <= last; r += every)
      if (display.Step()) return true;
    return false;
  };
  // Positions beyond the grid copy the nearest cell inside it, as the build fills them.
  return RelabelBlocks(area, display, false, before,
                       [&](const GridCell*, uint32_t p, uint32_t q, uint32_t i) {
                         const int r = std::min(rows - 1, int(p) * kBlockSide + int(i / kBlockSide));
                         const int c = std::min(columns - 1, int(q) * kBlockSide + int(i % kBlockSide));
                         return labels[size_t(r) * size_t(columns) + size_t(c)];
                       });
}

bool ClearLabels(TerrainArea& area, TnProgressControl progress) {
  ProgressScope display(kClearTitle, nullptr, int(area.blockRows()), progress);
  return RelabelBlocks(area, display, true, [](uint32_t) { return false; },
                       [](const GridCell*, uint32_t, uint32_t, uint32_t) { return uint8_t(0); });
}

}  // namespace t3d

#include "terrain/flood_labels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/progress.h"
#include "terrain/map_areas.h"

namespace t3d {
namespace {

const char kFloodTitle[] = "洪水淹没分析进度:";
const char kClearTitle[] = "恢复...";

// The labels a pass has overwritten, block by block, so that a stopped pass can put them back.
// Only changed labels are kept: a block whose labels stay as they were (the same level analysed
// again, a grid not analysed before being cleared) keeps nothing, one with few changes keeps
// their positions and former labels, and one with many keeps a copy of all its labels.
class LabelUndo {
 public:
  // Overwrites the labels of block `number` (cells) with label(i) for each in-block position i,
  // remembering the former ones that change.
  template <typename Label>
  void Rewrite(uint32_t number, GridCell* cells, Label label) {
    // A first pass only counts the changes (the common case of none writes nothing: a write to
    // a clean page of the cache costs a page fault); a second one writes them.
    uint32_t changed = 0;
    for (uint32_t i = 0; i < kBlockCells; ++i) changed += cells[i].label != label(i) ? 1 : 0;
    if (changed == 0) return;
    for (uint32_t i = 0; i < kBlockCells; ++i) {
      scratch_[i] = cells[i].label;
      cells[i].label = label(i);
    }
    if (changed < kBlockCells / 3) {
      blocks_.push_back(Entry{number, false, changes_.size(), changed});
      for (uint32_t i = 0; i < kBlockCells; ++i)
        if (scratch_[i] != cells[i].label) changes_.push_back(Change{uint16_t(i), scratch_[i]});
    } else {
      blocks_.push_back(Entry{number, true, copies_.size(), kBlockCells});
      copies_.insert(copies_.end(), scratch_.begin(), scratch_.end());
    }
  }
  // Puts back the labels of every block rewritten so far.
  void Restore(TerrainArea& area) const {
    for (const Entry& entry : blocks_) {
      GridCell* cells = area.BlockCells(entry.number);
      if (cells == nullptr) continue;
      for (uint32_t k = 0; k < entry.count; ++k) {
        if (entry.whole) {
          cells[k].label = copies_[entry.offset + k];
        } else {
          const Change& change = changes_[entry.offset + k];
          cells[change.position].label = change.label;
        }
      }
    }
  }

 private:
  struct Change {
    uint16_t position;
    uint8_t label;
  };
  struct Entry {
    uint32_t number;
    bool whole;     // a copy of every label in copies_, or `count` changes in changes_
    size_t offset;
    uint32_t count;
  };
  std::vector<Entry> blocks_;
  std::vector<Change> changes_;
  std::vector<uint8_t> copies_;
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
  // Every label was rewritten: the map areas' labels are gone, so are the areas.
  area.mapAreas().EndAll(area);
  return true;
}

}  // namespace

bool MarkSubmerged(TerrainArea& area, float waterLevel, TnProgressControl progress) {
  ProgressScope display(kFloodTitle, nullptr, int(area.blockRows()), progress);
  if (!display.shown()) return false;
  using State = TerrainArea::BlockFloodState;
  LabelUndo undo;
  for (uint32_t p = 0; p < area.blockRows(); ++p) {
    for (uint32_t q = 0; q < area.blockColumns(); ++q) {
      const uint32_t number = p * area.blockColumns() + q;
      State& state = area.floodState(number);
      // A block the last analysis left all dry or all submerged, wholly above or below the new
      // level, keeps its labels: only the blocks the level crosses are read.
      if (state.ranged && !state.missing &&
          ((state.labels == TerrainArea::kFloodLabelsSubmerged && state.high <= waterLevel) ||
           (state.labels == TerrainArea::kFloodLabelsDry && state.low > waterLevel)))
        continue;
      GridCell* cells = area.BlockCells(number);
      if (cells == nullptr) {
        state.labels = TerrainArea::kFloodLabelsUnknown;
        continue;
      }
      if (!state.ranged) {
        float low = cells[0].height, high = cells[0].height;
        bool missing = false;
        for (uint32_t i = 0; i < kBlockCells; ++i) {
          const float h = cells[i].height;
          missing |= h != h;
          low = h < low ? h : low;
          high = h > high ? h : high;
        }
        state = State{low, high, true, missing || low != low || high != high, 0};
      }
      undo.Rewrite(number, cells, [&](uint32_t i) {
        return cells[i].height <= waterLevel ? kLabelSubmerged : uint8_t(0);
      });
      state.labels = state.missing ? TerrainArea::kFloodLabelsUnknown
                     : state.high <= waterLevel ? TerrainArea::kFloodLabelsSubmerged
                     : state.low > waterLevel   ? TerrainArea::kFloodLabelsDry
                                                : TerrainArea::kFloodLabelsUnknown;
    }
    if (display.Step()) {
      undo.Restore(area);
      area.ForgetFloodLabels();
      return false;
    }
  }
  area.mapAreas().EndAll(area);
  return true;
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
  area.ForgetFloodLabels();
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
  area.ForgetFloodLabels();
  return RelabelBlocks(area, display, true, [](uint32_t) { return false; },
                       [](const GridCell*, uint32_t, uint32_t, uint32_t) { return uint8_t(0); });
}

}  // namespace t3d

#include "terrain/map_areas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "adapters/map_file.h"
#include "base/progress.h"

namespace t3d {
namespace {

const char kLoadTitle[] = "正在装入区数据...";
const char kUnloadTitle[] = "正在卸载区数据...:";

// A ring edge that is not horizontal, from its lower end up.
struct Edge {
  double yLow, yHigh, xAtLow, slope;
};

// The first column whose map x is at or after x (columnCount when none is), computed with the
// same arithmetic as the columns' own x so that a point on an edge is decided exactly.
int32_t FirstColumnAtOrAfter(const GridExtent& grid, double x) {
  const double x0 = grid.xMin, dx = grid.cellSizeX;
  const int32_t columns = grid.columnCount;
  if (x <= x0) return 0;
  if (x > x0 + double(columns - 1) * dx) return columns;
  int32_t c = int32_t(std::ceil((x - x0) / dx));
  c = std::clamp(c, int32_t(0), columns - 1);
  while (c > 0 && x0 + double(c - 1) * dx >= x) --c;
  while (c < columns && x0 + double(c) * dx < x) ++c;
  return c;
}

// The same for rows and y.
int32_t FirstRowAtOrAfter(const GridExtent& grid, double y) {
  const double y0 = grid.yMin, dy = grid.cellSizeY;
  const int32_t rows = grid.rowCount;
  if (y <= y0) return 0;
  if (y > y0 + double(rows - 1) * dy) return rows;
  int32_t r = int32_t(std::ceil((y - y0) / dy));
  r = std::clamp(r, int32_t(0), rows - 1);
  while (r > 0 && y0 + double(r - 1) * dy >= y) --r;
  while (r < rows && y0 + double(r) * dy < y) ++r;
  return r;
}

// Paints span s over the disjoint spans of one row (sorted by column): s covers what it meets.
void PaintOver(std::vector<MapAreaSpan>& row, const MapAreaSpan& s) {
  const int32_t sLast = s.first + s.count - 1;
  std::vector<MapAreaSpan> next;
  next.reserve(row.size() + 2);
  for (const MapAreaSpan& e : row) {
    const int32_t eLast = e.first + e.count - 1;
    if (eLast < s.first || e.first > sLast) {
      next.push_back(e);
      continue;
    }
    if (e.first < s.first) next.push_back({e.row, e.first, s.first - e.first, e.label, e.colour});
    if (eLast > sLast) next.push_back({e.row, sLast + 1, eLast - sLast, e.label, e.colour});
  }
  next.push_back(s);
  std::sort(next.begin(), next.end(),
            [](const MapAreaSpan& a, const MapAreaSpan& b) { return a.first < b.first; });
  row.swap(next);
}

// The block rows spanned by rows first..last, for one progress step per block row.
int BlockRowSteps(int32_t first, int32_t last) {
  return last < first ? 1 : int(last / kBlockSide - first / kBlockSide + 1);
}

}  // namespace

std::vector<MapAreaSpan> RasteriseRings(const GridExtent& grid, const double* points,
                                        const int32_t* ringCounts, int32_t ringCount) {
  std::vector<MapAreaSpan> spans;
  if (points == nullptr || ringCounts == nullptr || ringCount <= 0 || grid.rowCount <= 0 ||
      grid.columnCount <= 0 || !(grid.cellSizeX > 0) || !(grid.cellSizeY > 0))
    return spans;
  std::vector<Edge> edges;
  double yMin = std::numeric_limits<double>::infinity(), yMax = -yMin;
  const double* ring = points;
  for (int32_t k = 0; k < ringCount; ++k) {
    const int32_t count = ringCounts[k];
    if (count < 0) return {};
    for (int32_t i = 0; i < count; ++i) {
      // The ring's last edge runs back to its first point (a no-op edge when it is closed).
      const double* a = ring + 2 * i;
      const double* b = ring + 2 * ((i + 1) % count);
      if (!std::isfinite(a[0]) || !std::isfinite(a[1])) return {};
      if (a[1] == b[1]) continue;
      const double* low = a[1] < b[1] ? a : b;
      const double* high = a[1] < b[1] ? b : a;
      edges.push_back({low[1], high[1], low[0], (high[0] - low[0]) / (high[1] - low[1])});
      yMin = std::min(yMin, low[1]);
      yMax = std::max(yMax, high[1]);
    }
    ring += 2 * size_t(count);
  }
  if (edges.empty()) return spans;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.yLow < b.yLow; });

  // Rows whose y lies in [yMin, yMax): an edge counts for y when yLow <= y < yHigh.
  const int32_t firstRow = FirstRowAtOrAfter(grid, yMin);
  const int32_t endRow = FirstRowAtOrAfter(grid, yMax);
  std::vector<const Edge*> active;
  std::vector<double> crossings;
  size_t nextEdge = 0;
  for (int32_t r = firstRow; r < endRow; ++r) {
    const double y = double(grid.yMin) + double(r) * double(grid.cellSizeY);
    while (nextEdge < edges.size() && edges[nextEdge].yLow <= y) active.push_back(&edges[nextEdge++]);
    active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->yHigh <= y; }),
                 active.end());
    crossings.clear();
    for (const Edge* e : active) crossings.push_back(e->xAtLow + (y - e->yLow) * e->slope);
    std::sort(crossings.begin(), crossings.end());
    for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
      // Columns whose x lies in [left, right).
      const int32_t first = FirstColumnAtOrAfter(grid, crossings[i]);
      const int32_t end = FirstColumnAtOrAfter(grid, crossings[i + 1]);
      if (end <= first) continue;
      if (!spans.empty() && spans.back().row == r && spans.back().first + spans.back().count >= first)
        spans.back().count = std::max(spans.back().count, end - spans.back().first);
      else
        spans.push_back({r, first, end - first, 0, 0});
    }
  }
  return spans;
}

size_t MapAreas::Area::Find(int32_t row, int32_t column) const {
  auto it = std::upper_bound(spans.begin(), spans.end(), std::make_pair(row, column),
                             [](const std::pair<int32_t, int32_t>& key, const MapAreaSpan& s) {
                               return key.first < s.row || (key.first == s.row && key.second < s.first);
                             });
  if (it == spans.begin()) return SIZE_MAX;
  --it;
  if (it->row != row || column >= it->first + it->count) return SIZE_MAX;
  return saved[size_t(it - spans.begin())] + size_t(column - it->first);
}

bool MapAreas::Load(TerrainArea& area, const GridExtent& grid, uint16_t slot,
                    TnProgressControl progress, MapAreaSummary* summary) {
  MapAreaSummary local;
  MapAreaSummary& sum = summary != nullptr ? *summary : local;
  sum = MapAreaSummary{};
  int32_t first = 0, n = 0;
  if (BaseGetRecordRange(slot, &first, &n) != MAP_OK || n <= 1) return true;  // nothing to burn
  sum.regions = n - 1;
  ProgressScope scope(kLoadTitle, nullptr, n - 1, progress);
  if (!scope.shown()) return false;

  const double gridBox[4] = {grid.xMin, grid.yMin, grid.xMax, grid.yMax};
  std::vector<MapAreaSpan> all;
  for (int32_t record = 1; record < n; ++record) {
    if (scope.Step()) return false;  // stopped before anything was written
    double box[4];
    if (BaseGetRegionExtent(slot, record, box) != MAP_OK) {
      ++sum.unreadable;
      continue;
    }
    if (box[0] > gridBox[2] || gridBox[0] > box[2] || box[1] > gridBox[3] || gridBox[1] > box[3]) {
      ++sum.outside;
      continue;
    }
    int32_t colourNumber = MAP_NO_COLOUR;
    if (BaseGetRegionColor(slot, record, &colourNumber) != MAP_OK || colourNumber < 0) {
      ++sum.noColour;
      continue;
    }
    const int32_t areaClass = (colourNumber >> 8) & 0xFF;
    if (areaClass >= kMapAreaClasses) {
      ++sum.classTooHigh;
      continue;
    }
    double* points = nullptr;
    int32_t* ringCounts = nullptr;
    int32_t rings = 0;
    if (BaseGetRegionRings(slot, record, &points, &ringCounts, &rings) != MAP_OK || rings <= 0) {
      ++sum.unreadable;
      continue;
    }
    std::vector<MapAreaSpan> spans = RasteriseRings(grid, points, ringCounts, rings);
    if (spans.empty()) {
      ++sum.outside;
      continue;
    }
    ++sum.burnt;
    for (MapAreaSpan& s : spans) {
      s.label = uint8_t(kFirstMapAreaLabel + areaClass);
      s.colour = uint8_t(colourNumber & 0xFF);
      all.push_back(s);
    }
  }

  // Later regions of the file cover earlier ones: paint each row's spans in file order.
  std::stable_sort(all.begin(), all.end(),
                   [](const MapAreaSpan& a, const MapAreaSpan& b) { return a.row < b.row; });
  Area added;
  added.slot = slot;
  std::vector<MapAreaSpan> row;
  for (size_t i = 0; i < all.size();) {
    row.clear();
    size_t j = i;
    for (; j < all.size() && all[j].row == all[i].row; ++j) PaintOver(row, all[j]);
    added.spans.insert(added.spans.end(), row.begin(), row.end());
    i = j;
  }
  size_t cells = 0;
  for (const MapAreaSpan& s : added.spans) cells += size_t(s.count);
  // Every allocation before the first write: a failure leaves the grid as it was.
  added.saved.reserve(added.spans.size());
  added.formerLabel.reserve(cells);
  added.formerColour.reserve(cells);
  areas_.reserve(areas_.size() + 1);
  for (const MapAreaSpan& s : added.spans) {
    added.saved.push_back(added.formerLabel.size());
    for (int32_t c = s.first; c < s.first + s.count; ++c) {
      GridCell& cell = area.GetCell(s.row, c);
      added.formerLabel.push_back(cell.label);
      added.formerColour.push_back(cell.colourIndex);
      cell.label = s.label;
      cell.colourIndex = s.colour;
    }
  }
  sum.cells = int64_t(cells);
  area.ForgetFloodLabels();
  areas_.push_back(std::move(added));
  return true;
}

bool MapAreas::Unload(TerrainArea& area, uint16_t slot) {
  size_t k = areas_.size();
  while (k > 0 && areas_[k - 1].slot != slot) --k;
  if (k == 0) return false;
  const Area& gone = areas_[k - 1];
  const int32_t firstRow = gone.spans.empty() ? 0 : gone.spans.front().row;
  const int32_t lastRow = gone.spans.empty() ? 0 : gone.spans.back().row;
  ProgressScope scope(kUnloadTitle, nullptr, BlockRowSteps(firstRow, lastRow));
  if (!scope.shown()) return false;
  // An unload always runs to its end (half an area given back would be neither state).
  int32_t blockRow = firstRow / kBlockSide;
  for (size_t i = 0; i < gone.spans.size(); ++i) {
    const MapAreaSpan& s = gone.spans[i];
    for (; blockRow < s.row / kBlockSide; ++blockRow) scope.Step();
    for (int32_t c = s.first; c < s.first + s.count; ++c) {
      const size_t j = gone.saved[i] + size_t(c - s.first);
      // The next area loaded over this cell takes over the former values, if one did.
      Area* over = nullptr;
      size_t at = SIZE_MAX;
      for (size_t m = k; m < areas_.size() && over == nullptr; ++m)
        if ((at = areas_[m].Find(s.row, c)) != SIZE_MAX) over = &areas_[m];
      if (over != nullptr) {
        over->formerLabel[at] = gone.formerLabel[j];
        over->formerColour[at] = gone.formerColour[j];
        continue;
      }
      GridCell& cell = area.GetCell(s.row, c);
      cell.label = gone.formerLabel[j];
      cell.colourIndex = gone.formerColour[j];
    }
  }
  area.ForgetFloodLabels();
  areas_.erase(areas_.begin() + std::ptrdiff_t(k - 1));
  return true;
}

void MapAreas::Repaint(TerrainArea& area) {
  for (Area& a : areas_) {
    for (size_t i = 0; i < a.spans.size(); ++i) {
      const MapAreaSpan& s = a.spans[i];
      for (int32_t c = s.first; c < s.first + s.count; ++c) {
        GridCell& cell = area.GetCell(s.row, c);
        a.formerColour[a.saved[i] + size_t(c - s.first)] = cell.colourIndex;
        cell.colourIndex = s.colour;
      }
    }
  }
}

void MapAreas::EndAll(TerrainArea& area) {
  for (auto a = areas_.rbegin(); a != areas_.rend(); ++a) {
    for (size_t i = 0; i < a->spans.size(); ++i) {
      const MapAreaSpan& s = a->spans[i];
      for (int32_t c = s.first; c < s.first + s.count; ++c)
        area.GetCell(s.row, c).colourIndex = a->formerColour[a->saved[i] + size_t(c - s.first)];
    }
  }
  areas_.clear();
}

bool MapAreas::loaded(uint16_t slot) const {
  return std::any_of(areas_.begin(), areas_.end(), [slot](const Area& a) { return a.slot == slot; });
}

}  // namespace t3d

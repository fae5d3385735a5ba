// Where the hill shade's samples come from: the prepared grid's cells, row by row, one pixel a
// node or resampled bilinearly. Internal to the hill-shade output.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "model/scene_state.h"
#include "terrain/missing_cells.h"
#include "terrain/terrain_area.h"

namespace t3d {

// Samples of a run of one picture row, one array per component: scene height, normal and height
// class.
struct RowSamples {
  std::vector<double> height;
  std::vector<float> nx, ny, nz;
  std::vector<uint8_t> heightClass;
  std::vector<uint8_t> hole;  // 1 where a node the sample comes from is missing
  void Resize(size_t count) {
    height.resize(count);
    nx.resize(count);
    ny.resize(count);
    nz.resize(count);
    heightClass.resize(count);
    hole.resize(count);
  }
};

// Where the samples of the picture come from: pixel (column, row), row 0 at the bottom. Rows are
// read from the terrain cache a run of cells at a time.
class SampleGrid {
 public:
  SampleGrid(const SceneState& state, TerrainArea& area, int width, int height)
      : state_(state), area_(area) {
    exact_ = width == state.columnCount && height == state.rowCount;
    stepX_ = exact_ ? state.cellSizeX : (double(state.xMax) - state.xMin) / (width - 1);
    stepY_ = exact_ ? state.cellSizeY : (double(state.yMax) - state.yMin) / (height - 1);
    if (!exact_) {
      // The node column left of each column's sample, and the sample's place across the cell.
      const double dx = state.cellSizeX;
      sourceColumn_.resize(size_t(width));
      fractionX_.resize(size_t(width));
      for (int i = 0; i < width; ++i) {
        const double x = X(i);
        const int c = std::clamp(int((x - state.xMin) / dx), 0, state.columnCount - 2);
        sourceColumn_[size_t(i)] = c;
        fractionX_[size_t(i)] = std::clamp((x - (state.xMin + c * dx)) / dx, 0.0, 1.0);
      }
    }
  }
  bool exact() const { return exact_; }
  TerrainArea& area() const { return area_; }
  double stepX() const { return stepX_; }
  double stepY() const { return stepY_; }
  double X(int column) const { return state_.xMin + column * stepX_; }
  double Y(int row) const { return state_.yMin + row * stepY_; }

  // The node columns the samples of picture columns c0..c1 are taken from.
  int SourceColumns(int c0, int c1) const {
    return exact_ ? c1 - c0 + 1 : sourceColumn_[size_t(c1)] + 2 - sourceColumn_[size_t(c0)];
  }
  // The last picture column from c0 on (at most c1) whose samples, with c0's, come from at most
  // `columns` node columns; c0 itself at least.
  int LastColumnWithin(int c0, int c1, int columns) const {
    if (exact_) return std::min(c1, c0 + columns - 1);
    // Samples of column c come from node columns sourceColumn_[c] and the one after it.
    const auto begin = sourceColumn_.begin();
    const auto end =
        std::upper_bound(begin + c0, begin + c1 + 1, sourceColumn_[size_t(c0)] + columns - 2);
    return std::max(c0, int(end - begin) - 1);
  }

  // The node rows the samples of picture rows r0..r1 are taken from, and the node columns of
  // picture columns c0..c1 (SampleRow reads no others).
  void NodeRows(int r0, int r1, int& first, int& last) const {
    if (exact_) {
      first = r0;
      last = r1;
      return;
    }
    first = NodeRowBelow(r0);
    last = NodeRowBelow(r1) + 1;
  }
  void NodeColumns(int c0, int c1, int& first, int& last) const {
    first = exact_ ? c0 : sourceColumn_[size_t(c0)];
    last = exact_ ? c1 : sourceColumn_[size_t(c1)] + 1;
  }

  // The samples of columns c0..c1 of picture row `row`, into out (index 0 for c0). The
  // node-exact form takes each node's own height, normal and colour index; the resampled form
  // interpolates height and normal bilinearly between the four nodes around the sample and
  // classes the height.
  void SampleRow(int row, int c0, int c1, RowSamples& out) {
    const int count = c1 - c0 + 1;
    out.Resize(size_t(count));
    if (exact_) {
      lower_.resize(size_t(count));
      area_.CopyRow(row, c0, count, lower_.data());
      for (int i = 0; i < count; ++i) {
        const GridCell& cell = lower_[size_t(i)];
        const float* n = state_.normalTable[cell.azimuthCode][cell.elevationCode];
        out.height[size_t(i)] = cell.height;
        out.nx[size_t(i)] = n[0];
        out.ny[size_t(i)] = n[1];
        out.nz[size_t(i)] = n[2];
        out.heightClass[size_t(i)] = cell.colourIndex;
        out.hole[size_t(i)] = IsMissing(cell) ? 1 : 0;
      }
      return;
    }
    const double dy = state_.cellSizeY;
    const double y = Y(row);
    const int k = NodeRowBelow(row);
    const double fy = std::clamp((y - (state_.yMin + k * dy)) / dy, 0.0, 1.0);
    // The two node rows around the samples: the whole run of cells they cross, or, when the
    // samples lie far apart (a picture much narrower than the grid), just the pair of cells
    // around each sample.
    const int first = sourceColumn_[size_t(c0)];
    const int span = SourceColumns(c0, c1);
    const bool run = span <= 2 * count + 2;
    lower_.resize(size_t(run ? span : 2 * count));
    upper_.resize(lower_.size());
    if (run) {
      area_.CopyRow(k, first, span, lower_.data());
      area_.CopyRow(k + 1, first, span, upper_.data());
    } else {
      for (int i = 0; i < count; ++i) {
        area_.CopyRow(k, sourceColumn_[size_t(c0 + i)], 2, &lower_[2 * size_t(i)]);
        area_.CopyRow(k + 1, sourceColumn_[size_t(c0 + i)], 2, &upper_[2 * size_t(i)]);
      }
    }
    const double range = double(state_.zMax) - state_.zMin;
    const double r = state_.sceneRadius != 0 ? state_.sceneRadius : 1;
    for (int i = 0; i < count; ++i) {
      const int c = run ? sourceColumn_[size_t(c0 + i)] - first : 2 * i;
      const double fx = fractionX_[size_t(c0 + i)];
      const double w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), fx * fy, (1 - fx) * fy};
      const GridCell* cells[4] = {&lower_[size_t(c)], &lower_[size_t(c) + 1], &upper_[size_t(c) + 1],
                                  &upper_[size_t(c)]};
      double height = 0;
      float normal[3] = {0, 0, 0};
      out.hole[size_t(i)] = 0;
      for (int j = 0; j < 4; ++j) {
        if (IsMissing(*cells[j])) out.hole[size_t(i)] = 1;
        height += w[j] * cells[j]->height;
        const float* n = state_.normalTable[cells[j]->azimuthCode][cells[j]->elevationCode];
        for (int m = 0; m < 3; ++m) normal[m] += float(w[j] * n[m]);
      }
      out.height[size_t(i)] = height;
      out.nx[size_t(i)] = normal[0];
      out.ny[size_t(i)] = normal[1];
      out.nz[size_t(i)] = normal[2];
      out.heightClass[size_t(i)] =
          uint8_t(range > 0 ? int((r * height - state_.zMin) * 255 / range) & 255 : 0);
    }
  }

 private:
  // The node row below the resampled samples of picture row `row`.
  int NodeRowBelow(int row) const {
    return std::clamp(int((Y(row) - state_.yMin) / state_.cellSizeY), 0, state_.rowCount - 2);
  }

  const SceneState& state_;
  TerrainArea& area_;
  bool exact_ = false;
  double stepX_ = 1, stepY_ = 1;
  std::vector<int> sourceColumn_;
  std::vector<double> fractionX_;
  std::vector<GridCell> lower_, upper_;
};

}  // namespace t3d

#include "terrain/surface_mesh.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "base/trace.h"
#include "terrain/mesh_neighbours.h"
#include "terrain/missing_map.h"

namespace t3d {
namespace {

// A run of vertices of one node side along a grid line: from `from` to `to` every `step`.
struct EdgeRun {
  int from, to, step;
};

// Vertex runs of all node sides, by grid line, so that each side can take the vertices its
// neighbours put on the same line.
class EdgeIndex {
 public:
  void Add(bool horizontal, int line, EdgeRun run) {
    Line& l = (horizontal ? rows_ : columns_)[line];
    l.runs.push_back(run);
    l.longest = std::max(l.longest, run.to - run.from);
  }
  // Sorts each line's runs by their ends, for Positions. Call after the last Add.
  void Finish() {
    for (auto* lines : {&rows_, &columns_})
      for (auto& entry : *lines)
        std::sort(entry.second.runs.begin(), entry.second.runs.end(),
                  [](const EdgeRun& a, const EdgeRun& b) { return a.to < b.to; });
  }
  // Every vertex position on the line between from and to that a run puts there, sorted.
  void Positions(bool horizontal, int line, int from, int to, std::vector<int>& out) const {
    out.clear();
    const auto& lines = horizontal ? rows_ : columns_;
    const auto found = lines.find(line);
    if (found == lines.end()) return;
    const Line& l = found->second;
    // A line can carry hundreds of runs: start at the first that ends at or after from, and
    // stop where even the longest run would start after to.
    auto run = std::lower_bound(l.runs.begin(), l.runs.end(), from,
                                [](const EdgeRun& r, int value) { return r.to < value; });
    for (; run != l.runs.end() && run->to - l.longest <= to; ++run) {
      if (run->from > to) continue;
      int p = run->from;
      if (p < from) p += ((from - p + run->step - 1) / run->step) * run->step;
      for (; p <= std::min(to, run->to); p += run->step) out.push_back(p);
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
  }

 private:
  struct Line {
    std::vector<EdgeRun> runs;
    int longest = 0;
  };
  std::unordered_map<int, Line> rows_, columns_;
};

class VertexBuilder {
 public:
  VertexBuilder(const GridExtent& grid, const MeshColouring& colouring, TerrainArea& area)
      : colouring_(colouring), area_(area) {
    lastRow_ = std::max(0, grid.rowCount - 1);
    lastColumn_ = std::max(0, grid.columnCount - 1);
    const double r = grid.sceneRadius != 0 ? grid.sceneRadius : 1;
    scaleX_ = double(grid.cellSizeX) / r;
    scaleY_ = double(grid.cellSizeY) / r;
    offsetX_ = (grid.xMin - grid.originX) / r;
    offsetY_ = (grid.yMin - grid.originY) / r;
  }
  // The cell of a grid position, clamped to the grid.
  GridCell CellAt(int row, int column) const {
    return area_.GetCell(std::clamp(row, 0, lastRow_), std::clamp(column, 0, lastColumn_));
  }
  const float* NormalOf(const GridCell& cell) const {
    return colouring_.normalTable[cell.azimuthCode][cell.elevationCode];
  }
  // Writes the vertex in place: building it aside and copying it costs the store more than the
  // fields themselves.
  void Fill(const GridCell& cell, int row, int column, ColouredVertex& v) const {
    row = std::clamp(row, 0, lastRow_);
    column = std::clamp(column, 0, lastColumn_);
    const float* n = NormalOf(cell);
    v.normal[0] = n[0];
    v.normal[1] = n[1];
    v.normal[2] = n[2];
    v.position[0] = float(column * scaleX_ + offsetX_);
    v.position[1] = float(row * scaleY_ + offsetY_);
    v.position[2] = cell.height;
    v.rgba[3] = 1;
    if (colouring_.applyType == 1 && cell.label != 0 && cell.label < 42) {
      // Flood display: label 2 (submerged) the first colour, 1 the second, 3 and up the third;
      // map-area classes (42 and up, burnt in after the analysis) keep their own colours.
      const int colour = cell.label == 2 ? 0 : (cell.label == 1 ? 1 : 2);
      for (int i = 0; i < 3; ++i) v.rgba[i] = colouring_.analysisColours[colour * 3 + i];
      if (colouring_.waterSurface) {
        v.normal[0] = 0;
        v.normal[1] = 0;
        v.normal[2] = 1;
        v.position[2] = colouring_.waterLevel;
      }
      return;
    }
    const ColourTable* table = colouring_.table;
    if (cell.label >= 42 && cell.label - 42 < 7)
      table = &colouring_.mapAreaTables[cell.label - 42];
    const ColourEntry& entry = table->entries[cell.colourIndex];
    v.rgba[0] = colouring_.unitRamp[entry.red];
    v.rgba[1] = colouring_.unitRamp[entry.green];
    v.rgba[2] = colouring_.unitRamp[entry.blue];
  }

 private:
  const MeshColouring& colouring_;
  TerrainArea& area_;
  int lastRow_, lastColumn_;
  double scaleX_, scaleY_, offsetX_, offsetY_;
};

// True when a triangle of vertices a, b, c covers a cell with a missing corner: when any node of
// the rectangle of grid positions around its vertices is missing. grid holds each vertex's row
// and column. A coarse triangle spans nodes it never sampled; the rectangle holds them all, so
// that a hole smaller than the triangle is never drawn over (the triangle goes with the hole).
bool OverHole(const MissingMap& missing, const std::vector<int32_t>& grid, uint32_t a, uint32_t b,
              uint32_t c) {
  const int32_t ra = grid[2 * size_t(a)], rb = grid[2 * size_t(b)], rc = grid[2 * size_t(c)];
  const int32_t ca = grid[2 * size_t(a) + 1], cb = grid[2 * size_t(b) + 1], cc = grid[2 * size_t(c) + 1];
  return missing.AnyMissing(std::min({ra, rb, rc}), std::max({ra, rb, rc}), std::min({ca, cb, cc}),
                            std::max({ca, cb, cc}));
}

}  // namespace

namespace {

bool SameFootprint(const Footprint& a, const Footprint& b) {
  return a.firstRow == b.firstRow && a.lastRow == b.lastRow && a.firstColumn == b.firstColumn &&
         a.lastColumn == b.lastColumn && a.ground[0] == b.ground[0] && a.ground[1] == b.ground[1] &&
         a.ground[2] == b.ground[2];
}

bool SameSelectionInputs(const SurfaceMesh::SelectionInputs& a, const SurfaceMesh::SelectionInputs& b) {
  const MeshView& u = a.view;
  const MeshView& v = b.view;
  const GridExtent& g = u.grid;
  const GridExtent& h = v.grid;
  return a.textured == b.textured && a.areaSerial == b.areaSerial && SameFootprint(a.full, b.full) &&
         SameFootprint(a.near, b.near) && u.eye[0] == v.eye[0] && u.eye[1] == v.eye[1] &&
         u.eye[2] == v.eye[2] && u.viewDirSin == v.viewDirSin && u.viewDirCos == v.viewDirCos &&
         u.viewFov == v.viewFov && u.viewTilt == v.viewTilt && u.focalLength == v.focalLength &&
         u.viewDirZ == v.viewDirZ && u.clientWidth == v.clientWidth &&
         u.clientHeight == v.clientHeight && u.tolerance == v.tolerance && g.xMin == h.xMin &&
         g.xMax == h.xMax && g.yMin == h.yMin && g.yMax == h.yMax && g.cellSizeX == h.cellSizeX &&
         g.cellSizeY == h.cellSizeY && g.zMin == h.zMin && g.zMax == h.zMax &&
         g.rowCount == h.rowCount && g.columnCount == h.columnCount && g.sceneRadius == h.sceneRadius &&
         g.originX == h.originX && g.originY == h.originY;
}

}  // namespace

void BuildSurfaceMesh(const MeshView& view, const MeshColouring& colouring, TerrainArea& area,
                      const Footprint& full, const Footprint& near, bool textured, bool lines,
                      SurfaceMesh& mesh) {
  const GridExtent& grid = view.grid;
  MeshStats& stats = mesh.stats;
  stats = MeshStats{};
  lines = lines && !textured;
  mesh.lines = lines;
  std::vector<MeshNode>& nodes = mesh.nodes;
  const SurfaceMesh::SelectionInputs inputs{view, full, near, textured, area.serial()};
  if (!mesh.haveSelection || !SameSelectionInputs(mesh.selectedFor, inputs)) {
    bool overflowed = false;
    nodes = SelectMeshNodes(view, area, full, near, &overflowed, textured);
    if (overflowed) Trace("越界...!");
    std::sort(nodes.begin(), nodes.end(), [](const MeshNode& a, const MeshNode& b) {
      return NodeKey{a.root, a.codeId, a.level} < NodeKey{b.root, b.codeId, b.level};
    });
    mesh.haveSelection = true;
    mesh.selectionOverflowed = overflowed;
    mesh.selectedFor = inputs;
  }
  stats.overflowed = mesh.selectionOverflowed;

  // Every node side's vertices, by grid line: a simplified node has every second one.
  EdgeIndex edges;
  for (const MeshNode& node : nodes) {
    const int step = node.simplified ? node.step * 2 : node.step;
    edges.Add(true, node.firstRow, {node.firstColumn, node.lastColumn, step});
    edges.Add(true, node.lastRow, {node.firstColumn, node.lastColumn, step});
    edges.Add(false, node.firstColumn, {node.firstRow, node.lastRow, step});
    edges.Add(false, node.lastColumn, {node.firstRow, node.lastRow, step});
  }
  edges.Finish();

  const VertexBuilder builder(grid, colouring, area);
  // All nodes go into one array for one indexed draw: a draw call per node costs the software
  // rasteriser more than the vertices themselves.
  std::vector<ColouredVertex>& vertices = mesh.vertices;
  std::vector<uint32_t>& indices = mesh.indices;
  std::vector<int32_t>& gridOf = mesh.gridOf;
  std::vector<NodeRange>& ranges = mesh.ranges;
  vertices.clear();
  indices.clear();
  gridOf.clear();
  ranges.clear();
  std::vector<int> edgePositions[4];
  const double signX = grid.cellSizeX < 0 ? -1 : 1, signY = grid.cellSizeY < 0 ? -1 : 1;
  // A grid built with holes: each vertex's grid position, so that a triangle over a cell with a
  // missing corner can be left out. Leaving triangles out opens no cracks elsewhere, since the
  // drawn ones still share their edge vertices.
  const MissingMap& missing = area.missingMap();
  const bool holes = !missing.empty();
  std::vector<int32_t> holeGrid;
  auto addVertex = [&](const GridCell& cell, int row, int column) {
    if (holes) {
      holeGrid.push_back(row);
      holeGrid.push_back(column);
    }
    vertices.emplace_back();
    builder.Fill(cell, row, column, vertices.back());
    if (textured) {
      gridOf.push_back(std::clamp(row, 0, std::max(0, grid.rowCount - 1)));
      gridOf.push_back(std::clamp(column, 0, std::max(0, grid.columnCount - 1)));
    }
  };
  vertices.reserve(nodes.size() * 90);
  indices.reserve(nodes.size() * 128 * 3);
  for (size_t k = 0; k < nodes.size(); ++k) {
    const MeshNode& node = nodes[k];
    // The cells lie scattered over the cache: start loading the next node's while this one is
    // built.
    if (k + 1 < nodes.size()) area.PrefetchNode(nodes[k + 1].firstRow, nodes[k + 1].firstColumn, nodes[k + 1].step);
    const uint32_t base = uint32_t(vertices.size());
    const size_t indexBase = indices.size();
    const int s = node.step;
    // Only a node with a missing node inside (or on its edges) tests its triangles one by one.
    const bool nodeHoles = holes && missing.AnyMissing(node.firstRow, node.firstRow + 8 * s,
                                                       node.firstColumn, node.firstColumn + 8 * s);
    // The node's cells first, with their normals' table entries requested, then the vertices:
    // the normal table is larger than the cache and each lookup would otherwise wait in turn.
    GridCell cells[81];
    for (int i = 0; i < 9; ++i)
      for (int j = 0; j < 9; ++j) {
        cells[i * 9 + j] = builder.CellAt(node.firstRow + i * s, node.firstColumn + j * s);
        Prefetch(builder.NormalOf(cells[i * 9 + j]));
      }
    for (int i = 0; i < 9; ++i)
      for (int j = 0; j < 9; ++j) addVertex(cells[i * 9 + j], node.firstRow + i * s, node.firstColumn + j * s);

    // Index of a grid position on the node's lattice, or a new vertex for one between.
    auto vertexAt = [&](int row, int column) -> uint32_t {
      const int i = (row - node.firstRow), j = (column - node.firstColumn);
      if (i % s == 0 && j % s == 0) return base + uint32_t((i / s) * 9 + (j / s));
      addVertex(builder.CellAt(row, column), row, column);
      return uint32_t(vertices.size() - 1);
    };
    // A fan's triangles all turn the same way: `flip` makes them clockwise seen from above (the
    // front faces).
    auto triangle = [&](uint32_t a, uint32_t b, uint32_t c, bool flip) {
      if (nodeHoles && OverHole(missing, holeGrid, a, b, c)) return;
      if (flip) std::swap(b, c);
      if (lines) {
        indices.insert(indices.end(), {a, b, b, c, c, a});
      } else {
        indices.insert(indices.end(), {a, b, c});
      }
      ++stats.triangles;
    };

    // The vertex positions along each edge of the node (first row, last row, first column, last
    // column), from its first corner to its last: the lattice points and every point a
    // neighbour puts on the shared line. One search per edge serves its four groups.
    for (int e = 0; e < 4; ++e) {
      const bool horizontal = e < 2;
      const int line = horizontal ? (e == 0 ? node.firstRow : node.firstRow + 8 * s)
                                  : (e == 2 ? node.firstColumn : node.firstColumn + 8 * s);
      const int from = horizontal ? node.firstColumn : node.firstRow;
      const int to = from + 8 * s;
      std::vector<int>& out = edgePositions[e];
      edges.Positions(horizontal, line, from, to, out);
      if (out.empty() || out.front() != from) out.insert(out.begin(), from);
      if (out.back() != to) out.push_back(to);
    }

    // Each 2 x 2 group: a fan from its centre over the vertices along each of its four sides.
    uint32_t run[520];
    for (int gi = 0; gi < 4; ++gi) {
      for (int gj = 0; gj < 4; ++gj) {
        const int cr = 2 * gi + 1, cc = 2 * gj + 1;
        const uint32_t centre = base + uint32_t(cr * 9 + cc);
        // Sides: corners in patch coordinates, and the node edge the side lies on (-1: inside).
        struct Side {
          int r0, c0, r1, c1;
          int edge;
        } sides[4] = {
            {cr - 1, cc - 1, cr - 1, cc + 1, gi == 0 ? 0 : -1},  // first-row side
            {cr + 1, cc - 1, cr + 1, cc + 1, gi == 3 ? 1 : -1},  // last-row side
            {cr - 1, cc - 1, cr + 1, cc - 1, gj == 0 ? 2 : -1},  // first-column side
            {cr - 1, cc + 1, cr + 1, cc + 1, gj == 3 ? 3 : -1},  // last-column side
        };
        for (const Side& side : sides) {
          // Orientation of (centre, first corner, last corner) on the ground, where x grows
          // with the column and y with the row (scaled by the signs of the cell sizes).
          const double cross = ((side.c0 - cc) * signX) * ((side.r1 - cr) * signY) -
                               ((side.r0 - cr) * signY) * ((side.c1 - cc) * signX);
          const bool flip = cross > 0;
          int count = 0;
          if (side.edge >= 0) {
            const bool horizontal = side.edge < 2;
            const int line = horizontal ? node.firstRow + side.r0 * s : node.firstColumn + side.c0 * s;
            const int from = horizontal ? node.firstColumn + side.c0 * s : node.firstRow + side.r0 * s;
            const int to = horizontal ? node.firstColumn + side.c1 * s : node.firstRow + side.r1 * s;
            const std::vector<int>& onEdge = edgePositions[side.edge];
            for (auto p = std::lower_bound(onEdge.begin(), onEdge.end(), from);
                 p != onEdge.end() && *p <= to && count < 520; ++p)
              run[count++] = horizontal ? vertexAt(line, *p) : vertexAt(*p, line);
          } else {
            run[count++] = base + uint32_t(side.r0 * 9 + side.c0);
            if (!node.simplified)
              run[count++] = base + uint32_t(((side.r0 + side.r1) / 2) * 9 + (side.c0 + side.c1) / 2);
            run[count++] = base + uint32_t(side.r1 * 9 + side.c1);
          }
          for (int k = 0; k + 1 < count; ++k) triangle(centre, run[k], run[k + 1], flip);
        }
      }
    }
    ++stats.nodes;
    if (node.simplified) ++stats.simplifiedNodes;
    ranges.push_back({base, vertices.size(), indexBase, indices.size()});
  }
}

}  // namespace t3d

// Map areas: the regions of a map file burnt into the terrain area, so that the surface paints
// each region's cells from its class's colour table instead of the height colours.
//
// Which cells a region covers: the grid position (row, column) stands at the map point
// (x min + column x cell width, y min + row x cell height), and its cell is the region's when
// that point lies inside the region's outer ring and outside its holes (even-odd rule over all
// rings). A point exactly on an edge counts as inside on the edges below and to the left of the
// region's inside and outside on those above and to the right, so that two regions sharing an
// edge never both take a cell and never both leave it out.
//
// A region's colour number gives its class (bits 8 to 15) and its colour entry (bits 0 to 7):
// its cells get label 42 + class and colour index entry. Seven class tables exist; a region of a
// class above 6, or without a colour number, is left out (counted in the load's summary).
//
// Every loaded area remembers the label and colour index each of its cells had before, so that
// unloading gives them back bit for bit, in whatever order areas overlapping each other are
// unloaded. A pass that recomputes every colour index from the heights (the height colouring)
// keeps the loaded areas painted; a pass that rewrites every label (a flood analysis, host
// labels, clearing the labels) ends every map area, giving their cells their height colour
// indices back, since their labels are gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "terrain/terrain_area.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

constexpr uint8_t kFirstMapAreaLabel = 42;
constexpr int kMapAreaClasses = 7;

// What a load did.
struct MapAreaSummary {
  int32_t regions = 0;        // records of the file
  int32_t burnt = 0;          // regions that gave the grid at least one cell
  int32_t outside = 0;        // regions that miss the grid or cover no grid position
  int32_t noColour = 0;       // regions without a colour number
  int32_t classTooHigh = 0;   // regions of a class above 6
  int32_t unreadable = 0;     // regions whose rings could not be read
  int64_t cells = 0;          // cells the area took (after overlaps inside the file)
};

// A run of cells of one grid row, first .. first + count - 1, painted with one label and index.
struct MapAreaSpan {
  int32_t row, first, count;
  uint8_t label, colour;
};

// The grid positions of a polygon given as closed rings (x, y points; the outer ring and its
// holes, ringCounts[k] points in ring k), as disjoint row spans sorted by row and column, label
// and colour left 0. Only positions of the grid count.
std::vector<MapAreaSpan> RasteriseRings(const GridExtent& grid, const double* points,
                                        const int32_t* ringCounts, int32_t ringCount);

class MapAreas {
 public:
  // Burns the regions of the region file in `slot` into the area's cells; later regions of the
  // file cover earlier ones where they overlap, and the new area covers those loaded before.
  // One progress step per region. False, with nothing changed, when the display cannot be
  // shown or the user stopped the load.
  bool Load(TerrainArea& area, const GridExtent& grid, uint16_t slot, TnProgressControl progress,
            MapAreaSummary* summary = nullptr);
  // Gives the cells of the last area loaded from `slot` what they had before it: their former
  // label (unless a later pass has already rewritten it) and colour index; where an area loaded
  // later covers a cell, that area takes over the former values instead. False when no area of
  // that slot is loaded or the progress display cannot be shown (nothing changed).
  bool Unload(TerrainArea& area, uint16_t slot);

  // After every colour index was recomputed from the heights: the indices become each loaded
  // area's former values again, and the areas are painted over them anew.
  void Repaint(TerrainArea& area);
  // After every label was rewritten: every area's cells get their former colour indices back
  // and every area is forgotten.
  void EndAll(TerrainArea& area);

  bool loaded(uint16_t slot) const;
  size_t count() const { return areas_.size(); }

 private:
  struct Area {
    uint16_t slot = 0;
    std::vector<MapAreaSpan> spans;  // disjoint, sorted by row and column
    std::vector<size_t> saved;       // where each span's former values start in the two below
    std::vector<uint8_t> formerLabel, formerColour;
    // The position of cell (row, column) in the former values, or SIZE_MAX when not covered.
    size_t Find(int32_t row, int32_t column) const;
  };
  std::vector<Area> areas_;  // in load order
};

}  // namespace t3d

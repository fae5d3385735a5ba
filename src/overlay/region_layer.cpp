// Loading, unloading and drawing the region layer.
#include "overlay/region_layer.h"

#include <GL/gl.h>
#include <strings.h>

#include <cstdint>
#include <cstring>

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "adapters/geometry.h"
#include "adapters/map_file.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/trace.h"
#include "model/mesh_inputs.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/ground_height.h"
#include "overlay/layer_loading.h"
#include "overlay/overlay_image.h"
#include "overlay/region_blocks.h"
#include "platform/environment.h"
#include "render/overlay_passes.h"
#include "terrain/terrain_area.h"

namespace t3d {
namespace {

const char kLoadingRegions[] = "正在装入区数据...";
const char kLoadingRegionImages[] = "正在装入区纹理数据...";

// Regions nearer to the eye than this many grid cells are drawn from their faces cut to the
// cells; farther ones from their triangulation, whose few large triangles the coarser surface
// far away matches as well.
constexpr double kFineDistanceCells = 100;

// The far levels' thinning tolerances in grid cells, finest first. Each level is drawn where its
// tolerance spans at most a pixel, so from afar a region of many points is drawn with the few
// that show.
constexpr double kFarToleranceCells[RegionLevels::kFarLevels] = {0.25, 1, 4};

// The draped levels' steps in grid cells, coarsest first, and the most triangles one may hold:
// they are kept in memory, and a region that needs more is drawn from its cut faces instead.
constexpr double kDrapeStepCells[RegionLevels::kDrapeLevels] = {16, 4};
constexpr int64_t kMaxDrapeTriangles = RegionBlock::kTexturedTriangles;

// The side of a region's tiles in grid cells (see LoadRegionBlocks).
constexpr double kTileCells = 64;

// Thins every ring of xy (ringCounts points each) by tolerance map units; rings thinning would
// leave degenerate stay as they were.
std::vector<double> ThinRings(const std::vector<double>& xy, std::vector<int32_t>& ringCounts,
                              double tolerance) {
  std::vector<double> thinned;
  thinned.reserve(xy.size());
  size_t at = 0;
  for (int32_t& n : ringCounts) {
    std::vector<double> ring(xy.begin() + std::ptrdiff_t(at),
                             xy.begin() + std::ptrdiff_t(at + 2 * size_t(n)));
    at += 2 * size_t(n);
    GeoThinRing(ring.data(), &n, tolerance);
    thinned.insert(thinned.end(), ring.begin(), ring.begin() + 2 * std::ptrdiff_t(n));
  }
  return thinned;
}

// The distance along a Hilbert curve over a 65536 x 65536 grid of the cell (x, y): cells near
// along the curve are near on the ground, with no long jumps between them.
uint64_t HilbertIndex(uint32_t x, uint32_t y) {
  constexpr uint32_t n = 65536;
  uint64_t d = 0;
  for (uint32_t s = n / 2; s > 0; s /= 2) {
    const uint32_t rx = (x & s) > 0 ? 1 : 0, ry = (y & s) > 0 ? 1 : 0;
    d += uint64_t(s) * s * ((3 * rx) ^ ry);
    if (ry == 0) {
      if (rx == 1) {
        x = n - 1 - x;
        y = n - 1 - y;
      }
      std::swap(x, y);
    }
  }
  return d;
}

// Puts the triangles (9 doubles each) in the Hilbert order of their centres over the square
// on their extent's longer side: the blocks they are packed into then each cover a compact patch
// of ground, which a frame skips when it lies out of view.
void SortByPlace(std::vector<double>& triangles) {
  const size_t count = triangles.size() / 9;
  if (count < 2) return;
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (size_t i = 0; i < triangles.size(); i += 3) {
    x0 = std::min(x0, triangles[i]);
    y0 = std::min(y0, triangles[i + 1]);
    x1 = std::max(x1, triangles[i]);
    y1 = std::max(y1, triangles[i + 1]);
  }
  const double side = std::max(x1 - x0, y1 - y0);
  if (!(side > 0) || !std::isfinite(side)) return;
  const double scale = 65535.0 / side;
  std::vector<std::pair<uint64_t, size_t>> keys(count);
  for (size_t t = 0; t < count; ++t) {
    const double* p = &triangles[9 * t];
    const double cx = ((p[0] + p[3] + p[6]) / 3 - x0) * scale, cy = ((p[1] + p[4] + p[7]) / 3 - y0) * scale;
    keys[t] = {HilbertIndex(uint32_t(std::min(std::max(cx, 0.0), 65535.0)),
                            uint32_t(std::min(std::max(cy, 0.0), 65535.0))),
               t};
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<double> sorted(triangles.size());
  for (size_t t = 0; t < count; ++t) std::copy_n(&triangles[9 * keys[t].second], 9, &sorted[9 * t]);
  triangles.swap(sorted);
}

// The map rectangle (x min, y min, x max, y max) of triangles (x, y, z of three corners each).
void TriangleBounds(const std::vector<double>& triangles, double box[4]) {
  box[0] = box[2] = triangles.empty() ? 0 : triangles[0];
  box[1] = box[3] = triangles.size() < 2 ? 0 : triangles[1];
  for (size_t k = 0; k + 1 < triangles.size(); k += 3) {
    box[0] = std::min(box[0], triangles[k]);
    box[1] = std::min(box[1], triangles[k + 1]);
    box[2] = std::max(box[2], triangles[k]);
    box[3] = std::max(box[3], triangles[k + 1]);
  }
}


// The triangles (x, y, z of three corners each) whose corners all have ground under them.
std::vector<double> OnTheGround(const std::vector<double>& t) {
  std::vector<double> kept;
  kept.reserve(t.size());
  for (size_t i = 0; i + 9 <= t.size(); i += 9) {
    if (std::isfinite(t[i + 2]) && std::isfinite(t[i + 5]) && std::isfinite(t[i + 8]))
      kept.insert(kept.end(), t.begin() + std::ptrdiff_t(i), t.begin() + std::ptrdiff_t(i + 9));
  }
  return kept;
}

void DeleteWindowRegionTexture(SceneObject& scene, const SceneState& state) {
  GLuint& texture = scene.textureIds[kTextureRegion][kWindowContext];
  if (state.glReady == 1 && scene.MakeWindowCurrent(const_cast<SceneState&>(state)) &&
      texture != 0 && glIsTexture(texture)) {
    glDeleteTextures(1, &texture);
  }
  texture = 0;
}

// Frees the region blocks and images and clears the layer's marks.
void FreeRegions(SceneObject& scene, SceneState& state) {
  if (g_process.overlayStore != nullptr) g_process.overlayStore->regions.Clear();
  scene.regionLoaded = 0;
  SetRegionFileIndex(state, 0);
  DeleteWindowRegionTexture(scene, state);
}

// Triangulates every region and writes its blocks. False when the file cannot be made or
// written, or there is no grid to take heights from.
bool LoadRegionBlocks(const SceneState& state, uint16_t fileIndex,
                      TnRegionDescriptor* descriptors, int count, RegionData& regions) {
  TerrainArea* area = g_process.terrainArea.get();
  const char* environment = BaseGetEnvironment();
  if (area == nullptr || environment == nullptr) return false;
  const std::string directory = environment + BASE_ENV_WORK_DIRECTORY;
  platform::File file = platform::File::CreateTemporary(directory, "Reg");
  if (!file.valid()) return false;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[RegionBlock::kBytes]);
  if (block == nullptr) return false;
  HeightSource heights{area, GridOf(state)};
  std::vector<uint32_t> firstBlock(size_t(count) + 1, 0);
  std::vector<RegionLevels> levels;  // of every tile, region after region
  std::vector<uint32_t> firstTile(size_t(count) + 1, 0);
  std::vector<RegionBlockExtent> extents;
  const double cell = std::max(heights.grid.cellSizeX, heights.grid.cellSizeY);
  const double gridRect[4] = {heights.grid.xMin, heights.grid.yMin, heights.grid.xMax,
                              heights.grid.yMax};
  for (int l = 0; l < RegionLevels::kFarLevels; ++l)
    regions.farTolerance[l] = kFarToleranceCells[l] * cell;
  for (int l = 0; l < RegionLevels::kDrapeLevels; ++l)
    regions.drapeStep[l] = kDrapeStepCells[l] * cell;
  regions.farVertices.clear();
  ProgressScope progress(kLoadingRegions, nullptr, count);
  if (!progress.shown()) return false;
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) {
    progress.Step();
    TnRegionDescriptor& region = descriptors[i];
    region.blockCount = 0;
    firstBlock[size_t(i)] = uint32_t(total);
    firstTile[size_t(i) + 1] = firstTile[size_t(i)] = uint32_t(levels.size());
    double* points = nullptr;
    int32_t* counts = nullptr;
    int32_t rings = 0;
    if (BaseGetRegionRings(fileIndex, region.record, &points, &counts, &rings) != MAP_OK ||
        rings < 1) {
      continue;  // rings that cannot be read: the region is left out
    }
    std::vector<int32_t> ringCounts(counts, counts + rings);
    size_t values = 0;
    for (int32_t n : ringCounts) values += 2 * size_t(n > 0 ? n : 0);
    std::vector<double> xy(points, points + values);
    if (std::fabs(region.thinning) >= 1e-6f) xy = ThinRings(xy, ringCounts, region.thinning);
    RegionPacking packing;
    packing.origin = SceneOriginOf(state);
    packing.textured = region.textured != 0;
    packing.rect[0] = packing.rect[2] = xy.empty() ? 0 : xy[0];
    packing.rect[1] = packing.rect[3] = xy.size() < 2 ? 0 : xy[1];
    for (int32_t k = 0; k < ringCounts[0]; ++k) {
      packing.rect[0] = std::min(packing.rect[0], xy[2 * size_t(k)]);
      packing.rect[1] = std::min(packing.rect[1], xy[2 * size_t(k) + 1]);
      packing.rect[2] = std::max(packing.rect[2], xy[2 * size_t(k)]);
      packing.rect[3] = std::max(packing.rect[3], xy[2 * size_t(k) + 1]);
    }
    // The triangulation of rings, cut to the grid: a region reaching past it is drawn where
    // there is ground.
    auto triangulate = [&](const std::vector<double>& ringXY, std::vector<int32_t>& counts) {
      double* made = nullptr;
      const int32_t m = GeoTriangulateRegion(ringXY.data(), counts.data(), rings, &HeightOf,
                                             &heights, &made);
      std::vector<double> cut =
          m > 0 ? ClipTriangles(made, m, gridRect, &HeightOf, &heights) : std::vector<double>();
      GeoFreeTriangles(made);
      return cut;
    };
    const std::vector<double> inside = triangulate(xy, ringCounts);
    const int64_t all = int64_t(inside.size() / 9);
    if (all <= 0) continue;
    // The thinner outlines of the far levels, triangulated once for the whole region.
    std::vector<double> farSets[RegionLevels::kFarLevels];
    for (int l = 0; l < RegionLevels::kFarLevels; ++l) {
      std::vector<int32_t> farCounts = ringCounts;
      const std::vector<double> farXY = ThinRings(xy, farCounts, regions.farTolerance[l]);
      farSets[l] = triangulate(farXY, farCounts);
    }
    // A region larger than a tile is cut into tiles (squares of kTileCells on the grid's
    // lattice), each with its own sets: its near tiles are drawn cut to the cells while its far
    // ones are drawn coarser, instead of the whole region at the detail its nearest part needs.
    const double tile = kTileCells * cell;
    const double step = std::min(heights.grid.cellSizeX, heights.grid.cellSizeY);
    double box[4];
    TriangleBounds(inside, box);
    const bool tiled = box[2] - box[0] > tile || box[3] - box[1] > tile;
    const int tx0 = tiled ? int(std::floor((box[0] - gridRect[0]) / tile)) : 0;
    const int tx1 = tiled ? int(std::floor((box[2] - gridRect[0]) / tile)) : 0;
    const int ty0 = tiled ? int(std::floor((box[1] - gridRect[1]) / tile)) : 0;
    const int ty1 = tiled ? int(std::floor((box[3] - gridRect[1]) / tile)) : 0;

    // Every tile's sets, in memory until the region's block count is known to fit its
    // descriptor.
    struct TileSets {
      RegionLevels level;
      std::vector<double> coarse, fine;  // coarse empty: one set only
    };
    std::vector<TileSets> tiles;
    const size_t farStart = regions.farVertices.size();
    int64_t blocksNeeded = 0;
    for (int ty = ty0; ty <= ty1; ++ty) {
      for (int tx = tx0; tx <= tx1; ++tx) {
        const double rect[4] = {gridRect[0] + tx * tile, gridRect[1] + ty * tile,
                                gridRect[0] + (tx + 1) * tile, gridRect[1] + (ty + 1) * tile};
        auto part = [&](const std::vector<double>& t) {
          return tiled ? ClipTriangles(t.data(), int64_t(t.size() / 9), rect, &HeightOf, &heights)
                       : t;
        };
        TileSets sets;
        sets.coarse = part(inside);
        const double* triangles = sets.coarse.data();
        const int64_t n = int64_t(sets.coarse.size() / 9);
        if (n <= 0) continue;
        RegionLevels& level = sets.level;
        TriangleBounds(sets.coarse, level.extent);
        // Triangles that span grid cells are cut to the cell size so that the face follows the
        // ground between the ring's points. Both sets are kept: the cut one is drawn near by,
        // the triangulation as it is from afar, where the surface is drawn coarser too.
        double deviation = 0;
        sets.fine = OnTheGround(DrapeTriangles(triangles, n, step, &HeightOf, &heights, &deviation));
        SortByPlace(sets.fine);
        const int64_t pieces = int64_t(sets.fine.size() / 9);
        level.coarseDeviation = float(deviation);
        double zSum = 0;
        int64_t zCount = 0;
        for (int64_t k = 0; k < 3 * n; ++k) {
          const double z = triangles[3 * size_t(k) + 2];
          if (std::isfinite(z)) zSum += z, ++zCount;
        }
        level.z = float(zCount > 0 ? zSum / double(zCount) : 0.0);
        // Keeps the m triangles t as level l in memory (those on the ground), with how far they
        // stray from the ground; false when the vertices would pass what a 32-bit offset reaches.
        const size_t floats =
            size_t(packing.textured ? RegionBlock::kTexturedFloats : RegionBlock::kColourFloats);
        auto keep = [&](int l, const double* t, int64_t m) {
          const std::vector<double> grounded = OnTheGround(std::vector<double>(t, t + 9 * size_t(m)));
          const int64_t g = int64_t(grounded.size() / 9);
          const size_t at = regions.farVertices.size();
          if (at + 3 * size_t(g) * floats > UINT32_MAX) return false;
          regions.farVertices.resize(at + 3 * size_t(g) * floats);
          WriteRegionVertices(grounded.data(), g, packing, regions.farVertices.data() + at);
          level.farFirst[l] = uint32_t(at);
          level.farVertices[l] = uint16_t(3 * g);
          DrapeTriangles(t, m, step, &HeightOf, &heights, &deviation);
          level.farDeviation[l] = float(deviation);
          return true;
        };
        // The far levels, each kept when it takes at most two thirds of the triangles of the
        // level before it (fewer triangles are what makes it worth drawing) and no more than a
        // block.
        int64_t previous = n;
        for (int l = 0; l < RegionLevels::kFarLevels; ++l) {
          const std::vector<double> far = part(farSets[l]);
          const int64_t m = int64_t(far.size() / 9);
          if (m > 0 && 3 * m <= 2 * previous && m <= RegionBlock::kTexturedTriangles &&
              keep(l, far.data(), m)) {
            previous = m;
          }
        }
        // The draped levels: kept when they take more triangles than the coarser level before
        // them (else they are that level: the triangulation, or the coarser draped level) and
        // fewer than a third of the cut faces.
        int64_t fewer = n;
        for (int d = 0; d < RegionLevels::kDrapeLevels; ++d) {
          const std::vector<double> cut =
              DrapeTriangles(triangles, n, regions.drapeStep[d], &HeightOf, &heights);
          const int64_t m = int64_t(cut.size() / 9);
          if (m > fewer && m <= kMaxDrapeTriangles && 3 * m < pieces &&
              keep(RegionLevels::kFarLevels + d, cut.data(), m))
            fewer = m;
        }
        if (pieces <= n) sets.coarse.clear();  // nothing cut: one set only
        // Faces with a corner in a hole are not drawn; where they are, the coarse set strays
        // without bound (see Stray) and the cut faces are drawn instead.
        sets.coarse = OnTheGround(sets.coarse);
        blocksNeeded += RegionBlocksFor(int64_t(sets.coarse.size() / 9), packing.textured) +
                        RegionBlocksFor(pieces, packing.textured);
        tiles.push_back(std::move(sets));
      }
    }
    if (blocksNeeded > 0xFFFF) {
      // More blocks than a descriptor can count: left out, and the trace says which.
      regions.farVertices.resize(farStart);
      const std::string line = "regions: record " + std::to_string(region.record) +
                               " left out: its faces take more than 65,535 blocks";
      Trace(line.c_str());
      continue;
    }
    int64_t written = 0;
    for (TileSets& sets : tiles) {
      RegionLevels& level = sets.level;
      level.firstBlock = uint32_t(total + uint64_t(written));
      const int64_t coarse =
          sets.coarse.empty() ? 0
                              : PackRegionBlocks(sets.coarse.data(), int64_t(sets.coarse.size() / 9),
                                                 packing, file, block.get(), &extents);
      const int64_t fine =
          coarse < 0 ? -1
                     : PackRegionBlocks(sets.fine.data(), int64_t(sets.fine.size() / 9), packing,
                                        file, block.get(), &extents);
      if (fine < 0) return false;  // the disk is full: no half-written layer
      level.coarse = uint16_t(coarse);  // 0: the triangulation is not cut, one set only
      level.blocks = uint32_t(coarse + fine);
      written += coarse + fine;
      levels.push_back(level);
    }
    firstTile[size_t(i) + 1] = uint32_t(levels.size());
    region.blockCount = uint16_t(written);
    total += uint64_t(written);
  }
  firstBlock[size_t(count)] = uint32_t(total);
  regions.blocks = std::move(file);
  regions.blockBuffer = std::move(block);
  regions.descriptors = descriptors;
  regions.count = count;
  regions.firstBlock = std::move(firstBlock);
  regions.levels = std::move(levels);
  regions.firstTile = std::move(firstTile);
  regions.blockExtents = std::move(extents);
  regions.fineDistance = kFineDistanceCells * cell;
  regions.farVertices.shrink_to_fit();
  // Frames read the blocks through a mapping when one can be made.
  if (total > 0) {
    regions.view = platform::MappedView::Map(regions.blocks, 0, size_t(total) * RegionBlock::kBytes);
  }
  return true;
}

// Reads the images of the textured regions into the image file. False only when the file
// cannot be made or written.
bool LoadRegionImages(TnRegionDescriptor* descriptors, int count, RegionData& regions) {
  auto named = [](const TnRegionDescriptor& d) {
    return d.textured != 0 && d.imageFile[0] != '\0' &&
           std::memchr(d.imageFile, '\0', sizeof d.imageFile) != nullptr;
  };
  const int textured = int(std::count_if(descriptors, descriptors + count, named));
  if (textured == 0) return true;
  const char* environment = BaseGetEnvironment();
  if (environment == nullptr) return false;
  platform::File file =
      platform::File::CreateTemporary(environment + BASE_ENV_WORK_DIRECTORY, "RegTex");
  if (!file.valid()) return false;
  std::vector<RegionImageEntry> table;
  table.reserve(size_t(textured));
  ProgressScope progress(kLoadingRegionImages, nullptr, textured);
  if (!progress.shown()) return false;
  uint64_t end = 0;
  for (int i = 0; i < count; ++i) {
    const TnRegionDescriptor& region = descriptors[i];
    if (!named(region)) continue;
    progress.Step();
    RegionImageEntry entry;
    entry.record = region.record;
    entry.name = region.imageFile;
    auto same = std::find_if(table.begin(), table.end(), [&](const RegionImageEntry& e) {
      return strcasecmp(e.name, region.imageFile) == 0;
    });
    if (same != table.end()) {
      entry.offset = same->offset;
      entry.width = same->width;
      entry.height = same->height;
    } else {
      OverlayImage image;
      if (!ReadOverlayImage(region.imageFile, &image)) continue;  // left out of the table
      const size_t bytes = size_t(image.width) * image.height * 3;
      if (!file.Append(image.texels.get(), bytes)) return false;
      entry.offset = end;
      entry.width = image.width;
      entry.height = image.height;
      end += bytes;
    }
    table.push_back(entry);
  }
  std::stable_sort(table.begin(), table.end(),
                   [](const RegionImageEntry& a, const RegionImageEntry& b) {
                     return a.record < b.record;
                   });
  regions.images = std::move(file);
  regions.imageTable = std::move(table);
  return true;
}

}  // namespace

int LoadMapRegion(SceneObject& scene, SceneState& state, uint16_t fileIndex,
                  TnRegionDescriptor* descriptors, int count) {
  double extent[4];
  if (descriptors == nullptr || count <= 0 || BaseGetFileError(fileIndex) != MAP_FILE_USABLE ||
      BaseGetFileKind(fileIndex) != MAP_KIND_REGIONS ||
      BaseGetFileExtent(fileIndex, extent) != MAP_OK) {
    return TN_E_FAIL;
  }
  if (!ExtentMeetsGrid(extent, state)) {
    ShowMessage(MessageId::kRegionExtentMismatch);
    return TN_E_FAIL;
  }
  if (EnsureOverlayStore() == nullptr) return TN_E_FAIL;
  if (scene.regionLoaded != 0 || g_process.overlayStore->regions.loaded()) FreeRegions(scene, state);
  RegionData& regions = g_process.overlayStore->regions;
  if (!LoadRegionBlocks(state, fileIndex, descriptors, count, regions)) {
    regions.Clear();
    return TN_E_FAIL;
  }
  if (!LoadRegionImages(descriptors, count, regions)) {
    // Without its images the layer is not loaded: nothing of it stays behind.
    regions.Clear();
    return TN_E_FAIL;
  }
  scene.regionLoaded = 1;
  SetRegionFileIndex(state, fileIndex);
  FrameOverlayPasses().regions = &DrawRegions;
  return TN_OK;
}

int UnloadMapRegion(SceneObject& scene, SceneState& state) {
  if (g_process.overlayStore == nullptr || scene.regionLoaded == 0) return TN_E_FAIL;
  FreeRegions(scene, state);
  return TN_OK;
}

bool FetchRegionImage(int32_t record, int mode, uint16_t* width, uint16_t* height,
                      std::unique_ptr<uint8_t[]>* texels) {
  if (g_process.overlayStore == nullptr) return false;
  const RegionData& regions = g_process.overlayStore->regions;
  const auto& table = regions.imageTable;
  auto it = std::lower_bound(table.begin(), table.end(), record,
                             [](const RegionImageEntry& e, int32_t r) { return e.record < r; });
  if (it == table.end() || it->record != record || !regions.images.valid()) return false;
  const int bytes = TexelBytes(mode);
  if (bytes == 0) return false;
  const size_t count = size_t(it->width) * it->height;
  std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[count * 3]);
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[count * size_t(bytes)]);
  if (rgb == nullptr || out == nullptr || !regions.images.ReadAt(it->offset, rgb.get(), count * 3)) {
    return false;
  }
  ConvertTexels(rgb.get(), count, mode, out.get());
  *width = it->width;
  *height = it->height;
  *texels = std::move(out);
  return true;
}

}  // namespace t3d

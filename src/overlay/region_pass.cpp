// The region pass of every frame: the blocks of the regions in view, read back from the block
// file and drawn as translucent colour or image over the terrain.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "adapters/map_file.h"
#include "model/mesh_inputs.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/drawn_depth.h"
#include "overlay/line_layer.h"
#include "overlay/overlay_texture.h"
#include "overlay/region_blocks.h"
#include "overlay/region_layer.h"

namespace t3d {
namespace {

RegionPassStats g_stats;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Regions are drawn over the terrain without a depth test: their faces carry the grid's heights
// while the surface drawn is the level-of-detail mesh, which strays from them by a few pixels
// at every distance, so a depth test would let the surface cut holes into them and make them
// flicker as the eye moves. What a ridge hides is left out by triangle instead: a triangle
// whose three corners are all hidden by the terrain drawn (the line layer's lifted-point rule)
// is not drawn. A triangle partly behind a crest is drawn whole: near by, where the faces are
// cut to the grid's cells, what shows past a crest is at most a cell wide; from afar it is a
// triangle of the region's triangulation.
// Whether any corner of the triangle is seen: the test stops at the first corner seen, since
// most triangles of a frame are seen whole and one corner settles them.
bool AnyCornerSeen(const float* corner, size_t stride, GroundVisibility& visibility) {
  for (int k = 0; k < 3; ++k) {
    const float* p = corner + size_t(k) * stride + stride - 3;
    if (!visibility.Hidden(p[0], p[1], p[2])) return true;
  }
  return false;
}

void AppendSeenTriangles(const float* from, int count, int floatsPerVertex,
                         GroundVisibility& visibility, std::vector<float>& to) {
  const size_t stride = size_t(floatsPerVertex);
  for (int t = 0; t + 2 < count; t += 3) {
    const float* corner = from + size_t(t) * stride;
    if (AnyCornerSeen(corner, stride, visibility))
      to.insert(to.end(), corner, corner + 3 * stride);
  }
}

// Which of a region's sets a frame draws. Near the eye the faces cut to the grid's cells; from
// afar (RegionData::fineDistance) the triangulation where its flat triangles stray from the
// ground upright by at most kStrayPixels, and a far level where it shows as the triangulation
// does: its thinning moves the outline by at most kDetailErrorPixels across the view, and it
// strays from the ground upright by at most kDetailErrorPixels more than the triangulation.
// Where the triangulation strays farther (a large region of few corners is a few flat triangles
// that would float over the ridges and sink into the valleys it spans), the coarsest draped level
// that strays at most kStrayPixels, else the cut faces. The thinning is measured at the corner of
// the region's extent nearest the eye, where a map unit spans the most pixels; the straying
// toward that corner at the region's own distance (see Choose).
constexpr double kDetailErrorPixels = 1.0;
constexpr double kStrayPixels = 3.0;
constexpr int kFineSet = -2, kCoarseSet = -1;  // or a far level, 0 up

class RegionDetail {
 public:
  RegionDetail(const double modelView[16], const double projection[16], const int viewport[4],
               const SceneOrigin& origin)
      : origin_(origin),
        halfWidth_(viewport[2] / 2.0),
        halfHeight_(viewport[3] / 2.0) {
    Multiply(projection, modelView, combined_);
  }

  // extent: the region's, in map units; distance: the region's from the eye (map units, on the
  // ground); eye: the eye's map x and y; regions: the layer (fine distance, far levels'
  // tolerances).
  int Choose(const RegionLevels& levels, const RegionData& regions, const double extent[4],
             double distance, const double eye[2]) const {
    if (distance <= regions.fineDistance) return kFineSet;
    if (levels.coarse == 0) return kFineSet;  // one set only
    const double z = levels.z;
    Clip4 nearest{0, 0, 0, HUGE_VAL};
    double nx = 0, ny = 0;
    for (int corner = 0; corner < 4; ++corner) {
      const double x = origin_.SceneX(extent[corner & 1 ? 2 : 0]);
      const double y = origin_.SceneY(extent[corner & 2 ? 3 : 1]);
      const Clip4 c = Transform(combined_, x, y, z);
      if (c.w <= 0) return kFineSet;  // partly behind the eye
      if (c.w < nearest.w) nearest = c, nx = x, ny = y;
    }
    // How far the ground is missed is seen where the region is nearest: toward the nearest
    // corner, at the region's own distance (a large region's corner can lie far nearer the eye
    // than any of its faces).
    const double cx = origin_.MapX(nx) - eye[0], cy = origin_.MapY(ny) - eye[1];
    const double cornerDistance = std::hypot(cx, cy);
    double sx = nx, sy = ny;
    if (cornerDistance > 0 && distance > cornerDistance) {
      const double f = distance / cornerDistance;
      sx = origin_.SceneX(eye[0] + f * cx);
      sy = origin_.SceneY(eye[1] + f * cy);
    }
    const Clip4 at = Transform(combined_, sx, sy, z);
    auto stray = [&](double rise) {
      return at.w > 0 ? Pixels(at, Transform(combined_, sx, sy, z + rise)) : HUGE_VAL;
    };
    if (!(stray(levels.coarseDeviation) <= kStrayPixels)) {
      for (int l = RegionLevels::kFarLevels; l < RegionLevels::kLevels; ++l)
        if (levels.farVertices[l] != 0 && stray(levels.farDeviation[l]) <= kStrayPixels) return l;
      return kFineSet;
    }
    for (int l = RegionLevels::kFarLevels - 1; l >= 0; --l) {
      if (levels.farVertices[l] == 0) continue;
      const double step = regions.farTolerance[l] / origin_.radius;
      const double across = std::max(Pixels(nearest, Transform(combined_, nx + step, ny, z)),
                                     Pixels(nearest, Transform(combined_, nx, ny + step, z)));
      const double rise = std::max(0.0, double(levels.farDeviation[l]) - levels.coarseDeviation);
      const double upright = rise > 0 ? Pixels(nearest, Transform(combined_, nx, ny, z + rise)) : 0;
      if (across <= kDetailErrorPixels && upright <= kDetailErrorPixels) return l;
    }
    return kCoarseSet;
  }

 private:
  // The on-screen distance in pixels between two points, HUGE_VAL when one is behind the eye.
  double Pixels(const Clip4& a, const Clip4& b) const {
    if (b.w <= 0) return HUGE_VAL;
    const double dx = halfWidth_ * (b.x / b.w - a.x / a.w), dy = halfHeight_ * (b.y / b.w - a.y / a.w);
    return std::sqrt(dx * dx + dy * dy);
  }

  double combined_[16];
  SceneOrigin origin_;
  double halfWidth_, halfHeight_;
};

// Whether a map rectangle meets the view rectangle (both x min, y min, x max, y max); every one
// does when the view rectangle is empty (no view footprint to go by).
bool InView(const double* e, const double view[4]) {
  if (!(view[2] > view[0] && view[3] > view[1])) return true;
  return e[0] <= view[2] && e[2] >= view[0] && e[1] <= view[3] && e[3] >= view[1];
}

// Whether block k of the regions lies in the view rectangle.
bool BlockInView(const RegionData& regions, uint32_t k, const double view[4]) {
  return k >= regions.blockExtents.size() || InView(regions.blockExtents[k].data(), view);
}

// Block k's vertices: in the mapped file, or read into the vertex buffer. The vertex count is
// returned, 0 when the block cannot be read or holds more vertices than a block of its kind can.
int ReadBlock(const RegionData& regions, uint32_t k, bool textured, std::vector<float>& buffer,
              const void** vertices) {
  const uint8_t* block = nullptr;
  const size_t header = textured ? RegionBlock::kTexturedHeader : RegionBlock::kColourHeader;
  if (regions.view.valid()) {
    block = static_cast<const uint8_t*>(regions.view.data()) + size_t(k) * RegionBlock::kBytes;
  } else {
    uint8_t* read = regions.blockBuffer.get();
    if (!regions.blocks.ReadAt(uint64_t(k) * RegionBlock::kBytes, read, RegionBlock::kBytes)) {
      return 0;
    }
    block = read;
  }
  const int count = U16(block + 2);
  const int capacity = 3 * (textured ? RegionBlock::kTexturedTriangles : RegionBlock::kColourTriangles);
  if (count > capacity || count != U16(block) || count % 3 != 0) return 0;
  if (regions.view.valid()) {
    *vertices = block + header;
  } else {
    buffer.resize((RegionBlock::kBytes - RegionBlock::kColourHeader) / sizeof(float));
    std::memcpy(buffer.data(), block + header, RegionBlock::kBytes - header);
    *vertices = buffer.data();
  }
  return count;
}

// Draws the triangles of count vertices (laid out as in a block) that the terrain does not hide.
void DrawVertices(SceneObject& scene, const float* vertices, int count, bool textured,
                  GroundVisibility& visibility, std::vector<float>& seen) {
  // Drawn with 0, 1, 2, ... as indices: the vertices are the triangles' corners in order.
  const int floatsPerVertex = textured ? RegionBlock::kTexturedFloats : RegionBlock::kColourFloats;
  seen.clear();
  AppendSeenTriangles(vertices, count, floatsPerVertex, visibility, seen);
  if (seen.empty()) return;
  g_stats.triangles += int64_t(seen.size() / size_t(floatsPerVertex) / 3);
  glInterleavedArrays(textured ? GL_T2F_N3F_V3F : GL_N3F_V3F, 0, seen.data());
  glDrawElements(GL_TRIANGLES, GLsizei(seen.size() / size_t(floatsPerVertex)), GL_UNSIGNED_INT,
                 scene.overlayIndexBuffer.data());
}

void DrawBlocks(SceneObject& scene, const RegionData& regions, uint32_t first, uint32_t count,
                const double view[4], bool textured, GroundVisibility& visibility,
                std::vector<float>& seen) {
  for (uint32_t k = first; k < first + count; ++k) {
    if (!BlockInView(regions, k, view)) continue;
    const void* data = nullptr;
    const int vertices = ReadBlock(regions, k, textured, scene.overlayVertexBuffer, &data);
    if (vertices == 0) continue;  // a block that cannot be read back is skipped
    DrawVertices(scene, static_cast<const float*>(data), vertices, textured, visibility, seen);
  }
}

// Colour-filled faces of one colour drawn together: a frame may hold thousands of small regions,
// and one draw call each would cost more than their triangles. The faces, their order and their
// colours are those of drawing each block by itself.
class ColourBatch {
 public:
  ColourBatch(std::vector<float>& buffer, GroundVisibility& visibility)
      : buffer_(buffer), visibility_(visibility) {
    buffer_.clear();
  }
  ~ColourBatch() { Flush(); }
  ColourBatch(const ColourBatch&) = delete;
  ColourBatch& operator=(const ColourBatch&) = delete;

  // The colour of the faces added next; what is held in another colour is drawn first.
  void Colour(const float rgba[4]) {
    if (vertices_ > 0 && std::memcmp(rgba, colour_, sizeof colour_) != 0) Flush();
    std::memcpy(colour_, rgba, sizeof colour_);
  }
  void Add(const void* data, int count) {
    if (vertices_ + count > kMaxVertices) Flush();
    const size_t before = buffer_.size();
    AppendSeenTriangles(static_cast<const float*>(data), count, RegionBlock::kColourFloats,
                        visibility_, buffer_);
    vertices_ += int((buffer_.size() - before) / RegionBlock::kColourFloats);
  }
  void Flush() {
    if (vertices_ == 0) return;
    g_stats.triangles += vertices_ / 3;
    glColor4fv(colour_);
    glInterleavedArrays(GL_N3F_V3F, 0, buffer_.data());
    glDrawArrays(GL_TRIANGLES, 0, vertices_);
    buffer_.clear();
    vertices_ = 0;
  }

 private:
  static constexpr int kMaxVertices = 3 * RegionBlock::kColourTriangles * 64;
  std::vector<float>& buffer_;
  GroundVisibility& visibility_;
  float colour_[4] = {0, 0, 0, 0};
  int vertices_ = 0;
};

// Uploads the region's image; false when it has none.
bool UploadRegionImage(SceneObject& scene, int32_t record, FrameTarget target) {
  const bool packed = target == kTargetWindow && scene.packedPixelsExt != 0;
  uint16_t width = 0, height = 0;
  std::unique_ptr<uint8_t[]> texels;
  if (!FetchRegionImage(record, packed ? 4 : 1, &width, &height, &texels)) return false;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (packed) {
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1,
                 texels.get());
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.get());
  }
  return true;
}

}  // namespace

const RegionPassStats& LastRegionPassStats() { return g_stats; }

void DrawRegions(SceneObject& scene, SceneState& state, FrameTarget target) {
  if (state.glReady != 1 || g_process.overlayStore == nullptr || scene.regionLoaded == 0) return;
  const RegionData& regions = g_process.overlayStore->regions;
  if (!regions.loaded() || regions.descriptors == nullptr) return;
  g_stats = RegionPassStats();
  const uint16_t slot = RegionFileIndex(state);

  // Everything the pass changes comes back at its end: enables, blending, colour, texture
  // binding and environment, unpack alignment.
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT |
               GL_LIGHTING_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
  // Regions lie on the surface: drawn over it without a depth test, so that they neither fight
  // with it nor sink under coarser parts of the mesh; what the terrain hides is left out by
  // triangle (see AnyCornerSeen).
  glDisable(GL_DEPTH_TEST);
  double modelView[16], projection[16];
  GLint viewport[4] = {0, 0, 0, 0};
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  GroundVisibility visibility(modelView, projection, viewport, kHiddenLiftPixels, kDepthMargin);
  const RegionDetail detail(modelView, projection, viewport, SceneOriginOf(state));
  // Opacity works as opacity: 255 hides the terrain under the region, 0 shows it unchanged.
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  const size_t indexCount = 3 * RegionBlock::kColourTriangles;
  if (scene.overlayIndexBuffer.size() < indexCount) scene.overlayIndexBuffer.resize(indexCount);
  for (size_t i = 0; i < indexCount; ++i) scene.overlayIndexBuffer[i] = uint32_t(i);

  const double view[4] = {scene.viewRect.xMin, scene.viewRect.yMin, scene.viewRect.xMax,
                          scene.viewRect.yMax};
  const double eye[2] = {state.eyePosition[0], state.eyePosition[1]};
  // The state of colour-filled faces (set again after each textured region).
  auto colourState = [&state] {
    if (state.surfaceDisplayMode == 0) {
      glEnable(GL_LIGHTING);
      glEnable(GL_COLOR_MATERIAL);
    }
    glDisable(GL_TEXTURE_2D);
  };
  colourState();
  std::vector<float> batchBuffer;
  ColourBatch batch(batchBuffer, visibility);
  std::vector<float> seen;
  for (int32_t i = 0; i < regions.count; ++i) {
    const TnRegionDescriptor& region = regions.descriptors[i];
    if (region.shown == 0 || regions.firstBlock[size_t(i) + 1] == regions.firstBlock[size_t(i)])
      continue;
    // In view: the file's spatial index answers the view rectangle once per frame.
    double extent[4];
    if (BaseRecordInRect(slot, region.record, view) != MAP_OK ||
        BaseGetRegionExtent(slot, region.record, extent) != MAP_OK) {
      continue;
    }
    const double distance = BaseRegionDistance(eye, slot, region.record);
    if (distance > region.maxEyeDistance) continue;
    const float alpha = region.opacity / 255.0f;
    if (region.textured == 0) {
      int32_t colour = 0;
      if (BaseGetRegionColor(slot, region.record, &colour) != MAP_OK) continue;
      int32_t r = 0, g = 0, b = 0;
      float rgba[4] = {0, 0, 0.5f, alpha};
      if (MapGetColorRGB(colour, &r, &g, &b) != 0) {
        rgba[0] = r / 255.0f;
        rgba[1] = g / 255.0f;
        rgba[2] = b / 255.0f;
      }
      batch.Colour(rgba);
    } else {
      batch.Flush();
      BindOverlayTexture(scene.textureIds[kTextureRegion][target], GL_CLAMP, GL_CLAMP);
      glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
      if (!UploadRegionImage(scene, region.record, target)) continue;
      // The image replaces the colour (decal); the colour's alpha is the region's opacity.
      glColor4f(1, 1, 1, alpha);
      glDisable(GL_LIGHTING);
      glDisable(GL_COLOR_MATERIAL);
      glEnable(GL_TEXTURE_2D);
    }
    const uint32_t firstTile = regions.firstTile[size_t(i)];
    const uint32_t tiles = regions.firstTile[size_t(i) + 1] - firstTile;
    for (uint32_t t = firstTile; t < firstTile + tiles; ++t) {
      const RegionLevels& level = regions.levels[t];
      // A region of one tile goes by its outline's distance; a tile of a larger one by its own
      // rectangle's, and is skipped out of the view rectangle.
      const double* tileExtent = tiles == 1 ? extent : level.extent;
      double tileDistance = distance;
      if (tiles > 1) {
        if (!InView(level.extent, view)) continue;
        const double dx = std::max({level.extent[0] - eye[0], 0.0, eye[0] - level.extent[2]});
        const double dy = std::max({level.extent[1] - eye[1], 0.0, eye[1] - level.extent[3]});
        tileDistance = std::max(distance, std::hypot(dx, dy));
      }
      // The faces cut to the grid's cells, the triangulation, or a coarser or thinner set: the
      // coarsest that shows the same (see RegionDetail).
      const int set = detail.Choose(level, regions, tileExtent, tileDistance, eye);
      const float* farVertices = set >= 0 ? regions.farVertices.data() + level.farFirst[set] : nullptr;
      const int farCount = set >= 0 ? level.farVertices[set] : 0;
      if (set >= 0) ++g_stats.farRegions;
      uint32_t first = level.firstBlock, blocks = level.blocks;
      if (set == kCoarseSet) {
        blocks = level.coarse;
      } else {
        first += level.coarse;
        blocks -= level.coarse;
      }
      if (region.textured == 0) {
        if (farVertices != nullptr) {
          batch.Add(farVertices, farCount);
          continue;
        }
        for (uint32_t k = first; k < first + blocks; ++k) {
          if (!BlockInView(regions, k, view)) continue;
          const void* data = nullptr;
          const int vertices = ReadBlock(regions, k, false, seen, &data);
          if (vertices > 0) batch.Add(data, vertices);  // a block that cannot be read is skipped
        }
      } else if (farVertices != nullptr) {
        DrawVertices(scene, farVertices, farCount, true, visibility, seen);
      } else {
        DrawBlocks(scene, regions, first, blocks, view, true, visibility, seen);
      }
    }
    if (region.textured != 0) colourState();
  }
  batch.Flush();
  glPopClientAttrib();
  glPopAttrib();
}

}  // namespace t3d

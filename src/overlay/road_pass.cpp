// The road pass of every frame: the road blocks read back from the block file and drawn with the
// road image over the terrain, and the road image itself.
#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "formats/colour_table.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/drawn_depth.h"
#include "overlay/overlay_image.h"
#include "overlay/region_blocks.h"
#include "overlay/overlay_texture.h"
#include "overlay/road_layer.h"

namespace t3d {
namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Block k of the file: in the mapping, or read into the block buffer. Null when it cannot be
// read.
const uint8_t* BlockAt(const RoadData& roads, uint32_t k) {
  if (roads.view.valid()) return static_cast<const uint8_t*>(roads.view.data()) + size_t(k) * RoadBlock::kBytes;
  uint8_t* read = roads.blockBuffer.get();
  if (read == nullptr || !roads.blocks.ReadAt(uint64_t(k) * RoadBlock::kBytes, read, RoadBlock::kBytes)) {
    return nullptr;
  }
  return read;
}

// The ribbons of the blocks in view, gathered for one draw call: ribbons narrower than
// kRoadMinWidthPixels widened to it, vertices lifted above the ground by kRoadLiftPixels at their
// distance from the eye, indices rebased. A block whose counts or indices do not fit a block is
// skipped.
class RoadBatch {
 public:
  RoadBatch(std::vector<float>& vertices, std::vector<uint32_t>& indices)
      : vertices_(vertices), indices_(indices) {
    vertices_.clear();
    indices_.clear();
    double modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // Row 4 of projection × model-view: the clip w, a point's distance in front of the eye.
    for (int k = 0; k < 4; ++k) {
      w_[k] = 0;
      for (int j = 0; j < 4; ++j) w_[k] += projection[j * 4 + 3] * modelView[k * 4 + j];
    }
    Multiply(projection, modelView, combined_);
    halfWidth_ = viewport[2] / 2.0;
    halfHeight_ = viewport[3] / 2.0;
    // Scene units one pixel spans at distance 1 along the view axis.
    pixelSpan_ = projection[5] != 0 && viewport[3] > 0 ? 2.0 / (std::fabs(projection[5]) * viewport[3]) : 0.0;
    // Orthographic views have no distance to scale by: a fixed part of the scene's height.
    if (projection[11] == 0) {
      for (double& v : w_) v = 0;
      w_[3] = 1;
      perspective_ = false;
    }
  }

  // Adds a run of quads of a block.
  void Add(const uint8_t* block, const RoadSpan& span) {
    const int vertexCount = U16(block), indexCount = U16(block + 2);
    if (vertexCount > RoadBlock::kVertexCapacity || indexCount > RoadBlock::kIndexCapacity ||
        span.firstVertex + span.vertexCount > vertexCount || span.firstIndex + span.indexCount > indexCount) {
      return;
    }
    const uint8_t* index = block + RoadBlock::kIndexOffset + 2 * size_t(span.firstIndex);
    for (int i = 0; i < span.indexCount; ++i) {
      const int v = U16(index + 2 * i);
      if (v < span.firstVertex || v >= span.firstVertex + span.vertexCount) return;
    }
    const uint32_t base = uint32_t(vertices_.size() / RoadBlock::kFloats);
    const size_t at = vertices_.size();
    vertices_.resize(at + size_t(span.vertexCount) * RoadBlock::kFloats);
    float* out = vertices_.data() + at;
    std::memcpy(out, block + RoadBlock::kVertexOffset + size_t(span.firstVertex) * RoadBlock::kFloats * 4,
                size_t(span.vertexCount) * RoadBlock::kFloats * 4);
    if (span.vertexCount % 4 == 0) {
      for (int q = 0; q < span.vertexCount; q += 4) Widen(out + size_t(q) * RoadBlock::kFloats);
    }
    const double lift = kRoadLiftPixels * pixelSpan_;
    for (int v = 0; v < span.vertexCount; ++v, out += RoadBlock::kFloats) {
      const double w = w_[0] * out[5] + w_[1] * out[6] + w_[2] * out[7] + w_[3];
      out[7] = float(out[7] + lift * std::max(w, 0.0));
    }
    for (int i = 0; i < span.indexCount; ++i) {
      indices_.push_back(base + uint32_t(U16(index + 2 * i) - span.firstVertex));
    }
  }

  // Scene units one pixel spans at distance 1 along the view axis; 0 for a view without
  // perspective.
  double pixelSpan() const { return perspective_ ? pixelSpan_ : 0.0; }

  // Widens a quad (four vertices: the left and right edge points at its start and end, in either
  // order, told apart by the image's s coordinate, 0 on the left and 1 on the right, and paired by
  // t) to kRoadMinWidthPixels across on the screen where it is narrower. Across is measured
  // square to the road's direction on the screen (for a piece at least a pixel long): a ribbon
  // seen at a slant is foreshortened, and its edge points then lie apart along the road more than
  // across it.
  void Widen(float* quad) const {
    float* ends[2][2] = {{nullptr, nullptr}, {nullptr, nullptr}};  // [start, end][left, right]
    float t[2] = {0, 0};
    int pairs = 0;
    for (int left = 0; left < 4 && pairs < 2; ++left) {
      float* l = quad + left * RoadBlock::kFloats;
      if (l[0] != 0) continue;
      for (int right = 0; right < 4; ++right) {
        float* r = quad + right * RoadBlock::kFloats;
        if (r[0] == 1 && r[1] == l[1]) {
          ends[pairs][0] = l + 5;
          ends[pairs][1] = r + 5;
          t[pairs] = l[1];
          ++pairs;
          break;
        }
      }
    }
    if (pairs != 2 || t[0] == t[1]) return;
    double sx[2][2], sy[2][2];  // window positions, relative to the centre
    for (int e = 0; e < 2; ++e) {
      for (int side = 0; side < 2; ++side) {
        const float* p = ends[e][side];
        const Clip4 c = Transform(combined_, p[0], p[1], p[2]);
        if (!(c.w > 0)) return;
        sx[e][side] = halfWidth_ * c.x / c.w;
        sy[e][side] = halfHeight_ * c.y / c.w;
      }
    }
    const double dx = (sx[1][0] + sx[1][1] - sx[0][0] - sx[0][1]) / 2;
    const double dy = (sy[1][0] + sy[1][1] - sy[0][0] - sy[0][1]) / 2;
    const double along = std::sqrt(dx * dx + dy * dy);
    for (int e = 0; e < 2; ++e) {
      const double ax = sx[e][1] - sx[e][0], ay = sy[e][1] - sy[e][0];
      // A piece less than a pixel long has no direction to speak of on the screen: its edge
      // points' plain distance is taken (a slanted measure on it would make a sliver across).
      const double apart = std::sqrt(ax * ax + ay * ay);
      const double across = along >= 1 ? std::fabs(ax * dy - ay * dx) / along : apart;
      if (!(across < kRoadMinWidthPixels)) continue;
      double f = across > kRoadMinWidthPixels / kRoadMaxWidening ? kRoadMinWidthPixels / across
                                                                 : kRoadMaxWidening;
      // Where the road's width and its length fall along the same line on the screen (its
      // ribbon seen edge on), widening would stretch it along that line, not across: the edge
      // points are never put more than twice the width apart.
      if (apart > 0) f = std::min(f, 2 * kRoadMinWidthPixels / apart);
      if (!(f > 1)) continue;
      float* l = ends[e][0];
      float* r = ends[e][1];
      for (int k = 0; k < 3; ++k) {
        const double centre = (double(l[k]) + r[k]) / 2, half = (double(r[k]) - l[k]) / 2;
        l[k] = float(centre - f * half);
        r[k] = float(centre + f * half);
      }
    }
  }

  void Draw() const {
    if (indices_.empty()) return;
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, vertices_.data());
    glDrawElements(GL_TRIANGLES, GLsizei(indices_.size()), GL_UNSIGNED_INT, indices_.data());
  }

 private:
  std::vector<float>& vertices_;
  std::vector<uint32_t>& indices_;
  double w_[4] = {0, 0, 0, 1};
  double combined_[16] = {};
  double halfWidth_ = 0, halfHeight_ = 0;
  double pixelSpan_ = 0;
  bool perspective_ = true;
};

// Binds the target's road texture, making it and uploading the road image first when needed.
// False when the texture was just made and no road image could be had (the pass ends for this
// frame; later frames draw the ribbons without an image).
bool BindRoadTexture(SceneObject& scene, FrameTarget target) {
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
  if (!BindOverlayTexture(scene.textureIds[kTextureRoad][target], GL_CLAMP, GL_REPEAT)) return true;
  const bool packed = target == kTargetWindow && scene.packedPixelsExt != 0;
  uint16_t width = 0, height = 0;
  std::unique_ptr<uint8_t[]> texels;
  if (!LoadRoadTexels(packed ? 4 : 1, &width, &height, &texels)) return false;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (packed) {
    glTexImage2D(GL_TEXTURE_2D, 0, 4, width, height, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, texels.get());
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, 3, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.get());
  }
  return true;
}

}  // namespace

bool LoadRoadTexels(int mode, uint16_t* width, uint16_t* height, std::unique_ptr<uint8_t[]>* texels) {
  if (g_process.overlayStore == nullptr || TexelBytes(mode) == 0) return false;
  RoadData& roads = g_process.overlayStore->roads;
  std::unique_ptr<uint8_t[]> rgb;
  uint32_t w = 0, h = 0;
  if (!roads.imageFile.empty() && !roads.imageRefused) {
    OverlayImage image;
    if (ReadOverlayImage(roads.imageFile, &image)) {
      rgb = std::move(image.texels);
      w = image.width;
      h = image.height;
    } else {
      ShowMessage(MessageId::kRoadTextureFallback);
      roads.imageRefused = true;
    }
  }
  if (rgb == nullptr) {
    RgbImage image;
    if (!LoadRoadImage(image)) return false;
    rgb = std::move(image.pixels);
    w = image.width;
    h = image.height;
  }
  const size_t count = size_t(w) * h;
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[count * size_t(TexelBytes(mode))]);
  if (out == nullptr) return false;
  ConvertTexels(rgb.get(), count, mode, out.get());
  *width = uint16_t(w);
  *height = uint16_t(h);
  *texels = std::move(out);
  return true;
}

void DrawRoads(SceneObject& scene, SceneState& state, FrameTarget target) {
  if (state.glReady != 1 || g_process.overlayStore == nullptr || scene.roadLoaded == 0) return;
  const RoadData& roads = g_process.overlayStore->roads;
  if (!roads.loaded()) return;
  // Everything the pass changes comes back at its end.
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT |
               GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
  if (BindRoadTexture(scene, target)) {
    GLint imageWidth = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &imageWidth);
    if (imageWidth > 0) {
      glEnable(GL_TEXTURE_2D);  // the image replaces the colour (decal)
    } else {
      glDisable(GL_TEXTURE_2D);  // no road image: plain grey ribbons
      glColor3f(0.45f, 0.45f, 0.45f);
    }
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    // Tested against the terrain's depth so that ridges in front hide the road; the lift keeps
    // the road above the surface it lies on. The depth buffer keeps the terrain's values for
    // the passes after this one.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_FALSE);
    const double r = state.sceneRadius != 0 ? state.sceneRadius : 1.0;
    const MapRect& view = scene.viewRect;
    const bool cull = view.xMax > view.xMin && view.yMax > view.yMin;
    const double eyeX = state.eyePosition[0], eyeY = state.eyePosition[1];
    const double dz = std::max(0.0, double(state.eyePosition[2]) - state.zMax);
    RoadBatch batch(scene.overlayVertexBuffer, scene.overlayIndexBuffer);
    // A road is drawn from its coarse set where the ground rises above the coarse quads by at
    // most half the lift: at scene distance d the lift is kRoadLiftPixels × pixelSpan × d.
    const double liftPerDistance = kRoadLiftPixels * batch.pixelSpan();
    // The thinned set where its tolerance spans less than a pixel.
    const double thinFrom = batch.pixelSpan() > 0 ? roads.thinTolerance / batch.pixelSpan() : HUGE_VAL;
    uint32_t cached = UINT32_MAX;
    const uint8_t* block = nullptr;
    for (const RoadLine& line : roads.lines) {
      const double x0 = line.rect[0] * r, y0 = line.rect[1] * r, x1 = line.rect[2] * r, y1 = line.rect[3] * r;
      if (cull && (x1 < view.xMin || x0 > view.xMax || y1 < view.yMin || y0 > view.yMax)) continue;
      // The distance to the road's rectangle at the grid's greatest height: never more than
      // the true distance, so that a road is never drawn coarser than it should be.
      const double dx = eyeX < x0 ? x0 - eyeX : (eyeX > x1 ? eyeX - x1 : 0);
      const double dy = eyeY < y0 ? y0 - eyeY : (eyeY > y1 ? eyeY - y1 : 0);
      const double distance = std::sqrt(dx * dx + dy * dy + dz * dz) / r;
      const double halfLift = 0.5 * liftPerDistance * distance;
      int set = liftPerDistance > 0 && line.rise[0] <= halfLift ? 1 : 0;
      if (set == 1 && distance * r >= thinFrom && line.rise[1] <= halfLift) set = 2;
      for (uint32_t k = 0; k < line.spanCount[set]; ++k) {
        const size_t at = size_t(line.firstSpan[set]) + k;
        if (at >= roads.spans.size()) break;
        const RoadSpan& span = roads.spans[at];
        if (span.block >= roads.blockCount) continue;
        if (span.block != cached) {
          block = BlockAt(roads, span.block);
          cached = span.block;
        }
        if (block != nullptr) batch.Add(block, span);  // a block that cannot be read is skipped
      }
    }
    batch.Draw();
  }
  glPopClientAttrib();
  glPopAttrib();
}

}  // namespace t3d

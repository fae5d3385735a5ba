// The region pass of every frame: the blocks of the regions in view, read back from the block
// file and drawn as translucent colour or image over the terrain.
#include <GL/gl.h>

#include <cstring>
#include <memory>

#include "adapters/map_file.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "overlay/region_blocks.h"
#include "overlay/region_layer.h"

namespace t3d {
namespace {

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// Reads block k into the vertex buffer; the vertex count, or 0 when the block cannot be read or
// holds more vertices than a block of its kind can.
int ReadBlock(const RegionData& regions, uint32_t k, bool textured, std::vector<float>& vertices) {
  uint8_t* block = regions.blockBuffer.get();
  if (!regions.blocks.ReadAt(uint64_t(k) * RegionBlock::kBytes, block, RegionBlock::kBytes)) {
    return 0;
  }
  const int count = U16(block + 2);
  const int capacity = 3 * (textured ? RegionBlock::kTexturedTriangles : RegionBlock::kColourTriangles);
  if (count > capacity || count != U16(block) || count % 3 != 0) return 0;
  const size_t header = textured ? RegionBlock::kTexturedHeader : RegionBlock::kColourHeader;
  vertices.resize((RegionBlock::kBytes - RegionBlock::kColourHeader) / sizeof(float));
  std::memcpy(vertices.data(), block + header, RegionBlock::kBytes - header);
  return count;
}

void DrawBlocks(SceneObject& scene, const RegionData& regions, uint32_t first, uint32_t count,
                bool textured) {
  for (uint32_t k = first; k < first + count; ++k) {
    const int vertices = ReadBlock(regions, k, textured, scene.overlayVertexBuffer);
    if (vertices == 0) continue;  // a block that cannot be read back is skipped
    glInterleavedArrays(textured ? GL_T2F_N3F_V3F : GL_N3F_V3F, 0, scene.overlayVertexBuffer.data());
    glDrawElements(GL_TRIANGLES, vertices, GL_UNSIGNED_INT, scene.overlayIndexBuffer.data());
  }
}

// Binds the target's region texture, making it first when needed.
void BindRegionTexture(SceneObject& scene, FrameTarget target) {
  GLuint& texture = scene.textureIds[kTextureRegion][target];
  if (texture != 0 && glIsTexture(texture)) {
    glBindTexture(GL_TEXTURE_2D, texture);
    return;
  }
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  const GLclampf priority = 1.0f;
  glPrioritizeTextures(1, &texture, &priority);
}

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

void DrawRegions(SceneObject& scene, SceneState& state, FrameTarget target) {
  if (state.glReady != 1 || g_process.overlayStore == nullptr || scene.regionLoaded == 0) return;
  const RegionData& regions = g_process.overlayStore->regions;
  if (!regions.loaded() || regions.descriptors == nullptr) return;
  const uint16_t slot = RegionFileIndex(state);

  // Everything the pass changes comes back at its end: enables, blending, colour, texture
  // binding and environment, unpack alignment.
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_TEXTURE_BIT |
               GL_LIGHTING_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
  // Regions lie on the surface: drawn over it without a depth test, so that they neither fight
  // with it nor sink under coarser parts of the mesh.
  glDisable(GL_DEPTH_TEST);
  // Opacity works as opacity: 255 hides the terrain under the region, 0 shows it unchanged.
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_BLEND);
  const size_t indexCount = 3 * RegionBlock::kColourTriangles;
  if (scene.overlayIndexBuffer.size() < indexCount) scene.overlayIndexBuffer.resize(indexCount);
  for (size_t i = 0; i < indexCount; ++i) scene.overlayIndexBuffer[i] = uint32_t(i);

  const double view[4] = {scene.viewRect.xMin, scene.viewRect.yMin, scene.viewRect.xMax,
                          scene.viewRect.yMax};
  const double eye[2] = {state.eyePosition[0], state.eyePosition[1]};
  for (int32_t i = 0; i < regions.count; ++i) {
    const TnRegionDescriptor& region = regions.descriptors[i];
    const uint32_t first = regions.firstBlock[size_t(i)];
    const uint32_t blocks = regions.firstBlock[size_t(i) + 1] - first;
    if (region.shown == 0 || blocks == 0) continue;
    // In view: the file's spatial index answers the view rectangle once per frame.
    double extent[4];
    if (BaseRecordInRect(slot, region.record, view) != MAP_OK ||
        BaseGetRegionExtent(slot, region.record, extent) != MAP_OK) {
      continue;
    }
    if (BaseRegionDistance(eye, slot, region.record) > region.maxEyeDistance) continue;
    const float alpha = region.opacity / 255.0f;
    if (region.textured == 0) {
      int32_t colour = 0;
      if (BaseGetRegionColor(slot, region.record, &colour) != MAP_OK) continue;
      int32_t r = 0, g = 0, b = 0;
      if (MapGetColorRGB(colour, &r, &g, &b) != 0) {
        glColor4f(r / 255.0f, g / 255.0f, b / 255.0f, alpha);
      } else {
        glColor4f(0, 0, 0.5f, alpha);
      }
      if (state.surfaceDisplayMode == 0) {
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
      }
      glDisable(GL_TEXTURE_2D);
      DrawBlocks(scene, regions, first, blocks, false);
    } else {
      BindRegionTexture(scene, target);
      if (!UploadRegionImage(scene, region.record, target)) continue;
      // The image replaces the colour (decal); the colour's alpha is the region's opacity.
      glColor4f(1, 1, 1, alpha);
      glDisable(GL_LIGHTING);
      glDisable(GL_COLOR_MATERIAL);
      glEnable(GL_TEXTURE_2D);
      DrawBlocks(scene, regions, first, blocks, true);
      glDisable(GL_TEXTURE_2D);
    }
  }
  glPopClientAttrib();
  glPopAttrib();
}

}  // namespace t3d

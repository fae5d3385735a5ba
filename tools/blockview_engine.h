// A sample host engine of the block scene: it keeps its own headless GL context (EGL), asks the
// library for the view range of each eye, and draws the meshes and texture tiles the library
// hands to its callbacks from its own vertex buffers and textures.
#pragma once

#include <map>
#include <string>

#include "image_files.h"

namespace t3dhost {

// One camera of the host: eye (map units, height not scaled), the point it looks at, the field
// of view in degrees.
struct BlockViewCamera {
  float eye[3] = {0, 0, 0};
  float lookAt[2] = {0, 0};
  float fieldOfView = 60;
};

class BlockViewEngine {
 public:
  BlockViewEngine() = default;
  ~BlockViewEngine();
  BlockViewEngine(const BlockViewEngine&) = delete;
  BlockViewEngine& operator=(const BlockViewEngine&) = delete;

  // Makes the GL context of width x height pixels and a block scene of the DEM file (with the
  // texture image or library when texture is not empty). False with the reason in error.
  bool Open(const std::string& dem, const std::string& texture, int width, int height,
            std::string& error);
  // Draws one frame from the camera into picture (BGRA, top row first). False, with the reason,
  // when the library refuses the view or the frame.
  bool Draw(const BlockViewCamera& camera, Picture& picture, std::string& error);

  // The eye limits of the prepared block scene (see dmPrepareDem3DScene).
  const float* eyeLimits() const { return limits_; }
  // Meshes and tiles of the last frame.
  int meshes() const { return meshes_; }
  int tilesLoaded() const { return tilesLoaded_; }

 private:
  static int32_t LoadTile(unsigned char exponent, unsigned char bytesPerPixel, int32_t pixelFormat,
                          int32_t tile, void* user);
  static void DrawMesh(int32_t kind, void* vertices, unsigned short vertexCount,
                       unsigned short* indices, unsigned short indexCount, void* user);
  bool MakeCurrent();

  void* display_ = nullptr;
  void* surface_ = nullptr;
  void* context_ = nullptr;
  int width_ = 0, height_ = 0;
  void* block_ = nullptr;
  int dem_ = 0;
  bool textured_ = false;
  float limits_[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  unsigned vertexBuffer_ = 0, indexBuffer_ = 0;
  std::map<int, unsigned> tileTextures_;
  int meshes_ = 0, tilesLoaded_ = 0;
};

}  // namespace t3dhost

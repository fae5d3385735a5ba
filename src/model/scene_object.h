// The scene object: the first handle of the scene interface. It holds the window-side working
// values, the busy, texture and layer flags, the GL texture names by kind and context, and the
// overlay scratch buffers and matrices; it owns the device and rendering contexts that the scene
// state block names.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gl_device.h"
#include "model/scene_state.h"
#include "terrain/footprint.h"
#include "terrain/surface_mesh.h"

namespace t3d {

struct ClientRect {
  int32_t left, top, right, bottom;
};

// Kinds of GL texture the scene keeps, and the contexts they belong to.
enum TextureKind { kTextureTerrain = 0, kTextureSky = 1, kTextureKinds = 5 };
enum TextureContext { kWindowContext = 0, kOffscreenContext = 1 };

// Frame targets: the window, or the off-screen bitmap.
enum FrameTarget { kTargetWindow = 0, kTargetOffscreen = 1 };

class SceneObject {
 public:
  // Clears the flags and the texture image, and drops the process-wide terrain area, texture
  // store and overlay store, so that a new scene never draws an earlier scene's terrain.
  SceneObject();
  // Deletes the terrain area, the texture image, the texture store and the overlay store, and
  // releases any device or rendering context still held.
  virtual ~SceneObject();
  SceneObject(const SceneObject&) = delete;
  SceneObject& operator=(const SceneObject&) = delete;

  // tnInitial3DScene: binds the window, sets every default, and sets up the GL context. Returns
  // true when every step succeeded.
  bool Initialise(SceneState& state, const void* window);
  // tnRelease3DScene: releases the window context when one is made, then the scene data.
  void Release(SceneState& state);
  // Frees the fly route, the mesh scratch buffer, the terrain area, the texture image, the
  // texture store and the overlay store (also done before every preparation).
  void ReleaseSceneData(SceneState& state);

  // tnGetDeviceInfo and tnGetGLInfo.
  bool GetDeviceInfo(SceneState& state, int info[3]);
  const char* GetGLInfo(SceneState& state, int which);

  // Makes the window context current again when it is ready (drawing calls do this first).
  bool MakeWindowCurrent(SceneState& state);
  // Makes the context of the target current: the window's, or the off-screen bitmap's while one
  // exists.
  bool MakeCurrent(SceneState& state, FrameTarget target);
  // Ends a frame on the target: shows the window's back buffer, or copies the off-screen frame
  // into the bitmap.
  bool PresentFrame(SceneState& state, FrameTarget target);

  // Off-screen rendering for outputs: a width x height bitmap with its own context, current
  // until EndOffscreen restores the window context. Returns false (after its message) on
  // failure, with the window context current again.
  bool BeginOffscreen(SceneState& state, int width, int height);
  void EndOffscreen(SceneState& state);

  // Window-side working values.
  ClientRect clientRect{};
  float eyeMove = 0;
  float eyeMoveMin = 0, eyeMoveMax = 0, eyeMoveStep = 0;
  float navigateStep = 0;
  float skyAngle = 0;
  float skyDrift = 0;
  float eyeRange[9] = {};
  uint8_t busy = 0;
  uint8_t textureReady = 0;
  uint8_t planeMode = 0;
  uint8_t roadLoaded = 0, regionLoaded = 0, noteLoaded = 0, lineLoaded = 0;
  int32_t savedDrawQuality = 0;
  uint8_t packedPixelsExt = 0;
  std::vector<float> overlayVertexBuffer;
  std::vector<uint32_t> overlayIndexBuffer;
  std::unique_ptr<uint8_t[]> textureImage;
  GLuint textureIds[kTextureKinds][2] = {};
  double overlayModelView[16] = {};
  double overlayProjection[16] = {};
  int32_t viewportHalfWidth = 0, viewportHalfHeight = 0;
  int32_t viewportCentreX = 0, viewportCentreY = 0;
  // Set while the overlay passes draw one tile of a picture drawn in tiles: a note whose point
  // lies in a neighbouring tile may reach into this one.
  bool drawingTile = false;
  // What the surface mesh drew in the last frame.
  MeshStats lastMesh;
  // The map extent of the last frame's full footprint, read by the overlays.
  MapRect viewRect;

 private:
  void SetDefaults(SceneState& state, const void* window);
  bool SetUpContext(SceneState& state);
  void ReleaseWindowContext(SceneState& state);
  void DropContexts(SceneState& state);
  void DeleteTextures(TextureContext context);

  // What the state block's hDC, hGLRC, hMemDC and hSavedGLRC name.
  std::unique_ptr<platform::DeviceContext> windowDevice_;
  std::unique_ptr<platform::GlContext> windowContext_;
  std::unique_ptr<platform::MemoryDevice> memoryDevice_;
  std::unique_ptr<platform::GlContext> offscreenContext_;
};

// Marks the scene busy for the life of the scope (drawing calls then do nothing and succeed), and
// puts back the mark it found.
class BusyScope {
 public:
  explicit BusyScope(SceneObject& scene) : scene_(scene), saved_(scene.busy) { scene_.busy = 1; }
  ~BusyScope() { scene_.busy = saved_; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  SceneObject& scene_;
  uint8_t saved_;
};

// Off-screen rendering for an output: a width x height bitmap with its own context, current for
// the life of the scope. When it ends, the window context is current again and the client size
// and focal length that a projection for the bitmap changed are those of the window again.
class OffscreenScope {
 public:
  OffscreenScope(SceneObject& scene, SceneState& state, int width, int height)
      : scene_(scene), state_(state), savedClient_(scene.clientRect),
        savedFocal_(state.focalLength), begun_(scene.BeginOffscreen(state, width, height)) {}
  ~OffscreenScope() {
    if (!begun_) return;
    scene_.clientRect = savedClient_;
    state_.focalLength = savedFocal_;
    scene_.EndOffscreen(state_);
  }
  OffscreenScope(const OffscreenScope&) = delete;
  OffscreenScope& operator=(const OffscreenScope&) = delete;

  // False when the bitmap or its context could not be made (its message was shown).
  bool begun() const { return begun_; }

 private:
  SceneObject& scene_;
  SceneState& state_;
  ClientRect savedClient_;
  double savedFocal_;
  bool begun_;
};

// Applies the fixed GL state and the settings' light, material and fog to the current context
// (a freshly made one). The settings are only read: an output's context takes them as they are.
// Returns false, doing nothing, unless state.glReady is 1.
bool ApplyContextState(const SceneState& state);

}  // namespace t3d

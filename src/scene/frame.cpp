#include "scene/frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "scene/process_objects.h"
#include "scene/scene_state.h"

namespace t3d {

bool SetProjection(SceneObject& scene, SceneState& state, int width, int height,
                   FrameTarget target) {
  if (width <= 0 || height <= 0) return true;
  scene.clientRect.right = width;
  scene.clientRect.bottom = height;
  state.focalLength = (height / 2.0) / std::tan(state.viewFov / 2 * 3.1415927 / 180);
  if (state.glReady != 1) return true;
  if (!scene.MakeCurrent(state, target)) return false;
  if (target == kTargetWindow && state.hDC != nullptr) state.hDC->Resize(width, height);
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const bool prepared = g_process.terrainArea != nullptr;
  gluPerspective(state.viewFov, double(width) / height, prepared ? state.nearPlane : 0.001,
                 prepared ? state.farPlane : 30000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  return true;
}

}  // namespace t3d

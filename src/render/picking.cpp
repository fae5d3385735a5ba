#include "render/picking.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include "camera/view.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"

namespace t3d {

bool PickGroundPoint(SceneObject& scene, SceneState& state, int point[2], double* x, double* y) {
  if (state.glReady != 1 || g_process.terrainArea == nullptr) return false;
  // Window rows count from the top, GL rows from the bottom: the pixel's row from the bottom.
  const ClientRect& client = scene.clientRect;
  const int column = point[0];
  // Flipped in 64 bits: a host's pixel far outside the window must not overflow the row; one
  // whose flipped row no int can hold lies outside the window anyway.
  const int64_t flipped = int64_t(client.bottom) - 1 - point[1];
  if (flipped < INT_MIN || flipped > INT_MAX) return false;
  const int row = int(flipped);
  point[1] = row;
  const double r = state.sceneRadius;
  if (!(r > 0)) return false;

  // A pixel outside the window has no point: x and y are left as they were.
  const int width = client.right - client.left, height = client.bottom - client.top;
  if (column < 0 || column >= width || row < 0 || row >= height) return false;

  double ox = 0, oy = 0;
  bool onSurface = true;
  if (scene.planeMode != 0) {
    // The plan view looks straight down on the grid through an orthographic volume centred on the
    // terrain centre; it keeps no matrices in the context, so the pixel is mapped from its volume.
    double halfX = 1, halfY = 1;
    PlanViewHalfExtents(width, height, halfX, halfY);
    ox = ((column + 0.5) / width * 2 - 1) * halfX;
    oy = ((row + 0.5) / height * 2 - 1) * halfY;
    ox = ox * r + state.terrainCentre[0];
    oy = oy * r + state.terrainCentre[1];
  } else {
    // The last 3D frame left its matrices and its depth buffer in the window's context.
    if (!scene.MakeWindowCurrent(state)) return false;
    GLdouble modelView[16], projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    // A pixel with no surface (the background, or a part of the window the frame's viewport
    // left out) keeps the cleared depth: its point lies on the far side of the view volume.
    GLfloat depth = 1.0f;
    glReadPixels(column, row, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    if (glGetError() != GL_NO_ERROR) return false;
    const bool inViewport = column >= viewport[0] && column < viewport[0] + viewport[2] &&
                            row >= viewport[1] && row < viewport[1] + viewport[3];
    if (!(depth >= 0.0f && depth < 1.0f) || !inViewport) {
      onSurface = false;
      if (!(depth >= 0.0f && depth <= 1.0f)) depth = 1.0f;
    }
    GLdouble oz = 0;
    if (gluUnProject(column + 0.5, row + 0.5, depth, modelView, projection, viewport, &ox, &oy,
                     &oz) != GL_TRUE)
      return false;
    const SceneOrigin origin = SceneOriginOf(state);
    ox = origin.MapX(ox);
    oy = origin.MapY(oy);
  }
  if (!std::isfinite(ox) || !std::isfinite(oy)) return false;
  if (x != nullptr) *x = ox;
  if (y != nullptr) *y = oy;
  const float* range = scene.eyeRange;
  return onSurface && range[0] <= ox && ox <= range[1] && range[3] <= oy && oy <= range[4];
}

}  // namespace t3d

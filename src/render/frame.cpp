#include "render/frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include <algorithm>
#include <optional>
#include <vector>

#include "camera/flight.h"
#include "camera/view.h"
#include "render/light.h"
#include "render/overlay_passes.h"
#include "model/overlay_store.h"
#include "model/process_objects.h"
#include "model/scene_state.h"
#include "formats/colour_table.h"
#include "model/mesh_inputs.h"
#include "render/surface_draw.h"
#include "terrain/missing_cells.h"
#include "terrain/terrain_area.h"

namespace t3d {

bool SetProjection(SceneObject& scene, SceneState& state, int width, int height,
                   FrameTarget target) {
  if (width <= 0 || height <= 0) return true;
  // A size beyond what GL can draw into is refused, and the scene keeps its size: a viewport and
  // drawable that large crash the rasteriser, or the window system refuses them.
  if (target == kTargetWindow && (width > kMaxClientSide || height > kMaxClientSide)) return false;
  if (state.glReady == 1 && target == kTargetWindow) {
    if (!scene.MakeCurrent(state, target)) return false;
    GLint most[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, most);
    if ((most[0] > 0 && width > most[0]) || (most[1] > 0 && height > most[1])) return false;
  }
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

// ---- 3D frames ------------------------------------------------------------------------------

namespace t3d {

void MultTileMatrix(const FrameTile& tile) {
  // Clip x and y scaled by the tile counts and shifted by whole tile widths in w: the tile's part
  // of the normalised picture fills the viewport, tile (0, 0) being the top-left part.
  GLdouble m[16] = {};
  m[0] = tile.across;
  m[5] = tile.down;
  m[10] = 1;
  m[12] = (tile.across - 1) - 2.0 * tile.column;
  m[13] = 2.0 * tile.row - (tile.down - 1);
  m[15] = 1;
  glMultMatrixd(m);
}

namespace {

// A new bound 2-D texture name with linear filtering, the given environment mode and wrapping,
// kept resident first.
GLuint NewTexture(GLint envMode, GLint wrap) {
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  const GLclampf priority = 1.0f;
  glPrioritizeTextures(1, &texture, &priority);
  return texture;
}

// The sky dome behind the terrain, with its own projection (the tile's part of it for a tile).
void DrawSky(SceneObject& scene, SceneState& state, FrameTarget target, const FrameTile* tile) {
  if (state.glReady != 1) return;
  glPushAttrib(GL_ENABLE_BIT | GL_FOG_BIT);
  glEnable(GL_TEXTURE_2D);
  GLuint& texture = scene.textureIds[kTextureSky][target];
  if (texture == 0 || !glIsTexture(texture)) {
    RgbImage image;
    // No sky picture, or one GL cannot hold as a texture (beyond the largest size, or refused by
    // the proxy): the frame goes on without the dome, which would otherwise be drawn untextured
    // in a flat colour.
    GLint maxSize = 0, proxyWidth = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (LoadCloudImage(image) && image.width <= uint32_t(maxSize) &&
        image.height <= uint32_t(maxSize)) {
      glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 3, GLsizei(image.width), GLsizei(image.height), 0, GL_RGB,
                   GL_UNSIGNED_BYTE, nullptr);
      glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    }
    if (proxyWidth == 0) {
      glPopAttrib();
      return;
    }
    texture = NewTexture(GL_REPLACE, GL_REPEAT);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, GLsizei(image.width), GLsizei(image.height), 0, GL_RGB,
                 GL_UNSIGNED_BYTE, image.pixels.get());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  } else {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  }
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  const GLfloat fogColour[4] = {0.84f, 0.87f, 1.0f, 1.0f};
  glFogf(GL_FOG_DENSITY, 1.0f);
  glFogf(GL_FOG_START, 3.0f);
  glFogf(GL_FOG_END, 11.0f);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogfv(GL_FOG_COLOR, fogColour);
  glEnable(GL_FOG);

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  if (tile != nullptr) MultTileMatrix(*tile);
  gluPerspective(state.viewFov, 1.0, 0.001, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0, 0, scene.skyDrift);
  glRotatef(scene.skyAngle, 0, 1, 0);
  static const float ring[9][5] = {
      {-10, -1, 10, -2.121f, -2.121f}, {0, -1, 15, 0, -3},        {10, -1, 10, 2.121f, -2.121f},
      {15, -1, 0, 3, 0},               {10, -1, -10, 2.121f, 2.121f}, {0, -1, -15, 0, 3},
      {-10, -1, -10, -2.121f, 2.121f}, {-15, -1, 0, -3, 0},       {-10, -1, 10, -2.121f, -2.121f},
  };
  glBegin(GL_TRIANGLE_FAN);
  glTexCoord2f(0, 0);
  glVertex3f(0, 2, 0);
  for (const auto& v : ring) {
    glTexCoord2f(v[3], v[4]);
    glVertex3f(v[0], v[1], v[2]);
  }
  glEnd();
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}

}  // namespace

void ComputeFootprints(SceneObject& scene, SceneState& state, Footprint& full, Footprint& near) {
  // A narrowed cone sharing the view's upper edge gives the near footprint.
  const float fov = state.viewFov, tilt = state.viewTilt;
  MeshView view = MeshViewOf(scene, state);
  view.viewFov = 0.6f * fov;
  view.viewTilt = tilt + fov / 2 - 0.6f * fov / 2;
  ComputeVisibleRegion(view, near, nullptr, tilt);
  view.viewFov = fov;
  view.viewTilt = tilt;
  ComputeVisibleRegion(view, full, &scene.viewRect, tilt);
  state.viewDirZ = view.viewDirZ;
  state.viewCentre[0] = full.ground[0];
  state.viewCentre[1] = full.ground[1];
}

bool TerrainTextured(const SceneObject& scene, const SceneState& state) {
  return state.surfaceDisplayMode == 0 && scene.textureReady != 0 &&
         g_process.textureStore != nullptr && g_process.textureStore->owner == &scene &&
         scene.textureImage != nullptr;
}

bool DrawFrame(SceneObject& scene, SceneState& state, FrameTarget target, const FrameTile* tile) {
  TerrainArea* area = g_process.terrainArea.get();
  const ClientRect& client = scene.clientRect;
  if (state.glReady == 0 || area == nullptr || client.left >= client.right || client.top >= client.bottom)
    return false;
  std::optional<PictureModeScope> perspective;
  if (scene.planeMode != 0 && target == kTargetWindow) {
    scene.planeMode = 0;
    SetProjection(scene, state, client.right - client.left, client.bottom - client.top, kTargetWindow);
    UpdateLightPosition(scene, state, true);
  } else if (scene.planeMode != 0) {
    // An output while the window shows the plan view: this frame is lit as a 3D frame and drawn
    // with the projection the output set on its own context; the window keeps its plan view,
    // its viewport, projection and light, and picking in it.
    perspective.emplace(scene, state, false);
  }
  // The flight step joins here (the flight advances the eye before the view is worked out).
  if (state.flyFlag != 0) FlightStep(scene, state);

  Footprint near, full;
  ComputeFootprints(scene, state, full, near);

  const SceneOrigin origin = SceneOriginOf(state);
  const double r = origin.radius;
  const double eye[3] = {origin.SceneX(state.eyePosition[0]), origin.SceneY(state.eyePosition[1]),
                         state.eyePosition[2] / r};
  const double centre[3] = {origin.SceneX(full.ground[0]), origin.SceneY(full.ground[1]),
                            full.ground[2] / r};

  if (state.glReady == 1) {
    if (!scene.MakeCurrent(state, target)) return false;
    // Outputs of a grid with holes clear the background transparent: pixels that show no
    // terrain (through a hole or beside the grid) keep alpha 0 for images that hold alpha.
    const bool transparent = target == kTargetOffscreen && area->missingCells() > 0;
    glClearColor(state.backColor[0], state.backColor[1], state.backColor[2], transparent ? 0.0f : 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // A tile takes its part of the projection; the picture's projection is put back at the end.
    GLdouble projection[16] = {};
    if (tile != nullptr) {
      glMatrixMode(GL_PROJECTION);
      glGetDoublev(GL_PROJECTION_MATRIX, projection);
      glLoadIdentity();
      MultTileMatrix(*tile);
      glMultMatrixd(projection);
    }
    if (state.skyFlag != 0) DrawSky(scene, state, target, tile);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (state.flyFlag == 0 && state.displayMethod == 0) glTranslatef(0, 0, -scene.eyeMove);
    gluLookAt(eye[0], eye[1], eye[2], centre[0], centre[1], centre[2], 0, 0, 1);

    if (state.lightFlag != 0) {
      glEnable(GL_LIGHTING);
      // The state keeps the light in scene units from the map's origin (hosts read it so); the
      // GL takes it from the scene's origin, like the vertices.
      const float* p = state.lightPosition;
      const GLfloat light[4] = {float(p[0] - p[3] * origin.x / r), float(p[1] - p[3] * origin.y / r),
                                p[2], p[3]};
      glLightfv(GL_LIGHT0, GL_POSITION, light);
    } else {
      glDisable(GL_LIGHTING);
    }
    if (state.materialFlag != 0) glEnable(GL_COLOR_MATERIAL);
    else glDisable(GL_COLOR_MATERIAL);
    if (state.fogFlag != 0) {
      glFogi(GL_FOG_MODE, GL_EXP2);
      glFogf(GL_FOG_DENSITY, state.fogDensity);
      glFogfv(GL_FOG_COLOR, state.fogColor);
      glEnable(GL_FOG);
    } else {
      glDisable(GL_FOG);
    }
    // Terrain texture: the surface renderer loads each tile's pixels into this context's texture.
    GLuint& terrainTexture = scene.textureIds[kTextureTerrain][target];
    const TextureStore* store = g_process.textureStore.get();
    SurfaceTexture surfaceTexture;
    const bool textured = TerrainTextured(scene, state);
    if (textured) {
      glEnable(GL_TEXTURE_2D);
      if (terrainTexture == 0 || !glIsTexture(terrainTexture)) {
        terrainTexture = NewTexture(GL_DECAL, GL_CLAMP);
      } else {
        glBindTexture(GL_TEXTURE_2D, terrainTexture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
      }
      surfaceTexture.store = store;
      surfaceTexture.image = scene.textureImage.get();
      surfaceTexture.width = store->info.tileWidth;
      surfaceTexture.height = store->info.tileHeight;
      surfaceTexture.imageBytes = size_t(store->info.tileWidth) * store->info.tileHeight *
                                  store->info.bytesPerPixel;
      surfaceTexture.components = state.textureComponents;
      surfaceTexture.format = state.textureFormat;
      surfaceTexture.type = state.textureType;
      surfaceTexture.halfTexel = store->HalfTexel();
    } else {
      // Coloured surface: no terrain texture on this context.
      glDisable(GL_TEXTURE_2D);
      if (terrainTexture != 0 && glIsTexture(terrainTexture)) glDeleteTextures(1, &terrainTexture);
      terrainTexture = 0;
    }

    scene.lastMesh = DrawTerrainSurface(state, *area, full, near, textured ? &surfaceTexture : nullptr);
    if (textured) glDisable(GL_TEXTURE_2D);
    // The overlay passes: regions first (while a region file is named), then roads, lines and
    // notes.
    const OverlayPasses& passes = FrameOverlayPasses();
    BeginOverlayFrame();
    scene.drawingTile = tile != nullptr && (tile->across > 1 || tile->down > 1);
    if (passes.regions != nullptr && RegionFileIndex(state) > 0) passes.regions(scene, state, target);
    if (passes.roads != nullptr) passes.roads(scene, state, target);
    if (passes.lines != nullptr) passes.lines(scene, state, target);
    if (passes.notes != nullptr) passes.notes(scene, state, target);
    scene.drawingTile = false;
    if (tile != nullptr) {
      glMatrixMode(GL_PROJECTION);
      glLoadMatrixd(projection);
      glMatrixMode(GL_MODELVIEW);
    }
  }
  if (state.glReady == 1) return scene.PresentFrame(state, target);
  return false;
}

// ---- Plan view ------------------------------------------------------------------------------

namespace {

// Height (scene units) and normal by bilinear interpolation of the four nodes around (x, y).
// False when one of the nodes is missing (a grid built with holes): no ground there.
bool SampleBilinear(const SceneState& state, TerrainArea& area, double x, double y, double& height,
                    float normal[3]) {
  const double dx = state.cellSizeX, dy = state.cellSizeY;
  int c = int((x - state.xMin) / dx), k = int((y - state.yMin) / dy);
  c = std::clamp(c, 0, state.columnCount - 2);
  k = std::clamp(k, 0, state.rowCount - 2);
  const double fx = x - (state.xMin + c * dx), fy = y - (state.yMin + k * dy);
  const double w[4] = {(dx - fx) * (dy - fy) / (dx * dy), fx * (dy - fy) / (dx * dy),
                       fx * fy / (dx * dy), (dx - fx) * fy / (dx * dy)};
  const int nodes[4][2] = {{k, c}, {k, c + 1}, {k + 1, c + 1}, {k + 1, c}};
  height = 0;
  normal[0] = normal[1] = normal[2] = 0;
  bool ground = true;
  for (int i = 0; i < 4; ++i) {
    const GridCell cell = area.GetCell(nodes[i][0], nodes[i][1]);
    if (IsMissing(cell)) ground = false;
    height += w[i] * cell.height;
    const float* n = state.normalTable[cell.azimuthCode][cell.elevationCode];
    for (int j = 0; j < 3; ++j) normal[j] += float(w[i] * n[j]);
  }
  return ground;
}

// Draws a row of quads as strips of vertex pairs, leaving out every quad with a pair that is not
// ground: each run of two or more ground pairs is one strip.
template <typename Pair>
void DrawStripRuns(int count, const std::vector<uint8_t>& ground, Pair pair) {
  for (int i = 0; i < count;) {
    if (!ground[size_t(i)]) {
      ++i;
      continue;
    }
    int end = i;
    while (end < count && ground[size_t(end)]) ++end;
    if (end - i >= 2) {
      glBegin(GL_QUAD_STRIP);
      for (int k = i; k < end; ++k) pair(k);
      glEnd();
    }
    i = end;
  }
}

bool PlanView(SceneObject& scene, SceneState& state, int width, int height) {
  TerrainArea* area = g_process.terrainArea.get();
  if (area == nullptr || width <= 0 || height <= 0 || state.rowCount < 2 || state.columnCount < 2)
    return false;
  glViewport(0, 0, width, height);
  int rows, columns;
  if (width >= height) {
    rows = height - 20;
    columns = std::min(width, int(double(height - 20) * state.columnCount / state.rowCount));
  } else {
    columns = width - 20;
    rows = std::min(height, int(double(width - 20) * state.rowCount / state.columnCount));
  }
  const double r = state.sceneRadius != 0 ? state.sceneRadius : 1;
  const double cx = state.terrainCentre[0], cy = state.terrainCentre[1], cz = state.terrainCentre[2];
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  const double zLo = (double(state.zMin) * state.zScale - cz) / r;
  const double zHi = (double(state.zMax) * state.zScale - cz) / r;
  // A little room beyond the lowest and the highest height: with the clipping planes exactly
  // there, flat ground at either height would be clipped away.
  const double room = std::max(1e-6, 0.01 * (zHi - zLo));
  double halfX = 1, halfY = 1;
  PlanViewHalfExtents(width, height, halfX, halfY);
  glOrtho(-halfX, halfX, -halfY, halfY, zLo - room, zHi + room);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CW);
  if (state.drawMode == 1) glPolygonMode(GL_FRONT, GL_LINE);
  // The plan view is map-aligned: a grid prepared with holes clears the background transparent,
  // so that a host reading the pixels back (a headless window, an output) finds alpha 0 where
  // no terrain shows, through a hole or beside the grid (a grid without a hole too).
  glClearColor(state.backColor[0], state.backColor[1], state.backColor[2],
               area->builtWithHoles() ? 0.0f : 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  ApplyPlanLighting(scene, state);
  glDisable(GL_FOG);
  glDisable(GL_TEXTURE_2D);
  const ColourTable& table = state.grayDisplayFlag != 0 ? state.greyTable : state.heightColours.heightColourTable;
  auto colour = [&](int heightClass) {
    const ColourEntry& e = table.entries[heightClass & 255];
    glColor4f(state.unitRamp[e.red], state.unitRamp[e.green], state.unitRamp[e.blue], 1.0f);
  };
  const double hf = double(state.zScale) * r;
  const double zSpan = double(state.zMax) - state.zMin;
  if (columns < state.columnCount || rows < state.rowCount) {
    const double sx = (double(state.xMax) - state.xMin) / std::max(1, columns - 1);
    const double sy = (double(state.yMax) - state.yMin) / std::max(1, rows - 1);
    std::vector<uint8_t> ground(size_t(std::max(columns, 0)));
    std::vector<double> heights(2 * ground.size());
    std::vector<float> normals(6 * ground.size());
    for (int j = 0; j + 1 < rows; ++j) {
      for (int i = 0; i < columns; ++i) {
        bool both = true;
        for (int half = 0; half < 2; ++half) {
          const double x = state.xMin + i * sx, y = state.yMin + (j + half) * sy;
          const size_t at = 2 * size_t(i) + size_t(half);
          if (!SampleBilinear(state, *area, x, y, heights[at], &normals[3 * at])) both = false;
        }
        ground[size_t(i)] = both ? 1 : 0;
      }
      DrawStripRuns(columns, ground, [&](int i) {
        for (int half = 0; half < 2; ++half) {
          const double x = state.xMin + i * sx, y = state.yMin + (j + half) * sy;
          const size_t at = 2 * size_t(i) + size_t(half);
          const double h = heights[at];
          const int heightClass = zSpan > 0 ? int((r * h - state.zMin) * 255 / zSpan) : 0;
          colour(heightClass);
          glNormal3fv(&normals[3 * at]);
          glVertex3d((x - cx) / r, (y - cy) / r, (hf * h - cz) / r);
        }
      });
    }
  } else {
    std::vector<uint8_t> ground(size_t(state.columnCount));
    for (int j = 0; j + 1 < state.rowCount; ++j) {
      for (int i = 0; i < state.columnCount; ++i)
        ground[size_t(i)] = IsMissing(area->GetCell(j, i)) || IsMissing(area->GetCell(j + 1, i)) ? 0 : 1;
      DrawStripRuns(state.columnCount, ground, [&](int i) {
        for (int half = 0; half < 2; ++half) {
          const GridCell cell = area->GetCell(j + half, i);
          colour(cell.colourIndex);
          glNormal3fv(state.normalTable[cell.azimuthCode][cell.elevationCode]);
          glVertex3d((i * double(state.cellSizeX) + state.xMin - cx) / r,
                     ((j + half) * double(state.cellSizeY) + state.yMin - cy) / r,
                     (hf * cell.height - cz) / r);
        }
      });
    }
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glFlush();
  if (state.drawMode == 1) glPolygonMode(GL_FRONT, GL_FILL);
  return true;
}

}  // namespace

void ApplyPlanLighting(SceneObject& scene, SceneState& state) {
  if (state.lightFlag != 0) {
    UpdateLightPosition(scene, state, true);
    glLightfv(GL_LIGHT0, GL_POSITION, state.lightPosition);
    glEnable(GL_LIGHTING);
  } else {
    glDisable(GL_LIGHTING);
  }
  if (state.materialFlag != 0) {
    glColorMaterial(GL_FRONT, state.colorMaterialMode);
    glEnable(GL_COLOR_MATERIAL);
  }
}

bool DrawPlanScene(SceneObject& scene, SceneState& state) {
  const ClientRect& client = scene.clientRect;
  if (state.glReady != 1 || g_process.terrainArea == nullptr || client.right <= client.left ||
      client.bottom <= client.top || state.surfaceDisplayMode != 1)
    return false;
  if (!scene.MakeWindowCurrent(state)) return false;
  scene.planeMode = 1;
  const bool drawn = PlanView(scene, state, client.right - client.left, client.bottom - client.top);
  scene.PresentFrame(state, kTargetWindow);
  return drawn;
}

}  // namespace t3d

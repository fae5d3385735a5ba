#include "output/hill_shade.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "output/bmp_writer.h"
#include "output/progress_display.h"
#include "output/raster_output.h"
#include "scene/process_objects.h"
#include "scene/light.h"
#include "scene/scene_object.h"
#include "scene/scene_state.h"
#include "services/dem_store.h"
#include "terrain/terrain_area.h"

namespace t3d {
namespace {

// Where the samples of the picture come from: pixel (column, row), row 0 at the bottom.
class SampleGrid {
 public:
  SampleGrid(const SceneState& state, TerrainArea& area, int width, int height)
      : state_(state), area_(area), width_(width), height_(height) {
    exact_ = width == state.columnCount && height == state.rowCount;
    stepX_ = exact_ ? state.cellSizeX : (double(state.xMax) - state.xMin) / (width - 1);
    stepY_ = exact_ ? state.cellSizeY : (double(state.yMax) - state.yMin) / (height - 1);
  }
  bool exact() const { return exact_; }
  double stepX() const { return stepX_; }
  double stepY() const { return stepY_; }
  double X(int column) const { return state_.xMin + column * stepX_; }
  double Y(int row) const { return state_.yMin + row * stepY_; }

  // Scene height, normal and height class of a sample.
  void Sample(int column, int row, double& h, float normal[3], int& heightClass) const {
    if (exact_) {
      const GridCell cell = area_.GetCell(row, column);
      h = cell.height;
      const float* n = state_.normalTable[cell.azimuthCode][cell.elevationCode];
      std::copy(n, n + 3, normal);
      heightClass = cell.colourIndex;
      return;
    }
    Bilinear(X(column), Y(row), h, normal);
    const double span = double(state_.zMax) - state_.zMin;
    const double r = state_.sceneRadius != 0 ? state_.sceneRadius : 1;
    heightClass = span > 0 ? int((r * h - state_.zMin) * 255 / span) & 255 : 0;
  }

 private:
  void Bilinear(double x, double y, double& h, float normal[3]) const {
    const double dx = state_.cellSizeX, dy = state_.cellSizeY;
    const int c = std::clamp(int((x - state_.xMin) / dx), 0, state_.columnCount - 2);
    const int k = std::clamp(int((y - state_.yMin) / dy), 0, state_.rowCount - 2);
    const double fx = std::clamp((x - (state_.xMin + c * dx)) / dx, 0.0, 1.0);
    const double fy = std::clamp((y - (state_.yMin + k * dy)) / dy, 0.0, 1.0);
    const double w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), fx * fy, (1 - fx) * fy};
    const int nodes[4][2] = {{k, c}, {k, c + 1}, {k + 1, c + 1}, {k + 1, c}};
    h = 0;
    normal[0] = normal[1] = normal[2] = 0;
    for (int i = 0; i < 4; ++i) {
      const GridCell cell = area_.GetCell(nodes[i][0], nodes[i][1]);
      h += w[i] * cell.height;
      const float* n = state_.normalTable[cell.azimuthCode][cell.elevationCode];
      for (int j = 0; j < 3; ++j) normal[j] += float(w[i] * n[j]);
    }
  }

  const SceneState& state_;
  TerrainArea& area_;
  int width_, height_;
  bool exact_ = false;
  double stepX_ = 1, stepY_ = 1;
};

// Draws the pixels c0..c1 x r0..r1 into the bottom-left corner of the bitmap, one pixel per
// sample with the sample at the pixel's centre. The strips reach one sample beyond the block (and
// half a step beyond the picture's edges), so that every pixel is covered and neighbouring tiles
// join without seams.
void DrawBlock(const SceneState& state, const SampleGrid& grid, int width, int height, int c0,
               int c1, int r0, int r1) {
  const double r = state.sceneRadius != 0 ? state.sceneRadius : 1;
  const double cx = state.terrainCentre[0], cy = state.terrainCentre[1], cz = state.terrainCentre[2];
  const double hf = double(state.zScale) * r;
  glViewport(0, 0, c1 - c0 + 1, r1 - r0 + 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  const double zLo = (double(state.zMin) * state.zScale - cz) / r;
  const double zHi = (double(state.zMax) * state.zScale - cz) / r;
  const double room = std::max(1.0, 0.5 * std::abs(zHi - zLo));
  // The eye looks down -z, so the highest ground is nearest.
  glOrtho((grid.X(c0) - 0.5 * grid.stepX() - cx) / r, (grid.X(c1) + 0.5 * grid.stepX() - cx) / r,
          (grid.Y(r0) - 0.5 * grid.stepY() - cy) / r, (grid.Y(r1) + 0.5 * grid.stepY() - cy) / r,
          -(std::max(zHi, zLo) + room), -(std::min(zHi, zLo) - room));
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();

  const ColourTable& table =
      state.grayDisplayFlag != 0 ? state.greyTable : state.heightColours.heightColourTable;
  const int firstColumn = std::max(c0 - 1, 0), lastColumn = std::min(c1 + 1, width - 1);
  const int firstRow = std::max(r0 - 1, 0), lastRow = std::min(r1 + 1, height - 1);
  // Vertex columns and rows: the samples, and at the picture's edges one more half a step out
  // holding the edge sample, so that the edge pixels show their own sample and none is uncovered.
  std::vector<int> columns, rows;
  std::vector<double> xs, ys;
  if (firstColumn == 0) {
    columns.push_back(0);
    xs.push_back((grid.X(0) - 0.5 * grid.stepX() - cx) / r);
  }
  for (int i = firstColumn; i <= lastColumn; ++i) {
    columns.push_back(i);
    xs.push_back((grid.X(i) - cx) / r);
  }
  if (lastColumn == width - 1) {
    columns.push_back(width - 1);
    xs.push_back((grid.X(width - 1) + 0.5 * grid.stepX() - cx) / r);
  }
  if (firstRow == 0) {
    rows.push_back(0);
    ys.push_back((grid.Y(0) - 0.5 * grid.stepY() - cy) / r);
  }
  for (int j = firstRow; j <= lastRow; ++j) {
    rows.push_back(j);
    ys.push_back((grid.Y(j) - cy) / r);
  }
  if (lastRow == height - 1) {
    rows.push_back(height - 1);
    ys.push_back((grid.Y(height - 1) + 0.5 * grid.stepY() - cy) / r);
  }
  // Every sample once, into one array; the rows of quads as triangles in one indexed draw.
  struct Vertex {
    float rgba[4];
    float normal[3];
    float position[3];
  };
  const size_t across = columns.size(), down = rows.size();
  std::vector<Vertex> vertices(across * down);
  for (size_t b = 0; b < down; ++b) {
    for (size_t a = 0; a < across; ++a) {
      double h = 0;
      int heightClass = 0;
      Vertex& v = vertices[b * across + a];
      grid.Sample(columns[a], rows[b], h, v.normal, heightClass);
      const ColourEntry& e = table.entries[heightClass & 255];
      v.rgba[0] = state.unitRamp[e.red];
      v.rgba[1] = state.unitRamp[e.green];
      v.rgba[2] = state.unitRamp[e.blue];
      v.rgba[3] = 1.0f;
      v.position[0] = float(xs[a]);
      v.position[1] = float(ys[b]);
      v.position[2] = float((hf * h - cz) / r);
    }
  }
  std::vector<GLuint> indices;
  indices.reserve((across - 1) * (down - 1) * 6);
  for (size_t b = 0; b + 1 < down; ++b) {
    for (size_t a = 0; a + 1 < across; ++a) {
      const GLuint p00 = GLuint(b * across + a), p01 = p00 + 1;
      const GLuint p10 = GLuint((b + 1) * across + a), p11 = p10 + 1;
      // Clockwise seen from above (the front faces of the plan view).
      indices.insert(indices.end(), {p00, p10, p11, p00, p11, p01});
    }
  }
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glInterleavedArrays(GL_C4F_N3F_V3F, 0, vertices.data());
  glDrawElements(GL_TRIANGLES, GLsizei(indices.size()), GL_UNSIGNED_INT, indices.data());
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glFlush();
}

// Lights, material and fixed state of the hill-shade render on the current context.
void SetUpHillShadeState(SceneObject& scene, SceneState& state, bool depthTest) {
  if (state.lightFlag != 0) {
    UpdateLightPosition(scene, state, true);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, state.lightPosition);
    glEnable(GL_LIGHTING);
  } else {
    glDisable(GL_LIGHTING);
  }
  if (state.materialFlag != 0) {
    glColorMaterial(GL_FRONT, state.colorMaterialMode);
    glEnable(GL_COLOR_MATERIAL);
  }
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glFrontFace(GL_CW);
  glPolygonMode(GL_FRONT, state.drawMode == 1 ? GL_LINE : GL_FILL);
  glDisable(GL_FOG);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  if (depthTest)
    glEnable(GL_DEPTH_TEST);
  else
    glDisable(GL_DEPTH_TEST);
  glClearColor(state.backColor[0], state.backColor[1], state.backColor[2], 1.0f);
}

bool WriteTiled(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                const SampleGrid& grid, bool sceneProgress) {
  const int width = request.width, height = request.height;
  RasterHandle handle = 0;
  if (!CreateRasterOutput(request.path, state.dibInfo.header, height, width, handle)) return false;
  const int bandsDown = (height + kHillShadeTile - 1) / kHillShadeTile;
  const int bandsAcross = (width + kHillShadeTile - 1) / kHillShadeTile;
  bool ok = true;
  {
    char text[64];
    std::snprintf(text, sizeof text, "共有%d块", bandsDown * bandsAcross);
    ProgressDisplay progress(sceneProgress ? "场景输出进度" : "正在生成晕渲图...",
                             sceneProgress ? text : nullptr, bandsDown);
    for (int r0 = 0; ok && r0 < height; r0 += kHillShadeTile) {
      const int r1 = std::min(r0 + kHillShadeTile - 1, height - 1);
      DemStoreProgressStep();
      if (DemStoreProgressCancelled() != 0) {
        ok = false;
        break;
      }
      for (int c0 = 0; ok && c0 < width; c0 += kHillShadeTile) {
        const int c1 = std::min(c0 + kHillShadeTile - 1, width - 1);
        DrawBlock(state, grid, width, height, c0, c1, r0, r1);
        ok = scene.PresentFrame(state, kTargetOffscreen) &&
             WriteRasterTile(handle, height - 1 - r1, c0, r1 - r0 + 1, c1 - c0 + 1,
                             state.dibInfo.header, static_cast<const uint8_t*>(state.dibBits));
      }
    }
  }
  ok = CloseRasterOutput(handle, request.resolution) && ok;
  if (!ok) RemoveOutputFile(request.path);
  return ok;
}

}  // namespace

bool OutputHillShade(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     bool sceneProgress) {
  TerrainArea* area = g_process.terrainArea.get();
  const int width = request.width, height = request.height;
  if (state.glReady != 1 || area == nullptr || state.rowCount < 2 || state.columnCount < 2 ||
      width < 2 || height < 2)
    return false;
  const bool tiled = width > kHillShadeTile || height > kHillShadeTile;
  // Large pictures are assembled tile by tile in a raster image only.
  if (tiled && request.fileKind != TN_OUTPUT_RASTER) return false;
  if (request.fileKind != TN_OUTPUT_BMP && request.fileKind != TN_OUTPUT_RASTER) return false;

  const int bitmapWidth = tiled ? kHillShadeTile : width;
  const int bitmapHeight = tiled ? kHillShadeTile : height;
  if (!scene.BeginOffscreen(state, bitmapWidth, bitmapHeight)) return false;
  const uint8_t savedBusy = scene.busy;
  scene.busy = 1;
  scene.planeMode = 1;
  bool ok = false;
  if (ApplyContextState(scene, state)) {
    const SampleGrid grid(state, *area, width, height);
    SetUpHillShadeState(scene, state, grid.exact());
    if (!tiled) {
      DrawBlock(state, grid, width, height, 0, width - 1, 0, height - 1);
      if (scene.PresentFrame(state, kTargetOffscreen)) {
        const auto* bits = static_cast<const uint8_t*>(state.dibBits);
        ok = request.fileKind == TN_OUTPUT_BMP
                 ? WriteBmpFile(request.path, state.dibInfo.header, bits)
                 : WriteRasterFile(request.path, state.dibInfo.header, bits, request.resolution);
      }
    } else {
      ok = WriteTiled(scene, state, request, grid, sceneProgress);
    }
    glPolygonMode(GL_FRONT, GL_FILL);
  }
  scene.EndOffscreen(state);
  scene.busy = savedBusy;
  return ok;
}

}  // namespace t3d

#include "output/hill_shade.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "base/messages.h"
#include "formats/bmp_writer.h"
#include "formats/plane_graph.h"
#include "output/chunk_pool.h"
#include "output/hill_shade_samples.h"
#include "output/raster_output.h"
#include "output/vertex_lighting.h"
#include "model/process_objects.h"
#include "render/frame.h"
#include "render/light.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "base/progress.h"
#include "terrain/missing_cells.h"
#include "terrain/terrain_area.h"

namespace t3d {
namespace {

// Scene units and colours shared by both ways of drawing: vertex positions are map coordinates
// less the terrain centre, divided by the scene radius, as the plan view places them.
struct ShadeFrame {
  explicit ShadeFrame(const SceneState& state) {
    r = state.sceneRadius != 0 ? state.sceneRadius : 1;
    cx = state.terrainCentre[0];
    cy = state.terrainCentre[1];
    cz = state.terrainCentre[2];
    hf = double(state.zScale) * r;
    const ColourTable& table =
        state.grayDisplayFlag != 0 ? state.greyTable : state.heightColours.heightColourTable;
    for (int k = 0; k < 256; ++k) {
      const ColourEntry& e = table.entries[k];
      colours[k][0] = state.unitRamp[e.red];
      colours[k][1] = state.unitRamp[e.green];
      colours[k][2] = state.unitRamp[e.blue];
    }
  }
  float VertexZ(double height) const { return float((hf * height - cz) / r); }
  double r, cx, cy, cz, hf;
  float colours[256][3];  // red, green, blue of each height class
};

// Draws the pixels c0..c1 x r0..r1 into the bottom-left corner of the bitmap, one pixel per
// sample with the sample at the pixel's centre. The strips reach one sample beyond the block (and
// half a step beyond the picture's edges), so that every pixel is covered and neighbouring tiles
// join without seams.
void DrawBlock(const SceneState& state, SampleGrid& grid, int width, int height, int c0, int c1,
               int r0, int r1) {
  const ShadeFrame frame(state);
  const double r = frame.r, cx = frame.cx, cy = frame.cy, cz = frame.cz;
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
  std::vector<uint8_t> holes(across * down);
  RowSamples samples;
  for (size_t b = 0; b < down; ++b) {
    // The edge rows repeat their neighbour's samples.
    if (b == 0 || rows[b] != rows[b - 1]) grid.SampleRow(rows[b], firstColumn, lastColumn, samples);
    for (size_t a = 0; a < across; ++a) {
      const size_t i = size_t(columns[a] - firstColumn);
      Vertex& v = vertices[b * across + a];
      holes[b * across + a] = samples.hole[i];
      const float* rgb = frame.colours[samples.heightClass[i]];
      v.rgba[0] = rgb[0];
      v.rgba[1] = rgb[1];
      v.rgba[2] = rgb[2];
      v.rgba[3] = 1.0f;
      v.normal[0] = samples.nx[i];
      v.normal[1] = samples.ny[i];
      v.normal[2] = samples.nz[i];
      v.position[0] = float(xs[a]);
      v.position[1] = float(ys[b]);
      v.position[2] = frame.VertexZ(samples.height[i]);
    }
  }
  std::vector<GLuint> indices;
  indices.reserve((across - 1) * (down - 1) * 6);
  for (size_t b = 0; b + 1 < down; ++b) {
    for (size_t a = 0; a + 1 < across; ++a) {
      const GLuint p00 = GLuint(b * across + a), p01 = p00 + 1;
      const GLuint p10 = GLuint((b + 1) * across + a), p11 = p10 + 1;
      // A quad with a missing corner is a hole: the cleared background shows.
      if (holes[p00] | holes[p01] | holes[p10] | holes[p11]) continue;
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

// Shades the pixels c0..c1 x r0..r1 of the picture into bits, a bitmap laid out as the
// off-screen bitmap, the block's first column and row at (left, 0), as DrawBlock and the frame
// read-back would leave them: each pixel the lit colour of the sample at its centre, which is the
// colour GL gives the vertex there. Rows r0..r1 of the block whose first row is blockRow0 (the
// bitmap's bottom row).
template <int kBitCount>
void ShadeRowsAs(const SceneState& state, const ShadeFrame& frame, SampleGrid& grid,
                 const VertexLighting& lighting, bool frameHasAlpha, uint8_t* bits, int left,
                 int c0, int c1, int blockRow0, int r0, int r1) {
  const int64_t rowBytes = platform::DibRowBytes(state.dibInfo.header.biWidth, kBitCount);
  const size_t count = size_t(c1 - c0 + 1);
  // Per column: position x, y, z, the colour of the height class, and the lit colour.
  std::vector<float> columns(count * 9);
  float* x = columns.data();
  float* y = x + count;
  float* z = y + count;
  float* colour[3] = {z + count, z + 2 * count, z + 3 * count};
  float* lit[3] = {z + 4 * count, z + 5 * count, z + 6 * count};
  for (size_t i = 0; i < count; ++i) x[i] = float((grid.X(c0 + int(i)) - frame.cx) / frame.r);
  const float alpha = lighting.Alpha();
  RowSamples samples;
  for (int row = r0; row <= r1; ++row) {
    grid.SampleRow(row, c0, c1, samples);
    std::fill(y, y + count, float((grid.Y(row) - frame.cy) / frame.r));
    for (size_t i = 0; i < count; ++i) {
      z[i] = frame.VertexZ(samples.height[i]);
      const float* rgb = frame.colours[samples.heightClass[i]];
      colour[0][i] = rgb[0];
      colour[1][i] = rgb[1];
      colour[2][i] = rgb[2];
    }
    VertexRow vertices;
    vertices.count = int(count);
    vertices.x = x;
    vertices.y = y;
    vertices.z = z;
    vertices.nx = samples.nx.data();
    vertices.ny = samples.ny.data();
    vertices.nz = samples.nz.data();
    vertices.red = colour[0];
    vertices.green = colour[1];
    vertices.blue = colour[2];
    lighting.ShadeRow(vertices, lit[0], lit[1], lit[2]);
    // Bitmap rows run bottom-up: the block's first row is the bitmap's bottom row.
    uint8_t* pixel = bits + (row - blockRow0) * rowBytes + left * (kBitCount / 8);
    for (size_t i = 0; i < count; ++i, pixel += kBitCount / 8) {
      if (samples.hole[i] != 0) {
        // A hole: the background colour, fully transparent where the bitmap holds alpha.
        PackDibPixel<kBitCount>(state.backColor[0], state.backColor[1], state.backColor[2], 0.0f,
                                true, pixel);
        continue;
      }
      PackDibPixel<kBitCount>(lit[0][i], lit[1][i], lit[2][i], alpha, frameHasAlpha, pixel);
    }
  }
}

std::atomic<int> g_shadeWorkers{0};

int ShadeWorkers() {
  const int set = g_shadeWorkers.load();
  if (set > 0) return set;
  return int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

// Maps every cache block holding node rows firstRow..lastRow and node columns
// firstColumn..lastColumn (limited to the cache as CopyRow limits them). True when all of them
// are mapped at the end: reading those rows then maps nothing, so several threads may read them
// at once.
bool MapNodeRectangle(TerrainArea& area, int firstRow, int lastRow, int firstColumn,
                      int lastColumn) {
  const int rowLimit = int(area.blockRows()) * kBlockSide - 1;
  const int columnLimit = int(area.blockColumns()) * kBlockSide - 1;
  const uint32_t p0 = uint32_t(std::clamp(firstRow, 0, rowLimit) / kBlockSide);
  const uint32_t p1 = uint32_t(std::clamp(lastRow, 0, rowLimit) / kBlockSide);
  const uint32_t q0 = uint32_t(std::clamp(firstColumn, 0, columnLimit) / kBlockSide);
  const uint32_t q1 = uint32_t(std::clamp(lastColumn, 0, columnLimit) / kBlockSide);
  if (area.blockCount() == 0 || uint64_t(p1 - p0 + 1) * (q1 - q0 + 1) > uint64_t(area.ringSize()))
    return false;
  for (uint32_t p = p0; p <= p1; ++p)
    for (uint32_t q = q0; q <= q1; ++q)
      if (area.BlockCells(p * area.blockColumns() + q) == nullptr) return false;
  for (uint32_t p = p0; p <= p1; ++p)
    for (uint32_t q = q0; q <= q1; ++q)
      if (!area.IsMapped(p * area.blockColumns() + q)) return false;
  return true;
}

// Shades blocks of the picture on the CPU into bitmaps laid out as the off-screen one. A block
// whose cache blocks can all be mapped at once has its rows shared out 16 at a time over the
// threads of a chunk pool (each thread sampling through a grid of its own), and may be started
// and finished apart, so that the caller writes the previous block meanwhile; any other block is
// shaded by the calling thread alone. Every row is shaded as one thread alone shades it.
class TileShader {
 public:
  static constexpr int kChunkRows = 16;

  TileShader(const SceneState& state, SampleGrid& grid, const VertexLighting& lighting,
             bool frameHasAlpha, int helpers)
      : state_(state), frame_(state), grid_(grid), lighting_(lighting),
        frameHasAlpha_(frameHasAlpha), copies_(size_t(std::max(helpers, 0)), grid),
        pool_(helpers) {
    switch (state.dibInfo.header.biBitCount) {
      case 16: rows_ = &ShadeRowsAs<16>; break;
      case 24: rows_ = &ShadeRowsAs<24>; break;
      case 32: rows_ = &ShadeRowsAs<32>; break;
      default: rows_ = nullptr;
    }
  }
  // A block still being shaded is finished first: its bitmap and grids must outlast it.
  ~TileShader() { FinishQuietly(); }
  TileShader(const TileShader&) = delete;
  TileShader& operator=(const TileShader&) = delete;

  bool threaded() const { return pool_.helpers() > 0; }

  // Starts shading pixels c0..c1 x r0..r1 into the bottom-left corner of bits; Finish completes
  // it. False (nothing shaded) for a bitmap depth the shading does not write.
  bool Start(uint8_t* bits, int c0, int c1, int r0, int r1) {
    if (rows_ == nullptr) return false;
    if (Shareable(c0, c1, r0, r1)) {
      const int chunks = (r1 - r0 + kChunkRows) / kChunkRows;
      pool_.Start(chunks, [this, bits, c0, c1, r0, r1](int chunk, int slot) {
        const int a = r0 + chunk * kChunkRows, b = std::min(r1, a + kChunkRows - 1);
        rows_(state_, frame_, slot == 0 ? grid_ : copies_[size_t(slot - 1)], lighting_,
              frameHasAlpha_, bits, 0, c0, c1, r0, a, b);
      });
      pending_ = true;
      return true;
    }
    // Piece by piece of columns whose samples come from at most 24 blocks of node columns, so
    // that the blocks of the two node rows each picture row needs stay in the ring of 64 views
    // from one row to the next, however much narrower than the grid the picture is.
    for (int a = c0; a <= c1;) {
      const int b = grid_.LastColumnWithin(a, c1, 24 * kBlockSide);
      rows_(state_, frame_, grid_, lighting_, frameHasAlpha_, bits, a - c0, a, b, r0, r0, r1);
      a = b + 1;
    }
    return true;
  }
  void Finish() {
    if (!pending_) return;
    pending_ = false;
    pool_.Finish();
  }
  // Finish for unwinding: a failure is dropped (the output fails anyway).
  void FinishQuietly() {
    try {
      Finish();
    } catch (...) {
    }
  }
  bool Shade(uint8_t* bits, int c0, int c1, int r0, int r1) {
    const bool started = Start(bits, c0, c1, r0, r1);
    Finish();
    return started;
  }

 private:
  using RowsFunction = void (*)(const SceneState&, const ShadeFrame&, SampleGrid&,
                                const VertexLighting&, bool, uint8_t*, int, int, int, int, int,
                                int);

  // A block of one piece of columns whose cache blocks are all mapped (and stay so): its rows
  // read nothing that needs mapping, so several threads may read them at once.
  bool Shareable(int c0, int c1, int r0, int r1) {
    if (!threaded() || grid_.LastColumnWithin(c0, c1, 24 * kBlockSide) != c1) return false;
    int firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    grid_.NodeRows(r0, r1, firstRow, lastRow);
    grid_.NodeColumns(c0, c1, firstColumn, lastColumn);
    return MapNodeRectangle(grid_.area(), firstRow, lastRow, firstColumn, lastColumn);
  }

  const SceneState& state_;
  const ShadeFrame frame_;
  SampleGrid& grid_;  // slot 0's
  const VertexLighting& lighting_;
  const bool frameHasAlpha_;
  RowsFunction rows_ = nullptr;
  std::vector<SampleGrid> copies_;  // the helpers'
  ChunkPool pool_;                  // after the grids: its threads are joined first
  bool pending_ = false;
};

// The block c0..c1 x r0..r1 into the off-screen bitmap, by whichever way the output draws.
struct BlockPainter {
  SceneObject& scene;
  SceneState& state;
  SampleGrid& grid;
  int width, height;
  TileShader* shader;  // the CPU shading; null: drawn through GL

  bool Paint(int c0, int c1, int r0, int r1) {
    if (shader != nullptr) return shader->Shade(static_cast<uint8_t*>(state.dibBits), c0, c1, r0, r1);
    DrawBlock(state, grid, width, height, c0, c1, r0, r1);
    return scene.PresentFrame(state, kTargetOffscreen);
  }
};

// Lights, material and fixed state of the hill-shade render on the current context.
void SetUpHillShadeState(SceneObject& scene, SceneState& state, bool depthTest) {
  // The light is placed through an identity model-view, as the blocks are drawn.
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  ApplyPlanLighting(scene, state);
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
  // A grid with holes: the background is cleared transparent, so that hole pixels GL leaves
  // (lines, or a picture drawn by GL) carry alpha 0 into images that hold alpha.
  const float clearAlpha = PictureAlpha() == RasterAlpha::kFromBitmap ? 0.0f : 1.0f;
  glClearColor(state.backColor[0], state.backColor[1], state.backColor[2], clearAlpha);
}

// Takes rows x columns pixels from the bottom-left corner of a bitmap laid out as the off-screen
// one, as the picture's block whose top-left pixel is (firstRow, firstColumn), row 0 the top.
using TileWriter = std::function<bool(int firstRow, int firstColumn, int rows, int columns,
                                      const uint8_t* bits)>;

// Tiles shaded on the CPU by several threads, each written while the next is shaded into a
// second bitmap: the tiles, their pixels and the progress steps (one before the first tile of
// each band is shaded) are those of the loop in PaintTiles. False when a tile failed or the user
// stopped.
bool WriteTilesShadedOnCpu(const SceneState& state, int width, int height, const RowBands& bands,
                           TileShader& shader, ProgressScope& progress, const TileWriter& write) {
  struct Tile {
    int c0, c1, r0, r1;
  };
  std::vector<Tile> tiles;
  for (const auto& [r0, r1] : bands)
    for (int c0 = 0; c0 < width; c0 += kHillShadeTile)
      tiles.push_back({c0, std::min(c0 + kHillShadeTile - 1, width - 1), r0, r1});
  const platform::DibHeader& header = state.dibInfo.header;
  const size_t bitmapBytes = size_t(platform::DibRowBytes(header.biWidth, header.biBitCount)) *
                             size_t(std::abs(header.biHeight));
  std::vector<uint8_t> spare(bitmapBytes);
  uint8_t* const bitmaps[2] = {static_cast<uint8_t*>(state.dibBits), spare.data()};
  // However this ends, the tile being shaded is finished before the spare bitmap goes.
  struct Finisher {
    TileShader& shader;
    ~Finisher() { shader.FinishQuietly(); }
  } finisher{shader};
  // Tile i is shaded into bitmap i % 2, after the progress step of its band when it begins one.
  auto start = [&](size_t i) {
    const Tile& t = tiles[i];
    return shader.Start(bitmaps[i % 2], t.c0, t.c1, t.r0, t.r1);
  };
  if (progress.Step() || !start(0)) return false;
  shader.Finish();
  for (size_t i = 0; i < tiles.size(); ++i) {
    const size_t next = i + 1;
    bool stopped = false, started = true;
    if (next < tiles.size()) {
      stopped = tiles[next].c0 == 0 && progress.Step();
      if (!stopped) started = start(next);
    }
    const Tile& t = tiles[i];
    const bool written =
        write(height - 1 - t.r1, t.c0, t.r1 - t.r0 + 1, t.c1 - t.c0 + 1, bitmaps[i % 2]);
    shader.Finish();
    if (!written || stopped || !started) return false;
  }
  return true;
}

// Paints the picture tile by tile, handing each tile to writeTile. False when a tile failed or
// the user stopped.
bool PaintTiles(SceneState& state, int width, int height, bool fromTop, BlockPainter& painter,
                bool sceneProgress, const TileWriter& writeTile) {
  const int bandsDown = (height + kHillShadeTile - 1) / kHillShadeTile;
  const int bandsAcross = (width + kHillShadeTile - 1) / kHillShadeTile;
  char text[64];
  std::snprintf(text, sizeof text, "共有%d块", bandsDown * bandsAcross);
  ProgressScope progress(sceneProgress ? "场景输出进度" : "正在生成晕渲图...",
                         sceneProgress ? text : nullptr, bandsDown);
  bool ok = progress.shown();  // a display the host refuses stops the output before it starts
  // Shaded on the CPU by more than one thread, a tile is written while the next is shaded.
  const bool overlapped = painter.shader != nullptr && painter.shader->threaded();
  const RowBands order = HillShadeRowBands(height, fromTop);
  if (ok && overlapped)
    ok = WriteTilesShadedOnCpu(state, width, height, order, *painter.shader, progress, writeTile);
  for (size_t band = 0; ok && !overlapped && band < order.size(); ++band) {
    const auto [r0, r1] = order[band];
    if (progress.Step()) {
      ok = false;
      break;
    }
    for (int c0 = 0; ok && c0 < width; c0 += kHillShadeTile) {
      const int c1 = std::min(c0 + kHillShadeTile - 1, width - 1);
      ok = painter.Paint(c0, c1, r0, r1) &&
           writeTile(height - 1 - r1, c0, r1 - r0 + 1, c1 - c0 + 1,
                     static_cast<const uint8_t*>(state.dibBits));
    }
  }
  return ok;
}

// Where a hill shade goes: a file of the request's kind, or the host's block writer.
struct HillShadeTarget {
  const TnOutputRequest* request = nullptr;  // the file; null: the host's blocks
  TnPictureBlockWriter writer = nullptr;
  void* user = nullptr;
  int bands = 3;
};

bool OutputHillShadeTo(SceneObject& scene, SceneState& state, int width, int height,
                       const HillShadeTarget& target, bool sceneProgress,
                       HillShadeDrawing drawing) {
  TerrainArea* area = g_process.terrainArea.get();
  if (state.glReady != 1 || area == nullptr || state.rowCount < 2 || state.columnCount < 2 ||
      width < 2 || height < 2)
    return false;
  const TnOutputRequest* request = target.request;
  if (request != nullptr && request->fileKind != TN_OUTPUT_BMP &&
      request->fileKind != TN_OUTPUT_RASTER && request->fileKind != kOutputPlaneGraph)
    return false;
  if (request == nullptr && (target.writer == nullptr || target.bands < 1 || target.bands > 4))
    return false;
  const bool tiled = width > kHillShadeTile || height > kHillShadeTile;
  // Large pictures are assembled tile by tile in a raster image only: as a BMP file such a
  // picture is larger than the off-screen bitmap the output draws in.
  if (tiled && request != nullptr && request->fileKind != TN_OUTPUT_RASTER) {
    ShowMessage(MessageId::kOutputTooLarge);
    return false;
  }

  const int bitmapWidth = tiled ? kHillShadeTile : width;
  const int bitmapHeight = tiled ? kHillShadeTile : height;
  OffscreenScope offscreen(scene, state, bitmapWidth, bitmapHeight);
  if (!offscreen.begun()) return false;
  // Alpha comes from the bitmap's fourth byte: blocks with alpha need a 32-bit bitmap.
  if (request == nullptr && (target.bands == 2 || target.bands == 4) &&
      state.dibInfo.header.biBitCount != 32)
    return false;
  // A tiled picture's raster image is created before anything is sized by the picture: a size
  // the image refuses (message 29) must not first claim memory for every picture column.
  // The host's blocks are held to the sizes and depths a raster image takes, with its messages.
  RasterHandle tiles = 0;
  if (request == nullptr && !AcceptRasterSize(state.dibInfo.header, height, width)) return false;
  if (tiled && request != nullptr &&
      !CreateRasterOutput(request->path, state.dibInfo.header, height, width, tiles))
    return false;
  BusyScope busy(scene);
  // Drawn from straight above; the window keeps its own kind of picture.
  PictureModeScope planView(scene, state, true);
  bool ok = false;
  // The samples of a wide picture take memory by its width: when that cannot be had the output
  // fails here, with the file removed and the scene's off-screen state and busy mark undone,
  // instead of leaving them to the exported function's last resort.
  if (ApplyContextState(state)) try {
    SampleGrid grid(state, *area, width, height);
    SetUpHillShadeState(scene, state, grid.exact());
    // A filled picture shows the lit samples themselves: shaded on the CPU, sample by sample,
    // with the lighting just set on the context. Lines need GL's rasteriser.
    VertexLighting lighting;
    std::unique_ptr<TileShader> shader;
    if (drawing == HillShadeDrawing::kAutomatic && state.drawMode != 1 && lighting.Capture()) {
      GLint alphaBits = 0;
      glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
      shader = std::make_unique<TileShader>(state, grid, lighting, alphaBits > 0,
                                            ShadeWorkers() - 1);
    }
    BlockPainter painter{scene, state, grid, width, height, shader.get()};
    std::vector<uint8_t> block;  // the host's blocks, packed
    const platform::DibHeader& header = state.dibInfo.header;
    const TileWriter writeTile = [&](int row, int column, int rows, int columns,
                                     const uint8_t* bits) {
      return request == nullptr
                 ? SendBitmapBlock(target.writer, target.user, target.bands, header, bits, row,
                                   column, rows, columns, block)
                 : WriteRasterTile(tiles, row, column, rows, columns, header, bits, PictureAlpha());
    };
    if (!tiled) {
      if (painter.Paint(0, width - 1, 0, height - 1)) {
        const auto* bits = static_cast<const uint8_t*>(state.dibBits);
        if (request == nullptr)
          ok = writeTile(0, 0, height, width, bits);
        else if (request->fileKind == kOutputPlaneGraph)
          ok = WritePlaneGraphFile(request->path, state.dibInfo.header, bits);
        else
          ok = request->fileKind == TN_OUTPUT_BMP
                   ? WriteBmpFile(request->path, state.dibInfo.header, bits)
                   : WriteRasterFile(request->path, state.dibInfo.header, bits,
                                     request->resolution, PictureAlpha());
      }
    } else {
      ok = PaintTiles(state, width, height, !request, painter, sceneProgress, writeTile);
      if (request != nullptr) {
        ok = CloseRasterOutput(tiles, request->resolution) && ok;
        tiles = 0;
        if (!ok) RemoveOutputFile(request->path);
      }
    }
    glPolygonMode(GL_FRONT, GL_FILL);
  } catch (const std::exception&) {
    ok = false;
    glPolygonMode(GL_FRONT, GL_FILL);
  }
  if (tiles != 0) {
    CloseRasterOutput(tiles, request->resolution);
    RemoveOutputFile(request->path);
  }
  return ok;
}

}  // namespace

void SetHillShadeWorkers(int workers) { g_shadeWorkers.store(workers < 0 ? 0 : workers); }

bool OutputHillShade(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     bool sceneProgress, HillShadeDrawing drawing) {
  const HillShadeTarget target{&request};
  return OutputHillShadeTo(scene, state, request.width, request.height, target, sceneProgress,
                           drawing);
}

bool OutputHillShadeBlocks(SceneObject& scene, SceneState& state, int width, int height,
                           int bands, TnPictureBlockWriter writer, void* user,
                           HillShadeDrawing drawing) {
  const HillShadeTarget target{nullptr, writer, user, bands};
  return OutputHillShadeTo(scene, state, width, height, target, true, drawing);
}

}  // namespace t3d

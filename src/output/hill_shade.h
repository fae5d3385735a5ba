// The hill-shade picture of the whole grid: the grid seen straight down, lit and coloured by
// height, rendered off screen in tiles of at most 512 x 512 samples.
#pragma once

#include <utility>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace t3d {

class SceneObject;
struct SceneState;

constexpr int kHillShadeTile = 512;

// The bands of rows a hill shade `height` rows high is shaded in, first to last, as bitmap rows
// r0..r1 (row 0 the picture's bottom), kHillShadeTile rows each but the last. The raster image's
// bands start at its bottom row. The host's blocks come from the top, band edges counted from
// the top row, so that a writer that stores a picture from the top (a GeoTIFF's tiles) can store
// each band as it comes. The pixels are the same either way: each is computed by itself.
using RowBands = std::vector<std::pair<int, int>>;
RowBands HillShadeRowBands(int height, bool fromTop);

// A file kind of the library's own besides TN_OUTPUT_BMP and TN_OUTPUT_RASTER: a plane graph
// file (formats/plane_graph.h), for pictures of one tile only.
constexpr int32_t kOutputPlaneGraph = 2;

// Writes the hill shade of request.width x request.height pixels. A size equal to the grid's
// columns x rows gives one pixel per node (node-exact); any other size (at least 2 x 2) samples
// the grid bilinearly at even steps from edge to edge. Up to 512 x 512 pixels are written as one
// picture with the writer of the file kind (BMP, raster image or plane graph); larger ones only as a raster image, tile by tile,
// under a progress display titled as scene output (sceneProgress) or as hill-shade generation.
// A stopped or failed tiled output leaves no file.
//
// Filled pictures are shaded on the CPU: every pixel shows the sample at its centre, lit by the
// GL context's own lighting state evaluated per sample as GL evaluates it per vertex, which is
// what GL's drawing of the sample mesh gives at the pixel centres (within a level of rounding).
// Wire-frame pictures (draw mode 1), and lighting the CPU evaluation does not cover, are drawn
// through GL; kGraphics draws every picture through GL.
enum class HillShadeDrawing { kAutomatic, kGraphics };

// The number of threads that shade a picture on the CPU (0, the default: one per processor, at
// most 8). With more than one, the tiles of a large picture are written while the next is shaded.
// Every row is shaded alike whatever the number: the pixels are the same.
void SetHillShadeWorkers(int workers);

bool OutputHillShade(SceneObject& scene, SceneState& state, const TnOutputRequest& request,
                     bool sceneProgress, HillShadeDrawing drawing = HillShadeDrawing::kAutomatic);

// tnOutputHillShadeBlocks: the same picture of width x height pixels (the same pixels and progress as
// the raster-image output of OutputHillShade), handed to the host's writer block by block in red,
// green and blue (bands 3) or red alone (bands 1) instead of being written to a file. False for
// another band count, no writer, or when the writer or the user stopped it.
bool OutputHillShadeBlocks(SceneObject& scene, SceneState& state, int width, int height,
                           int bands, TnPictureBlockWriter writer, void* user,
                           HillShadeDrawing drawing = HillShadeDrawing::kAutomatic);

}  // namespace t3d

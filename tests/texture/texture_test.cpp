// Terrain textures from raster images: preparation from an image of the grid's size and from
// one that is first resampled onto the grid, the band and save questions, what is refused, and
// the draped surface's colours. Plane textures and generated texture libraries, read back tile by
// tile.
#include <gdal.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image_files.h"
#include "model/process_objects.h"
#include "model/scene_object.h"
#include "model/scene_state.h"
#include "platform/environment.h"
#include "terrain3d/terrain3d.h"
#include "suite_setup.h"
#include "killed_child.h"
#include "test_grids.h"
#include "test_pictures.h"
#include "test_scene.h"
#include "formats/texture_library.h"
#include "texture/texture_preparation.h"
#include "model/texture_store.h"

namespace t3d {
namespace {

// A plane texture request for the image at path, largest tiles of 256 pixels.
TextureRequest PlaneRequest(const std::string& path, int pixelFormat, bool askToSave) {
  TextureRequest request;
  request.path = path;
  request.pixelFormat = pixelFormat;
  request.plane = true;
  request.askToSave = askToSave;
  return request;
}

using testgrids::GridPath;
using testgrids::ListDirectory;
using testgrids::NorthUp;
using testgrids::ScratchEnvironment;
using testgrids::WriteGrid;
using testgrids::WriteImage;
using testgrids::Differing;

using testgrids::kSource;
const std::string kOlindaDem = kSource + "/data/samples/olinda_dem_utm25s.tif";
const std::string kOlindaImage = kSource + "/data/samples/L7_ETMs.tif";

// What the host's dialog and message handlers saw and answer.
struct HostAnswers {
  std::vector<int> dialogs;
  std::vector<int> messages;
  int bandCount = 0;
  int bandsResult = TN_DIALOG_DEFAULT;
  std::array<int, 3> bands = {-1, -1, -1};  // chosen red, green, blue; -1 keeps the offered ones
  int formatChoice = -1;        // -1: the starting choice; -2: cancel
  bool saveLibrary = false;
  std::string libraryPath;
  bool unterminatedPath = false;  // fill the whole path field, with no terminating zero
  rlim_t fileSizeLimit = 0;       // when set, the largest file the process may write from then on
};
HostAnswers g_host;

int TN_CALL Dialogs(void*, int id, void* record) {
  g_host.dialogs.push_back(id);
  if (id == TN_DIALOG_BANDS) {
    auto* dialog = static_cast<TnBandsDialog*>(record);
    g_host.bandCount = dialog->bandCount;
    if (g_host.bandsResult != 1) return g_host.bandsResult;
    if (g_host.bands[0] >= 0) {
      dialog->red = g_host.bands[0];
      dialog->green = g_host.bands[1];
      dialog->blue = g_host.bands[2];
    }
    return 1;
  }
  if (id == TN_DIALOG_TEXTURE_FORMAT && g_host.formatChoice == -2) return 2;
  if (id == TN_DIALOG_TEXTURE_FORMAT && g_host.formatChoice >= 0) {
    static_cast<TnTextureFormatDialog*>(record)->choice = int16_t(g_host.formatChoice);
    return 1;
  }
  if (id == TN_DIALOG_SAVE_TEXTURE && g_host.saveLibrary) {
    auto* dialog = static_cast<TnSaveTextureDialog*>(record);
    if (g_host.unterminatedPath)
      std::memcpy(dialog->path, g_host.libraryPath.data(), sizeof dialog->path);
    else
      std::snprintf(dialog->path, sizeof dialog->path, "%s", g_host.libraryPath.c_str());
    if (g_host.fileSizeLimit != 0) {
      const rlimit limit{g_host.fileSizeLimit, g_host.fileSizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    return 1;
  }
  return TN_DIALOG_DEFAULT;
}

int TN_CALL Messages(void*, int id, unsigned, const char*, const char*) {
  g_host.messages.push_back(id);
  return id == TN_MSG_SAVE_TEXTURE_LIBRARY && g_host.saveLibrary ? TN_IDYES : TN_IDNO;
}

bool Saw(const std::vector<int>& seen, int id) {
  return std::find(seen.begin(), seen.end(), id) != seen.end();
}

// A gently rolling 129 x 129 grid of 30 m cells.
std::string Field() {
  const std::string path = GridPath("field.tif");
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 30, 30);
  EXPECT_TRUE(WriteGrid(path, 129, 129, gt, GDT_Float32,
                        [](int line, int pixel) { return 100 + 0.2 * line + 0.1 * pixel; }));
  return path;
}

// Quadrant colours over the field's extent: south-west red, south-east green, north-west blue,
// north-east white; cells x cells pixels.
const int kQuadrant[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
std::string Quadrants(const std::string& name, int cells, int bands = 3) {
  const std::string path = GridPath(name);
  double gt[6];
  NorthUp(gt, 0, 129 * 30, 129.0 * 30 / cells, 129.0 * 30 / cells);
  EXPECT_TRUE(WriteImage(path, cells, cells, bands, gt, [cells](int b, int line, int pixel) {
    const bool north = line < cells / 2, east = pixel >= cells / 2;
    return b < 3 ? kQuadrant[(north ? 2 : 0) + (east ? 1 : 0)][b] : 77;
  }));
  return path;
}

class Renderer : public testgrids::TestScene {
 public:
  Renderer(int width = 160, int height = 120) : TestScene(width, height, &Dialogs, &Messages) {}
  t3dhost::Picture Frame() { return testgrids::FramePicture(*this); }
  int PrepareTexture(const std::string& path) { return tnPrepareTexture(scene(), state(), path.c_str()); }
  // Shows the texture (on) or the height colours (off).
  bool Textured(bool on = true) { return SetSurfaceDispMode(scene(), state(), on ? 0 : 1) == TN_OK; }
  // The field prepared and shown textured.
  bool TexturedField() { return Prepare(Field()) && Textured(); }
};

void Save(const t3dhost::Picture& picture, const std::string& name) {
  if (const char* dir = std::getenv("TERRAIN3D_TEXTURE_PICTURES")) {
    std::string error;
    t3dhost::WritePng(std::string(dir) + "/" + name + ".png", picture, error);
  }
}

using testgrids::ExpectLikeReference;

// Resampled images are named Noname<unique part>.rim.
bool IsResampledImage(const std::string& name) {
  return name.rfind("Noname", 0) == 0 && name.size() > 10 &&
         name.compare(name.size() - 4, 4, ".rim") == 0;
}

// The texture files in the working directory: temporary libraries and resampled images.
std::vector<std::string> WorkFiles() {
  std::vector<std::string> names;
  for (const std::string& name : ListDirectory(ScratchEnvironment::workDir()))
    if (name.rfind("Tex", 0) == 0 || IsResampledImage(name)) names.push_back(name);
  return names;
}

// The file's bytes, or an empty string when it cannot be read.
std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TextureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BaseResetEnvironment();
    g_host = HostAnswers{};
  }
};

// Average red, green, blue of the 5 x 5 pixels around (x, y).
struct Rgb {
  int r, g, b;
};
Rgb Around(const t3dhost::Picture& picture, int x, int y) {
  int sum[3] = {0, 0, 0};
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx) {
      const uint8_t* p = &picture.bgra[(size_t(y + dy) * picture.width + size_t(x + dx)) * 4];
      sum[0] += p[2];
      sum[1] += p[1];
      sum[2] += p[0];
    }
  return {sum[0] / 25, sum[1] / 25, sum[2] / 25};
}

// The default view looks south-west over the field: the south-west quadrant lies far (top of the
// picture), the north-east one near (bottom), south-east on the left and north-west on the right.
void ExpectQuadrantsInPlace(const t3dhost::Picture& picture, const int (&colours)[4][3]) {
  const struct {
    int x, y, quadrant;
  } places[] = {{80, 30, 0}, {15, 50, 1}, {145, 55, 2}, {80, 100, 3}};
  for (const auto& place : places) {
    const Rgb seen = Around(picture, place.x, place.y);
    const int* want = colours[place.quadrant];
    EXPECT_NEAR(seen.r, want[0], 24) << "quadrant " << place.quadrant;
    EXPECT_NEAR(seen.g, want[1], 24) << "quadrant " << place.quadrant;
    EXPECT_NEAR(seen.b, want[2], 24) << "quadrant " << place.quadrant;
  }
}

// The image is draped in textured mode only: the coloured mode's picture stays as it was, and
// lines drawn have no effect on the textured surface.
TEST_F(TextureTest, ImageOfTheGridsSizeIsDrapedAtItsPlaceInTexturedModeOnly) {
  Renderer r;
  ASSERT_TRUE(r.Prepare(Field()));
  const t3dhost::Picture coloured = r.Frame();
  ASSERT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_OK);
  EXPECT_EQ(r.object().textureReady, 1);
  EXPECT_EQ(Differing(coloured, r.Frame()), 0u);
  // Packed 16-bit pixels when the context has them (the format dialog's starting choice).
  EXPECT_EQ(Saw(g_host.dialogs, TN_DIALOG_TEXTURE_FORMAT), r.object().packedPixelsExt != 0);
  EXPECT_FALSE(Saw(g_host.dialogs, TN_DIALOG_BANDS));  // 3 bands: nothing to choose
  EXPECT_TRUE(Saw(g_host.messages, 14));               // declined: the data stays temporary
  ASSERT_TRUE(r.Textured());
  const t3dhost::Picture picture = r.Frame();
  Save(picture, "quadrants");
  ExpectQuadrantsInPlace(picture, kQuadrant);
  EXPECT_GT(r.object().lastMesh.nodes, 0);
  EXPECT_GT(Differing(coloured, picture), 2000u);
  ASSERT_TRUE(r.Textured(false));
  EXPECT_EQ(Differing(coloured, r.Frame()), 0u);
  ASSERT_TRUE(r.Textured());
  ASSERT_EQ(SetDrawMode(r.scene(), r.state(), 1), TN_OK);
  EXPECT_EQ(Differing(picture, r.Frame()), 0u);
  // Neither the temporary library nor the resampled image has a name in the directory.
  EXPECT_TRUE(WorkFiles().empty());

  // Preparing the terrain again drops the texture with its temporary library (unnamed: it ends
  // when the store's descriptor is closed).
  ASSERT_TRUE(r.Prepare(Field()));
  EXPECT_EQ(r.object().textureReady, 0);
  EXPECT_TRUE(g_process.textureStore == nullptr || !g_process.textureStore->library.valid());
}

TEST_F(TextureTest, OtherResolutionsAndFormatsGiveTheSamePicture) {
  Renderer r;
  ASSERT_TRUE(r.TexturedField());
  ASSERT_EQ(r.PrepareTexture(Quadrants("direct.tif", 129)), TN_OK);
  const t3dhost::Picture direct = r.Frame();

  // Finer and coarser images are resampled onto the grid through a file that does not remain.
  for (int cells : {300, 50}) {
    SCOPED_TRACE(cells);
    ASSERT_EQ(r.PrepareTexture(Quadrants("q" + std::to_string(cells) + ".tif", cells)), TN_OK);
    const t3dhost::Picture resampled = r.Frame();
    ExpectQuadrantsInPlace(resampled, kQuadrant);
    EXPECT_LT(Differing(direct, resampled), direct.bgra.size() / 4 / 10);
    for (const std::string& name : WorkFiles()) EXPECT_FALSE(IsResampledImage(name)) << name;
    EXPECT_TRUE(WorkFiles().empty());
  }

  // 24-bit pixels.
  g_host.formatChoice = 1;
  ASSERT_EQ(r.PrepareTexture(Quadrants("direct.tif", 129)), TN_OK);
  EXPECT_EQ(r.block().textureComponents, 3);
  const t3dhost::Picture full = r.Frame();
  ExpectQuadrantsInPlace(full, kQuadrant);
  EXPECT_LT(Differing(direct, full), direct.bgra.size() / 4 / 50);
}

TEST_F(TextureTest, ImagesWithFewerThanThreeBandsAndTexturesWithoutTerrainAreRefused) {
  Renderer r;
  EXPECT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_E_FAIL);  // no terrain yet
  EXPECT_TRUE(WorkFiles().empty());
  ASSERT_TRUE(r.Prepare(Field()));
  ASSERT_EQ(r.PrepareTexture(Quadrants("good.tif", 129)), TN_OK);
  for (int bands : {2, 1}) {
    g_host.messages.clear();
    const std::string path = GridPath("bands" + std::to_string(bands) + ".tif");
    double gt[6];
    NorthUp(gt, 0, 129 * 30, 30, 30);
    ASSERT_TRUE(WriteImage(path, 64, 64, bands, gt, [](int, int, int) { return 128; }));
    EXPECT_EQ(r.PrepareTexture(path), TN_E_FAIL);
    EXPECT_EQ(g_host.messages, std::vector<int>{17});
    // The previous texture is gone, and nothing was written.
    EXPECT_EQ(r.object().textureReady, 0);
    EXPECT_EQ(g_process.textureStore, nullptr);
    EXPECT_EQ(r.block().textureTileTable, nullptr);
    EXPECT_TRUE(WorkFiles().empty());
  }
  // Missing files and other names are refused without a message; the scene still draws.
  g_host.messages.clear();
  EXPECT_EQ(r.PrepareTexture(GridPath("missing.tif")), TN_E_FAIL);
  EXPECT_EQ(r.PrepareTexture(""), TN_E_FAIL);
  EXPECT_EQ(tnPrepareTexture(r.scene(), r.state(), nullptr), TN_E_FAIL);
  EXPECT_EQ(tnPrepareTexture(nullptr, r.state(), "x.tif"), TN_E_FAIL);
  EXPECT_TRUE(g_host.messages.empty());
  ASSERT_TRUE(r.Textured());
  r.Frame();
  EXPECT_TRUE(WorkFiles().empty());
}

// Pixels of the background colour (the top-left pixel's).
size_t Background(const t3dhost::Picture& picture) {
  size_t count = 0;
  for (size_t i = 0; i < picture.bgra.size(); i += 4)
    if (std::memcmp(&picture.bgra[i], &picture.bgra[0], 3) == 0) ++count;
  return count;
}

// Grids of several shapes and sizes: every node of the mesh lies inside a texture tile, so the
// textured surface covers what the coloured one covers.
TEST_F(TextureTest, EveryNodeIsDrawnInSomeTile) {
  const int shapes[][2] = {{129, 129}, {600, 129}, {129, 700}, {1100, 300}, {40, 2000}};
  for (const auto& shape : shapes) {
    const int columns = shape[0], rows = shape[1];
    SCOPED_TRACE(std::to_string(columns) + " x " + std::to_string(rows));
    const std::string grid = GridPath("shape.tif"), image = GridPath("shape-image.tif");
    double gt[6];
    NorthUp(gt, 0, rows * 30.0, 30, 30);
    ASSERT_TRUE(WriteGrid(grid, columns, rows, gt, GDT_Float32,
                          [](int line, int pixel) { return 50 + 20 * std::sin(line * 0.05) + 0.05 * pixel; }));
    ASSERT_TRUE(WriteImage(image, columns, rows, 3, gt,
                           [](int b, int line, int pixel) { return b == 0 ? 200 : ((line + pixel) % 64) + 100; }));
    Renderer r;
    ASSERT_TRUE(r.Prepare(grid));
    const size_t colouredBackground = Background(r.Frame());
    ASSERT_EQ(r.PrepareTexture(image), TN_OK);
    ASSERT_TRUE(r.Textured());
    const t3dhost::Picture textured = r.Frame();
    EXPECT_EQ(r.object().lastMesh.untexturedNodes, 0);
    EXPECT_GE(r.object().lastMesh.texturePasses, 1);
    const double difference = double(Background(textured)) - double(colouredBackground);
    EXPECT_LT(std::abs(difference), 160 * 120 / 50.0);
  }
}

TEST_F(TextureTest, BandDialogChoosesTheColours) {
  Renderer r;
  ASSERT_TRUE(r.TexturedField());
  const std::string image = Quadrants("four.tif", 129, 4);
  // Its display bands by default.
  ASSERT_EQ(r.PrepareTexture(image), TN_OK);
  EXPECT_EQ(g_host.bandCount, 4);
  ExpectQuadrantsInPlace(r.Frame(), kQuadrant);
  // Blue, green and red swapped.
  g_host.bandsResult = 1;
  g_host.bands = {2, 1, 0};
  ASSERT_EQ(r.PrepareTexture(image), TN_OK);
  const int swapped[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
  ExpectQuadrantsInPlace(r.Frame(), swapped);
  // Resampled as well.
  ASSERT_EQ(r.PrepareTexture(Quadrants("four-fine.tif", 200, 4)), TN_OK);
  ExpectQuadrantsInPlace(r.Frame(), swapped);
  // A band the image lacks, or a cancel, keeps the image's own display bands.
  g_host.bands[0] = 4;
  ASSERT_EQ(r.PrepareTexture(Quadrants("four-fine.tif", 200, 4)), TN_OK);
  ExpectQuadrantsInPlace(r.Frame(), kQuadrant);
  g_host.bandsResult = 2;
  ASSERT_EQ(r.PrepareTexture(image), TN_OK);
  ExpectQuadrantsInPlace(r.Frame(), kQuadrant);
  for (const std::string& name : WorkFiles()) EXPECT_FALSE(IsResampledImage(name)) << name;
}

TEST_F(TextureTest, SavedLibraryIsKeptAndOpensDirectly) {
  const std::string library = GridPath("quadrants.Tex");
  {
    Renderer r;
    ASSERT_TRUE(r.TexturedField());
    g_host.saveLibrary = true;
    g_host.libraryPath = library;
    ASSERT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 300)), TN_OK);
    EXPECT_TRUE(Saw(g_host.dialogs, TN_DIALOG_SAVE_TEXTURE));
    EXPECT_TRUE(WorkFiles().empty());  // moved to the chosen place
    const t3dhost::Picture made = r.Frame();

    g_host = HostAnswers{};
    ASSERT_EQ(r.PrepareTexture(library), TN_OK);
    EXPECT_FALSE(Saw(g_host.messages, 14));  // nothing to save
    EXPECT_EQ(Differing(made, r.Frame()), 0u);
  }
  // The library outlives the scene.
  EXPECT_EQ(access(library.c_str(), F_OK), 0);

  // A library for another grid is refused.
  Renderer other(160, 120);
  const std::string small = GridPath("small.tif");
  double gt[6];
  NorthUp(gt, 0, 65 * 30, 30, 30);
  ASSERT_TRUE(WriteGrid(small, 65, 65, gt, GDT_Float32, [](int, int) { return 10.0; }));
  ASSERT_TRUE(other.Prepare(small));
  EXPECT_EQ(other.PrepareTexture(library), TN_E_FAIL);
  EXPECT_TRUE(Saw(g_host.messages, 16));
}

TEST_F(TextureTest, PackedPixelsNeedTheContextsSupport) {
  Renderer r;
  ASSERT_TRUE(r.Prepare(Field()));
  if (r.object().packedPixelsExt == 0) GTEST_SKIP() << "the context has no packed pixels";
  const std::string library = GridPath("packed.tex");
  g_host.saveLibrary = true;
  g_host.libraryPath = library;
  ASSERT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_OK);  // 16-bit pixels
  EXPECT_EQ(r.block().textureType, GLenum(0x8034));
  g_host = HostAnswers{};

  // A context without them: images give 24-bit pixels without asking; a 16-bit library is refused.
  r.object().packedPixelsExt = 0;
  ASSERT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_OK);
  EXPECT_FALSE(Saw(g_host.dialogs, TN_DIALOG_TEXTURE_FORMAT));
  EXPECT_EQ(r.block().textureComponents, 3);
  EXPECT_EQ(r.PrepareTexture(library), TN_E_FAIL);
  EXPECT_TRUE(Saw(g_host.messages, 21));
  EXPECT_EQ(r.object().textureReady, 0);
  EXPECT_EQ(access(library.c_str(), F_OK), 0);  // a refused library stays where it is
  // A cancelled format dialog ends the preparation.
  r.object().packedPixelsExt = 1;
  g_host.formatChoice = -2;
  EXPECT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_E_FAIL);
  EXPECT_TRUE(WorkFiles().empty());
}

TEST_F(TextureTest, OlindaImageDrapedOverItsTerrain) {
  Renderer r(320, 240);
  ASSERT_TRUE(r.Prepare(kOlindaDem));
  const t3dhost::Picture coloured = r.Frame();
  // Six bands of another resolution: the band dialog (near infrared shown as red), then
  // resampling onto the grid.
  g_host.bandsResult = 1;
  g_host.bands = {3, 2, 1};
  ASSERT_EQ(r.PrepareTexture(kOlindaImage), TN_OK);
  EXPECT_TRUE(Saw(g_host.dialogs, TN_DIALOG_BANDS));
  EXPECT_EQ(g_host.bandCount, 6);
  for (const std::string& name : WorkFiles()) EXPECT_FALSE(IsResampledImage(name)) << name;
  EXPECT_EQ(access("Noname.rim", F_OK), -1);
  ASSERT_TRUE(r.Textured());
  const t3dhost::Picture draped = r.Frame();
  Save(draped, "olinda_draped");
  ExpectLikeReference(draped, "olinda_draped");
  EXPECT_GT(Differing(coloured, draped), size_t(320 * 240 / 4));
  // The image covers the whole terrain: no black texels inside the picture's middle.
  const Rgb middle = Around(draped, 160, 150);
  EXPECT_GT(middle.r + middle.g + middle.b, 60);
}

TEST_F(TextureTest, ResampledImageTouchesNoOtherFile) {
  // A file of the user's in the working directory with the resampled image's old fixed name.
  const std::string users = ScratchEnvironment::workDir() + "/Noname.rim";
  std::ofstream(users, std::ios::binary) << "the user's own file";
  Renderer r;
  ASSERT_TRUE(r.Prepare(Field()));
  ASSERT_EQ(r.PrepareTexture(Quadrants("fine.tif", 300)), TN_OK);  // resampled onto the grid
  ASSERT_EQ(r.PrepareTexture(Quadrants("coarse.tif", 50)), TN_OK);
  ASSERT_TRUE(r.Textured());
  ExpectQuadrantsInPlace(r.Frame(), kQuadrant);
  EXPECT_EQ(Contents(users), "the user's own file");
  for (const std::string& name : ListDirectory(ScratchEnvironment::workDir()))
    EXPECT_TRUE(name == "Noname.rim" || !IsResampledImage(name)) << name;
  std::remove(users.c_str());
}

TEST_F(TextureTest, FailedSaveIsReportedAndLeavesNoFile) {
  Renderer r;
  ASSERT_TRUE(r.TexturedField());
  const std::string image = Quadrants("quadrants.tif", 129);
  // Each failed save shows message 10; the texture is still prepared, from its temporary library.
  auto expectReportedFailure = [&](const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(r.PrepareTexture(image), TN_OK);
    EXPECT_TRUE(Saw(g_host.dialogs, TN_DIALOG_SAVE_TEXTURE));
    EXPECT_TRUE(Saw(g_host.messages, 10));
    ASSERT_NE(g_process.textureStore, nullptr);
    EXPECT_FALSE(g_process.textureStore->keepFile);
    EXPECT_TRUE(WorkFiles().empty());
    ExpectQuadrantsInPlace(r.Frame(), kQuadrant);
    g_host.dialogs.clear();
    g_host.messages.clear();
  };
  g_host.saveLibrary = true;

  // A directory that does not exist.
  g_host.libraryPath = GridPath("no-such-folder/quadrants.Tex");
  expectReportedFailure("missing directory");
  EXPECT_EQ(access(g_host.libraryPath.c_str(), F_OK), -1);

  // A path that fills the whole field without its terminating zero is not cut short and used.
  std::string full = GridPath("");
  full += std::string(sizeof(TnSaveTextureDialog::path) - full.size(), 'x');
  g_host.libraryPath = full;
  g_host.unterminatedPath = true;
  expectReportedFailure("unterminated path");
  g_host.unterminatedPath = false;
  for (const std::string& name : ListDirectory(ScratchEnvironment::gridDir()))
    EXPECT_EQ(name.find("xxxx"), std::string::npos) << name;

  // A disk that fills up while the library is copied (a file-size limit in a child process): the
  // library that was at the chosen path stays as it was, and no partial copy remains.
  const std::string library = GridPath("kept.Tex");
  std::ofstream(library, std::ios::binary) << "an earlier library";
  g_host.libraryPath = library;
  g_host.fileSizeLimit = 4096;
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
        const bool prepared = r.PrepareTexture(image) == TN_OK;
        const bool reported = Saw(g_host.messages, 10);
        const bool kept = Contents(library) == "an earlier library";
        size_t partial = 0;  // hidden files beside the library: an unfinished copy
        for (const std::string& name : ListDirectory(ScratchEnvironment::gridDir()))
          partial += name[0] == '.';
        std::fprintf(stderr, "prepared %d reported %d kept %d partial %zu\n", prepared, reported,
                     kept, partial);
        r.PrepareTexture("");  // the temporary library goes with its store
        std::_Exit(prepared && reported && kept && partial == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  g_host.fileSizeLimit = 0;
  EXPECT_EQ(Contents(library), "an earlier library");

  // A save that works keeps the library there.
  g_host.libraryPath = library;
  EXPECT_EQ(r.PrepareTexture(image), TN_OK);
  EXPECT_FALSE(Saw(g_host.messages, 10));
  EXPECT_TRUE(g_process.textureStore->keepFile);
  EXPECT_TRUE(WorkFiles().empty());
  EXPECT_GT(Contents(library).size(), 1000u);
}

int g_progressBegins = 0;
int TN_CALL RefuseProgress(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_BEGIN) ++g_progressBegins;
  return 0;  // refuses the display (and never asks to stop)
}

TEST_F(TextureTest, RefusedProgressDisplayPreparesNoTexture) {
  Renderer r;
  ASSERT_TRUE(r.Prepare(Field()));
  g_progressBegins = 0;
  tnSetProgressHandler(&RefuseProgress, nullptr);
  // Terrain textures, of the grid's size and resampled.
  EXPECT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_E_FAIL);
  EXPECT_EQ(r.PrepareTexture(Quadrants("fine.tif", 300)), TN_E_FAIL);
  EXPECT_EQ(g_process.textureStore, nullptr);
  EXPECT_EQ(r.object().textureReady, 0);
  // Plane textures.
  TextureStore store;
  TextureRequest request = PlaneRequest(Quadrants("plane.tif", 200), kPixelRgb24, false);
  EXPECT_FALSE(PrepareTextureSource(store, request, nullptr));
  EXPECT_FALSE(store.library.valid());
  // Generated libraries.
  const std::string library = GridPath("generated.tex");
  EXPECT_FALSE(GenerateTextureLibrary(Quadrants("grid-sized.tif", 129), library, 129, 129, kPixelRgb24));
  tnSetProgressHandler(nullptr, nullptr);
  EXPECT_GE(g_progressBegins, 4);
  EXPECT_EQ(access(library.c_str(), F_OK), -1);
  EXPECT_TRUE(WorkFiles().empty());
  // The same preparations run when the display is shown.
  EXPECT_EQ(r.PrepareTexture(Quadrants("quadrants.tif", 129)), TN_OK);
  EXPECT_TRUE(GenerateTextureLibrary(Quadrants("grid-sized.tif", 129), library, 129, 129, kPixelRgb24));
  std::remove(library.c_str());
}

// A killed preparation leaves nothing in the working directory: the temporary library and the
// resampled image have no name there, midway through the tiles or once the texture is built.
int TN_CALL StopAtFirstTile(void*, int event, int, const char*, const char*) {
  if (event == TN_PROGRESS_STEP) testgrids::TellParentAndWait();  // both temporaries are open
  return event == TN_PROGRESS_BEGIN ? 1 : 0;
}

TEST_F(TextureTest, AKilledPreparationLeavesNoFile) {
  const std::string image = Quadrants("killed.tif", 300);  // resampled onto the grid
  for (const bool midway : {true, false}) {
    const testgrids::KilledChild killed = testgrids::RunAndKill([&] {
      BaseResetEnvironment();
      if (midway) tnSetProgressHandler(&StopAtFirstTile, nullptr);
      TextureStore store;
      TextureRequest request;
      request.path = image;
      request.rows = request.cols = 129;
      request.grid.cellSizeX = request.grid.cellSizeY = 30;
      if (!PrepareTextureSource(store, request, nullptr)) _exit(2);
      testgrids::TellParentAndWait();
    });
    EXPECT_TRUE(killed.reached) << "the child did not get as far as asked";
    EXPECT_TRUE(killed.left.empty()) << (midway ? "killed midway: " : "killed when built: ")
                                     << killed.left.size() << " files left, first "
                                     << (killed.left.empty() ? "" : killed.left[0]);
  }
}

// ---- Plane textures and generated libraries ------------------------------------------------

// A pixel colour that tells line and cell apart: red is the line, green and blue the cell.
int LineAndCell(int band, int line, int cell) {
  return band == 0 ? line % 256 : band == 1 ? cell % 256 : 7 + 100 * (cell / 256);
}

// The test's message and dialog handlers, for tests without a scene (which installs them).
class HostHandlers {
 public:
  HostHandlers() {
    tnSetMessageHandler(&Messages, nullptr);
    tnSetDialogHandler(&Dialogs, nullptr);
  }
  ~HostHandlers() {
    tnSetMessageHandler(nullptr, nullptr);
    tnSetDialogHandler(nullptr, nullptr);
  }
  HostHandlers(const HostHandlers&) = delete;
  HostHandlers& operator=(const HostHandlers&) = delete;
};

bool SameEntry(const TileEntry& a, const TileEntry& b) {
  return a.rowFirst == b.rowFirst && a.rowLast == b.rowLast && a.colFirst == b.colFirst &&
         a.colLast == b.colLast && a.level == b.level;
}

TEST_F(TextureTest, PlaneTexturesAreTheImageCellByCell) {
  HostHandlers handlers;
  // 150 lines x 300 cells: tiles of 128 (256 halved to the smaller side), 2 rows of 3.
  const int lines = 150, cells = 300, size = 128;
  const std::string path = GridPath("plane.tif");
  double gt[6];
  NorthUp(gt, 1000, 5000, 10, 10);
  ASSERT_TRUE(WriteImage(path, cells, lines, 3, gt, LineAndCell));
  const auto expected = BuildPlaneTileTable(lines, cells, 8);
  ASSERT_TRUE(expected.has_value());
  ASSERT_EQ(expected->tiles.size(), 6u);

  for (int format : {kPixelRgb24, kPixelRgba5551}) {
    SCOPED_TRACE(format);
    {
      TextureStore store;
      TextureRequest request = PlaneRequest(path, format, false);
      request.rows = 7;  // become the image's lines and cells
      request.cols = 9;
      TextureInfo info{};
      ASSERT_TRUE(PrepareTextureSource(store, request, &info));
      EXPECT_EQ(request.rows, lines);
      EXPECT_EQ(request.cols, cells);
      EXPECT_EQ(info.tileWidth, size);
      EXPECT_EQ(info.tileHeight, size);
      EXPECT_EQ(info.pixelFormat, format);
      EXPECT_EQ(info.planeTiling, 1);
      EXPECT_EQ(store.library.tileRows(), 2u);
      EXPECT_EQ(store.library.tileCols(), 3u);
      const std::vector<TileEntry>& tiles = store.library.tiles();
      ASSERT_TRUE(std::equal(tiles.begin(), tiles.end(), expected->tiles.begin(),
                             expected->tiles.end(), SameEntry));

      // Texture row i of a tile is grid row rowFirst + i, the image's line lines - 1 - that;
      // black beyond the image's top and right edges.
      std::vector<uint8_t> read(store.library.tileBytes()), want(read.size());
      std::vector<uint8_t> rgb(size_t(size) * size * 3);
      for (size_t n = 0; n < tiles.size(); ++n) {
        for (int i = 0; i < size; ++i)
          for (int j = 0; j < size; ++j) {
            const int row = tiles[n].rowFirst + i, cell = tiles[n].colFirst + j;
            for (int b = 0; b < 3; ++b)
              rgb[(size_t(i) * size + j) * 3 + b] =
                  row < lines && cell < cells ? uint8_t(LineAndCell(b, lines - 1 - row, cell)) : 0;
          }
        ASSERT_TRUE(PackPixels(format, rgb.data(), size_t(size) * size, want.data()));
        ASSERT_TRUE(store.ReadTile(int(n), read.data(), read.size()));
        EXPECT_TRUE(read == want) << "tile " << n;
      }
      EXPECT_TRUE(WorkFiles().empty());  // the temporary data has no name
    }
    EXPECT_TRUE(WorkFiles().empty());
  }
  EXPECT_TRUE(g_host.messages.empty());  // not asked to save

  // Wider cell values saturate: 300 is shown as 255, not as 300 - 256.
  const std::string wide = GridPath("plane16.tif");
  GDALDatasetH dataset =
      GDALCreate(GDALGetDriverByName("GTiff"), wide.c_str(), 20, 10, 3, GDT_UInt16, nullptr);
  ASSERT_NE(dataset, nullptr);
  const double values[3] = {300, 100, 0};
  for (int b = 0; b < 3; ++b) GDALFillRaster(GDALGetRasterBand(dataset, b + 1), values[b], 0);
  GDALClose(dataset);
  {
    TextureStore store;
    TextureRequest request = PlaneRequest(wide, kPixelRgb24, false);
    ASSERT_TRUE(PrepareTextureSource(store, request, nullptr));
    std::vector<uint8_t> tile(store.library.tileBytes());
    ASSERT_TRUE(store.ReadTile(0, tile.data(), tile.size()));
    EXPECT_EQ(tile[0], 255);
    EXPECT_EQ(tile[1], 100);
    EXPECT_EQ(tile[2], 0);
  }

  // Fewer than 3 bands: message 17 before anything is written.
  const std::string two = GridPath("plane2.tif");
  ASSERT_TRUE(WriteImage(two, 40, 30, 2, gt, [](int, int, int) { return 9; }));
  TextureStore store;
  TextureRequest request = PlaneRequest(two, kPixelRgb24, true);
  request.rows = 5;
  request.cols = 6;
  EXPECT_FALSE(PrepareTextureSource(store, request, nullptr));
  EXPECT_EQ(g_host.messages, std::vector<int>{17});
  EXPECT_EQ(request.rows, 5);
  EXPECT_EQ(request.cols, 6);
  EXPECT_TRUE(WorkFiles().empty());
}

// Blocks of 16 x 16 pixels, each of its own colour (neighbours always differ).
int Blocks(int band, int line, int cell) {
  return ((cell / 16 + 1) * (37 + 50 * band) + (line / 16 + 1) * (101 + 13 * band)) % 256;
}

TEST_F(TextureTest, GeneratedLibraryShowsTheImage) {
  HostHandlers handlers;
  // 300 lines x 260 cells: four 256-pixel tiles of level 0 and one of level 1.
  const int rows = 300, cols = 260;
  const std::string image = GridPath("blocks.tif"), library = GridPath("blocks.tex");
  double gt[6];
  NorthUp(gt, 0, rows * 30.0, 30, 30);
  ASSERT_TRUE(WriteImage(image, cols, rows, 3, gt, Blocks));

  for (int format : {kPixelRgb24, kPixelRgba5551}) {
    SCOPED_TRACE(format);
    ASSERT_TRUE(GenerateTextureLibrary(image, library, rows, cols, format));
    int32_t libraryRows = rows, libraryCols = cols;
    const TextureLibrary opened = OpenTextureLibrary(library, &libraryRows, &libraryCols, false);
    ASSERT_TRUE(opened.valid());
    EXPECT_EQ(opened.header().sourceName, "blocks.tif");
    EXPECT_EQ(opened.info().pixelFormat, format);
    const auto table = BuildTileTable(rows, cols, 8);
    ASSERT_TRUE(table.has_value());
    ASSERT_EQ(opened.tileCount(), 5u);
    ASSERT_TRUE(std::equal(opened.tiles().begin(), opened.tiles().end(), table->tiles.begin(),
                           table->tiles.end(), SameEntry));

    // Texel (r, c) of a level-L tile shows the grid about 2^L r rows and 2^L c columns from the
    // tile's corner (grid row g being image line rows - 1 - g). Where all the grid around that
    // place is one block it must show the block's colour: exactly in 24 bits, within the
    // 5-bit steps in 16.
    const int size = opened.info().tileWidth, tolerance = format == kPixelRgb24 ? 0 : 8;
    std::vector<uint8_t> packed(opened.tileBytes()), rgb(size_t(size) * size * 3);
    size_t checked = 0, texels = 0;
    for (uint32_t n = 0; n < opened.tileCount(); ++n) {
      const TileEntry& tile = opened.tiles()[n];
      const int s = 1 << tile.level;
      ASSERT_TRUE(ReadTile(&opened, int(n), packed.data(), packed.size()));
      ASSERT_TRUE(UnpackPixels(format, packed.data(), size_t(size) * size, rgb.data()));
      for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) {
          ++texels;
          const auto span = [&](int first, int index, int last) {
            return std::make_pair(std::clamp(first + (index - 1) * s, 0, last),
                                  std::clamp(first + (index + 2) * s, 0, last));
          };
          const auto [row0, row1] = span(tile.rowFirst, r, rows - 1);
          const auto [col0, col1] = span(tile.colFirst, c, cols - 1);
          const int line0 = rows - 1 - row1, line1 = rows - 1 - row0;
          if (line0 / 16 != line1 / 16 || col0 / 16 != col1 / 16) continue;
          ++checked;
          for (int b = 0; b < 3; ++b)
            ASSERT_NEAR(rgb[(size_t(r) * size + c) * 3 + b], Blocks(b, line0, col0), tolerance)
                << "tile " << n << " texel " << r << ", " << c << " band " << b;
        }
    }
    EXPECT_GT(checked, texels / 3);
  }

  // Refused before the library is touched: another grid size; a missing image.
  const std::vector<std::string> kept = ListDirectory(testgrids::ScratchEnvironment::gridDir());
  const std::string before = Contents(library);
  EXPECT_FALSE(GenerateTextureLibrary(image, library, rows - 1, cols, kPixelRgb24));
  EXPECT_FALSE(GenerateTextureLibrary(image, library, rows, cols + 1, kPixelRgb24));
  EXPECT_EQ(Contents(library), before);
  EXPECT_FALSE(GenerateTextureLibrary(GridPath("missing.tif"), GridPath("none.tex"), rows, cols,
                                      kPixelRgb24));
  EXPECT_EQ(ListDirectory(testgrids::ScratchEnvironment::gridDir()), kept);
  EXPECT_TRUE(g_host.messages.empty());
  EXPECT_TRUE(WorkFiles().empty());
}

}  // namespace
}  // namespace t3d

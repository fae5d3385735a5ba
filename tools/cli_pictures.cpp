// The one-shot commands that make files from a prepared DEM: render (a picture of the scene),
// hillshade (a hill-shade picture of the grid) and texlib (a texture library).
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_notes.h"
#include "cli_regions.h"
#include "cli_roads.h"
#include "cli_scene.h"
#include "colour_tables.h"
#include "geo_outputs.h"
#include "image_files.h"
#include "interrupts.h"
#include "terrain3d/terrain3d.h"

namespace t3dhost {
namespace {

// texlib answers Yes to keeping the prepared texture as a library; other messages are printed.
int TN_CALL AnswerYesToKeeping(void* user, int id, unsigned style, const char* caption,
                               const char* text) {
  if (id == TN_MSG_SAVE_TEXTURE_LIBRARY) return TN_IDYES;
  return PrintMessage(user, id, style, caption, text);
}

// Where the library's hill-shade blocks go: the host's picture file. Blocks with alpha (a grid
// with holes) have their opaque pixels counted, so that a picture of holes alone is told, and
// lose the alpha when the file's format cannot hold it.
struct HillShadeSink {
  PictureBlockWriter* picture = nullptr;
  bool alpha = false;      // the blocks end in alpha
  bool dropAlpha = false;  // and the file takes them without it
  int64_t opaque = 0;
  std::vector<uint8_t> packed;
};

int TN_CALL PutBlock(void* user, int firstRow, int firstColumn, int rows, int columns, int bands,
                     const TnByte* pixels, int rowBytes) {
  auto& sink = *static_cast<HillShadeSink*>(user);
  if (sink.alpha) {
    for (int row = 0; row < rows; ++row)
      for (int column = 0; column < columns; ++column)
        sink.opaque += pixels[size_t(row) * size_t(rowBytes) + size_t(column) * bands + bands - 1] != 0;
  }
  if (!sink.dropAlpha)
    return sink.picture->Put(firstRow, firstColumn, rows, columns, bands, pixels, rowBytes) ? 1 : 0;
  const int kept = bands - 1;
  sink.packed.resize(size_t(rows) * size_t(columns) * size_t(kept));
  for (int row = 0; row < rows; ++row)
    for (int column = 0; column < columns; ++column)
      std::copy_n(pixels + size_t(row) * size_t(rowBytes) + size_t(column) * bands, kept,
                  sink.packed.begin() + (size_t(row) * size_t(columns) + size_t(column)) * kept);
  return sink.picture->Put(firstRow, firstColumn, rows, columns, kept, sink.packed.data(),
                           columns * kept)
             ? 1
             : 0;
}

// Pixels per inch, stored in the pictures as the library stores it in its raster images.
constexpr double kPictureResolution = 72;

const char kRenderHelp[] =
    "usage: terrain3d render DEM -o OUT.png|OUT.tif|OUT.jpg|OUT.bmp [options]\n"
    "Draws the DEM in perspective (or in plan view) off screen and writes the picture; the\n"
    "output's format follows its extension. A plan view is map-aligned: a GeoTIFF carries\n"
    "the grid's CRS and geotransform, other formats get a world file and a .aux.xml.\n"
    "  --size WxH            picture size in pixels (640x480)\n"
    "  --eye X,Y,Z --look X,Y  eye at map x, y and height z in the grid's units, looking\n"
    "                        at map x, y; default: north-east of the centre\n"
    "  --plan                the whole grid from above (height colours only)\n"
    "  --sky --fog           sky dome, fog\n"
    "  --no-light            no lighting\n"
    "  --table N|NAME        colour table 0 to 38, by number or name ('terrain3d tables')\n"
    "  --colours FILE        a custom ramp: a gdaldem color-relief file (HEIGHT R G B or\n"
    "                        P% R G B lines, heights in the grid's units)\n"
    "  --grey                grey table\n"
    "  --wireframe           lines instead of a surface\n"
    "  --quality 0|1|2       level of detail\n"
    "  --exaggeration F      heights F times their true size against the ground (1: true\n"
    "                        scale; heights in metres); default: the automatic scale\n"
    "  --no-rescale          the same as --exaggeration 1\n"
    "  --keep-crs            a grid in degrees drawn in degrees (by default it is warped to\n"
    "                        its UTM zone for true proportions)\n"
    "  --holes               cells missing a height are left out (the background shows\n"
    "                        through; a plan view as .tif or .png is transparent there)\n"
    "                        instead of drawn at the grid's lowest height\n"
    "  --texture IMAGE|LIB.tex  drape an image or a texture library\n"
    "  --map-area REGIONS    burn a file of regions into the grid: each region's cells take\n"
    "                        its class's colours (field colour = class x 256 + entry,\n"
    "                        classes 0 to 6: map_1.lut to map_7.lut)\n"
    "  --bands R,G,B         texture bands from 1 shown as red, green, blue\n"
    LINE_OPTIONS_HELP
    "  --tiles AxD           a picture of A x D tiles of --size each\n"
    "  --tile-range I-J      only tiles I to J of --tiles (numbered from 1, row by row from\n"
    "                        the top left), each into its own file OUT_NNN.EXT; 'terrain3d\n"
    "                        mosaic' joins them into the whole picture\n"
    "A picture without any terrain in it is an error (exit status 1). Regions:\n";

const char kHillShadeHelp[] =
    "usage: terrain3d hillshade DEM -o OUT.tif|OUT.png|OUT.jpg|OUT.bmp [options]\n"
    "Writes a hill-shade picture of the grid, one pixel a grid node unless --size says: the\n"
    "lit colour relief, or with --grey a grey hill shade (one band: the shading alone,\n"
    "as gdaldem's). The picture is map-aligned: a GeoTIFF carries the grid's CRS and\n"
    "geotransform, other formats get a world file and a .aux.xml beside them.\n"
    "  --size WxH            picture size in pixels\n"
    "  --azimuth A           light from A degrees clockwise from north, 0 to 360 (315)\n"
    "  --tilt T              light T degrees above the horizon, 0 to 90 (45)\n"
    "  --grey                a grey hill shade instead of the lit colour relief\n"
    "  --table N|NAME        the relief's colour table, by number or name ('terrain3d tables')\n"
    "  --colours FILE        the relief's colours from a gdaldem color-relief file\n"
    "  --z-factor F          heights F times their true size (heights in metres), as\n"
    "                        --exaggeration F\n"
    "  --exaggeration F      heights F times their true size against the ground (1: true\n"
    "                        scale; heights in metres); default: the automatic scale\n"
    "  --no-rescale          the same as --exaggeration 1\n"
    "  --keep-crs            a grid in degrees drawn in degrees (by default it is warped to\n"
    "                        its UTM zone for true proportions)\n"
    "  --holes               cells missing a height are left out instead of drawn at the\n"
    "                        grid's lowest height: transparent in .tif and .png (an alpha\n"
    "                        band), the background colour in .jpg and .bmp\n";

const char kTexlibHelp[] =
    "usage: terrain3d texlib DEM IMAGE -o LIB.tex [--exaggeration F] [--keep-crs] [--holes]\n"
    "       terrain3d texlib DEM --hillshade -o LIB.tex [--azimuth A] [--tilt T]\n"
    "                        [--exaggeration F] [--keep-crs] [--holes]\n"
    "Prepares IMAGE as the texture of the DEM and keeps it as a texture library; with\n"
    "--hillshade, makes the library of the DEM's hill shade (one pixel a grid node, lit from\n"
    "azimuth A and tilt T degrees, default 315 and 45).\n";

// Copies path into an output request; false (with the message) when it does not fit.
bool SetOutputPath(TnOutputRequest& request, const std::string& path) {
  if (path.size() >= sizeof request.path) {
    std::fprintf(stderr, "terrain3d: output path too long\n");
    return false;
  }
  std::strncpy(request.path, path.c_str(), sizeof request.path - 1);
  return true;
}

// What render draws, beyond the scene's prepared defaults.
struct RenderOptions {
  int width = 640, height = 480, quality = -1;
  bool sky = false, fog = false, noLight = false, grey = false, wireframe = false, plan = false;
  bool haveEye = false, haveLook = false;
  float eye[3] = {0, 0, 0}, look[2] = {0, 0};
  const char* texture = nullptr;
  const char* mapArea = nullptr;
  int tilesAcross = 1, tilesDown = 1;
  int firstTile = 0, lastTile = 0;  // a tile range from 1; 0: the whole picture
  LineOptions lines;
  std::string pictureId;  // which picture tiles belong to (see PictureId)
};

// What names the picture a tile belongs to, so that a mosaic joins only tiles of one picture:
// the command's arguments but the output and the tile range, and the size and modification time
// of every file among them (the same arguments on a changed DEM draw another picture), hashed.
std::string PictureId(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "-o" || arg == "--tile-range") && i + 1 < argc) {
      ++i;
      continue;
    }
    text += arg;
    text += '\n';
    struct stat file {};
    if (::stat(arg.c_str(), &file) == 0 && S_ISREG(file.st_mode))
      text += std::to_string(file.st_size) + "@" + std::to_string(file.st_mtime) + "\n";
  }
  // FNV-1a, 64 bits: the same for the same text in every build of the program.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

// Applies the settings, the eye and the texture of options to a prepared scene.
bool ApplyRenderOptions(HeadlessScene& scene, RenderOptions& o, DialogAnswers& answers) {
  void* s = scene.scene();
  void* st = scene.state();
  if (!ApplyHeightColours(s, st, answers, scene.heightRatio())) return false;
  if (o.sky) SetSkyFlag(s, st, 1);
  if (o.fog) SetFogFlag(s, st, 1);
  if (o.noLight) SetLightFlag(s, st, 0);
  if (o.grey) SetGrayDisplayFlag(s, st, 1);
  if (o.wireframe) SetDrawMode(s, st, 1);
  if (o.quality >= 0) SetDrawQuality(s, st, o.quality);
  if (o.haveEye) {
    o.eye[2] = scene.SceneHeight(o.eye[2]);
    SetEyeCenterPosition(s, st, o.eye, o.look);
  }
  if (o.texture != nullptr) {
    if (!scene.PrepareTexture(o.texture)) return false;
    SetSurfaceDispMode(s, st, 0);
  }
  if (o.mapArea != nullptr && !scene.LoadMapArea(o.mapArea)) return false;
  return scene.LoadLines(o.lines);
}

// The raster-image request of the tiled picture of o, written to target; false (after saying why)
// when the path does not fit the request.
bool TiledRequest(TnOutputRequest& request, const std::string& target, const RenderOptions& o) {
  request.fileKind = TN_OUTPUT_RASTER;
  if (!SetOutputPath(request, target)) return false;
  request.width = o.width;
  request.height = o.height;
  request.tilesAcross = int16_t(o.tilesAcross);
  request.tilesDown = int16_t(o.tilesDown);
  request.resolution = 72;
  return true;
}

// A picture larger than one off-screen bitmap: tiles into one raster image (GeoTIFF).
int WriteTiledPicture(void* s, void* st, const std::string& out, const RenderOptions& o) {
  // The library writes the tiles into one raster image; the picture is converted from it to the
  // format of the output's name.
  const std::string target = DraftName(out + ".tif");
  const ScopedPendingFile pending(target);
  TnOutputRequest request{};
  if (!TiledRequest(request, target, o)) return 1;
  if (tnOutput3DScene(s, st, &request) != TN_OK) {
    std::remove(target.c_str());
    std::fprintf(stderr, "terrain3d: the tiled picture could not be written\n");
    return 1;
  }
  std::string error;
  const bool converted = ConvertPicture(target, out, 3, nullptr, error);
  std::remove(target.c_str());
  if (!converted) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%d x %d pixels)\n", out.c_str(), o.width * o.tilesAcross,
              o.height * o.tilesDown);
  return 0;
}

// Tiles firstTile..lastTile of the tiled picture, each into its own file (TileName), placed in
// pixel units so that 'terrain3d mosaic' joins them into the picture WriteTiledPicture makes.
int WriteTileRange(void* s, void* st, const std::string& out, const RenderOptions& o) {
  const int count = o.tilesAcross * o.tilesDown;
  for (int index = o.firstTile; index <= o.lastTile; ++index) {
    const int column = (index - 1) % o.tilesAcross, row = (index - 1) / o.tilesAcross;
    const std::string name = TileName(out, index, count);
    const std::string target = DraftName(name + ".tif");
    const ScopedPendingFile pendingTarget(target);
    TnOutputRequest request{};
    if (!TiledRequest(request, target, o)) return 1;
    if (tnOutput3DTile(s, st, &request, column, row) != TN_OK) {
      std::remove(target.c_str());
      std::fprintf(stderr, "terrain3d: tile %d could not be drawn\n", index);
      return 1;
    }
    Georeference placement = TilePlacement(column, row, o.width, o.height, o.tilesAcross, o.tilesDown);
    placement.pictureId = o.pictureId;
    std::string error;
    const bool converted = ConvertPicture(target, name, 3, &placement, error);
    std::remove(target.c_str());
    if (!converted) {
      std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s (tile %d of %d: column %d, row %d)\n", name.c_str(), index, count,
                column + 1, row + 1);
  }
  return 0;
}

}  // namespace

int RunRender(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  RenderOptions o;
  DialogAnswers answers;
  // The program writes what it draws: 16-bit textures are for display only.
  answers.textureForOutput = true;
  RegionOptions regionOptions;
  NoteOptions noteOptions;
  CommandLine line("render", [](std::FILE* to) {
    std::fputs(kRenderHelp, to);
    std::fputs(kRegionHelp, to);
    std::fputs(kNoteHelp, to);
    std::fputs("Roads:\n", to);
    std::fputs(kRoadHelp, to);
  });
  RoadOptions roadOptions;
  line.Text("-o", &out)
      .Size(&o.width, &o.height)
      .ViewPoint(o.eye, &o.haveEye, o.look, &o.haveLook)
      .Text("--texture", &o.texture)
      .Text("--map-area", &o.mapArea)
      .Value("--bands",
             [&](const char* value) {
               double bands[3];
               bool whole = ParseReals(value, bands, 3);
               for (int i = 0; whole && i < 3; ++i)
                 whole = bands[i] >= 1 && bands[i] <= 65535 && bands[i] == int(bands[i]);
               if (!whole)
                 return line.RefuseValue("--bands", "three band numbers from 1, R,G,B", value);
               for (int i = 0; i < 3; ++i) answers.bands[i] = int(bands[i]) - 1;
               return true;
             })
      .Value("--tiles",
             [&](const char* value) {
               if (ParseSize(value, o.tilesAcross, o.tilesDown, 64)) return true;
               return line.RefuseValue("--tiles", "ACROSSxDOWN, each from 1 to 64", value);
             })
      .Value("--tile-range",
             [&](const char* value) {
               const std::string range = value;
               const size_t dash = range.find('-');
               long first = 0, last = 0;
               const bool read =
                   dash == std::string::npos
                       ? ParseInt(value, first) && (last = first, true)
                       : ParseInt(range.substr(0, dash).c_str(), first) &&
                             ParseInt(range.substr(dash + 1).c_str(), last);
               if (!read || first < 1 || last < first || last > 64 * 64)
                 return line.RefuseValue("--tile-range", "I-J or I, tile numbers from 1 with I <= J",
                                         value);
               o.firstTile = int(first);
               o.lastTile = int(last);
               return true;
             })
      .Int("--quality", &o.quality, 0, 2)
      .Flag("--sky", &o.sky)
      .Flag("--fog", &o.fog)
      .Flag("--no-light", &o.noLight)
      .Flag("--grey", &o.grey)
      .Flag("--wireframe", &o.wireframe)
      .Flag("--plan", &o.plan)
      .Also([&](CommandLine& l) { AddLineOptions(l, o.lines); })
      .Also([&](CommandLine& l) { AddColourOptions(l, answers); })
      .Also([&](CommandLine& l) { AddRegionOptions(l, regionOptions); })
      .Also([&](CommandLine& l) { AddNoteOptions(l, noteOptions); })
      .Also([&](CommandLine& l) { AddRoadOptions(l, roadOptions); })
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr) return line.Refuse("a DEM file is needed");
  if (out.empty()) return line.Refuse("-o OUT is needed");
  if (o.plan && !regionOptions.file.empty())
    return line.Refuse("--plan cannot show --regions: the plan view draws the grid only");
  if (o.plan && !noteOptions.file.empty())
    return line.Refuse("--plan cannot show --notes: the plan view draws the grid only");
  if (o.plan && !roadOptions.file.empty())
    return line.Refuse("--plan cannot show --roads: the plan view draws the grid only");
  if (!IsPictureName(out)) return line.Refuse("-o " + out + ": the name must end in .tif, .png, .jpg or .bmp");
  if (o.haveEye != o.haveLook) return line.Refuse("--eye and --look go together");
  if (o.firstTile > 0 && o.lastTile > o.tilesAcross * o.tilesDown)
    return line.Refuse("--tile-range " + std::to_string(o.firstTile) + "-" +
                       std::to_string(o.lastTile) + " goes beyond the " +
                       std::to_string(o.tilesAcross * o.tilesDown) + " tiles of --tiles");
  if (o.firstTile > 0 && o.plan) return line.Refuse("--tile-range draws tiles of the 3D view, not of --plan");
  if (o.plan && o.tilesAcross * o.tilesDown > 1)
    return line.Refuse("--tiles draws the 3D view in tiles, not --plan: give the plan view's size "
                       "with --size");
  if (o.plan && o.lines.path != nullptr)
    return line.Refuse("--plan cannot show --lines: map lines are drawn in the 3D view");
  if (o.plan && o.texture != nullptr)
    return line.Refuse(
        "--plan cannot show --texture: the plan view draws the grid in height colours only; "
        "leave out --plan to see the texture draped in 3D");
  const ScopedDialogAnswers dialogs(answers);

  HeadlessScene scene;
  if (!scene.Open(demPath, o.width, o.height)) return 1;
  void* s = scene.scene();
  void* st = scene.state();
  if (!ApplyRenderOptions(scene, o, answers)) return 1;
  LoadedRegions regions;
  if (!regions.Load(s, st, scene.gridPath(), regionOptions)) return 1;
  LoadedNotes notes;
  if (!notes.Load(s, st, scene.gridPath(), noteOptions)) return 1;
  LoadedRoads roads;
  if (!roads.Load(s, st, scene.gridPath(), roadOptions)) return 1;
  if (o.firstTile > 0) {
    o.pictureId = PictureId(argc, argv);
    return WriteTileRange(s, st, out, o);
  }
  if (o.tilesAcross > 1 || o.tilesDown > 1) return WriteTiledPicture(s, st, out, o);

  std::string error;
  Picture picture;
  if (o.plan) {
    if (tnDraw2DScene(s, st) != TN_OK) {
      std::fprintf(stderr, "terrain3d: the plan view could not be drawn\n");
      return 1;
    }
    picture.width = o.width;
    picture.height = o.height;
    picture.bgra = scene.pixels();
  } else if (!DrawView(s, st, out, o.width, o.height, picture, error)) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  // A uniform picture shows no terrain, unless it is too small to tell (a few pixels of ground
  // are uniform too).
  if (int64_t(picture.width) * picture.height >= 64 && IsBlank(picture)) {
    std::fprintf(stderr,
                 "terrain3d render: the picture shows no terrain (the eye sees none of the "
                 "grid); nothing was written to %s\n",
                 out.c_str());
    return 1;
  }
  // A plan view is map-aligned: it carries the grid's georeference.
  Georeference georeference;
  const bool mapAligned = o.plan && PlanViewGeoreference(s, st, scene.gridPath(), o.width,
                                                         o.height, georeference);
  // A plan view of a grid with holes keeps their transparency where the format holds it.
  if (!WriteGeoPicture(out, picture, mapAligned ? &georeference : nullptr, error,
                       o.plan && HolesChosen())) {
    std::fprintf(stderr, "terrain3d: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s (%d x %d pixels)\n", out.c_str(), o.width, o.height);
  return 0;
}

int RunHillShade(int argc, char** argv) {
  const char* demPath = nullptr;
  std::string out;
  int width = 0, height = 0;  // 0: one pixel a grid node
  float azimuth = 315, tilt = 45;
  bool grey = false;
  DialogAnswers answers;
  answers.textureForOutput = true;
  CommandLine line("hillshade", [](std::FILE* to) { std::fputs(kHillShadeHelp, to); });
  line.Text("-o", &out)
      .Size(&width, &height)
      .Real("--azimuth", &azimuth, 0, 360)
      .Real("--tilt", &tilt, 0, 90)
      .Flag("--grey", &grey)
      .Also([&](CommandLine& l) { AddColourOptions(l, answers); })
      .Real("--z-factor", &answers.exaggeration, 0, 10000, true)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (demPath == nullptr) return line.Refuse("a DEM file is needed");
  if (out.empty()) return line.Refuse("-o OUT.tif|OUT.png|OUT.jpg|OUT.bmp is needed");
  if (!IsPictureName(out)) return line.Refuse("-o " + out + ": the name must end in .tif, .png, .jpg or .bmp");
  if (grey && (answers.tableNumber >= 0 || answers.ramp))
    return line.Refuse("--grey is a shading alone: --table and --colours colour the relief");
  if (grey) {
    // A grey hill shade as gdaldem makes one: the shading alone, of ground of one grey (not the
    // grey table, whose grey rises with height), lit by the light's diffuse part alone (the
    // scene's ambient light would flatten it). kShadeGrey x (GL's global ambient 0.2 + 1) is
    // 255: ground facing the light is white, ground turned away from it kShadeGrey / 5.
    constexpr uint8_t kShadeGrey = 212;
    auto ramp = std::make_shared<ColourRamp>();
    RampStop stop;
    stop.percent = true;
    stop.rgb[0] = stop.rgb[1] = stop.rgb[2] = kShadeGrey;
    ramp->stops.push_back(stop);
    answers.ramp = std::move(ramp);
  }
  const ScopedDialogAnswers dialogs(answers);

  HeadlessScene scene;
  if (!scene.Open(demPath, 64, 64)) return 1;
  void* s = scene.scene();
  void* st = scene.state();
  TnSceneInfo info{};
  tnGetSceneInfo(s, st, &info);
  if (width == 0) {
    width = info.grid.columns;
    height = info.grid.rows;
  }
  if (!ApplyHeightColours(s, st, answers, scene.heightRatio())) return 1;
  SetLightDir_TiltAngle(s, st, azimuth, tilt);
  SetLightFlag(s, st, 1);
  if (grey) {
    SetLight_Ambient(s, st, 0, 0, 0);
    SetLight_Diffuse(s, st, 255, 255, 255);
  }
  // The library hands the picture over block by block, in the bands of the output (red alone
  // for the grey hill shade); the blocks are written as they come to a file in the format of
  // the output's name, with the grid's georeference.
  Georeference georeference;
  const bool mapAligned = GeoreferenceCovering(scene.gridPath(), width, height, georeference);
  // With --holes the blocks come with alpha: formats that hold it keep it (the holes are
  // transparent), and a picture with no opaque pixel (every pixel in a cell missing a height)
  // is refused as render refuses a picture without terrain.
  HillShadeSink sink;
  sink.alpha = HolesChosen();
  sink.dropAlpha = sink.alpha && !HoldsAlpha(out);
  const int bands = (grey ? 1 : 3) + (sink.alpha ? 1 : 0);
  PictureBlockWriter picture(out, width, height, sink.dropAlpha ? bands - 1 : bands,
                             kPictureResolution, mapAligned ? &georeference : nullptr);
  sink.picture = &picture;
  if (tnOutputHillShadeBlocks(s, st, width, height, bands, &PutBlock, &sink) !=
      TN_OK) {
    if (!picture.error().empty()) std::fprintf(stderr, "terrain3d: %s\n", picture.error().c_str());
    std::fprintf(stderr, "terrain3d: the hill shade could not be written\n");
    return 1;
  }
  if (sink.alpha && sink.opaque == 0) {
    std::fprintf(stderr,
                 "terrain3d hillshade: the picture shows no terrain (at %d x %d every pixel falls "
                 "in a cell missing a height); nothing was written to %s\n",
                 width, height, out.c_str());
    return 1;
  }
  if (!picture.Finish()) {
    std::fprintf(stderr, "terrain3d: %s\n", picture.error().c_str());
    return 1;
  }
  std::printf("%s (%d x %d)\n", out.c_str(), width, height);
  return 0;
}

int RunTextureLibrary(int argc, char** argv) {
  const char* demPath = nullptr;
  const char* image = nullptr;
  std::string out;
  DialogAnswers answers;
  answers.textureForOutput = true;
  bool hillShade = false;
  float azimuth = 315, tilt = 45;
  CommandLine line("texlib", [](std::FILE* to) { std::fputs(kTexlibHelp, to); });
  line.Text("-o", &out)
      .Flag("--hillshade", &hillShade)
      .Real("--azimuth", &azimuth, 0, 360)
      .Real("--tilt", &tilt, 0, 90)
      .GridOptions(&answers.keepHeights, &answers.keepCrs, &answers.exaggeration)
      .File(&demPath)
      .File(&image);
  if (const auto status = line.Parse(argc, argv)) return *status;
  if (out.empty()) return line.Refuse("-o LIB.tex is needed");
  if (out.size() < 4 || strcasecmp(out.c_str() + out.size() - 4, ".tex") != 0)
    return line.Refuse("-o " + out + ": a texture library's name ends in .tex");
  if (hillShade) {
    if (demPath == nullptr || image != nullptr)
      return line.Refuse("--hillshade takes a DEM and no IMAGE");
    const ScopedDialogAnswers dialogs(answers);
    HeadlessScene scene;
    if (!scene.Open(demPath, 64, 64)) return 1;
    DraftFile draft(out);
    if (tnOutput2DTexLibFile(scene.scene(), scene.state(), draft.path().c_str(), azimuth, tilt) !=
            TN_OK ||
        !draft.PutInPlace()) {
      std::fprintf(stderr, "terrain3d: the library '%s' was not written\n", out.c_str());
      return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
  }
  if (demPath == nullptr || image == nullptr) return line.Refuse("a DEM and an IMAGE are needed");
  // The library is kept in the scratch folder first and moved into place when complete, so that
  // an interrupt leaves nothing beside the output.
  const std::string kept = ScratchFolder().empty() ? out : ScratchFolder() + "/library.tex";
  answers.saveLibrary = kept;
  const ScopedDialogAnswers dialogs(answers);
  tnSetMessageHandler(&AnswerYesToKeeping, nullptr);

  HeadlessScene scene;
  if (!scene.Open(demPath, 64, 64)) return 1;
  if (!scene.PrepareTexture(image)) return 1;
  std::error_code failure;
  if (kept != out) {
    const ScopedPendingFile pending(out);
    std::filesystem::rename(kept, out, failure);
    if (failure) {  // another file system: copied
      failure.clear();
      std::filesystem::copy_file(kept, out, std::filesystem::copy_options::overwrite_existing,
                                 failure);
      if (failure) std::remove(out.c_str());
    }
    if (!failure) pending.Keep();
  }
  if (failure || !std::filesystem::is_regular_file(out, failure)) {
    std::fprintf(stderr, "terrain3d: the library '%s' was not written\n", out.c_str());
    return 1;
  }
  std::printf("%s\n", out.c_str());
  return 0;
}

}  // namespace t3dhost

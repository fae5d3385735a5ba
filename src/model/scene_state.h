// The scene state block: the second handle of the scene interface. A plain record, allocated
// zero-filled with the scene object; it holds the window and GL handles, every render setting,
// the prepared grid's extent and scales, the eye and view, the fly route, the font, the analysis
// parameters, the colour tables and the lookup tables. The fields follow the order in which the
// library has always kept them.
#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <type_traits>

#include "platform/gl_device.h"
#include "formats/colour_table.h"

namespace t3d {

struct FlyRouteNode;  // a node of the fly route, owned through routeHead

// Height colour settings: edited as a whole by the height colour dialog.
struct HeightColourSettings {
  float layerBounds[256][2];  // {low, high} of each height band, in elevation units
  ColourTable heightColourTable;
  uint16_t layerCount;
  int16_t tableNumber;  // colour table file in use; -1 while layered colouring is applied
  uint8_t option;
  uint8_t initialised;  // set once the height colour dialog has shown the settings
};

struct SceneState {
  // Window, device and GL handles (platform stand-ins; the scene object owns what they name).
  const void* hWnd;
  platform::DeviceContext* hDC;
  platform::MemoryDevice* hMemDC;
  void* hDIB;  // pixel memory of the off-screen bitmap while one exists
  void* hOldBitmap;
  void* hPalette;
  void* hOldPalette;
  int32_t glReady;
  platform::GlContext* hGLRC;
  platform::GlContext* hSavedGLRC;

  // Light and material.
  float lightAmbient[4];
  float lightDiffuse[4];
  float lightSpecular[4];
  float lightPosition[4];
  float spotDirection[3];
  float lightAttenuation[3];
  float materialAmbient[4];
  float materialDiffuse[4];
  float materialSpecular[4];
  float materialEmission[4];
  float materialShininess;
  GLenum colorMaterialMode;
  float lineColor[3];
  float backColor[3];
  float fogColor[4];
  float fogDensity;

  // Flood analysis display.
  float analysisColours[9];  // first (submerged), second, third colour: red, green, blue 0..1
  uint8_t waterSurfaceFlag;
  float waterLevel;  // last analysed level in cell-height units

  // Note font.
  char fontFace[64];
  uint8_t fontFlag;
  int16_t fontSize;

  // View directions and lighting direction, degrees.
  float flyViewDirAngle;
  float viewDirAngle;
  float viewFov;
  float viewTilt;
  float lightAzimuth;
  float lightTilt;
  double focalLength;

  // Colour tables.
  HeightColourSettings heightColours;
  ColourTable greyTable;
  ColourTable mapAreaTables[7];

  // Texture tiles (copies of the texture store's table, not owned) and lookup tables.
  void* textureTileTable;
  int32_t textureTileCount;
  float normalTable[256][256][3];
  float unitRamp[65536];
  int32_t textureComponents;
  GLenum textureFormat;
  GLenum textureType;

  // Off-screen bitmap.
  platform::DibInfo dibInfo;
  void* dibBits;

  // Prepared grid.
  float xMin, xMax, yMin, yMax;
  float cellSizeX, cellSizeY;
  float zMin, zMax;
  int32_t rowCount, columnCount;
  float sceneRadius;
  float zScale;
  float terrainCentre[3];

  // Eye and view.
  float eyePosition[3];
  float viewCentre[2];
  float flyDirection[2];
  float viewDirSin, viewDirCos;
  double nearPlane, farPlane;
  double viewDirZ;

  // Flight.
  float flySpeed, flySpeedMin, flySpeedMax;
  FlyRouteNode* routeHead;
  int16_t routeNodeCount;
  FlyRouteNode* routeCurrent;

  // Layer indexes: the map file slot of the loaded line layer (0: none), and the region layer's
  // (the region count among them is read by the frame driver).
  uint16_t lineFileIndex;
  uint8_t layerIndexes[16];

  // Render settings.
  float reduceLineCoefficient;
  int32_t drawMode;
  int32_t displayMethod;
  int32_t drawQuality;
  int32_t flyFlag;
  int32_t surfaceDisplayMode;
  int32_t applyType;
  int32_t grayDisplayFlag;
  int32_t lightFlag;
  int32_t materialFlag;
  int32_t fogFlag;
  int32_t skyFlag;
};

// The block is allocated and cleared as raw memory: it must stay a plain record.
static_assert(std::is_trivially_copyable_v<SceneState> && std::is_standard_layout_v<SceneState>,
              "the scene state block is a plain record");

}  // namespace t3d

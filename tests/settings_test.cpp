// Render settings through the exported Set and Get pairs: defaults after binding, clamping,
// colour round trips, the surface display mode rules, the sky texture, the light direction, and
// the GL state the setters reach (only on the scene's own context, and only once it is bound).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "scene/scene_object.h"
#include "scene/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace {

using t3d::SceneObject;
using t3d::SceneState;

SceneObject& SceneOf(void* scene) { return *static_cast<SceneObject*>(scene); }
SceneState& StateOf(void* state) { return *static_cast<SceneState*>(state); }

struct Rgb {
  short r, g, b;
};

struct ColourPair {
  const char* name;
  int(TN_CALL* set)(void*, void*, short, short, short);
  int(TN_CALL* get)(void*, void*, short*, short*, short*);
  float* (*field)(SceneState&);
  bool hasAlpha;
};

const ColourPair kColourPairs[] = {
    {"light ambient", SetLight_Ambient, GetLight_Ambient,
     [](SceneState& s) -> float* { return s.lightAmbient; }, true},
    {"light diffuse", SetLight_Diffuse, GetLight_Diffuse,
     [](SceneState& s) -> float* { return s.lightDiffuse; }, true},
    {"light specular", SetLight_Specular, GetLight_Specular,
     [](SceneState& s) -> float* { return s.lightSpecular; }, true},
    {"material ambient", SetMaterial_Ambient, GetMaterial_Ambient,
     [](SceneState& s) -> float* { return s.materialAmbient; }, true},
    {"material diffuse", SetMaterial_Diffuse, GetMaterial_Diffuse,
     [](SceneState& s) -> float* { return s.materialDiffuse; }, true},
    {"material specular", SetMaterial_Specular, GetMaterial_Specular,
     [](SceneState& s) -> float* { return s.materialSpecular; }, true},
    {"material emission", SetMaterial_Emission, GetMaterial_Emission,
     [](SceneState& s) -> float* { return s.materialEmission; }, true},
    {"line", SetLineColor, GetLineColor, [](SceneState& s) -> float* { return s.lineColor; },
     false},
    {"background", SetBackColor, GetBackColor,
     [](SceneState& s) -> float* { return s.backColor; }, false},
    {"fog", SetFogColor, GetFogColor, [](SceneState& s) -> float* { return s.fogColor; }, true},
};

Rgb ReadBack(const ColourPair& pair, void* scene, void* state) {
  Rgb c{-1, -1, -1};
  EXPECT_EQ(pair.get(scene, state, &c.r, &c.g, &c.b), TN_OK) << pair.name;
  return c;
}

void ExpectRgb(const Rgb& actual, short r, short g, short b, const std::string& what) {
  EXPECT_EQ(actual.r, r) << what;
  EXPECT_EQ(actual.g, g) << what;
  EXPECT_EQ(actual.b, b) << what;
}

void ExpectGl4(const GLfloat actual[4], float r, float g, float b, float a, const char* what) {
  EXPECT_NEAR(actual[0], r, 1e-6) << what;
  EXPECT_NEAR(actual[1], g, 1e-6) << what;
  EXPECT_NEAR(actual[2], b, 1e-6) << what;
  EXPECT_NEAR(actual[3], a, 1e-6) << what;
}

// Scenes created through the interface, bound to headless windows the fixture keeps alive.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(tnCreateTin3DDraw(&scene, &state), TN_OK); }
  void TearDown() override {
    for (auto& [s, t] : others) {
      tnRelease3DScene(s, t);
      tnDeleteTin3DDraw(s, t);
    }
    tnRelease3DScene(scene, state);
    tnDeleteTin3DDraw(scene, state);
  }
  void Bind(void* s, void* t, int width = 64, int height = 48) {
    windows.emplace_back();
    TnNativeWindow& window = windows.back();
    window.kind = TN_WINDOW_HEADLESS;
    window.width = width;
    window.height = height;
    ASSERT_EQ(tnInitial3DScene(s, t, &window), TN_OK);
  }
  void Bind() { Bind(scene, state); }
  // A second scene, deleted with the fixture.
  std::pair<void*, void*> Another() {
    void* s = nullptr;
    void* t = nullptr;
    EXPECT_EQ(tnCreateTin3DDraw(&s, &t), TN_OK);
    others.emplace_back(s, t);
    return {s, t};
  }
  // Makes the scene's window context current, for reading its GL state.
  static void Current(void* s, void* t) { ASSERT_TRUE(SceneOf(s).MakeWindowCurrent(StateOf(t))); }

  void* scene = nullptr;
  void* state = nullptr;
  std::deque<TnNativeWindow> windows;
  std::vector<std::pair<void*, void*>> others;
};

// ---- Defaults --------------------------------------------------------------------------------

TEST_F(SettingsTest, DefaultsReadBackAfterBinding) {
  Bind();
  int value = -1;
  ASSERT_EQ(GetDrawMode(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(GetDispMethod(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(GetSurfaceDispMode(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(GetLightFlag(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(GetMaterialFlag(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(GetFogFlag(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(GetSkyFlag(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 0);

  float f = -1, g = -1;
  ASSERT_EQ(GetReduceLineCeff(scene, state, &f), TN_OK);
  EXPECT_FLOAT_EQ(f, 1.25f);
  ASSERT_EQ(GetFogDensity(scene, state, &f), TN_OK);
  EXPECT_FLOAT_EQ(f, 0.6f);
  ASSERT_EQ(GetLightDir_TiltAngle(scene, state, &f, &g), TN_OK);
  EXPECT_FLOAT_EQ(f, 25.0f);
  EXPECT_FLOAT_EQ(g, 70.0f);

  short shininess = -1, mode = -1;
  ASSERT_EQ(GetMaterial_Shininess_MatMode(scene, state, &shininess, &mode), TN_OK);
  EXPECT_EQ(shininess, 0);
  EXPECT_EQ(mode, 4);  // GL_AMBIENT_AND_DIFFUSE

  // Colours come back as trunc(component x 255).
  const Rgb expected[] = {{127, 127, 127}, {127, 127, 127}, {255, 255, 255}, {51, 127, 51},
                          {51, 204, 51},   {0, 0, 0},       {0, 0, 0},       {0, 127, 0},
                          {214, 221, 255}, {203, 203, 254}};
  static_assert(std::size(expected) == std::size(kColourPairs));
  for (size_t i = 0; i < std::size(kColourPairs); ++i)
    ExpectRgb(ReadBack(kColourPairs[i], scene, state), expected[i].r, expected[i].g,
              expected[i].b, kColourPairs[i].name);
}

// ---- Colours ---------------------------------------------------------------------------------

TEST_F(SettingsTest, ColourComponentsAreLimitedTo0To255) {
  Bind();
  for (const ColourPair& pair : kColourPairs) {
    float* field = pair.field(StateOf(state));
    if (pair.hasAlpha) field[3] = 0.25f;  // the fourth component is not the host's to set
    ASSERT_EQ(pair.set(scene, state, -5, 300, 128), TN_OK) << pair.name;
    EXPECT_FLOAT_EQ(field[0], 0.0f) << pair.name;
    EXPECT_FLOAT_EQ(field[1], 1.0f) << pair.name;
    EXPECT_FLOAT_EQ(field[2], float(128 / 255.0)) << pair.name;
    if (pair.hasAlpha) {
      EXPECT_FLOAT_EQ(field[3], 0.25f) << pair.name;
    }
    ExpectRgb(ReadBack(pair, scene, state), 0, 255, 128, pair.name);

    // The limits themselves are kept; the extremes of a short are limited too.
    ASSERT_EQ(pair.set(scene, state, 0, 255, SHRT_MIN), TN_OK);
    ExpectRgb(ReadBack(pair, scene, state), 0, 255, 0, pair.name);
    ASSERT_EQ(pair.set(scene, state, SHRT_MAX, 1, 254), TN_OK);
    ExpectRgb(ReadBack(pair, scene, state), 255, 1, 254, pair.name);
  }
}

TEST_F(SettingsTest, EveryComponentValueSurvivesARoundTrip) {
  // Before binding, so that this exercises only the stored values.
  for (const ColourPair& pair : kColourPairs) {
    for (short v = 0; v <= 255; ++v) {
      ASSERT_EQ(pair.set(scene, state, v, short(255 - v), short((v * 7) % 256)), TN_OK);
      const Rgb c = ReadBack(pair, scene, state);
      ASSERT_EQ(c.r, v) << pair.name;
      ASSERT_EQ(c.g, 255 - v) << pair.name;
      ASSERT_EQ(c.b, (v * 7) % 256) << pair.name;
    }
  }
}

TEST_F(SettingsTest, ColourGettersSkipNullOutputs) {
  for (const ColourPair& pair : kColourPairs) {
    ASSERT_EQ(pair.set(scene, state, 10, 20, 30), TN_OK);
    short r = -1, b = -1;
    EXPECT_EQ(pair.get(scene, state, &r, nullptr, &b), TN_OK) << pair.name;
    EXPECT_EQ(r, 10) << pair.name;
    EXPECT_EQ(b, 30) << pair.name;
    EXPECT_EQ(pair.get(scene, state, nullptr, nullptr, nullptr), TN_OK) << pair.name;
  }
}

// ---- Clamped values --------------------------------------------------------------------------

TEST_F(SettingsTest, FloatSettingsAreClampedAndLimitsKept) {
  struct Case {
    float in, out;
  };
  float f = 0, g = 0;
  for (const Case& c : {Case{0.0f, 0.001f}, Case{-3.0f, 0.001f}, Case{0.001f, 0.001f},
                        Case{2.5f, 2.5f}, Case{1000.0f, 1000.0f}, Case{5000.0f, 1000.0f}}) {
    ASSERT_EQ(SetReduceLineCeff(scene, state, c.in), TN_OK);
    ASSERT_EQ(GetReduceLineCeff(scene, state, &f), TN_OK);
    EXPECT_FLOAT_EQ(f, c.out) << "reduce-line coefficient " << c.in;
  }
  for (const Case& c : {Case{1.5f, 1.0f}, Case{-0.1f, 0.0f}, Case{0.0f, 0.0f}, Case{1.0f, 1.0f},
                        Case{0.3f, 0.3f}}) {
    ASSERT_EQ(SetFogDensity(scene, state, c.in), TN_OK);
    ASSERT_EQ(GetFogDensity(scene, state, &f), TN_OK);
    EXPECT_FLOAT_EQ(f, c.out) << "fog density " << c.in;
  }
  struct Direction {
    float azimuth, tilt, azimuthOut, tiltOut;
  };
  for (const Direction& d : {Direction{-10, -5, 0, 0}, Direction{0, 0, 0, 0},
                             Direction{360, 90, 360, 90}, Direction{400, 100, 360, 90},
                             Direction{123.5f, 45.25f, 123.5f, 45.25f}}) {
    ASSERT_EQ(SetLightDir_TiltAngle(scene, state, d.azimuth, d.tilt), TN_OK);
    ASSERT_EQ(GetLightDir_TiltAngle(scene, state, &f, &g), TN_OK);
    EXPECT_FLOAT_EQ(f, d.azimuthOut) << "azimuth " << d.azimuth;
    EXPECT_FLOAT_EQ(g, d.tiltOut) << "tilt " << d.tilt;
  }
}

TEST_F(SettingsTest, NotANumberBecomesTheLowerLimit) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  float f = -1, g = -1;
  ASSERT_EQ(SetFogDensity(scene, state, nan), TN_OK);
  ASSERT_EQ(GetFogDensity(scene, state, &f), TN_OK);
  EXPECT_EQ(f, 0.0f);
  ASSERT_EQ(SetReduceLineCeff(scene, state, nan), TN_OK);
  ASSERT_EQ(GetReduceLineCeff(scene, state, &f), TN_OK);
  EXPECT_EQ(f, 0.001f);
  ASSERT_EQ(SetLightDir_TiltAngle(scene, state, nan, nan), TN_OK);
  ASSERT_EQ(GetLightDir_TiltAngle(scene, state, &f, &g), TN_OK);
  EXPECT_EQ(f, 0.0f);
  EXPECT_EQ(g, 0.0f);
}

TEST_F(SettingsTest, ShininessAndColourMaterialModeAreLimited) {
  struct Case {
    short shininess, mode, shininessOut, modeOut;
    GLenum glMode;
  };
  const Case cases[] = {{200, 9, 128, 4, GL_AMBIENT_AND_DIFFUSE},
                        {-1, -3, 0, 0, GL_AMBIENT},
                        {128, 4, 128, 4, GL_AMBIENT_AND_DIFFUSE},
                        {0, 0, 0, 0, GL_AMBIENT},
                        {37, 1, 37, 1, GL_DIFFUSE},
                        {64, 2, 64, 2, GL_SPECULAR},
                        {127, 3, 127, 3, GL_EMISSION}};
  for (const Case& c : cases) {
    ASSERT_EQ(SetMaterial_Shininess_MatMode(scene, state, c.shininess, c.mode), TN_OK);
    EXPECT_EQ(StateOf(state).colorMaterialMode, c.glMode) << c.mode;
    short shininess = -1, mode = -1;
    ASSERT_EQ(GetMaterial_Shininess_MatMode(scene, state, &shininess, &mode), TN_OK);
    EXPECT_EQ(shininess, c.shininessOut) << c.shininess;
    EXPECT_EQ(mode, c.modeOut) << c.mode;
  }
  // A stored mode that is none of the five leaves the mode output alone.
  StateOf(state).colorMaterialMode = GL_FRONT;
  short shininess = -1, mode = 77;
  ASSERT_EQ(GetMaterial_Shininess_MatMode(scene, state, &shininess, &mode), TN_OK);
  EXPECT_EQ(shininess, 127);
  EXPECT_EQ(mode, 77);
}

TEST_F(SettingsTest, DrawQualityIsLimitedTo0To2) {
  struct Case {
    int in, out;
  };
  for (const Case& c : {Case{-1, 0}, Case{0, 0}, Case{1, 1}, Case{2, 2}, Case{3, 2},
                        Case{INT_MAX, 2}, Case{INT_MIN, 0}}) {
    ASSERT_EQ(SetDrawQuality(scene, state, c.in), TN_OK);
    int quality = -1;
    ASSERT_EQ(GetDrawQuality(scene, state, &quality), TN_OK);
    EXPECT_EQ(quality, c.out) << c.in;
  }
}

TEST_F(SettingsTest, ModesAndSwitchesAreStoredUnchanged) {
  struct Pair {
    const char* name;
    int(TN_CALL* set)(void*, void*, int);
    int(TN_CALL* get)(void*, void*, int*);
  };
  const Pair pairs[] = {{"draw mode", SetDrawMode, GetDrawMode},
                        {"light", SetLightFlag, GetLightFlag},
                        {"material", SetMaterialFlag, GetMaterialFlag},
                        {"fog", SetFogFlag, GetFogFlag},
                        {"sky", SetSkyFlag, GetSkyFlag},
                        {"display method", SetDispMethod, GetDispMethod}};
  for (const Pair& p : pairs) {
    for (int v : {1, 0, 7, -2}) {
      ASSERT_EQ(p.set(scene, state, v), TN_OK) << p.name;
      int out = 12345;
      ASSERT_EQ(p.get(scene, state, &out), TN_OK) << p.name;
      EXPECT_EQ(out, v) << p.name;
    }
  }
}

// ---- Surface display mode --------------------------------------------------------------------

TEST_F(SettingsTest, TextureModeTurnsLightingOffAndLowersQuality) {
  Bind();
  int value = -1;
  ASSERT_EQ(SetDrawQuality(scene, state, 2), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 0), TN_OK);
  ASSERT_EQ(GetSurfaceDispMode(scene, state, &value), TN_OK);
  EXPECT_EQ(value, 0);
  GetLightFlag(scene, state, &value);
  EXPECT_EQ(value, 0);
  GetMaterialFlag(scene, state, &value);
  EXPECT_EQ(value, 0);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 1);

  // Setting the same mode again does not lower the quality a second time.
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 0), TN_OK);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 1);

  // Back to height colours: switches on, and the quality saved at the switch, not the one set
  // meanwhile.
  ASSERT_EQ(SetDrawQuality(scene, state, 0), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 1), TN_OK);
  GetLightFlag(scene, state, &value);
  EXPECT_EQ(value, 1);
  GetMaterialFlag(scene, state, &value);
  EXPECT_EQ(value, 1);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 2);
}

TEST_F(SettingsTest, TextureModeKeepsQualityZeroAtZero) {
  int value = -1;
  ASSERT_EQ(SetDrawQuality(scene, state, 0), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 0), TN_OK);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(SetDrawQuality(scene, state, 2), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 1), TN_OK);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 0);
}

TEST_F(SettingsTest, SameOrOtherSurfaceModesLeaveTheSwitchesAlone) {
  Bind();
  int value = -1;
  // Already 1: switches the host turned off stay off, the quality stays.
  ASSERT_EQ(SetLightFlag(scene, state, 0), TN_OK);
  ASSERT_EQ(SetMaterialFlag(scene, state, 0), TN_OK);
  ASSERT_EQ(SetDrawQuality(scene, state, 1), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 1), TN_OK);
  GetLightFlag(scene, state, &value);
  EXPECT_EQ(value, 0);
  GetMaterialFlag(scene, state, &value);
  EXPECT_EQ(value, 0);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 1);

  // Any other mode is only stored.
  ASSERT_EQ(SetLightFlag(scene, state, 1), TN_OK);
  ASSERT_EQ(SetSurfaceDispMode(scene, state, 5), TN_OK);
  GetSurfaceDispMode(scene, state, &value);
  EXPECT_EQ(value, 5);
  GetLightFlag(scene, state, &value);
  EXPECT_EQ(value, 1);
  GetMaterialFlag(scene, state, &value);
  EXPECT_EQ(value, 0);
  GetDrawQuality(scene, state, &value);
  EXPECT_EQ(value, 1);
}

// ---- Sky -------------------------------------------------------------------------------------

TEST_F(SettingsTest, SkyOffDeletesOnlyTheWindowSkyTexture) {
  Bind();
  Current(scene, state);
  GLuint names[3] = {};
  glGenTextures(3, names);
  for (GLuint name : names) glBindTexture(GL_TEXTURE_2D, name);  // names become textures
  glBindTexture(GL_TEXTURE_2D, 0);
  SceneObject& object = SceneOf(scene);
  object.textureIds[t3d::kTextureSky][t3d::kWindowContext] = names[0];
  object.textureIds[t3d::kTextureSky][t3d::kOffscreenContext] = names[1];
  object.textureIds[t3d::kTextureTerrain][t3d::kWindowContext] = names[2];

  // Switching the sky on, or to another non-zero value, deletes nothing.
  ASSERT_EQ(SetSkyFlag(scene, state, 1), TN_OK);
  ASSERT_EQ(SetSkyFlag(scene, state, 3), TN_OK);
  Current(scene, state);
  EXPECT_TRUE(glIsTexture(names[0]));
  EXPECT_EQ(object.textureIds[t3d::kTextureSky][t3d::kWindowContext], names[0]);

  ASSERT_EQ(SetSkyFlag(scene, state, 0), TN_OK);
  int flag = -1;
  ASSERT_EQ(GetSkyFlag(scene, state, &flag), TN_OK);
  EXPECT_EQ(flag, 0);
  Current(scene, state);
  EXPECT_FALSE(glIsTexture(names[0]));
  EXPECT_EQ(object.textureIds[t3d::kTextureSky][t3d::kWindowContext], 0u);
  EXPECT_TRUE(glIsTexture(names[1]));
  EXPECT_EQ(object.textureIds[t3d::kTextureSky][t3d::kOffscreenContext], names[1]);
  EXPECT_TRUE(glIsTexture(names[2]));
  EXPECT_EQ(object.textureIds[t3d::kTextureTerrain][t3d::kWindowContext], names[2]);

  // A name that is no texture is only cleared.
  object.textureIds[t3d::kTextureSky][t3d::kWindowContext] = 4242;
  ASSERT_EQ(SetSkyFlag(scene, state, 0), TN_OK);
  EXPECT_EQ(object.textureIds[t3d::kTextureSky][t3d::kWindowContext], 0u);
  Current(scene, state);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  glDeleteTextures(1, &names[1]);
  object.textureIds[t3d::kTextureSky][t3d::kOffscreenContext] = 0;
}

// ---- Light direction -------------------------------------------------------------------------

TEST_F(SettingsTest, LightDirectionPlacesTheLightAroundTheTerrainCentre) {
  Bind();
  SceneState& s = StateOf(state);
  // In scene units the centre is (5, 10, 1) and the corner (8, 14, 1): a radius of 5.
  s.sceneRadius = 2;
  s.terrainCentre[0] = 10;
  s.terrainCentre[1] = 20;
  s.terrainCentre[2] = 2;
  s.xMax = 16;
  s.yMax = 28;
  s.zMax = 2;

  struct Case {
    float azimuth, tilt, x, y, z;
  };
  const double c30 = std::cos(M_PI / 6), s45 = std::sin(M_PI / 4);
  const Case cases[] = {
      {0, 0, 5, 15, 1},                                                      // towards +Y
      {90, 0, 10, 10, 1},                                                    // towards +X
      {45, 30, float(5 + s45 * c30 * 5), float(10 + s45 * c30 * 5), 3.5f},  // sin 30 = 0.5
      {400, 100, 5, 10, 6},  // limited to 360 and 90: straight above
      {123, 90, 5, 10, 6},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SetLightDir_TiltAngle(scene, state, c.azimuth, c.tilt), TN_OK);
    EXPECT_NEAR(s.lightPosition[0], c.x, 1e-5) << c.azimuth << " " << c.tilt;
    EXPECT_NEAR(s.lightPosition[1], c.y, 1e-5) << c.azimuth << " " << c.tilt;
    EXPECT_NEAR(s.lightPosition[2], c.z, 1e-5) << c.azimuth << " " << c.tilt;
    EXPECT_EQ(s.lightPosition[3], 1.0f);
  }
}

// ---- GL state --------------------------------------------------------------------------------

TEST_F(SettingsTest, BoundSettersReachGL) {
  Bind();
  GLfloat v[4] = {};

  ASSERT_EQ(SetLight_Ambient(scene, state, 255, 0, 51), TN_OK);
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
  ExpectGl4(v, 1, 0, 0.2f, 1, "light ambient");
  ASSERT_EQ(SetLight_Diffuse(scene, state, 0, 255, 102), TN_OK);
  glGetLightfv(GL_LIGHT0, GL_DIFFUSE, v);
  ExpectGl4(v, 0, 1, 0.4f, 1, "light diffuse");
  ASSERT_EQ(SetLight_Specular(scene, state, 51, 102, 300), TN_OK);
  glGetLightfv(GL_LIGHT0, GL_SPECULAR, v);
  ExpectGl4(v, 0.2f, 0.4f, 1, 1, "light specular");

  // Material colours go to both faces. The front ambient and diffuse follow the vertex colours
  // (colour material), so the back face shows what was set.
  ASSERT_EQ(SetMaterial_Ambient(scene, state, 255, 0, 0), TN_OK);
  glGetMaterialfv(GL_BACK, GL_AMBIENT, v);
  ExpectGl4(v, 1, 0, 0, 1, "material ambient");
  ASSERT_EQ(SetMaterial_Diffuse(scene, state, 0, 0, 255), TN_OK);
  glGetMaterialfv(GL_BACK, GL_DIFFUSE, v);
  ExpectGl4(v, 0, 0, 1, 1, "material diffuse");
  ASSERT_EQ(SetMaterial_Specular(scene, state, 51, 51, 51), TN_OK);
  for (GLenum face : {GL_FRONT, GL_BACK}) {
    glGetMaterialfv(face, GL_SPECULAR, v);
    ExpectGl4(v, 0.2f, 0.2f, 0.2f, 1, "material specular");
  }
  ASSERT_EQ(SetMaterial_Emission(scene, state, 0, 102, 0), TN_OK);
  for (GLenum face : {GL_FRONT, GL_BACK}) {
    glGetMaterialfv(face, GL_EMISSION, v);
    ExpectGl4(v, 0, 0.4f, 0, 1, "material emission");
  }

  ASSERT_EQ(SetFogColor(scene, state, 255, 51, -1), TN_OK);
  glGetFloatv(GL_FOG_COLOR, v);
  ExpectGl4(v, 1, 0.2f, 0, 1, "fog colour");
  ASSERT_EQ(SetFogDensity(scene, state, 1.5f), TN_OK);
  glGetFloatv(GL_FOG_DENSITY, v);
  EXPECT_FLOAT_EQ(v[0], 1.0f);
  ASSERT_EQ(SetFogDensity(scene, state, 0.25f), TN_OK);
  glGetFloatv(GL_FOG_DENSITY, v);
  EXPECT_FLOAT_EQ(v[0], 0.25f);

  GLint mode = 0, face = 0;
  ASSERT_EQ(SetMaterial_Shininess_MatMode(scene, state, 10, 2), TN_OK);
  glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &mode);
  glGetIntegerv(GL_COLOR_MATERIAL_FACE, &face);
  EXPECT_EQ(mode, GL_SPECULAR);
  EXPECT_EQ(face, GL_FRONT);
  GLfloat shininess = 0;
  glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
  EXPECT_FLOAT_EQ(shininess, 10.0f);
  ASSERT_EQ(SetMaterial_Shininess_MatMode(scene, state, 10, 99), TN_OK);
  glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &mode);
  EXPECT_EQ(mode, GL_AMBIENT_AND_DIFFUSE);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SettingsTest, SettersUseTheirOwnContextWhenAnotherIsCurrent) {
  Bind();
  auto [scene2, state2] = Another();
  Bind(scene2, state2);  // the second scene's context is current now
  ASSERT_EQ(SetFogDensity(scene, state, 0.25f), TN_OK);
  ASSERT_EQ(SetLight_Ambient(scene, state, 0, 0, 255), TN_OK);

  GLfloat v[4] = {};
  Current(scene, state);
  glGetFloatv(GL_FOG_DENSITY, v);
  EXPECT_FLOAT_EQ(v[0], 0.25f);
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
  ExpectGl4(v, 0, 0, 1, 1, "first scene's light");
  Current(scene2, state2);
  glGetFloatv(GL_FOG_DENSITY, v);
  EXPECT_FLOAT_EQ(v[0], 0.6f);
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
  ExpectGl4(v, 0.5f, 0.5f, 0.5f, 1, "second scene's light");
}

TEST_F(SettingsTest, DisplayMethodSetsTheProjectionOfTheClientSize) {
  Bind();
  windows.back().width = 40;
  windows.back().height = 30;
  SceneOf(scene).clientRect.right = 40;
  SceneOf(scene).clientRect.bottom = 30;
  Current(scene, state);
  glViewport(0, 0, 1, 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);

  ASSERT_EQ(SetDispMethod(scene, state, 0), TN_OK);
  int method = -1;
  ASSERT_EQ(GetDispMethod(scene, state, &method), TN_OK);
  EXPECT_EQ(method, 0);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 40);
  EXPECT_EQ(viewport[3], 30);
  GLfloat projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_FLOAT_EQ(projection[11], -1.0f);  // a perspective projection
  EXPECT_NEAR(projection[0] * 40.0 / 30.0, projection[5], 1e-5);  // of aspect 40 : 30
}

// ---- Unbound scenes --------------------------------------------------------------------------

// Every setter of a value that lives in GL state, with values unlike the defaults.
void SetEverythingOnce(void* scene, void* state) {
  EXPECT_EQ(SetLight_Ambient(scene, state, 1, 2, 3), TN_OK);
  EXPECT_EQ(SetLight_Diffuse(scene, state, 4, 5, 6), TN_OK);
  EXPECT_EQ(SetLight_Specular(scene, state, 7, 8, 9), TN_OK);
  EXPECT_EQ(SetMaterial_Ambient(scene, state, 10, 11, 12), TN_OK);
  EXPECT_EQ(SetMaterial_Diffuse(scene, state, 13, 14, 15), TN_OK);
  EXPECT_EQ(SetMaterial_Specular(scene, state, 16, 17, 18), TN_OK);
  EXPECT_EQ(SetMaterial_Emission(scene, state, 19, 20, 21), TN_OK);
  EXPECT_EQ(SetMaterial_Shininess_MatMode(scene, state, 99, 3), TN_OK);
  EXPECT_EQ(SetFogColor(scene, state, 22, 23, 24), TN_OK);
  EXPECT_EQ(SetFogDensity(scene, state, 0.125f), TN_OK);
  EXPECT_EQ(SetDispMethod(scene, state, 0), TN_OK);
  EXPECT_EQ(SetSkyFlag(scene, state, 0), TN_OK);
  EXPECT_EQ(SetLightDir_TiltAngle(scene, state, 10, 20), TN_OK);
}

void ExpectEverythingStored(void* scene, void* state) {
  short r = 0, g = 0, b = 0;
  GetLight_Specular(scene, state, &r, &g, &b);
  ExpectRgb({r, g, b}, 7, 8, 9, "light specular");
  GetMaterial_Emission(scene, state, &r, &g, &b);
  ExpectRgb({r, g, b}, 19, 20, 21, "material emission");
  GetFogColor(scene, state, &r, &g, &b);
  ExpectRgb({r, g, b}, 22, 23, 24, "fog colour");
  GetMaterial_Shininess_MatMode(scene, state, &r, &g);
  EXPECT_EQ(r, 99);
  EXPECT_EQ(g, 3);
  float density = 0;
  GetFogDensity(scene, state, &density);
  EXPECT_FLOAT_EQ(density, 0.125f);
  int method = -1;
  GetDispMethod(scene, state, &method);
  EXPECT_EQ(method, 0);
}

// The GL state a bound scene's setters change, read on the current context.
struct GlSnapshot {
  GLfloat light[3][4], material[4][4], fogColour[4], fogDensity;
  GLint colourMaterial;
  GLint viewport[4];

  static GlSnapshot Take() {
    GlSnapshot s{};
    const GLenum lights[3] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR};
    for (int i = 0; i < 3; ++i) glGetLightfv(GL_LIGHT0, lights[i], s.light[i]);
    const GLenum materials[4] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION};
    for (int i = 0; i < 4; ++i) glGetMaterialfv(GL_BACK, materials[i], s.material[i]);
    glGetFloatv(GL_FOG_COLOR, s.fogColour);
    glGetFloatv(GL_FOG_DENSITY, &s.fogDensity);
    glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &s.colourMaterial);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    return s;
  }
};

void ExpectSameGl(const GlSnapshot& a, const GlSnapshot& b) {
  EXPECT_EQ(std::memcmp(a.light, b.light, sizeof a.light), 0) << "light colours";
  EXPECT_EQ(std::memcmp(a.material, b.material, sizeof a.material), 0) << "material colours";
  EXPECT_EQ(std::memcmp(a.fogColour, b.fogColour, sizeof a.fogColour), 0) << "fog colour";
  EXPECT_EQ(a.fogDensity, b.fogDensity);
  EXPECT_EQ(a.colourMaterial, b.colourMaterial);
  EXPECT_EQ(std::memcmp(a.viewport, b.viewport, sizeof a.viewport), 0) << "viewport";
}

TEST_F(SettingsTest, BeforeBindingSettersStoreAndMakeNoGLCalls) {
  // A bound scene's context is current; an unbound scene's setters must leave it untouched.
  auto [bound, boundState] = Another();
  Bind(bound, boundState);
  Current(bound, boundState);
  GLuint sky = 0;
  glGenTextures(1, &sky);
  glBindTexture(GL_TEXTURE_2D, sky);
  glBindTexture(GL_TEXTURE_2D, 0);
  const GlSnapshot before = GlSnapshot::Take();

  // The unbound scene holds a stale sky texture name that happens to name the bound one's.
  SceneOf(scene).textureIds[t3d::kTextureSky][t3d::kWindowContext] = sky;
  SetEverythingOnce(scene, state);
  ExpectEverythingStored(scene, state);
  EXPECT_EQ(SceneOf(scene).textureIds[t3d::kTextureSky][t3d::kWindowContext], 0u);

  ExpectSameGl(before, GlSnapshot::Take());
  EXPECT_TRUE(glIsTexture(sky));
  glDeleteTextures(1, &sky);

  // Binding sets every default again.
  Bind();
  short r = 0, g = 0, b = 0;
  GetLight_Specular(scene, state, &r, &g, &b);
  ExpectRgb({r, g, b}, 255, 255, 255, "light specular");
  float density = 0;
  GetFogDensity(scene, state, &density);
  EXPECT_FLOAT_EQ(density, 0.6f);
}

TEST_F(SettingsTest, AfterReleaseSettingsSurviveAndSettersMakeNoGLCalls) {
  Bind();
  ASSERT_EQ(SetLight_Ambient(scene, state, 0, 255, 0), TN_OK);
  ASSERT_EQ(tnRelease3DScene(scene, state), TN_OK);
  short r = 0, g = 0, b = 0;
  GetLight_Ambient(scene, state, &r, &g, &b);
  ExpectRgb({r, g, b}, 0, 255, 0, "light ambient after release");

  auto [bound, boundState] = Another();
  Bind(bound, boundState);
  Current(bound, boundState);
  const GlSnapshot before = GlSnapshot::Take();
  SetEverythingOnce(scene, state);
  ExpectEverythingStored(scene, state);
  ExpectSameGl(before, GlSnapshot::Take());
}

// ---- Handles and outputs ---------------------------------------------------------------------

TEST_F(SettingsTest, NullHandlesFailAndWriteNothing) {
  void* fakeState = reinterpret_cast<void*>(0x10);  // never dereferenced: the scene is checked
  for (auto [s, t] : {std::pair<void*, void*>{nullptr, fakeState},
                      std::pair<void*, void*>{scene, nullptr}}) {
    int i = 7;
    short r = 7, g = 7, b = 7;
    float f = 7, f2 = 7;
    for (const ColourPair& pair : kColourPairs) {
      EXPECT_EQ(pair.set(s, t, 1, 2, 3), TN_E_FAIL) << pair.name;
      EXPECT_EQ(pair.get(s, t, &r, &g, &b), TN_E_FAIL) << pair.name;
    }
    EXPECT_EQ(SetDrawMode(s, t, 1), TN_E_FAIL);
    EXPECT_EQ(GetDrawMode(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetDrawQuality(s, t, 1), TN_E_FAIL);
    EXPECT_EQ(SetSurfaceDispMode(s, t, 0), TN_E_FAIL);
    EXPECT_EQ(GetSurfaceDispMode(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetDispMethod(s, t, 0), TN_E_FAIL);
    EXPECT_EQ(GetDispMethod(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetLightFlag(s, t, 0), TN_E_FAIL);
    EXPECT_EQ(GetLightFlag(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetMaterialFlag(s, t, 0), TN_E_FAIL);
    EXPECT_EQ(GetMaterialFlag(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetFogFlag(s, t, 1), TN_E_FAIL);
    EXPECT_EQ(GetFogFlag(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetSkyFlag(s, t, 0), TN_E_FAIL);
    EXPECT_EQ(GetSkyFlag(s, t, &i), TN_E_FAIL);
    EXPECT_EQ(SetReduceLineCeff(s, t, 2), TN_E_FAIL);
    EXPECT_EQ(GetReduceLineCeff(s, t, &f), TN_E_FAIL);
    EXPECT_EQ(SetFogDensity(s, t, 0.5f), TN_E_FAIL);
    EXPECT_EQ(GetFogDensity(s, t, &f), TN_E_FAIL);
    EXPECT_EQ(SetMaterial_Shininess_MatMode(s, t, 5, 1), TN_E_FAIL);
    EXPECT_EQ(GetMaterial_Shininess_MatMode(s, t, &r, &g), TN_E_FAIL);
    EXPECT_EQ(SetLightDir_TiltAngle(s, t, 1, 2), TN_E_FAIL);
    EXPECT_EQ(GetLightDir_TiltAngle(s, t, &f, &f2), TN_E_FAIL);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(r, 7);
    EXPECT_EQ(g, 7);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(f, 7);
    EXPECT_EQ(f2, 7);
  }
}

TEST_F(SettingsTest, GettersAcceptNullOutputs) {
  Bind();
  EXPECT_EQ(GetDrawMode(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetDrawQuality(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetSurfaceDispMode(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetDispMethod(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetLightFlag(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetMaterialFlag(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetFogFlag(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetSkyFlag(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetReduceLineCeff(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetFogDensity(scene, state, nullptr), TN_OK);
  EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, nullptr, nullptr), TN_OK);
  float tilt = -1;
  EXPECT_EQ(GetLightDir_TiltAngle(scene, state, nullptr, &tilt), TN_OK);
  EXPECT_FLOAT_EQ(tilt, 70.0f);
  short mode = -1;
  EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, nullptr, &mode), TN_OK);
  EXPECT_EQ(mode, 4);
}

}  // namespace

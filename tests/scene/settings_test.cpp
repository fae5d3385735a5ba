// Render settings through the exported Set and Get pairs: defaults after binding, clamping,
// colour round trips, the surface display mode rules, the sky texture, the light direction, and
// the GL state the setters reach (only on the scene's own context, and only once it is bound).
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <deque>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace {

using t3d::SceneObject;
using t3d::SceneState;

SceneObject& SceneOf(void* scene) { return *static_cast<SceneObject*>(scene); }
SceneState& StateOf(void* state) { return *static_cast<SceneState*>(state); }

const float kNaN = std::numeric_limits<float>::quiet_NaN();

using Rgb = std::array<short, 3>;

// Where a colour lands in GL once the scene is bound.
enum class GlColour { kNone, kLight, kMaterial, kFog };

struct ColourPair {
  const char* name;
  int(TN_CALL* set)(void*, void*, short, short, short);
  int(TN_CALL* get)(void*, void*, short*, short*, short*);
  float* (*field)(SceneState&);
  bool hasAlpha;
  Rgb byDefault;  // after binding: trunc(component x 255)
  GlColour gl;
  GLenum parameter;
};

// name, the Set/Get suffix, the state field, whether it has a fourth component, its default and
// where it lands in GL.
#define COLOUR(name, Fn, field, alpha, r, g, b, gl, parameter)                                 \
  {                                                                                            \
    name, Set##Fn, Get##Fn, [](SceneState& s) -> float* { return s.field; }, alpha, {r, g, b}, \
        GlColour::gl, parameter                                                                \
  }
const ColourPair kColourPairs[] = {
    COLOUR("light ambient", Light_Ambient, lightAmbient, true, 127, 127, 127, kLight, GL_AMBIENT),
    COLOUR("light diffuse", Light_Diffuse, lightDiffuse, true, 127, 127, 127, kLight, GL_DIFFUSE),
    COLOUR("light specular", Light_Specular, lightSpecular, true, 255, 255, 255, kLight,
           GL_SPECULAR),
    COLOUR("material ambient", Material_Ambient, materialAmbient, true, 51, 127, 51, kMaterial,
           GL_AMBIENT),
    COLOUR("material diffuse", Material_Diffuse, materialDiffuse, true, 51, 204, 51, kMaterial,
           GL_DIFFUSE),
    COLOUR("material specular", Material_Specular, materialSpecular, true, 0, 0, 0, kMaterial,
           GL_SPECULAR),
    COLOUR("material emission", Material_Emission, materialEmission, true, 0, 0, 0, kMaterial,
           GL_EMISSION),
    COLOUR("line", LineColor, lineColor, false, 0, 127, 0, kNone, 0),
    COLOUR("background", BackColor, backColor, false, 214, 221, 255, kNone, 0),
    COLOUR("fog", FogColor, fogColor, true, 203, 203, 254, kFog, GL_FOG_COLOR),
};
#undef COLOUR

struct IntPair {
  const char* name;
  int(TN_CALL* set)(void*, void*, int);
  int(TN_CALL* get)(void*, void*, int*);
  int byDefault;  // after binding; INT_MIN: none is set
};

const IntPair kIntPairs[] = {
    {"draw mode", SetDrawMode, GetDrawMode, 0},
    {"draw quality", SetDrawQuality, GetDrawQuality, INT_MIN},
    {"surface mode", SetSurfaceDispMode, GetSurfaceDispMode, 1},
    {"display method", SetDispMethod, GetDispMethod, 1},
    {"light", SetLightFlag, GetLightFlag, 1},
    {"material", SetMaterialFlag, GetMaterialFlag, 1},
    {"fog", SetFogFlag, GetFogFlag, 0},
    {"sky", SetSkyFlag, GetSkyFlag, 0},
};

struct FloatPair {
  const char* name;
  int(TN_CALL* set)(void*, void*, float);
  int(TN_CALL* get)(void*, void*, float*);
};

const FloatPair kReduceLine{"reduce-line coefficient", SetReduceLineCeff, GetReduceLineCeff};
const FloatPair kFogDensity{"fog density", SetFogDensity, GetFogDensity};

Rgb ReadBack(const ColourPair& pair, void* scene, void* state) {
  Rgb c{-1, -1, -1};
  EXPECT_EQ(pair.get(scene, state, &c[0], &c[1], &c[2]), TN_OK) << pair.name;
  return c;
}

int IntOf(const IntPair& pair, void* scene, void* state) {
  int value = INT_MIN;
  EXPECT_EQ(pair.get(scene, state, &value), TN_OK) << pair.name;
  return value;
}

float FloatOf(const FloatPair& pair, void* scene, void* state) {
  float value = -1;
  EXPECT_EQ(pair.get(scene, state, &value), TN_OK) << pair.name;
  return value;
}

// Shininess and colour material mode; mode keeps its value when the getter leaves it alone.
std::array<short, 2> ShininessAndMode(void* scene, void* state, short mode = -1) {
  std::array<short, 2> v{-1, mode};
  EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, &v[0], &v[1]), TN_OK);
  return v;
}

std::array<float, 2> LightDirection(void* scene, void* state) {
  std::array<float, 2> v{-1, -1};
  EXPECT_EQ(GetLightDir_TiltAngle(scene, state, &v[0], &v[1]), TN_OK);
  return v;
}

void ExpectGl4(const GLfloat actual[4], float r, float g, float b, float a, const char* what) {
  const float expected[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-6) << what << " " << i;
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

// ---- Values ----------------------------------------------------------------------------------

TEST_F(SettingsTest, DefaultsReadBackAfterBinding) {
  Bind();
  for (const IntPair& pair : kIntPairs) {
    if (pair.byDefault == INT_MIN) continue;
    EXPECT_EQ(IntOf(pair, scene, state), pair.byDefault) << pair.name;
  }
  EXPECT_EQ(FloatOf(kReduceLine, scene, state), 1.25f);
  EXPECT_EQ(FloatOf(kFogDensity, scene, state), 0.6f);
  EXPECT_EQ(LightDirection(scene, state), (std::array<float, 2>{25, 70}));
  EXPECT_EQ(ShininessAndMode(scene, state), (std::array<short, 2>{0, 4}));  // GL_AMBIENT_AND_DIFFUSE
  for (const ColourPair& pair : kColourPairs)
    EXPECT_EQ(ReadBack(pair, scene, state), pair.byDefault) << pair.name;
}

TEST_F(SettingsTest, ColourComponentsAreLimitedAndEveryValueSurvivesARoundTrip) {
  Bind();
  for (const ColourPair& pair : kColourPairs) {
    SCOPED_TRACE(pair.name);
    float* field = pair.field(StateOf(state));
    if (pair.hasAlpha) field[3] = 0.25f;  // the fourth component is not the host's to set
    ASSERT_EQ(pair.set(scene, state, -5, 300, 128), TN_OK);
    EXPECT_FLOAT_EQ(field[0], 0.0f);
    EXPECT_FLOAT_EQ(field[1], 1.0f);
    EXPECT_FLOAT_EQ(field[2], float(128 / 255.0));
    if (pair.hasAlpha) {
      EXPECT_FLOAT_EQ(field[3], 0.25f);
    }
    EXPECT_EQ(ReadBack(pair, scene, state), (Rgb{0, 255, 128}));
    // The limits themselves are kept; the extremes of a short are limited too.
    ASSERT_EQ(pair.set(scene, state, 0, 255, SHRT_MIN), TN_OK);
    EXPECT_EQ(ReadBack(pair, scene, state), (Rgb{0, 255, 0}));
    ASSERT_EQ(pair.set(scene, state, SHRT_MAX, 1, 254), TN_OK);
    EXPECT_EQ(ReadBack(pair, scene, state), (Rgb{255, 1, 254}));
    // Every component value comes back as it was set, through the float the state keeps.
    for (short v = 0; v <= 255; ++v) {
      const Rgb c{v, short(255 - v), short((v * 7) % 256)};
      ASSERT_EQ(pair.set(scene, state, c[0], c[1], c[2]), TN_OK);
      ASSERT_EQ(ReadBack(pair, scene, state), c);
    }
  }
}

TEST_F(SettingsTest, NumbersAreClampedWithNotANumberAtTheLowerLimit) {
  struct Case {
    const FloatPair* pair;
    float in, out;
  };
  const Case cases[] = {
      {&kReduceLine, 0, 0.001f},    {&kReduceLine, -3, 0.001f}, {&kReduceLine, 0.001f, 0.001f},
      {&kReduceLine, 2.5f, 2.5f},   {&kReduceLine, 1000, 1000}, {&kReduceLine, 5000, 1000},
      {&kReduceLine, kNaN, 0.001f}, {&kFogDensity, 1.5f, 1},    {&kFogDensity, -0.1f, 0},
      {&kFogDensity, 0, 0},         {&kFogDensity, 1, 1},       {&kFogDensity, 0.3f, 0.3f},
      {&kFogDensity, kNaN, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.pair->set(scene, state, c.in), TN_OK);
    EXPECT_EQ(FloatOf(*c.pair, scene, state), c.out) << c.pair->name << " " << c.in;
  }
  struct Direction {
    float azimuth, tilt, azimuthOut, tiltOut;
  };
  for (const Direction& d :
       {Direction{-10, -5, 0, 0}, Direction{0, 0, 0, 0}, Direction{360, 90, 360, 90},
        Direction{400, 100, 360, 90}, Direction{123.5f, 45.25f, 123.5f, 45.25f},
        Direction{kNaN, kNaN, 0, 0}}) {
    ASSERT_EQ(SetLightDir_TiltAngle(scene, state, d.azimuth, d.tilt), TN_OK);
    EXPECT_EQ(LightDirection(scene, state), (std::array<float, 2>{d.azimuthOut, d.tiltOut}))
        << d.azimuth << " " << d.tilt;
  }

  const int qualities[][2] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {INT_MAX, 2}, {INT_MIN, 0}};
  for (const auto& q : qualities) {
    ASSERT_EQ(SetDrawQuality(scene, state, q[0]), TN_OK);
    EXPECT_EQ(IntOf(kIntPairs[1], scene, state), q[1]) << "draw quality " << q[0];
  }
  // The switches and modes without rules keep any value; each pair reaches its own field.
  const IntPair* plain[] = {&kIntPairs[0], &kIntPairs[3], &kIntPairs[4],
                            &kIntPairs[5], &kIntPairs[6], &kIntPairs[7]};
  const int values[] = {1, 0, 7, -2, 5, 3};
  for (size_t round = 0; round < std::size(values); ++round) {
    for (size_t i = 0; i < std::size(plain); ++i)
      ASSERT_EQ(plain[i]->set(scene, state, values[(round + i) % std::size(values)]), TN_OK);
    for (size_t i = 0; i < std::size(plain); ++i)
      EXPECT_EQ(IntOf(*plain[i], scene, state), values[(round + i) % std::size(values)])
          << plain[i]->name;
  }
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
    EXPECT_EQ(ShininessAndMode(scene, state), (std::array<short, 2>{c.shininessOut, c.modeOut}))
        << c.shininess << " " << c.mode;
  }
  // A stored mode that is none of the five leaves the mode output alone.
  StateOf(state).colorMaterialMode = GL_FRONT;
  EXPECT_EQ(ShininessAndMode(scene, state, 77), (std::array<short, 2>{127, 77}));
}

// ---- Surface display mode --------------------------------------------------------------------

TEST_F(SettingsTest, TextureModeTurnsLightingOffAndLowersQualityUntilHeightColoursReturn) {
  Bind();
  // Each step sets what is not -1 (light, material, quality, then the surface mode) and reads
  // back the surface mode, light, material and quality.
  struct Step {
    const char* what;
    int light, material, quality, mode;
    std::array<int, 4> after;
  };
  const Step steps[] = {
      {"texture: lighting off, quality lowered", -1, -1, 2, 0, {0, 0, 0, 1}},
      {"texture again: lowered once only", -1, -1, -1, 0, {0, 0, 0, 1}},
      {"height colours: switches on, the quality saved at the switch", -1, -1, 0, 1, {1, 1, 1, 2}},
      {"height colours again: the host's switches stay off", 0, 0, 1, 1, {1, 0, 0, 1}},
      {"any other mode is only stored", 1, -1, -1, 5, {5, 1, 0, 1}},
      {"texture at quality 0 stays at 0", -1, -1, 0, 0, {0, 0, 0, 0}},
      {"height colours restore 0", -1, -1, 2, 1, {1, 1, 1, 0}},
  };
  const int kRead[4] = {2, 4, 5, 1};  // surface mode, light, material, quality
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    // Setters with a valid handle never fail; the read-back is the check.
    if (step.light >= 0) SetLightFlag(scene, state, step.light);
    if (step.material >= 0) SetMaterialFlag(scene, state, step.material);
    if (step.quality >= 0) SetDrawQuality(scene, state, step.quality);
    SetSurfaceDispMode(scene, state, step.mode);
    std::array<int, 4> after{};
    for (int k = 0; k < 4; ++k) after[size_t(k)] = IntOf(kIntPairs[kRead[k]], scene, state);
    EXPECT_EQ(after, step.after);
  }
}

// ---- Sky and light ---------------------------------------------------------------------------

TEST_F(SettingsTest, SkyOffDeletesOnlyTheWindowSkyTexture) {
  Bind();
  Current(scene, state);
  GLuint names[3] = {};
  glGenTextures(3, names);
  for (GLuint name : names) glBindTexture(GL_TEXTURE_2D, name);  // names become textures
  glBindTexture(GL_TEXTURE_2D, 0);
  auto& ids = SceneOf(scene).textureIds;
  GLuint* const slots[3] = {&ids[t3d::kTextureSky][t3d::kWindowContext],
                            &ids[t3d::kTextureSky][t3d::kOffscreenContext],
                            &ids[t3d::kTextureTerrain][t3d::kWindowContext]};
  for (int i = 0; i < 3; ++i) *slots[i] = names[i];

  // Switching the sky on, or to another non-zero value, deletes nothing; off deletes only the
  // window's sky texture and clears its name.
  for (const int flag : {1, 3, 0}) {
    SCOPED_TRACE(flag);
    ASSERT_EQ(SetSkyFlag(scene, state, flag), TN_OK);
    Current(scene, state);
    for (int i = 0; i < 3; ++i) {
      const bool deleted = flag == 0 && i == 0;
      EXPECT_EQ(bool(glIsTexture(names[i])), !deleted) << i;
      EXPECT_EQ(*slots[i], deleted ? 0u : names[i]) << i;
    }
  }

  // A name that is no texture is only cleared.
  *slots[0] = 4242;
  ASSERT_EQ(SetSkyFlag(scene, state, 0), TN_OK);
  EXPECT_EQ(*slots[0], 0u);
  Current(scene, state);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  glDeleteTextures(1, &names[1]);
  *slots[1] = 0;
}

TEST_F(SettingsTest, LightDirectionPlacesTheLightAroundTheTerrainCentre) {
  Bind();
  SceneState& s = StateOf(state);
  // In scene units the centre is (5, 10, 1) and the corner (8, 14, 1): a radius of 5.
  s.sceneRadius = 2;
  const float centre[3] = {10, 20, 2};
  std::copy(centre, centre + 3, s.terrainCentre);
  std::tie(s.xMax, s.yMax, s.zMax) = std::make_tuple(16.0f, 28.0f, 2.0f);

  struct Case {
    float azimuth, tilt, x, y, z;
  };
  const double c30 = std::cos(M_PI / 6), s45 = std::sin(M_PI / 4);
  const Case cases[] = {
      {0, 0, 5, 15, 1},                                                     // towards +Y
      {90, 0, 10, 10, 1},                                                   // towards +X
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
  // A different colour for every setter, blue over the limit for every other one.
  for (size_t i = 0; i < std::size(kColourPairs); ++i) {
    const ColourPair& pair = kColourPairs[i];
    if (pair.gl == GlColour::kNone) continue;
    const short r = short(20 + 10 * i), g = short(240 - 10 * i), b = i % 2 ? 300 : short(5 * i);
    ASSERT_EQ(pair.set(scene, state, r, g, b), TN_OK);
    // Material colours go to both faces. The front ambient and diffuse follow the vertex colours
    // (colour material), so only the back face shows what was set for them.
    const bool bothFaces = pair.parameter == GL_SPECULAR || pair.parameter == GL_EMISSION;
    for (GLenum face : {GL_BACK, GL_FRONT}) {
      if (pair.gl == GlColour::kLight) {
        glGetLightfv(GL_LIGHT0, pair.parameter, v);
      } else if (pair.gl == GlColour::kFog) {
        glGetFloatv(GL_FOG_COLOR, v);
      } else {
        glGetMaterialfv(face, pair.parameter, v);
      }
      ExpectGl4(v, r / 255.0f, g / 255.0f, std::min<short>(b, 255) / 255.0f, 1, pair.name);
      if (pair.gl != GlColour::kMaterial || !bothFaces) break;
    }
  }
  for (const auto& [in, out] : {std::pair{1.5f, 1.0f}, std::pair{0.25f, 0.25f}}) {
    ASSERT_EQ(SetFogDensity(scene, state, in), TN_OK);
    glGetFloatv(GL_FOG_DENSITY, v);
    EXPECT_FLOAT_EQ(v[0], out);
  }

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

  // The display method sets the projection of the client size at once.
  SceneOf(scene).clientRect.right = 40;
  SceneOf(scene).clientRect.bottom = 30;
  glViewport(0, 0, 1, 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  ASSERT_EQ(SetDispMethod(scene, state, 0), TN_OK);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 40);
  EXPECT_EQ(viewport[3], 30);
  GLfloat projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  EXPECT_FLOAT_EQ(projection[11], -1.0f);                         // a perspective projection
  EXPECT_NEAR(projection[0] * 40.0 / 30.0, projection[5], 1e-5);  // of aspect 40 : 30
}

// The GL state the setters of a bound scene change, read on the current context.
std::vector<float> GlSettings() {
  std::vector<float> all;
  GLfloat v[4];
  auto add = [&](int n) { all.insert(all.end(), v, v + n); };
  for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR}) {
    glGetLightfv(GL_LIGHT0, p, v);
    add(4);
  }
  for (GLenum p : {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION}) {
    glGetMaterialfv(GL_BACK, p, v);
    add(4);
  }
  glGetMaterialfv(GL_FRONT, GL_SHININESS, v);
  add(1);
  glGetFloatv(GL_FOG_COLOR, v);
  add(4);
  glGetFloatv(GL_FOG_DENSITY, v);
  add(1);
  GLint i[4];
  glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, i);
  all.push_back(float(i[0]));
  glGetIntegerv(GL_VIEWPORT, i);
  all.insert(all.end(), i, i + 4);
  return all;
}

// Every setter of a value that lives in GL state, with values unlike the defaults, then reads
// them back.
void SetAndReadEverything(void* scene, void* state) {
  for (size_t n = 0; n < std::size(kColourPairs); ++n) {
    const short c = short(3 * n);
    ASSERT_EQ(kColourPairs[n].set(scene, state, c, short(c + 1), short(c + 2)), TN_OK);
    EXPECT_EQ(ReadBack(kColourPairs[n], scene, state), (Rgb{c, short(c + 1), short(c + 2)}));
  }
  ASSERT_EQ(SetMaterial_Shininess_MatMode(scene, state, 99, 3), TN_OK);
  ASSERT_EQ(SetFogDensity(scene, state, 0.125f), TN_OK);
  ASSERT_EQ(SetDispMethod(scene, state, 0), TN_OK);
  ASSERT_EQ(SetSkyFlag(scene, state, 0), TN_OK);
  ASSERT_EQ(SetLightDir_TiltAngle(scene, state, 10, 20), TN_OK);
  EXPECT_EQ(ShininessAndMode(scene, state), (std::array<short, 2>{99, 3}));
  EXPECT_EQ(FloatOf(kFogDensity, scene, state), 0.125f);
  EXPECT_EQ(IntOf(kIntPairs[3], scene, state), 0);
}

TEST_F(SettingsTest, SettersReachOnlyTheirOwnBoundContext) {
  // A bound scene's context is current; the other scene's setters must leave it untouched.
  auto [bound, boundState] = Another();
  Bind(bound, boundState);
  Current(bound, boundState);
  GLuint sky = 0;
  glGenTextures(1, &sky);
  glBindTexture(GL_TEXTURE_2D, sky);
  glBindTexture(GL_TEXTURE_2D, 0);
  const std::vector<float> before = GlSettings();

  // Before binding. The scene holds a stale sky texture name that happens to name the bound one's.
  SceneOf(scene).textureIds[t3d::kTextureSky][t3d::kWindowContext] = sky;
  SetAndReadEverything(scene, state);
  EXPECT_EQ(SceneOf(scene).textureIds[t3d::kTextureSky][t3d::kWindowContext], 0u);
  EXPECT_EQ(GlSettings(), before);
  EXPECT_TRUE(glIsTexture(sky));
  glDeleteTextures(1, &sky);

  // Binding sets every default again.
  Bind();
  EXPECT_EQ(ReadBack(kColourPairs[2], scene, state), (Rgb{255, 255, 255}));
  EXPECT_EQ(FloatOf(kFogDensity, scene, state), 0.6f);

  // Bound, with the other scene's context current: the setters use their own.
  Current(bound, boundState);
  ASSERT_EQ(SetFogDensity(scene, state, 0.25f), TN_OK);
  ASSERT_EQ(SetLight_Ambient(scene, state, 0, 0, 255), TN_OK);
  GLfloat v[4] = {};
  Current(scene, state);
  glGetFloatv(GL_FOG_DENSITY, v);
  EXPECT_FLOAT_EQ(v[0], 0.25f);
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
  ExpectGl4(v, 0, 0, 1, 1, "first scene's light");
  Current(bound, boundState);
  EXPECT_EQ(GlSettings(), before);

  // After release the settings stay, and the setters again make no GL calls.
  ASSERT_EQ(SetLight_Ambient(scene, state, 0, 255, 0), TN_OK);
  ASSERT_EQ(tnRelease3DScene(scene, state), TN_OK);
  EXPECT_EQ(ReadBack(kColourPairs[0], scene, state), (Rgb{0, 255, 0}));
  Current(bound, boundState);
  SetAndReadEverything(scene, state);
  EXPECT_EQ(GlSettings(), before);
}

// ---- Handles and outputs ---------------------------------------------------------------------

TEST_F(SettingsTest, NullHandlesFailAndNullOutputsAreSkipped) {
  void* fakeState = reinterpret_cast<void*>(0x10);  // never dereferenced: the scene is checked
  for (auto [s, t] :
       {std::pair<void*, void*>{nullptr, fakeState}, std::pair<void*, void*>{scene, nullptr}}) {
    int i = 7;
    short r = 7, g = 7, b = 7;
    float f = 7, f2 = 7;
    for (const ColourPair& pair : kColourPairs) {
      EXPECT_EQ(pair.set(s, t, 1, 2, 3), TN_E_FAIL) << pair.name;
      EXPECT_EQ(pair.get(s, t, &r, &g, &b), TN_E_FAIL) << pair.name;
    }
    for (const IntPair& pair : kIntPairs) {
      EXPECT_EQ(pair.set(s, t, 0), TN_E_FAIL) << pair.name;
      EXPECT_EQ(pair.get(s, t, &i), TN_E_FAIL) << pair.name;
    }
    for (const FloatPair* pair : {&kReduceLine, &kFogDensity}) {
      EXPECT_EQ(pair->set(s, t, 0.5f), TN_E_FAIL) << pair->name;
      EXPECT_EQ(pair->get(s, t, &f), TN_E_FAIL) << pair->name;
    }
    EXPECT_EQ(SetMaterial_Shininess_MatMode(s, t, 5, 1), TN_E_FAIL);
    EXPECT_EQ(GetMaterial_Shininess_MatMode(s, t, &r, &g), TN_E_FAIL);
    EXPECT_EQ(SetLightDir_TiltAngle(s, t, 1, 2), TN_E_FAIL);
    EXPECT_EQ(GetLightDir_TiltAngle(s, t, &f, &f2), TN_E_FAIL);
    EXPECT_EQ(i, 7);
    EXPECT_EQ((Rgb{r, g, b}), (Rgb{7, 7, 7}));
    EXPECT_EQ(f, 7);
    EXPECT_EQ(f2, 7);
  }

  // Getters of a good handle skip null outputs.
  Bind();
  for (const IntPair& pair : kIntPairs)
    EXPECT_EQ(pair.get(scene, state, nullptr), TN_OK) << pair.name;
  for (const FloatPair* pair : {&kReduceLine, &kFogDensity})
    EXPECT_EQ(pair->get(scene, state, nullptr), TN_OK) << pair->name;
  for (const ColourPair& pair : kColourPairs) {
    ASSERT_EQ(pair.set(scene, state, 10, 20, 30), TN_OK);
    short r = -1, b = -1;
    EXPECT_EQ(pair.get(scene, state, &r, nullptr, &b), TN_OK) << pair.name;
    EXPECT_EQ(r, 10) << pair.name;
    EXPECT_EQ(b, 30) << pair.name;
    EXPECT_EQ(pair.get(scene, state, nullptr, nullptr, nullptr), TN_OK) << pair.name;
  }
  EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, nullptr, nullptr), TN_OK);
  float tilt = -1;
  EXPECT_EQ(GetLightDir_TiltAngle(scene, state, nullptr, &tilt), TN_OK);
  EXPECT_EQ(tilt, 70.0f);
  short mode = -1;
  EXPECT_EQ(GetMaterial_Shininess_MatMode(scene, state, nullptr, &mode), TN_OK);
  EXPECT_EQ(mode, 4);
}

}  // namespace

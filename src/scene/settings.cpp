#include "scene/settings.h"

#include <cmath>

#include "render/frame.h"
#include "render/light.h"
#include "model/scene_object.h"
#include "model/scene_state.h"

namespace t3d {

namespace {

// Makes the library's rendering context current for a setting's GL call: the off-screen one
// while an output holds it, the window's otherwise. False when no GL call may be made, which is
// always the case before the window is bound (the value is then only stored).
bool MakeRenderingContextCurrent(SceneObject& scene, SceneState& state) {
  if (state.glReady != 1) return false;
  return scene.MakeCurrent(state, state.hMemDC != nullptr ? kTargetOffscreen : kTargetWindow);
}

float ColourComponent(short value) {
  const int limited = value < 0 ? 0 : (value > 255 ? 255 : value);
  return float(limited / 255.0);
}

float (SceneState::*LightField(LightColour which))[4] {
  switch (which) {
    case LightColour::kAmbient: return &SceneState::lightAmbient;
    case LightColour::kDiffuse: return &SceneState::lightDiffuse;
    case LightColour::kSpecular: break;
  }
  return &SceneState::lightSpecular;
}

GLenum LightParameter(LightColour which) {
  switch (which) {
    case LightColour::kAmbient: return GL_AMBIENT;
    case LightColour::kDiffuse: return GL_DIFFUSE;
    case LightColour::kSpecular: break;
  }
  return GL_SPECULAR;
}

float (SceneState::*MaterialField(MaterialColour which))[4] {
  switch (which) {
    case MaterialColour::kAmbient: return &SceneState::materialAmbient;
    case MaterialColour::kDiffuse: return &SceneState::materialDiffuse;
    case MaterialColour::kSpecular: return &SceneState::materialSpecular;
    case MaterialColour::kEmission: break;
  }
  return &SceneState::materialEmission;
}

GLenum MaterialParameter(MaterialColour which) {
  switch (which) {
    case MaterialColour::kAmbient: return GL_AMBIENT;
    case MaterialColour::kDiffuse: return GL_DIFFUSE;
    case MaterialColour::kSpecular: return GL_SPECULAR;
    case MaterialColour::kEmission: break;
  }
  return GL_EMISSION;
}

const GLenum kColorMaterialModes[5] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR, GL_EMISSION,
                                       GL_AMBIENT_AND_DIFFUSE};

}  // namespace

float ClampSetting(float value, float lo, float hi) {
  if (!(value >= lo)) return lo;  // also NaN
  return value > hi ? hi : value;
}

void StoreColour(float* field, short red, short green, short blue) {
  field[0] = ColourComponent(red);
  field[1] = ColourComponent(green);
  field[2] = ColourComponent(blue);
}

void ReadColour(const float* field, short* red, short* green, short* blue) {
  short* out[3] = {red, green, blue};
  for (int i = 0; i < 3; ++i)
    if (out[i] != nullptr) *out[i] = short(std::trunc(double(field[i]) * 255.0));
}

GLenum ColorMaterialModeOf(int code) {
  const int limited = code < 0 ? 0 : (code > 4 ? 4 : code);
  return kColorMaterialModes[limited];
}

int CodeOfColorMaterialMode(GLenum mode) {
  for (int code = 0; code < 5; ++code)
    if (kColorMaterialModes[code] == mode) return code;
  return -1;
}

void SetDrawQuality(SceneState& state, int quality) {
  state.drawQuality = quality < 0 ? 0 : (quality > kDrawQualityMax ? kDrawQualityMax : quality);
}

void SetSurfaceDisplayMode(SceneObject& scene, SceneState& state, int mode) {
  if (mode == state.surfaceDisplayMode) return;
  state.surfaceDisplayMode = mode;
  if (mode == 0) {
    // The texture colours the surface by itself: no lighting, no colour material, and the mesh
    // one step coarser; the quality chosen so far is kept for the way back.
    state.lightFlag = 0;
    state.materialFlag = 0;
    scene.savedDrawQuality = state.drawQuality;
    state.drawQuality = state.drawQuality > 0 ? state.drawQuality - 1 : 0;
  } else if (mode == 1) {
    state.lightFlag = 1;
    state.materialFlag = 1;
    state.drawQuality = scene.savedDrawQuality;
  }
}

void SetDisplayMethod(SceneObject& scene, SceneState& state, int method) {
  state.displayMethod = method;
  // The result is of no interest: without a context the projection waits for the next frame.
  SetProjection(scene, state, scene.clientRect.right, scene.clientRect.bottom, kTargetWindow);
}

void SetSkyFlag(SceneObject& scene, SceneState& state, int flag) {
  if (flag == 0) {
    // The sky texture of the window context is made again when the sky is switched on; one of
    // the off-screen context goes with that context.
    GLuint& id = scene.textureIds[kTextureSky][kWindowContext];
    if (id != 0 && state.glReady == 1 && scene.MakeWindowCurrent(state)) {
      if (glIsTexture(id)) glDeleteTextures(1, &id);
      if (state.hMemDC != nullptr) scene.MakeCurrent(state, kTargetOffscreen);
    }
    // Without a current window context the name belongs to a context that is gone or will be
    // deleted with it.
    id = 0;
  }
  state.skyFlag = flag;
}

void SetReduceLineCoefficient(SceneState& state, float coefficient) {
  state.reduceLineCoefficient = ClampSetting(coefficient, kReduceLineMin, kReduceLineMax);
}

void SetLightColour(SceneObject& scene, SceneState& state, LightColour which, short red,
                    short green, short blue) {
  float* field = state.*LightField(which);
  StoreColour(field, red, green, blue);
  if (MakeRenderingContextCurrent(scene, state)) glLightfv(GL_LIGHT0, LightParameter(which), field);
}

const float* LightColourField(const SceneState& state, LightColour which) {
  return state.*LightField(which);
}

void SetMaterialColour(SceneObject& scene, SceneState& state, MaterialColour which, short red,
                       short green, short blue) {
  float* field = state.*MaterialField(which);
  StoreColour(field, red, green, blue);
  if (MakeRenderingContextCurrent(scene, state))
    glMaterialfv(GL_FRONT_AND_BACK, MaterialParameter(which), field);
}

const float* MaterialColourField(const SceneState& state, MaterialColour which) {
  return state.*MaterialField(which);
}

void SetShininessAndMode(SceneObject& scene, SceneState& state, short shininess, short mode) {
  state.materialShininess = float(shininess < 0 ? 0 : (shininess > kShininessMax ? kShininessMax
                                                                                 : shininess));
  state.colorMaterialMode = ColorMaterialModeOf(mode);
  if (MakeRenderingContextCurrent(scene, state)) {
    // The shininess reaches GL here too: nothing else sends it after binding, and a setter
    // without effect would leave the host's choice silently ignored.
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, state.materialShininess);
    glColorMaterial(GL_FRONT, state.colorMaterialMode);
  }
}

void GetShininessAndMode(const SceneState& state, short* shininess, short* mode) {
  if (shininess != nullptr) *shininess = short(std::trunc(state.materialShininess));
  const int code = CodeOfColorMaterialMode(state.colorMaterialMode);
  if (mode != nullptr && code >= 0) *mode = short(code);
}

void SetFogColour(SceneObject& scene, SceneState& state, short red, short green, short blue) {
  StoreColour(state.fogColor, red, green, blue);
  if (MakeRenderingContextCurrent(scene, state)) glFogfv(GL_FOG_COLOR, state.fogColor);
}

void SetFogDensity(SceneObject& scene, SceneState& state, float density) {
  state.fogDensity = ClampSetting(density, kFogDensityMin, kFogDensityMax);
  if (MakeRenderingContextCurrent(scene, state)) glFogf(GL_FOG_DENSITY, state.fogDensity);
}

void SetLightDirection(SceneObject& scene, SceneState& state, float azimuth, float tilt) {
  state.lightAzimuth = ClampSetting(azimuth, 0.0f, kLightAzimuthMax);
  state.lightTilt = ClampSetting(tilt, 0.0f, kLightTiltMax);
  // The frame driver hands the position to GL with every frame.
  UpdateLightPosition(scene, state, true);
}

}  // namespace t3d

// Render settings: the values the host tunes through the Set and Get pairs. Every value lives in
// the scene state block; setters clamp into range and never fail, and setters of values that also
// live in GL state pass them to the current rendering context at once while one is ready.
#pragma once

#include <GL/gl.h>

namespace t3d {

class SceneObject;
struct SceneState;

// Limits of the clamped settings.
constexpr float kReduceLineMin = 0.001f, kReduceLineMax = 1000.0f;
constexpr float kFogDensityMin = 0.0f, kFogDensityMax = 1.0f;
constexpr float kLightAzimuthMax = 360.0f, kLightTiltMax = 90.0f;
constexpr int kShininessMax = 128;
constexpr int kDrawQualityMax = 2;

// The light colours and material colours a host can set.
enum class LightColour { kAmbient, kDiffuse, kSpecular };
enum class MaterialColour { kAmbient, kDiffuse, kSpecular, kEmission };

// A float clamped into lo..hi; a value equal to a limit is kept, and NaN becomes lo so that it
// never reaches GL or the light placement.
float ClampSetting(float value, float lo, float hi);

// Colour components as the host sees them: 0..255 in, each limited and divided by 255; out,
// trunc(component x 255). Only red, green and blue are written; a fourth component keeps its value.
void StoreColour(float* field, short red, short green, short blue);
// A null output pointer receives nothing.
void ReadColour(const float* field, short* red, short* green, short* blue);

// Colour material mode codes 0..4 and their GL modes: GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR,
// GL_EMISSION, GL_AMBIENT_AND_DIFFUSE. CodeOfColorMaterialMode gives -1 for any other value.
GLenum ColorMaterialModeOf(int code);
int CodeOfColorMaterialMode(GLenum mode);

// Draw quality limited to 0..2 (it indexes the three level-of-detail factors).
void SetDrawQuality(SceneState& state, int quality);

// Surface display mode: 0 texture (lighting and colour material off, quality one step lower),
// 1 height colours (both on, the quality saved at the switch to texture restored); other values
// are only stored, and the current value changes nothing.
void SetSurfaceDisplayMode(SceneObject& scene, SceneState& state, int mode);

// Display method, then the projection of the window's client size.
void SetDisplayMethod(SceneObject& scene, SceneState& state, int method);

// Sky switch; switching it off drops the window context's sky texture.
void SetSkyFlag(SceneObject& scene, SceneState& state, int flag);

void SetReduceLineCoefficient(SceneState& state, float coefficient);

// Colour rule on the light or material colour, then glLightfv(GL_LIGHT0, ...) or
// glMaterialfv(GL_FRONT_AND_BACK, ...) on the current context.
void SetLightColour(SceneObject& scene, SceneState& state, LightColour which, short red,
                    short green, short blue);
const float* LightColourField(const SceneState& state, LightColour which);
void SetMaterialColour(SceneObject& scene, SceneState& state, MaterialColour which, short red,
                       short green, short blue);
const float* MaterialColourField(const SceneState& state, MaterialColour which);

// Shininess limited to 0..128, mode code limited to 0..4; then glColorMaterial(GL_FRONT, mode).
void SetShininessAndMode(SceneObject& scene, SceneState& state, short shininess, short mode);
// The mode output is left alone when the stored mode is none of the five.
void GetShininessAndMode(const SceneState& state, short* shininess, short* mode);

// Fog colour (alpha kept) and density limited to 0..1, passed to GL_FOG_COLOR / GL_FOG_DENSITY.
void SetFogColour(SceneObject& scene, SceneState& state, short red, short green, short blue);
void SetFogDensity(SceneObject& scene, SceneState& state, float density);

// Light azimuth limited to 0..360 and tilt to 0..90; the light position follows in scene units.
void SetLightDirection(SceneObject& scene, SceneState& state, float azimuth, float tilt);

}  // namespace t3d

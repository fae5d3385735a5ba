#include "output/vertex_lighting.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>

namespace t3d {
namespace {

inline float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Rows are shaded in pieces of this many vertices, with their working arrays on the stack.
constexpr int kPiece = 256;

}  // namespace

bool VertexLighting::Capture() {
  *this = VertexLighting();
  lighting_ = glIsEnabled(GL_LIGHTING) == GL_TRUE;
  if (!lighting_) return true;

  // With an identity model-view matrix GL_RESCALE_NORMAL scales by 1; only GL_NORMALIZE counts.
  normalize_ = glIsEnabled(GL_NORMALIZE) == GL_TRUE;
  GLint value = 0;
  glGetIntegerv(GL_LIGHT_MODEL_LOCAL_VIEWER, &value);
  localViewer_ = value != 0;
  value = GL_SINGLE_COLOR;
  glGetIntegerv(GL_LIGHT_MODEL_COLOR_CONTROL, &value);
  separateSpecular_ = value == GL_SEPARATE_SPECULAR_COLOR;
  float modelAmbient[4] = {};
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, modelAmbient);

  bool trackEmission = false, trackAmbient = false, trackDiffuse = false, trackSpecular = false;
  if (glIsEnabled(GL_COLOR_MATERIAL) == GL_TRUE) {
    GLint face = GL_FRONT_AND_BACK, parameter = GL_AMBIENT_AND_DIFFUSE;
    glGetIntegerv(GL_COLOR_MATERIAL_FACE, &face);
    glGetIntegerv(GL_COLOR_MATERIAL_PARAMETER, &parameter);
    // Colour material on the back faces alone leaves the front material as it is.
    if (face != GL_BACK) {
      switch (parameter) {
        case GL_EMISSION: trackEmission = true; break;
        case GL_AMBIENT: trackAmbient = true; break;
        case GL_DIFFUSE: trackDiffuse = true; break;
        case GL_SPECULAR: trackSpecular = true; break;
        case GL_AMBIENT_AND_DIFFUSE: trackAmbient = trackDiffuse = true; break;
        default: return false;
      }
    }
  }
  float emission[4], ambient[4], diffuse[4], specular[4];
  glGetMaterialfv(GL_FRONT, GL_EMISSION, emission);
  glGetMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess_);
  alpha_ = trackDiffuse ? 1.0f : Clamp01(diffuse[3]);
  // A light colour times a material colour, as a * vertex colour + b.
  auto term = [](const float light[4], const float material[4], bool tracked) {
    Term t{};
    for (int i = 0; i < 3; ++i) {
      t.a[i] = tracked ? light[i] : 0.0f;
      t.b[i] = tracked ? 0.0f : light[i] * material[i];
    }
    return t;
  };
  const float one[4] = {1, 1, 1, 1};
  emission_ = term(one, emission, trackEmission);
  ambient_ = term(modelAmbient, ambient, trackAmbient);

  GLint maxLights = 8;
  glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
  for (GLint i = 0; i < maxLights; ++i) {
    const GLenum name = GLenum(GL_LIGHT0 + i);
    if (glIsEnabled(name) != GL_TRUE) continue;
    if (lightCount_ == kMaxLights) return false;
    float cutoff = 180.0f;
    glGetLightfv(name, GL_SPOT_CUTOFF, &cutoff);
    if (cutoff != 180.0f) return false;
    Light& light = lights_[lightCount_++];
    float lightAmbient[4], lightDiffuse[4], lightSpecular[4];
    glGetLightfv(name, GL_POSITION, light.position);
    glGetLightfv(name, GL_AMBIENT, lightAmbient);
    glGetLightfv(name, GL_DIFFUSE, lightDiffuse);
    glGetLightfv(name, GL_SPECULAR, lightSpecular);
    glGetLightfv(name, GL_CONSTANT_ATTENUATION, &light.attenuation[0]);
    glGetLightfv(name, GL_LINEAR_ATTENUATION, &light.attenuation[1]);
    glGetLightfv(name, GL_QUADRATIC_ATTENUATION, &light.attenuation[2]);
    float* p = light.position;
    if (p[3] != 0.0f) {
      for (int k = 0; k < 3; ++k) p[k] /= p[3];
    } else {
      // A directional light shines along its position vector, the same for every vertex.
      const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      if (length > 0.0f)
        for (int k = 0; k < 3; ++k) p[k] /= length;
    }
    light.ambient = term(lightAmbient, ambient, trackAmbient);
    light.diffuse = term(lightDiffuse, diffuse, trackDiffuse);
    light.specular = term(lightSpecular, specular, trackSpecular);
    light.hasSpecular = false;
    for (int k = 0; k < 3; ++k)
      light.hasSpecular = light.hasSpecular || light.specular.a[k] != 0.0f ||
                          light.specular.b[k] != 0.0f;
  }
  return true;
}

void VertexLighting::ShadeRow(const VertexRow& row, float* red, float* green, float* blue) const {
  float* const out[3] = {red, green, blue};
  const float* const colour[3] = {row.red, row.green, row.blue};
  if (!lighting_) {
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < row.count; ++i) out[c][i] = Clamp01(colour[c][i]);
    return;
  }
  // Working arrays of one piece: the normals, the unit vectors towards the light, the facing
  // factor and attenuation, and the specular sums when they are kept apart.
  float nx[kPiece], ny[kPiece], nz[kPiece];
  float lx[kPiece], ly[kPiece], lz[kPiece], facing[kPiece], attenuation[kPiece];
  float secondary[3][kPiece];
  for (int start = 0; start < row.count; start += kPiece) {
    const int n = std::min(kPiece, row.count - start);
    const float* x = row.x + start;
    const float* y = row.y + start;
    const float* z = row.z + start;
    const float* col[3] = {colour[0] + start, colour[1] + start, colour[2] + start};
    float* primary[3] = {out[0] + start, out[1] + start, out[2] + start};
    for (int i = 0; i < n; ++i) {
      nx[i] = row.nx[start + i];
      ny[i] = row.ny[start + i];
      nz[i] = row.nz[start + i];
    }
    if (normalize_) {
      for (int i = 0; i < n; ++i) {
        const float length = std::sqrt(nx[i] * nx[i] + ny[i] * ny[i] + nz[i] * nz[i]);
        const float scale = length > 0.0f ? 1.0f / length : 1.0f;
        nx[i] *= scale;
        ny[i] *= scale;
        nz[i] *= scale;
      }
    }
    // Emission and the global ambient light.
    for (int c = 0; c < 3; ++c) {
      const float ea = emission_.a[c], eb = emission_.b[c], aa = ambient_.a[c], ab = ambient_.b[c];
      for (int i = 0; i < n; ++i) {
        primary[c][i] = (ea * col[c][i] + eb) + (aa * col[c][i] + ab);
        secondary[c][i] = 0.0f;
      }
    }
    for (int l = 0; l < lightCount_; ++l) {
      const Light& light = lights_[l];
      const float* p = light.position;
      if (p[3] != 0.0f) {
        const float k0 = light.attenuation[0], k1 = light.attenuation[1], k2 = light.attenuation[2];
        for (int i = 0; i < n; ++i) {
          const float dx = p[0] - x[i], dy = p[1] - y[i], dz = p[2] - z[i];
          const float squared = dx * dx + dy * dy + dz * dz;
          const float distance = std::sqrt(squared);
          const float inverse = distance > 0.0f ? 1.0f / distance : 0.0f;
          lx[i] = dx * inverse;
          ly[i] = dy * inverse;
          lz[i] = dz * inverse;
          // Terms whose factor is 0 are left out rather than multiplied: a vertex so far from
          // the light that its distance overflows would otherwise get 0 x infinity, NaN.
          float sum = k0;
          if (k1 != 0.0f) sum += k1 * distance;
          if (k2 != 0.0f) sum += k2 * squared;
          attenuation[i] = 1.0f / sum;
        }
      } else {
        for (int i = 0; i < n; ++i) {
          lx[i] = p[0];
          ly[i] = p[1];
          lz[i] = p[2];
          attenuation[i] = 1.0f;
        }
      }
      for (int i = 0; i < n; ++i) facing[i] = nx[i] * lx[i] + ny[i] * ly[i] + nz[i] * lz[i];
      for (int c = 0; c < 3; ++c) {
        const float aa = light.ambient.a[c], ab = light.ambient.b[c];
        const float da = light.diffuse.a[c], db = light.diffuse.b[c];
        for (int i = 0; i < n; ++i) {
          const float diffuseFactor = facing[i] > 0.0f ? facing[i] : 0.0f;
          primary[c][i] += attenuation[i] * ((aa * col[c][i] + ab) +
                                             diffuseFactor * (da * col[c][i] + db));
        }
      }
      if (!light.hasSpecular) continue;
      // The specular term, only on faces turned towards the light, along the half-way vector
      // between the light and the eye (straight up the z axis for a distant viewer).
      float* const sums[3] = {separateSpecular_ ? secondary[0] : primary[0],
                              separateSpecular_ ? secondary[1] : primary[1],
                              separateSpecular_ ? secondary[2] : primary[2]};
      for (int i = 0; i < n; ++i) {
        if (!(facing[i] > 0.0f)) continue;
        float hx = lx[i], hy = ly[i], hz = lz[i];
        if (localViewer_) {
          const float length = std::sqrt(x[i] * x[i] + y[i] * y[i] + z[i] * z[i]);
          if (length > 0.0f) {
            hx -= x[i] / length;
            hy -= y[i] / length;
            hz -= z[i] / length;
          }
        } else {
          hz += 1.0f;
        }
        const float length = std::sqrt(hx * hx + hy * hy + hz * hz);
        const float along = length > 0.0f ? (nx[i] * hx + ny[i] * hy + nz[i] * hz) / length : 0.0f;
        const float power = std::pow(along > 0.0f ? along : 0.0f, shininess_);
        for (int c = 0; c < 3; ++c)
          sums[c][i] += attenuation[i] * power * (light.specular.a[c] * col[c][i] + light.specular.b[c]);
      }
    }
    for (int c = 0; c < 3; ++c) {
      if (separateSpecular_) {
        for (int i = 0; i < n; ++i)
          primary[c][i] = Clamp01(Clamp01(primary[c][i]) + Clamp01(secondary[c][i]));
      } else {
        for (int i = 0; i < n; ++i) primary[c][i] = Clamp01(primary[c][i]);
      }
    }
  }
}

}  // namespace t3d

#include "model/scene_object.h"

#include "model/overlay_store.h"
#include "base/math.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "model/fly_route.h"
#include "base/messages.h"
#include "base/trace.h"
#include "model/process_objects.h"

namespace t3d {
namespace {


void Copy4(float* to, float a, float b, float c, float d) {
  to[0] = a;
  to[1] = b;
  to[2] = c;
  to[3] = d;
}

// Whole-word search of a blank-separated extension list.
bool HasExtension(const char* list, const char* name) {
  if (list == nullptr) return false;
  const size_t length = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
    const bool startOk = p == list || p[-1] == ' ';
    const bool endOk = p[length] == ' ' || p[length] == '\0';
    if (startOk && endOk) return true;
  }
  return false;
}

}  // namespace

SceneObject::SceneObject() {
  g_process.terrainArea.reset();
  g_process.textureStore.reset();
  g_process.overlayStore.reset();
}

SceneObject::~SceneObject() {
  g_process.terrainArea.reset();
  textureImage.reset();
  g_process.textureStore.reset();
  g_process.overlayStore.reset();
  // A host that deletes without releasing still gets its contexts and window devices back.
  if (memoryDevice_) memoryDevice_->MakeCurrent(nullptr);
  offscreenContext_.reset();
  memoryDevice_.reset();
  if (windowDevice_) windowDevice_->MakeCurrent(nullptr);
  windowContext_.reset();
  windowDevice_.reset();
}

void SceneObject::SetDefaults(SceneState& state, const void* window) {
  state.hWnd = window;
  Copy4(state.lightAmbient, 0.5f, 0.5f, 0.5f, 1);
  Copy4(state.lightDiffuse, 0.5f, 0.5f, 0.5f, 1);
  Copy4(state.lightSpecular, 1, 1, 1, 1);
  Copy4(state.lightPosition, 0, 0, 1, 1);
  state.spotDirection[0] = 0;
  state.spotDirection[1] = 0;
  state.spotDirection[2] = -1;
  state.lightAttenuation[0] = 1;
  state.lightAttenuation[1] = 0;
  state.lightAttenuation[2] = 0;
  Copy4(state.materialAmbient, 0.2f, 0.5f, 0.2f, 1);
  Copy4(state.materialDiffuse, 0.2f, 0.8f, 0.2f, 1);
  Copy4(state.materialSpecular, 0, 0, 0, 1);
  Copy4(state.materialEmission, 0, 0, 0, 1);
  state.materialShininess = 0;
  state.colorMaterialMode = GL_AMBIENT_AND_DIFFUSE;
  state.lineColor[0] = 0;
  state.lineColor[1] = 0.5f;
  state.lineColor[2] = 0;
  state.backColor[0] = 0.84f;
  state.backColor[1] = 0.87f;
  state.backColor[2] = 1.0f;
  // Fog: a colour between the horizon blue and white, by how thick the fog is at the far end.
  state.fogDensity = 0.6f;
  double t = 1.0 - std::exp(-5.5 * 0.05 * 0.05 * 20 * 20);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  Copy4(state.fogColor, float(0.23 + 0.57 * t), float(0.35 + 0.45 * t), float(0.78 + 0.22 * t), 1);
  const float analysis[9] = {0, 0, 0.8f, 0, 0, 0.8f, 0.8f, 0, 0};
  std::memcpy(state.analysisColours, analysis, sizeof analysis);
  state.waterSurfaceFlag = 0;
  std::memset(state.fontFace, 0, sizeof state.fontFace);
  std::strncpy(state.fontFace, "楷体_GB2312", sizeof state.fontFace - 1);
  state.fontFlag = 0;
  state.fontSize = 12;
  state.flyViewDirAngle = 0;
  state.flyDirection[0] = float(std::sin(0.0));
  state.flyDirection[1] = float(std::cos(0.0));
  state.viewFov = 45;
  state.viewTilt = 25;
  state.lightAzimuth = 25;
  state.lightTilt = 70;
  state.nearPlane = 0.001;
  state.farPlane = 30000;
  skyAngle = 0;
  skyDrift = -3.0f;

  // Route and layer indexes start empty; a route left by an earlier binding is freed.
  FreeFlyRoute(state);
  state.lineFileIndex = 0;
  std::memset(state.layerIndexes, 0, sizeof state.layerIndexes);

  state.reduceLineCoefficient = 1.25f;
  state.drawMode = 0;
  state.displayMethod = 1;
  state.flyFlag = 0;
  state.surfaceDisplayMode = 1;
  state.applyType = 0;
  state.grayDisplayFlag = 0;
  state.lightFlag = 1;
  state.materialFlag = 1;
  state.fogFlag = 0;
  state.skyFlag = 0;

  // Colour tables from their files: the height colour table by its number, the grey table
  // (file 11) and the seven map-area tables (files 32 to 38). A table that cannot be read is the
  // grey ramp.
  HeightColourSettings& colours = state.heightColours;
  colours.layerCount = 256;
  colours.tableNumber = 5;
  colours.option = 0;
  LoadColourTable(colours.tableNumber, colours.heightColourTable);
  LoadColourTable(11, state.greyTable);
  for (int k = 0; k < 7; ++k) LoadColourTable(32 + k, state.mapAreaTables[k]);
}

bool SceneObject::Initialise(SceneState& state, const void* window) {
  SetDefaults(state, window);
  return SetUpContext(state);
}

void SceneObject::DropContexts(SceneState& state) {
  if (memoryDevice_) EndOffscreen(state);
  if (windowDevice_) windowDevice_->MakeCurrent(nullptr);
  windowContext_.reset();
  windowDevice_.reset();
  state.hGLRC = nullptr;
  state.hSavedGLRC = nullptr;
  state.hDC = nullptr;
}

bool SceneObject::SetUpContext(SceneState& state) {
  // Window device: any earlier context goes first.
  DropContexts(state);
  state.glReady = 0;
  windowDevice_ = platform::OpenWindowDevice(state.hWnd);
  if (!windowDevice_) return false;
  state.hDC = windowDevice_.get();
  int width = 0, height = 0;
  windowDevice_->ClientSize(width, height);
  clientRect = ClientRect{0, 0, width, height};

  // Pixel format: a double-buffered RGBA window format with 24 colour and 32 depth bits
  // (the deepest depth buffer the platform offers up to that).
  if (windowDevice_->BitsPerPixel() < 16) {
    ShowMessage(MessageId::kNeedHighColour);
    return false;
  }
  platform::PixelFormatRequest request;
  request.colorBits = 24;
  request.depthBits = 32;
  request.doubleBuffer = true;
  if (const MessageId message = windowDevice_->SetPixelFormat(request); message != MessageId::kNone) {
    ShowMessage(message);
    return false;
  }

  // Rendering context.
  windowContext_ = windowDevice_->CreateContext();
  if (!windowContext_) {
    ShowMessage(MessageId::kCreateContext);
    return false;
  }
  if (!windowDevice_->MakeCurrent(windowContext_.get())) {
    ShowMessage(MessageId::kMakeCurrent);
    windowContext_.reset();
    return false;
  }
  state.hGLRC = windowContext_.get();
  state.glReady = 1;
  std::memset(textureIds, 0, sizeof textureIds);

  // Light, material, fog and the fixed GL state; whether the window's driver takes packed 16-bit
  // pixels (what texture preparation may offer).
  if (!ApplyContextState(state)) return false;
  packedPixelsExt = HasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)),
                                 "GL_EXT_packed_pixels")
                        ? 1
                        : 0;

  // Focal length of the view.
  state.focalLength = (clientRect.bottom / 2.0) / std::tan(state.viewFov / 2.0 * kPi / 180.0);
  return true;
}

bool ApplyContextState(const SceneState& state) {
  if (state.glReady != 1) return false;

  // Light 0.
  glLightfv(GL_LIGHT0, GL_AMBIENT, state.lightAmbient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, state.lightDiffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, state.lightSpecular);
  glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, state.spotDirection);
  glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, 0);
  glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, 180);
  glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, state.lightAttenuation[0]);
  glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, state.lightAttenuation[1]);
  glLightf(GL_LIGHT0, GL_QUADRATIC_ATTENUATION, state.lightAttenuation[2]);
  glEnable(GL_LIGHT0);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);

  // Material of front faces, coloured by the vertex colours.
  glMaterialfv(GL_FRONT, GL_AMBIENT, state.materialAmbient);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, state.materialDiffuse);
  glMaterialfv(GL_FRONT, GL_SPECULAR, state.materialSpecular);
  glMaterialfv(GL_FRONT, GL_EMISSION, state.materialEmission);
  glMaterialf(GL_FRONT, GL_SHININESS, state.materialShininess);
  glColorMaterial(GL_FRONT, state.colorMaterialMode);
  glEnable(GL_COLOR_MATERIAL);

  // Fog as the host set it (its defaults come with the binding): outputs apply this to their
  // own contexts and must leave the settings as they found them.
  glFogfv(GL_FOG_COLOR, state.fogColor);
  glFogf(GL_FOG_DENSITY, state.fogDensity);

  // Fixed state.
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glClearDepth(1.0);
  glDepthRange(0.0, 1.0);
  glAlphaFunc(GL_GEQUAL, 0.5f);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_DONT_CARE);
  glCullFace(GL_BACK);
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CW);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_AUTO_NORMAL);
  glDisable(GL_NORMALIZE);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_DITHER);
  return true;
}

void SceneObject::DeleteTextures(TextureContext context) {
  for (auto& ids : textureIds) {
    GLuint& id = ids[context];
    if (id != 0 && glIsTexture(id)) glDeleteTextures(1, &id);
    id = 0;
  }
}

void SceneObject::ReleaseWindowContext(SceneState& state) {
  if (memoryDevice_) EndOffscreen(state);
  if (windowDevice_ && windowContext_) windowDevice_->MakeCurrent(windowContext_.get());
  DeleteTextures(kWindowContext);
  if (windowDevice_) windowDevice_->MakeCurrent(nullptr);
  windowContext_.reset();
  state.hGLRC = nullptr;
  windowDevice_.reset();
  state.hDC = nullptr;
}

void SceneObject::Release(SceneState& state) {
  if (state.glReady == 1) ReleaseWindowContext(state);
  // With the context gone, nothing may make GL calls for this scene until it is bound again.
  state.glReady = 0;
  ReleaseSceneData(state);
}

void SceneObject::ReleaseSceneData(SceneState& state) {
  FreeFlyRoute(state);
  g_process.meshScratch.reset();
  g_process.terrainArea.reset();
  textureImage.reset();
  g_process.textureStore.reset();
  textureReady = 0;  // the texture went with the store
  g_process.overlayStore.reset();
  // The region layer went with the overlay store.
  regionLoaded = 0;
  SetRegionFileIndex(state, 0);
  // So did the note layer.
  noteLoaded = 0;
  SetNoteFileIndex(state, 0);
  roadLoaded = 0;  // the road layer too
}

bool SceneObject::GetDeviceInfo(SceneState& state, int info[3]) {
  if (state.glReady == 0 || state.hDC == nullptr || info == nullptr) return false;
  if (state.glReady == 1) {
    switch (state.hDC->BitsPerPixel()) {
      case 1:
      case 4: info[0] = 0; break;
      case 8: info[0] = 1; break;
      case 16: info[0] = 2; break;
      case 24: info[0] = 3; break;
      case 32: info[0] = 4; break;
      default: break;  // other depths leave the class as it was
    }
    state.hDC->ScreenSize(info[1], info[2]);
  }
  return true;
}

const char* SceneObject::GetGLInfo(SceneState& state, int which) {
  if (state.glReady != 1) return nullptr;
  GLenum name = 0;
  switch (which) {
    case 0: name = GL_VENDOR; break;
    case 1: name = GL_RENDERER; break;
    case 2: name = GL_VERSION; break;
    default: return nullptr;
  }
  if (!memoryDevice_ && !MakeWindowCurrent(state)) return nullptr;
  while (glGetError() != GL_NO_ERROR) {
  }
  const GLubyte* text = glGetString(name);
  if (glGetError() != GL_NO_ERROR) return nullptr;
  return reinterpret_cast<const char*>(text);
}

bool SceneObject::MakeWindowCurrent(SceneState& state) {
  if (state.glReady != 1 || !windowDevice_ || !windowContext_) return false;
  return windowDevice_->MakeCurrent(windowContext_.get());
}

bool SceneObject::MakeCurrent(SceneState& state, FrameTarget target) {
  if (target == kTargetOffscreen) {
    if (!memoryDevice_ || !offscreenContext_) return false;
    return memoryDevice_->MakeCurrent(offscreenContext_.get());
  }
  return MakeWindowCurrent(state);
}

bool SceneObject::PresentFrame(SceneState& state, FrameTarget target) {
  if (target == kTargetOffscreen) {
    if (!memoryDevice_) return false;
    glFlush();
    return memoryDevice_->Present();
  }
  if (state.glReady != 1 || !windowDevice_) return false;
  return windowDevice_->Present();
}

bool SceneObject::BeginOffscreen(SceneState& state, int width, int height) {
  // Memory device compatible with the window's.
  if (state.hDC == nullptr || !windowDevice_) return false;
  if (memoryDevice_) return false;  // one off-screen bitmap at a time
  state.hSavedGLRC = state.hGLRC;

  auto fail = [&](MessageId message) {
    if (message != MessageId::kNone) ShowMessage(message);
    if (memoryDevice_) memoryDevice_->MakeCurrent(nullptr);
    offscreenContext_.reset();
    memoryDevice_.reset();
    state.hMemDC = nullptr;
    state.hDIB = nullptr;
    state.dibBits = nullptr;
    state.hGLRC = state.hSavedGLRC;
    state.hSavedGLRC = nullptr;
    if (windowContext_) windowDevice_->MakeCurrent(windowContext_.get());
    return false;
  };

  // The bitmap, with the window's bit count.
  MessageId message = MessageId::kNone;
  memoryDevice_ = platform::CreateMemoryDevice(*windowDevice_, width, height, message);
  if (!memoryDevice_) return fail(message);
  state.hMemDC = memoryDevice_.get();
  state.dibInfo = memoryDevice_->Info();
  state.dibBits = memoryDevice_->Bits();
  state.hDIB = state.dibBits;

  // Pixel format for drawing to the bitmap.
  platform::PixelFormatRequest request;
  request.colorBits = memoryDevice_->BitsPerPixel();
  request.depthBits = 32;
  request.doubleBuffer = false;
  if (const MessageId result = memoryDevice_->SetPixelFormat(request); result != MessageId::kNone)
    return fail(result);

  // Its own rendering context, made current.
  offscreenContext_ = memoryDevice_->CreateContext();
  if (!offscreenContext_) return fail(MessageId::kCreateContext);
  if (!memoryDevice_->MakeCurrent(offscreenContext_.get()))
    return fail(MessageId::kMakeCurrent);
  state.hGLRC = offscreenContext_.get();
  return true;
}

void SceneObject::EndOffscreen(SceneState& state) {
  if (!memoryDevice_) return;
  if (offscreenContext_) {
    memoryDevice_->MakeCurrent(offscreenContext_.get());
    DeleteTextures(kOffscreenContext);
  }
  memoryDevice_->MakeCurrent(nullptr);
  offscreenContext_.reset();
  memoryDevice_.reset();
  state.hMemDC = nullptr;
  state.hDIB = nullptr;
  state.dibBits = nullptr;
  if (windowDevice_ && windowContext_) windowDevice_->MakeCurrent(windowContext_.get());
  state.hGLRC = windowContext_.get();
  state.hSavedGLRC = nullptr;
}

}  // namespace t3d

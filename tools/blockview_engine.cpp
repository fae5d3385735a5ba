#include "blockview_engine.h"

#define EGL_EGLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstring>
#include <vector>

#include "terrain3d/terrain3d.h"

namespace t3dhost {

BlockViewEngine::~BlockViewEngine() {
  if (context_ != nullptr && MakeCurrent()) {
    for (const auto& entry : tileTextures_) glDeleteTextures(1, &entry.second);
    if (vertexBuffer_ != 0) glDeleteBuffers(1, &vertexBuffer_);
    if (indexBuffer_ != 0) glDeleteBuffers(1, &indexBuffer_);
  }
  if (block_ != nullptr) dmDeleteDem3DScene(block_);
  if (dem_ > 0) tnDemClose(dem_);
  if (display_ != nullptr) {
    // The display is shared with every other EGL user of the process: it is not terminated.
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != nullptr) eglDestroyContext(display_, context_);
    if (surface_ != nullptr) eglDestroySurface(display_, surface_);
  }
}

bool BlockViewEngine::MakeCurrent() {
  return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}

bool BlockViewEngine::Open(const std::string& dem, const std::string& texture, int width,
                           int height, std::string& error) {
  width_ = width;
  height_ = height;
  display_ = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (display_ == EGL_NO_DISPLAY || eglInitialize(display_, nullptr, nullptr) != EGL_TRUE) {
    display_ = nullptr;
    error = "no headless EGL display";
    return false;
  }
  eglBindAPI(EGL_OPENGL_API);
  const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                     EGL_OPENGL_BIT,   EGL_RED_SIZE,    8,
                                     EGL_GREEN_SIZE,   8,               EGL_BLUE_SIZE,
                                     8,                EGL_ALPHA_SIZE,  8,
                                     EGL_DEPTH_SIZE,   24,              EGL_NONE};
  EGLConfig config = nullptr;
  EGLint found = 0;
  if (eglChooseConfig(display_, configAttributes, &config, 1, &found) != EGL_TRUE || found < 1) {
    error = "no EGL configuration for GL with a depth buffer";
    return false;
  }
  const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  surface_ = eglCreatePbufferSurface(display_, config, surfaceAttributes);
  const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                      EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, contextAttributes);
  if (surface_ == EGL_NO_SURFACE || context_ == EGL_NO_CONTEXT || !MakeCurrent()) {
    surface_ = surface_ == EGL_NO_SURFACE ? nullptr : surface_;
    context_ = context_ == EGL_NO_CONTEXT ? nullptr : context_;
    error = "cannot make the host's GL context";
    return false;
  }
  glGenBuffers(1, &vertexBuffer_);
  glGenBuffers(1, &indexBuffer_);

  dem_ = tnDemOpen(dem.c_str());
  if (dem_ <= 0) {
    error = std::string("cannot open ") + dem + ": " + tnDemLastError();
    return false;
  }
  if (dmCreateDem3DScene(&block_) != 1 || dmPrepareDem3DScene(block_, dem_, 0, limits_) != 1) {
    error = "the library could not prepare " + dem + " as a block scene";
    return false;
  }
  if (!texture.empty()) {
    // 24-bit tiles of at most 256 pixels; no question about keeping them as a library.
    if (dmPrepareTexture(block_, texture.c_str(), 1, 8, 0) != 1) {
      error = "the library could not prepare the texture " + texture +
              " (a .rim raster image or a .tex texture library)";
      return false;
    }
    textured_ = true;
  }
  return true;
}

int32_t BlockViewEngine::LoadTile(unsigned char exponent, unsigned char bytesPerPixel,
                                  int32_t /*pixelFormat*/, int32_t tile, void* user) {
  BlockViewEngine& engine = *static_cast<BlockViewEngine*>(user);
  auto known = engine.tileTextures_.find(tile);
  if (known != engine.tileTextures_.end()) {
    glBindTexture(GL_TEXTURE_2D, known->second);
    return 1;
  }
  const int side = 1 << exponent;
  std::vector<uint8_t> pixels(size_t(side) * size_t(side) * bytesPerPixel);
  if (dmGetTextureByBlkNo(engine.block_, tile, pixels.data()) != 1) return 0;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (bytesPerPixel == 3) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, side, side, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  } else {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1,
                 pixels.data());
  }
  engine.tileTextures_[tile] = name;
  ++engine.tilesLoaded_;
  return 1;
}

void BlockViewEngine::DrawMesh(int32_t kind, void* vertices, unsigned short vertexCount,
                               unsigned short* indices, unsigned short indexCount, void* user) {
  BlockViewEngine& engine = *static_cast<BlockViewEngine*>(user);
  if (kind != 1 && kind != 2) return;  // this host asked for the OpenGL layouts
  // The arrays live only during this call: they go into the host's own buffers at once.
  const size_t stride = kind == 1 ? 40 : 32;
  glBindBuffer(GL_ARRAY_BUFFER, engine.vertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(stride * vertexCount), vertices, GL_STREAM_DRAW);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, engine.indexBuffer_);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(sizeof(unsigned short) * indexCount), indices,
               GL_STREAM_DRAW);
  glInterleavedArrays(kind == 1 ? GL_C4F_N3F_V3F : GL_T2F_N3F_V3F, 0, nullptr);
  glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, nullptr);
  ++engine.meshes_;
}

bool BlockViewEngine::Draw(const BlockViewCamera& camera, Picture& picture, std::string& error) {
  if (!MakeCurrent()) {
    error = "cannot make the host's GL context current";
    return false;
  }
  TnViewRecord view{};
  std::memcpy(view.eye, camera.eye, sizeof view.eye);
  view.lookAt[0] = camera.lookAt[0];
  view.lookAt[1] = camera.lookAt[1];
  view.fieldOfView = camera.fieldOfView;
  view.viewportWidth = width_;
  view.viewportHeight = height_;
  TnViewRangeRecord range{};
  if (dmGetCurrentViewRange(block_, &view, &range) != 1) {
    error = "the library refused the view (eye beyond its limits or looking straight down)";
    return false;
  }
  // The library's scene units: map units over the scene radius (the larger half extent, the
  // first eye limit); heights divided by the vertical scale as well, which the axis point's
  // height (the lowest height, scaled back) and the eye limits give.
  const double radius = limits_[0];
  const double zScale = limits_[2] / limits_[0];
  const double fov = camera.fieldOfView < 30 ? 30 : (camera.fieldOfView > 120 ? 120 : camera.fieldOfView);
  glViewport(0, 0, width_, height_);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glShadeModel(GL_SMOOTH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(fov, double(width_) / height_, 0.001, 30000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(camera.eye[0] / radius, camera.eye[1] / radius, camera.eye[2] / zScale / radius,
            range.axisPoint[0] / radius, range.axisPoint[1] / radius,
            range.axisPoint[2] / zScale / radius, 0, 0, 1);
  if (textured_) {
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  } else {
    glDisable(GL_TEXTURE_2D);
  }
  meshes_ = 0;
  tilesLoaded_ = 0;
  const short drawn = dmRenderDem3DScene(block_, &range, textured_ ? 1 : 0, -1, &LoadTile,
                                         &DrawMesh, this);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  if (drawn != 1) {
    error = "the library could not hand over the frame's meshes";
    return false;
  }
  glFinish();
  picture.width = width_;
  picture.height = height_;
  picture.bgra.assign(size_t(width_) * size_t(height_) * 4, 0);
  std::vector<uint8_t> rows(picture.bgra.size());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
  const size_t pitch = size_t(width_) * 4;
  for (int y = 0; y < height_; ++y)
    std::memcpy(&picture.bgra[size_t(y) * pitch], &rows[size_t(height_ - 1 - y) * pitch], pitch);
  return true;
}

}  // namespace t3dhost

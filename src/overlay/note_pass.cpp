// The note pass: every note in view rendered into the drawing surface, uploaded as the one note
// texture of the target and drawn as a quad in window pixels over the frame.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "adapters/map_file.h"
#include "model/process_objects.h"
#include "overlay/drawn_depth.h"
#include "overlay/line_layer.h"
#include "overlay/note_layer.h"
#include "overlay/overlay_texture.h"
#include "overlay/note_surface.h"

static_assert(offsetof(MapNoteParameters, colourNumber) == 44, "the colour number is at byte 44");

namespace t3d {
namespace {

// A note is found hidden by the line layer's rule (kHiddenLiftPixels, kDepthMargin): its label
// point, lifted straight up by as many scene units as that many pixels span at its distance,
// lies beyond the terrain drawn at its pixel. The lift keeps notes on slopes and in hollows from
// being taken as hidden by the simplified surface, which strays from the grid by a few pixels; a
// ridge hides what lies more than these pixels below its crest.

// Whether the terrain drawn into the frame lies in front of the label point (x, y, z).
bool HiddenByTerrain(const double combined[16], const double p[16], const GLint viewport[4],
                     double x, double y, double z, DrawnDepth& drawn) {
  const Clip4 clip = Transform(combined, x, y, z);
  if (!(clip.w > 0) || p[11] == 0) return false;  // not a perspective view: nothing to test
  const double pixelSpan = p[5] != 0 ? 2.0 / (std::fabs(p[5]) * viewport[3]) : 0.0;
  const Clip4 up = Transform(combined, x, y, z + kHiddenLiftPixels * pixelSpan * clip.w);
  if (!(up.w > 0)) return false;
  const double wx = viewport[0] + (up.x / up.w + 1) * 0.5 * viewport[2];
  const double wy = viewport[1] + (up.y / up.w + 1) * 0.5 * viewport[3];
  const int px = int(std::floor(wx)), py = int(std::floor(wy));
  if (px < viewport[0] || py < viewport[1] || px >= viewport[0] + viewport[2] ||
      py >= viewport[1] + viewport[3])
    return false;
  // The depth another pass of the frame read back, or the one pixel's.
  float depth = 1.0f;
  if (drawn.Held()) {
    depth = drawn.At(px - viewport[0], py - viewport[1]);
  } else {
    glReadPixels(px, py, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  }
  if (depth >= 1.0f) return false;  // nothing drawn there: the sky
  return up.w > drawn.DistanceOf(depth) * (1 + kDepthMargin);
}

// Puts back on exit the GL state the pass changes: enables, texture, colour, alpha test,
// matrices, client arrays and pixel storage.
class NotePassState {
 public:
  NotePassState(const GLint viewport[4]) {
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT | GL_CLIENT_PIXEL_STORE_BIT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glAlphaFunc(GL_GEQUAL, 0.5f);
    glEnable(GL_ALPHA_TEST);
    glDisable(GL_DEPTH_TEST);
    // Labels show their own colours whatever the surface mode: no light, fog or blending.
    glDisable(GL_LIGHTING);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    // Window pixels as vertices.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(viewport[0], viewport[0] + viewport[2], viewport[1], viewport[1] + viewport[3]);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
  }
  ~NotePassState() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopClientAttrib();
    glPopAttrib();
  }
  NotePassState(const NotePassState&) = delete;
  NotePassState& operator=(const NotePassState&) = delete;
};

}  // namespace

NotePassStats& LastNotePassStats() {
  static NotePassStats stats;
  return stats;
}

void DrawNotes(SceneObject& scene, SceneState& state, FrameTarget target) {
  NotePassStats& stats = LastNotePassStats();
  stats = NotePassStats{};
  if (state.glReady != 1 || scene.noteLoaded == 0 || g_process.overlayStore == nullptr) return;
  NoteData& notes = g_process.overlayStore->notes;
  if (!notes.loaded()) return;
  const uint16_t slot = NoteFileIndex(state);
  const bool packed = target == kTargetWindow && scene.packedPixelsExt != 0;

  double modelView[16], projection[16];
  GLint viewport[4] = {0, 0, 0, 0};
  glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (viewport[2] <= 0 || viewport[3] <= 0) return;

  NotePassState passState(viewport);
  BindOverlayTexture(scene.textureIds[kTextureNote][target], GL_CLAMP, GL_CLAMP);
  // One W x W image per target, made again when the surface's size changed; each note then
  // replaces the rows it uses.
  GLint textureWidth = 0, textureHeight = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
  if (textureWidth != notes.surface.size || textureHeight != notes.surface.size)
    glTexImage2D(GL_TEXTURE_2D, 0, 4, notes.surface.size, notes.surface.size, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, nullptr);

  const double viewRect[4] = {scene.viewRect.xMin, scene.viewRect.yMin, scene.viewRect.xMax,
                              scene.viewRect.yMax};
  const double eye[2] = {state.eyePosition[0], state.eyePosition[1]};
  const double heightScale = double(state.zScale) * double(state.sceneRadius);
  const int size = notes.surface.size;
  // First every note's place and the hidden test, then every label: reading a depth after a
  // label was drawn would wait for that drawing to finish, once per note.
  struct Placed {
    const char* text;
    uint32_t colour;
    int x, y;
  };
  std::vector<Placed> placed;
  placed.reserve(size_t(std::max(notes.count, 0)));
  DrawnDepth drawn(viewport, projection);
  double combined[16];
  Multiply(projection, modelView, combined);
  for (int32_t i = 0; i < notes.count && size_t(i) < notes.anchors.size(); ++i) {
    const TnNoteDescriptor& note = notes.descriptors[i];
    const NoteAnchor& anchor = notes.anchors[size_t(i)];
    double point[2] = {0, 0};
    const char* text = nullptr;
    MapNoteParameters parameters{};
    if (note.shown == 0 || anchor.read == 0 ||
        BaseGetNote(slot, note.record, point, &text, nullptr, &parameters) != MAP_OK ||
        text == nullptr || BasePointInRect(point, viewRect) != MAP_OK ||
        BasePointDistance(eye, point) > note.maxEyeDistance) {
      ++stats.skipped;
      continue;
    }
    const double offset = heightScale != 0 ? note.heightOffset / heightScale : 0.0;
    const double z = anchor.z + offset;
    GLdouble wx = 0, wy = 0, wz = 0;
    if (gluProject(anchor.x, anchor.y, z, modelView, projection, viewport, &wx, &wy, &wz) != GL_TRUE) {
      ++stats.skipped;
      continue;
    }
    const float fx = float(wx), fy = float(wy);
    if (!AnchorInViewport(fx, fy, viewport)) {
      // In a tile, a label whose point lies in the tile to its left or below reaches into this
      // one, and is drawn here too (its point cannot be tested against terrain drawn in another
      // tile: it counts as seen), so that labels are not cut at the tiles' seams.
      const NoteTextBox box = scene.drawingTile ? MeasureNoteText(notes.surface, text) : NoteTextBox{};
      const bool reaches = scene.drawingTile && fx + float(box.width) >= float(viewport[0]) &&
                           fx <= float(viewport[0] + viewport[2]) &&
                           fy + float(box.height) >= float(viewport[1]) &&
                           fy <= float(viewport[1] + viewport[3]);
      if (!reaches) {
        ++stats.skipped;
        continue;
      }
    }
    if (HiddenByTerrain(combined, projection, viewport, anchor.x, anchor.y, z, drawn)) {
      ++stats.hidden;
      continue;
    }
    int32_t red = 0, green = 0, blue = 0;
    const uint32_t colour = MapGetColorRGB(parameters.colourNumber, &red, &green, &blue) != 0
                                ? uint32_t(red | green << 8 | blue << 16)
                                : 0xFF0000u;
    placed.push_back(Placed{text, colour, int(fx), int(fy)});
  }

  // The labels are laid out one below the other in the surface, and the rows in use uploaded
  // into the texture and their quads drawn whenever the next label would not fit, and at the
  // end: one upload serves many labels, and the texture is never replaced under a label drawn
  // from it before (which would make the drawing wait for that label).
  std::vector<float>& quads = scene.overlayVertexBuffer;
  quads.resize(std::max(quads.size(), 20 * std::max<size_t>(placed.size(), 1)));
  glInterleavedArrays(GL_T2F_V3F, 0, quads.data());
  NoteSurface& surface = notes.surface;
  ClearNoteRows(surface);
  int top = 0;
  GLint batched = 0;
  auto flush = [&] {
    if (batched == 0) return;
    const int rows = std::min(std::max(top, surface.usedRows), size);
    FinishNoteRows(surface, rows, packed);
    if (packed) {
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size, rows, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1,
                      surface.packed.data());
    } else {
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, size, rows, GL_BGRA, GL_UNSIGNED_BYTE,
                      surface.bgra.data());
    }
    for (GLint k = 0; k < batched; ++k) glDrawArrays(GL_TRIANGLE_STRIP, 4 * k, 4);
    ClearNoteRows(surface);
    top = 0;
    batched = 0;
  };
  for (const Placed& note : placed) {
    // A label takes its rows and one clear row below them, which linear filtering reaches at
    // its lower edge.
    const NoteTextBox measured = MeasureNoteText(surface, note.text);
    if (top > 0 && top + measured.height + 1 > size) flush();
    const NoteTextBox box = DrawNoteText(surface, note.text, note.colour, top);
    NoteQuad(box, size, note.x, note.y, quads.data() + 20 * size_t(batched), top);
    ++batched;
    top += box.height + 1;
    ++stats.drawn;
  }
  flush();
}

}  // namespace t3d

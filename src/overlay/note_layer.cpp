#include "overlay/note_layer.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

#include "adapters/map_file.h"
#include "base/messages.h"
#include "model/mesh_inputs.h"
#include "model/process_objects.h"
#include "overlay/layer_loading.h"
#include "overlay/note_surface.h"
#include "render/overlay_passes.h"

namespace t3d {
namespace {

void DeleteWindowNoteTexture(SceneObject& scene, SceneState& state) {
  GLuint& texture = scene.textureIds[kTextureNote][kWindowContext];
  if (state.glReady == 1 && scene.MakeWindowCurrent(state) && texture != 0 && glIsTexture(texture))
    glDeleteTextures(1, &texture);
  texture = 0;
}

// Frees the font, surface and anchors and clears the layer's marks.
void FreeNotes(SceneObject& scene, SceneState& state) {
  if (g_process.overlayStore != nullptr) g_process.overlayStore->notes.Clear();
  scene.noteLoaded = 0;
  SetNoteFileIndex(state, 0);
  DeleteWindowNoteTexture(scene, state);
}

// Places every note on the terrain: its map point in scene units and the height there. A note
// whose point cannot be read keeps read = 0 and is never drawn. False without a terrain to
// place them on (a released scene) or without memory.
bool ReadAnchors(const SceneState& state, uint16_t fileIndex, const TnNoteDescriptor* descriptors,
                 int count, std::vector<NoteAnchor>& anchors) {
  TerrainArea* area = g_process.terrainArea.get();
  if (area == nullptr) return false;
  try {
    anchors.assign(size_t(count), NoteAnchor{});
  } catch (const std::bad_alloc&) {
    return false;
  }
  const GridExtent grid = GridOf(state);
  const SceneOrigin origin = OriginOf(grid);
  for (int i = 0; i < count; ++i) {
    double point[2] = {0, 0};
    if (BaseGetNotePoint(fileIndex, descriptors[i].record, point) != MAP_OK) continue;
    NoteAnchor& anchor = anchors[size_t(i)];
    anchor.x = float(origin.SceneX(point[0]));
    anchor.y = float(origin.SceneY(point[1]));
    anchor.z = float(area->HeightAtPoint(grid, point[0], point[1]));
    // A point in a hole of a grid built with holes has no ground to stand on: its note is not
    // drawn (points beside the grid are drawn as before, at the edge's height).
    anchor.read = area->InHole(grid, point[0], point[1]) ? 0 : 1;
  }
  return true;
}

}  // namespace

int LoadMapNote(SceneObject& scene, SceneState& state, uint16_t fileIndex,
                TnNoteDescriptor* descriptors, int count) {
  double extent[4];
  if (BaseGetFileError(fileIndex) != MAP_FILE_USABLE || BaseGetFileExtent(fileIndex, extent) != MAP_OK ||
      descriptors == nullptr || count <= 0)
    return TN_E_FAIL;
  if (!ExtentMeetsGrid(extent, state)) {
    ShowMessage(MessageId::kLineExtentMismatch);
    return TN_E_FAIL;
  }
  if (EnsureOverlayStore() == nullptr) return TN_E_FAIL;
  if (scene.noteLoaded != 0 || g_process.overlayStore->notes.loaded()) FreeNotes(scene, state);
  NoteData& notes = g_process.overlayStore->notes;
  if (!MakeNoteSurface(state, notes.surface)) return TN_E_FAIL;
  if (!ReadAnchors(state, fileIndex, descriptors, count, notes.anchors)) {
    notes.Clear();
    return TN_E_FAIL;
  }
  notes.descriptors = descriptors;
  notes.count = count;
  scene.noteLoaded = 1;
  SetNoteFileIndex(state, fileIndex);
  FrameOverlayPasses().notes = &DrawNotes;
  return TN_OK;
}

int UnloadMapNote(SceneObject& scene, SceneState& state) {
  if (g_process.overlayStore == nullptr || scene.noteLoaded == 0) return TN_E_FAIL;
  FreeNotes(scene, state);
  return TN_OK;
}

int SetFontParams(SceneObject& scene, SceneState& state, const TnFontParams& font) {
  std::memcpy(state.fontFace, font.face, sizeof state.fontFace);
  state.fontFlag = font.flags;
  state.fontSize = font.size;
  if (scene.noteLoaded == 0 || g_process.overlayStore == nullptr) return TN_OK;
  NoteData& notes = g_process.overlayStore->notes;
  if (!MakeNoteSurface(state, notes.surface)) FreeNotes(scene, state);
  return TN_OK;
}

void GetFontParams(const SceneState& state, TnFontParams& font) {
  std::memcpy(font.face, state.fontFace, sizeof font.face);
  font.flags = state.fontFlag;
  font.size = state.fontSize;
}

}  // namespace t3d

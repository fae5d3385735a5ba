// The note layer: the texts of chosen records of a point file as flat labels that face the
// viewer. Loading places each note's anchor on the terrain and makes the font and drawing
// surface; every frame each note in view is projected to the window, its text rendered into the
// surface, uploaded as the one note texture and drawn as a window-aligned quad whose lower-left
// corner is the projected anchor. A note whose anchor lies behind the drawn terrain (a ridge) is
// not drawn.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/scene_object.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

// The GL texture kind of the note texture (textureIds[kTextureNote][target]).
constexpr int kTextureNote = 4;

// tnLoadMapNote: TN_OK when the note layer is loaded afterwards, else TN_E_FAIL (a file whose
// extent misses the grid shows message 12 first). A loaded layer is unloaded first.
int LoadMapNote(SceneObject& scene, SceneState& state, uint16_t fileIndex,
                TnNoteDescriptor* descriptors, int count);
// tnUnLoadMapNote: TN_OK, or TN_E_FAIL when no note layer is loaded.
int UnloadMapNote(SceneObject& scene, SceneState& state);
// SetFontParam: takes the font record; with a note layer loaded the font and surface are made
// again at once, and the layer stays loaded only if that succeeds.
int SetFontParams(SceneObject& scene, SceneState& state, const TnFontParams& font);
// GetFontParam.
void GetFontParams(const SceneState& state, TnFontParams& font);

// The note pass of a frame (installed in the frame's overlay passes by the first load).
void DrawNotes(SceneObject& scene, SceneState& state, FrameTarget target);

// Counters of the last note pass, for tests and benchmarks.
struct NotePassStats {
  size_t drawn = 0;      // notes drawn
  size_t hidden = 0;     // notes behind the drawn terrain
  size_t skipped = 0;    // notes not shown, without text, out of view, too far or off the window
};
NotePassStats& LastNotePassStats();

}  // namespace t3d

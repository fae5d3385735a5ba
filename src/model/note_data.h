// The loaded note layer of the overlay store: its font, its drawing surface and the notes'
// anchors on the terrain.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "adapters/font_face.h"
#include "model/scene_state.h"
#include "terrain3d/terrain3d.h"

namespace t3d {

struct FontCloser {
  void operator()(FontFace* face) const { FontClose(face); }
};
using FontHandle = std::unique_ptr<FontFace, FontCloser>;

// The font and the W x W drawing surface every note is rendered into, one after the other.
struct NoteSurface {
  FontHandle font;
  int size = 0;                    // W
  std::vector<uint8_t> bgra;       // W x W texels of blue, green, red, alpha; the top row first
  std::vector<uint16_t> packed;    // the same as 5-5-5-1 texels, made on first use
  int usedRows = 0;                // rows the last text may have written (the rest are clear)
  bool made() const { return font != nullptr && size > 0; }
  void Clear() {
    font.reset();
    size = 0;
    usedRows = 0;
    bgra = std::vector<uint8_t>();
    packed = std::vector<uint16_t>();
  }
};

// A note's anchor: its map point in scene units and the terrain's height there. read is 0 when
// the point could not be read (the note is then never drawn).
struct NoteAnchor {
  float x = 0, y = 0, z = 0;
  uint8_t read = 0;
};

struct NoteData {
  NoteSurface surface;
  std::vector<NoteAnchor> anchors;
  TnNoteDescriptor* descriptors = nullptr;  // the host's array
  int32_t count = 0;

  bool loaded() const { return surface.made() && descriptors != nullptr; }
  void Clear() {
    surface.Clear();
    anchors = std::vector<NoteAnchor>();
    descriptors = nullptr;
    count = 0;
  }
};

// The note file slot of the scene (0: none), kept in bytes 6 and 7 of the layer indexes.
inline uint16_t NoteFileIndex(const SceneState& state) {
  return uint16_t(state.layerIndexes[6] | state.layerIndexes[7] << 8);
}
inline void SetNoteFileIndex(SceneState& state, uint16_t slot) {
  state.layerIndexes[6] = uint8_t(slot);
  state.layerIndexes[7] = uint8_t(slot >> 8);
}

}  // namespace t3d

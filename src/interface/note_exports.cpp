// The note layer's exports, the font setting, and the host's choice of the note field of map
// files.
#include "adapters/map_file.h"
#include "interface/handles.h"
#include "overlay/note_layer.h"

using t3d::AsScene;
using t3d::AsState;
using t3d::SceneCall;

TN_API int TN_CALL tnLoadMapNote(void* scene, void* state, unsigned short fileIndex,
                                 TnNoteDescriptor* descriptors, int count) {
  return SceneCall(scene, state, [&] {
    return t3d::LoadMapNote(*AsScene(scene), *AsState(state), fileIndex, descriptors, count);
  });
}

TN_API int TN_CALL tnUnLoadMapNote(void* scene, void* state, unsigned short /*fileIndex*/) {
  return SceneCall(scene, state, [&] { return t3d::UnloadMapNote(*AsScene(scene), *AsState(state)); });
}

TN_API int TN_CALL SetFontParam(void* scene, void* state, TnFontParams* font) {
  return SceneCall(scene, state, [&] {
    // A null record changes nothing.
    if (font == nullptr) return TN_OK;
    return t3d::SetFontParams(*AsScene(scene), *AsState(state), *font);
  });
}

TN_API int TN_CALL GetFontParam(void* scene, void* state, TnFontParams* font) {
  return SceneCall(scene, state, [&] {
    if (font != nullptr) t3d::GetFontParams(*AsState(state), *font);
    return TN_OK;
  });
}

TN_API void TN_CALL tnMapSetNoteField(const char* fieldName) try {
  MapFileSetNoteField(fieldName);
} catch (...) {
}

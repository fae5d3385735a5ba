// Exported functions whose behaviour is not available yet in this build. Each keeps its place in
// the export table and answers with the documented failure value of its convention
// (TN_E_FAIL for the scene interface, 0 for the block scene interface and the handle-less
// functions), writing nothing through its arguments. The file shrinks as the functions are built.
#include "terrain3d/terrain3d.h"

#define PENDING_SCENE(name, ...) \
  TN_API int TN_CALL name(void*, void*, __VA_ARGS__) { return TN_E_FAIL; }
#define PENDING_SCENE0(name) \
  TN_API int TN_CALL name(void*, void*) { return TN_E_FAIL; }
#define PENDING_BLOCK(name, ...) \
  TN_API short TN_CALL name(__VA_ARGS__) { return 0; }

extern "C" {

// Preparation, frames and outputs.

// Render settings.

// Eye, view and flight.

// Colouring, analysis and layers.
PENDING_SCENE(tnLoadMapNote, unsigned short, TnNoteDescriptor*, int)
PENDING_SCENE(tnUnLoadMapNote, unsigned short)
PENDING_SCENE(SetFontParam, TnFontParams*)
PENDING_SCENE(GetFontParam, TnFontParams*)

// Block scene interface.
PENDING_BLOCK(dmCreateDem3DScene, void**)
PENDING_BLOCK(dmDeleteDem3DScene, void*)
PENDING_BLOCK(dmPrepareDem3DScene, void*, int, TnByte, float*)
PENDING_BLOCK(dmPrepareTexture, void*, const char*, int, TnByte, TnByte)
PENDING_BLOCK(dmGetCurrentViewRange, void*, TnViewRecord*, TnViewRangeRecord*)
PENDING_BLOCK(dmRenderDem3DScene, void*, TnViewRangeRecord*, TnByte, int, TnLoadTileCallback,
              TnDrawMeshCallback, void*)
PENDING_BLOCK(dmSetDisplayQuality, void*, int)
PENDING_BLOCK(dmGetDisplayQuality, void*, int*)
PENDING_BLOCK(dmSetHeightLayerColor, void*, TnProgressControl)
PENDING_BLOCK(dmLoadMapRegArea, void*, unsigned short)
PENDING_BLOCK(dmUnLoadMapRegArea, void*)
PENDING_BLOCK(dmPreparePlaneScene, void*, TnGridHeader*, TnByte, float*)
PENDING_BLOCK(dmLabelLinCrossCell, void*, const double*, const double*, const double*, void*,
              void*)
PENDING_BLOCK(dmBeginDrawGraph, void*)
PENDING_BLOCK(dmEndDrawGraph, void*)
PENDING_BLOCK(dmDrawPlaneGraph, void*, void*, void*)
PENDING_BLOCK(dmGetTextureByBlkNo, void*, int, void*)

}  // extern "C"

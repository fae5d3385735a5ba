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
PENDING_SCENE(tnLoadRoad, unsigned short, TnRoadParams*)
PENDING_SCENE(tnUnLoadRoad, unsigned short)

}  // extern "C"

// Host extension: how preparation stores heights that are missing in the DEM.
#include "model/process_objects.h"
#include "terrain/missing_cells.h"
#include "terrain3d/terrain3d.h"

extern "C" {

TN_API int TN_CALL tnSetMissingHeights(int mode) {
  switch (mode) {
    case TN_MISSING_AS_LOWEST: t3d::g_process.missingHeights = t3d::MissingHeights::kLowest; return TN_OK;
    case TN_MISSING_AS_HOLES: t3d::g_process.missingHeights = t3d::MissingHeights::kHoles; return TN_OK;
    default: return TN_E_FAIL;
  }
}

}  // extern "C"

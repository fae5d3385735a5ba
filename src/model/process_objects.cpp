#include "model/process_objects.h"

namespace t3d {

ProcessObjects g_process;

}  // namespace t3d

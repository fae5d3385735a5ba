// Linked into the tests of sanitizer builds. The GL drivers are loaded and unloaded by libglvnd;
// LeakSanitizer reports at exit, after the unloading, so leaks inside a driver come with no
// module name and cannot be suppressed. Loading the drivers once more, never to be unloaded,
// keeps their names for the suppression file.
#include <dlfcn.h>

namespace {

struct PinDrivers {
  PinDrivers() {
    const char* drivers[] = {"libGLX_mesa.so.0", "libEGL_mesa.so.0",
                             "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"};
    for (const char* name : drivers) dlopen(name, RTLD_NOW | RTLD_NODELETE);
  }
} pin;

}  // namespace

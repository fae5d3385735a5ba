// Linked into the tests of sanitizer builds. The GL drivers are loaded and unloaded by libglvnd;
// LeakSanitizer reports at exit, after the unloading, so leaks inside a driver come with no
// module name and cannot be suppressed. Loading the drivers once more, never to be unloaded,
// keeps their names for the suppression file.
//
// It also keeps Mesa's driver threads out of these processes: llvmpipe's rasteriser and compute
// pools and the shader cache queue live until the process ends, and LeakSanitizer's exit-time
// stop of every thread has crashed on them ("Tracer caught signal 11"). Drawing in the calling
// thread without a shader cache leaves nothing to stop. (Set here rather than as test
// environment: gtest_discover_tests passes only the first of several variables on.)
#include <dlfcn.h>

#include <cstdlib>

namespace {

struct PinDrivers {
  PinDrivers() {
    setenv("LP_NUM_THREADS", "0", 0);
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    const char* drivers[] = {"libGLX_mesa.so.0", "libEGL_mesa.so.0",
                             "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"};
    for (const char* name : drivers) dlopen(name, RTLD_NOW | RTLD_NODELETE);
  }
} pin;

}  // namespace

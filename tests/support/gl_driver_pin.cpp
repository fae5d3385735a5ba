// Linked into the tests of sanitizer builds. The GL drivers are loaded and unloaded by libglvnd;
// LeakSanitizer reports at exit, after the unloading, so leaks inside a driver come with no
// module name and cannot be suppressed. Loading the drivers once more, never to be unloaded,
// keeps their names for the suppression file.
//
// It also keeps Mesa's driver threads out of these processes (drawing in the calling thread
// without a shader cache queue), so that LeakSanitizer's exit-time stop has fewer threads to
// stop. (Set here rather than as test environment: gtest_discover_tests passes only the first
// of several variables on.)
//
// The sanitizer runtime of GCC 12 misreads some dynamic TLS blocks (those that happen to start
// 16 bytes into a page look like a pre-2.25 glibc block with a header), and the exit-time leak
// check then crashes in its thread stop ("Tracer caught signal 11") after every test has passed.
// Not intercepting __tls_get_addr avoids it; dynamic TLS here belongs to the GL drivers, whose
// leaks are suppressed anyway.
#include <dlfcn.h>

#include <cstdlib>

extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "intercept_tls_get_addr=0";
}

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

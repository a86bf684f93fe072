// Mesa's EGL and GL drivers keep memory until the process ends. They are
// loaded at run time; kept loaded here (never unloaded), the leak checker
// can name them and leaves their memory alone.
#include <dlfcn.h>

#include "gl_fixture.h"

namespace gltest {

void KeepGLDriversLoaded() {
  static const bool once = [] {
    const char* libs[] = {"libEGL.so.1", "libEGL_mesa.so.0", "libGLdispatch.so.0", "libglapi.so.0", "libgbm.so.1",
                          "libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"};
    for (const char* lib : libs) dlopen(lib, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    return true;
  }();
  (void)once;
}

}  // namespace gltest

// The leak checker's walk over dynamic TLS follows a stale slot once these
// drivers have been loaded and torn down, and its tracer crashes at exit.
// Thread-local blocks are left out of the walk; what the loader keeps for the
// drivers (reachable only through those blocks) is then named here instead.
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }

extern "C" const char* __lsan_default_suppressions() {
  return "leak:ld-linux-x86-64.so.2\nleak:libEGL_mesa.so\nleak:libEGL.so\nleak:libGLdispatch.so\nleak:libglapi.so\nleak:swrast_dri.so\n"
         "leak:libgbm.so\nleak:libLLVM\nleak:libGLX_mesa.so\nleak:libdrm\n";
}

// The same drivers synchronise their own threads in ways the thread checker
// does not see (it only sees their calls into the C library).
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:swrast_dri.so\ncalled_from_lib:libLLVM-15.so.1\ncalled_from_lib:libEGL_mesa.so.0\n"
         "called_from_lib:libglapi.so.0\nrace:swrast_dri.so\n";
}

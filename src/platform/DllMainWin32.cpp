// The Windows library's load and unload hooks: process attach runs the plugin's
// start-up and process detach its shutdown. Linked into the plugin module only,
// not into vx_platform, so programs built on the static libraries get no hooks.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "plugin/uSvgWdx.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      PluginStartup();
      break;
    case DLL_PROCESS_DETACH:
      // A non-null reserved means the process is ending: its other threads are
      // already gone, possibly inside a value request, and the system frees the
      // memory anyway. Only a FreeLibrary unload tears the plugin down.
      if (reserved == nullptr) PluginShutdown();
      break;
    default:  // thread attach and detach need nothing
      break;
  }
  return TRUE;
}

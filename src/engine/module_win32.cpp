#include "engine/module.h"

namespace installation_assistant::engine {
namespace {
HINSTANCE moduleInstance = nullptr;
}  // namespace

HINSTANCE ModuleInstance() { return moduleInstance; }

}  // namespace installation_assistant::engine

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  // Window classes are registered with this instance, not the host's.
  if (reason == DLL_PROCESS_ATTACH) installation_assistant::engine::moduleInstance = instance;
  return TRUE;
}

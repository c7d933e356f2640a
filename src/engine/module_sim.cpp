#include "engine/module.h"

namespace installation_assistant::engine {
namespace {
const int moduleAnchor = 0;
}  // namespace

// In the simulation the engine is linked into the program; simwin still tells its
// module apart by address, as the real DLL's entry point would.
HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&moduleAnchor), &module);
  return module;
}

}  // namespace installation_assistant::engine

// simwin modules: the executable, the engine's own module and user32 (the one system module the engine loads by
// name, for SetProcessDPIAware), with the loader calls that reach them.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/sim/internal.h"

namespace {

const HMODULE kUser32 = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x75A10000));
const HMODULE kEngineModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));
const HMODULE kExeModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x00400000));

bool IsUser32Name(LPCWSTR name) {
  if (!name) return false;
  std::wstring lower = simwin::detail::FoldCase(name);
  return lower == L"user32.dll" || lower == L"user32";
}

}  // namespace

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!IsUser32Name(lpLibFileName)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return kUser32;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  if (hLibModule != kUser32 && hLibModule != kEngineModule && hLibModule != kExeModule) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (hModule == kUser32 && lpProcName && reinterpret_cast<uintptr_t>(lpProcName) > 0xFFFF &&
      std::strcmp(lpProcName, "SetProcessDPIAware") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&SetProcessDPIAware));
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  if (!lpModuleName) return kExeModule;
  if (IsUser32Name(lpModuleName)) return kUser32;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  if (!phModule) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    if (!lpModuleName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    *phModule = kEngineModule;
    return TRUE;
  }
  *phModule = GetModuleHandleW(lpModuleName);
  return *phModule != nullptr;
}

BOOL WINAPI SetProcessDPIAware(void) { return TRUE; }

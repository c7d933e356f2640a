// simwin: what one process hands another to name an object: events opened by ANSI name, GUIDs as text.
#include <cstdio>
#include <random>
#include <string>

#include "platform/win32.h"

namespace {

// ANSI names: simwin's code page is UTF-8.
std::wstring Widen(LPCSTR name) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, name, -1, wide.data(), n);
  wide.resize(wide.size() - 1);
  return wide;
}

}  // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
  if (!lpName) return CreateEventW(lpEventAttributes, bManualReset, bInitialState, nullptr);
  return CreateEventW(lpEventAttributes, bManualReset, bInitialState, Widen(lpName).c_str());
}

HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName) {
  if (!lpName) return OpenEventW(dwDesiredAccess, bInheritHandle, nullptr);
  return OpenEventW(dwDesiredAccess, bInheritHandle, Widen(lpName).c_str());
}

HRESULT WINAPI CoCreateGuid(GUID* pguid) {
  if (!pguid) return E_INVALIDARG;
  thread_local std::mt19937_64 random{std::random_device{}()};
  const uint64_t high = random();
  const uint64_t low = random();
  pguid->Data1 = static_cast<DWORD>(high >> 32);
  pguid->Data2 = static_cast<WORD>(high >> 16);
  // A random GUID: version 4 in the top bits of Data3, the RFC 4122 variant in Data4[0].
  pguid->Data3 = static_cast<WORD>((high & 0x0FFF) | 0x4000);
  for (int i = 0; i < 8; ++i) pguid->Data4[i] = static_cast<BYTE>(low >> (8 * i));
  pguid->Data4[0] = static_cast<BYTE>((pguid->Data4[0] & 0x3F) | 0x80);
  return S_OK;
}

int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  char text[40];
  const int n = std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                              static_cast<unsigned>(rguid.Data1), rguid.Data2, rguid.Data3, rguid.Data4[0],
                              rguid.Data4[1], rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5],
                              rguid.Data4[6], rguid.Data4[7]);
  // The count includes the terminating null; a buffer too small gets nothing and 0.
  if (!lpsz || cchMax < n + 1) return 0;
  for (int i = 0; i <= n; ++i) lpsz[i] = static_cast<OLECHAR>(text[i]);
  return n + 1;
}

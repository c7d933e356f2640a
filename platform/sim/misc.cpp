// simwin: modules, text conversion, system messages, COM apartment bookkeeping.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/sim/acc_internal.h"

namespace {

// Windows' own English texts (the message table of kernel32/ole32), with their "\r\n".
struct SystemMessage {
  DWORD code;
  const wchar_t* text;
};
constexpr SystemMessage kSystemMessages[] = {
    {0, L"The operation completed successfully.\r\n"},
    {2, L"The system cannot find the file specified.\r\n"},
    {5, L"Access is denied.\r\n"},
    {6, L"The handle is invalid.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {14,
     L"Not enough memory resources are available to complete this "
     L"operation.\r\n"},
    {18, L"There are no more files.\r\n"},
    {24, L"The program issued a command but the command length is incorrect.\r\n"},
    {50, L"The request is not supported.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {120, L"This function is not supported on this system.\r\n"},
    {122, L"The data area passed to a system call is too small.\r\n"},
    {126, L"The specified module could not be found.\r\n"},
    {127, L"The specified procedure could not be found.\r\n"},
    {183, L"Cannot create a file when that file already exists.\r\n"},
    {258, L"The wait operation timed out.\r\n"},
    {317,
     L"The system cannot find message text for message number 0x%1 in the "
     L"message file for %2.\r\n"},
    {1004, L"Invalid flags.\r\n"},
    {1113,
     L"No mapping for the Unicode character exists in the target "
     L"multi-byte code page.\r\n"},
    {1400, L"Invalid window handle.\r\n"},
    {1404, L"Invalid hook handle.\r\n"},
    {1406, L"Cannot create a top-level child window.\r\n"},
    {1407, L"Cannot find window class.\r\n"},
    {1410, L"Class already exists.\r\n"},
    {1411, L"Class does not exist.\r\n"},
    {1412, L"Class still has open windows.\r\n"},
    {1413, L"Invalid index.\r\n"},
    {1426, L"Invalid hook procedure type.\r\n"},
    {1427, L"Invalid hook procedure.\r\n"},
    {1444, L"Invalid thread identifier.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
};
struct HresultMessage {
  HRESULT hr;
  const wchar_t* text;
};
const HresultMessage kHresultMessages[] = {
    {E_NOTIMPL, L"Not implemented\r\n"},
    {E_NOINTERFACE, L"No such interface supported\r\n"},
    {E_POINTER, L"Invalid pointer\r\n"},
    {E_FAIL, L"Unspecified error\r\n"},
    {E_UNEXPECTED, L"Catastrophic failure\r\n"},
    {RPC_E_CHANGED_MODE, L"Cannot change thread mode after it is set.\r\n"},
    {static_cast<HRESULT>(0x80040154L), L"Class not registered\r\n"},
    {static_cast<HRESULT>(0x800401F0L), L"CoInitialize has not been called.\r\n"},
};

const wchar_t* LookUpSystemMessage(DWORD id) {
  for (auto& m : kHresultMessages) {
    if (static_cast<DWORD>(m.hr) == id) return m.text;
  }
  // FACILITY_WIN32 HRESULTs carry the Win32 code in their low word.
  if ((id & 0xFFFF0000u) == 0x80070000u) id &= 0xFFFFu;
  for (auto& m : kSystemMessages) {
    if (m.code == id) return m.text;
  }
  return nullptr;
}

const HMODULE kUser32 = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x75A10000));
const HMODULE kEngineModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10000000));
const HMODULE kExeModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x00400000));

bool IsUser32Name(LPCWSTR name) {
  if (!name) return false;
  std::wstring lower = simwin::detail::FoldCase(name);
  return lower == L"user32.dll" || lower == L"user32";
}

struct ComState {
  int count = 0;
  DWORD model = 0;
};
thread_local ComState t_com;

}  // namespace

// ---------------------------------------------------------------------------------------
// Modules
// ---------------------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------------------
// Text conversion (UTF-8 <-> code points)
// ---------------------------------------------------------------------------------------
namespace {

// Decodes one UTF-8 sequence at s[i..n); returns the code point or -1 for a malformed sequence, advancing i past what
// was consumed (one byte for a malformed lead).
long DecodeUtf8(const unsigned char* s, int n, int& i) {
  unsigned char c = s[i];
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len;
  long cp;
  long min;
  if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    ++i;
    return -1;
  }
  int j = 1;
  for (; j < len; ++j) {
    if (i + j >= n || (s[i + j] & 0xC0) != 0x80) break;
    cp = (cp << 6) | (s[i + j] & 0x3F);
  }
  if (j < len) {
    // A truncated sequence: Windows replaces the bytes consumed so far with one U+FFFD.
    i += j;
    return -1;
  }
  i += len;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return cp;
}

}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (CodePage != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = cbMultiByte < 0 ? static_cast<int>(std::strlen(lpMultiByteStr)) + 1 : cbMultiByte;
  auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  std::wstring out;
  for (int i = 0; i < n;) {
    long cp = DecodeUtf8(s, n, i);
    if (cp < 0) {
      if (dwFlags & MB_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = 0xFFFD;
    }
    out.push_back(static_cast<wchar_t>(cp));
  }
  int needed = static_cast<int>(out.size());
  if (cchWideChar == 0) return needed;
  if (cchWideChar < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(lpWideCharStr, out.data(), out.size());
  return needed;
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar) {
  if (CodePage != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  // UTF-8 has no default character: Windows rejects these for CP_UTF8.
  if (lpDefaultChar || lpUsedDefaultChar || !lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int n = cchWideChar < 0 ? static_cast<int>(std::wcslen(lpWideCharStr)) + 1 : cchWideChar;
  std::string out;
  for (int i = 0; i < n; ++i) {
    unsigned long cp = static_cast<unsigned long>(static_cast<uint32_t>(lpWideCharStr[i]));
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      if (dwFlags & WC_ERR_INVALID_CHARS) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
      }
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  int needed = static_cast<int>(out.size());
  if (cbMultiByte == 0) return needed;
  if (cbMultiByte < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, out.data(), out.size());
  return needed;
}

// ---------------------------------------------------------------------------------------
// System messages
// ---------------------------------------------------------------------------------------
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize, void*) {
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  const wchar_t* text = LookUpSystemMessage(dwMessageId);
  if (!text) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  size_t len = std::wcslen(text);
  if (!lpBuffer || nSize <= len) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::wmemcpy(lpBuffer, text, len + 1);
  return static_cast<DWORD>(len);
}

const WCHAR* _com_error::ErrorMessage() const noexcept {
  if (message_[0]) return message_;
  DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             static_cast<DWORD>(hr_), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message_,
                             sizeof(message_) / sizeof(message_[0]), nullptr);
  if (len > 0) {
    // comdef.h drops the trailing line break of the system text.
    if (len > 1 && message_[len - 1] == L'\n') {
      message_[len - 1] = 0;
      if (message_[len - 2] == L'\r') message_[len - 2] = 0;
    }
    return message_;
  }
  DWORD u = static_cast<DWORD>(hr_);
  if (u >= 0x80040200u && u <= 0x8004FFFFu) {
    std::swprintf(message_, sizeof(message_) / sizeof(message_[0]), L"IDispatch error #%d",
                  static_cast<int>(u - 0x80040200u));
  } else {
    std::swprintf(message_, sizeof(message_) / sizeof(message_[0]), L"Unknown error 0x%0lX",
                  static_cast<unsigned long>(u));
  }
  return message_;
}

// ---------------------------------------------------------------------------------------
// COM apartments
// ---------------------------------------------------------------------------------------
HRESULT WINAPI CoInitializeEx(LPVOID, DWORD dwCoInit) {
  DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
  if (t_com.count > 0) {
    if (t_com.model != model) return RPC_E_CHANGED_MODE;
    ++t_com.count;
    return S_FALSE;
  }
  t_com.model = model;
  t_com.count = 1;
  return S_OK;
}

void WINAPI CoUninitialize(void) {
  if (t_com.count > 0) --t_com.count;
}

namespace simwin::detail {
bool ComInitializedOnThisThread() { return t_com.count > 0; }
}  // namespace simwin::detail

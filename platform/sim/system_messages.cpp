// simwin system messages: FormatMessageW from the system's table, and _com_error's text, which comes from it.
#include <cstdio>
#include <cwchar>

#include "platform/win32.h"

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

}  // namespace

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

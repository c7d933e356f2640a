#include "common/win32_error.h"

#include <cstdio>
#include <string>

#include "common/text.h"

namespace installation_assistant {
namespace {

class Win32ErrorCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "win32"; }

  std::string message(int code) const override {
    wchar_t buffer[512] = {};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code),
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof(buffer) / sizeof(buffer[0]), nullptr);
    std::wstring text(buffer, length);
    // System messages end in "\r\n", which would split a trace record.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (text.empty()) {
      char fallback[48];
      std::snprintf(fallback, sizeof(fallback), "Unknown error 0x%08X", static_cast<unsigned>(code));
      return fallback;
    }
    return WideToUtf8(text);
  }
};

}  // namespace

const std::error_category& Win32Category() {
  static const Win32ErrorCategory category;
  return category;
}

std::system_error Win32Error(DWORD code, const char* context) {
  return std::system_error(static_cast<int>(code), Win32Category(), context);
}

std::system_error LastWin32Error(const char* context) { return Win32Error(GetLastError(), context); }

}  // namespace installation_assistant

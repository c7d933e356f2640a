#include "common/text.h"

#include <climits>

#include "platform/win32.h"

namespace installation_assistant {

std::wstring Utf8ToWide(std::string_view text) {
  // A zero length means failure to MultiByteToWideChar, so the empty text is answered here.
  if (text.empty()) return std::wstring();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return kConversionErrorTextW;
  const int length = static_cast<int>(text.size());
  // No flags: malformed sequences become U+FFFD instead of failing the whole text.
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return kConversionErrorTextW;
  std::wstring result(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), needed) != needed) {
    return kConversionErrorTextW;
  }
  return result;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return kConversionErrorText;
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return kConversionErrorText;
  std::string result(static_cast<std::size_t>(needed), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), needed, nullptr, nullptr) != needed) {
    return kConversionErrorText;
  }
  return result;
}

}  // namespace installation_assistant

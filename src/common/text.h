// UTF-8 (host and element texts) <-> UTF-16 (trace, Win32 wide calls).
#pragma once

#include <string>
#include <string_view>

namespace installation_assistant {

// Replaces a text that cannot be converted, so that a bad host string never stops a trace.
inline constexpr char kConversionErrorText[] = "Error converting input string.";
inline constexpr wchar_t kConversionErrorTextW[] = L"Error converting input string.";

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace installation_assistant

// Win32 last-error codes as std::system_error, with the system's own message text.
#pragma once

#include <system_error>

#include "platform/win32.h"

namespace installation_assistant {

// what() of an error built on this category reads "<context>: <system message>", for
// example "Cannot open process: The parameter is incorrect.".
const std::error_category& Win32Category();

std::system_error Win32Error(DWORD code, const char* context);
// Reads GetLastError() first, before anything else can overwrite it.
std::system_error LastWin32Error(const char* context);

}  // namespace installation_assistant

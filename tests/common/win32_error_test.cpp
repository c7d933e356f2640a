#include "common/win32_error.h"

#include <gtest/gtest.h>

namespace installation_assistant {
namespace {

TEST(Win32ErrorTest, WhatCarriesContextAndSystemMessage) {
  const std::pair<DWORD, std::string> cases[] = {
      {ERROR_INVALID_PARAMETER, "Cannot open process: The parameter is incorrect."},
      {ERROR_ACCESS_DENIED, "Cannot open process: Access is denied."},
  };
  for (const auto& [code, what] : cases) {
    const std::system_error error = Win32Error(code, "Cannot open process");
    EXPECT_EQ(error.what(), what);
    EXPECT_EQ(error.code().value(), static_cast<int>(code));
    EXPECT_EQ(&error.code().category(), &Win32Category());
  }
}

TEST(Win32ErrorTest, LastErrorIsReadFromTheThread) {
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(LastWin32Error("Failed").code().value(), static_cast<int>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
}  // namespace installation_assistant

// What an action raises, as a value a test can compare: the message of a std::logic_error, the HRESULT of a
// _com_error; "no exception" / S_OK when it raises nothing.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "platform/win32.h"

namespace installation_assistant::testing {

inline std::string LogicErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::logic_error& error) {
    return error.what();
  }
  return "no exception";
}

inline HRESULT ComErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const _com_error& error) {
    return error.Error();
  }
  return S_OK;
}

}  // namespace installation_assistant::testing

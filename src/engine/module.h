// The engine module's own instance handle.
#pragma once

#include "platform/win32.h"

namespace installation_assistant::engine {

HINSTANCE ModuleInstance();

}  // namespace installation_assistant::engine

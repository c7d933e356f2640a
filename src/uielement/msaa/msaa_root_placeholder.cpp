// Placeholder until the MSAA backend lands; replaced by it.
#include "uielement/ui_element.h"

namespace installation_assistant {
std::shared_ptr<UIElement> CreateMSAARootElement(HWND) { throw _com_error(E_NOTIMPL); }
}  // namespace installation_assistant

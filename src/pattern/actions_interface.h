// The operations of the actions processor that a pattern's actions call. Each takes the live
// element the action is for and returns whether the action was carried out.
#pragma once

#include <cstdint>
#include <memory>

#include "uielement/ui_element.h"

namespace installation_assistant {

// Empty (failed clear) when the action is done; failed set when it was not carried out and
// is to be tried again on the next pass, with followUp to call when that pass matches.
using ActionResult = PatternActionResult;

class IActionsProcessor {
 public:
  virtual ~IActionsProcessor() = default;

  virtual ActionResult SetCheckBox(const std::shared_ptr<UIElement>& element) = 0;
  virtual ActionResult UnsetCheckBox(const std::shared_ptr<UIElement>& element) = 0;
  virtual ActionResult SelectRadioButton(const std::shared_ptr<UIElement>& element) = 0;
  virtual ActionResult AssignMessageBox(const std::shared_ptr<UIElement>& element) = 0;
  virtual ActionResult PushButton(const std::shared_ptr<UIElement>& element) = 0;
  // x and y are pixels when isAbsolute, else percent of the element's size.
  virtual ActionResult PixelClick(const std::shared_ptr<UIElement>& element, std::uint32_t x, std::uint32_t y,
                                  bool isAbsolute) = 0;
};

}  // namespace installation_assistant

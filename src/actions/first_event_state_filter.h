// Swallows the one state-change event that the engine's own action on a control causes,
// so that only the user's changes are reported.
#pragma once

#include <string>

namespace installation_assistant {

class FirstEventStateFilter {
 public:
  FirstEventStateFilter(std::string elementDescription, bool expectedState)
      : elementDescription_(std::move(elementDescription)), expectedState_(expectedState) {}

  // Only the first event is looked at; it is swallowed when it shows the state the engine
  // set. Never re-arms.
  bool AllowEvent(bool newState);

 private:
  std::string elementDescription_;
  bool expectedState_;
  bool armed_ = true;
};

}  // namespace installation_assistant

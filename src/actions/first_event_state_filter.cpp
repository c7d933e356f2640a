#include "actions/first_event_state_filter.h"

#include "common/trace.h"

namespace installation_assistant {

bool FirstEventStateFilter::AllowEvent(bool newState) {
  if (!armed_) return true;
  armed_ = false;
  if (newState != expectedState_) return true;
  TRACE(Debug) << "Got event from self; element: " << elementDescription_;
  return false;
}

}  // namespace installation_assistant

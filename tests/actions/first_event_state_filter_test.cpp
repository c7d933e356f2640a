#include "actions/first_event_state_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/trace_capture.h"

namespace installation_assistant {
namespace {

// A swallowed event is traced with the element.
TEST(FirstEventStateFilterTest, OnlyTheFirstEventShowingTheExpectedStateIsSwallowed) {
  struct Case {
    const char* name;
    bool expected;
    std::vector<bool> states;
    std::vector<bool> allowed;
  };
  const Case cases[] = {
      {"own change, then the user's", true, {true, true}, {false, true}},
      {"user first", true, {false, true}, {true, true}},
      {"unchecked by the engine", false, {false, false, true}, {false, true, true}},
      {"user first, unchecked expected", false, {true, false}, {true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simwin::RecordingHost host;
    testing::TraceCapture capture(host);
    FirstEventStateFilter filter("Window\\Pane(0)\\CheckBox(1)", c.expected);
    std::vector<bool> allowed;
    for (bool state : c.states) allowed.push_back(filter.AllowEvent(state));
    EXPECT_EQ(allowed, c.allowed);
    EXPECT_EQ(host.TracesContaining(L"FirstEventStateFilter::AllowEvent\tGot event from self; element: "
                                    L"Window\\Pane(0)\\CheckBox(1)")
                  .size(),
              static_cast<std::size_t>(std::count(c.allowed.begin(), c.allowed.end(), false)));
  }
}

}  // namespace
}  // namespace installation_assistant

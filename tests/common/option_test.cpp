#include "common/option.h"

#include <gtest/gtest.h>

#include <string>

#include "common/raised.h"

namespace installation_assistant {
namespace {

TEST(OptionTest, ReadingNoneIsALogicError) {
  const Option<std::string> none = Option<std::string>::None();
  EXPECT_EQ(none.GetOr("fallback"), "fallback");
  EXPECT_EQ(testing::LogicErrorOf([&] { none.Get(); }), "Option.Get called for None().");
}

}  // namespace
}  // namespace installation_assistant

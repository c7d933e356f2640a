#include "common/option.h"

#include <gtest/gtest.h>

#include <string>

namespace installation_assistant {
namespace {

TEST(OptionTest, ReadingNoneIsALogicError) {
  const Option<std::string> none = Option<std::string>::None();
  EXPECT_TRUE(none.IsNone());
  try {
    none.Get();
    FAIL() << "Get on None did not throw";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Option.Get called for None().");
  }
  EXPECT_EQ(none.GetOr("fallback"), "fallback");

  Option<std::string> some = Option<std::string>::Some("value");
  ASSERT_TRUE(some.IsSome());
  EXPECT_EQ(some.Get(), "value");
  EXPECT_EQ(some.GetOr("fallback"), "value");
  EXPECT_NE(some, none);
}

}  // namespace
}  // namespace installation_assistant

#include "common/option.h"

#include <gtest/gtest.h>

#include <string>

namespace installation_assistant {
namespace {

TEST(OptionTest, ReadingNoneIsALogicError) {
  const Option<std::string> none = Option<std::string>::None();
  EXPECT_EQ(none.GetOr("fallback"), "fallback");
  try {
    none.Get();
    FAIL() << "Get on None did not throw";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Option.Get called for None().");
  }
}

}  // namespace
}  // namespace installation_assistant

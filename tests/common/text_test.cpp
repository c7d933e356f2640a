#include "common/text.h"

#include <gtest/gtest.h>

namespace installation_assistant {
namespace {

TEST(TextTest, ConvertsBetweenUtf8AndWide) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"", L""},
      {"Next >", L"Next >"},
      {"Install \xE2\x80\x9C" "Toolbar\xE2\x80\x9D", L"Install \u201CToolbar\u201D"},
      {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
  };
  for (const auto& [narrow, wide] : cases) {
    EXPECT_EQ(Utf8ToWide(narrow), wide) << narrow;
    EXPECT_EQ(WideToUtf8(wide), narrow) << narrow;
  }
}

TEST(TextTest, MalformedUtf8IsReplacedNotRejected) {
  EXPECT_EQ(Utf8ToWide("ok \xC3"), L"ok \uFFFD");
  EXPECT_EQ(Utf8ToWide("\x80x"), L"\uFFFDx");
}

}  // namespace
}  // namespace installation_assistant

#include "pattern/text_condition.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "small_stack.h"

namespace installation_assistant {
namespace {

// A name too complex for the expression gives up instead: matcher_test.cpp.
TEST(TextCondition, HugeNamesFinishOnASmallStack) {
  const std::wstring install = L"Install" + std::wstring(1 << 20, L'x');
  TextMatch prefix = TextMatch::NotMatched, any = TextMatch::NotMatched;
  RunOnSmallStack(256 * 1024, [&] {
    prefix = MatchWholeText(L"Install.*", install);
    any = MatchWholeText(L".*", install);
  });
  EXPECT_EQ(prefix, TextMatch::Matched);
  EXPECT_EQ(any, TextMatch::Matched);
}

TEST(TextCondition, AgreesWithTheStandardGrammarOnOrdinaryPatterns) {
  struct Case {
    const wchar_t* expression;
    const wchar_t* name;
  };
  const Case cases[] = {
      {L"Setup.*", L"Setup - App"}, {L"Setup.*", L"A Setup"},     {L"[Ii]nstall", L"install"},
      {L"Next >", L"Next >"},       {L"\\d+ MB", L"120 MB"},      {L"I (agree|accept)", L"I accept"},
      {L"a{2,3}", L"aaaa"},         {L"(?:Yes|No)!?", L"Yes!"},   {L"\\w+\\s\\w+", L"Ask Toolbar"},
      {L".*offer.*", L"Special offer inside"}, {L"^Setup$", L"Setup"}, {L"", L""},
  };
  for (const Case& c : cases) {
    const bool standard = std::regex_match(std::wstring(c.name), std::wregex(c.expression));
    EXPECT_EQ(MatchWholeText(c.expression, c.name) == TextMatch::Matched, standard) << c.expression;
  }
  EXPECT_FALSE(IsValidTextCondition(L"Setup (x86"));
  EXPECT_TRUE(IsValidTextCondition(L"Setup \\(x86"));
}

// Compiled expressions are kept and shared: machine threads match the same texts at once,
// and an invalid text fails every time, not only the first.
TEST(TextCondition, KeptExpressionsServeManyThreadsAndInvalidOnesKeepFailing) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_THROW(MatchWholeText(L"Setup (x86", L"Setup (x86)"), std::runtime_error) << attempt;
  }
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (std::size_t t = 0; t < wrong.size(); ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 500; ++i) {
        const std::wstring expression = L"Offer " + std::to_wstring(i % 7) + L".*";
        const std::wstring name = L"Offer " + std::to_wstring((i + static_cast<int>(t)) % 7) + L" inside";
        const bool expected = (i % 7) == ((i + static_cast<int>(t)) % 7);
        if ((MatchWholeText(expression, name) == TextMatch::Matched) != expected) ++wrong[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace installation_assistant

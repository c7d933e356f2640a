// The automation object is process-wide: this program starts without one.
#include <gtest/gtest.h>

#include "uielement/msaa/msaa_test_support.h"

namespace installation_assistant {
namespace {

using UIAutomationInstanceTest = testing::SetupDialogTest;

TEST_F(UIAutomationInstanceTest, FailedCreationIsTracedAndRetriedUntilItSucceeds) {
  OpenSetupDialog();
  simwin::InjectAccessibilityFault({"CoCreateInstance", E_OUTOFMEMORY, nullptr, L"", 2});
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(testing::ComErrorOf([&] { CreateUIAutomationRootElement(dialog_.hwnd); }), E_POINTER);
    EXPECT_EQ(Traced(TraceLevel::Error,
                     L"UIAutomationInstance::GetOrCreate\tUIAutomation failed to initialize, error: "
                     L"0x8007000e, message: "),
              static_cast<std::size_t>(attempt))
        << host_.FormatCalls(true);
  }
  EXPECT_EQ(host_.TracesContaining(L"UIAutomation successfully initialized").size(), 0u);

  root_ = CreateUIAutomationRootElement(dialog_.hwnd);
  EXPECT_EQ(root_->GetPath(), "Window");
  EXPECT_FALSE(root_->GetChildren().empty());
  auto again = CreateUIAutomationRootElement(dialog_.hwnd);
  EXPECT_EQ(Traced(TraceLevel::Info, L"UIAutomation successfully initialized"), 1u);
  EXPECT_EQ(Traced(TraceLevel::Error, L"failed to initialize"), 2u);
}

}  // namespace
}  // namespace installation_assistant

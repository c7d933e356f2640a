// The automation object is process-wide: this program starts without one.
#include <gtest/gtest.h>

#include "uielement/msaa/msaa_test_support.h"

namespace installation_assistant {
namespace {

TEST(UIAutomationInstanceTest, FailedCreationIsTracedAndRetriedUntilItSucceeds) {
  simwin::RecordingHost host;
  testing::TraceCapture capture{host};
  ComInitialization com{COINIT_MULTITHREADED};
  simwin::Process installer;
  const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, testing::SetupDialogLayout());

  simwin::AccessibilityFault fault = testing::Fault("CoCreateInstance", E_OUTOFMEMORY);
  fault.times = 2;
  simwin::InjectAccessibilityFault(fault);
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    try {
      CreateUIAutomationRootElement(dialog.hwnd);
      ADD_FAILURE() << "no exception";
    } catch (const _com_error& error) {
      EXPECT_EQ(error.Error(), E_POINTER);
    }
    EXPECT_EQ(testing::CountTraces(host, TraceLevel::Error,
                                   L"UIAutomationInstance::GetOrCreate\tUIAutomation failed to initialize, error: "
                                   L"0x8007000e, message: "),
              static_cast<std::size_t>(attempt))
        << host.FormatCalls(true);
  }
  EXPECT_EQ(host.TracesContaining(L"UIAutomation successfully initialized").size(), 0u);

  auto root = CreateUIAutomationRootElement(dialog.hwnd);
  EXPECT_EQ(root->GetPath(), "Window");
  EXPECT_FALSE(root->GetChildren().empty());
  auto again = CreateUIAutomationRootElement(dialog.hwnd);
  EXPECT_EQ(testing::CountTraces(host, TraceLevel::Info, L"UIAutomation successfully initialized"), 1u);
  EXPECT_EQ(testing::CountTraces(host, TraceLevel::Error, L"failed to initialize"), 2u);
  simwin::ClearAccessibilityFaults();
  root.reset();
  again.reset();
  installer.Exit();
}

}  // namespace
}  // namespace installation_assistant

// The demo: a host, an engine and a simulated installer, all on simwin.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "commands.h"
#include "common/trace.h"
#include "installation_assistant/engine.h"
#include "platform/sim/recording_host.h"
#include "platform/sim/simwin.h"
#include "platform/win32.h"

namespace iae_tool {
namespace {

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

// The installer's UI: a wizard page with its buttons, made on the installer's UI thread.
HWND CreateWizard() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WizardProc;
  windowClass.lpszClassName = L"SetupWizardPage";
  RegisterClassExW(&windowClass);
  HWND wizard = CreateWindowExW(0, L"SetupWizardPage", L"Setup - Sample App", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                                100, 500, 380, nullptr, nullptr, nullptr, nullptr);
  const wchar_t* const buttons[] = {L"< &Back", L"&Next >", L"Cancel"};
  int x = 230;
  for (const wchar_t* text : buttons) {
    CreateWindowExW(0, L"SetupWizardPage", text, WS_CHILD | WS_VISIBLE, x, 320, 80, 24, wizard, nullptr, nullptr,
                    nullptr);
    x += 88;
  }
  return wizard;
}

std::string Narrow(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int RunDemo(const DemoOptions& options) {
  using namespace std::chrono;
  const auto start = steady_clock::now();
  auto stamp = [&] {
    char text[32];
    std::snprintf(text, sizeof(text), "[%5lld ms] ",
                  static_cast<long long>(duration_cast<milliseconds>(steady_clock::now() - start).count()));
    return std::string(text);
  };

  simwin::RecordingHost host;
  simwin::Process installer(L"setup.exe");
  HWND wizard = nullptr;
  installer.Invoke([&] { wizard = CreateWizard(); });
  std::cout << stamp() << "installer: process " << installer.Id() << " shows \"Setup - Sample App\" (window 0x"
            << std::hex << reinterpret_cast<uintptr_t>(wizard) << std::dec << ")\n";

  const char* factoryName = options.notifications ? "CreateEngine" : "CreateEngine2";
  auto factory = options.notifications ? &CreateEngine : &CreateEngine2;
  std::cout << stamp() << "host: " << factoryName << "(service, " << installer.Id() << ", " << options.threshold
            << ", writer)\n";
  installation_assistant::engine::IEngine* engine =
      factory(host.Service(), static_cast<long>(installer.Id()), options.threshold, host.Writer());
  if (engine == nullptr) {
    std::cerr << "the factory returned null; the trace says:\n" << host.FormatCalls(true);
    return 1;
  }

  // The simulated user finishes the wizard; the installer then ends.
  std::thread user([&] {
    std::this_thread::sleep_for(milliseconds(options.installerMilliseconds));
    installer.Invoke([&] { DestroyWindow(wizard); });
    installer.Exit(0);
  });

  std::cout << stamp() << "host: Run()\n";
  engine->Run();
  std::cout << stamp() << "host: Run() returned: the installer has exited\n";
  user.join();
  engine->Release();
  std::cout << stamp() << "host: Release()\n\n";
  // The host would now unload the module, which drops its trace writer; here the engine is
  // linked in, so drop it by hand before the host goes away.
  installation_assistant::ExchangeTraceSink(std::make_shared<installation_assistant::NullTraceWriter>());

  std::cout << "What the host was told" << (options.showTrace ? " (with the trace)" : "") << ":\n";
  for (const simwin::HostCall& call : host.AllCalls()) {
    if (call.kind == simwin::HostCall::Kind::TraceWrite) {
      if (!options.showTrace) continue;
      std::cout << "  trace[" << call.level << "] " << Narrow(call.trace) << "\n";
      continue;
    }
    if (!options.showTrace && (call.kind == simwin::HostCall::Kind::TraceFlush ||
                               call.kind == simwin::HostCall::Kind::TraceRelease))
      continue;
    std::cout << "  " << simwin::RecordingHost::Format(call) << "\n";
  }
  return 0;
}

}  // namespace iae_tool

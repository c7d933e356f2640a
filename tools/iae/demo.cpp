// The demo: a host, an engine and a simulated installer, all on simwin.
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
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

// The installer's options page, with two bundled offers checked by default.
simwin::DialogLayout OptionsPage() {
  simwin::DialogLayout page;
  page.title = L"Setup - Sample App";
  auto control = [](const wchar_t* className, DWORD style, const wchar_t* text, int id, RECT rect, UINT check) {
    simwin::ControlLayout layout;
    layout.className = className;
    layout.style = style;
    layout.text = text;
    layout.id = id;
    layout.rect = rect;
    layout.check = check;
    return layout;
  };
  page.controls = {
      control(L"Static", SS_LEFT, L"Choose the components to install:", 100, {20, 20, 380, 40}, BST_UNCHECKED),
      control(L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Install the Sample toolbar (recommended)", 101,
              {20, 50, 380, 70}, BST_CHECKED),
      control(L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Make Sample Search my home page", 102, {20, 80, 380, 100},
              BST_CHECKED),
      control(L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Create a desktop shortcut", 103, {20, 110, 380, 130},
              BST_CHECKED),
      control(L"Button", BS_PUSHBUTTON | WS_TABSTOP, L"< &Back", 104, {150, 250, 230, 274}, BST_UNCHECKED),
      control(L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, L"&Next >", 105, {240, 250, 320, 274}, BST_UNCHECKED),
      control(L"Button", BS_PUSHBUTTON | WS_TABSTOP, L"Cancel", 106, {330, 250, 390, 274}, BST_UNCHECKED),
  };
  return page;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
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
  const std::string pattern = ReadFile(options.patternFile);
  simwin::Process installer(L"setup.exe");
  const simwin::Dialog page = simwin::CreateDialogFromLayout(installer, OptionsPage());
  HWND wizard = page.hwnd;
  std::cout << stamp() << "installer: process " << installer.Id() << " shows \"Setup - Sample App\" (window 0x"
            << std::hex << reinterpret_cast<uintptr_t>(wizard) << std::dec << ") with "
            << page.controls.size() << " controls\n";

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

  std::cout << stamp() << "host: AddPattern(1, " << options.patternFile << ", not silent)\n";
  engine->AddPattern(1, pattern.c_str(), false);

  // The simulated user finishes the wizard; the installer then ends.
  std::vector<UINT> finalStates;
  std::thread user([&] {
    std::this_thread::sleep_for(milliseconds(options.installerMilliseconds));
    for (std::size_t i = 0; i < page.controls.size(); ++i) finalStates.push_back(simwin::CheckState(page.controls[i]));
    simwin::Click(page.Control(105));  // Next >
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

  std::cout << "The options page when the user pushed \"Next >\":\n";
  const auto layout = OptionsPage();
  for (std::size_t i = 0; i < layout.controls.size() && i < finalStates.size(); ++i) {
    if ((layout.controls[i].style & 0xF) != BS_AUTOCHECKBOX || layout.controls[i].className != L"Button") continue;
    std::cout << "  [" << (finalStates[i] == BST_CHECKED ? "x" : " ") << "] " << Narrow(layout.controls[i].text) << "\n";
  }
  if (!host.TracesContaining(L"No actions processor in this build").empty()) {
    std::cout << "  (this build recognises the dialog but carries out no action yet: see --trace)\n";
  }
  std::cout << "\n";

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

// iae-host: a minimal host of zviae.dll, written against the Win32 API only.
//
//   iae-host.exe (--run "COMMAND LINE" | --pid N) [--dll FILE] [--pattern ID=FILE]... [--silent-pattern ID=FILE]...
//                [--factory CreateEngine|CreateEngine2] [--threshold 0-6]
//                [--notifications "TITLE|DESCRIPTION|OK|CANCEL"] [--notification-icon FILE.ico] [--trace FILE]
//
// It loads the module, creates an engine for the installer, adds the patterns, runs the engine on this thread
// until the installer has ended, and releases it. Every call the engine makes to the host's IService goes to
// standard output, one line each, in the text simwin::RecordingHost::Format gives (the simulated runs print the
// same); the trace writer's calls go to the trace file. What the host itself does goes to standard error.
// With CreateEngine and notification data it shows the sticker with each count, as a real host does, and says where
// the sticker appeared and that none is left after Release.
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "common/text.h"
#include "installation_assistant/engine.h"
#include "recording_host.h"

using installation_assistant::WideToUtf8;
using installation_assistant::engine::CreateEngineFunction;
using installation_assistant::engine::IEngine;
using installation_assistant::engine::IService;
using installation_assistant::engine::ITraceWriter;
using installation_assistant::engine::NotificationData;
using installation_assistant::engine::ServiceReport;

namespace {

void Say(const std::string& text) { std::fprintf(stderr, "iae-host: %s\n", text.c_str()); }

// The engine calls from any of its threads: each call is copied by a RecordingHost of its own, formatted, and
// written as one whole line.
class Host final : public IService, public ITraceWriter {
 public:
  explicit Host(std::ofstream* trace) : trace_(trace) {}
  ~Host() { JoinLookouts(); }

  void SetEngineVersion(const char* version) override {
    Print([&](simwin::RecordingHost& r) { r.SetEngineVersion(version); });
  }
  void ReportItem(const ServiceReport* report) override {
    Print([&](simwin::RecordingHost& r) { r.ReportItem(report); });
  }
  void ReportProcessedTotal(int count) override {
    Print([&](simwin::RecordingHost& r) { r.ReportProcessedTotal(count); });
  }
  void ReportProcessedItems(int window, int count) override {
    Print([&](simwin::RecordingHost& r) { r.ReportProcessedItems(window, count); });
    if (IEngine* engine = stickerEngine_.load()) {
      const HWND target = reinterpret_cast<HWND>(static_cast<INT_PTR>(window));
      engine->ShowNotification(target, (std::to_string(count) + " options set for you").c_str());
      // Looked for off the engine's threads: the sticker is made on the engine thread once this call has returned.
      std::lock_guard<std::mutex> lock(mutex_);
      lookouts_.emplace_back([target] { ReportSticker(target); });
    }
  }
  // While set, each count shows the sticker through this engine.
  void ShowStickersThrough(IEngine* engine) { stickerEngine_.store(engine); }
  void JoinLookouts() {
    std::vector<std::thread> lookouts;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      lookouts.swap(lookouts_);
    }
    for (std::thread& lookout : lookouts) lookout.join();
  }
  void BlockPatternAdded() override { Print([&](simwin::RecordingHost& r) { r.BlockPatternAdded(); }); }

  void Write(const wchar_t* text, int level) override {
    Trace([&](simwin::RecordingHost& r) { r.Write(text, level); });
  }
  void Flush() override { Trace([&](simwin::RecordingHost& r) { r.Flush(); }); }
  // The engine is done with the writer; it lives as long as the host does.
  void Release() override { Trace([&](simwin::RecordingHost& r) { r.Release(); }); }

 private:
  template <typename Call>
  static std::string Line(Call call) {
    simwin::RecordingHost one;
    call(one);
    return simwin::RecordingHost::Format(one.AllCalls().front()) + "\n";
  }
  template <typename Call>
  void Print(Call call) {
    const std::string line = Line(call);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
  }
  template <typename Call>
  void Trace(Call call) {
    if (!trace_) return;
    const std::string line = Line(call);
    std::lock_guard<std::mutex> lock(mutex_);
    // Line by line: what a host that is killed leaves of the trace should be whole.
    trace_->write(line.data(), static_cast<std::streamsize>(line.size())).flush();
  }

  static void ReportSticker(HWND target) {
    const DWORD start = GetTickCount();
    for (; GetTickCount() - start < 3000; Sleep(20)) {
      const HWND sticker = FindWindowW(kStickerClass, nullptr);
      RECT at = {}, next = {};
      if (sticker == nullptr || !IsWindowVisible(sticker) || !GetWindowRect(sticker, &at) ||
          !GetWindowRect(target, &next)) {
        continue;
      }
      const LONG height = at.bottom - at.top;
      const bool centred = (at.left + at.right) / 2 >= next.left && (at.left + at.right) / 2 <= next.right;
      const char* place = !centred ? "away from"
                          : at.top == next.bottom + 5 ? "below"
                          : at.top == next.bottom - height - 80 ? "over the lower part of"
                                                                : "away from";
      char line[160];
      std::snprintf(line, sizeof(line), "sticker %s window 0x%lX", place,
                    static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(target)));
      Say(line);
      return;
    }
    Say("no sticker within 3 s");
  }

  static constexpr wchar_t kStickerClass[] = L"QuorvantaUncheckerNotification";
  std::mutex mutex_;
  std::ofstream* trace_;
  std::atomic<IEngine*> stickerEngine_{nullptr};
  std::vector<std::thread> lookouts_;
};

bool AnySticker() { return FindWindowW(L"QuorvantaUncheckerNotification", nullptr) != nullptr; }

// One owner per kind of handle, so that each is released on every way out of wmain.
struct FreeModule {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule>;

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using KernelHandle = std::unique_ptr<void, CloseKernelHandle>;

// The module made the engine and frees it: Release, never delete.
struct ReleaseEngine {
  void operator()(IEngine* engine) const { engine->Release(); }
};
using Engine = std::unique_ptr<IEngine, ReleaseEngine>;

// The installer this host started (none with --pid).
struct StartedProcess {
  KernelHandle process;
  KernelHandle thread;
};

struct PatternArgument {
  int id;
  std::wstring file;
  bool silent;
};

struct Options {
  std::wstring dll;
  std::wstring run;
  DWORD pid = 0;
  std::vector<PatternArgument> patterns;
  bool notifications = true;  // CreateEngine; CreateEngine2 leaves notifications to the host
  unsigned int threshold = 2;
  bool hasNotificationData = false;
  std::vector<std::string> notificationTexts;  // title, description, ok, cancel
  std::wstring notificationIcon;              // an .ico file, the sticker's icon (id 0)
  std::wstring trace;
  // How the host ends: "run" (Run, then Release), "release" (Release without Run), "again" (the factory, Release at
  // once from another thread while this one pumps, the module unloaded and loaded again, the factory a second time,
  // then Run and Release as usual).
  std::wstring end = L"run";
};

bool ParsePattern(const std::wstring& value, bool silent, Options& options) {
  const std::size_t equals = value.find(L'=');
  if (equals == std::wstring::npos || equals == 0) return false;
  wchar_t* end = nullptr;
  const long id = std::wcstol(value.c_str(), &end, 10);
  if (end != value.c_str() + equals) return false;
  options.patterns.push_back(PatternArgument{static_cast<int>(id), value.substr(equals + 1), silent});
  return true;
}

bool ParseArguments(int argc, wchar_t** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring name = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring value = argv[++i];
    if (name == L"--dll") {
      options.dll = value;
    } else if (name == L"--run") {
      options.run = value;
    } else if (name == L"--pid") {
      options.pid = static_cast<DWORD>(std::wcstoul(value.c_str(), nullptr, 10));
    } else if (name == L"--pattern" || name == L"--silent-pattern") {
      if (!ParsePattern(value, name == L"--silent-pattern", options)) return false;
    } else if (name == L"--factory") {
      if (value != L"CreateEngine" && value != L"CreateEngine2") return false;
      options.notifications = value == L"CreateEngine";
    } else if (name == L"--threshold") {
      options.threshold = static_cast<unsigned int>(std::wcstoul(value.c_str(), nullptr, 10));
    } else if (name == L"--notifications") {
      std::string texts = WideToUtf8(value) + "|";
      for (std::size_t at; (at = texts.find('|')) != std::string::npos; texts.erase(0, at + 1)) {
        options.notificationTexts.push_back(texts.substr(0, at));
      }
      if (options.notificationTexts.size() != 4) return false;
      options.hasNotificationData = true;
    } else if (name == L"--notification-icon") {
      options.notificationIcon = value;
    } else if (name == L"--trace") {
      options.trace = value;
    } else if (name == L"--end") {
      if (value != L"run" && value != L"release" && value != L"again") return false;
      options.end = value;
    } else {
      return false;
    }
  }
  return options.run.empty() != (options.pid == 0);
}

// The module beside this program.
std::wstring DefaultDll() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L"\\/") + 1);
  return folder + L"zviae.dll";
}

bool ReadWholeFile(const std::wstring& file, std::string& text) {
  std::ifstream in(file.c_str(), std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM data) {
  auto* pid = reinterpret_cast<DWORD*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != *pid || !IsWindowVisible(window)) return TRUE;
  *pid = 0;  // found
  return FALSE;
}

// WaitForInputIdle is no sure sign: a program that reads messages while it starts up is "idle" before it has a
// window (under wine it has returned before there was one).
bool WaitForVisibleWindow(HANDLE process, DWORD pid) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 30000) {
    DWORD search = pid;
    EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    if (search == 0) return true;
    if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) return false;  // it has ended
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // The lines are compared byte for byte with the simulated runs' output: no "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: iae-host (--run \"COMMAND LINE\" | --pid N) [--dll FILE] [--pattern ID=FILE]...\n"
                 "                [--silent-pattern ID=FILE]... [--factory CreateEngine|CreateEngine2]\n"
                 "                [--threshold 0-6] [--notifications \"TITLE|DESCRIPTION|OK|CANCEL\"]\n"
                 "                [--notification-icon FILE.ico]\n"
                 "                [--trace FILE] [--end run|release|again]\n");
    return 64;
  }
  if (options.dll.empty()) options.dll = DefaultDll();

  // Patterns first: a missing file should not leave an installer running.
  std::vector<std::string> patternTexts;
  for (const PatternArgument& pattern : options.patterns) {
    patternTexts.emplace_back();
    if (!ReadWholeFile(pattern.file, patternTexts.back())) {
      Say("cannot read the pattern file " + WideToUtf8(pattern.file));
      return 66;
    }
  }
  std::ofstream traceFile;
  if (!options.trace.empty()) {
    traceFile.open(options.trace.c_str(), std::ios::binary | std::ios::trunc);
    if (!traceFile) {
      Say("cannot write the trace file " + WideToUtf8(options.trace));
      return 73;
    }
  }

  // The owners end in the reverse order of these lines: the engine first, then the module, which holds on to the
  // host's writer until it is unloaded (the writer's Release comes then), then the host.
  Host host(traceFile.is_open() ? &traceFile : nullptr);
  Module module(LoadLibraryW(options.dll.c_str()));
  if (!module) {
    Say("cannot load " + WideToUtf8(options.dll) + ", error " + std::to_string(GetLastError()));
    return 69;
  }
  const char* factoryName = options.notifications ? "CreateEngine" : "CreateEngine2";
  auto factory = reinterpret_cast<CreateEngineFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(module.get(), factoryName)));
  if (factory == nullptr) {
    Say(std::string(factoryName) + " is not exported by " + WideToUtf8(options.dll));
    return 69;
  }

  StartedProcess installer;
  DWORD pid = options.pid;
  if (!options.run.empty()) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring commandLine = options.run;  // CreateProcessW may write into it
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
      Say("cannot start " + WideToUtf8(options.run) + ", error " + std::to_string(GetLastError()));
      return 69;
    }
    installer.process.reset(started.hProcess);
    installer.thread.reset(started.hThread);
    pid = started.dwProcessId;
    Say("started process " + std::to_string(pid));
    // On Windows the engine hears of every window the installer opens. Under wine no window event reaches it
    // from another process, and it sees only the windows there are when it looks by itself (at each
    // AddPattern): let the installer put up its first window before then.
    if (!WaitForVisibleWindow(installer.process.get(), pid)) Say("the installer shows no window after 30 s");
  }

  Say(std::string(factoryName) + "(service, " + std::to_string(pid) + ", " + std::to_string(options.threshold) +
      ", writer)");
  Engine engine(factory(&host, static_cast<long>(pid), options.threshold, &host));
  if (engine && options.end == L"again") {
    // One engine per process at a time, but a released one leaves nothing behind, whichever thread releases it: no
    // thread of it runs on and nothing of it stays registered, so the module can go and come back.
    std::atomic<bool> released{false};
    std::thread releaser([first = engine.release(), &released] {
      first->Release();
      released = true;
    });
    bool quit = false;
    for (MSG message; !released; Sleep(5)) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quit = true;
        DispatchMessageW(&message);
      }
    }
    releaser.join();
    Say("Release() returned on another thread");
    Say(quit ? "WM_QUIT reached the host's thread" : "no WM_QUIT on the host's thread");
    module.reset();
    module.reset(LoadLibraryW(options.dll.c_str()));
    factory = module ? reinterpret_cast<CreateEngineFunction>(
                           reinterpret_cast<void (*)()>(GetProcAddress(module.get(), factoryName)))
                     : nullptr;
    Say(factory ? "the module was unloaded and loaded again" : "the module could not be loaded again");
    if (factory) engine.reset(factory(&host, static_cast<long>(pid), options.threshold, &host));
    Say(engine ? "the second factory call made an engine" : "the second factory call failed");
  }
  if (!engine) {
    Say("the factory returned null (the trace says why)");
    if (installer.process) TerminateProcess(installer.process.get(), 1);
    return 70;
  }

  if (options.hasNotificationData) {
    const std::vector<std::string>& texts = options.notificationTexts;
    std::string iconBytes;
    if (!options.notificationIcon.empty() && !ReadWholeFile(options.notificationIcon, iconBytes)) {
      Say("cannot read " + WideToUtf8(options.notificationIcon));
    }
    const installation_assistant::engine::NotificationIcon icon{
        0, 0, static_cast<unsigned int>(iconBytes.size()), reinterpret_cast<const unsigned char*>(iconBytes.data())};
    const NotificationData data{false, texts[0].c_str(), texts[1].c_str(), texts[2].c_str(), texts[3].c_str(),
                                iconBytes.empty() ? 0u : 1u, iconBytes.empty() ? nullptr : &icon};
    Say("SetNotificationsData(title \"" + texts[0] + "\"" + (iconBytes.empty() ? "" : ", an icon") + ")");
    engine->SetNotificationsData(&data);
    if (options.notifications) host.ShowStickersThrough(engine.get());
  }
  for (std::size_t i = 0; i < options.patterns.size(); ++i) {
    const PatternArgument& pattern = options.patterns[i];
    Say("AddPattern(" + std::to_string(pattern.id) + ", " + WideToUtf8(pattern.file) + ", " +
        (pattern.silent ? "silent" : "not silent") + ")");
    engine->AddPattern(pattern.id, patternTexts[i].c_str(), pattern.silent);
  }

  if (options.end == L"release") {
    Say("Release() without Run()");
    engine.reset();
    // Nothing the engine left queued may end this thread's own message loop.
    bool quit = false;
    const DWORD start = GetTickCount();
    for (MSG message; GetTickCount() - start < 500;) {
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quit = true;
        DispatchMessageW(&message);
      }
      Sleep(10);
    }
    Say(quit ? "WM_QUIT reached the host's thread" : "no WM_QUIT on the host's thread");
    if (installer.process) TerminateProcess(installer.process.get(), 0);
    return quit ? 1 : 0;
  }

  Say("Run()");
  engine->Run();  // returns when the installer has ended
  Say("Run() returned");
  host.ShowStickersThrough(nullptr);
  host.JoinLookouts();
  engine.reset();
  Say("Release() returned");
  if (options.notifications && options.hasNotificationData) {
    Say(AnySticker() ? "a sticker is left after Release" : "no sticker after Release");
  }

  if (installer.process) {
    DWORD code = 0;
    GetExitCodeProcess(installer.process.get(), &code);
    Say("installer exit code " + std::to_string(code));
  }
  return 0;
}

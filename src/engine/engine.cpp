#include "engine/engine.h"

#include <atomic>
#include <stdexcept>
#include <string>

#include "common/scope_guard.h"
#include "common/trace.h"
#include "engine/module.h"
#include "host/host_records.h"
#include "host/trace_writer_adapter.h"
#include "pattern/parser.h"
#include "watch/event_resampler.h"

namespace installation_assistant::engine {
namespace {

// Loaded at run time: the function is missing before Vista, and a failure changes
// nothing but how the installer's coordinates are scaled.
void MakeProcessDpiAware() {
  HMODULE user32 = LoadLibraryW(L"User32.dll");
  if (user32 == nullptr) return;
  using SetProcessDpiAwareFunction = BOOL(WINAPI*)();
  const FARPROC procedure = GetProcAddress(user32, "SetProcessDPIAware");
  if (procedure != nullptr) {
    reinterpret_cast<SetProcessDpiAwareFunction>(reinterpret_cast<void (*)()>(procedure))();
  }
  FreeLibrary(user32);
}

}  // namespace

Engine::Engine(std::shared_ptr<ServiceHolder> service, DWORD processId,
               std::shared_ptr<MessageWindow> messageWindow, std::shared_ptr<InprocConnection> connection,
               std::shared_ptr<ProcessedItemsReporter> reporter, bool showsNotifications)
    : service_(std::move(service)),
      connection_(std::move(connection)),
      results_(std::make_shared<ResultCollector>(service_)),
      watcher_(WindowsWatcher::Create(processId, messageWindow)),
      reporter_(std::move(reporter)),
      messageWindow_(std::move(messageWindow)),
      processWaiter_(processId, messageWindow_),
      showsNotifications_(showsNotifications) {
  service_->Get()->SetEngineVersion(kEngineVersion);
}

Engine::~Engine() {
  // Without Run nobody has stopped the watcher: its threads must end before anything they
  // use goes, and its hooks be removed on this thread, which set them.
  try {
    if (!watcher_->IsShutDown()) watcher_->Shutdown();
    // Workers of resamplers that their own pass released: the host may unload this module once Release returns.
    JoinUnjoinedResamplerWorkers();
    // The sticker's window procedure lives in this module, which the host may unload after Release.
    reporter_->Close();
  } catch (...) {
    TraceException("Engine::~Engine");
  }
  RetractMessageWindow(messageWindow_.get());
  service_->Detach();
}

void Engine::AddPattern(int patternId, const char* pattern, bool silent) {
  try {
    AddPatternCore(patternId, pattern, silent);
  } catch (...) {
    TraceException("AddPattern");
  }
}

void Engine::AddPatternCore(int patternId, const char* pattern, bool silent) {
  if (pattern == nullptr) throw std::logic_error("Invalid pattern");
  const std::string text(pattern);
  TRACE(Info) << "AddPattern(" << static_cast<unsigned int>(patternId) << ", " << text << ", "
              << (silent ? "silent" : "not silent") << ")";

  Option<PatternVersion> version;
  try {
    version = ParsePatternHeader(text);
  } catch (const std::runtime_error&) {
    // A malformed version string: the host must hear that the pattern is unusable.
    TraceException("AddPattern");
    ReportIntake(patternId, kUnreadablePattern, "");
    return;
  }
  if (version.IsNone()) {
    TRACE(Error) << "Version parsing failed.";
    ReportIntake(patternId, kUnreadablePattern, "");
    return;
  }
  const std::string versionText = version.Get().ToString();
  if (!IsSupportedPatternVersion(version.Get())) {
    TRACE(Error) << "Unsupported pattern version: " << versionText;
    ReportIntake(patternId, kUnsupportedPatternVersion, versionText);
    return;
  }
  TRACE(Info) << "Pattern version: " << versionText;

  Option<ParsedPattern> parsed;
  try {
    parsed = ParsePattern(text);
  } catch (const std::runtime_error&) {
    TRACE(Info) << "Parsing complete";
    TraceException("AddPattern");
    ReportIntake(patternId, kUnreadablePattern, "");
    return;
  }
  TRACE(Info) << "Parsing complete";
  if (parsed.IsNone()) {
    TRACE(Error) << "Pattern parsing failed.";
    ReportIntake(patternId, kUnreadablePattern, "");
    return;
  }
  const std::shared_ptr<Pattern> model = parsed.Get().pattern;
  if (!silent && !model->HasActions()) {
    TRACE(Error) << "Pattern contains no actions.";
    ReportIntake(patternId, kPatternWithoutActions, versionText);
    return;
  }
  // Without the engine's own notifications the host puts up its own warning for a block.
  if (!showsNotifications_ && !silent && model->ContainsBlockAction()) service_->Get()->BlockPatternAdded();

  AcceptPattern(patternId, version.Get(), silent, model);
}

void Engine::AcceptPattern(int patternId, const PatternVersion& version, bool silent,
                           const std::shared_ptr<Pattern>& pattern) {
  ProcessorFactoryContext context;
  context.patternId = patternId;
  context.version = version;
  context.pattern = pattern;
  context.service = service_;
  context.reporter = reporter_;
  context.messageWindow = messageWindow_;
  context.results = results_;
  context.makeActionsProcessor = makeActionsProcessor_;
  if (silent && pattern->IsGeneric()) {
    watcher_->AddSilentPattern(MakeSilentProcessorFactory(std::move(context)));
  } else {
    // An exact silent pattern runs in the regular machine, flagged silent.
    watcher_->AddRegularPattern(MakeRegularProcessorFactory(std::move(context)), silent);
  }
}

void Engine::ReportIntake(int patternId, int resultCode, const std::string& patternVersion) const {
  ServiceReportData data;
  data.patternId = patternId;
  data.resultCode = resultCode;
  data.patternVersion = patternVersion;
  const ServiceReport report = ToServiceReport(data);
  service_->Get()->ReportItem(&report);
}

void Engine::SetNotificationsData(const NotificationData* data) {
  try {
    SetNotificationsDataCore(data);
  } catch (...) {
    TraceException("SetNotificationsData");
  }
}

void Engine::SetNotificationsDataCore(const NotificationData* data) {
  if (data == nullptr) throw std::logic_error("Invalid notifications data");
  reporter_->SetNotificationData(CopyNotificationData(*data));
}

void Engine::ShowNotification(HWND window, const char* text) {
  try {
    ShowNotificationCore(window, text);
  } catch (...) {
    TraceException("ShowNotification");
  }
}

void Engine::ShowNotificationCore(HWND window, const char* text) {
  if (text == nullptr) throw std::logic_error("Invalid notification text");
  reporter_->ShowNotification(window, std::string(text), messageWindow_);
}

void Engine::Run() {
  try {
    // The results and the total go to the host however the loop ends.
    ScopeGuard endOfRun([this] {
      try {
        TRACE(Info) << "Reporting results";
        results_->Report();
        TRACE(Info) << "Shutting down windows watcher";
        watcher_->Shutdown();
        TRACE(Info) << "Report processed items";
        reporter_->ReportTotal();
      } catch (...) {
        TraceException("Run");
      }
    });
    TRACE(Info) << "Starting message loop";
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  } catch (...) {
    TraceException("Run");
  }
}

void Engine::Release() {
  try {
    if (!ReleasedOnEngineThread()) delete this;
    TRACE(Info) << "Engine stopped";
  } catch (...) {
    TraceException("Release");
  }
}

bool Engine::ReleasedOnEngineThread() {
  // The engine's window, hooks and sticker can be taken down only by the thread that made them: from another thread
  // the deletion is sent there. A thread that has ended took its windows and hooks with it.
  const DWORD engineThread = GetWindowThreadProcessId(messageWindow_->Handle(), nullptr);
  if (engineThread == 0 || engineThread == GetCurrentThreadId()) return false;
  // Whoever claims the engine deletes it: the engine thread, or this one if that thread does not come in time.
  auto claimed = std::make_shared<std::atomic<bool>>(false);
  Engine* self = this;
  if (messageWindow_->SendWithin([self, claimed] {
        if (!claimed->exchange(true)) delete self;
      }, kReleaseWaitMs)) {
    return true;
  }
  if (claimed->exchange(true)) return true;
  TRACE(Warning) << "The engine thread " << engineThread << " did not take the engine back; released here";
  return false;
}

IEngine* CreateEngineImpl(IService* service, long processId, unsigned int traceThreshold,
                          ITraceWriter* traceWriter, bool showsNotifications) {
  if (traceWriter == nullptr) throw std::logic_error("Tracer parmeter is invalid");
  // The replaced sink lives to the end of this call, whatever its outcome.
  const std::shared_ptr<TraceSink> replacedSink = ExchangeTraceSink(std::make_shared<TraceWriterAdapter>(traceWriter));
  SetTraceThreshold(MapTraceLevel(traceThreshold));

  if (service == nullptr) throw std::logic_error("Service parameter is invalid");
  TRACE_AS(Info, "CreateEngineImpl") << "Engine version: " << kEngineVersion;

  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  MakeProcessDpiAware();

  auto messageWindow = std::make_shared<MessageWindow>(ModuleInstance());
  PublishMessageWindow(messageWindow);
  ScopeGuard retractWindow([&messageWindow] { RetractMessageWindow(messageWindow.get()); });

  auto serviceHolder = std::make_shared<ServiceHolder>(service);
  const auto installer = static_cast<DWORD>(processId);
  auto connection = std::make_shared<InprocConnection>(InprocConnectionName(installer), installer);

  std::shared_ptr<ProcessedItemsReporter> reporter;
  if (showsNotifications) {
    reporter = std::make_shared<NotifyingReporter>(serviceHolder, connection, ModuleInstance());
  } else {
    reporter = std::make_shared<DirectReporter>(serviceHolder, connection);
  }

  auto engine = std::make_unique<Engine>(serviceHolder, installer, messageWindow, connection, reporter,
                                         showsNotifications);
  retractWindow.Dismiss();
  return engine.release();
}

}  // namespace installation_assistant::engine

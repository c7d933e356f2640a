#include "watch/machine.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "common/trace.h"
#include "pattern/matcher.h"
#include "watch/pass_figures.h"

namespace installation_assistant {

namespace {

// Processors added since the last pass join the list the pass works on; true when any came.
template <typename Entry>
bool TakeIncoming(std::mutex& incomingLock, std::vector<Entry>& incoming, std::vector<Entry>& processors) {
  std::lock_guard<std::mutex> guard(incomingLock);
  if (incoming.empty()) return false;
  std::move(incoming.begin(), incoming.end(), std::back_inserter(processors));
  incoming.clear();
  return true;
}

// Whether an event about `hwnd` may change the tree of the top-level `window`: one about the window or a window
// inside it, or one that cannot be told any more (no window, or one already gone). The installer's other windows
// have machines of their own.
bool ConcernsWindow(HWND window, HWND hwnd) {
  if (hwnd == nullptr || hwnd == window) return true;
  const HWND root = GetAncestor(hwnd, GA_ROOT);
  return root == nullptr || root == window;
}

}  // namespace

std::wstring DescribeMachineWindow(HWND window) {
  wchar_t className[1024] = {};
  const int length = GetClassNameW(window, className, 1024);
  std::wostringstream text;
  text << L"{ Handle: ";
  WritePointer(text, window);
  text << L", Class: '" << std::wstring(className, length > 0 ? length : 0) << L"' }";
  return text.str();
}

MachineBase::MachineBase(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                         std::shared_ptr<MessageWindow> messageWindow, const wchar_t* kind)
    : resolver_(std::move(resolver)),
      messageWindow_(std::move(messageWindow)),
      root_(std::move(root)),
      window_(window),
      description_(std::wstring(kind) + L"(" + DescribeMachineWindow(window) + L")") {}

void MachineBase::Init() {
  std::weak_ptr<MachineBase> weak = weak_from_this();
  resampler_ = std::make_shared<EventResampler>([weak] {
    if (auto machine = weak.lock()) machine->Matcher();
  });
  // Hooks deliver to the thread that set them, and only the engine thread pumps for them.
  messageWindow_->Post([weak] {
    if (auto machine = weak.lock()) machine->SubscribeToStructureChanged();
  });
}

void MachineBase::SubscribeToStructureChanged() {
  std::lock_guard<std::mutex> guard(subscriptionLock_);
  if (shutDown_) return;
  try {
    std::weak_ptr<MachineBase> weak = weak_from_this();
    subscription_ = root_->SubscribeStructureChanges([weak](DWORD event, HWND hwnd) {
      auto machine = weak.lock();
      if (machine && ConcernsWindow(machine->Window(), hwnd)) machine->OnWindowEvent(event, hwnd);
    });
    FireResampler();
  } catch (...) {
    TraceException("Machine::SubscribeToStructureChanged");
  }
}

bool MachineBase::IsSubscribed() const {
  std::lock_guard<std::mutex> guard(subscriptionLock_);
  return subscription_ != nullptr;
}

bool MachineBase::WindowResponds() {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kHungProbeTimeoutMs, &result) != 0) {
    if (notResponding_.exchange(false)) TRACE(Debug) << Description() << " responds again";
    reprobeDelay_ = kFirstReprobeDelayMs;
    return true;
  }
  // Closed meanwhile: the pass finds that out itself.
  if (!IsWindow(window_)) return true;
  if (!notResponding_.exchange(true)) TRACE(Info) << Description() << " does not respond; its passes wait until it does";
  const DWORD delay = reprobeDelay_.load();
  resampler_->FireAfter(delay);
  reprobeDelay_.store(std::min(delay * 2, kMaxReprobeDelayMs));
  return false;
}

void MachineBase::Shutdown() {
  BeginShutdown();
  FinishShutdown(kMachineShutdownWaitMs);
}

void MachineBase::BeginShutdown() {
  std::shared_ptr<Subscription> subscription;
  {
    std::lock_guard<std::mutex> guard(subscriptionLock_);
    if (shutDown_) return;
    shutDown_ = true;
    subscription = std::move(subscription_);
  }
  TRACE(Debug) << "Shutting down machine";
  stopping_ = true;
  // Released off the engine thread, the subscription hands its hooks back to that thread.
  subscription.reset();
  resampler_->Stop();
}

void MachineBase::FinishShutdown(DWORD ms) {
  if (finished_.exchange(true)) return;
  if (!resampler_->Join(ms)) {
    abandoned_ = true;
    TRACE(Warning) << Description() << " is still in a pass after the shutdown wait (a call into the window does not"
                   << " return); left to end on its own";
    return;
  }
  FlushStatistics();
  ReleaseWatches();
  TRACE(Debug) << "Machine shut down";
}

Machine::Machine(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                 std::shared_ptr<MessageWindow> messageWindow)
    : MachineBase(window, std::move(root), std::move(resolver), std::move(messageWindow), L"Machine") {}

std::shared_ptr<Machine> Machine::Create(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                                         std::shared_ptr<MessageWindow> messageWindow) {
  std::shared_ptr<Machine> machine(
      new Machine(window, std::move(root), std::move(resolver), std::move(messageWindow)));
  machine->Init();
  return machine;
}

void Machine::AddPattern(std::shared_ptr<PatternProcessor> processor, bool silent) {
  std::vector<Entry> one;
  one.push_back(Entry{std::move(processor), silent});
  AddPatterns(std::move(one));
}

void Machine::AddPatterns(std::vector<Entry> entries) {
  for (const Entry& entry : entries) {
    TRACE(Debug) << "Adding " << (entry.silent ? "silent" : "normal") << " pattern processor: 0x"
                 << entry.processor.get() << " to " << Description();
  }
  {
    std::lock_guard<std::mutex> guard(incomingLock_);
    std::move(entries.begin(), entries.end(), std::back_inserter(incoming_));
  }
  FireResampler();
}

void Machine::Matcher() {
  if (!IsWindow(Window())) {
    TRACE(Info) << "Skipping " << Description() << ", no more actual";
    NotifyWindowGone();
    return;
  }
  if (!WindowResponds()) return;
  std::lock_guard<std::mutex> guard(lock_);
  const bool added = TakeIncoming(incomingLock_, incoming_, processors_);
  // Taken before the look: an event during the pass asks for the next one. A pass fired for any other reason (new
  // patterns, a freed ticket, a window that answers again) looks afresh.
  const bool echoes = echoHeard_.exchange(false);
  const bool fresh = lookNeeded_.exchange(false) || !echoes || added;
  bool waited = false;
  if (!processors_.empty()) {
    const PassMeter meter(Window());
    TRACE(Info) << Description() << " starts matching";
    const ElementResolver resolve = Look(fresh);
    for (const Entry& entry : processors_) {
      // One failing processor (a bad regular expression, a backend error, a runaway
      // search) must not keep the others from matching, nor the queue from draining.
      try {
        MatchBounds bounds(kDefaultNodeTestBudget, &Stopping());
        if (!MatchEntry(entry, resolve)) waited = true;
      } catch (const MatchStopped&) {
        TRACE(Info) << Description() << " pass stopped: the machine shuts down";
        return;
      } catch (const MatchBudgetExceeded& exceeded) {
        TRACE(Warning) << "Pattern " << entry.processor->PatternId() << " gave up on " << Description()
                       << " after " << exceeded.Budget() << " search steps in one pass";
      } catch (...) {
        TraceException("Matcher");
      }
    }
    std::erase_if(processors_, [this](const Entry& entry) {
      if (entry.processor->HasRoots()) return false;
      finishedProcessors_.push_back(entry.processor);
      return true;
    });
  }
  // A pass that outlived the shutdown wait must not act on the window or tell the host.
  if (Abandoned()) return;
  Drain();
  // The look is kept only for the echo of the pass's own changes, and only while patterns remain to judge on it.
  if (look_.has_value() && (look_->changed.empty() || processors_.empty())) DropLook();
  // A match that waited for the ticket gets its turn as soon as the ticket is free.
  if (waited && ticketHolder_ == nullptr) FireResampler();
}

void Machine::OnWindowEvent(DWORD event, HWND hwnd) {
  bool echo = false;
  {
    std::lock_guard<std::mutex> guard(echoLock_);
    // A focus move changes nothing the matching reads (types, names, check and selection states, which children
    // are shown); a state change of a control the machine set is read again on the standing look.
    echo = !echoWindows_.empty() &&
           (event == EVENT_OBJECT_FOCUS || (event == EVENT_OBJECT_STATECHANGE &&
                                            std::find(echoWindows_.begin(), echoWindows_.end(), hwnd) !=
                                                echoWindows_.end()));
  }
  (echo ? echoHeard_ : lookNeeded_) = true;
  FireResampler();
}

const ElementResolver& Machine::Look(bool fresh) {
  if (!fresh && look_.has_value() && !look_->changed.empty()) {
    try {
      for (const auto& [element, control] : look_->changed) element->SeeStateAgain(control);
      TRACE(Debug) << Description() << " heard only the echo of its own actions: it matches on its last look";
      return look_->resolve;
    } catch (...) {
      TraceException("Machine::Look");
    }
  }
  DropLook();
  look_ = StandingLook{OneLookPerPass(Resolver()), ++looks_, {}};
  return look_->resolve;
}

void Machine::NoteAction(const PendingAction& pending) {
  const QueuedAction& action = pending.action;
  if (!action.mayChangeAnything && action.setsStateOf == nullptr) return;
  HWND own = nullptr;
  if (action.setsStateOf != nullptr && look_.has_value() && pending.look == look_->id) {
    try {
      own = action.setsStateOf->GetOwnWindowHandle();
    } catch (...) {
      own = nullptr;
    }
  }
  // Events about a window shared with other elements, or changes of any kind, could be anything's.
  if (own == nullptr || own == Window()) {
    DropLook();
    return;
  }
  auto& changed = look_->changed;
  const auto same = [&action](const auto& entry) { return entry.first == action.setsStateOf; };
  if (std::any_of(changed.begin(), changed.end(), same)) return;
  changed.emplace_back(action.setsStateOf, action.controlType);
  std::lock_guard<std::mutex> guard(echoLock_);
  echoWindows_.push_back(own);
}

void Machine::DropLook() {
  look_.reset();
  std::lock_guard<std::mutex> guard(echoLock_);
  echoWindows_.clear();
}

void Machine::ReleaseWatches() {
  std::vector<std::shared_ptr<PatternProcessor>> processors;
  {
    std::lock_guard<std::mutex> guard(lock_);
    DropLook();
    processors.swap(finishedProcessors_);
    for (const Entry& entry : processors_) processors.push_back(entry.processor);
  }
  for (const auto& processor : processors) processor->WindowClosed();
}

bool Machine::MatchEntry(const Entry& entry, const ElementResolver& resolve) {
  const Option<std::shared_ptr<UIElement>> root = resolve(entry.processor->CurrentRoot());
  if (root.IsNone()) return true;
  TRACE(Debug) << "Matching PatternProcessor 0x" << entry.processor.get();
  MatchedList matched;
  if (!entry.processor->MatchCurrentRoot(root.Get(), matched)) return true;
  // Another processor's actions hold the window: acting now would drop this match's actions
  // while its root counts as done. It keeps its root and matches again when the ticket is free.
  if (!entry.silent && ticketHolder_ != nullptr && ticketHolder_ != entry.processor &&
      !entry.processor->BuildActions(root.Get(), matched).empty()) {
    TRACE(Debug) << "PatternProcessor 0x" << entry.processor.get() << " waits for the ticket";
    return false;
  }
  entry.processor->NotifyMatched(root.Get());

  if (entry.silent) {
    TRACE(Info) << "Skipping silent processor 0x" << entry.processor.get();
  } else if (ticketHolder_ == nullptr || ticketHolder_ == entry.processor) {
    std::vector<QueuedAction> actions = entry.processor->BuildActions(root.Get(), matched);
    TRACE(Info) << Description() << " actions count == " << actions.size();
    // Called once: it reports why the action at the head of the old queue never ran.
    if (continuation_.IsSome()) std::exchange(continuation_, Option<Continuation>::None()).Get()();
    if (!pending_.empty()) {
      TRACE(Error) << Description() << " " << pending_.size() << " actions from previous match are not executed.";
    }
    pending_.clear();
    for (QueuedAction& action : actions) pending_.push_back(PendingAction{std::move(action), look_->id});
    if (!pending_.empty() && ticketHolder_ == nullptr) {
      ticketHolder_ = entry.processor;
      TRACE(Debug) << "PatternProcessor 0x" << entry.processor.get() << " got ticket to invoke actions";
    }
  }
  // Otherwise another processor holds the ticket and this match has no actions to drop.

  if (!entry.processor->Advance()) {
    // Runs only from this machine's drain, under its lock.
    MachineAction release = [this, releasing = std::weak_ptr<PatternProcessor>(entry.processor)]() {
      TRACE(Debug) << "Empty acting processor";
      // Only the holder hands the ticket back: a silent or dropped processor that finishes
      // must not take it from a holder between two of its roots.
      if (ticketHolder_ != nullptr && ticketHolder_ == releasing.lock()) ticketHolder_.reset();
      return Option<Continuation>::None();
    };
    pending_.push_back(PendingAction{QueuedAction{std::move(release)}, look_->id});
  }
  return true;
}

void Machine::Drain() {
  while (!pending_.empty() && !Abandoned()) {
    Option<Continuation> result;
    try {
      NoteAction(pending_.front());
      result = pending_.front().action.run();
    } catch (...) {
      // The action stays at the head and is tried again on the next pass.
      TraceException("Matcher");
      return;
    }
    continuation_ = result;
    if (result.IsNone()) {
      pending_.pop_front();
      TRACE(Debug) << "Action executed; there is " << pending_.size() << " in the rest.";
    } else {
      TRACE(Debug) << "One of actions was not executed; there is " << pending_.size() << " in the rest.";
      return;
    }
  }
}

std::size_t Machine::ProcessorCount() const {
  // The pass's lock order (lock_, then incomingLock_): a pass cannot move the incoming in between.
  std::lock_guard<std::mutex> guard(lock_);
  std::lock_guard<std::mutex> incomingGuard(incomingLock_);
  return processors_.size() + incoming_.size();
}

std::size_t Machine::PendingActionCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pending_.size();
}

bool Machine::HasTicketHolder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return ticketHolder_ != nullptr;
}

SilentMachine::SilentMachine(HWND window, std::shared_ptr<UIElement> root, ElementResolver resolver,
                             std::shared_ptr<MessageWindow> messageWindow)
    : MachineBase(window, std::move(root), std::move(resolver), std::move(messageWindow), L"SilentMachine") {}

std::shared_ptr<SilentMachine> SilentMachine::Create(HWND window, std::shared_ptr<UIElement> root,
                                                     ElementResolver resolver,
                                                     std::shared_ptr<MessageWindow> messageWindow) {
  std::shared_ptr<SilentMachine> machine(
      new SilentMachine(window, std::move(root), std::move(resolver), std::move(messageWindow)));
  machine->Init();
  return machine;
}

void SilentMachine::AddPattern(std::shared_ptr<SilentPatternProcessor> processor) {
  std::vector<std::shared_ptr<SilentPatternProcessor>> one;
  one.push_back(std::move(processor));
  AddPatterns(std::move(one));
}

void SilentMachine::AddPatterns(std::vector<std::shared_ptr<SilentPatternProcessor>> processors) {
  for (const auto& processor : processors) {
    TRACE(Debug) << "Adding silent pattern processor: 0x" << processor.get() << " to " << Description();
  }
  {
    std::lock_guard<std::mutex> guard(incomingLock_);
    std::move(processors.begin(), processors.end(), std::back_inserter(incoming_));
  }
  FireResampler();
}

void SilentMachine::Matcher() {
  if (!IsWindow(Window())) {
    TRACE(Info) << "Skipping " << Description() << ", no more actual";
    NotifyWindowGone();
    return;
  }
  std::lock_guard<std::mutex> guard(lock_);
  TakeIncoming(incomingLock_, incoming_, processors_);
  if (processors_.empty()) return;
  if (!WindowResponds()) return;
  const PassMeter meter(Window());
  TRACE(Info) << Description() << " starts matching";
  const ElementResolver resolve = OneLookPerPass(Resolver());
  for (const std::shared_ptr<SilentPatternProcessor>& processor : processors_) {
    try {
      MatchBounds bounds(kDefaultNodeTestBudget, &Stopping());
      processor->Match(resolve);
    } catch (const MatchStopped&) {
      TRACE(Info) << Description() << " pass stopped: the machine shuts down";
      return;
    } catch (const MatchBudgetExceeded& exceeded) {
      TRACE(Warning) << "Silent pattern gave up on " << Description() << " after " << exceeded.Budget()
                     << " search steps in one pass";
    } catch (...) {
      TraceException("Matcher");
    }
  }
}

void SilentMachine::FlushStatistics() {
  std::lock_guard<std::mutex> guard(lock_);
  TakeIncoming(incomingLock_, incoming_, processors_);
  for (const std::shared_ptr<SilentPatternProcessor>& processor : processors_) {
    try {
      processor->FlushStatistics();
    } catch (...) {
      TraceException("SilentMachine::FlushStatistics");
    }
  }
}

std::size_t SilentMachine::ProcessorCount() const {
  // The pass's lock order (lock_, then incomingLock_): a pass cannot move the incoming in between.
  std::lock_guard<std::mutex> guard(lock_);
  std::lock_guard<std::mutex> incomingGuard(incomingLock_);
  return processors_.size() + incoming_.size();
}

}  // namespace installation_assistant

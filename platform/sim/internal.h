// simwin's shared state. One mutex guards everything; one condition variable wakes every waiter on any change (waits
// re-check their own condition). Window procedures, hook callbacks, APCs and thread bodies are always called with the
// mutex released, because they call back into simwin.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/sim/simwin.h"
#include "platform/win32.h"

namespace simwin::detail {

using Lock = std::unique_lock<std::mutex>;
using Clock = std::chrono::steady_clock;

// Anything a HANDLE can name.
struct KObject {
  virtual ~KObject() = default;
  virtual bool Waitable() const { return false; }
  virtual bool Signaled() const { return false; }
  // Called when a wait is satisfied by this object (auto-reset events reset here).
  virtual void Acquire() {}
};

struct EventObj : KObject {
  bool manualReset = false;
  bool signaled = false;
  std::wstring name;
  bool Waitable() const override { return true; }
  bool Signaled() const override { return signaled; }
  void Acquire() override {
    if (!manualReset) signaled = false;
  }
};

struct WndClass;

struct ProcessState : KObject {
  DWORD pid = 0;
  std::wstring imageName;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  // Class names are case-insensitive: keyed by the lower-cased name.
  std::map<std::wstring, std::shared_ptr<WndClass>> classes;
  bool Waitable() const override { return true; }
  bool Signaled() const override { return ended; }
};

struct SentMessage {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  // Set for work marshalled onto the receiving thread (simulated COM calls into an
  // apartment): run instead of a window procedure.
  std::function<LRESULT()> call;
  bool handled = false;  // false if done because the receiver went away
};

struct PendingEvent {
  HWINEVENTHOOK hook;
  WINEVENTPROC proc;
  DWORD event;
  HWND hwnd;
  LONG idObject;
  LONG idChild;
  DWORD idEventThread;
  DWORD time;
};

// A timer of SetTimer: a window's (hwnd) or the thread's (hwnd null), kept by the thread that set it.
struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT interval = 0;
  uint64_t due = 0;  // ClockMs()
  TIMERPROC proc = nullptr;
};

struct ThreadState : KObject {
  DWORD tid = 0;
  std::shared_ptr<ProcessState> process;
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  std::deque<MSG> posted;
  bool quitPending = false;
  int quitCode = 0;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<PendingEvent> events;
  std::deque<std::pair<PAPCFUNC, ULONG_PTR>> apcs;
  std::vector<Timer> timers;
  UINT_PTR nextTimerId = 0x7FFF;
  // Set for the UI thread of a simwin::Process: TerminateProcess asks it to leave its loop.
  bool processUiThread = false;
  // Its input state: the window with the keyboard focus and its active top-level window (focus.cpp).
  HWND focus = nullptr;
  HWND active = nullptr;
  // Hang detection: when it last looked for messages (ClockMs) and whether it waits for them now (GetMessage,
  // WaitMessage, a SendMessage that handles what is sent meanwhile).
  uint64_t lastPumpMs = 0;
  int waitingForMessages = 0;
  bool Waitable() const override { return true; }
  bool Signaled() const override { return ended; }
};

struct WndClass {
  std::wstring name;
  ATOM atom = 0;
  WNDPROC proc = nullptr;
  UINT style = 0;
  HINSTANCE instance = nullptr;
  int windows = 0;
};

struct Window {
  HWND hwnd = nullptr;
  std::shared_ptr<WndClass> cls;
  std::shared_ptr<ThreadState> thread;  // null for the two roots
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::wstring text;
  RECT rect{};  // relative to the parent's client area
  // The non-client area's width on each side, laid out at creation and when the size changes: a frame style set
  // later waits for that, as Windows caches it ("SetWindowLongW function", Microsoft Learn).
  RECT frame{};
  LONG_PTR id = 0;
  LONG_PTR userData = 0;
  HINSTANCE instance = nullptr;
  HWND parent = nullptr;  // the desktop or the message root for top-level windows
  HWND owner = nullptr;
  bool messageOnly = false;
  bool destroying = false;
  std::vector<HWND> children;  // z-order, top first
  // Standard controls: a button's BST_CHECKED / BST_INDETERMINATE / BST_PUSHED / BST_FOCUS bits.
  UINT buttonState = 0;
  // A dialog's control that had the focus when the dialog was last deactivated.
  HWND savedFocus = nullptr;
  // SetLayeredWindowAttributes' values; unset until the first call, and again when WS_EX_LAYERED is cleared.
  bool layeredSet = false;
  COLORREF layeredKey = 0;
  BYTE layeredAlpha = 0;
  DWORD layeredFlags = 0;
  // Painting: the update rectangle (client coordinates) while one is pending, the window region, what was drawn.
  bool needsPaint = false;
  bool needsErase = false;
  RECT update{};
  HRGN region = nullptr;
  std::vector<simwin::DrawOp> displayList;
  HICON staticIcon = nullptr;  // a Static's STM_SETICON
  HGDIOBJ font = nullptr;      // a control's WM_SETFONT
};

struct Hook {
  HWINEVENTHOOK handle = nullptr;
  DWORD eventMin = 0;
  DWORD eventMax = 0;
  WINEVENTPROC proc = nullptr;
  DWORD idProcess = 0;
  DWORD idThread = 0;
  DWORD flags = 0;
  std::shared_ptr<ThreadState> owner;
};

struct Globals {
  std::mutex mu;
  std::condition_variable cv;
  Clock::time_point start = Clock::now();

  DWORD nextClientId = 1000;  // thread and process ids share one space, as on Windows
  uintptr_t nextHandle = 0x104;
  std::unordered_map<uintptr_t, std::shared_ptr<KObject>> handles;
  std::unordered_map<std::wstring, std::weak_ptr<EventObj>> namedEvents;
  std::unordered_map<DWORD, std::weak_ptr<ProcessState>> processes;
  std::vector<std::shared_ptr<ProcessState>> liveProcesses;
  std::shared_ptr<ProcessState> root;
  std::unordered_map<DWORD, std::shared_ptr<ThreadState>> threads;  // live threads
  TerminateHandler terminateHandler;

  uintptr_t nextHwnd = 0;
  ATOM nextAtom = 0xC000;
  std::unordered_map<uintptr_t, std::shared_ptr<Window>> windows;
  HWND desktop = nullptr;
  HWND messageRoot = nullptr;
  HWND foreground = nullptr;

  uintptr_t nextHook = 0x7A0004;
  // SetWinEventHook failure injection: after this many more successes, fail once with the error.
  int hookSuccessesBeforeFailure = -1;
  DWORD hookFailureError = 0;
  std::map<uintptr_t, std::shared_ptr<Hook>> hooks;  // in order of creation
  // How long a thread may go without looking for messages, while not waiting for them, before it counts as hung.
  uint64_t hungAppTimeoutMs = 5000;
  // The longest queue of undelivered WinEvents of any thread since TakeWinEventQueuePeak.
  std::size_t winEventQueuePeak = 0;
};

Globals& G();

// The calling thread's state, registered in the root process on first use. Takes the lock itself: call it before
// locking.
std::shared_ptr<ThreadState> Self();
DWORD NowTicks();
// Milliseconds on simwin's clock (timers.cpp): real time, or the manual clock a test holds.
uint64_t ClockMs();
// The WM_TIMER of the earliest due timer of `self` matching the filter, restarting it if removed (lock held).
bool TakeTimerMessage(ThreadState& self, LPMSG out, HWND filter, UINT min, UINT max, bool remove);
bool HasDueTimer(const ThreadState& self);  // lock held
// Waits for any change, or until the next timer of `self` is due (lock held).
void WaitForQueue(Lock& lk, ThreadState& self);
void RemoveWindowTimers(ThreadState& thread, HWND hwnd);  // lock held
// A WM_TIMER with a TIMERPROC goes to the procedure: true if it did.
bool DispatchTimerProc(const MSG& msg);
// Painting (paint.cpp): the WM_PAINT GetMessage makes for a window of `self` with an update region (lock held).
bool TakePaintMessage(ThreadState& self, LPMSG out, HWND filter, UINT min, UINT max);
// A WM_TIMER or WM_PAINT can be made for `self` now (lock held).
bool HasGeneratedMessage(const ThreadState& self);
// Adds to the update region (null: the whole client area). Lock held.
void InvalidateLocked(Window& w, const RECT* rect, bool erase);
// What a window being removed leaves behind: its timers, its region (lock held).
void ReleaseWindowResources(Window& w);
// DefWindowProc's WM_PAINT: validates without drawing.
LRESULT DefaultPaint(HWND hwnd);
// Appends to the display list of the window `hdc` draws into, if it draws into one (lock held).
void RecordDraw(HDC hdc, simwin::DrawOp op);
// The Static control's window procedure (static_control.cpp).
LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// What a standard control answers oleacc's WM_GETOBJECT(OBJID_QUERYCLASSNAMEIDX) with, so that a control of a class
// derived from it is recognised (Microsoft Learn, "Appendix F: Object Identifier Values for
// OBJID_QUERYCLASSNAMEIDX").
inline constexpr LRESULT kButtonClassIndex = 65536 + 2;
inline constexpr LRESULT kStaticClassIndex = 65536 + 3;
inline constexpr LRESULT kEditClassIndex = 65536 + 4;
inline bool IsClassQuery(UINT msg, LPARAM lParam) {
  return msg == WM_GETOBJECT && static_cast<LONG>(lParam) == OBJID_QUERYCLASSNAMEIDX;
}
// Whether a queued message passes GetMessage's window and range filter (lock held).
bool MessageMatches(const MSG& m, HWND filter, UINT min, UINT max);
DWORD NewClientId();                             // lock held
HANDLE AddHandle(std::shared_ptr<KObject> obj);  // lock held
// Resolves a handle or pseudo handle; null if invalid. Lock held.
std::shared_ptr<KObject> ResolveHandle(HANDLE h, const std::shared_ptr<ThreadState>& self);

// Runs on a new native thread registered as `state`; ends it with the body's exit code.
std::thread SpawnThread(std::shared_ptr<ThreadState> state, std::function<DWORD()> body);
// Creates a thread state in `process` and registers it (lock held).
std::shared_ptr<ThreadState> NewThreadState(std::shared_ptr<ProcessState> process);
// Ends the calling thread the way Windows does: its windows are destroyed, its hooks removed, messages sent to it
// return 0, its handle is signalled.
void EndCurrentThread(DWORD exitCode);

// The thread has not looked for messages for the hung time-out and is not waiting for them: what IsHungAppWindow and
// SMTO_ABORTIFHUNG see ("IsHungAppWindow function", Microsoft Learn). Lock held.
bool IsThreadHung(const ThreadState& thread);
// Marks the thread as looking for messages now, and, for the scope of the guard, as waiting for them (lock held).
void NotePump(ThreadState& self);
class WaitingForMessages {
 public:
  explicit WaitingForMessages(ThreadState& self) : self_(self) {
    NotePump(self_);
    ++self_.waitingForMessages;
  }
  ~WaitingForMessages() {
    --self_.waitingForMessages;
    NotePump(self_);
  }
  WaitingForMessages(const WaitingForMessages&) = delete;
  WaitingForMessages& operator=(const WaitingForMessages&) = delete;

 private:
  ThreadState& self_;
};

// Handles one incoming sent message or one queued WinEvent of `self`; false if none. Lock held on entry and exit;
// released around the callback.
bool PumpOneIncoming(Lock& lk, ThreadState& self);
bool HandleOneSentMessage(Lock& lk, ThreadState& self);
bool DeliverOneWinEvent(Lock& lk, ThreadState& self);

// Raises a WinEvent caused by the calling thread (lock not held).
void RaiseWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild);

void DestroyThreadWindows(ThreadState& self);  // lock not held
void RemoveThreadHooks(ThreadState& self);     // lock held

// Marks a logical process ended and stops its UI thread's loop (lock held); false if it had already ended.
bool EndProcessLocked(const std::shared_ptr<ProcessState>& process, DWORD exitCode);

std::shared_ptr<Window> FindWindowLocked(HWND hwnd);  // lock held; roots included
bool IsRoot(HWND hwnd);                               // the desktop or the message root
// A user window (not a root), or null with ERROR_INVALID_WINDOW_HANDLE. Lock held.
std::shared_ptr<Window> UserWindow(HWND hwnd);
// Any window including the desktop (for GetWindow and friends), or null with ERROR_INVALID_WINDOW_HANDLE. Lock held.
std::shared_ptr<Window> AnyWindow(HWND hwnd);
// The width of the non-client area on each side for these styles (geometry.cpp).
RECT FrameInsets(DWORD style, DWORD exStyle, bool menu);
bool IsDescendant(HWND ancestor, HWND hwnd);          // lock held; along the parent chain
// Focus and activation (focus.cpp), called by the window functions with the lock not held: a top-level window
// ShowWindow has just shown, a window it has just hidden, a window DestroyWindow is about to destroy (its owned
// windows gone already).
void ActivateShownWindow(HWND hwnd, int nCmdShow);
void LeaveHiddenWindow(HWND hwnd);
void LeaveDestroyedWindow(HWND hwnd);
// The dialog manager's WM_ACTIVATE and WM_SETFOCUS of a dialog (lock not held).
void DialogActivation(HWND dialog, WPARAM wParam);
void DialogFocus(HWND dialog);
// The system-wide classes of the standard controls ("Button", "Static", "Edit", "#32770"), by name; null if `name`
// names none. Lock held.
std::shared_ptr<WndClass> FindSystemClassLocked(LPCWSTR name);
// Runs `call` on thread `tid` the way a cross-apartment COM call runs: queued like a sent message and handled when that
// thread retrieves messages, while the caller waits and handles what is sent to itself. On the thread itself it runs
// directly. False (and `call` not run) if the thread has ended or ends first. Lock not held.
bool RunOnThread(DWORD tid, const std::function<LRESULT()>& call, LRESULT& result);
std::wstring FoldCase(const std::wstring& s);

// Message ids simwin::Process uses on its UI thread (in the private range above 0xC000 that RegisterWindowMessage would
// hand out, so no application message collides).
constexpr UINT kRunWorkMessage = 0xFE01;
constexpr UINT kStopMessage = 0xFE02;
// Posted to a window that serves a native UI Automation tree: the action of an element Invoke was called on
// (wParam: the element).
constexpr UINT kProviderActionMessage = 0xFE03;

}  // namespace simwin::detail

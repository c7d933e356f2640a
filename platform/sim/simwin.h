// simwin's driving API: what a test, the demo or a benchmark does to the simulated
// Windows from outside (start an installer process, act as the user, inspect state).
// Engine code never includes this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/uia_provider.h"
#include "platform/win32.h"

namespace simwin {

// A logical process with one UI thread that pumps its own messages (GetMessageW loop)
// until the process exits. Windows created inside Invoke belong to that UI thread.
class Process {
 public:
  explicit Process(std::wstring imageName = L"setup.exe");
  ~Process();  // exits with code 0 if still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  DWORD Id() const;
  DWORD UiThreadId() const;
  const std::wstring& ImageName() const;

  // Runs work on the UI thread (as a posted thread message) and waits until it has run.
  // An exception thrown by work is rethrown here.
  void Invoke(std::function<void()> work);
  // Runs work on the UI thread without waiting.
  void Post(std::function<void()> work);

  // Another UI thread of the same process, pumping its own messages: windows created in its Invoke belong to it.
  // Its Exit ends only that thread (a hang first); the process's Exit leaves it running.
  std::unique_ptr<Process> AddUiThread();

  // The UI thread stops pumping for `ms` (real time) or until EndHang: what is sent to its windows waits, and once
  // the hung time-out has passed (SetHungAppTimeout) the thread counts as hung. From another thread it returns once
  // the hang has begun; on the UI thread itself (a window procedure that stalls) once it has ended.
  void Hang(DWORD ms);
  void EndHang();

  // Ends the process: a hang ends, its UI thread leaves its loop and is joined, its remaining
  // windows are destroyed (with their WinEvents), then the process is marked ended with the code
  // and its handles are signalled.
  void Exit(DWORD exitCode = 0);
  bool HasExited() const;

 private:
  struct State;
  explicit Process(std::shared_ptr<State> state);
  void StartUiThread();

  std::shared_ptr<State> state_;
};

// How long a thread may go without looking for messages, while not waiting for them, before IsHungAppWindow and
// SMTO_ABORTIFHUNG take it for hung (Windows: 5 seconds), on simwin's clock. Returns the previous value.
DWORD SetHungAppTimeout(DWORD ms);

// Id of the root process: the one every native thread that simwin has not seen belongs to.
DWORD RootProcessId();

// What TerminateProcess of the root process does instead of ending the Linux process.
// Returns the previous handler; an empty handler restores _exit.
using TerminateHandler = std::function<void(UINT exitCode)>;
TerminateHandler SetTerminateHandler(TerminateHandler handler);

// Clears the ended state of the root process after a test observed a TerminateProcess.
void ResetRootProcess();

// Number of WinEvent hooks currently set, by any thread.
std::size_t LiveWinEventHookCount();

// The longest queue of WinEvents waiting for delivery to one hooking thread since the last call; starts anew.
std::size_t TakeWinEventQueuePeak();

// Lets the next `successes` SetWinEventHook calls (of any thread) succeed and fails the one
// after with `error`, as the system does when it runs out of hook resources.
void FailSetWinEventHookAfter(int successes, DWORD error = ERROR_NOT_ENOUGH_MEMORY);

// Number of windows that currently exist (for leak checks).
std::size_t LiveWindowCount();

// Kernel object handles (events, threads, processes, pipes, ...) open now, in any process (for leak checks).
std::size_t LiveKernelHandleCount();

// Registered classes of the calling thread's process with that name: true if present.
bool IsClassRegistered(const std::wstring& className);

// While one exists, simwin's clock (GetTickCount, GetTickCount64, timers, message times) stands still and moves only
// by Advance, which wakes every thread waiting for a message; afterwards it runs in real time again from where it
// stood. One at a time.
class ManualClock {
 public:
  ManualClock();
  ~ManualClock();
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;
  void Advance(uint64_t ms);
};

// The one monitor (screen coordinates) and its work area, the monitor less the task bar. Default: 1920x1080 with a
// task bar 40 pixels high at the bottom.
void SetMonitor(const RECT& monitor, const RECT& workArea);

// ---------------------------------------------------------------------------------------
// Painting: what windows drew, and GDI leak checks
// ---------------------------------------------------------------------------------------
// One drawing call recorded for a window, in its client coordinates, for a picture writer to render.
struct DrawOp {
  enum class Kind { Fill, RoundRect, Text, Icon };
  Kind kind = Kind::Fill;
  RECT rect{};
  // Fill and RoundRect: the brush's colour (RoundRect: unfilled with a null brush); Text: the text colour.
  COLORREF color = 0;
  bool filled = true;
  COLORREF penColor = 0;  // RoundRect's outline, absent with a null pen
  bool outlined = true;
  SIZE corner{};  // RoundRect's ellipse
  // Text: one line, placed in `rect` (its measured box), with the DC's font and background.
  std::wstring text;
  std::wstring fontFace;
  int fontHeight = 0;  // cell height in pixels
  int fontWeight = 0;
  bool transparent = false;  // SetBkMode(TRANSPARENT); otherwise the text box is filled with `background`
  COLORREF background = 0;
  HICON icon = nullptr;  // Icon: drawn into `rect`
};
// The drawing since the last paint that covered the whole client area (a full repaint starts the list anew).
std::vector<DrawOp> DisplayList(HWND hwnd);

// simwin's font model, for tests that compute where text lands: a font's cell height is lfHeight when positive, the
// character height |lfHeight| plus a quarter (internal leading) when negative, 16 for 0; every character (space
// included) advances by lfWidth when given, else by half the cell height, one more for FW_BOLD and heavier. A line is
// one cell high; '&' prefixes are dropped unless DT_NOPREFIX.
int FontCellHeight(const LOGFONTW& font);
int FontCharWidth(const LOGFONTW& font);

// An icon's size and, for one made from a 32-bit image, its pixels (0xAARRGGBB, top row first); empty if `icon` is
// no live icon.
struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;
};
std::optional<IconImage> IconPixels(HICON icon);
std::size_t LiveIconCount();

// GDI objects (fonts, brushes, pens, regions) alive now that are not stock objects, for leak checks.
std::size_t LiveGdiObjectCount();

// What a picture writer needs of a window, read under simwin's lock without a message (so from any thread, even while
// the window's thread is busy). Empty if `hwnd` is no window; the desktop gives its top-level windows.
struct WindowView {
  std::wstring className;
  std::wstring text;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT window{};  // screen, the frame included
  RECT client{};  // screen
  DWORD processId = 0;
  UINT buttonState = 0;  // a button's BST_ bits
  HICON icon = nullptr;  // a Static's STM_SETICON
  std::optional<LOGFONTW> font;  // WM_SETFONT's
  std::vector<HWND> children;  // z-order, top first
};
std::optional<WindowView> ViewWindow(HWND hwnd);

// ---------------------------------------------------------------------------------------
// Dialogs with standard controls, and acting as the user
// ---------------------------------------------------------------------------------------
// One control of a dialog: a window of a system class ("Button", "Static", "Edit"), created as a child
// (WS_CHILD is added; WS_VISIBLE too unless `visible` is false).
struct ControlLayout {
  std::wstring className = L"Button";
  DWORD style = BS_PUSHBUTTON;
  std::wstring text;
  int id = 0;
  RECT rect{0, 0, 80, 24};  // in the dialog's client area
  UINT check = BST_UNCHECKED;  // set with BM_SETCHECK after creation
  bool enabled = true;
  bool visible = true;
};

struct DialogLayout {
  std::wstring title = L"Setup";
  // The frame follows the style as for a dialog made from a template: caption, borders, DS_MODALFRAME's frame.
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  RECT rect{100, 100, 500, 400};  // screen, the frame included
  bool visible = true;
  std::vector<ControlLayout> controls;
  // Called on the UI thread for every WM_COMMAND the dialog receives (after it is recorded).
  std::function<void(WORD id, WORD code, HWND control)> onCommand;
};

struct Dialog {
  HWND hwnd = nullptr;
  std::vector<HWND> controls;  // in the order of DialogLayout::controls
  HWND Control(int id) const;  // null if no control has that id
};

// Creates a "#32770" dialog and its controls on the process's UI thread.
Dialog CreateDialogFromLayout(Process& process, const DialogLayout& layout);

struct Command {
  WORD id;
  WORD code;
  HWND control;
};
// The WM_COMMAND messages a dialog made by CreateDialogFromLayout has received, in order.
std::vector<Command> ReceivedCommands(HWND dialog);

// Clicks a control as the user would: BM_CLICK handled by the control's UI thread (blocks while it does not pump).
void Click(HWND control);
// BM_GETSTATE / BM_GETCHECK answered by the control's UI thread.
UINT ButtonState(HWND control);
UINT CheckState(HWND control);
// Enables or disables a window from its own UI thread (EnableWindow).
void SetEnabled(Process& process, HWND hwnd, bool enabled);

// ---------------------------------------------------------------------------------------
// Accessibility: custom trees, call counting, fault injection, leak checks
// ---------------------------------------------------------------------------------------
// One element of a custom MSAA tree, as a custom-drawn installer serves it.
struct AccNode {
  std::wstring key;  // identifies the element for faults and state changes; defaults to the name
  LONG role = ROLE_SYSTEM_CLIENT;
  std::wstring name;
  std::optional<std::wstring> value;
  std::optional<std::wstring> description;
  LONG state = STATE_SYSTEM_NORMAL;
  std::optional<std::wstring> defaultAction;
  RECT location{};  // screen; accLocation answers left, top, width, height
  // A simple element: reached by its child id (position among its parent's children, from 1), not as an object.
  bool simple = false;
  // accDoDefaultAction flips STATE_SYSTEM_CHECKED and raises EVENT_OBJECT_STATECHANGE (hwnd, OBJID_CLIENT, 0).
  bool toggleOnDefaultAction = false;
  std::function<void()> onDefaultAction;  // runs on the UI thread
  std::vector<AccNode> children;

  // Faults of untrusted trees.
  std::optional<long> reportedChildCount;  // get_accChildCount answers this whatever the children are
  // Appends, as the last child, the object of the ancestor this many levels up (0: the element itself).
  std::optional<int> ancestorAsChild;
  // Appends a chain of this many nested elements (each with one child) below the element.
  int chainDepth = 0;
};

// Serves `root` for WM_GETOBJECT(objid) of `hwnd` (a window of `process`): the window answers with
// LresultFromObject, so AccessibleObjectFromWindow reaches the tree. Calls from another process run on the
// process's UI thread (as cross-process COM calls do) and block while it does not pump. The root's parent is the
// standard window object of `hwnd`. Replaces an earlier tree of the same window.
void AttachAccessibleTree(Process& process, HWND hwnd, AccNode root, LONG objid = OBJID_CLIENT);
// State of an element of an attached tree, by key; SetAccessibleState raises EVENT_OBJECT_STATECHANGE.
std::optional<LONG> AccessibleState(HWND hwnd, const std::wstring& key);
void SetAccessibleState(Process& process, HWND hwnd, const std::wstring& key, LONG state);
// The elements of the tree attached to `hwnd` as they stand now, in document order with their depth (the root 0), each
// without children or callbacks; empty if it serves none. Safe from any thread: no call goes to the window.
std::vector<std::pair<int, AccNode>> AccessibleTreeNow(HWND hwnd);

// One element of a native UI Automation tree, as a custom-drawn installer's own provider serves it. The root stands for
// the window itself: a name or control type given there comes before the window's own; its location, enabled and
// off-screen state are the window's.
struct UiaNode {
  std::wstring key;  // identifies the element for faults and state changes; default: the automation id, else the name
  CONTROLTYPEID controlType = 0;  // 0: none given (Custom, the property's default; at the root the window's type)
  std::wstring name;
  std::wstring automationId;
  RECT bounds{};  // screen
  bool enabled = true;
  bool offscreen = false;
  // The patterns it implements and their state.
  std::optional<ToggleState> toggle;  // Toggle cycles On -> Off (-> Indeterminate when threeState) -> On
  bool threeState = false;
  std::optional<bool> selected;  // SelectionItem; Select clears the selected siblings
  bool invoke = false;
  std::function<void()> onInvoke;  // runs on the UI thread after Invoke has returned
  std::vector<UiaNode> children;
};

struct UiaElementState {
  bool enabled = true;
  bool offscreen = false;
  std::optional<ToggleState> toggle;  // empty: no Toggle pattern
  std::optional<bool> selected;       // empty: no SelectionItem pattern
  bool operator==(const UiaElementState&) const = default;
};

// Serves `root` as the provider `hwnd` (a window of `process`) answers WM_GETOBJECT(UiaRootObjectId) with, so UI
// Automation's clients see the tree natively. The window answers no other WM_GETOBJECT: MSAA clients get its standard
// proxy. Calls from another process run on the process's UI thread and block while it does not pump; the provider
// raises its events there. Replaces an earlier tree of the same window.
void AttachAutomationTree(Process& process, HWND hwnd, UiaNode root);
std::optional<UiaElementState> AutomationElementState(HWND hwnd, const std::wstring& key);
// The installer changes an element on its UI thread and raises the property changes; a toggle state or selection of an
// element without that pattern is ignored. Selection set this way leaves the siblings alone.
void SetAutomationElementState(Process& process, HWND hwnd, const std::wstring& key, const UiaElementState& state);
// A user's click, handled on the UI thread: toggles, selects or invokes the element as its pattern does; nothing on a
// disabled element. False if the window serves no such element.
bool ClickAutomationElement(Process& process, HWND hwnd, const std::wstring& key);
// As AccessibleTreeNow, for the UI Automation tree attached to `hwnd`.
std::vector<std::pair<int, UiaNode>> AutomationTreeNow(HWND hwnd);

// An event a provider tree raised: a property change (UIA_AutomationPropertyChangedEventId with the property) or an
// event of its own (ElementSelected, Invoked; property 0).
struct RaisedAutomationEvent {
  EVENTID event = 0;
  PROPERTYID property = 0;
  std::wstring element;  // key
  bool operator==(const RaisedAutomationEvent&) const = default;
};
std::vector<RaisedAutomationEvent> RaisedAutomationEvents(HWND hwnd);

// Calls of IAccessible methods (on simwin's proxies and custom trees), of UI Automation elements and patterns, and of
// the providers of native trees, plus AccessibleChildren and AccessibleObjectFromWindow calls (each one call, whatever
// it calls inside; the latter asks the window's process with WM_GETOBJECT).
uint64_t AccessibilityCallCount();
void ResetAccessibilityCallCount();
// The same calls by method name ("get_accName", "BuildUpdatedCache", "AccessibleChildren", ...).
std::map<std::string, uint64_t> AccessibilityCallsByMethod();
// The same for the calls about one window (the window of the proxy, tree or element called).
std::map<std::string, uint64_t> AccessibilityCallsByMethodAbout(HWND hwnd);
// The calls of one method about one window (the window of the proxy, tree or element called), the uncounted local
// ones included: e.g. how often the engine looked at a top-level window ("AccessibleObjectFromWindow",
// "BuildUpdatedCache").
uint64_t AccessibilityCallsAbout(const std::string& method, HWND hwnd);

// Makes accessibility calls fail: an IAccessible, UI Automation or provider method name ("get_accName",
// "BuildUpdatedCache", "GetPropertyValue"), "AccessibleChildren", "AccessibleObjectFromWindow", or empty for any;
// limited to one window and/or one element of a custom or native tree (its key) when given. Checked before the call
// runs, with the out parameters already cleared.
struct AccessibilityFault {
  std::string method;
  HRESULT hr = E_FAIL;
  HWND hwnd = nullptr;
  std::wstring element;
  int times = -1;  // how many calls fail; negative: all
};
int InjectAccessibilityFault(const AccessibilityFault& fault);
void RemoveAccessibilityFault(int id);
void ClearAccessibilityFaults();

// Leak checks: simwin accessible objects, BSTRs and LresultFromObject results not yet taken that are alive now.
long LiveAccessibleObjectCount();
long LiveBstrCount();
std::size_t PendingLresultCount();

}  // namespace simwin

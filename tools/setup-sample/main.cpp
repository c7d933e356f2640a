// setup-sample: a small setup wizard to run the engine against, on Windows or under wine.
//
//   setup-sample.exe [--start welcome|options|type|finish] [--log FILE] [--close-when FILE] [--timeout MS]
//                    [--answer-message-box MS] [--user-rechecks MS]
//
// Pages follow one another on "Next >": welcome (a banner and a sponsor's tile, custom-drawn), options (two
// bundled offers and a shortcut, all checked), setup type (express, the default, or custom), finish. All controls
// are children of one top-level window; a page is the set of them that is shown. The log (standard output without
// --log) gets the client size of each custom-drawn area ("size banner 420x60"), a line for every page and check
// change, every left button press and release an area receives, in its client coordinates and as it came
// ("click banner down 138,45 sent" from another thread's SendMessage, "... queued" from the message queue), then
// the final state of every box, read from the controls, how the wizard ended:
//   end finish (exit code 0), end cancel (1), end closed (2), end timeout (3),
// and how many accessibility requests came in, when.
// --close-when FILE closes the wizard, as a user closing its window, once FILE exists: a test says so when it
// has seen what it waits for. --timeout MS ends it in any case (default 300 s).
// From its start the wizard serves the engine's message box requests (tools/inproc-component) and logs each one as
// `message box <button> "<title>"` (`message box unreadable "<line>"` if it does not parse). With
// --answer-message-box MS the user answers MS after the request came: its event is set and `message box answered
// <button>` logged; without it the user never answers.
// --user-rechecks MS: the user clicks each box that someone else unchecked, MS after it was unchecked, once per box,
// so that it is checked again (a user who wants the offer after all).
#include <windows.h>
#include <ole2.h>
#include <oleacc.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "accessible.h"
#include "inproc_component.h"

namespace {

enum Page { kWelcome, kOptions, kType, kFinish };
const char* const kPageNames[] = {"welcome", "options", "type", "finish"};
constexpr int kEveryPage = -1;

constexpr wchar_t kAreaClass[] = L"SampleBanner";

struct Control {
  const char* name;  // in the log; only boxes and custom-drawn areas have one
  int page;
  const wchar_t* windowClass;
  DWORD style;
  const wchar_t* text;
  int x, y, width, height;
  bool checked;
  HWND window;
};

Control controls[] = {
    {nullptr, kWelcome, L"Static", SS_LEFT, L"Welcome to the Sample App Setup Wizard.", 20, 20, 420, 20},
    {nullptr, kWelcome, L"Static", SS_LEFT, L"Click Next to continue.", 20, 50, 420, 20},
    {"banner", kWelcome, kAreaClass, 0, L"Sample App 2.0: faster than ever", 20, 80, 420, 60},
    {"sponsor", kWelcome, kAreaClass, 0, L"Sponsored: Sample Cleaner", 20, 150, 200, 60},
    {nullptr, kOptions, L"Static", SS_LEFT, L"Choose the components to install:", 20, 20, 420, 20},
    {"toolbar", kOptions, L"Button", BS_AUTOCHECKBOX | WS_GROUP | WS_TABSTOP,
     L"Install the Sample toolbar (recommended)", 20, 50, 420, 20, true},
    {"homepage", kOptions, L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Make Sample Search my &home page", 20, 80, 420,
     20, true},
    {"shortcut", kOptions, L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Create a desktop &shortcut", 20, 110, 420, 20,
     true},
    {nullptr, kType, L"Static", SS_LEFT | WS_GROUP, L"Choose the type of installation:", 20, 20, 420, 20},
    {"express", kType, L"Button", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
     L"&Express installation (recommended)", 20, 50, 420, 20, true},
    {"custom", kType, L"Button", BS_AUTORADIOBUTTON, L"&Custom installation (advanced users)", 20, 80, 420, 20},
    {nullptr, kFinish, L"Static", SS_LEFT | WS_GROUP, L"Sample App has been installed.", 20, 20, 420, 20},
    {"launch", kFinish, L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"&Launch Sample App", 20, 50, 420, 20, true},
    // Shared by all pages, after the pages' controls: first in the tab order is the page.
    {nullptr, kEveryPage, L"Button", BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP, L"< &Back", 180, 270, 80, 24},
    {nullptr, kEveryPage, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, L"&Next >", 270, 270, 80, 24},
    {nullptr, kEveryPage, L"Button", BS_PUSHBUTTON | WS_TABSTOP, L"Cancel", 360, 270, 80, 24},
};
constexpr int kControlCount = sizeof(controls) / sizeof(controls[0]);
constexpr int kBack = kControlCount - 3;
constexpr int kNext = kControlCount - 2;
constexpr int kCancel = kControlCount - 1;
constexpr int kFirstId = 100;
constexpr UINT_PTR kClock = 1;
// A request from the component's thread, handed to the wizard's (lParam: a MessageBoxRequest to delete).
constexpr UINT kMessageBoxRequest = WM_APP + 1;
constexpr UINT_PTR kFirstAnswer = 100;  // timer ids: one per request to answer
constexpr UINT_PTR kFirstRecheck = 50;  // timer ids: kFirstRecheck + the box's index

struct Wizard {
  HWND window = nullptr;
  int page = kWelcome;
  HANDLE log = nullptr;
  int wineMajor = 0;  // 0: not under wine
  bool ended = false;
  int exitCode = 3;
  ULONGLONG started = 0;
  bool requested = false;
  ULONGLONG firstRequest = 0;
  ULONGLONG lastRequest = 0;
  unsigned long requests = 0;
  ULONGLONG longestGap = 0;
  std::wstring closeWhen;
  ULONGLONG timeout = 300000;
  long answerDelay = -1;  // never
  long recheckDelay = -1;  // never
  bool userClicking = false;
  bool rechecked[kControlCount] = {};
  UINT_PTR nextAnswer = kFirstAnswer;
  std::map<UINT_PTR, inproc::MessageBoxRequest> unanswered;  // by timer id
} wizard;

inproc::Component* messageBoxes = nullptr;

void Log(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(wizard.log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void Requested() {
  const ULONGLONG now = GetTickCount64();
  if (!wizard.requested) wizard.firstRequest = now;
  if (wizard.requested && now - wizard.lastRequest > wizard.longestGap) wizard.longestGap = now - wizard.lastRequest;
  wizard.requested = true;
  wizard.lastRequest = now;
  ++wizard.requests;
}

// Windows raises these for its own controls. Wine 8 raises none of them, wine 10 all but NAMECHANGE: under wine the
// wizard raises what that wine lacks, so that the engine sees the system's own events wherever wine has them.
void RaiseAsWindows(DWORD event, HWND window, LONG objectId) {
  const bool wineLacks = wizard.wineMajor != 0 && (wizard.wineMajor < 10 || event == EVENT_OBJECT_NAMECHANGE);
  if (wineLacks) NotifyWinEvent(event, window, objectId, CHILDID_SELF);
}

bool IsArea(const Control& control) { return control.windowClass == kAreaClass; }

bool IsBox(const Control& control) { return control.name != nullptr && !IsArea(control); }

bool Checked(const Control& control) {
  return SendMessageW(control.window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetEnabled(const Control& control, bool enabled) {
  if (!IsWindowEnabled(control.window) == !enabled) return;
  EnableWindow(control.window, enabled);
  RaiseAsWindows(EVENT_OBJECT_STATECHANGE, control.window, OBJID_WINDOW);
}

void ShowPage(int page) {
  for (Control& control : controls) {
    if (control.page == kEveryPage) continue;
    const bool show = control.page == page;
    if (!IsWindowVisible(control.window) == !show) continue;
    ShowWindow(control.window, show ? SW_SHOWNA : SW_HIDE);
    RaiseAsWindows(show ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE, control.window, OBJID_WINDOW);
  }
  SetEnabled(controls[kBack], page != kWelcome && page != kFinish);
  SetEnabled(controls[kCancel], page != kFinish);
  const wchar_t* next = page == kFinish ? L"&Finish" : L"&Next >";
  wchar_t text[32] = {};
  GetWindowTextW(controls[kNext].window, text, 32);
  if (lstrcmpW(text, next) != 0) {
    SetWindowTextW(controls[kNext].window, next);
    RaiseAsWindows(EVENT_OBJECT_NAMECHANGE, controls[kNext].window, OBJID_WINDOW);
  }
  wizard.page = page;
  Log(std::string("page ") + kPageNames[page]);
}

// Whoever clicked (the user or the engine through an accessible object), every box that changed is logged.
void NoteCheckChanges() {
  for (int i = 0; i < kControlCount; ++i) {
    Control& control = controls[i];
    if (!IsBox(control) || Checked(control) == control.checked) continue;
    control.checked = !control.checked;
    Log(std::string("check ") + control.name + (control.checked ? " checked" : " unchecked") +
        (wizard.userClicking ? " by the user" : ""));
    RaiseAsWindows(EVENT_OBJECT_STATECHANGE, control.window, OBJID_CLIENT);
    if (!control.checked && !wizard.userClicking && wizard.recheckDelay >= 0 && !wizard.rechecked[i]) {
      wizard.rechecked[i] = true;
      SetTimer(wizard.window, kFirstRecheck + i, static_cast<UINT>(wizard.recheckDelay), nullptr);
    }
  }
}

// The user's click on a box, as the button handles a click of the mouse.
void Recheck(UINT_PTR timer) {
  KillTimer(wizard.window, timer);
  const Control& control = controls[timer - kFirstRecheck];
  wizard.userClicking = true;
  SendMessageW(control.window, BM_CLICK, 0, 0);
  wizard.userClicking = false;
}

void End(const char* how, int exitCode) {
  if (wizard.ended) return;
  wizard.ended = true;
  if (messageBoxes) messageBoxes->Stop();
  Log(std::string("final page ") + kPageNames[wizard.page]);
  for (const Control& control : controls) {
    if (IsBox(control)) Log(std::string("final ") + control.name + (Checked(control) ? " checked" : " unchecked"));
  }
  Log(std::string("end ") + how);
  if (wizard.requested) {
    char timing[128];
    std::snprintf(timing, sizeof(timing), "%lu requests from %llu ms to %llu ms (longest gap %llu ms), end at %llu ms",
                  wizard.requests, wizard.firstRequest - wizard.started, wizard.lastRequest - wizard.started,
                  wizard.longestGap, GetTickCount64() - wizard.started);
    Log(timing);
  }
  KillTimer(wizard.window, kClock);
  DestroyWindow(wizard.window);
  wizard.exitCode = exitCode;
}

const Control* ControlOf(HWND window) {
  for (const Control& control : controls) {
    if (control.window == window) return &control;
  }
  return nullptr;
}

// The engine posts the clicks at pixels of a pattern and sends those it computes from the element's size: the log
// says which way each one came.
void NoteClick(HWND window, UINT message, LPARAM point) {
  const Control* control = ControlOf(window);
  if (!control) return;
  const int x = static_cast<short>(LOWORD(point));
  const int y = static_cast<short>(HIWORD(point));
  char line[96];
  std::snprintf(line, sizeof(line), "click %s %s %d,%d %s", control->name, message == WM_LBUTTONDOWN ? "down" : "up",
                x, y, InSendMessage() ? "sent" : "queued");
  Log(line);
}

// A custom-drawn area, such as installers put on their pages for pictures and offers: no control of Windows',
// so no proxy knows more of it than its window; the wizard serves its objects as for the other controls.
LRESULT CALLBACK AreaProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      NoteClick(window, message, lParam);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window, &paint);
      RECT rect;
      GetClientRect(window, &rect);
      FillRect(dc, &rect, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1));
      wchar_t text[64] = {};
      GetWindowTextW(window, text, 64);
      const HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
      DrawTextW(dc, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectObject(dc, font);
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_GETOBJECT) {
    if (const LRESULT object = setup_sample::AnswerGetObject(window, wParam, lParam)) return object;
  }
  return CallWindowProcW(previous, window, message, wParam, lParam);
}

// On the wizard's thread: the log gets every request, and the user answers those that can be answered.
void NoteMessageBox(const inproc::MessageBoxRequest& request) {
  if (!request.valid) {
    Log("message box unreadable \"" + request.line.substr(0, 120) + "\"");
    return;
  }
  Log("message box " + std::to_string(request.button) + " \"" + request.title + "\"");
  if (wizard.answerDelay < 0) return;
  const UINT_PTR timer = wizard.nextAnswer++;
  wizard.unanswered[timer] = request;
  SetTimer(wizard.window, timer, static_cast<UINT>(wizard.answerDelay), nullptr);
}

void AnswerMessageBox(UINT_PTR timer) {
  KillTimer(wizard.window, timer);
  const auto it = wizard.unanswered.find(timer);
  if (it == wizard.unanswered.end()) return;
  const bool answered = inproc::Answer(it->second);
  Log(std::string(answered ? "message box answered " : "message box gone ") + std::to_string(it->second.button));
  wizard.unanswered.erase(it);
}

LRESULT CALLBACK WizardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kMessageBoxRequest: {
      const auto* request = reinterpret_cast<inproc::MessageBoxRequest*>(lParam);
      NoteMessageBox(*request);
      delete request;
      return 0;
    }
    case WM_GETOBJECT:
      if (const LRESULT object = setup_sample::AnswerGetObject(window, wParam, lParam)) return object;
      break;
    case WM_COMMAND: {
      if (HIWORD(wParam) != BN_CLICKED) break;
      const int index = LOWORD(wParam) - kFirstId;
      if (index == kNext) {
        if (wizard.page == kFinish) {
          End("finish", 0);
        } else {
          ShowPage(wizard.page + 1);
        }
      } else if (index == kBack) {
        if (wizard.page != kWelcome) ShowPage(wizard.page - 1);
      } else if (index == kCancel) {
        End("cancel", 1);
      } else {
        NoteCheckChanges();
      }
      return 0;
    }
    case WM_TIMER: {
      if (wParam >= kFirstRecheck && wParam < kFirstRecheck + kControlCount) {
        Recheck(wParam);
        return 0;
      }
      if (wParam != kClock) {
        AnswerMessageBox(wParam);
        return 0;
      }
      const ULONGLONG now = GetTickCount64();
      if (now - wizard.started >= wizard.timeout) {
        End("timeout", 3);
      } else if (!wizard.closeWhen.empty() && GetFileAttributesW(wizard.closeWhen.c_str()) != INVALID_FILE_ATTRIBUTES) {
        End("closed", 2);
      }
      return 0;
    }
    case WM_CLOSE:
      End("closed", 2);
      return 0;
    case WM_DESTROY:
      for (const Control& control : controls) RaiseAsWindows(EVENT_OBJECT_DESTROY, control.window, OBJID_WINDOW);
      RaiseAsWindows(EVENT_OBJECT_DESTROY, window, OBJID_WINDOW);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool ParseArguments(int& start) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  bool good = arguments != nullptr;
  for (int i = 1; good && i < count; i += 2) {
    const std::wstring name = arguments[i];
    if (i + 1 >= count) {
      good = false;
      break;
    }
    const wchar_t* value = arguments[i + 1];
    if (name == L"--start") {
      start = -1;
      for (int page = kWelcome; page <= kFinish; ++page) {
        wchar_t wide[16] = {};
        MultiByteToWideChar(CP_UTF8, 0, kPageNames[page], -1, wide, 16);
        if (lstrcmpW(wide, value) == 0) start = page;
      }
      good = start >= 0;
    } else if (name == L"--log") {
      wizard.log = CreateFileW(value, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
      good = wizard.log != INVALID_HANDLE_VALUE;
    } else if (name == L"--close-when") {
      wizard.closeWhen = value;
    } else if (name == L"--timeout") {
      wizard.timeout = _wcstoui64(value, nullptr, 10);
    } else if (name == L"--answer-message-box") {
      wizard.answerDelay = wcstol(value, nullptr, 10);
      good = wizard.answerDelay >= 0;
    } else if (name == L"--user-rechecks") {
      wizard.recheckDelay = wcstol(value, nullptr, 10);
      good = wizard.recheckDelay >= 0;
    } else {
      good = false;
    }
  }
  LocalFree(arguments);
  return good;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  wizard.started = GetTickCount64();
  wizard.log = GetStdHandle(STD_OUTPUT_HANDLE);
  int start = kWelcome;
  if (!ParseArguments(start)) {
    MessageBoxW(nullptr,
                L"setup-sample.exe [--start welcome|options|type|finish] [--log FILE] [--close-when FILE] "
                L"[--timeout MS] [--answer-message-box MS] [--user-rechecks MS]",
                L"Setup - Sample App", MB_OK);
    return 64;
  }
  using WineVersion = const char*(CDECL*)();
  const FARPROC wineVersion = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  if (auto version = reinterpret_cast<WineVersion>(reinterpret_cast<void (*)()>(wineVersion))) {
    wizard.wineMajor = std::max(1, std::atoi(version()));
  }
  // Requests from other processes come in as calls into this thread's apartment, through its messages.
  OleInitialize(nullptr);
  setup_sample::SetRequestCallback(&Requested);

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WizardProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"SampleSetupWizard";
  RegisterClassW(&windowClass);
  WNDCLASSW areaClass = {};
  areaClass.lpfnWndProc = AreaProc;
  areaClass.hInstance = instance;
  areaClass.hCursor = LoadCursorW(nullptr, IDC_HAND);
  areaClass.lpszClassName = kAreaClass;
  RegisterClassW(&areaClass);
  wizard.window = CreateWindowExW(0, windowClass.lpszClassName, L"Setup - Sample App",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 470, 340, nullptr, nullptr, instance, nullptr);
  // The component calls this on its own thread: the request goes to the wizard's.
  inproc::Component component([](const inproc::MessageBoxRequest& request) {
    auto* copy = new inproc::MessageBoxRequest(request);
    if (!PostMessageW(wizard.window, kMessageBoxRequest, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
  });
  if (component.Start()) {
    messageBoxes = &component;
  } else {
    Log("message boxes not served");
  }
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  for (int i = 0; i < kControlCount; ++i) {
    Control& control = controls[i];
    const DWORD shown = control.page == kEveryPage ? WS_VISIBLE : 0;
    control.window = CreateWindowExW(0, control.windowClass, control.text, WS_CHILD | shown | control.style,
                                     control.x, control.y, control.width, control.height, wizard.window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstId + i)), instance, nullptr);
    SendMessageW(control.window, WM_SETFONT, font, FALSE);
    if (control.checked) SendMessageW(control.window, BM_SETCHECK, BST_CHECKED, 0);
    SetWindowLongPtrW(control.window, GWLP_USERDATA, GetWindowLongPtrW(control.window, GWLP_WNDPROC));
    SetWindowLongPtrW(control.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProc));
    if (IsArea(control)) {
      RECT client = {};
      GetClientRect(control.window, &client);
      char size[64];
      std::snprintf(size, sizeof(size), "size %s %ldx%ld", control.name, static_cast<long>(client.right),
                    static_cast<long>(client.bottom));
      Log(size);
    }
  }
  ShowPage(start);
  ShowWindow(wizard.window, SW_SHOW);
  UpdateWindow(wizard.window);
  RaiseAsWindows(EVENT_OBJECT_SHOW, wizard.window, OBJID_WINDOW);
  SetTimer(wizard.window, kClock, 100, nullptr);
  char ready[96];
  std::snprintf(ready, sizeof(ready), "ready pid=%lu window=0x%lX page=%s", GetCurrentProcessId(),
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(wizard.window) & 0xFFFFFFFFu),
                kPageNames[start]);
  Log(ready);

  // Until the end, not until WM_QUIT: that comes only once no other message waits, and calls from other processes
  // may keep coming.
  MSG message;
  while (!wizard.ended && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(wizard.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // Under wine an orderly end (OleUninitialize, the process's own shutdown) now and then waits for ever while
  // another process's accessibility calls are still coming in. The log is written: end at once.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(wizard.exitCode));
  return wizard.exitCode;
}

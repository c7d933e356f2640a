// The sample installer's accessible objects as another process sees them, the way the engine does: the shape,
// roles, names and states of Windows' own proxies (what the engine reads of them), default actions that reach the
// real controls, and the window events Windows raises. A Windows program; scripts/wine-e2e.sh runs it under wine64.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <oleacc.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

// Generous bound for waits that must end; never a timing assertion.
constexpr DWORD kLongWait = 20000;

// An owned interface pointer.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* object) : object_(object) {}
  Ref(const Ref& other) : object_(other.object_) {
    if (object_) object_->AddRef();
  }
  Ref& operator=(Ref other) {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() {
    if (object_) object_->Release();
  }
  T* operator->() const { return object_; }
  T* get() const { return object_; }
  T** out() { return &object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};
using Acc = Ref<IAccessible>;

VARIANT Self() {
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

LONG Number(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*), const Acc& object) {
  VARIANT value;
  VariantInit(&value);
  EXPECT_EQ((object.get()->*get)(Self(), &value), S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  return value.lVal;
}
LONG Role(const Acc& object) { return Number(&IAccessible::get_accRole, object); }
LONG State(const Acc& object) { return Number(&IAccessible::get_accState, object); }

bool Invisible(const Acc& object) { return (State(object) & STATE_SYSTEM_INVISIBLE) != 0; }

std::optional<std::wstring> Text(HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), const Acc& object) {
  BSTR text = nullptr;
  const HRESULT result = (object.get()->*get)(Self(), &text);
  EXPECT_TRUE(result == S_OK || result == S_FALSE) << std::hex << result;
  if (result != S_OK || text == nullptr) return std::nullopt;
  std::wstring copy(text, SysStringLen(text));
  SysFreeString(text);
  return copy;
}
std::optional<std::wstring> Name(const Acc& object) { return Text(&IAccessible::get_accName, object); }

long ChildCount(const Acc& object) {
  long count = -1;
  EXPECT_EQ(object->get_accChildCount(&count), S_OK);
  return count;
}

// Every child is an object here: the parts of a window object, the window objects of a client's child windows.
std::vector<Acc> Children(const Acc& object) {
  const long count = ChildCount(object);
  std::vector<VARIANT> items(static_cast<std::size_t>(count > 0 ? count : 0));
  LONG obtained = 0;
  if (count > 0) {
    EXPECT_EQ(AccessibleChildren(object.get(), 0, count, items.data(), &obtained), S_OK);
  }
  std::vector<Acc> children;
  for (LONG i = 0; i < obtained; ++i) {
    EXPECT_EQ(items[i].vt, VT_DISPATCH) << "child " << i + 1;
    if (items[i].vt == VT_DISPATCH && items[i].pdispVal) {
      Acc child;
      items[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(child.out()));
      children.push_back(child);
    }
    VariantClear(&items[i]);
  }
  return children;
}

HWND WindowOf(const Acc& object) {
  HWND window = nullptr;
  EXPECT_EQ(WindowFromAccessibleObject(object.get(), &window), S_OK);
  return window;
}

std::wstring Beside(const wchar_t* file) {
  wchar_t path[MAX_PATH] = {};
  std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + file;
}

// Pumps this thread's messages (WinEvents arrive through them) until the condition holds.
bool PumpUntil(const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (condition()) return true;
    if (GetTickCount() - start > kLongWait) return false;
    Sleep(5);
  }
}

struct Event {
  DWORD event;
  HWND window;
  LONG objectId;
};
std::vector<Event> events;

void CALLBACK Record(HWINEVENTHOOK, DWORD event, HWND window, LONG objectId, LONG, DWORD, DWORD) {
  events.push_back(Event{event, window, objectId});
}

bool Received(DWORD event, HWND window, LONG objectId) {
  for (const Event& e : events) {
    if (e.event == event && e.window == window && e.objectId == objectId) return true;
  }
  return false;
}

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindWizard(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD pid = 0;
  wchar_t name[64] = {};
  GetWindowThreadProcessId(window, &pid);
  GetClassNameW(window, name, 64);
  if (pid != search->pid || lstrcmpW(name, L"SampleSetupWizard") != 0) return TRUE;
  search->found = window;
  return FALSE;
}

class SetupSample : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"ssl", 0, file);
    log_ = file;
    std::wstring commandLine = L"\"" + Beside(L"setup-sample.exe") + L"\" --start " + StartPage() +
                               L" --timeout 60000 --log \"" + log_ + L"\"" + ExtraArguments();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process_))
        << GetLastError();
    // Shown once its first page is set up. (Under wine WaitForInputIdle has returned before there was a window.)
    const DWORD start = GetTickCount();
    while (window_ == nullptr && GetTickCount() - start < kLongWait) {
      Search search{process_.dwProcessId, nullptr};
      EnumWindows(&FindWizard, reinterpret_cast<LPARAM>(&search));
      if (search.found && IsWindowVisible(search.found)) window_ = search.found;
      if (!window_) {
        ASSERT_EQ(WaitForSingleObject(process_.hProcess, 20), static_cast<DWORD>(WAIT_TIMEOUT)) << "it has ended";
      }
    }
    ASSERT_NE(window_, nullptr);
    events.clear();
  }

  void TearDown() override {
    controls_.clear();  // proxies go before the apartment does
    Unhook();
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, kLongWait) != WAIT_OBJECT_0) {
          std::ifstream in(log_.c_str(), std::ios::binary);
          ADD_FAILURE() << "the installer did not end when closed; its log:\n"
                        << std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
          TerminateProcess(process_.hProcess, 9);
        }
      }
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    DeleteFileW(log_.c_str());
    CoUninitialize();
  }

  virtual const wchar_t* StartPage() const { return L"options"; }
  virtual std::wstring ExtraArguments() const { return L""; }

  // The wizard's object, or another window's.
  Acc Root(LONG objectId, HWND window = nullptr) {
    Acc object;
    EXPECT_EQ(AccessibleObjectFromWindow(window ? window : window_, static_cast<DWORD>(objectId), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(object.out())),
              S_OK);
    return object;
  }

  // The window object of the wizard's child window with that name.
  Acc Control(const std::wstring& name) {
    if (controls_.empty()) {
      for (const Acc& child : Children(Root(OBJID_CLIENT))) controls_.emplace_back(Name(child).value_or(L""), child);
    }
    for (const auto& [controlName, control] : controls_) {
      if (controlName == name) return control;
    }
    ADD_FAILURE() << "no control named " << std::string(name.begin(), name.end());
    return Acc();
  }

  static Acc ClientOf(const Acc& windowObject) {
    std::vector<Acc> parts = Children(windowObject);
    return parts.size() == 7 ? parts[3] : Acc();
  }

  // Out of context, on the installer's process, without skip flags: what wine delivers across processes.
  void Hook(DWORD first, DWORD last) {
    const HWINEVENTHOOK hook =
        SetWinEventHook(first, last, nullptr, &Record, process_.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    hooks_.push_back(hook);
  }

  // No event of the closing wizard should wait for this thread, which does not read messages meanwhile.
  void Unhook() {
    for (HWINEVENTHOOK hook : hooks_) UnhookWinEvent(hook);
    hooks_.clear();
  }

  // Closes the wizard as a user would; its log then holds the final state of every box.
  std::string CloseAndReadLog() {
    Unhook();
    PostMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, kLongWait), WAIT_OBJECT_0);
    std::ifstream in(log_.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  std::wstring log_;
  std::vector<HWINEVENTHOOK> hooks_;
  std::vector<std::pair<std::wstring, Acc>> controls_;
};

TEST_F(SetupSample, WindowObjectHasItsSevenPartsAroundTheClient) {
  const Acc window = Root(OBJID_WINDOW);
  EXPECT_EQ(Role(window), ROLE_SYSTEM_WINDOW);
  EXPECT_EQ(Name(window), L"Setup - Sample App");
  EXPECT_FALSE(Invisible(window));
  const std::vector<Acc> parts = Children(window);
  ASSERT_EQ(parts.size(), 7u);
  const LONG roles[] = {ROLE_SYSTEM_MENUBAR,   ROLE_SYSTEM_TITLEBAR,  ROLE_SYSTEM_MENUBAR, ROLE_SYSTEM_CLIENT,
                        ROLE_SYSTEM_SCROLLBAR, ROLE_SYSTEM_SCROLLBAR, ROLE_SYSTEM_GRIP};
  const bool absent[] = {false, false, true, false, true, true, true};  // no menu, no scroll bars
  for (std::size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(Role(parts[i]), roles[i]) << "part " << i + 1;
    EXPECT_EQ(Invisible(parts[i]), absent[i]) << "part " << i + 1;
  }
  // The client is the one AccessibleObjectFromWindow gives, and belongs to the window object.
  EXPECT_EQ(Name(parts[3]), L"Setup - Sample App");
  EXPECT_EQ(WindowOf(parts[3]), window_);
  Acc parent;
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(parts[3]->get_accParent(&dispatch), S_OK);
  dispatch->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(parent.out()));
  dispatch->Release();
  EXPECT_EQ(Role(parent), ROLE_SYSTEM_WINDOW);
}

TEST_F(SetupSample, ClientListsEveryChildWindowAsAWindowObjectAroundItsControl) {
  const Acc client = Root(OBJID_CLIENT);
  EXPECT_EQ(Role(client), ROLE_SYSTEM_CLIENT);
  const std::vector<Acc> children = Children(client);
  EXPECT_EQ(children.size(), 16u);  // every page's controls, and the three buttons
  std::vector<std::wstring> shown;
  for (const Acc& window : children) {
    EXPECT_EQ(Role(window), ROLE_SYSTEM_WINDOW);
    const Acc control = ClientOf(window);
    ASSERT_TRUE(control);
    EXPECT_EQ(Name(control), Name(window));
    EXPECT_EQ(WindowOf(control), WindowOf(window));
    EXPECT_EQ(Invisible(control), Invisible(window));
    if (!Invisible(window)) shown.push_back(Name(window).value_or(L"?"));
  }
  // The options page in creation order, then the buttons; mnemonic markers dropped. Their roles and checked states
  // are what the wine end-to-end runs' patterns (wine_offers, setup_type) match on.
  const std::vector<std::wstring> expected = {L"Choose the components to install:",
                                              L"Install the Sample toolbar (recommended)",
                                              L"Make Sample Search my home page",
                                              L"Create a desktop shortcut",
                                              L"< Back",
                                              L"Next >",
                                              L"Cancel"};
  EXPECT_EQ(shown, expected);
}

TEST_F(SetupSample, DefaultActionClicksTheRealCheckBoxAndItsChangeIsAnnounced) {
  Hook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE);
  const Acc toolbar = ClientOf(Control(L"Install the Sample toolbar (recommended)"));
  const HWND button = WindowOf(toolbar);
  ASSERT_EQ(toolbar->accDoDefaultAction(Self()), S_OK);
  EXPECT_TRUE(PumpUntil([&] {
    return !(State(toolbar) & STATE_SYSTEM_CHECKED) && Received(EVENT_OBJECT_STATECHANGE, button, OBJID_CLIENT);
  }));

  const std::string log = CloseAndReadLog();
  EXPECT_NE(log.find("\nfinal toolbar unchecked\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\nfinal homepage checked\n"), std::string::npos) << log;
}

TEST_F(SetupSample, PushingNextShowsTheNextPageWhereARadioButtonCanBeSelected) {
  Hook(EVENT_OBJECT_SHOW, EVENT_OBJECT_HIDE);
  const Acc toolbarWindow = Control(L"Install the Sample toolbar (recommended)");
  const Acc customWindow = Control(L"Custom installation (advanced users)");
  const Acc custom = ClientOf(customWindow);
  const Acc express = ClientOf(Control(L"Express installation (recommended)"));
  ASSERT_EQ(ClientOf(Control(L"Next >"))->accDoDefaultAction(Self()), S_OK);
  EXPECT_TRUE(PumpUntil([&] {
    return !Invisible(customWindow) && Invisible(toolbarWindow) &&
           Received(EVENT_OBJECT_SHOW, WindowOf(customWindow), OBJID_WINDOW) &&
           Received(EVENT_OBJECT_HIDE, WindowOf(toolbarWindow), OBJID_WINDOW);
  }));

  ASSERT_EQ(custom->accDoDefaultAction(Self()), S_OK);
  EXPECT_TRUE(PumpUntil([&] {
    return (State(custom) & STATE_SYSTEM_CHECKED) && !(State(express) & STATE_SYSTEM_CHECKED);
  }));

  const std::string log = CloseAndReadLog();
  EXPECT_NE(log.find("\nfinal page type\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\nfinal custom checked\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\nfinal express unchecked\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\nfinal toolbar checked\n"), std::string::npos) << log;
}

// The log's lines that begin with the prefix.
std::vector<std::string> LinesOf(const std::string& log, const std::string& prefix) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < log.size();) {
    std::size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    if (log.compare(at, prefix.size(), prefix) == 0) lines.push_back(log.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

class WelcomePage : public SetupSample {
 protected:
  const wchar_t* StartPage() const override { return L"welcome"; }
};

constexpr wchar_t kBanner[] = L"Sample App 2.0: faster than ever";
constexpr wchar_t kSponsor[] = L"Sponsored: Sample Cleaner";

// What the engine reads of a custom-drawn area: its window object's only visible part is its client, so the
// client (role client, a pane to a pattern) stands for it, with the window's name and place.
TEST_F(WelcomePage, CustomDrawnAreasArePanesWithTheirNameAndPlace) {
  struct Area {
    const wchar_t* name;
    const char* logName;
    POINT at;  // in the wizard's client area
  };
  const Area areas[] = {{kBanner, "banner", {20, 80}}, {kSponsor, "sponsor", {20, 150}}};
  std::vector<RECT> locations;
  for (const Area& area : areas) {
    SCOPED_TRACE(area.logName);
    const std::vector<Acc> parts = Children(Control(area.name));
    ASSERT_EQ(parts.size(), 7u);
    for (std::size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(Invisible(parts[i]), i != 3) << "part " << i + 1;
    const Acc& client = parts[3];
    EXPECT_EQ(Role(client), ROLE_SYSTEM_CLIENT);
    EXPECT_EQ(Name(client), area.name);
    EXPECT_EQ(ChildCount(client), 0);
    const HWND window = WindowOf(client);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    EXPECT_STREQ(className, L"SampleBanner");
    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(client->accLocation(&left, &top, &width, &height, Self()), S_OK);
    POINT corner{left, top};
    ScreenToClient(window_, &corner);
    EXPECT_EQ(corner.x, area.at.x);
    EXPECT_EQ(corner.y, area.at.y);
    RECT frame = {};
    GetWindowRect(window, &frame);  // no border: the window is all client
    EXPECT_EQ(width, frame.right - frame.left);
    EXPECT_EQ(height, frame.bottom - frame.top);
    locations.push_back(RECT{left, top, left + width, top + height});
  }
  const std::vector<std::string> sizes = LinesOf(CloseAndReadLog(), "size ");
  ASSERT_EQ(sizes.size(), 2u);
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const RECT& rect = locations[i];
    EXPECT_EQ(sizes[i], std::string("size ") + areas[i].logName + " " + std::to_string(rect.right - rect.left) + "x" +
                            std::to_string(rect.bottom - rect.top));
  }
}

// A click sent from another thread is handled before SendMessageW returns; posted ones wait in the queue, in
// their order, before the WM_CLOSE posted after them. Only left button presses and releases on areas count.
TEST_F(WelcomePage, AreasLogEachPressAndReleaseWithItsPointAndHowItCame) {
  const HWND banner = WindowOf(ClientOf(Control(kBanner)));
  const HWND sponsor = WindowOf(ClientOf(Control(kSponsor)));
  const HWND text = WindowOf(ClientOf(Control(L"Click Next to continue.")));
  struct Click {
    HWND window;
    UINT message;
    int x, y;
    bool send;
  };
  const Click clicks[] = {
      {banner, WM_LBUTTONDOWN, 138, 45, true},  {banner, WM_LBUTTONUP, 138, 45, true},
      {sponsor, WM_LBUTTONDOWN, 0, 0, true},    {sponsor, WM_LBUTTONUP, 199, 59, true},
      {banner, WM_RBUTTONDOWN, 5, 5, true},     {text, WM_LBUTTONDOWN, 5, 5, true},
      {sponsor, WM_LBUTTONDOWN, 12, 34, false}, {sponsor, WM_LBUTTONUP, 12, 34, false},
      {banner, WM_LBUTTONUP, 419, 0, false},
  };
  for (const Click& click : clicks) {
    const LPARAM point = MAKELPARAM(click.x, click.y);
    const WPARAM keys = click.message == WM_LBUTTONDOWN ? MK_LBUTTON : 0;
    if (click.send) {
      SendMessageW(click.window, click.message, keys, point);
    } else {
      ASSERT_TRUE(PostMessageW(click.window, click.message, keys, point));
    }
  }
  const std::vector<std::string> expected = {
      "click banner down 138,45 sent", "click banner up 138,45 sent",   "click sponsor down 0,0 sent",
      "click sponsor up 199,59 sent",  "click sponsor down 12,34 queued", "click sponsor up 12,34 queued",
      "click banner up 419,0 queued",
  };
  EXPECT_EQ(LinesOf(CloseAndReadLog(), "click "), expected);
}

class AnsweringSample : public SetupSample {
 protected:
  std::wstring ExtraArguments() const override { return L" --answer-message-box 1000"; }
};

// A message box request written as the engine writes it, to the component the wizard runs from its start.
TEST_F(AnsweringSample, MessageBoxRequestIsLoggedAndAnsweredAfterTheDelay) {
  GUID id;
  ASSERT_EQ(CoCreateGuid(&id), S_OK);
  wchar_t text[39] = {};
  ASSERT_EQ(StringFromGUID2(id, text, 39), 39);
  const std::string eventName(text, text + 38);
  const HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
  const std::wstring pipe =
      L"\\\\.\\pipe\\" + std::to_wstring(process_.dwProcessId) + L"{72A5D8AA-57E8-4C84-A170-6E4E924C03C9}";
  const DWORD start = GetTickCount();
  while (!WaitNamedPipeW(pipe.c_str(), kLongWait) && GetLastError() == ERROR_FILE_NOT_FOUND &&
         GetTickCount() - start < kLongWait) {
    Sleep(10);  // the component's thread has not created it yet
  }
  const HANDLE client =
      CreateFileW(pipe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
  ULONG server = 0;
  EXPECT_TRUE(GetNamedPipeServerProcessId(client, &server));
  EXPECT_EQ(server, process_.dwProcessId);
  const std::string line = "MessageBoxOnButton|-1234|Sample title|Leave?|OK|Cancel|" + eventName + "|QUJD\n";
  static DWORD written;
  written = 0xDEAD;
  OVERLAPPED ov = {};
  ASSERT_TRUE(WriteFileEx(client, line.data(), static_cast<DWORD>(line.size()), &ov,
                          [](DWORD error, DWORD, LPOVERLAPPED) { written = error; }));
  EXPECT_EQ(SleepEx(kLongWait, TRUE), static_cast<DWORD>(WAIT_IO_COMPLETION));
  EXPECT_EQ(written, static_cast<DWORD>(ERROR_SUCCESS));
  CloseHandle(client);
  EXPECT_EQ(WaitForSingleObject(answered, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "answered before the delay";
  EXPECT_EQ(WaitForSingleObject(answered, kLongWait), WAIT_OBJECT_0);
  CloseHandle(answered);
  const std::vector<std::string> expected = {"message box -1234 \"Sample title\"", "message box answered -1234"};
  EXPECT_EQ(LinesOf(CloseAndReadLog(), "message box "), expected);
}

}  // namespace

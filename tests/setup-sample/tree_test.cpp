// The sample installer as another process sees it, where the wine end-to-end runs cannot look: the places of its
// custom-drawn areas and what reaches them, and its message box component. (Its pages, controls, default actions
// and events are what scripts/wine-e2e.sh drives the engine through.) A Windows program; wine-e2e.sh runs it first.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <oleacc.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Generous bound for waits that must end; never a timing assertion.
constexpr DWORD kLongWait = 20000;

// An owned interface pointer.
using Acc = std::shared_ptr<IAccessible>;
Acc Own(IAccessible* object) {
  return Acc(object, [](IAccessible* owned) {
    if (owned) owned->Release();
  });
}

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

std::wstring Name(const Acc& object) {
  BSTR text = nullptr;
  EXPECT_TRUE(SUCCEEDED(object->get_accName(Self(), &text)));
  std::wstring copy(text ? text : L"<none>", text ? SysStringLen(text) : 6);
  SysFreeString(text);
  return copy;
}

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
  if (count > 0) EXPECT_EQ(AccessibleChildren(object.get(), 0, count, items.data(), &obtained), S_OK);
  std::vector<Acc> children;
  for (LONG i = 0; i < obtained; ++i) {
    EXPECT_EQ(items[i].vt, VT_DISPATCH) << "child " << i + 1;
    if (items[i].vt == VT_DISPATCH && items[i].pdispVal) {
      IAccessible* child = nullptr;
      items[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&child));
      children.push_back(Own(child));
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

class SetupSample : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"ssl", 0, file);
    log_ = file;
    std::wstring commandLine = L"\"" + Beside(L"setup-sample.exe") + L"\" --start welcome" +
                               L" --timeout 60000 --log \"" + log_ + L"\"" + ExtraArguments();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process_))
        << GetLastError();
    // Shown once its first page is set up. (Under wine WaitForInputIdle has returned before there was a window.)
    const DWORD start = GetTickCount();
    while (window_ == nullptr && GetTickCount() - start < kLongWait) {
      for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"SampleSetupWizard", nullptr)) != nullptr;) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == process_.dwProcessId && IsWindowVisible(w)) window_ = w;
      }
      if (!window_) {
        ASSERT_EQ(WaitForSingleObject(process_.hProcess, 20), static_cast<DWORD>(WAIT_TIMEOUT)) << "it has ended";
      }
    }
    ASSERT_NE(window_, nullptr);
  }

  void TearDown() override {
    controls_.clear();  // proxies go before the apartment does
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, kLongWait) != WAIT_OBJECT_0) {
          ADD_FAILURE() << "the installer did not end when closed; its log:\n" << ReadLog();
          TerminateProcess(process_.hProcess, 9);
        }
      }
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    DeleteFileW(log_.c_str());
    CoUninitialize();
  }

  virtual std::wstring ExtraArguments() const { return L""; }

  // The window object of the wizard's child window with that name.
  Acc Control(const std::wstring& name) {
    if (controls_.empty()) {
      IAccessible* client = nullptr;
      EXPECT_EQ(AccessibleObjectFromWindow(window_, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&client)),
                S_OK);
      for (const Acc& child : Children(Own(client))) controls_.emplace_back(Name(child), child);
    }
    for (const auto& [controlName, control] : controls_) {
      if (controlName == name) return control;
    }
    ADD_FAILURE() << "no control named " << std::string(name.begin(), name.end());
    return nullptr;
  }

  static Acc ClientOf(const Acc& windowObject) {
    std::vector<Acc> parts = Children(windowObject);
    return parts.size() == 7 ? parts[3] : nullptr;
  }

  // Closes the wizard as a user would; its log is then complete.
  std::string CloseAndReadLog() {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, kLongWait), WAIT_OBJECT_0);
    return ReadLog();
  }
  std::string ReadLog() const {
    std::ifstream in(log_.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  std::wstring log_;
  std::vector<std::pair<std::wstring, Acc>> controls_;
};

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

constexpr wchar_t kBanner[] = L"Sample App 2.0: faster than ever";
constexpr wchar_t kSponsor[] = L"Sponsored: Sample Cleaner";

// What the engine reads of a custom-drawn area: its window object's only visible part is its client, so the
// client (role client, a pane to a pattern) stands for it, with the window's name and place.
TEST_F(SetupSample, CustomDrawnAreasArePanesWithTheirNameAndPlace) {
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
    for (std::size_t i = 0; i < parts.size(); ++i) {
      EXPECT_EQ((State(parts[i]) & STATE_SYSTEM_INVISIBLE) != 0, i != 3) << "part " << i + 1;
    }
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
TEST_F(SetupSample, AreasLogEachPressAndReleaseWithItsPointAndHowItCame) {
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

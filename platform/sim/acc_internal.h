// simwin accessibility internals shared by the standard proxies (msaa_*.cpp, oleacc.cpp), UI Automation (uia_*.cpp),
// the OLE Automation basics (com.cpp) and, in drive/, the custom MSAA trees (acc_tree.cpp), the native provider trees
// (uia_tree.cpp), the windows that serve them (served.cpp) and call counting with fault injection (accessibility.cpp).
// Everything here runs without simwin's lock held: accessibility calls reach the windows through the public Win32 API
// (messages), as Windows' own proxies do.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/sim/internal.h"

namespace simwin::detail {

extern std::atomic<long> g_liveBstrs;
extern std::atomic<long> g_liveAccObjects;

// The entry of every accessibility call: counts it (unless a CountSuppressor is active on this thread) and tells
// whether an injected fault applies to (method, hwnd, element); if so `hr` is the HRESULT to return.
bool AccCallFails(const char* method, HWND hwnd, const std::wstring& element, HRESULT& hr);

// While alive, calls made by this thread are not counted (AccessibleChildren counts as one call).
class CountSuppressor {
 public:
  CountSuppressor();
  ~CountSuppressor();
  CountSuppressor(const CountSuppressor&) = delete;
  CountSuppressor& operator=(const CountSuppressor&) = delete;
};

// What accDoDefaultAction answers for a disabled control. Windows does not document it; DISP_E_MEMBERNOTFOUND is the
// documented "this element performs no action" answer, which is what a disabled control is at that moment.
constexpr HRESULT kDisabledDefaultActionHr = DISP_E_MEMBERNOTFOUND;

// Answer of calls into a custom tree whose UI thread has ended (the server is gone).
constexpr HRESULT kServerGoneHr = RPC_E_DISCONNECTED;

inline BSTR MakeBstr(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

inline void SetI4(VARIANT* v, LONG value) {
  v->vt = VT_I4;
  v->lVal = value;
}

// The standard proxy for (hwnd, objid) without asking the window (CreateStdAccessibleObject).
HRESULT StdAccessibleObject(HWND hwnd, LONG objid, REFIID riid, void** ppv);

// What the standard client proxy of `hwnd` would answer, read without counting or faults (UI Automation's Win32
// proxies read the same things from the window).
LONG StdClientRole(HWND hwnd);
bool StdClientName(HWND hwnd, std::wstring& name);
LONG StdClientState(HWND hwnd);
// True for simwin's standard proxies (oleacc's objects), false for objects a window serves itself.
bool IsStandardProxy(IUnknown* object);

// For an element of a custom tree: its key and an identity that survives the objects being made anew on each
// call (tree, index); false for any other object.
bool CustomTreeElement(IUnknown* object, LONG childId, std::wstring& key, const void*& tree, int& index);
// The same for a provider of a native UI Automation tree (drive/uia_tree.cpp).
bool AutomationTreeElement(IUnknown* provider, std::wstring& key, const void*& tree, int& index);

// Whether the calling thread has initialised COM (CoInitializeEx without a matching CoUninitialize).
bool ComInitializedOnThisThread();

// LresultFromObject results that ObjectFromLresult has not taken yet (oleacc.cpp), for leak checks.
std::size_t HeldLresultCount();

// What a window of a simulated installer serves itself: its own MSAA tree, its own UI Automation provider
// (drive/served.cpp).
class WindowServer : public std::enable_shared_from_this<WindowServer> {
 public:
  explicit WindowServer(HWND window) : hwnd(window), thread_(GetWindowThreadProcessId(window, &process_)) {}
  virtual ~WindowServer() = default;
  // The window's answer to a message this server handles; nullopt passes it on.
  virtual std::optional<LRESULT> Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) = 0;

  // Runs a call into an object it serves where the server runs it: directly from within the serving process, else on
  // the window's UI thread, as a cross-process COM call into a single-threaded apartment runs; kServerGoneHr when that
  // thread has ended.
  HRESULT Run(const std::function<HRESULT()>& body) const;

  const HWND hwnd;

 private:
  DWORD process_ = 0;
  const DWORD thread_;
};
enum class ServerKind { Msaa, Automation };
// Subclasses the window (once, on its UI thread) so that its servers see each message first; replaces an earlier
// server of the same kind. The window drops its servers when it is destroyed.
void ServeFromWindow(Process& process, HWND hwnd, ServerKind kind, std::shared_ptr<WindowServer> server);
std::shared_ptr<WindowServer> ServerOf(HWND hwnd, ServerKind kind);

// What the proxies and UI Automation read from any window.
inline std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}
inline DWORD StyleOf(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)); }

// Reference counting and the live-object count shared by every COM object simwin's accessibility makes, for an
// object implementing `Interfaces` (QueryInterface is its own).
template <class... Interfaces>
class AccObject : public Interfaces... {
 public:
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  AccObject() { ++g_liveAccObjects; }
  virtual ~AccObject() { --g_liveAccObjects; }

 private:
  std::atomic<ULONG> refs_{1};
};

// An object with one interface: QueryInterface answers IUnknown and that interface.
template <class Interface>
class SingleInterfaceObject : public AccObject<Interface> {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != __uuidof(IUnknown) && riid != __uuidof(Interface)) return E_NOINTERFACE;
    *ppv = static_cast<Interface*>(this);
    this->AddRef();
    return S_OK;
  }
};

}  // namespace simwin::detail

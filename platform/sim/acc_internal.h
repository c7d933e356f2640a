// simwin accessibility internals shared by the standard proxies (msaa.cpp), the custom trees (acc_tree.cpp) and the
// OLE Automation basics (com.cpp). Everything here runs without simwin's lock held: accessibility calls reach the
// windows through the public Win32 API (messages), as Windows' own proxies do.
#pragma once

#include <atomic>
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

// Whether the calling thread has initialised COM (CoInitializeEx without a matching CoUninitialize).
bool ComInitializedOnThisThread();

// Reference counting and the live-object count shared by every accessible object simwin makes.
class AccObjectCount {
 protected:
  AccObjectCount() { ++g_liveAccObjects; }
  ~AccObjectCount() { --g_liveAccObjects; }
  std::atomic<ULONG> refs_{1};
};

}  // namespace simwin::detail

// simwin oleacc: the Active Accessibility functions clients call (objects from windows and events, children,
// windows of objects, LresultFromObject and its counterpart).
#include <map>
#include <mutex>

#include "platform/sim/msaa_internal.h"

namespace simwin::detail {

namespace {

// LresultFromObject's references, until ObjectFromLresult takes them.
std::mutex g_lresultMu;
std::map<LRESULT, IUnknown*> g_lresults;
LRESULT g_nextLresult = 0x10000;

}  // namespace

std::size_t HeldLresultCount() {
  std::lock_guard<std::mutex> guard(g_lresultMu);
  return g_lresults.size();
}

}  // namespace simwin::detail

using namespace simwin::detail;

STDAPI_(LRESULT) LresultFromObject(REFIID riid, WPARAM, LPUNKNOWN punk) {
  if (!punk) return E_INVALIDARG;
  IUnknown* held = nullptr;
  HRESULT hr = punk->QueryInterface(riid, reinterpret_cast<void**>(&held));
  if (FAILED(hr)) return hr;
  std::lock_guard<std::mutex> guard(g_lresultMu);
  LRESULT cookie = g_nextLresult++;
  g_lresults[cookie] = held;
  return cookie;
}

STDAPI ObjectFromLresult(LRESULT lResult, REFIID riid, WPARAM, void** ppvObject) {
  if (!ppvObject) return E_INVALIDARG;
  *ppvObject = nullptr;
  IUnknown* held = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_lresultMu);
    auto it = g_lresults.find(lResult);
    if (it == g_lresults.end()) return E_INVALIDARG;
    held = it->second;
    g_lresults.erase(it);
  }
  HRESULT hr = held->QueryInterface(riid, ppvObject);
  held->Release();
  return hr;
}

STDAPI CreateStdAccessibleObject(HWND hwnd, LONG idObject, REFIID riid, void** ppvObject) {
  return StdAccessibleObject(hwnd, idObject, riid, ppvObject);
}

STDAPI AccessibleObjectFromWindow(HWND hwnd, DWORD dwId, REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_INVALIDARG;
  *ppvObject = nullptr;
  // One call into the window's process: WM_GETOBJECT.
  HRESULT fault;
  if (AccCallFails("AccessibleObjectFromWindow", hwnd, std::wstring(), fault)) return fault;
  if (!hwnd || !IsWindow(hwnd)) return E_FAIL;
  // The window may serve its own object; only when it answers 0 does the standard proxy stand in.
  LRESULT served = msaa::IsDesktop(hwnd) ? 0 : SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<LONG>(dwId)));
  if (served < 0) return static_cast<HRESULT>(served);
  if (served > 0) return ObjectFromLresult(served, riid, 0, ppvObject);
  return StdAccessibleObject(hwnd, static_cast<LONG>(dwId), riid, ppvObject);
}

STDAPI AccessibleChildren(IAccessible* paccContainer, LONG iChildStart, LONG cChildren, VARIANT* rgvarChildren,
                          LONG* pcObtained) {
  if (!paccContainer || !rgvarChildren || !pcObtained) return E_INVALIDARG;
  HWND about = nullptr;
  {
    CountSuppressor quiet;
    WindowFromAccessibleObject(paccContainer, &about);
  }
  HRESULT fault;
  if (AccCallFails("AccessibleChildren", about, std::wstring(), fault)) return fault;
  CountSuppressor quiet;
  if (iChildStart < 0 || cChildren < 0) return E_INVALIDARG;
  IEnumVARIANT* e = nullptr;
  if (SUCCEEDED(paccContainer->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&e))) && e) {
    e->Reset();
    HRESULT hr = iChildStart > 0 ? e->Skip(static_cast<ULONG>(iChildStart)) : S_OK;
    ULONG fetched = 0;
    if (SUCCEEDED(hr)) hr = e->Next(static_cast<ULONG>(cChildren), rgvarChildren, &fetched);
    e->Release();
    if (FAILED(hr)) return hr;
    *pcObtained = static_cast<LONG>(fetched);
    return fetched == static_cast<ULONG>(cChildren) ? S_OK : S_FALSE;
  }
  long count = 0;
  HRESULT hr = paccContainer->get_accChildCount(&count);
  if (FAILED(hr)) return hr;
  LONG obtained = 0;
  for (long i = iChildStart; i < count && obtained < cChildren; ++i, ++obtained) {
    VARIANT id;
    SetI4(&id, static_cast<LONG>(i + 1));
    IDispatch* child = nullptr;
    VARIANT& out = rgvarChildren[obtained];
    VariantInit(&out);
    // A child that is not an object is a simple element named by its id.
    if (SUCCEEDED(paccContainer->get_accChild(id, &child)) && child) {
      out.vt = VT_DISPATCH;
      out.pdispVal = child;
    } else {
      SetI4(&out, static_cast<LONG>(i + 1));
    }
  }
  *pcObtained = obtained;
  return obtained == cChildren ? S_OK : S_FALSE;
}

STDAPI WindowFromAccessibleObject(IAccessible* pacc, HWND* phwnd) {
  if (!pacc || !phwnd) return E_INVALIDARG;
  *phwnd = nullptr;
  IAccessible* current = pacc;
  current->AddRef();
  HRESULT result = S_FALSE;
  for (;;) {
    IOleWindow* ow = nullptr;
    if (SUCCEEDED(current->QueryInterface(__uuidof(IOleWindow), reinterpret_cast<void**>(&ow))) && ow) {
      HWND h = nullptr;
      HRESULT hr = ow->GetWindow(&h);
      ow->Release();
      if (SUCCEEDED(hr) && h) {
        *phwnd = h;
        result = S_OK;
        break;
      }
    }
    IDispatch* parent = nullptr;
    HRESULT hr = current->get_accParent(&parent);
    if (FAILED(hr) || !parent) {
      result = FAILED(hr) ? hr : S_FALSE;
      break;
    }
    IAccessible* next = nullptr;
    hr = parent->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&next));
    parent->Release();
    if (FAILED(hr) || !next) {
      result = E_FAIL;
      break;
    }
    current->Release();
    current = next;
  }
  current->Release();
  return result;
}

STDAPI AccessibleObjectFromEvent(HWND hwnd, DWORD dwId, DWORD dwChildId, IAccessible** ppacc, VARIANT* pvarChild) {
  if (!ppacc || !pvarChild) return E_INVALIDARG;
  *ppacc = nullptr;
  VariantInit(pvarChild);
  if (!hwnd) return E_FAIL;
  IAccessible* acc = nullptr;
  HRESULT hr = AccessibleObjectFromWindow(hwnd, dwId, __uuidof(IAccessible), reinterpret_cast<void**>(&acc));
  if (FAILED(hr)) return hr;
  if (!acc) return E_FAIL;
  if (static_cast<LONG>(dwChildId) == CHILDID_SELF) {
    *ppacc = acc;
    SetI4(pvarChild, CHILDID_SELF);
    return S_OK;
  }
  VARIANT id;
  SetI4(&id, static_cast<LONG>(dwChildId));
  IDispatch* child = nullptr;
  hr = acc->get_accChild(id, &child);
  if (SUCCEEDED(hr) && child) {
    IAccessible* childAcc = nullptr;
    hr = child->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&childAcc));
    child->Release();
    if (SUCCEEDED(hr) && childAcc) {
      acc->Release();
      *ppacc = childAcc;
      SetI4(pvarChild, CHILDID_SELF);
      return S_OK;
    }
  }
  *ppacc = acc;
  SetI4(pvarChild, static_cast<LONG>(dwChildId));
  return S_OK;
}

// What the tests of Active Accessibility share: the VARIANT that names a child (CHILDID_SELF: the object itself), a
// reference owner, and the standard objects of a window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/win32.h"

inline VARIANT ChildId(LONG id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

// Owns one reference.
template <class T>
struct Com {
  T* p = nullptr;
  Com() = default;
  explicit Com(T* owned) : p(owned) {}
  Com(Com&& o) noexcept : p(o.p) { o.p = nullptr; }
  Com& operator=(Com&& o) noexcept {
    std::swap(p, o.p);
    return *this;
  }
  ~Com() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
  T** operator&() {
    if (p) p->Release();
    p = nullptr;
    return &p;
  }
  explicit operator bool() const { return p != nullptr; }
};

inline HRESULT ObjectFromWindow(HWND hwnd, LONG objid, IAccessible** out) {
  return AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(objid), __uuidof(IAccessible),
                                    reinterpret_cast<void**>(out));
}

// The window's object `objid`, which must be given.
inline Com<IAccessible> StandardObject(HWND hwnd, LONG objid = OBJID_CLIENT) {
  Com<IAccessible> acc;
  EXPECT_EQ(ObjectFromWindow(hwnd, objid, &acc), S_OK);
  return acc;
}

// The IAccessible of a dispatch interface given back by a call; takes over its reference.
inline Com<IAccessible> AccessibleOf(IDispatch* d) {
  Com<IAccessible> acc;
  if (d) {
    d->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc));
    d->Release();
  }
  return acc;
}

inline LONG RoleOf(IAccessible* acc, LONG child = CHILDID_SELF) {
  VARIANT role;
  VariantInit(&role);
  if (FAILED(acc->get_accRole(ChildId(child), &role)) || role.vt != VT_I4) return -1;
  return role.lVal;
}

inline HWND WindowOf(IAccessible* acc) {
  HWND h = nullptr;
  EXPECT_EQ(WindowFromAccessibleObject(acc, &h), S_OK);
  return h;
}

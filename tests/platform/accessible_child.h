// The VARIANT that IAccessible's methods take to name a child (CHILDID_SELF: the object itself).
#pragma once

#include "platform/win32.h"

inline VARIANT ChildId(LONG id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

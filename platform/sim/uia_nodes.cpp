// simwin UI Automation: what an element stands for (a window, a non-client part, an MSAA object through the
// bridge, an element of a native tree) and whether two elements are the same.
#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

void IdentifyCustom(Node& n) {
  if (!n.acc) return;
  n.custom = CustomTreeElement(n.acc.get(), n.childId, n.key, n.tree, n.index);
}

// The provider a window serves itself, asked as UI Automation asks [U-SSP];
// null if it answers none.
Ref<IRawElementProviderSimple> ServedProvider(HWND hwnd) {
  Ref<IRawElementProviderSimple> provider;
  if (hwnd == GetDesktopWindow()) return provider;
  LRESULT served = SendMessageW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(static_cast<LONG>(UiaRootObjectId)));
  if (served > 0) {
    ObjectFromLresult(served, __uuidof(IRawElementProviderSimple), 0, reinterpret_cast<void**>(provider.Put()));
  }
  return provider;
}

}  // namespace

Node WindowNode(HWND hwnd) {
  Node n;
  n.kind = Kind::Window;
  n.hwnd = hwnd;
  n.provider = ServedProvider(hwnd);
  if (n.provider) {
    // Its provider's values come first; the window's own stand in for what it
    // leaves out (inferred), and its legacy view is the standard proxy.
    AutomationTreeElement(n.provider.get(), n.key, n.tree, n.index);
    StdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(n.acc.Put()));
    return n;
  }
  // The window may serve its own MSAA tree; UI Automation asks it with
  // WM_GETOBJECT as oleacc does.
  AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                             reinterpret_cast<void**>(n.acc.Put()));
  if (n.acc && !IsStandardProxy(n.acc.get())) IdentifyCustom(n);
  return n;
}

Node ProviderNode(HWND hwnd, Ref<IRawElementProviderSimple> provider) {
  Node n;
  n.kind = Kind::Provider;
  n.hwnd = hwnd;
  n.provider = std::move(provider);
  AutomationTreeElement(n.provider.get(), n.key, n.tree, n.index);
  return n;
}

Node PartNode(HWND hwnd, LONG objid) {
  Node n;
  n.kind = objid == OBJID_TITLEBAR ? Kind::TitleBar : Kind::ScrollBar;
  n.hwnd = hwnd;
  n.part = objid;
  StdAccessibleObject(hwnd, objid, __uuidof(IAccessible), reinterpret_cast<void**>(n.acc.Put()));
  return n;
}

Node MsaaNode(HWND hwnd, Ref<IAccessible> acc, LONG childId) {
  Node n;
  n.kind = Kind::Msaa;
  n.hwnd = hwnd;
  n.acc = std::move(acc);
  n.childId = childId;
  IdentifyCustom(n);
  return n;
}

bool SameNode(const Node& a, const Node& b) {
  if (a.kind != b.kind || a.hwnd != b.hwnd || a.part != b.part || a.childId != b.childId) return false;
  if (a.kind != Kind::Msaa && a.kind != Kind::TitleButton && a.kind != Kind::Provider) return true;
  if (a.tree || b.tree) return a.tree == b.tree && a.index == b.index;
  return a.kind == Kind::Provider ? a.provider.get() == b.provider.get() : a.acc.get() == b.acc.get();
}

bool Alive(const Node& n) { return n.kind == Kind::Msaa || IsWindow(n.hwnd); }

}  // namespace simwin::detail::uia

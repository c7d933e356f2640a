// simwin UI Automation: children in the raw view, the tree every other view is made from.
#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

HRESULT MsaaChildren(const Node& parent, std::vector<Node>& out) {
  if (!parent.acc || parent.childId != CHILDID_SELF) return S_OK;
  long count = 0;
  HRESULT hr = parent.acc->get_accChildCount(&count);
  if (FAILED(hr)) return hr;
  for (long i = 1; i <= count; ++i) {
    Ref<IDispatch> child;
    hr = parent.acc->get_accChild(I4(static_cast<LONG>(i)), child.Put());
    // An untrusted tree may report more children than it has.
    if (FAILED(hr)) break;
    if (child) {
      Ref<IAccessible> acc;
      if (FAILED(child->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(acc.Put())))) continue;
      out.push_back(MsaaNode(parent.hwnd, std::move(acc), CHILDID_SELF));
    } else {
      out.push_back(MsaaNode(parent.hwnd, parent.acc, static_cast<LONG>(i)));
    }
  }
  return S_OK;
}

// A native element's children, as its fragment navigates to them.
HRESULT FragmentChildren(const Node& parent, std::vector<Node>& out) {
  Ref<IRawElementProviderFragment> child;
  {
    Ref<IRawElementProviderFragment> fragment;
    parent.provider->QueryInterface(__uuidof(IRawElementProviderFragment), reinterpret_cast<void**>(fragment.Put()));
    if (!fragment) return S_OK;  // a simple provider has no children
    HRESULT hr = fragment->Navigate(NavigateDirection_FirstChild, child.Put());
    if (FAILED(hr)) return hr;
  }
  while (child) {
    Ref<IRawElementProviderSimple> simple;
    child->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(simple.Put()));
    if (simple) out.push_back(ProviderNode(parent.hwnd, std::move(simple)));
    Ref<IRawElementProviderFragment> next;
    HRESULT hr = child->Navigate(NavigateDirection_NextSibling, next.Put());
    if (FAILED(hr)) return hr;
    child = std::move(next);
  }
  return S_OK;
}

}  // namespace

// Children in the raw view. A window's client children come first (child
// windows in z-order, or the tree it serves), then its non-client parts: the
// title bar [U-TTL] and the scroll bars that exist (order and presence
// inferred, see "Where sources disagree" 13). Hidden child windows stay, off
// screen (inferred from the INVISIBLE bridge rule).
HRESULT RawChildren(const Node& n, std::vector<Node>& out) {
  out.clear();
  if (!Alive(n)) return kGoneHr;
  switch (n.kind) {
    case Kind::Msaa:
      return MsaaChildren(n, out);
    case Kind::Provider:
      return FragmentChildren(n, out);
    case Kind::TitleBar:
      // The title bar's buttons that are shown [U-TTL]: MSAA's title bar children
      // without INVISIBLE.
      for (LONG id = 1; id <= 3 && n.acc; ++id) {
        Var state;
        if (FAILED(n.acc->get_accState(I4(id), &state.v)) || (state.v.lVal & STATE_SYSTEM_INVISIBLE)) continue;
        Node b;
        b.kind = Kind::TitleButton;
        b.hwnd = n.hwnd;
        b.part = OBJID_TITLEBAR;
        b.acc = n.acc;
        b.childId = id;
        out.push_back(std::move(b));
      }
      return S_OK;
    case Kind::TitleButton:
    case Kind::ScrollBar:
      return S_OK;
    case Kind::Window:
      break;
  }
  if (n.provider) {
    HRESULT hr = FragmentChildren(n, out);
    if (FAILED(hr)) return hr;
  } else if (n.custom) {
    Node root = n;
    root.childId = CHILDID_SELF;
    HRESULT hr = MsaaChildren(root, out);
    if (FAILED(hr)) return hr;
  } else {
    for (HWND c = ::GetWindow(n.hwnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) out.push_back(WindowNode(c));
  }
  if (n.hwnd == GetDesktopWindow()) return S_OK;
  DWORD style = StyleOf(n.hwnd);
  if ((style & WS_CAPTION) == WS_CAPTION) out.push_back(PartNode(n.hwnd, OBJID_TITLEBAR));
  if (style & WS_VSCROLL) out.push_back(PartNode(n.hwnd, OBJID_VSCROLL));
  if (style & WS_HSCROLL) out.push_back(PartNode(n.hwnd, OBJID_HSCROLL));
  return S_OK;
}

}  // namespace simwin::detail::uia

// simwin native UI Automation trees: the provider a custom-drawn installer serves itself through
// WM_GETOBJECT(UiaRootObjectId), built from plain data. Sources, besides the keys listed in ../uia_internal.h, are
// Microsoft Learn's winauto pages: [U-SSP] uiauto-howto-expose-serverside-uiautomation-provider, [U-BRG]
// appendix-g--active-accessibility-bridge-to-ui-automation (how MSAA clients see UI Automation providers and their
// events), [U-PROP] uiauto-automation-element-propids (property defaults), [U-CBX] uiauto-supportcheckboxcontroltype
// and [U-RBX] uiauto-supportradiobuttoncontroltype (the events those controls raise).
//
// UI Automation calls a provider that does not ask for COM threading on its window's UI thread (inferred; the
// ProviderOptions page says only that with it an apartment's provider is called on the apartment's thread); so calls
// from another process run there, and an installer that stops pumping blocks its callers.
#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/sim/acc_internal.h"

namespace simwin::detail {

namespace {

constexpr HRESULT kGoneHr = static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE);
constexpr HRESULT kNotEnabledHr = static_cast<HRESULT>(UIA_E_ELEMENTNOTENABLED);

struct FlatNode {
  std::wstring key;
  CONTROLTYPEID controlType = 0;
  std::wstring name;
  std::wstring automationId;
  RECT bounds{};
  bool threeState = false;
  bool invoke = false;
  std::function<void()> onInvoke;
  int parent = -1;
  std::vector<int> children;
  simwin::UiaElementState state;  // guarded by Tree::mu
};

struct Tree final : WindowServer {
  using WindowServer::WindowServer;
  std::mutex mu;
  std::vector<FlatNode> nodes;  // fixed after construction but for `state`
  std::vector<simwin::RaisedAutomationEvent> raised;  // guarded by mu

  std::optional<LRESULT> Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Flattens without recursion: the data may describe deep trees.
void Flatten(const simwin::UiaNode& root, Tree& tree) {
  std::vector<std::pair<const simwin::UiaNode*, int>> stack{{&root, -1}};
  while (!stack.empty()) {
    auto [n, parent] = stack.back();
    stack.pop_back();
    FlatNode f;
    f.key = !n->key.empty() ? n->key : (!n->automationId.empty() ? n->automationId : n->name);
    f.controlType = n->controlType;
    f.name = n->name;
    f.automationId = n->automationId;
    f.bounds = n->bounds;
    f.threeState = n->threeState;
    f.invoke = n->invoke;
    f.onInvoke = n->onInvoke;
    f.parent = parent;
    f.state = {n->enabled, n->offscreen, n->toggle, n->selected};
    const int index = static_cast<int>(tree.nodes.size());
    tree.nodes.push_back(std::move(f));
    if (parent >= 0) tree.nodes[static_cast<size_t>(parent)].children.push_back(index);
    for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) stack.emplace_back(&*it, index);
  }
}

// What UI Automation does with an event its provider raises: its clients get it (recorded here, as simwin's client
// takes no event handlers) and, through the bridge, WinEvent hooks get `winEvent` [U-BRG]. The bridge's ids, (window,
// OBJID_CLIENT, CHILDID_SELF), are inferred. Call on the UI thread, without the tree's lock.
void Raise(Tree& tree, int index, EVENTID event, PROPERTYID property, DWORD winEvent) {
  {
    std::lock_guard<std::mutex> guard(tree.mu);
    tree.raised.push_back({event, property, tree.nodes[static_cast<size_t>(index)].key});
  }
  if (winEvent) NotifyWinEvent(winEvent, tree.hwnd, OBJID_CLIENT, CHILDID_SELF);
}

// A property change, bridged as EVENT_OBJECT_STATECHANGE when it changes the CHECKED or UNAVAILABLE flag the bridge
// derives from it (toggle state On, IsSelected, IsEnabled); the other flags "trigger no state change" [U-BRG].
void RaiseChanged(Tree& tree, int index, PROPERTYID property, bool changesCheckedOrUnavailable) {
  Raise(tree, index, UIA_AutomationPropertyChangedEventId, property,
        changesCheckedOrUnavailable ? EVENT_OBJECT_STATECHANGE : 0);
}

// Toggle cycles On, Off, then Indeterminate if the control has it [U-TOG]; a disabled element refuses (documented for
// Select [U-ERR], inferred for Toggle and Invoke). The property change is the check box's required event [U-CBX].
HRESULT DoToggle(Tree& tree, int index) {
  ToggleState before;
  ToggleState after;
  {
    std::lock_guard<std::mutex> guard(tree.mu);
    FlatNode& n = tree.nodes[static_cast<size_t>(index)];
    if (!n.state.toggle) return static_cast<HRESULT>(UIA_E_NOTSUPPORTED);
    if (!n.state.enabled) return kNotEnabledHr;
    before = *n.state.toggle;
    after = before == ToggleState_On ? ToggleState_Off
            : before == ToggleState_Off && n.threeState ? ToggleState_Indeterminate
                                                        : ToggleState_On;
    n.state.toggle = after;
  }
  RaiseChanged(tree, index, UIA_ToggleToggleStatePropertyId, (before == ToggleState_On) != (after == ToggleState_On));
  return S_OK;
}

// Select deselects the others and selects this one; a selected item stays as it is [ISIP]. The others are the
// selected items among its siblings (its container). Events: the selection changes, then ElementSelected [U-RBX].
HRESULT DoSelect(Tree& tree, int index) {
  std::vector<int> cleared;
  {
    std::lock_guard<std::mutex> guard(tree.mu);
    FlatNode& n = tree.nodes[static_cast<size_t>(index)];
    if (!n.state.selected) return static_cast<HRESULT>(UIA_E_NOTSUPPORTED);
    if (!n.state.enabled) return kNotEnabledHr;
    if (*n.state.selected) return S_OK;
    if (n.parent >= 0) {
      for (int sibling : tree.nodes[static_cast<size_t>(n.parent)].children) {
        auto& selected = tree.nodes[static_cast<size_t>(sibling)].state.selected;
        if (sibling == index || !selected.value_or(false)) continue;
        selected = false;
        cleared.push_back(sibling);
      }
    }
    n.state.selected = true;
  }
  for (int c : cleared) RaiseChanged(tree, c, UIA_SelectionItemIsSelectedPropertyId, true);
  RaiseChanged(tree, index, UIA_SelectionItemIsSelectedPropertyId, true);
  Raise(tree, index, UIA_SelectionItem_ElementSelectedEventId, 0, EVENT_OBJECT_SELECTION);
  return S_OK;
}

// Invoke returns at once and the action follows [IIP]: posted to the window, which runs it and then raises Invoked.
HRESULT DoInvoke(Tree& tree, int index) {
  {
    std::lock_guard<std::mutex> guard(tree.mu);
    const FlatNode& n = tree.nodes[static_cast<size_t>(index)];
    if (!n.invoke) return static_cast<HRESULT>(UIA_E_NOTSUPPORTED);
    if (!n.state.enabled) return kNotEnabledHr;
  }
  return PostMessageW(tree.hwnd, kProviderActionMessage, static_cast<WPARAM>(index), 0) ? S_OK : E_FAIL;
}

class Provider final
    : public AccObject<IRawElementProviderSimple, IRawElementProviderFragment, IRawElementProviderFragmentRoot,
                       IToggleProvider, ISelectionItemProvider, IInvokeProvider> {
 public:
  Provider(std::shared_ptr<Tree> tree, int index) : tree_(std::move(tree)), index_(index) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IRawElementProviderSimple)) {
      *ppv = static_cast<IRawElementProviderSimple*>(this);
    } else if (riid == __uuidof(IRawElementProviderFragment)) {
      *ppv = static_cast<IRawElementProviderFragment*>(this);
    } else if (riid == __uuidof(IRawElementProviderFragmentRoot) && index_ == 0) {
      *ppv = static_cast<IRawElementProviderFragmentRoot*>(this);
    } else if (riid == __uuidof(IToggleProvider) && Has(UIA_TogglePatternId)) {
      *ppv = static_cast<IToggleProvider*>(this);
    } else if (riid == __uuidof(ISelectionItemProvider) && Has(UIA_SelectionItemPatternId)) {
      *ppv = static_cast<ISelectionItemProvider*>(this);
    } else if (riid == __uuidof(IInvokeProvider) && Has(UIA_InvokePatternId)) {
      *ppv = static_cast<IInvokeProvider*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  // IRawElementProviderSimple
  STDMETHODIMP get_ProviderOptions(ProviderOptions* out) override {
    if (!out) return E_INVALIDARG;
    *out = ProviderOptions{};
    return Call("get_ProviderOptions", [&] {
      *out = ProviderOptions_ServerSideProvider;
      return S_OK;
    });
  }
  STDMETHODIMP GetPatternProvider(PATTERNID id, IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("GetPatternProvider", [&] {
      if (Has(id)) {
        AddRef();
        *out = static_cast<IRawElementProviderSimple*>(this);
      }
      return S_OK;
    });
  }
  // What the element leaves out (VT_EMPTY) is the window's at the root, the property's default elsewhere.
  STDMETHODIMP GetPropertyValue(PROPERTYID id, VARIANT* out) override {
    if (!out) return E_INVALIDARG;
    VariantInit(out);
    return Call("GetPropertyValue", [&] {
      const FlatNode& n = Node();
      auto text = [&](const std::wstring& s) {
        if (s.empty()) return;
        out->vt = VT_BSTR;
        out->bstrVal = MakeBstr(s);
      };
      auto flag = [&](bool value) {
        if (index_ == 0) return;
        out->vt = VT_BOOL;
        out->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
      };
      switch (id) {
        case UIA_ControlTypePropertyId:
          if (n.controlType) SetI4(out, n.controlType);
          break;
        case UIA_NamePropertyId:
          text(n.name);
          break;
        case UIA_AutomationIdPropertyId:
          text(n.automationId);
          break;
        case UIA_IsEnabledPropertyId:
          flag(State().enabled);
          break;
        case UIA_IsOffscreenPropertyId:
          flag(State().offscreen);
          break;
        default:
          break;
      }
      return S_OK;
    });
  }
  // simwin's UI Automation knows the window it asked; no host provider object (UiaHostProviderFromHwnd) is made.
  STDMETHODIMP get_HostRawElementProvider(IRawElementProviderSimple** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("get_HostRawElementProvider", [&] { return index_ == 0 ? E_NOTIMPL : S_OK; });
  }

  // IRawElementProviderFragment
  STDMETHODIMP Navigate(NavigateDirection direction, IRawElementProviderFragment** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("Navigate", [&]() -> HRESULT {
      const FlatNode& n = Node();
      int to = -1;
      if (direction == NavigateDirection_Parent) {
        to = n.parent;
      } else if (direction == NavigateDirection_FirstChild || direction == NavigateDirection_LastChild) {
        if (!n.children.empty()) {
          to = direction == NavigateDirection_FirstChild ? n.children.front() : n.children.back();
        }
      } else if (n.parent >= 0) {
        const auto& siblings = tree_->nodes[static_cast<size_t>(n.parent)].children;
        auto at = std::find(siblings.begin(), siblings.end(), index_);
        if (direction == NavigateDirection_NextSibling && at + 1 != siblings.end()) to = *(at + 1);
        if (direction == NavigateDirection_PreviousSibling && at != siblings.begin()) to = *(at - 1);
      }
      if (to >= 0) *out = new Provider(tree_, to);
      return S_OK;
    });
  }
  // simwin has no SAFEARRAY, so no runtime ids (its UI Automation compares elements by provider identity).
  STDMETHODIMP GetRuntimeId(SAFEARRAY** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("GetRuntimeId", [] { return E_NOTIMPL; });
  }
  // The root is its window (inferred).
  STDMETHODIMP get_BoundingRectangle(UiaRect* out) override {
    if (!out) return E_INVALIDARG;
    *out = UiaRect{};
    return Call("get_BoundingRectangle", [&] {
      RECT r = Node().bounds;
      if (index_ == 0) GetWindowRect(tree_->hwnd, &r);
      *out = UiaRect{static_cast<double>(r.left), static_cast<double>(r.top), static_cast<double>(r.right - r.left),
                     static_cast<double>(r.bottom - r.top)};
      return S_OK;
    });
  }
  STDMETHODIMP GetEmbeddedFragmentRoots(SAFEARRAY** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("GetEmbeddedFragmentRoots", [] { return S_OK; });
  }
  // simwin has no keyboard focus.
  STDMETHODIMP SetFocus() override {
    return Call("SetFocus", [] { return E_NOTIMPL; });
  }
  STDMETHODIMP get_FragmentRoot(IRawElementProviderFragmentRoot** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("get_FragmentRoot", [&] {
      *out = new Provider(tree_, 0);
      return S_OK;
    });
  }

  // IRawElementProviderFragmentRoot
  STDMETHODIMP ElementProviderFromPoint(double, double, IRawElementProviderFragment** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("ElementProviderFromPoint", [] { return E_NOTIMPL; });
  }
  STDMETHODIMP GetFocus(IRawElementProviderFragment** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("GetFocus", [] { return S_OK; });
  }

  // IToggleProvider
  STDMETHODIMP Toggle() override {
    return Call("Toggle", [&] { return DoToggle(*tree_, index_); });
  }
  STDMETHODIMP get_ToggleState(ToggleState* out) override {
    if (!out) return E_INVALIDARG;
    *out = ToggleState_Off;
    return Call("get_ToggleState", [&] {
      *out = State().toggle.value_or(ToggleState_Off);
      return S_OK;
    });
  }

  // ISelectionItemProvider
  STDMETHODIMP Select() override {
    return Call("Select", [&] { return DoSelect(*tree_, index_); });
  }
  // One item of a group is selected at a time, and one must stay selected (inferred for these containers).
  STDMETHODIMP AddToSelection() override {
    return Call("AddToSelection", [] { return static_cast<HRESULT>(UIA_E_INVALIDOPERATION); });
  }
  STDMETHODIMP RemoveFromSelection() override {
    return Call("RemoveFromSelection", [] { return static_cast<HRESULT>(UIA_E_INVALIDOPERATION); });
  }
  STDMETHODIMP get_IsSelected(BOOL* out) override {
    if (!out) return E_INVALIDARG;
    *out = FALSE;
    return Call("get_IsSelected", [&] {
      *out = State().selected.value_or(false);
      return S_OK;
    });
  }
  STDMETHODIMP get_SelectionContainer(IRawElementProviderSimple** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return Call("get_SelectionContainer", [&] {
      if (Node().parent >= 0) *out = new Provider(tree_, Node().parent);
      return S_OK;
    });
  }

  // IInvokeProvider
  STDMETHODIMP Invoke() override {
    return Call("Invoke", [&] { return DoInvoke(*tree_, index_); });
  }

  bool Identify(std::wstring& key, const void*& tree, int& index) const {
    key = Node().key;
    tree = tree_.get();
    index = index_;
    return true;
  }

 private:
  ~Provider() override = default;

  const FlatNode& Node() const { return tree_->nodes[static_cast<size_t>(index_)]; }
  simwin::UiaElementState State() const {
    std::lock_guard<std::mutex> guard(tree_->mu);
    return Node().state;
  }
  bool Has(PATTERNID id) const {
    const simwin::UiaElementState s = State();
    switch (id) {
      case UIA_TogglePatternId:
        return s.toggle.has_value();
      case UIA_SelectionItemPatternId:
        return s.selected.has_value();
      case UIA_InvokePatternId:
        return Node().invoke;
      default:
        return false;
    }
  }

  // Counts the call, applies injected faults, and runs the body where the provider runs; an element whose window is
  // gone is no longer available [U-ERR].
  template <class F>
  HRESULT Call(const char* method, F&& body) {
    HRESULT fault;
    if (AccCallFails(method, tree_->hwnd, Node().key, fault)) return fault;
    return tree_->Run([&]() -> HRESULT { return IsWindow(tree_->hwnd) ? body() : kGoneHr; });
  }

  std::shared_ptr<Tree> tree_;
  const int index_;
};

// The window answers UI Automation's request for its provider [U-SSP] and nothing else of WM_GETOBJECT, as that
// sample does, so MSAA clients get its standard proxy (simwin has no bridge from providers to MSAA). It also runs the
// actions its elements were invoked for.
std::optional<LRESULT> Tree::Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_GETOBJECT && static_cast<LONG>(lParam) == UiaRootObjectId) {
    auto* root = new Provider(std::static_pointer_cast<Tree>(shared_from_this()), 0);
    LRESULT r = UiaReturnRawElementProvider(window, wParam, lParam, root);
    root->Release();
    return r;
  }
  if (msg != kProviderActionMessage) return std::nullopt;
  const int index = static_cast<int>(wParam);
  if (index < 0 || static_cast<size_t>(index) >= nodes.size()) return 0;
  if (const auto& action = nodes[static_cast<size_t>(index)].onInvoke) action();
  Raise(*this, index, UIA_Invoke_InvokedEventId, 0, 0);
  return 0;
}

std::shared_ptr<Tree> FindTree(HWND hwnd) {
  return std::static_pointer_cast<Tree>(ServerOf(hwnd, ServerKind::Automation));
}

int FindNode(const Tree& tree, const std::wstring& key) {
  for (size_t i = 0; i < tree.nodes.size(); ++i) {
    if (tree.nodes[i].key == key) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool AutomationTreeElement(IUnknown* provider, std::wstring& key, const void*& tree, int& index) {
  IRawElementProviderSimple* simple = nullptr;
  if (!provider ||
      FAILED(provider->QueryInterface(__uuidof(IRawElementProviderSimple), reinterpret_cast<void**>(&simple))) ||
      !simple) {
    return false;
  }
  auto* ours = dynamic_cast<Provider*>(simple);
  bool found = ours && ours->Identify(key, tree, index);
  simple->Release();
  return found;
}

}  // namespace simwin::detail

namespace simwin {

using namespace detail;

void AttachAutomationTree(Process& process, HWND hwnd, UiaNode root) {
  auto tree = std::make_shared<Tree>(hwnd);
  Flatten(root, *tree);
  ServeFromWindow(process, hwnd, ServerKind::Automation, std::move(tree));
}

std::optional<UiaElementState> AutomationElementState(HWND hwnd, const std::wstring& key) {
  auto tree = FindTree(hwnd);
  if (!tree) return std::nullopt;
  int index = FindNode(*tree, key);
  if (index < 0) return std::nullopt;
  std::lock_guard<std::mutex> guard(tree->mu);
  return tree->nodes[static_cast<size_t>(index)].state;
}

void SetAutomationElementState(Process& process, HWND hwnd, const std::wstring& key, const UiaElementState& state) {
  auto tree = FindTree(hwnd);
  int index = tree ? FindNode(*tree, key) : -1;
  if (index < 0) return;
  process.Invoke([&] {
    UiaElementState before;
    UiaElementState after;
    {
      std::lock_guard<std::mutex> guard(tree->mu);
      UiaElementState& s = tree->nodes[static_cast<size_t>(index)].state;
      before = s;
      s.enabled = state.enabled;
      s.offscreen = state.offscreen;
      if (s.toggle && state.toggle) s.toggle = state.toggle;
      if (s.selected && state.selected) s.selected = state.selected;
      after = s;
    }
    if (before.enabled != after.enabled) RaiseChanged(*tree, index, UIA_IsEnabledPropertyId, true);
    if (before.offscreen != after.offscreen) RaiseChanged(*tree, index, UIA_IsOffscreenPropertyId, false);
    if (before.toggle != after.toggle) {
      RaiseChanged(*tree, index, UIA_ToggleToggleStatePropertyId,
                   (before.toggle == ToggleState_On) != (after.toggle == ToggleState_On));
    }
    if (before.selected != after.selected) RaiseChanged(*tree, index, UIA_SelectionItemIsSelectedPropertyId, true);
  });
}

bool ClickAutomationElement(Process& process, HWND hwnd, const std::wstring& key) {
  auto tree = FindTree(hwnd);
  int index = tree ? FindNode(*tree, key) : -1;
  if (index < 0) return false;
  process.Invoke([&] {
    const std::optional<UiaElementState> state = AutomationElementState(hwnd, key);
    if (!state || !state->enabled) return;
    if (state->toggle) {
      DoToggle(*tree, index);
    } else if (state->selected) {
      DoSelect(*tree, index);
    } else {
      DoInvoke(*tree, index);
    }
  });
  return true;
}

std::vector<std::pair<int, UiaNode>> AutomationTreeNow(HWND hwnd) {
  auto tree = FindTree(hwnd);
  std::vector<std::pair<int, UiaNode>> out;
  if (!tree || tree->nodes.empty()) return out;
  std::lock_guard<std::mutex> guard(tree->mu);
  std::vector<std::pair<int, int>> stack{{0, 0}};
  while (!stack.empty()) {
    auto [index, depth] = stack.back();
    stack.pop_back();
    const FlatNode& n = tree->nodes[static_cast<size_t>(index)];
    UiaNode view{.key = n.key,
                 .controlType = n.controlType,
                 .name = n.name,
                 .automationId = n.automationId,
                 .bounds = n.bounds,
                 .enabled = n.state.enabled,
                 .offscreen = n.state.offscreen,
                 .toggle = n.state.toggle,
                 .threeState = n.threeState,
                 .selected = n.state.selected,
                 .invoke = n.invoke};
    out.emplace_back(depth, std::move(view));
    for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) stack.emplace_back(*it, depth + 1);
  }
  return out;
}

std::vector<RaisedAutomationEvent> RaisedAutomationEvents(HWND hwnd) {
  auto tree = FindTree(hwnd);
  if (!tree) return {};
  std::lock_guard<std::mutex> guard(tree->mu);
  return tree->raised;
}

}  // namespace simwin

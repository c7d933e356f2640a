// simwin custom MSAA trees: what a custom-drawn installer serves through WM_GETOBJECT, built from plain data, with
// the faults of untrusted trees (cycles, absurd child counts, very deep chains).
//
// A call from another process runs on the serving window's UI thread, as a cross-process COM call into a
// single-threaded apartment does, so an installer that stops pumping blocks its callers.
#include <mutex>
#include <utility>

#include "platform/sim/acc_internal.h"

namespace simwin::detail {

namespace {

struct FlatNode {
  std::wstring key;
  LONG role = ROLE_SYSTEM_CLIENT;
  std::wstring name;
  std::optional<std::wstring> value;
  std::optional<std::wstring> description;
  std::optional<std::wstring> defaultAction;
  LONG state = 0;  // guarded by Tree::mu
  RECT location{};
  bool simple = false;
  bool toggle = false;
  std::function<void()> onDefaultAction;
  std::optional<long> reportedChildCount;
  int parent = -1;
  std::vector<int> children;  // indices; may name an ancestor (a faulty tree)
};

struct Tree final : WindowServer {
  Tree(HWND window, LONG id) : WindowServer(window), objid(id) {}
  const LONG objid;
  std::mutex mu;
  std::vector<FlatNode> nodes;  // fixed after construction but for `state`

  // The window answers WM_GETOBJECT(objid) with the root.
  std::optional<LRESULT> Handle(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) override;
};

// Flattens without recursion: the data may describe very deep trees.
void Flatten(const simwin::AccNode& root, Tree& tree) {
  struct Pending {
    const simwin::AccNode* node;
    int parent;
  };
  std::vector<Pending> stack{{&root, -1}};
  std::vector<std::pair<int, const simwin::AccNode*>> made;
  while (!stack.empty()) {
    Pending p = stack.back();
    stack.pop_back();
    const simwin::AccNode& n = *p.node;
    FlatNode f;
    f.key = n.key.empty() ? n.name : n.key;
    f.role = n.role;
    f.name = n.name;
    f.value = n.value;
    f.description = n.description;
    f.defaultAction = n.defaultAction;
    f.state = n.state;
    f.location = n.location;
    f.simple = n.simple;
    f.toggle = n.toggleOnDefaultAction;
    f.onDefaultAction = n.onDefaultAction;
    f.reportedChildCount = n.reportedChildCount;
    f.parent = p.parent;
    int index = static_cast<int>(tree.nodes.size());
    tree.nodes.push_back(std::move(f));
    if (p.parent >= 0) tree.nodes[p.parent].children.push_back(index);
    made.emplace_back(index, &n);
    for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) stack.push_back({&*it, index});
  }
  // Generated chains and ancestor references come after the real children.
  for (auto& [index, n] : made) {
    int parent = index;
    for (int i = 0; i < n->chainDepth; ++i) {
      FlatNode link;
      link.name = L"chain " + std::to_wstring(i + 1);
      link.key = link.name;
      link.parent = parent;
      int at = static_cast<int>(tree.nodes.size());
      tree.nodes.push_back(std::move(link));
      tree.nodes[parent].children.push_back(at);
      parent = at;
    }
  }
  for (auto& [index, n] : made) {
    if (!n->ancestorAsChild) continue;
    int target = index;
    for (int up = 0; up < *n->ancestorAsChild && tree.nodes[target].parent >= 0; ++up) target = tree.nodes[target].parent;
    tree.nodes[index].children.push_back(target);
  }
}

class TreeAcc final : public AccObject<IAccessible> {
 public:
  TreeAcc(std::shared_ptr<Tree> tree, int index) : tree_(std::move(tree)), index_(index) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == __uuidof(IUnknown) || riid == __uuidof(IDispatch) || riid == __uuidof(IAccessible)) {
      *ppv = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
    return Call("GetTypeInfoCount", Self(), [&] {
      if (!pctinfo) return E_INVALIDARG;
      *pctinfo = 0;
      return S_OK;
    });
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** pp) override {
    if (pp) *pp = nullptr;
    return Call("GetTypeInfo", Self(), [] { return E_NOTIMPL; });
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Call("GetIDsOfNames", Self(), [] { return E_NOTIMPL; });
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return Call("Invoke", Self(), [] { return E_NOTIMPL; });
  }

  STDMETHODIMP get_accParent(IDispatch** pp) override {
    if (!pp) return E_INVALIDARG;
    *pp = nullptr;
    return Call("get_accParent", Self(), [&]() -> HRESULT {
      int parent = Node().parent;
      if (parent >= 0) return Make(parent, pp);
      // The root hangs below the standard window object of its window.
      IDispatch* window = nullptr;
      HRESULT hr = StdAccessibleObject(tree_->hwnd, OBJID_WINDOW, __uuidof(IDispatch), reinterpret_cast<void**>(&window));
      if (FAILED(hr)) return hr;
      if (tree_->objid == OBJID_CLIENT) {
        *pp = window;
        return S_OK;
      }
      IAccessible* acc = nullptr;
      window->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc));
      window->Release();
      if (!acc) return E_FAIL;
      CountSuppressor quiet;
      hr = acc->get_accParent(pp);
      acc->Release();
      return hr;
    });
  }

  STDMETHODIMP get_accChildCount(long* pcount) override {
    if (!pcount) return E_INVALIDARG;
    *pcount = 0;
    return Call("get_accChildCount", Self(), [&] {
      const FlatNode& n = Node();
      *pcount = n.reportedChildCount ? *n.reportedChildCount : static_cast<long>(n.children.size());
      return S_OK;
    });
  }

  STDMETHODIMP get_accChild(VARIANT varChild, IDispatch** pp) override {
    if (!pp) return E_INVALIDARG;
    *pp = nullptr;
    return Call("get_accChild", KeyOf(varChild), [&]() -> HRESULT {
      const FlatNode& n = Node();
      if (varChild.vt != VT_I4 || varChild.lVal < 1 || static_cast<size_t>(varChild.lVal) > n.children.size()) {
        return E_INVALIDARG;
      }
      int child = n.children[static_cast<size_t>(varChild.lVal) - 1];
      if (tree_->nodes[child].simple) return S_FALSE;
      return Make(child, pp);
    });
  }

  STDMETHODIMP get_accName(VARIANT varChild, BSTR* psz) override {
    return Text("get_accName", varChild, psz, [](const FlatNode& n) {
      return n.name.empty() ? std::optional<std::wstring>{} : std::optional<std::wstring>{n.name};
    });
  }
  STDMETHODIMP get_accValue(VARIANT varChild, BSTR* psz) override {
    return Text("get_accValue", varChild, psz, [](const FlatNode& n) { return n.value; });
  }
  STDMETHODIMP get_accDescription(VARIANT varChild, BSTR* psz) override {
    return Text("get_accDescription", varChild, psz, [](const FlatNode& n) { return n.description; });
  }
  STDMETHODIMP get_accHelp(VARIANT varChild, BSTR* psz) override {
    return Text("get_accHelp", varChild, psz, [](const FlatNode&) { return std::optional<std::wstring>{}; });
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT varChild, BSTR* psz) override {
    return Text("get_accKeyboardShortcut", varChild, psz,
                [](const FlatNode&) { return std::optional<std::wstring>{}; });
  }
  STDMETHODIMP get_accDefaultAction(VARIANT varChild, BSTR* psz) override {
    return Text("get_accDefaultAction", varChild, psz, [](const FlatNode& n) { return n.defaultAction; });
  }

  STDMETHODIMP get_accRole(VARIANT varChild, VARIANT* pv) override {
    if (!pv) return E_INVALIDARG;
    VariantInit(pv);
    return Call("get_accRole", KeyOf(varChild), [&]() -> HRESULT {
      int t = Target(varChild);
      if (t < 0) return E_INVALIDARG;
      SetI4(pv, tree_->nodes[t].role);
      return S_OK;
    });
  }

  STDMETHODIMP get_accState(VARIANT varChild, VARIANT* pv) override {
    if (!pv) return E_INVALIDARG;
    VariantInit(pv);
    return Call("get_accState", KeyOf(varChild), [&]() -> HRESULT {
      int t = Target(varChild);
      if (t < 0) return E_INVALIDARG;
      std::lock_guard<std::mutex> guard(tree_->mu);
      SetI4(pv, tree_->nodes[t].state);
      return S_OK;
    });
  }

  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT varChild, long* topic) override {
    if (file) *file = nullptr;
    if (topic) *topic = 0;
    return Call("get_accHelpTopic", KeyOf(varChild), [] { return DISP_E_MEMBERNOTFOUND; });
  }

  STDMETHODIMP get_accFocus(VARIANT* pv) override {
    if (!pv) return E_INVALIDARG;
    VariantInit(pv);
    return Call("get_accFocus", Self(), [] { return S_FALSE; });
  }
  STDMETHODIMP get_accSelection(VARIANT* pv) override {
    if (!pv) return E_INVALIDARG;
    VariantInit(pv);
    return Call("get_accSelection", Self(), [] { return S_FALSE; });
  }

  STDMETHODIMP accSelect(long, VARIANT varChild) override {
    return Call("accSelect", KeyOf(varChild), [] { return DISP_E_MEMBERNOTFOUND; });
  }

  STDMETHODIMP accLocation(long* x, long* y, long* cx, long* cy, VARIANT varChild) override {
    if (!x || !y || !cx || !cy) return E_INVALIDARG;
    *x = *y = *cx = *cy = 0;
    return Call("accLocation", KeyOf(varChild), [&]() -> HRESULT {
      int t = Target(varChild);
      if (t < 0) return E_INVALIDARG;
      const RECT& r = tree_->nodes[t].location;
      *x = r.left;
      *y = r.top;
      *cx = r.right - r.left;
      *cy = r.bottom - r.top;
      return S_OK;
    });
  }

  STDMETHODIMP accNavigate(long navDir, VARIANT varStart, VARIANT* pv) override {
    if (!pv) return E_INVALIDARG;
    VariantInit(pv);
    return Call("accNavigate", KeyOf(varStart), [&]() -> HRESULT {
      const FlatNode& n = Node();
      if (varStart.vt != VT_I4) return E_INVALIDARG;
      long from = varStart.lVal;
      if (from == CHILDID_SELF) {
        if (navDir == NAVDIR_FIRSTCHILD || navDir == NAVDIR_LASTCHILD) {
          if (n.children.empty()) return S_FALSE;
          long id = navDir == NAVDIR_FIRSTCHILD ? 1 : static_cast<long>(n.children.size());
          return ChildVariant(n, id, pv);
        }
        if ((navDir == NAVDIR_NEXT || navDir == NAVDIR_PREVIOUS) && n.parent >= 0) {
          const FlatNode& p = tree_->nodes[n.parent];
          for (size_t i = 0; i < p.children.size(); ++i) {
            if (p.children[i] != index_) continue;
            long to = static_cast<long>(i) + 1 + (navDir == NAVDIR_NEXT ? 1 : -1);
            if (to < 1 || static_cast<size_t>(to) > p.children.size()) return S_FALSE;
            return ChildVariant(p, to, pv);
          }
        }
        return S_FALSE;
      }
      if (Target(varStart) < 0) return E_INVALIDARG;
      long to = navDir == NAVDIR_NEXT ? from + 1 : (navDir == NAVDIR_PREVIOUS ? from - 1 : 0);
      if (to < 1 || static_cast<size_t>(to) > n.children.size()) return S_FALSE;
      return ChildVariant(n, to, pv);
    });
  }

  STDMETHODIMP accHitTest(long x, long y, VARIANT* pv) override {
    if (!pv) return E_INVALIDARG;
    VariantInit(pv);
    return Call("accHitTest", Self(), [&]() -> HRESULT {
      auto inside = [&](const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
      const FlatNode& n = Node();
      for (size_t i = 0; i < n.children.size(); ++i) {
        if (inside(tree_->nodes[n.children[i]].location)) return ChildVariant(n, static_cast<long>(i) + 1, pv);
      }
      if (!inside(n.location)) return S_FALSE;
      SetI4(pv, CHILDID_SELF);
      return S_OK;
    });
  }

  STDMETHODIMP accDoDefaultAction(VARIANT varChild) override {
    return Call("accDoDefaultAction", KeyOf(varChild), [&]() -> HRESULT {
      int t = Target(varChild);
      if (t < 0) return E_INVALIDARG;
      FlatNode& n = tree_->nodes[t];
      if (!n.defaultAction) return DISP_E_MEMBERNOTFOUND;
      bool changed = false;
      {
        std::lock_guard<std::mutex> guard(tree_->mu);
        if (n.state & STATE_SYSTEM_UNAVAILABLE) return kDisabledDefaultActionHr;
        if (n.toggle) {
          n.state ^= STATE_SYSTEM_CHECKED;
          changed = true;
        }
      }
      if (changed) NotifyWinEvent(EVENT_OBJECT_STATECHANGE, tree_->hwnd, OBJID_CLIENT, CHILDID_SELF);
      if (n.onDefaultAction) n.onDefaultAction();
      return S_OK;
    });
  }

  STDMETHODIMP put_accName(VARIANT varChild, BSTR) override {
    return Call("put_accName", KeyOf(varChild), [] { return DISP_E_MEMBERNOTFOUND; });
  }
  STDMETHODIMP put_accValue(VARIANT varChild, BSTR) override {
    return Call("put_accValue", KeyOf(varChild), [] { return DISP_E_MEMBERNOTFOUND; });
  }

  // The element a child id names and its key (the identity UI Automation's bridge compares); false if none.
  bool Identify(LONG childId, std::wstring& key, const void*& tree, int& index) const {
    VARIANT v;
    SetI4(&v, childId);
    int t = Target(v);
    if (t < 0) return false;
    key = tree_->nodes[t].key;
    tree = tree_.get();
    index = t;
    return true;
  }

 private:
  ~TreeAcc() = default;

  const FlatNode& Node() const { return tree_->nodes[index_]; }
  const std::wstring& Self() const { return Node().key; }

  // The element a child id names: the object itself (CHILDID_SELF) or one of its simple children; -1 if none.
  int Target(const VARIANT& v) const {
    if (v.vt != VT_I4) return -1;
    if (v.lVal == CHILDID_SELF) return index_;
    const FlatNode& n = Node();
    if (v.lVal < 1 || static_cast<size_t>(v.lVal) > n.children.size()) return -1;
    int c = n.children[static_cast<size_t>(v.lVal) - 1];
    return tree_->nodes[c].simple ? c : -1;
  }
  const std::wstring& KeyOf(const VARIANT& v) const {
    int t = Target(v);
    return t < 0 ? Self() : tree_->nodes[t].key;
  }

  HRESULT Make(int index, IDispatch** pp) const {
    *pp = new TreeAcc(tree_, index);
    return S_OK;
  }
  HRESULT ChildVariant(const FlatNode& n, long id, VARIANT* pv) const {
    int c = n.children[static_cast<size_t>(id) - 1];
    if (tree_->nodes[c].simple) {
      SetI4(pv, id);
      return S_OK;
    }
    pv->vt = VT_DISPATCH;
    return Make(c, &pv->pdispVal);
  }

  template <class F>
  HRESULT Text(const char* method, const VARIANT& varChild, BSTR* psz, F get) {
    if (!psz) return E_INVALIDARG;
    *psz = nullptr;
    return Call(method, KeyOf(varChild), [&]() -> HRESULT {
      int t = Target(varChild);
      if (t < 0) return E_INVALIDARG;
      std::optional<std::wstring> text = get(tree_->nodes[t]);
      if (!text) return S_FALSE;
      *psz = MakeBstr(*text);
      return S_OK;
    });
  }

  // Counts the call, applies injected faults, and runs the body where the server runs it.
  template <class F>
  HRESULT Call(const char* method, const std::wstring& element, F&& body) {
    HRESULT fault;
    if (AccCallFails(method, tree_->hwnd, element, fault)) return fault;
    return tree_->Run(body);
  }

  std::shared_ptr<Tree> tree_;
  const int index_;
};

std::optional<LRESULT> Tree::Handle(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_GETOBJECT || static_cast<LONG>(lParam) != objid) return std::nullopt;
  auto* root = new TreeAcc(std::static_pointer_cast<Tree>(shared_from_this()), 0);
  LRESULT r = LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(root));
  root->Release();
  return r;
}

std::shared_ptr<Tree> FindTree(HWND hwnd) { return std::static_pointer_cast<Tree>(ServerOf(hwnd, ServerKind::Msaa)); }

}  // namespace

bool CustomTreeElement(IUnknown* object, LONG childId, std::wstring& key, const void*& tree, int& index) {
  IAccessible* acc = nullptr;
  if (!object || FAILED(object->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&acc))) || !acc) {
    return false;
  }
  auto* custom = dynamic_cast<TreeAcc*>(acc);
  bool found = custom && custom->Identify(childId, key, tree, index);
  acc->Release();
  return found;
}

}  // namespace simwin::detail

namespace simwin {

using namespace detail;

void AttachAccessibleTree(Process& process, HWND hwnd, AccNode root, LONG objid) {
  auto tree = std::make_shared<Tree>(hwnd, objid);
  Flatten(root, *tree);
  ServeFromWindow(process, hwnd, ServerKind::Msaa, std::move(tree));
}

std::optional<LONG> AccessibleState(HWND hwnd, const std::wstring& key) {
  auto tree = FindTree(hwnd);
  if (!tree) return std::nullopt;
  std::lock_guard<std::mutex> guard(tree->mu);
  for (auto& n : tree->nodes) {
    if (n.key == key) return n.state;
  }
  return std::nullopt;
}

std::vector<std::pair<int, AccNode>> AccessibleTreeNow(HWND hwnd) {
  auto tree = FindTree(hwnd);
  std::vector<std::pair<int, AccNode>> out;
  if (!tree || tree->nodes.empty()) return out;
  std::lock_guard<std::mutex> guard(tree->mu);
  // Only a node's own children are followed: a child listed under another parent is a faulty tree's back reference.
  std::vector<std::pair<int, int>> stack{{0, 0}};
  while (!stack.empty()) {
    auto [index, depth] = stack.back();
    stack.pop_back();
    const FlatNode& n = tree->nodes[static_cast<size_t>(index)];
    AccNode view;
    view.key = n.key;
    view.role = n.role;
    view.name = n.name;
    view.value = n.value;
    view.description = n.description;
    view.state = n.state;
    view.defaultAction = n.defaultAction;
    view.location = n.location;
    view.simple = n.simple;
    out.emplace_back(depth, std::move(view));
    for (auto it = n.children.rbegin(); it != n.children.rend(); ++it) {
      if (tree->nodes[static_cast<size_t>(*it)].parent == index) stack.emplace_back(*it, depth + 1);
    }
  }
  return out;
}

void SetAccessibleState(Process& process, HWND hwnd, const std::wstring& key, LONG state) {
  auto tree = FindTree(hwnd);
  if (!tree) return;
  bool changed = false;
  {
    std::lock_guard<std::mutex> guard(tree->mu);
    for (auto& n : tree->nodes) {
      if (n.key != key) continue;
      changed = n.state != state;
      n.state = state;
      break;
    }
  }
  if (changed) process.Invoke([&] { NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd, OBJID_CLIENT, CHILDID_SELF); });
}

}  // namespace simwin

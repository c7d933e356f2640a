// simwin UI Automation: elements, live or with what one BuildUpdatedCache brought for them, and building that
// cache over a subtree.
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

// What one BuildUpdatedCache brought for one element. Immutable once built.
struct Cache {
  bool self = false;  // properties and patterns of the element itself were requested
  std::map<PROPERTYID, Var> properties;
  std::optional<RECT> rect;
  std::map<PATTERNID, Ref<IUnknown>> patterns;                     // a null entry: requested, not supported
  std::optional<std::vector<Ref<IUIAutomationElement>>> children;  // empty optional: not requested
};

HRESULT Build(const Node& n, const RequestSettings& settings, int level, std::vector<const Node*>& path, IUIAutomationElement** out);

class ElementArray final : public SingleInterfaceObject<IUIAutomationElementArray> {
 public:
  explicit ElementArray(std::vector<Ref<IUIAutomationElement>> items) : items_(std::move(items)) {}
  // The array lives in the client: its calls are not cross-process.
  STDMETHODIMP get_Length(int* length) override {
    if (!length) return E_POINTER;
    *length = static_cast<int>(items_.size());
    return S_OK;
  }
  STDMETHODIMP GetElement(int index, IUIAutomationElement** element) override {
    if (!element) return E_POINTER;
    *element = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return E_INVALIDARG;
    *element = Ref<IUIAutomationElement>(items_[static_cast<size_t>(index)]).Detach();
    return S_OK;
  }

 private:
  ~ElementArray() = default;
  const std::vector<Ref<IUIAutomationElement>> items_;
};

class Element final : public SingleInterfaceObject<IUIAutomationElement> {
 public:
  Element(Node node, bool full, std::shared_ptr<const Cache> cache,
          std::shared_ptr<const std::map<PROPERTYID, Var>> props)
      : node_(std::move(node)), full_(full), cache_(std::move(cache)), props_(std::move(props)) {}

  const Node& node() const { return node_; }

  STDMETHODIMP SetFocus() override {
    UIA_ENTER("SetFocus");
    return E_NOTIMPL;
  }
  STDMETHODIMP GetRuntimeId(SAFEARRAY** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("GetRuntimeId");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindFirst(TreeScope, IUIAutomationCondition*, IUIAutomationElement** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindFirst");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindAll(TreeScope, IUIAutomationCondition*, IUIAutomationElementArray** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindAll");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindFirstBuildCache(TreeScope, IUIAutomationCondition*, IUIAutomationCacheRequest*,
                                   IUIAutomationElement** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindFirstBuildCache");
    return E_NOTIMPL;
  }
  STDMETHODIMP FindAllBuildCache(TreeScope, IUIAutomationCondition*, IUIAutomationCacheRequest*,
                                 IUIAutomationElementArray** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("FindAllBuildCache");
    return E_NOTIMPL;
  }

  // One call however large the subtree: the whole request is answered at once.
  STDMETHODIMP BuildUpdatedCache(IUIAutomationCacheRequest* request, IUIAutomationElement** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("BuildUpdatedCache");
    const std::optional<RequestSettings> settings = SettingsOf(request);
    if (!settings) return E_INVALIDARG;
    if (!Alive(node_)) return kGoneHr;
    std::vector<const Node*> path;
    return Build(node_, *settings, 0, path, out);
  }

  STDMETHODIMP GetCurrentPropertyValue(PROPERTYID id, VARIANT* out) override {
    return GetCurrentPropertyValueEx(id, FALSE, out);
  }
  STDMETHODIMP GetCurrentPropertyValueEx(PROPERTYID id, BOOL, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    UIA_ENTER("GetCurrentPropertyValue");
    if (!full_) return kNotCachedHr;
    return ReadProperty(node_, id, out);
  }
  STDMETHODIMP GetCachedPropertyValue(PROPERTYID id, VARIANT* out) override {
    return GetCachedPropertyValueEx(id, FALSE, out);
  }
  STDMETHODIMP GetCachedPropertyValueEx(PROPERTYID id, BOOL, VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    UIA_ENTER("GetCachedPropertyValue");
    return CachedValue(id, out);
  }

  STDMETHODIMP GetCurrentPatternAs(PATTERNID id, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCurrentPatternAs");
    Ref<IUnknown> p;
    HRESULT hr = CurrentPattern(id, p);
    if (FAILED(hr) || !p) return hr;
    return p->QueryInterface(riid, out);
  }
  STDMETHODIMP GetCachedPatternAs(PATTERNID id, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedPatternAs");
    Ref<IUnknown> p;
    HRESULT hr = CachedPattern(id, p);
    if (FAILED(hr) || !p) return hr;
    return p->QueryInterface(riid, out);
  }
  STDMETHODIMP GetCurrentPattern(PATTERNID id, IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCurrentPattern");
    Ref<IUnknown> p;
    HRESULT hr = CurrentPattern(id, p);
    *out = p.Detach();
    return hr;
  }
  STDMETHODIMP GetCachedPattern(PATTERNID id, IUnknown** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedPattern");
    Ref<IUnknown> p;
    HRESULT hr = CachedPattern(id, p);
    *out = p.Detach();
    return hr;
  }

  STDMETHODIMP GetCachedParent(IUIAutomationElement** out) override {
    if (out) *out = nullptr;
    UIA_ENTER("GetCachedParent");
    return E_NOTIMPL;  // requests never include the parent scope here
  }
  // Children exist only if the request's scope asked for them at this level;
  // none is a null array [GCC] (S_OK inferred, unknowns 11).
  STDMETHODIMP GetCachedChildren(IUIAutomationElementArray** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    UIA_ENTER("GetCachedChildren");
    if (!cache_ || !cache_->children) return kNotCachedHr;
    if (cache_->children->empty()) return S_OK;
    *out = new ElementArray(*cache_->children);
    return S_OK;
  }

  UIA_PROPERTY_GETTERS(ProcessId, int, UIA_ProcessIdPropertyId)
  UIA_PROPERTY_GETTERS(ControlType, CONTROLTYPEID, UIA_ControlTypePropertyId)
  UIA_PROPERTY_GETTERS(LocalizedControlType, BSTR, UIA_LocalizedControlTypePropertyId)
  UIA_PROPERTY_GETTERS(Name, BSTR, UIA_NamePropertyId)
  UIA_PROPERTY_GETTERS(AcceleratorKey, BSTR, UIA_AcceleratorKeyPropertyId)
  UIA_PROPERTY_GETTERS(AccessKey, BSTR, UIA_AccessKeyPropertyId)
  UIA_PROPERTY_GETTERS(HasKeyboardFocus, BOOL, UIA_HasKeyboardFocusPropertyId)
  UIA_PROPERTY_GETTERS(IsKeyboardFocusable, BOOL, UIA_IsKeyboardFocusablePropertyId)
  UIA_PROPERTY_GETTERS(IsEnabled, BOOL, UIA_IsEnabledPropertyId)
  UIA_PROPERTY_GETTERS(AutomationId, BSTR, UIA_AutomationIdPropertyId)
  UIA_PROPERTY_GETTERS(ClassName, BSTR, UIA_ClassNamePropertyId)
  UIA_PROPERTY_GETTERS(HelpText, BSTR, UIA_HelpTextPropertyId)
  UIA_PROPERTY_GETTERS(Culture, int, UIA_CulturePropertyId)
  UIA_PROPERTY_GETTERS(IsControlElement, BOOL, UIA_IsControlElementPropertyId)
  UIA_PROPERTY_GETTERS(IsContentElement, BOOL, UIA_IsContentElementPropertyId)
  UIA_PROPERTY_GETTERS(IsPassword, BOOL, UIA_IsPasswordPropertyId)
  UIA_PROPERTY_GETTERS(NativeWindowHandle, UIA_HWND, UIA_NativeWindowHandlePropertyId)
  UIA_PROPERTY_GETTERS(ItemType, BSTR, UIA_ItemTypePropertyId)
  UIA_PROPERTY_GETTERS(IsOffscreen, BOOL, UIA_IsOffscreenPropertyId)
  UIA_PROPERTY_GETTERS(Orientation, OrientationType, UIA_OrientationPropertyId)
  UIA_PROPERTY_GETTERS(FrameworkId, BSTR, UIA_FrameworkIdPropertyId)
  UIA_PROPERTY_GETTERS(IsRequiredForForm, BOOL, UIA_IsRequiredForFormPropertyId)
  UIA_PROPERTY_GETTERS(ItemStatus, BSTR, UIA_ItemStatusPropertyId)
  UIA_NOT_MODELLED_GETTERS(LabeledBy, IUIAutomationElement*)
  UIA_NOT_MODELLED_GETTERS(AriaRole, BSTR)
  UIA_NOT_MODELLED_GETTERS(AriaProperties, BSTR)
  UIA_NOT_MODELLED_GETTERS(IsDataValidForForm, BOOL)
  UIA_NOT_MODELLED_GETTERS(ControllerFor, IUIAutomationElementArray*)
  UIA_NOT_MODELLED_GETTERS(DescribedBy, IUIAutomationElementArray*)
  UIA_NOT_MODELLED_GETTERS(FlowsTo, IUIAutomationElementArray*)
  UIA_NOT_MODELLED_GETTERS(ProviderDescription, BSTR)
  STDMETHODIMP get_CurrentBoundingRectangle(RECT* r) override {
    if (!r) return E_POINTER;
    *r = RECT{};
    UIA_ENTER("get_CurrentBoundingRectangle");
    if (!full_) return kNotCachedHr;
    if (!Alive(node_)) return kGoneHr;
    return RectOf(node_, *r);
  }
  STDMETHODIMP get_CachedBoundingRectangle(RECT* r) override {
    if (!r) return E_POINTER;
    *r = RECT{};
    UIA_ENTER("get_CachedBoundingRectangle");
    if (!cache_ || !cache_->rect) return kNotCachedHr;
    *r = *cache_->rect;
    return S_OK;
  }

  STDMETHODIMP GetClickablePoint(POINT* clickable, BOOL* got) override {
    if (clickable) *clickable = POINT{};
    if (got) *got = FALSE;
    UIA_ENTER("GetClickablePoint");
    return E_NOTIMPL;
  }

 private:
  ~Element() = default;

  // One getter for the current and the cached value of a property.
  template <class T>
  HRESULT Property(bool cached, const char* method, PROPERTYID id, T* out) {
    if (!out) return E_POINTER;
    Clear(out);
    UIA_ENTER(method);
    Var v;
    HRESULT hr = cached ? CachedValue(id, &v.v) : (full_ ? ReadProperty(node_, id, &v.v) : kNotCachedHr);
    if (SUCCEEDED(hr)) Take(v.v, out);
    return hr;
  }

  template <class T>
  HRESULT NotImpl(const char* method, T* out) const {
    return NotModelled(method, node_, out);
  }

  HRESULT CachedValue(PROPERTYID id, VARIANT* out) const {
    if (id < kFirstProperty || id > kLastProperty) return E_INVALIDARG;
    if (!props_) return kNotCachedHr;
    auto it = props_->find(id);
    if (it == props_->end()) return kNotCachedHr;
    return VariantCopy(out, &it->second.v);
  }
  HRESULT CurrentPattern(PATTERNID id, Ref<IUnknown>& out) const {
    if (id < kFirstPattern || id > kLastPattern) return E_INVALIDARG;
    if (!full_) return kNotCachedHr;
    if (!Alive(node_)) return kGoneHr;
    return MakePattern(node_, id, true, nullptr, out);
  }
  HRESULT CachedPattern(PATTERNID id, Ref<IUnknown>& out) const {
    if (id < kFirstPattern || id > kLastPattern) return E_INVALIDARG;
    if (!cache_ || !cache_->self) return kNotCachedHr;
    auto it = cache_->patterns.find(id);
    if (it == cache_->patterns.end()) return kNotCachedHr;
    out = it->second;
    return S_OK;
  }

  const Node node_;
  const bool full_;
  const std::shared_ptr<const Cache> cache_;
  const std::shared_ptr<const std::map<PROPERTYID, Var>> props_;
};

bool OnPath(const Node& n, const std::vector<const Node*>& path) {
  if (!n.tree) return false;
  for (const Node* p : path) {
    if (p->tree == n.tree && p->index == n.index) return true;
  }
  return false;
}

HRESULT Build(const Node& n, const RequestSettings& settings, int level, std::vector<const Node*>& path, IUIAutomationElement** out) {
  auto cache = std::make_shared<Cache>();
  auto props = std::make_shared<std::map<PROPERTYID, Var>>();
  cache->self = level > 0 || (settings.scope & TreeScope_Element);
  if (cache->self) {
    for (PROPERTYID id : settings.properties) {
      if (id == UIA_BoundingRectanglePropertyId) {
        RECT r;
        HRESULT hr = RectOf(n, r);
        if (FAILED(hr)) return hr;
        cache->rect = r;
        continue;
      }
      Var v;
      HRESULT hr = ReadProperty(n, id, &v.v);
      // A property simwin does not model is cached as empty rather than failing
      // the whole request.
      if (FAILED(hr) && hr != E_NOTIMPL) return hr;
      (*props)[id] = v;
    }
    for (PATTERNID id : settings.patterns) {
      HRESULT hr = MakePattern(n, id, settings.full, props, cache->patterns[id]);
      if (FAILED(hr)) return hr;
    }
  }
  bool children = level == 0 ? (settings.scope & (TreeScope_Children | TreeScope_Descendants)) != 0
                             : (settings.scope & TreeScope_Descendants) != 0;
  if (children) {
    cache->children.emplace();
    if (level < kMaxDepth) {
      std::vector<Node> kids;
      HRESULT hr = ViewChildren(n, settings.filter, level, kids);
      if (FAILED(hr)) return hr;
      path.push_back(&n);
      for (const Node& k : kids) {
        if (OnPath(k, path)) continue;  // a cyclic custom tree: the ancestor is not repeated
        IUIAutomationElement* child = nullptr;
        hr = Build(k, settings, level + 1, path, &child);
        if (FAILED(hr)) {
          path.pop_back();
          return hr;
        }
        cache->children->push_back(Ref<IUIAutomationElement>::Adopt(child));
      }
      path.pop_back();
    }
  }
  *out = new Element(n, settings.full, cache, cache->self ? props : nullptr);
  return S_OK;
}

}  // namespace

IUIAutomationElement* MakeElement(Node node) { return new Element(std::move(node), true, nullptr, nullptr); }

const Node* NodeOf(IUIAutomationElement* element) {
  auto* ours = dynamic_cast<Element*>(element);
  return ours ? &ours->node() : nullptr;
}

}  // namespace simwin::detail::uia

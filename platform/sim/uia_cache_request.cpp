// simwin UI Automation: cache requests, what BuildUpdatedCache is to bring (properties, patterns, scope, filter).
#include <algorithm>
#include <mutex>

#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

class CacheRequest final : public SingleInterfaceObject<IUIAutomationCacheRequest> {
 public:
  CacheRequest() = default;
  explicit CacheRequest(const RequestSettings& settings) : request_(settings) {}

  STDMETHODIMP AddProperty(PROPERTYID id) override {
    return Set("AddProperty", id < kFirstProperty || id > kLastProperty ? E_INVALIDARG : S_OK,
               [id](RequestSettings& r) { AddOnce(r.properties, id); });
  }
  STDMETHODIMP AddPattern(PATTERNID id) override {
    return Set("AddPattern", id < kFirstPattern || id > kLastPattern ? E_INVALIDARG : S_OK,
               [id](RequestSettings& r) { AddOnce(r.patterns, id); });
  }
  STDMETHODIMP Clone(IUIAutomationCacheRequest** out) override {
    return Get("Clone", out, [](const RequestSettings& r) -> IUIAutomationCacheRequest* {
      return new CacheRequest(r);
    });
  }
  STDMETHODIMP get_TreeScope(TreeScope* scope) override {
    return Get("get_TreeScope", scope, [](const RequestSettings& r) { return static_cast<TreeScope>(r.scope); });
  }
  // Caching walks down only; a parent or ancestor scope is refused (inferred).
  STDMETHODIMP put_TreeScope(TreeScope scope) override {
    return Set("put_TreeScope", scope == TreeScope_None || (scope & ~TreeScope_Subtree) ? E_INVALIDARG : S_OK,
               [scope](RequestSettings& r) { r.scope = scope; });
  }
  STDMETHODIMP get_TreeFilter(IUIAutomationCondition** filter) override {
    return Get("get_TreeFilter", filter,
               [](const RequestSettings& r) { return MakeCondition(r.filter); });
  }
  STDMETHODIMP put_TreeFilter(IUIAutomationCondition* filter) override {
    const std::optional<View> view = ViewOf(filter);
    return Set("put_TreeFilter", !filter ? E_POINTER : (!view ? E_INVALIDARG : S_OK),
               [view](RequestSettings& r) { r.filter = *view; });
  }
  STDMETHODIMP get_AutomationElementMode(AutomationElementMode* mode) override {
    return Get("get_AutomationElementMode", mode, [](const RequestSettings& r) {
      return r.full ? AutomationElementMode_Full : AutomationElementMode_None;
    });
  }
  STDMETHODIMP put_AutomationElementMode(AutomationElementMode mode) override {
    const bool known = mode == AutomationElementMode_None || mode == AutomationElementMode_Full;
    return Set("put_AutomationElementMode", known ? S_OK : E_INVALIDARG,
               [mode](RequestSettings& r) { r.full = mode == AutomationElementMode_Full; });
  }

  RequestSettings Snapshot() {
    std::lock_guard<std::mutex> guard(mu_);
    return request_;
  }

 private:
  ~CacheRequest() = default;

  // Every getter: the out parameter cleared, injected faults, then the value read from the settings.
  template <class T, class Read>
  HRESULT Get(const char* method, T* out, Read read) {
    if (!out) return E_POINTER;
    *out = T{};
    HRESULT hr;
    if (LocalCallFails(method, nullptr, hr)) return hr;
    *out = read(Snapshot());
    return S_OK;
  }
  // Every setter: injected faults, then the argument's check (`invalid`, S_OK when it is valid), then the change.
  template <class Write>
  HRESULT Set(const char* method, HRESULT invalid, Write write) {
    HRESULT hr;
    if (LocalCallFails(method, nullptr, hr)) return hr;
    if (FAILED(invalid)) return invalid;
    std::lock_guard<std::mutex> guard(mu_);
    write(request_);
    return S_OK;
  }
  template <class Id>
  static void AddOnce(std::vector<Id>& ids, Id id) {
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
  }

  std::mutex mu_;
  RequestSettings request_;
};

}  // namespace

IUIAutomationCacheRequest* MakeCacheRequest() { return new CacheRequest(); }

std::optional<RequestSettings> SettingsOf(IUIAutomationCacheRequest* request) {
  auto* ours = dynamic_cast<CacheRequest*>(request);
  return ours ? std::optional<RequestSettings>(ours->Snapshot()) : std::nullopt;
}

}  // namespace simwin::detail::uia

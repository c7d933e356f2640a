// simwin UI Automation: conditions (true, false, the control and the content view) and children in a view.
#include "platform/sim/uia_internal.h"

namespace simwin::detail::uia {

namespace {

class Condition final : public SingleInterfaceObject<IUIAutomationCondition> {
 public:
  explicit Condition(View view) : view_(view) {}
  View view() const { return view_; }

 private:
  ~Condition() = default;
  const View view_;
};

HRESULT Matches(const Node& n, View view, bool& match) {
  match = view == View::True;
  if (view == View::True || view == View::False) return S_OK;
  Var v;
  HRESULT hr =
      ReadProperty(n, view == View::Control ? UIA_IsControlElementPropertyId : UIA_IsContentElementPropertyId, &v.v);
  match = SUCCEEDED(hr) && v.v.vt == VT_BOOL && v.v.boolVal;
  return hr;
}

}  // namespace

IUIAutomationCondition* MakeCondition(View view) { return new Condition(view); }

std::optional<View> ViewOf(IUIAutomationCondition* condition) {
  auto* ours = dynamic_cast<Condition*>(condition);
  return ours ? std::optional<View>(ours->view()) : std::nullopt;
}

// Children in a view: an element the view leaves out is replaced by its own
// children in that view [U-MSAA].
HRESULT ViewChildren(const Node& n, View view, int depth, std::vector<Node>& out) {
  std::vector<Node> raw;
  HRESULT hr = RawChildren(n, raw);
  if (FAILED(hr)) return hr;
  for (auto& c : raw) {
    bool match = false;
    hr = Matches(c, view, match);
    if (FAILED(hr)) return hr;
    if (match) {
      out.push_back(std::move(c));
    } else if (depth < kMaxDepth) {
      hr = ViewChildren(c, view, depth + 1, out);
      if (FAILED(hr)) return hr;
    }
  }
  return S_OK;
}

}  // namespace simwin::detail::uia

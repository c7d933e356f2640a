// Reads what the user of a scenario does and what the run must end with.
#include "scenario_parse.h"

namespace iae_tool::scenario_parse {
namespace {

constexpr Named<ElementState> kElementStates[] = {
    {"checked", ElementState::Checked}, {"unchecked", ElementState::Unchecked},
    {"indeterminate", ElementState::Indeterminate}, {"enabled", ElementState::Enabled},
    {"disabled", ElementState::Disabled}, {"visible", ElementState::Visible}, {"hidden", ElementState::Hidden},
};
constexpr Named<PageState> kPageStates[] = {
    {"visible", PageState::Visible}, {"hidden", PageState::Hidden}, {"closed", PageState::Closed}};

}  // namespace

void Parser::CheckApplies(const YAML::Node& at, const ElementRef& ref, ElementState state,
                           const std::string& action) const {
  bool box = false;
  bool radio = false;
  bool threeState = false;
  if (ref.control) {
    const ScenarioControl& control = (*pages_)[ref.page].controls[*ref.control];
    const DWORD type = control.style & BS_TYPEMASK;
    const bool button = control.className == L"Button";
    box = button && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE);
    radio = button && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
    threeState = button && (type == BS_3STATE || type == BS_AUTO3STATE);
  } else if (ref.automation) {
    // A toggle is a check box, a selection item a radio button.
    const ScenarioUiaNode& node = *FindUiaNode(*(*pages_)[ref.page].automation, ref.nodeKey);
    box = node.toggle.has_value();
    radio = node.selected.has_value();
    threeState = node.threeState;
  } else {
    return;  // a custom element's check state is a flag like any other
  }
  if (state == ElementState::Checked && !box && !radio) {
    Fail(at, action + ": '" + ref.text + "' is not a check box or radio button");
  }
  if (state == ElementState::Unchecked && !box && !(radio && action != "uncheck")) {
    Fail(at, action + ": '" + ref.text + (radio ? "' is a radio button: check another one of its group instead"
                                                : "' is not a check box"));
  }
  if (state == ElementState::Indeterminate && !threeState) {
    Fail(at, action + ": '" + ref.text + "' is not a 3state box");
  }
}

void Parser::ParseUser(const YAML::Node& node, Scenario& scenario) {
  if (!node.IsSequence()) Fail(node, "user must be a list of steps");
  for (const YAML::Node& step : node) scenario.user.push_back(ParseStep(step));
}

UserStep Parser::ParseStep(const YAML::Node& node) {
  UserStep step;
  step.place = Place(node);
  if (node.IsScalar() && node.Scalar() == "exit") {
    step.kind = UserStep::Kind::Exit;
    return step;
  }
  const Map map(*this, node, "step",
                {"note", "wait", "wait_for", "click", "check", "uncheck", "enable", "disable", "show", "hide", "close",
                 "exit", "answer"});
  std::size_t actions = 0;
  for (auto it = node.begin(); it != node.end(); ++it) ++actions;
  if (actions != 1) Fail(node, "a step has exactly one action (note, wait, wait_for, click, ...)");
  const std::string action = node.begin()->first.Scalar();
  const YAML::Node value = node.begin()->second;
  using Kind = UserStep::Kind;
  const std::pair<const char*, Kind> elementActions[] = {
      {"click", Kind::Click}, {"check", Kind::Check}, {"uncheck", Kind::Uncheck}, {"enable", Kind::Enable},
      {"disable", Kind::Disable}, {"answer", Kind::Answer}};
  for (const auto& [name, kind] : elementActions) {
    if (action == name) {
      step.kind = kind;
      step.element = Element(value);
      if (kind == Kind::Check) CheckApplies(value, step.element, ElementState::Checked, action);
      if (kind == Kind::Uncheck) CheckApplies(value, step.element, ElementState::Unchecked, action);
      if (kind == Kind::Answer && !step.element.control) Fail(value, "answer needs a button of a page");
      step.milliseconds = 5000;
      return step;
    }
  }
  const std::pair<const char*, Kind> pageActions[] = {{"show", Kind::Show}, {"hide", Kind::Hide}, {"close", Kind::Close}};
  for (const auto& [name, kind] : pageActions) {
    if (action == name) {
      // Page names have no '/': with one, show and hide take a single control.
      if (value.IsScalar() && value.Scalar().find('/') != std::string::npos) {
        if (kind == Kind::Close) Fail(value, "close takes a page; a control is hidden with hide");
        step.kind = kind == Kind::Show ? Kind::ShowElement : Kind::HideElement;
        step.element = Element(value);
        return step;
      }
      step.kind = kind;
      step.page = PageIndex(value);
      return step;
    }
  }
  if (action == "note") {
    step.kind = Kind::Note;
    step.note = Text(value, "note");
  } else if (action == "wait") {
    step.kind = Kind::Wait;
    step.milliseconds = Int(value, "wait", 0, 600000);
  } else if (action == "exit") {
    step.kind = Kind::Exit;
    if (!value.IsNull()) step.exitCode = static_cast<DWORD>(Number(value, "exit code", 0, 0xFFFFFFFFll));
  } else {  // wait_for
    const Map fields(*this, value, "wait_for", {"control", "page", "state", "timeout"});
    if (fields.Has("control") == fields.Has("page")) Fail(value, "wait_for needs either a control or a page");
    step.milliseconds = 5000;
    if (auto timeout = fields.Get("timeout")) step.milliseconds = Int(*timeout, "timeout", 0, 600000);
    if (auto control = fields.Get("control")) {
      step.kind = Kind::WaitForElement;
      step.element = Element(*control);
      step.elementState = Choice(fields.Need("state"), kElementStates, "state");
      CheckApplies(fields.Need("state"), step.element, step.elementState, "wait_for");
    } else {
      step.kind = Kind::WaitForPage;
      step.page = PageIndex(*fields.Get("page"));
      step.pageState = Choice(fields.Need("state"), kPageStates, "page state");
    }
  }
  return step;
}

void Parser::ParseExpect(const YAML::Node& node, Scenario& scenario) {
  const Map map(*this, node, "expect",
                {"controls", "pages", "results", "report_items", "processed_items", "processed_total",
                 "block_pattern_added", "message_boxes", "exit_code"});
  Expectations& expect = scenario.expect;
  // These mappings take names as keys, so Map's key check does not apply.
  auto each = [&](const YAML::Node& mapping, const std::string& what, auto&& handle) {
    if (!mapping.IsMap()) Fail(mapping, what + " must be a mapping");
    std::set<std::string> seen;
    for (auto it = mapping.begin(); it != mapping.end(); ++it) {
      if (!it->first.IsScalar()) Fail(it->first, "a key of " + what + " must be plain text");
      if (!seen.insert(it->first.Scalar()).second) {
        Fail(it->first, "'" + it->first.Scalar() + "' appears twice in " + what);
      }
      handle(it->first, it->second);
    }
  };
  if (auto controls = map.Get("controls")) {
    each(*controls, "expect controls", [&](const YAML::Node& key, const YAML::Node& value) {
      Expectations::Element element{Element(key), Choice(value, kElementStates, "state"), Place(key)};
      CheckApplies(value, element.ref, element.state, "expect");
      expect.elements.push_back(std::move(element));
    });
  }
  if (auto pages = map.Get("pages")) {
    each(*pages, "expect pages", [&](const YAML::Node& key, const YAML::Node& value) {
      expect.pages.push_back({PageIndex(key), Choice(value, kPageStates, "page state"), Place(key)});
    });
  }
  if (auto results = map.Get("results")) {
    each(*results, "expect results", [&](const YAML::Node& key, const YAML::Node& value) {
      const int id = Int(key, "pattern id");
      if (value.IsScalar() && value.Scalar() == "none") {
        expect.results[id] = std::nullopt;
      } else {
        expect.results[id] = Int(value, "result code");
      }
    });
  }
  if (auto reports = map.Get("report_items")) {
    if (!reports->IsSequence()) Fail(*reports, "report_items must be a list");
    for (const YAML::Node& report : *reports) {
      const Map fields(*this, report, "report_items entry",
                       {"code", "pattern", "generic", "element_type", "user_action", "desired_state",
                        "control_path_contains", "count"});
      ReportCountExpectation count;
      count.place = Place(report);
      if (auto code = fields.Get("code")) count.code = Int(*code, "code");
      if (auto pattern = fields.Get("pattern")) count.patternId = Int(*pattern, "pattern");
      if (auto generic = fields.Get("generic")) count.genericPattern = Int(*generic, "generic", 0, 1);
      if (auto type = fields.Get("element_type")) count.elementType = Int(*type, "element_type");
      if (auto action = fields.Get("user_action")) count.userAction = Text(*action, "user_action");
      if (auto desired = fields.Get("desired_state")) count.desiredState = Text(*desired, "desired_state");
      if (auto path = fields.Get("control_path_contains")) count.controlPathContains = Text(*path, "control_path_contains");
      count.count = Int(fields.Need("count"), "count", 0);
      expect.reportCounts.push_back(std::move(count));
    }
  }
  if (auto processed = map.Get("processed_items")) {
    each(*processed, "expect processed_items", [&](const YAML::Node& key, const YAML::Node& value) {
      expect.processed.push_back({PageIndex(key), Int(value, "processed count"), Place(key)});
    });
  }
  if (auto total = map.Get("processed_total")) {
    if (total->IsScalar() && total->Scalar() == "none") {
      expect.processedTotal = std::optional<int>();
    } else {
      expect.processedTotal = std::optional<int>(Int(*total, "processed_total"));
    }
  }
  if (auto blocks = map.Get("block_pattern_added")) expect.blockPatternAdded = Int(*blocks, "block_pattern_added", 0);
  if (auto boxes = map.Get("message_boxes")) {
    each(*boxes, "expect message_boxes", [&](const YAML::Node& key, const YAML::Node& value) {
      Expectations::Element button{Element(key), ElementState::Visible, Place(key)};
      if (!button.ref.control) Fail(key, "message_boxes names buttons of pages");
      expect.messageBoxes.emplace_back(std::move(button), Int(value, "message box count", 0));
    });
  }
  if (auto code = map.Get("exit_code")) {
    expect.exitCode = {static_cast<DWORD>(Number(*code, "exit_code", 0, 0xFFFFFFFFll)), Place(*code)};
  }
}

}  // namespace iae_tool::scenario_parse

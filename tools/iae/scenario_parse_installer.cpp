// Reads the installer of a scenario: its pages, their controls and their accessible and UI Automation trees, and
// what the installer does when a button is pushed.
#include <cstdio>

#include "scenario_parse.h"

namespace iae_tool {
namespace scenario_parse {
namespace {

constexpr Named<DWORD> kButtonStyles[] = {
    {"pushbutton", BS_PUSHBUTTON},   {"defpushbutton", BS_DEFPUSHBUTTON},     {"checkbox", BS_CHECKBOX},
    {"autocheckbox", BS_AUTOCHECKBOX}, {"radiobutton", BS_RADIOBUTTON},       {"3state", BS_3STATE},
    {"auto3state", BS_AUTO3STATE},   {"groupbox", BS_GROUPBOX},               {"autoradiobutton", BS_AUTORADIOBUTTON},
};
// Flags that combine with a type: "autoradiobutton | group | tabstop".
constexpr Named<DWORD> kStyleFlags[] = {
    {"group", WS_GROUP}, {"tabstop", WS_TABSTOP}, {"lefttext", BS_LEFTTEXT}, {"notify", BS_NOTIFY},
    {"multiline", ES_MULTILINE}, {"password", ES_PASSWORD}, {"readonly", ES_READONLY},
};

constexpr Named<LONG> kRoles[] = {
    {"titlebar", ROLE_SYSTEM_TITLEBAR},   {"window", ROLE_SYSTEM_WINDOW},
    {"client", ROLE_SYSTEM_CLIENT},       {"document", ROLE_SYSTEM_DOCUMENT},
    {"pane", ROLE_SYSTEM_PANE},           {"dialog", ROLE_SYSTEM_DIALOG},
    {"grouping", ROLE_SYSTEM_GROUPING},   {"separator", ROLE_SYSTEM_SEPARATOR},
    {"toolbar", ROLE_SYSTEM_TOOLBAR},     {"statusbar", ROLE_SYSTEM_STATUSBAR},
    {"table", ROLE_SYSTEM_TABLE},         {"cell", ROLE_SYSTEM_CELL},
    {"link", ROLE_SYSTEM_LINK},           {"list", ROLE_SYSTEM_LIST},
    {"listitem", ROLE_SYSTEM_LISTITEM},   {"outline", ROLE_SYSTEM_OUTLINE},
    {"outlineitem", ROLE_SYSTEM_OUTLINEITEM}, {"pagetab", ROLE_SYSTEM_PAGETAB},
    {"propertypage", ROLE_SYSTEM_PROPERTYPAGE}, {"graphic", ROLE_SYSTEM_GRAPHIC},
    {"statictext", ROLE_SYSTEM_STATICTEXT}, {"text", ROLE_SYSTEM_TEXT},
    {"pushbutton", ROLE_SYSTEM_PUSHBUTTON}, {"checkbutton", ROLE_SYSTEM_CHECKBUTTON},
    {"radiobutton", ROLE_SYSTEM_RADIOBUTTON}, {"combobox", ROLE_SYSTEM_COMBOBOX},
    {"progressbar", ROLE_SYSTEM_PROGRESSBAR}, {"pagetablist", ROLE_SYSTEM_PAGETABLIST},
    {"splitbutton", ROLE_SYSTEM_SPLITBUTTON},
};

// UI Automation control types by the names of their ids (UIA_ButtonControlTypeId: "button").
constexpr Named<CONTROLTYPEID> kControlTypes[] = {
    {"button", UIA_ButtonControlTypeId},         {"calendar", UIA_CalendarControlTypeId},
    {"checkbox", UIA_CheckBoxControlTypeId},     {"combobox", UIA_ComboBoxControlTypeId},
    {"edit", UIA_EditControlTypeId},             {"hyperlink", UIA_HyperlinkControlTypeId},
    {"image", UIA_ImageControlTypeId},           {"listitem", UIA_ListItemControlTypeId},
    {"list", UIA_ListControlTypeId},             {"menu", UIA_MenuControlTypeId},
    {"menubar", UIA_MenuBarControlTypeId},       {"menuitem", UIA_MenuItemControlTypeId},
    {"progressbar", UIA_ProgressBarControlTypeId}, {"radiobutton", UIA_RadioButtonControlTypeId},
    {"scrollbar", UIA_ScrollBarControlTypeId},   {"slider", UIA_SliderControlTypeId},
    {"spinner", UIA_SpinnerControlTypeId},       {"statusbar", UIA_StatusBarControlTypeId},
    {"tab", UIA_TabControlTypeId},               {"tabitem", UIA_TabItemControlTypeId},
    {"text", UIA_TextControlTypeId},             {"toolbar", UIA_ToolBarControlTypeId},
    {"tooltip", UIA_ToolTipControlTypeId},       {"tree", UIA_TreeControlTypeId},
    {"treeitem", UIA_TreeItemControlTypeId},     {"custom", UIA_CustomControlTypeId},
    {"group", UIA_GroupControlTypeId},           {"thumb", UIA_ThumbControlTypeId},
    {"datagrid", UIA_DataGridControlTypeId},     {"dataitem", UIA_DataItemControlTypeId},
    {"document", UIA_DocumentControlTypeId},     {"splitbutton", UIA_SplitButtonControlTypeId},
    {"window", UIA_WindowControlTypeId},         {"pane", UIA_PaneControlTypeId},
    {"header", UIA_HeaderControlTypeId},         {"headeritem", UIA_HeaderItemControlTypeId},
    {"table", UIA_TableControlTypeId},           {"titlebar", UIA_TitleBarControlTypeId},
    {"separator", UIA_SeparatorControlTypeId},   {"semanticzoom", UIA_SemanticZoomControlTypeId},
    {"appbar", UIA_AppBarControlTypeId},
};
constexpr Named<ToggleState> kToggleStates[] = {
    {"on", ToggleState_On}, {"off", ToggleState_Off}, {"indeterminate", ToggleState_Indeterminate}};

constexpr Named<LONG> kStateFlags[] = {
    {"normal", STATE_SYSTEM_NORMAL},         {"unavailable", STATE_SYSTEM_UNAVAILABLE},
    {"selected", STATE_SYSTEM_SELECTED},     {"focused", STATE_SYSTEM_FOCUSED},
    {"pressed", STATE_SYSTEM_PRESSED},       {"checked", STATE_SYSTEM_CHECKED},
    {"mixed", STATE_SYSTEM_MIXED},           {"indeterminate", STATE_SYSTEM_INDETERMINATE},
    {"readonly", STATE_SYSTEM_READONLY},     {"hottracked", STATE_SYSTEM_HOTTRACKED},
    {"default", STATE_SYSTEM_DEFAULT},       {"expanded", STATE_SYSTEM_EXPANDED},
    {"collapsed", STATE_SYSTEM_COLLAPSED},   {"busy", STATE_SYSTEM_BUSY},
    {"invisible", STATE_SYSTEM_INVISIBLE},   {"offscreen", STATE_SYSTEM_OFFSCREEN},
    {"focusable", STATE_SYSTEM_FOCUSABLE},   {"selectable", STATE_SYSTEM_SELECTABLE},
    {"linked", STATE_SYSTEM_LINKED},         {"protected", STATE_SYSTEM_PROTECTED},
    {"haspopup", STATE_SYSTEM_HASPOPUP},
};
constexpr Named<UINT> kInitialChecks[] = {
    {"unchecked", BST_UNCHECKED}, {"checked", BST_CHECKED}, {"indeterminate", BST_INDETERMINATE}};

}  // namespace
}  // namespace scenario_parse

using scenario_parse::kControlTypes;
using scenario_parse::kRoles;
using scenario_parse::kStateFlags;

std::string RoleName(LONG role) {
  for (const auto& entry : kRoles) {
    if (entry.value == role) return entry.name;
  }
  return std::to_string(role);
}

std::string ControlTypeName(CONTROLTYPEID type) {
  for (const auto& entry : kControlTypes) {
    if (entry.value == type) return entry.name;
  }
  return type == 0 ? "custom" : std::to_string(type);
}

std::string StateFlagsText(LONG state) {
  std::string out;
  LONG rest = state;
  for (const auto& entry : kStateFlags) {
    // "indeterminate" is another name of "mixed".
    if (entry.value == 0 || (rest & entry.value) != entry.value || std::string_view(entry.name) == "indeterminate") continue;
    out += (out.empty() ? "" : " ") + std::string(entry.name);
    rest &= ~entry.value;
  }
  if (rest != 0) out += (out.empty() ? "0x" : " 0x") + [&] {
      char hex[16];
      std::snprintf(hex, sizeof(hex), "%X", static_cast<unsigned int>(rest));
      return std::string(hex);
    }();
  return out.empty() ? "normal" : out;
}

const ScenarioUiaNode* FindUiaNode(const ScenarioUiaNode& root, const std::wstring& key) {
  if (root.key == key) return &root;
  for (const ScenarioUiaNode& child : root.children) {
    if (const ScenarioUiaNode* found = FindUiaNode(child, key)) return found;
  }
  return nullptr;
}

namespace scenario_parse {

void Parser::ParseInstaller(const YAML::Node& node, Scenario& scenario) {
  const Map map(*this, node, "installer", {"process", "pages", "component"});
  if (auto component = map.Get("component")) {
    if (component->IsMap()) {
      const Map fields(*this, *component, "component", {"start_after"});
      scenario.installer.componentStartAfter = Int(fields.Need("start_after"), "start_after", 0, 600000);
    } else if (Bool(*component, "component")) {
      scenario.installer.componentStartAfter = 0;
    }
  }
  if (auto image = map.Get("process")) {
    scenario.installer.image = WideText(*image, "process");
    if (scenario.installer.image.empty()) Fail(*image, "process needs an image name, e.g. setup.exe");
  }
  const YAML::Node pages = map.Need("pages");
  if (!pages.IsSequence() || pages.size() == 0) Fail(pages, "pages must be a list of at least one page");
  pages_ = &scenario.installer.pages;
  // Names first: a button may show a page listed after its own.
  for (const YAML::Node& page : pages) {
    ScenarioPage entry;
    if (page.IsMap() && page["name"] && page["name"].IsScalar()) entry.name = page["name"].Scalar();
    pages_->push_back(std::move(entry));
  }
  for (std::size_t i = 0; i < pages.size(); ++i) (*pages_)[i] = ParsePage(pages[i], i);
  // Only the controls change hands in a replaced window: a tree attached to it would stay behind.
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const ScenarioPage& page = (*pages_)[i];
    for (std::size_t c = 0; c < page.controls.size(); ++c) {
      const std::optional<PushBehaviour>& push = page.controls[c].onPush;
      if (!push || push->kind != PushBehaviour::Kind::ShowPage || push->leave != PushBehaviour::Leave::Replace) continue;
      const YAML::Node at = pages[i]["controls"][c]["on_push"];
      const ScenarioPage& next = (*pages_)[push->page];
      if (push->page == i) Fail(at, "page '" + page.name + "' cannot replace itself");
      if (page.accessible || page.automation || next.accessible || next.automation) {
        Fail(at, "current: replace needs pages without accessible or automation trees ('" + page.name + "', '" +
                     next.name + "')");
      }
    }
  }
}

ScenarioPage Parser::ParsePage(const YAML::Node& node, std::size_t index) {
  const Map map(*this, node, "page", {"name", "title", "rect", "visible", "controls", "accessible", "automation"});
  ScenarioPage page;
  page.place = Place(node);
  page.name = Text(map.Need("name"), "page name");
  if (page.name.empty() || page.name.find('/') != std::string::npos) {
    Fail(*map.Get("name"), "page name must be non-empty and without '/'");
  }
  for (std::size_t i = 0; i < index; ++i) {
    if ((*pages_)[i].name == page.name) Fail(*map.Get("name"), "a page named '" + page.name + "' already exists");
  }
  if (auto title = map.Get("title")) page.title = WideText(*title, "title");
  if (auto rect = map.Get("rect")) page.rect = Rect(*rect, "rect");
  if (auto visible = map.Get("visible")) page.visible = Bool(*visible, "visible");
  if (auto controls = map.Get("controls")) {
    if (!controls->IsSequence()) Fail(*controls, "controls must be a list");
    for (const YAML::Node& control : *controls) {
      ScenarioControl entry = ParseControl(control, page);
      page.controls.push_back(std::move(entry));
    }
  }
  std::set<std::wstring> keys;
  if (auto accessible = map.Get("accessible")) page.accessible = ParseAccNode(*accessible, keys);
  if (auto automation = map.Get("automation")) page.automation = ParseUiaNode(*automation, keys);
  return page;
}

ScenarioControl Parser::ParseControl(const YAML::Node& node, const ScenarioPage& page) {
  const Map map(*this, node, "control",
                {"name", "class", "toolkit_class", "style", "text", "id", "rect", "state", "enabled", "visible", "on_push"});
  ScenarioControl control;
  control.id = Int(map.Need("id"), "id", 0, 0xFFFF);
  for (const ScenarioControl& other : page.controls) {
    if (other.id == control.id) {
      Fail(*map.Get("id"), "page '" + page.name + "' already has a control with id " + std::to_string(control.id));
    }
  }
  if (auto name = map.Get("name")) {
    control.name = Text(*name, "control name");
    if (control.name.empty() || IsDigits(control.name) || control.name.find('/') != std::string::npos) {
      Fail(*name, "control name must be non-empty, not a number and without '/'");
    }
    for (const ScenarioControl& other : page.controls) {
      if (other.name == control.name) Fail(*name, "page '" + page.name + "' already has a control named '" + control.name + "'");
    }
  }
  if (auto className = map.Get("class")) {
    const std::string text = Text(*className, "class");
    if (text != "Button" && text != "Static" && text != "Edit") {
      Fail(*className, "unknown class '" + text + "' (one of Button, Static, Edit)");
    }
    control.className = Utf8ToWide(text);
  }
  if (auto toolkit = map.Get("toolkit_class")) control.toolkitClass = Utf8ToWide(Text(*toolkit, "toolkit_class"));
  const bool button = control.className == L"Button";
  control.style = button ? BS_PUSHBUTTON : 0;
  if (auto style = map.Get("style")) {
    if (button) {
      control.style = Flags(*style, kButtonStyles, kStyleFlags, std::size(kStyleFlags), "style");
    } else {
      control.style = Flags(*style, kStyleFlags, nullptr, 0, "style");
    }
  }
  const DWORD type = control.style & BS_TYPEMASK;
  const bool checkable = button && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                                    type == BS_AUTORADIOBUTTON || type == BS_3STATE || type == BS_AUTO3STATE);
  if (auto text = map.Get("text")) control.text = WideText(*text, "text");
  if (auto rect = map.Get("rect")) control.rect = Rect(*rect, "rect");
  if (auto state = map.Get("state")) {
    if (!checkable) Fail(*state, "state applies to check boxes and radio buttons only");
    control.check = Choice(*state, kInitialChecks, "state");
    if (control.check == BST_INDETERMINATE && type != BS_3STATE && type != BS_AUTO3STATE) {
      Fail(*state, "only a 3state or auto3state box can be indeterminate");
    }
  }
  if (auto enabled = map.Get("enabled")) control.enabled = Bool(*enabled, "enabled");
  if (auto visible = map.Get("visible")) control.visible = Bool(*visible, "visible");
  if (auto push = map.Get("on_push")) {
    if (!button) Fail(*push, "on_push applies to buttons only");
    control.onPush = ParsePush(*push, true);
  }
  return control;
}

ScenarioAccNode Parser::ParseAccNode(const YAML::Node& node, std::set<std::wstring>& keys) {
  const Map map(*this, node, "accessible element",
                {"key", "role", "name", "value", "description", "state", "default_action", "location", "simple",
                 "toggle", "on_default_action", "children"});
  ScenarioAccNode entry;
  if (auto role = map.Get("role")) {
    const std::string text = Text(*role, "role");
    if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
      entry.role = Int(*role, "role", 1, 0x7FFF);
    } else {
      entry.role = Choice(*role, kRoles, "role");
    }
  }
  if (auto name = map.Get("name")) entry.name = WideText(*name, "name");
  entry.key = entry.name;
  if (auto key = map.Get("key")) entry.key = WideText(*key, "key");
  AddKey(node, entry.key, keys);
  if (auto value = map.Get("value")) entry.value = WideText(*value, "value");
  if (auto description = map.Get("description")) entry.description = WideText(*description, "description");
  if (auto state = map.Get("state")) entry.state = Flags(*state, kStateFlags, nullptr, 0, "state flag");
  if (auto action = map.Get("default_action")) entry.defaultAction = WideText(*action, "default_action");
  if (auto location = map.Get("location")) entry.location = Rect(*location, "location");
  if (auto simple = map.Get("simple")) entry.simple = Bool(*simple, "simple");
  if (auto toggle = map.Get("toggle")) entry.toggleOnDefaultAction = Bool(*toggle, "toggle");
  if (auto push = map.Get("on_default_action")) entry.onPush = ParsePush(*push, false);
  if (auto children = map.Get("children")) {
    if (!children->IsSequence()) Fail(*children, "children must be a list");
    if (entry.simple && children->size() > 0) Fail(*children, "a simple element has no children");
    for (const YAML::Node& child : *children) entry.children.push_back(ParseAccNode(child, keys));
  }
  return entry;
}

ScenarioUiaNode Parser::ParseUiaNode(const YAML::Node& node, std::set<std::wstring>& keys) {
  const Map map(*this, node, "automation element",
                {"key", "type", "name", "automation_id", "location", "enabled", "offscreen", "toggle", "three_state",
                 "selected", "invoke", "on_invoke", "children"});
  ScenarioUiaNode entry;
  if (auto type = map.Get("type")) {
    const std::string text = Text(*type, "type");
    entry.controlType = IsDigits(text) ? Int(*type, "type", UIA_ButtonControlTypeId, 0xFFFF)
                                       : Choice(*type, kControlTypes, "control type");
  }
  if (auto name = map.Get("name")) entry.name = WideText(*name, "name");
  if (auto id = map.Get("automation_id")) entry.automationId = WideText(*id, "automation_id");
  entry.key = !entry.automationId.empty() ? entry.automationId : entry.name;
  if (auto key = map.Get("key")) entry.key = WideText(*key, "key");
  AddKey(node, entry.key, keys);
  if (auto location = map.Get("location")) entry.location = Rect(*location, "location");
  if (auto enabled = map.Get("enabled")) entry.enabled = Bool(*enabled, "enabled");
  if (auto offscreen = map.Get("offscreen")) entry.offscreen = Bool(*offscreen, "offscreen");
  if (auto toggle = map.Get("toggle")) entry.toggle = Choice(*toggle, kToggleStates, "toggle state");
  if (auto threeState = map.Get("three_state")) {
    entry.threeState = Bool(*threeState, "three_state");
    if (!entry.toggle) Fail(*threeState, "three_state goes with toggle");
  }
  if (entry.toggle == ToggleState_Indeterminate && !entry.threeState) {
    Fail(*map.Get("toggle"), "only a three_state element can be indeterminate");
  }
  if (auto selected = map.Get("selected")) {
    entry.selected = Bool(*selected, "selected");
    if (entry.toggle) Fail(*selected, "an element is a toggle or a selection item, not both");
  }
  if (auto invoke = map.Get("invoke")) entry.invoke = Bool(*invoke, "invoke");
  if (auto push = map.Get("on_invoke")) {
    entry.onInvoke = ParsePush(*push, false);
    entry.invoke = true;
  }
  if (auto children = map.Get("children")) {
    if (!children->IsSequence()) Fail(*children, "children must be a list");
    for (const YAML::Node& child : *children) entry.children.push_back(ParseUiaNode(child, keys));
  }
  return entry;
}

PushBehaviour Parser::ParsePush(const YAML::Node& node, bool button) {
  PushBehaviour push;
  if (node.IsScalar()) {
    const std::string& text = node.Scalar();
    if (text == "close") {
      push.kind = PushBehaviour::Kind::ClosePage;
    } else if (text == "exit") {
      push.kind = PushBehaviour::Kind::Exit;
    } else {
      Fail(node, "unknown push behaviour '" + text + "' (close, exit, {exit: CODE} or {show: PAGE})");
    }
    return push;
  }
  const Map map(*this, node, "push behaviour", {"show", "current", "exit"});
  if (map.Has("show") == map.Has("exit")) Fail(node, "push behaviour needs either show or exit");
  if (auto exit = map.Get("exit")) {
    push.kind = PushBehaviour::Kind::Exit;
    push.exitCode = static_cast<DWORD>(Number(*exit, "exit code", 0, 0xFFFFFFFFll));
    if (map.Has("current")) Fail(*map.Get("current"), "current goes with show only");
    return push;
  }
  push.kind = PushBehaviour::Kind::ShowPage;
  push.page = PageIndex(*map.Get("show"));
  if (auto current = map.Get("current")) {
    constexpr Named<PushBehaviour::Leave> kLeaves[] = {
        {"destroy", PushBehaviour::Leave::Destroy}, {"hide", PushBehaviour::Leave::Hide}, {"keep", PushBehaviour::Leave::Keep},
        {"replace", PushBehaviour::Leave::Replace}};
    push.leave = Choice(*current, kLeaves, "current");
    if (push.leave == PushBehaviour::Leave::Replace && !button) {
      Fail(*current, "current: replace is for buttons: an element of a tree has no controls to give way");
    }
  }
  return push;
}
}  // namespace scenario_parse
}  // namespace iae_tool

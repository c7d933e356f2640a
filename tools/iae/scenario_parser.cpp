// Reads a scenario file. Every mistake stops the load with "file:line:column: what"; keys
// are checked against what each mapping may hold, so a misspelt key is an error rather
// than a setting silently left at its default.
#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <type_traits>
#include <utility>

#include "common/text.h"
#include "file_text.h"
#include "scenario.h"

namespace iae_tool {

const char* ElementStateName(ElementState state) {
  switch (state) {
    case ElementState::Checked: return "checked";
    case ElementState::Unchecked: return "unchecked";
    case ElementState::Indeterminate: return "indeterminate";
    case ElementState::Enabled: return "enabled";
    case ElementState::Disabled: return "disabled";
    case ElementState::Visible: return "visible";
    case ElementState::Hidden: return "hidden";
  }
  return "?";
}

const char* PageStateName(PageState state) {
  switch (state) {
    case PageState::Visible: return "visible";
    case PageState::Hidden: return "hidden";
    case PageState::Closed: return "closed";
  }
  return "?";
}

namespace {

using installation_assistant::Utf8ToWide;

template <typename T>
struct Named {
  const char* name;
  T value;
};

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

constexpr Named<ElementState> kElementStates[] = {
    {"checked", ElementState::Checked}, {"unchecked", ElementState::Unchecked},
    {"indeterminate", ElementState::Indeterminate}, {"enabled", ElementState::Enabled},
    {"disabled", ElementState::Disabled}, {"visible", ElementState::Visible}, {"hidden", ElementState::Hidden},
};
constexpr Named<PageState> kPageStates[] = {
    {"visible", PageState::Visible}, {"hidden", PageState::Hidden}, {"closed", PageState::Closed}};
constexpr Named<UINT> kInitialChecks[] = {
    {"unchecked", BST_UNCHECKED}, {"checked", BST_CHECKED}, {"indeterminate", BST_INDETERMINATE}};
constexpr Named<unsigned int> kThresholds[] = {
    {"all", 0}, {"debug", 1}, {"info", 2}, {"warning", 3}, {"error", 4}, {"critical", 5}, {"off", 6}};

}  // namespace

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

namespace {

template <typename T, std::size_t N>
std::string NameList(const Named<T> (&table)[N]) {
  std::string out;
  for (const auto& entry : table) {
    if (!out.empty()) out += ", ";
    out += entry.name;
  }
  return out;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Article(std::string_view word) {
  const bool vowel = !word.empty() && std::string_view("aeiou").find(word[0]) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(word);
}

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

const ScenarioUiaNode* FindUiaNode(const ScenarioUiaNode& root, const std::wstring& key) {
  if (root.key == key) return &root;
  for (const ScenarioUiaNode& child : root.children) {
    if (const ScenarioUiaNode* found = FindUiaNode(child, key)) return found;
  }
  return nullptr;
}

namespace {

class Parser {
 public:
  explicit Parser(std::string path) : path_(std::move(path)) {}

  Scenario Parse(const std::string& text);

 private:
  // A mapping whose keys are checked against the ones it may hold.
  class Map {
   public:
    Map(const Parser& parser, const YAML::Node& node, std::string what, std::initializer_list<const char*> keys)
        : parser_(parser), node_(node), what_(std::move(what)) {
      if (!node.IsMap()) parser.Fail(node, what_ + " must be a mapping of keys to values");
      std::set<std::string> seen;
      for (auto it = node.begin(); it != node.end(); ++it) {
        const YAML::Node keyNode = it->first;  // a copy: the iterator hands out a temporary
        if (!keyNode.IsScalar()) parser.Fail(keyNode, "a key of " + what_ + " must be plain text");
        const std::string key = keyNode.Scalar();
        if (std::find_if(keys.begin(), keys.end(), [&](const char* known) { return key == known; }) == keys.end()) {
          std::string message = "unknown key '" + key + "' in " + what_;
          const char* closest = nullptr;
          std::size_t best = 3;
          for (const char* known : keys) {
            const std::size_t distance = EditDistance(key, known);
            if (distance < best) {
              best = distance;
              closest = known;
            }
          }
          if (closest != nullptr) {
            message += " (did you mean '" + std::string(closest) + "'?)";
          } else {
            std::string list;
            for (const char* known : keys) list += (list.empty() ? "" : ", ") + std::string(known);
            message += " (known: " + list + ")";
          }
          parser.Fail(keyNode, message);
        }
        if (!seen.insert(key).second) parser.Fail(keyNode, "key '" + key + "' appears twice in " + what_);
        entries_.emplace_back(key, it->second);
      }
    }

    std::optional<YAML::Node> Get(std::string_view key) const {
      for (const auto& [name, value] : entries_) {
        if (name == key) return value;
      }
      return std::nullopt;
    }
    bool Has(std::string_view key) const { return Get(key).has_value(); }
    YAML::Node Need(std::string_view key) const {
      std::optional<YAML::Node> value = Get(key);
      if (!value) parser_.Fail(node_, what_ + " needs " + Article(key));
      return *value;
    }
    const YAML::Node& Node() const { return node_; }
    const std::string& What() const { return what_; }

   private:
    const Parser& parser_;
    YAML::Node node_;
    std::string what_;
    std::vector<std::pair<std::string, YAML::Node>> entries_;
  };

  [[noreturn]] void Fail(const YAML::Mark& mark, const std::string& what) const {
    std::ostringstream message;
    message << path_;
    if (!mark.is_null()) message << ":" << mark.line + 1 << ":" << mark.column + 1;
    message << ": " << what;
    throw ScenarioError(message.str());
  }
  [[noreturn]] void Fail(const YAML::Node& at, const std::string& what) const { Fail(at.Mark(), what); }

  static SourcePlace Place(const YAML::Node& node) {
    const YAML::Mark mark = node.Mark();
    if (mark.is_null()) return {};
    return {mark.line + 1, mark.column + 1};
  }

  std::string Text(const YAML::Node& node, const std::string& what) const {
    if (node.IsNull()) return std::string();
    if (!node.IsScalar()) Fail(node, what + " must be text");
    return node.Scalar();
  }
  std::wstring WideText(const YAML::Node& node, const std::string& what) const {
    return Utf8ToWide(Text(node, what));
  }

  long long Number(const YAML::Node& node, const std::string& what, long long min, long long max) const {
    if (!node.IsScalar()) Fail(node, what + " must be a whole number");
    const std::string& text = node.Scalar();
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
      negative = digits[0] == '-';
      digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
      base = 16;
      digits.remove_prefix(2);
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
      Fail(node, what + " must be a whole number, not '" + text + "'");
    }
    if (negative) value = -value;
    if (value < min || value > max) {
      Fail(node, what + " must be between " + std::to_string(min) + " and " + std::to_string(max) + ", not " + text);
    }
    return value;
  }
  int Int(const YAML::Node& node, const std::string& what, long long min = INT32_MIN,
          long long max = INT32_MAX) const {
    return static_cast<int>(Number(node, what, min, max));
  }

  bool Bool(const YAML::Node& node, const std::string& what) const {
    const std::string text = node.IsScalar() ? node.Scalar() : std::string();
    if (text == "true" || text == "yes") return true;
    if (text == "false" || text == "no") return false;
    Fail(node, what + " must be true or false");
  }

  template <typename T, std::size_t N>
  T Choice(const YAML::Node& node, const Named<T> (&table)[N], const std::string& what) const {
    const std::string text = node.IsScalar() ? node.Scalar() : std::string();
    for (const auto& entry : table) {
      if (text == entry.name) return entry.value;
    }
    Fail(node, (node.IsScalar() ? "unknown " + what + " '" + text + "'" : what + " must be a name") + " (one of " +
                   NameList(table) + ")");
  }

  RECT Rect(const YAML::Node& node, const std::string& what) const {
    if (!node.IsSequence() || node.size() != 4) Fail(node, what + " must be [left, top, right, bottom]");
    RECT rect{Int(node[0], what + " left"), Int(node[1], what + " top"), Int(node[2], what + " right"),
              Int(node[3], what + " bottom")};
    if (rect.right < rect.left || rect.bottom < rect.top) Fail(node, what + " has its right or bottom before its left or top");
    return rect;
  }

  // Names from the table or numbers, separated by '|' or spaces (or given as a list); combined with OR.
  template <typename T, std::size_t N>
  T Flags(const YAML::Node& node, const Named<T> (&table)[N], std::type_identity_t<const Named<T>*> extra, std::size_t extraCount,
          const std::string& what) const {
    std::vector<std::string> parts;
    if (node.IsSequence()) {
      for (const YAML::Node& item : node) parts.push_back(Text(item, what));
    } else {
      std::string text = Text(node, what);
      std::replace(text.begin(), text.end(), '|', ' ');
      std::istringstream words(text);
      for (std::string word; words >> word;) parts.push_back(word);
      if (parts.empty()) Fail(node, what + " must name at least one value");
    }
    T value = 0;
    for (const std::string& part : parts) {
      bool found = false;
      for (const auto& entry : table) {
        if (part == entry.name) {
          value |= entry.value;
          found = true;
        }
      }
      for (std::size_t i = 0; i < extraCount && !found; ++i) {
        if (part == extra[i].name) {
          value |= extra[i].value;
          found = true;
        }
      }
      if (found) continue;
      const bool hex = part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X');
      unsigned long long number = 0;
      const char* begin = part.data() + (hex ? 2 : 0);
      const auto [end, error] = std::from_chars(begin, part.data() + part.size(), number, hex ? 16 : 10);
      if (part.empty() || error != std::errc() || end != part.data() + part.size() || number > 0xFFFFFFFFull) {
        std::string names = NameList(table);
        for (std::size_t i = 0; i < extraCount; ++i) names += std::string(", ") + extra[i].name;
        Fail(node, "unknown " + what + " '" + part + "' (a number or one of " + names + ")");
      }
      value |= static_cast<T>(number);
    }
    return value;
  }

  void ParseInstaller(const YAML::Node& node, Scenario& scenario);
  ScenarioPage ParsePage(const YAML::Node& node, std::size_t index);
  ScenarioControl ParseControl(const YAML::Node& node, const ScenarioPage& page);
  ScenarioAccNode ParseAccNode(const YAML::Node& node, std::set<std::wstring>& keys);
  ScenarioUiaNode ParseUiaNode(const YAML::Node& node, std::set<std::wstring>& keys);
  // A key shared by two elements of one page's trees is a mistake.
  void AddKey(const YAML::Node& node, const std::wstring& key, std::set<std::wstring>& keys) const {
    if (key.empty() || keys.insert(key).second) return;
    Fail(node, "two accessible elements of one page share the key '" + installation_assistant::WideToUtf8(key) +
                   "' (give one a key of its own)");
  }
  PushBehaviour ParsePush(const YAML::Node& node);
  std::size_t PageIndex(const YAML::Node& node) const;
  ElementRef Element(const YAML::Node& node) const;
  // A check state asked of a control that has none is a mistake in the scenario.
  void CheckApplies(const YAML::Node& at, const ElementRef& ref, ElementState state, const std::string& action) const {
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
  void ParseHost(const YAML::Node& node, Scenario& scenario);
  void ParseUser(const YAML::Node& node, Scenario& scenario);
  UserStep ParseStep(const YAML::Node& node);
  void ParseExpect(const YAML::Node& node, Scenario& scenario);
  std::vector<unsigned char> ReadRelative(const YAML::Node& node, const std::string& what) const;

  std::string path_;
  std::vector<ScenarioPage>* pages_ = nullptr;
};

Scenario Parser::Parse(const std::string& text) {
  YAML::Node root;
  try {
    root = YAML::Load(text);
  } catch (const YAML::Exception& error) {
    Fail(error.mark, error.msg);
  }
  Scenario scenario;
  scenario.file = path_;
  if (!root.IsDefined() || root.IsNull()) Fail(YAML::Mark::null_mark(), "the file holds no scenario");
  const Map top(*this, root, "the scenario", {"description", "timeout", "installer", "host", "user", "expect"});
  if (auto node = top.Get("description")) scenario.description = Text(*node, "description");
  if (auto node = top.Get("timeout")) scenario.timeoutMilliseconds = Int(*node, "timeout", 100, 600000);
  ParseInstaller(top.Need("installer"), scenario);
  ParseHost(top.Need("host"), scenario);
  if (auto node = top.Get("user")) ParseUser(*node, scenario);
  if (auto node = top.Get("expect")) {
    ParseExpect(*node, scenario);
    scenario.hasExpectations = true;
  }
  return scenario;
}

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
    control.onPush = ParsePush(*push);
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
  if (auto push = map.Get("on_default_action")) entry.onPush = ParsePush(*push);
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
    entry.onInvoke = ParsePush(*push);
    entry.invoke = true;
  }
  if (auto children = map.Get("children")) {
    if (!children->IsSequence()) Fail(*children, "children must be a list");
    for (const YAML::Node& child : *children) entry.children.push_back(ParseUiaNode(child, keys));
  }
  return entry;
}

PushBehaviour Parser::ParsePush(const YAML::Node& node) {
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
        {"destroy", PushBehaviour::Leave::Destroy}, {"hide", PushBehaviour::Leave::Hide}, {"keep", PushBehaviour::Leave::Keep}};
    push.leave = Choice(*current, kLeaves, "current");
  }
  return push;
}

std::size_t Parser::PageIndex(const YAML::Node& node) const {
  const std::string name = Text(node, "page");
  for (std::size_t i = 0; i < pages_->size(); ++i) {
    if ((*pages_)[i].name == name) return i;
  }
  Fail(node, "unknown page '" + name + "'");
}

ElementRef Parser::Element(const YAML::Node& node) const {
  const std::string text = Text(node, "control");
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) Fail(node, "a control is named PAGE/CONTROL (a name or an id), not '" + text + "'");
  ElementRef ref;
  ref.text = text;
  const std::string pageName = text.substr(0, slash);
  const std::string element = text.substr(slash + 1);
  const auto page = std::find_if(pages_->begin(), pages_->end(), [&](const ScenarioPage& p) { return p.name == pageName; });
  if (page == pages_->end()) Fail(node, "unknown page '" + pageName + "' in '" + text + "'");
  ref.page = static_cast<std::size_t>(page - pages_->begin());
  for (std::size_t i = 0; i < page->controls.size(); ++i) {
    const ScenarioControl& control = page->controls[i];
    if (control.name == element || (IsDigits(element) && std::to_string(control.id) == element)) {
      ref.control = i;
      return ref;
    }
  }
  const std::wstring key = Utf8ToWide(element);
  std::function<bool(const ScenarioAccNode&)> hasKey = [&](const ScenarioAccNode& entry) {
    if (entry.key == key) return true;
    return std::any_of(entry.children.begin(), entry.children.end(), hasKey);
  };
  ref.nodeKey = key;
  ref.automation = !key.empty() && page->automation && FindUiaNode(*page->automation, key) != nullptr;
  if (!ref.automation && (!page->accessible || key.empty() || !hasKey(*page->accessible))) {
    Fail(node, "page '" + pageName + "' has no control or accessible element '" + element + "'");
  }
  return ref;
}

std::vector<unsigned char> Parser::ReadRelative(const YAML::Node& node, const std::string& what) const {
  const std::string name = Text(node, what);
  std::filesystem::path file(name);
  if (file.is_relative()) file = std::filesystem::path(path_).parent_path() / file;
  std::string text;
  if (const std::string why = ReadFileText(file, text); !why.empty()) {
    Fail(node, "cannot read " + what + " '" + file.string() + "': " + why);
  }
  return std::vector<unsigned char>(text.begin(), text.end());
}

void Parser::ParseHost(const YAML::Node& node, Scenario& scenario) {
  const Map map(*this, node, "host", {"factory", "threshold", "notifications", "patterns"});
  HostSetup& host = scenario.host;
  if (auto factory = map.Get("factory")) {
    const std::string text = Text(*factory, "factory");
    if (text != "CreateEngine" && text != "CreateEngine2") {
      Fail(*factory, "unknown factory '" + text + "' (CreateEngine or CreateEngine2)");
    }
    host.notifications = text == "CreateEngine";
  }
  if (auto threshold = map.Get("threshold")) {
    const std::string text = Text(*threshold, "threshold");
    host.threshold = IsDigits(text) ? static_cast<unsigned int>(Int(*threshold, "threshold", 0, 6))
                                    : Choice(*threshold, kThresholds, "threshold");
  }
  if (auto data = map.Get("notifications")) {
    const Map notes(*this, *data, "notifications", {"flag", "title", "description", "ok", "cancel", "icons"});
    ScenarioNotification entry;
    if (auto flag = notes.Get("flag")) entry.flag = Bool(*flag, "flag");
    entry.title = Text(notes.Need("title"), "title");
    if (auto description = notes.Get("description")) entry.description = Text(*description, "description");
    if (auto ok = notes.Get("ok")) entry.okButton = Text(*ok, "ok");
    if (auto cancel = notes.Get("cancel")) entry.cancelButton = Text(*cancel, "cancel");
    if (auto icons = notes.Get("icons")) {
      if (!icons->IsSequence()) Fail(*icons, "icons must be a list");
      for (const YAML::Node& node : *icons) {
        const Map fields(*this, node, "icon", {"id", "value", "file"});
        ScenarioIcon icon;
        icon.id = Int(fields.Need("id"), "icon id");
        if (auto value = fields.Get("value")) icon.value = Int(*value, "icon value");
        icon.data = ReadRelative(fields.Need("file"), "icon file");
        entry.icons.push_back(std::move(icon));
      }
    }
    host.notificationData = std::move(entry);
  }
  const YAML::Node patterns = map.Need("patterns");
  if (!patterns.IsSequence()) Fail(patterns, "patterns must be a list");
  for (const YAML::Node& pattern : patterns) {
    const Map fields(*this, pattern, "pattern", {"id", "file", "text", "silent", "when"});
    ScenarioPattern entry;
    entry.id = Int(fields.Need("id"), "pattern id");
    if (fields.Has("file") == fields.Has("text")) Fail(pattern, "pattern needs either a file or a text");
    if (auto file = fields.Get("file")) {
      const std::vector<unsigned char> bytes = ReadRelative(*file, "pattern file");
      entry.text.assign(bytes.begin(), bytes.end());
      entry.source = Text(*file, "pattern file");
    } else {
      entry.text = Text(*fields.Get("text"), "pattern text");
      entry.source = "inline";
    }
    if (auto silent = fields.Get("silent")) entry.silent = Bool(*silent, "silent");
    if (auto when = fields.Get("when")) {
      if (!(when->IsScalar() && when->Scalar() == "before_run")) {
        if (!when->IsScalar() || !IsDigits(when->Scalar())) {
          Fail(*when, "when must be before_run or the milliseconds after Run started");
        }
        entry.afterMilliseconds = Int(*when, "when", 0, 600000);
      }
    }
    host.patterns.push_back(std::move(entry));
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
                 "block_pattern_added", "message_boxes"});
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
}

}  // namespace

Scenario ParseScenario(const std::string& text, const std::string& path) { return Parser(path).Parse(text); }

Scenario LoadScenario(const std::string& path) {
  std::string text;
  if (const std::string why = ReadInputText(path, std::cin, text); !why.empty()) {
    throw ScenarioError(InputName(path) + ": cannot read the file: " + why);
  }
  return ParseScenario(text, InputName(path));
}

}  // namespace iae_tool

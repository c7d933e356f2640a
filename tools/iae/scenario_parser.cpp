// Reads a scenario file. Every mistake stops the load with "file:line:column: what"; keys
// are checked against what each mapping may hold, so a misspelt key is an error rather
// than a setting silently left at its default.
#include "scenario_parse.h"

#include <filesystem>
#include <functional>
#include <iostream>

#include "file_text.h"

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

namespace scenario_parse {
namespace {

constexpr Named<unsigned int> kThresholds[] = {
    {"all", 0}, {"debug", 1}, {"info", 2}, {"warning", 3}, {"error", 4}, {"critical", 5}, {"off", 6}};

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

}  // namespace

Parser::Map::Map(const Parser& parser, const YAML::Node& node, std::string what,
                 std::initializer_list<const char*> keys)
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

long long Parser::Number(const YAML::Node& node, const std::string& what, long long min, long long max) const {
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

bool Parser::Bool(const YAML::Node& node, const std::string& what) const {
  const std::string text = node.IsScalar() ? node.Scalar() : std::string();
  if (text == "true" || text == "yes") return true;
  if (text == "false" || text == "no") return false;
  Fail(node, what + " must be true or false");
}

RECT Parser::Rect(const YAML::Node& node, const std::string& what) const {
  if (!node.IsSequence() || node.size() != 4) Fail(node, what + " must be [left, top, right, bottom]");
  RECT rect{Int(node[0], what + " left"), Int(node[1], what + " top"), Int(node[2], what + " right"),
            Int(node[3], what + " bottom")};
  if (rect.right < rect.left || rect.bottom < rect.top) Fail(node, what + " has its right or bottom before its left or top");
  return rect;
}

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

}  // namespace scenario_parse

Scenario ParseScenario(const std::string& text, const std::string& path) {
  return scenario_parse::Parser(path).Parse(text);
}

Scenario LoadScenario(const std::string& path) {
  std::string text;
  if (const std::string why = ReadInputText(path, std::cin, text); !why.empty()) {
    throw ScenarioError(InputName(path) + ": cannot read the file: " + why);
  }
  return ParseScenario(text, InputName(path));
}

}  // namespace iae_tool

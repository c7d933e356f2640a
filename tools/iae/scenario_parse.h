// What the scenario reader's files share: the parser, its checked mapping and its readers of plain values. The
// parts of a scenario are read in scenario_parser.cpp (top level, host, references), scenario_parse_installer.cpp
// (pages, controls, trees) and scenario_parse_user.cpp (user steps, expectations).
#pragma once

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/text.h"
#include "scenario.h"

namespace iae_tool::scenario_parse {

using installation_assistant::Utf8ToWide;

template <typename T>
struct Named {
  const char* name;
  T value;
};

template <typename T, std::size_t N>
std::string NameList(const Named<T> (&table)[N]) {
  std::string out;
  for (const auto& entry : table) {
    if (!out.empty()) out += ", ";
    out += entry.name;
  }
  return out;
}

inline std::string Article(std::string_view word) {
  const bool vowel = !word.empty() && std::string_view("aeiou").find(word[0]) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(word);
}

inline bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

class Parser {
 public:
  explicit Parser(std::string path) : path_(std::move(path)) {}

  Scenario Parse(const std::string& text);

 private:
  // A mapping whose keys are checked against the ones it may hold.
  class Map {
   public:
    Map(const Parser& parser, const YAML::Node& node, std::string what, std::initializer_list<const char*> keys);
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

  long long Number(const YAML::Node& node, const std::string& what, long long min, long long max) const;
  int Int(const YAML::Node& node, const std::string& what, long long min = INT32_MIN,
          long long max = INT32_MAX) const {
    return static_cast<int>(Number(node, what, min, max));
  }

  bool Bool(const YAML::Node& node, const std::string& what) const;

  template <typename T, std::size_t N>
  T Choice(const YAML::Node& node, const Named<T> (&table)[N], const std::string& what) const {
    const std::string text = node.IsScalar() ? node.Scalar() : std::string();
    for (const auto& entry : table) {
      if (text == entry.name) return entry.value;
    }
    Fail(node, (node.IsScalar() ? "unknown " + what + " '" + text + "'" : what + " must be a name") + " (one of " +
                   NameList(table) + ")");
  }

  RECT Rect(const YAML::Node& node, const std::string& what) const;

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
  // Only a button (button: true) may have its page replaced.
  PushBehaviour ParsePush(const YAML::Node& node, bool button);
  std::size_t PageIndex(const YAML::Node& node) const;
  ElementRef Element(const YAML::Node& node) const;
  // A check state asked of a control that has none is a mistake in the scenario.
  void CheckApplies(const YAML::Node& at, const ElementRef& ref, ElementState state, const std::string& action) const;
  void ParseHost(const YAML::Node& node, Scenario& scenario);
  void ParseUser(const YAML::Node& node, Scenario& scenario);
  UserStep ParseStep(const YAML::Node& node);
  void ParseExpect(const YAML::Node& node, Scenario& scenario);
  std::vector<unsigned char> ReadRelative(const YAML::Node& node, const std::string& what) const;

  std::string path_;
  std::vector<ScenarioPage>* pages_ = nullptr;
};

}  // namespace iae_tool::scenario_parse

#include "skeleton.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "pattern/pattern_version.h"

namespace iae_tool {
namespace {

using installation_assistant::ElementType;
using installation_assistant::ElementTypeName;
using installation_assistant::UIAccessType;
using installation_assistant::UIElement;

bool IsControl(ElementType type) {
  return type == ElementType::Button || type == ElementType::CheckBox || type == ElementType::RadioButton;
}

// The element types the pattern language has a container keyword for.
bool IsContainer(ElementType type) {
  switch (type) {
    case ElementType::Window:
    case ElementType::Pane:
    case ElementType::Table:
    case ElementType::DataItem:
    case ElementType::Tree:
    case ElementType::Tab:
    case ElementType::Custom:
    case ElementType::Text:
      return true;
    default:
      return false;
  }
}

std::string Hex(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof(text), "\\\\x%02x", byte);
  return text;
}

// What the element is in, in words; the path says where it is.
std::string State(UIElement& element) {
  std::vector<std::string> words;
  try {
    if (element.GetType() == ElementType::CheckBox) {
      if (const auto box = element.GetCheckBoxPattern()) {
        words.push_back(box->IsIndeterminate() ? "indeterminate" : box->IsChecked() ? "checked" : "unchecked");
      }
    } else if (element.GetType() == ElementType::RadioButton) {
      if (const auto radio = element.GetRadioButtonPattern()) {
        words.push_back(radio->IsSelected() ? "selected" : "not selected");
      }
    }
  } catch (const std::logic_error&) {
    // no such pattern on this element: nothing to say
  }
  if (!element.IsEnabled()) words.push_back("disabled");
  if (!element.IsVisible()) words.push_back("not visible");
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text.empty() ? element.GetPath() : text + "; " + element.GetPath();
}

class Writer {
 public:
  explicit Writer(std::ostringstream& out) : out_(out) {}

  void Element(const std::shared_ptr<UIElement>& element, int depth, const char* prefix) {
    const std::string indent(4 * depth, ' ');
    const ElementType type = element->GetType();
    const auto children = element->GetChildren();
    const std::string typeName = ElementTypeName(type);
    if (IsControl(type) && !children.empty()) {
      // A control node has no children in the language, and a node's children are matched strictly.
      out_ << indent << "*  // " << typeName << Named(element) << " holding " << children.size()
           << " element(s), which no pattern node can name; " << State(*element) << "\n";
      return;
    }
    const auto name = element->GetName();
    std::string clause;
    if (name && (IsControl(type) || !name.Get().empty())) {
      clause = " (text=\"" + LiteralTextClause(name.Get(), IsControl(type)) + "\")";
    }
    out_ << indent << prefix << typeName << clause;
    if (IsControl(type)) {
      out_ << "  // " << State(*element) << "\n";
      return;
    }
    if (children.empty()) {
      out_ << " { }  // " << State(*element) << "\n";
      return;
    }
    out_ << " {  // " << State(*element) << "\n";
    for (const auto& child : children) Element(child, depth + 1, "");
    out_ << indent << "}\n";
  }

 private:
  static std::string Named(const std::shared_ptr<UIElement>& element) {
    const auto name = element->GetName();
    return name ? " \"" + name.Get() + "\"" : "";
  }

  std::ostringstream& out_;
};

}  // namespace

const char* AccessName(UIAccessType access) { return access == UIAccessType::UIAutomation ? "UIAutomation" : "MSAA"; }

std::string LiteralTextClause(const std::string& name, bool control) {
  // A lint reads a text for itself with each backslash dropped; with \x26 in it, ( ) + ? . are written in hex too so
  // that the reading still matches.
  const bool hexAmpersand = control && name.find('&') != std::string::npos;
  std::string text;
  for (const char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (hexAmpersand && std::string_view("&()+?.").find(c) != std::string_view::npos)) {
      text += Hex(byte);
    } else if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) {
      text += "\\\\";  // the regular expression's backslash, written in a string literal
      text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    } else if (c == '"') {
      text += "\\\"";
    } else {
      text += c;
    }
  }
  return text;
}

bool WriteSkeleton(const std::shared_ptr<UIElement>& root, UIAccessType access, const std::string& comment,
                   std::string& skeleton) {
  std::ostringstream out;
  out << "EngineVersion = " << installation_assistant::kSupportedPatternMajor << "."
      << installation_assistant::kSupportedPatternMinor << ".0.0\n";
  std::istringstream lines(comment);
  for (std::string line; std::getline(lines, line);) out << "// " << line << "\n";
  const ElementType type = root->GetType();
  const bool written = IsContainer(type);
  if (written) {
    const std::string prefix = std::string(AccessName(access)) + ": ";
    Writer(out).Element(root, 0, prefix.c_str());
  } else {
    out << "// the window's root element is a " << ElementTypeName(type)
        << ", which no pattern root can name\n";
  }
  skeleton = out.str();
  return written;
}

}  // namespace iae_tool

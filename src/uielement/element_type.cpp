#include "uielement/element_type.h"

#include <array>
#include <string_view>

namespace installation_assistant {
namespace {

constexpr std::array<std::string_view, 44> kDisplayNames = {
    "Unknown",   "AnyLevel", "*",          "Button",      "Calendar",     "CheckBox",   "ComboBox", "Edit",
    "Hyperlink", "Image",    "ListItem",   "List",        "Menu",         "MenuBar",    "MenuItem", "ProgressBar",
    "RadioButton", "ScrollBar", "Slider",  "Spinner",     "StatusBar",    "Tab",        "TabItem",  "Text",
    "ToolBar",   "ToolTip",  "Tree",       "TreeItem",    "Custom",       "Group",      "Thumb",    "DataGrid",
    "DataItem",  "Document", "SplitButton", "Window",     "Pane",         "Header",     "HeaderItem", "Table",
    "TitleBar",  "Separator", "SemanticZoom", "AppBar",
};

}  // namespace

std::string ElementTypeName(ElementType type) {
  const auto value = static_cast<std::int32_t>(type);
  if (value < 0 || value >= static_cast<std::int32_t>(kDisplayNames.size())) return "Error";
  return std::string(kDisplayNames[static_cast<std::size_t>(value)]);
}

bool IsControlType(ElementType type) {
  return type == ElementType::Button || type == ElementType::CheckBox || type == ElementType::RadioButton;
}

bool IsKeptElementType(ElementType type) {
  switch (type) {
    case ElementType::Custom:
    case ElementType::DataItem:
    case ElementType::Pane:
    case ElementType::Tab:
    case ElementType::Table:
    case ElementType::Text:
    case ElementType::Tree:
    case ElementType::Window:
    case ElementType::Button:
    case ElementType::CheckBox:
    case ElementType::RadioButton:
      return true;
    default:
      return false;
  }
}

}  // namespace installation_assistant

// What kind of UI element a node is, independent of the accessibility technology.
#pragma once

#include <cstdint>
#include <string>

namespace installation_assistant {

enum class ElementType : std::int32_t {
  Unknown = 0,
  AnyLevel = 1,  // pattern wildcard only
  Any = 2,       // pattern wildcard only
  Button = 3,
  Calendar = 4,
  CheckBox = 5,
  ComboBox = 6,
  Edit = 7,
  Hyperlink = 8,
  Image = 9,
  ListItem = 10,
  List = 11,
  Menu = 12,
  MenuBar = 13,
  MenuItem = 14,
  ProgressBar = 15,
  RadioButton = 16,
  ScrollBar = 17,
  Slider = 18,
  Spinner = 19,
  StatusBar = 20,
  Tab = 21,
  TabItem = 22,
  Text = 23,
  ToolBar = 24,
  ToolTip = 25,
  Tree = 26,
  TreeItem = 27,
  Custom = 28,
  Group = 29,
  Thumb = 30,
  DataGrid = 31,
  DataItem = 32,
  Document = 33,
  SplitButton = 34,
  Window = 35,
  Pane = 36,
  Header = 37,
  HeaderItem = 38,
  Table = 39,
  TitleBar = 40,
  Separator = 41,
  SemanticZoom = 42,
  AppBar = 43,
};

// The display name used by the pattern language and in element paths; "Error" for a
// value outside the enumeration.
std::string ElementTypeName(ElementType type);

// The types both backends keep below a tree's root.
bool IsKeptElementType(ElementType type);

// The controls: a pattern writes them with "()" rather than braces, and acts on them.
bool IsControlType(ElementType type);

enum class UIAccessType : std::int32_t {
  MSAA = 0,
  UIAutomation = 1,
};

}  // namespace installation_assistant

// The outcome of a run: the final state of every page, as the story ends with it, and the expectations checked.
#include "scenario_run.h"

#include <algorithm>
#include <cstdint>
#include <iomanip>
#include <map>
#include <mutex>
#include <sstream>
#include <string>

namespace iae_tool::detail {
namespace {

bool IsRadio(const ScenarioControl& control) {
  const DWORD type = control.style & BS_TYPEMASK;
  return control.className == L"Button" && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

int WindowNumber(HWND hwnd) { return static_cast<int>(reinterpret_cast<intptr_t>(hwnd)); }

template <typename Node, typename Describe>
void PrintTree(std::ostream& text, const Node& node, int depth, const Describe& describe) {
  text << std::string(static_cast<std::size_t>(4 + 2 * depth), ' ') << describe(node) << "\n";
  for (const Node& child : node.children) PrintTree(text, child, depth + 1, describe);
}

}  // namespace

// A look is one snapshot of a page's window: MSAA takes the window's object, UI Automation builds its cache (one
// per access type and matching pass). A page's calls are those about its windows and their controls.
void ScenarioRun::PrintStats() {
  std::ostringstream text;
  const std::map<std::string, uint64_t> calls = simwin::AccessibilityCallsByMethod();
  uint64_t total = 0;
  for (const auto& [method, count] : calls) total += count;
  text << "\nStatistics: " << total << " accessibility calls into the installer\n";
  for (const auto& [method, count] : calls) text << "  " << method << ": " << count << "\n";
  std::lock_guard<std::mutex> lock(pagesMutex_);
  for (std::size_t p = 0; p < pages_.size(); ++p) {
    uint64_t msaa = 0, uia = 0;
    installation_assistant::PassFigures passes;
    std::map<std::string, uint64_t> pageCalls;
    std::vector<HWND> windows = pages_[p].windows;
    windows.insert(windows.end(), pages_[p].controls.begin(), pages_[p].controls.end());
    for (HWND window : pages_[p].windows) {
      msaa += simwin::AccessibilityCallsAbout("AccessibleObjectFromWindow", window);
      uia += simwin::AccessibilityCallsAbout("BuildUpdatedCache", window);
      const auto found = passFigures_.find(window);
      if (found == passFigures_.end()) continue;
      passes.passes += found->second.passes;
      passes.microseconds += found->second.microseconds;
      passes.longestMicroseconds = std::max(passes.longestMicroseconds, found->second.longestMicroseconds);
      passes.elements += found->second.elements;
    }
    for (HWND window : windows) {
      for (const auto& [method, count] : simwin::AccessibilityCallsByMethodAbout(window)) pageCalls[method] += count;
    }
    text << "  page " << scenario_.installer.pages[p].name << ": looked at " << msaa << " time(s) through MSAA, "
         << uia << " through UI Automation\n";
    if (passes.passes > 0) {
      const double each = static_cast<double>(passes.passes);
      text << std::fixed << std::setprecision(2) << "    " << passes.passes << " matching pass(es), "
           << static_cast<double>(passes.microseconds) / 1000.0 / each << " ms each (longest "
           << static_cast<double>(passes.longestMicroseconds) / 1000.0 << " ms), " << std::setprecision(1)
           << static_cast<double>(passes.elements) / each << " elements read per pass\n";
      text.unsetf(std::ios::floatfield);
    }
    std::string byKind;
    for (const auto& [method, count] : pageCalls) byKind += (byKind.empty() ? "" : ", ") + method + " " + std::to_string(count);
    if (!byKind.empty()) text << "    calls: " << byKind << "\n";
  }
  story_.Always(text.str());
}

void ScenarioRun::PrintFinalState() {
  std::ostringstream text;
  text << "\nFinal state:\n";
  for (std::size_t p = 0; p < final_.size(); ++p) {
    const ScenarioPage& entry = scenario_.installer.pages[p];
    const PageSnapshot& page = final_[p];
    text << "  page " << entry.name << " " << Quote(entry.title) << ": " << PageStateName(page.state) << "\n";
    if (page.state == PageState::Closed) continue;
    for (std::size_t c = 0; c < entry.controls.size(); ++c) {
      const ScenarioControl& control = entry.controls[c];
      const ElementSnapshot& state = page.controls[c];
      std::string mark = "   ";
      if (IsCheckable(control)) {
        const bool radio = IsRadio(control);
        mark = state.check == BST_CHECKED ? (radio ? "(*)" : "[x]")
                                          : state.check == BST_INDETERMINATE ? "[-]" : (radio ? "( )" : "[ ]");
      } else if (control.className == L"Button" && (control.style & BS_TYPEMASK) != BS_GROUPBOX) {
        mark = "<->";
      }
      text << "    " << mark << " " << control.id;
      if (!control.name.empty()) text << " " << control.name;
      text << " " << Quote(control.text);
      if (!state.enabled) text << " (disabled)";
      if (!state.visible && page.state == PageState::Visible) text << " (hidden)";
      text << "\n";
    }
    // Each element: its role or control type, its name and, for those with a key, its final state.
    const auto line = [](std::string kind, const std::wstring& name, const auto& states, const std::wstring& key,
                         const auto& describe) {
      const auto found = states.find(key);
      return kind + " " + Quote(name) + (found == states.end() ? "" : " [" + describe(found->second) + "]");
    };
    if (entry.accessible) {
      text << "    accessible tree:\n";
      PrintTree(text, *entry.accessible, 1, [&](const ScenarioAccNode& node) {
        return line(RoleName(node.role), node.name, page.nodes, node.key, StateFlagsText);
      });
    }
    if (entry.automation) {
      text << "    UI Automation tree:\n";
      PrintTree(text, *entry.automation, 1, [&](const ScenarioUiaNode& node) {
        // The root is the page's window where it gives no type or name of its own.
        const bool root = &node == &*entry.automation;
        return line(root && node.controlType == 0 ? "window" : ControlTypeName(node.controlType),
                    root && node.name.empty() ? entry.title : node.name, page.automation, node.key,
                    AutomationStateText);
      });
    }
  }
  story_.Plain(text.str());
}

void ScenarioRun::CheckExpectations() {
  const Expectations& expect = scenario_.expect;
  const auto at = [&](const SourcePlace& place) {
    return scenario_.file + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": ";
  };
  for (const Expectations::Element& element : expect.elements) {
    const PageSnapshot& page = final_[element.ref.page];
    if (page.state == PageState::Closed) {
      Fail(at(element.place) + element.ref.text + ": expected " + ElementStateName(element.state) +
           ", but its page is closed");
      continue;
    }
    const auto missing = [&] {
      Fail(at(element.place) + element.ref.text + ": expected " + ElementStateName(element.state) +
           ", but the element is not there");
    };
    std::string actual;
    bool holds = false;
    if (element.ref.control) {
      const ElementSnapshot& s = page.controls[*element.ref.control];
      switch (element.state) {
        case ElementState::Checked: holds = s.check == BST_CHECKED; actual = CheckText(s.check); break;
        case ElementState::Unchecked: holds = s.check == BST_UNCHECKED; actual = CheckText(s.check); break;
        case ElementState::Indeterminate: holds = s.check == BST_INDETERMINATE; actual = CheckText(s.check); break;
        case ElementState::Enabled: holds = s.enabled; actual = s.enabled ? "enabled" : "disabled"; break;
        case ElementState::Disabled: holds = !s.enabled; actual = s.enabled ? "enabled" : "disabled"; break;
        case ElementState::Visible: holds = s.visible; actual = s.visible ? "visible" : "hidden"; break;
        case ElementState::Hidden: holds = !s.visible; actual = s.visible ? "visible" : "hidden"; break;
      }
    } else if (element.ref.automation) {
      const auto found = page.automation.find(element.ref.nodeKey);
      if (found == page.automation.end()) {
        missing();
        continue;
      }
      holds = AutomationHolds(found->second, element.state);
      actual = AutomationStateText(found->second);
    } else {
      const auto found = page.nodes.find(element.ref.nodeKey);
      if (found == page.nodes.end()) {
        missing();
        continue;
      }
      const LONG flags = found->second;
      actual = StateFlagsText(flags);
      switch (element.state) {
        case ElementState::Checked: holds = flags & STATE_SYSTEM_CHECKED; break;
        case ElementState::Unchecked: holds = !(flags & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_MIXED)); break;
        case ElementState::Indeterminate: holds = flags & STATE_SYSTEM_MIXED; break;
        case ElementState::Enabled: holds = !(flags & STATE_SYSTEM_UNAVAILABLE); break;
        case ElementState::Disabled: holds = flags & STATE_SYSTEM_UNAVAILABLE; break;
        case ElementState::Visible: holds = !(flags & STATE_SYSTEM_INVISIBLE); break;
        case ElementState::Hidden: holds = flags & STATE_SYSTEM_INVISIBLE; break;
      }
    }
    if (!holds) {
      Fail(at(element.place) + element.ref.text + ": expected " + ElementStateName(element.state) + ", found " +
           actual);
    }
  }
  if (expect.exitCode) {
    DWORD code = 0;
    {
      std::lock_guard<std::mutex> lock(exitMutex_);
      code = exitCode_;
    }
    if (code != expect.exitCode->code) {
      Fail(at(expect.exitCode->place) + "installer exit code: expected " + std::to_string(expect.exitCode->code) +
           ", found " + std::to_string(code));
    }
  }
  for (const Expectations::Page& page : expect.pages) {
    if (final_[page.page].state != page.state) {
      Fail(at(page.place) + "page " + PageName(page.page) + ": expected " + PageStateName(page.state) + ", found " +
           PageStateName(final_[page.page].state));
    }
  }

  const simwin::RecordingHost::Calls calls = host_->Calls().AllCalls();
  for (const auto& [id, code] : expect.results) {
    std::vector<int> codes;
    for (std::size_t i = callsAtExit_; i < calls.size(); ++i) {
      if (calls[i].kind == HostCall::Kind::ReportItem && calls[i].report.patternId == id) {
        codes.push_back(calls[i].report.resultCode);
      }
    }
    std::string found;
    for (int c : codes) found += (found.empty() ? "" : ", ") + std::to_string(c);
    if (!code) {
      if (!codes.empty()) Fail("pattern " + std::to_string(id) + ": expected no report at the end of the run, found " + found);
    } else if (codes.size() != 1 || codes[0] != *code) {
      Fail("pattern " + std::to_string(id) + ": expected result " + std::to_string(*code) + " at the end of the run, " +
           (codes.empty() ? std::string("found no report") : "found " + found));
    }
  }
  for (const ReportCountExpectation& count : expect.reportCounts) {
    int matching = 0;
    for (const HostCall& call : calls) {
      if (call.kind != HostCall::Kind::ReportItem) continue;
      const simwin::RecordedReport& r = call.report;
      if (count.code && r.resultCode != *count.code) continue;
      if (count.patternId && r.patternId != *count.patternId) continue;
      if (count.genericPattern && r.genericPattern != *count.genericPattern) continue;
      if (count.elementType && r.elementType != *count.elementType) continue;
      if (count.userAction && r.userAction != count.userAction) continue;
      if (count.desiredState && r.desiredState != count.desiredState) continue;
      if (count.controlPathContains &&
          (!r.controlPath || r.controlPath->find(*count.controlPathContains) == std::string::npos)) {
        continue;
      }
      ++matching;
    }
    if (matching != count.count) {
      std::string what;
      if (count.code) what += " code " + std::to_string(*count.code);
      if (count.patternId) what += " pattern " + std::to_string(*count.patternId);
      if (count.genericPattern) what += " generic " + std::to_string(*count.genericPattern);
      if (count.elementType) what += " element_type " + std::to_string(*count.elementType);
      if (count.userAction) what += " user_action \"" + *count.userAction + "\"";
      if (count.desiredState) what += " desired_state \"" + *count.desiredState + "\"";
      if (count.controlPathContains) what += " control path with \"" + *count.controlPathContains + "\"";
      Fail(at(count.place) + "ReportItem" + (what.empty() ? std::string(" (any)") : what) + ": expected " +
           std::to_string(count.count) + ", found " + std::to_string(matching));
    }
  }
  for (const auto& [button, wanted] : expect.messageBoxes) {
    const int found = MessageBoxesFor(button.ref);
    if (found != wanted) {
      Fail(at(button.place) + "message boxes on " + button.ref.text + ": expected " + std::to_string(wanted) +
           ", found " + std::to_string(found));
    }
  }
  for (const Expectations::Processed& processed : expect.processed) {
    std::vector<HWND> windows;
    {
      std::lock_guard<std::mutex> lock(pagesMutex_);
      windows = pages_[processed.page].windows;
    }
    int sum = 0;
    for (const HostCall& call : calls) {
      if (call.kind != HostCall::Kind::ReportProcessedItems) continue;
      for (HWND hwnd : windows) {
        if (WindowNumber(hwnd) == call.window) sum += call.count;
      }
    }
    if (sum != processed.count) {
      Fail(at(processed.place) + "processed items of page " + PageName(processed.page) + ": expected " +
           std::to_string(processed.count) + ", found " + std::to_string(sum));
    }
  }
  if (expect.processedTotal) {
    std::optional<int> total;
    for (const HostCall& call : calls) {
      if (call.kind == HostCall::Kind::ReportProcessedTotal) total = call.count;
    }
    const std::optional<int>& wanted = *expect.processedTotal;
    if (total != wanted) {
      const auto text = [](const std::optional<int>& value) {
        return value ? std::to_string(*value) : std::string("no ReportProcessedTotal");
      };
      Fail("processed total: expected " + text(wanted) + ", found " + text(total));
    }
  }
  if (expect.blockPatternAdded) {
    const auto found = static_cast<int>(host_->Calls().Count(HostCall::Kind::BlockPatternAdded));
    if (found != *expect.blockPatternAdded) {
      Fail("BlockPatternAdded: expected " + std::to_string(*expect.blockPatternAdded) + " call(s), found " +
           std::to_string(found));
    }
  }
}

}  // namespace iae_tool::detail

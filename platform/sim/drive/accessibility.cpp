// simwin driving API: counting accessibility calls, injecting their faults, and the leak counts of accessible
// objects, BSTRs and LresultFromObject results. Every call into simwin's proxies, custom trees and UI Automation
// objects passes AccCallFails first.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/acc_internal.h"

namespace simwin::detail {

std::atomic<long> g_liveAccObjects{0};

namespace {

std::atomic<uint64_t> g_accCalls{0};
thread_local int t_suppressCount = 0;

struct Fault {
  int id;
  std::string method;  // empty: any
  HWND hwnd;           // null: any
  std::wstring element;
  HRESULT hr;
  int remaining;  // < 0: unlimited
};
std::mutex g_faultMu;  // also guards g_calls
std::vector<Fault> g_faults;
// By method and the window the call is about: the counted calls, and all of them (the quiet ones too).
struct Calls {
  uint64_t counted = 0;
  uint64_t all = 0;
};
std::map<std::pair<std::string, HWND>, Calls> g_calls;
int g_nextFaultId = 1;

}  // namespace

CountSuppressor::CountSuppressor() { ++t_suppressCount; }
CountSuppressor::~CountSuppressor() { --t_suppressCount; }

bool AccCallFails(const char* method, HWND hwnd, const std::wstring& element, HRESULT& hr) {
  std::lock_guard<std::mutex> guard(g_faultMu);
  Calls& calls = g_calls[{method, hwnd}];
  ++calls.all;
  if (t_suppressCount == 0) {
    ++g_accCalls;
    ++calls.counted;
  }
  for (auto& f : g_faults) {
    if (f.remaining == 0) continue;
    if (!f.method.empty() && f.method != method) continue;
    if (f.hwnd && f.hwnd != hwnd) continue;
    if (!f.element.empty() && f.element != element) continue;
    if (f.remaining > 0) --f.remaining;
    hr = f.hr;
    return true;
  }
  return false;
}

}  // namespace simwin::detail

namespace simwin {

uint64_t AccessibilityCallCount() { return detail::g_accCalls.load(); }
void ResetAccessibilityCallCount() {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  detail::g_accCalls = 0;
  detail::g_calls.clear();
}

std::map<std::string, uint64_t> AccessibilityCallsByMethod() {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  std::map<std::string, uint64_t> byMethod;
  for (const auto& [key, calls] : detail::g_calls) {
    if (calls.counted != 0) byMethod[key.first] += calls.counted;
  }
  return byMethod;
}

std::map<std::string, uint64_t> AccessibilityCallsByMethodAbout(HWND hwnd) {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  std::map<std::string, uint64_t> byMethod;
  for (const auto& [key, calls] : detail::g_calls) {
    if (key.second == hwnd && calls.counted != 0) byMethod[key.first] += calls.counted;
  }
  return byMethod;
}

uint64_t AccessibilityCallsAbout(const std::string& method, HWND hwnd) {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  const auto found = detail::g_calls.find({method, hwnd});
  return found == detail::g_calls.end() ? 0 : found->second.all;
}

int InjectAccessibilityFault(const AccessibilityFault& fault) {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  int id = detail::g_nextFaultId++;
  detail::g_faults.push_back(
      detail::Fault{id, fault.method, fault.hwnd, fault.element, fault.hr, fault.times});
  return id;
}

void RemoveAccessibilityFault(int id) {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  auto& f = detail::g_faults;
  f.erase(std::remove_if(f.begin(), f.end(), [id](const detail::Fault& x) { return x.id == id; }), f.end());
}

void ClearAccessibilityFaults() {
  std::lock_guard<std::mutex> guard(detail::g_faultMu);
  detail::g_faults.clear();
}

long LiveAccessibleObjectCount() { return detail::g_liveAccObjects.load(); }
long LiveBstrCount() { return detail::g_liveBstrs.load(); }

std::size_t PendingLresultCount() { return detail::HeldLresultCount(); }

}  // namespace simwin

// simwin: what the windows of simulated installers serve themselves (custom MSAA trees, native UI Automation
// providers), and where calls into those objects run.
#include <array>
#include <map>
#include <mutex>

#include "platform/sim/acc_internal.h"

namespace simwin::detail {

namespace {

struct Served {
  WNDPROC previous = nullptr;
  std::array<std::shared_ptr<WindowServer>, 2> servers;  // by ServerKind
};
std::mutex g_servedMu;
std::map<HWND, Served> g_served;

LRESULT CALLBACK ServingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Served s;
  {
    std::lock_guard<std::mutex> guard(g_servedMu);
    auto it = g_served.find(hwnd);
    if (it == g_served.end()) return DefWindowProcW(hwnd, msg, wParam, lParam);
    s = it->second;
    if (msg == WM_NCDESTROY) g_served.erase(it);
  }
  for (const auto& server : s.servers) {
    if (!server) continue;
    if (std::optional<LRESULT> answer = server->Handle(hwnd, msg, wParam, lParam)) return *answer;
  }
  return CallWindowProcW(s.previous, hwnd, msg, wParam, lParam);
}

}  // namespace

void ServeFromWindow(Process& process, HWND hwnd, ServerKind kind, std::shared_ptr<WindowServer> server) {
  process.Invoke([&] {
    bool subclass = false;
    {
      std::lock_guard<std::mutex> guard(g_servedMu);
      auto& s = g_served[hwnd];
      subclass = s.previous == nullptr;
      if (subclass) s.previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
      s.servers[static_cast<size_t>(kind)] = std::move(server);
    }
    if (subclass) SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ServingProc));
  });
}

std::shared_ptr<WindowServer> ServerOf(HWND hwnd, ServerKind kind) {
  std::lock_guard<std::mutex> guard(g_servedMu);
  auto it = g_served.find(hwnd);
  return it == g_served.end() ? nullptr : it->second.servers[static_cast<size_t>(kind)];
}

HRESULT WindowServer::Run(const std::function<HRESULT()>& body) const {
  if (GetCurrentProcessId() == process_) return body();
  LRESULT result = 0;
  if (!RunOnThread(thread_, [&]() -> LRESULT { return body(); }, result)) return kServerGoneHr;
  return static_cast<HRESULT>(result);
}

}  // namespace simwin::detail

// iae-dump: a live window's element tree, read through the engine's own backends, as a pattern skeleton.
//
//   iae-dump.exe (0xHWND | "WINDOW TITLE") [--backend msaa|uia]
//
// Exit 0 written, 1 the window cannot be read, 2 bad arguments or no such window.
#include <comdef.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "common/handles.h"
#include "common/text.h"
#include "skeleton.h"

namespace {

using installation_assistant::UIAccessType;

HWND FindTarget(const std::wstring& given) {
  if (given.rfind(L"0x", 0) == 0 || given.rfind(L"0X", 0) == 0) {
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(given.c_str() + 2, &end, 16);
    if (end == nullptr || *end != L'\0') return nullptr;
    const auto window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(value));
    return IsWindow(window) ? window : nullptr;
  }
  return FindWindowW(nullptr, given.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring target;
  UIAccessType backend = UIAccessType::MSAA;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--backend" && i + 1 < argc) {
      const std::wstring value = argv[++i];
      if (value == L"msaa") {
        backend = UIAccessType::MSAA;
      } else if (value == L"uia") {
        backend = UIAccessType::UIAutomation;
      } else {
        std::fprintf(stderr, "iae-dump: --backend is msaa or uia\n");
        return 2;
      }
    } else if (target.empty()) {
      target = argument;
    } else {
      target.clear();
      break;
    }
  }
  if (target.empty()) {
    std::fprintf(stderr, "usage: iae-dump (0xHWND | \"WINDOW TITLE\") [--backend msaa|uia]\n");
    return 2;
  }
  const HWND window = FindTarget(target);
  if (window == nullptr) {
    std::fprintf(stderr, "iae-dump: no window %s\n", installation_assistant::WideToUtf8(target).c_str());
    return 2;
  }
  std::string skeleton;
  try {
    installation_assistant::ComInitialization com(COINIT_MULTITHREADED);
    const auto root = installation_assistant::CreateRootElement(backend, window);
    root->Refresh();
    char comment[160];
    std::snprintf(comment, sizeof(comment), "window 0x%llX, read through %s\ndelete what should not matter; add { off },"
                  " { on } or { push }", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
                  iae_tool::AccessName(backend));
    if (!iae_tool::WriteSkeleton(root, backend, comment, skeleton)) {
      std::fputs(skeleton.c_str(), stderr);
      return 1;
    }
  } catch (const _com_error& error) {
    std::fprintf(stderr, "iae-dump: the window cannot be read through %s: HRESULT 0x%08lX\n",
                 iae_tool::AccessName(backend), static_cast<unsigned long>(error.Error()));
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "iae-dump: the window cannot be read: %s\n", error.what());
    return 1;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 as it is, LF line ends
  std::fwrite(skeleton.data(), 1, skeleton.size(), stdout);
  return 0;
}

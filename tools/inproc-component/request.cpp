// The component's side of a request: the pipe's name, the line's fields, the answer.
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "inproc_component.h"

namespace inproc {

std::wstring PipeName(DWORD pid) {
  return L"\\\\.\\pipe\\" + std::to_wstring(pid) + L"{72A5D8AA-57E8-4C84-A170-6E4E924C03C9}";
}

namespace {

bool ParseButton(const std::string& text, int32_t& button) {
  if (text.empty() || text.size() > 11) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] >= '0' && text[i] <= '9') && !(i == 0 && text[i] == '-' && text.size() > 1)) return false;
  }
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value < INT32_MIN || value > INT32_MAX) return false;
  button = static_cast<int32_t>(value);
  return true;
}

}  // namespace

MessageBoxRequest ParseRequest(const std::string& line) {
  MessageBoxRequest request;
  request.line = line;
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == '|') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (fields.size() != 8 || fields[0] != "MessageBoxOnButton" || !ParseButton(fields[1], request.button)) {
    return request;
  }
  request.title = fields[2];
  request.description = fields[3];
  request.okText = fields[4];
  request.cancelText = fields[5];
  request.eventName = fields[6];
  request.iconBase64 = fields[7];
  request.valid = !request.eventName.empty();
  return request;
}

bool Answer(const MessageBoxRequest& request) {
  if (request.eventName.empty()) return false;
  HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, request.eventName.c_str());
  if (!event) return false;
  const bool set = SetEvent(event) != FALSE;
  CloseHandle(event);
  return set;
}

}  // namespace inproc

#include "host_calls.h"

#include <cstdio>

#include "common/text.h"

namespace iae_tool {

using simwin::HostCall;

std::string HostCallText(const HostCall& call) { return simwin::RecordingHost::Format(call); }

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

namespace {

nlohmann::ordered_json OptionalText(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

}  // namespace

nlohmann::ordered_json HostCallJson(const HostCall& call) {
  nlohmann::ordered_json object;
  object["kind"] = simwin::KindName(call.kind);
  switch (call.kind) {
    case HostCall::Kind::SetEngineVersion:
      object["version"] = call.version;
      break;
    case HostCall::Kind::ReportItem: {
      const simwin::RecordedReport& r = call.report;
      object["patternId"] = r.patternId;
      object["resultCode"] = r.resultCode;
      object["genericPattern"] = r.genericPattern;
      object["elementType"] = r.elementType;
      if (r.controlDataNull) {
        object["controlData"] = nullptr;
      } else {
        const std::string_view bytes(reinterpret_cast<const char*>(r.controlData.data()), r.controlData.size());
        if (IsValidUtf8(bytes)) {
          object["controlData"] = std::string(bytes);
        } else {
          std::string hex;
          for (unsigned char byte : r.controlData) {
            char digits[3];
            std::snprintf(digits, sizeof(digits), "%02x", byte);
            hex += digits;
          }
          object["controlData"] = hex;
          object["controlDataEncoding"] = "hex";
        }
      }
      object["controlPath"] = OptionalText(r.controlPath);
      object["userAction"] = OptionalText(r.userAction);
      object["desiredState"] = OptionalText(r.desiredState);
      object["patternVersion"] = OptionalText(r.patternVersion);
      if (r.reserved1 != 0 || r.reserved2 != 0) {
        object["reserved1"] = r.reserved1;
        object["reserved2"] = r.reserved2;
      }
      break;
    }
    case HostCall::Kind::ReportProcessedTotal:
      object["count"] = call.count;
      break;
    case HostCall::Kind::ReportProcessedItems:
      object["window"] = call.window;
      object["count"] = call.count;
      break;
    case HostCall::Kind::TraceWrite:
      object["level"] = call.level;
      object["text"] = installation_assistant::WideToUtf8(call.trace);
      break;
    case HostCall::Kind::BlockPatternAdded:
    case HostCall::Kind::TraceFlush:
    case HostCall::Kind::TraceRelease:
      break;
  }
  return object;
}

}  // namespace iae_tool

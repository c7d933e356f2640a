#include "recording_host.h"

#include <algorithm>
#include <sstream>

namespace simwin {
namespace {

using installation_assistant::engine::ServiceReport;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Quoted, with the characters that would break a one-line listing escaped.
template <typename Char>
std::string Quote(std::basic_string_view<Char> text) {
  std::string out = "\"";
  for (Char c : text) {
    const auto code = static_cast<char32_t>(static_cast<std::make_unsigned_t<Char>>(c));
    switch (code) {
      case U'"': out += "\\\""; break;
      case U'\\': out += "\\\\"; break;
      case U'\t': out += "\\t"; break;
      case U'\n': out += "\\n"; break;
      case U'\r': out += "\\r"; break;
      default:
        if constexpr (sizeof(Char) == 1) {
          out += static_cast<char>(c);  // already UTF-8
        } else {
          AppendUtf8(out, code);
        }
    }
  }
  return out + "\"";
}

std::string QuoteOptional(const std::optional<std::string>& text) {
  return text ? Quote(std::string_view(*text)) : std::string("null");
}

std::optional<std::string> CopyText(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

}  // namespace

const char* KindName(HostCall::Kind kind) {
  switch (kind) {
    case HostCall::Kind::SetEngineVersion: return "SetEngineVersion";
    case HostCall::Kind::ReportItem: return "ReportItem";
    case HostCall::Kind::ReportProcessedTotal: return "ReportProcessedTotal";
    case HostCall::Kind::ReportProcessedItems: return "ReportProcessedItems";
    case HostCall::Kind::BlockPatternAdded: return "BlockPatternAdded";
    case HostCall::Kind::TraceWrite: return "Trace";
    case HostCall::Kind::TraceFlush: return "TraceFlush";
    case HostCall::Kind::TraceRelease: return "TraceRelease";
  }
  return "?";
}

void RecordingHost::SetEngineVersion(const char* version) {
  HostCall call;
  call.kind = HostCall::Kind::SetEngineVersion;
  call.version = version ? version : "";
  Record(std::move(call));
}

void RecordingHost::ReportItem(const ServiceReport* report) {
  HostCall call;
  call.kind = HostCall::Kind::ReportItem;
  if (report != nullptr) {
    RecordedReport& copy = call.report;
    copy.patternId = report->patternId;
    copy.resultCode = report->resultCode;
    copy.genericPattern = report->genericPattern;
    copy.elementType = report->elementType;
    copy.controlDataNull = report->controlData == nullptr;
    if (report->controlData != nullptr) {
      copy.controlData.assign(report->controlData, report->controlData + report->controlDataSize);
    }
    copy.controlPath = CopyText(report->controlPath);
    copy.userAction = CopyText(report->userAction);
    copy.desiredState = CopyText(report->desiredState);
    copy.patternVersion = CopyText(report->patternVersion);
    copy.reserved1 = report->reserved1;
    copy.reserved2 = report->reserved2;
  }
  Record(std::move(call));
}

void RecordingHost::ReportProcessedTotal(int count) {
  HostCall call;
  call.kind = HostCall::Kind::ReportProcessedTotal;
  call.count = count;
  Record(std::move(call));
}

void RecordingHost::ReportProcessedItems(int window, int count) {
  HostCall call;
  call.kind = HostCall::Kind::ReportProcessedItems;
  call.window = window;
  call.count = count;
  Record(std::move(call));
}

void RecordingHost::BlockPatternAdded() {
  HostCall call;
  call.kind = HostCall::Kind::BlockPatternAdded;
  Record(std::move(call));
}

void RecordingHost::Write(const wchar_t* text, int level) {
  HostCall call;
  call.kind = HostCall::Kind::TraceWrite;
  call.trace = text ? text : L"";
  call.level = level;
  Record(std::move(call));
}

void RecordingHost::Flush() {
  HostCall call;
  call.kind = HostCall::Kind::TraceFlush;
  Record(std::move(call));
}

void RecordingHost::Release() {
  HostCall call;
  call.kind = HostCall::Kind::TraceRelease;
  Record(std::move(call));
}

void RecordingHost::Record(HostCall call) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
  }
  changed_.notify_all();
}

RecordingHost::Calls RecordingHost::AllCalls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

RecordingHost::Calls RecordingHost::CallsOf(HostCall::Kind kind) const {
  Calls result;
  std::lock_guard<std::mutex> lock(mutex_);
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(result),
               [kind](const HostCall& call) { return call.kind == kind; });
  return result;
}

RecordingHost::Calls RecordingHost::ServiceCalls() const {
  Calls result;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const HostCall& call : calls_) {
    if (call.kind != HostCall::Kind::TraceWrite && call.kind != HostCall::Kind::TraceFlush &&
        call.kind != HostCall::Kind::TraceRelease) {
      result.push_back(call);
    }
  }
  return result;
}

std::vector<std::wstring> RecordingHost::Traces() const {
  std::vector<std::wstring> result;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const HostCall& call : calls_) {
    if (call.kind == HostCall::Kind::TraceWrite) result.push_back(call.trace);
  }
  return result;
}

std::vector<std::wstring> RecordingHost::TracesContaining(std::wstring_view text) const {
  std::vector<std::wstring> result;
  for (std::wstring& trace : Traces()) {
    if (trace.find(text) != std::wstring::npos) result.push_back(std::move(trace));
  }
  return result;
}

std::size_t RecordingHost::Count(HostCall::Kind kind) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(), [kind](const HostCall& call) { return call.kind == kind; }));
}

void RecordingHost::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

bool RecordingHost::WaitFor(const std::function<bool(const Calls&)>& predicate,
                            std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return predicate(calls_); });
}

bool RecordingHost::WaitForCall(HostCall::Kind kind, std::chrono::milliseconds timeout) const {
  return WaitFor(
      [kind](const Calls& calls) {
        return std::any_of(calls.begin(), calls.end(), [kind](const HostCall& call) { return call.kind == kind; });
      },
      timeout);
}

bool RecordingHost::WaitForTrace(std::wstring_view text, std::chrono::milliseconds timeout) const {
  return WaitFor(
      [text](const Calls& calls) {
        return std::any_of(calls.begin(), calls.end(), [text](const HostCall& call) {
          return call.kind == HostCall::Kind::TraceWrite && call.trace.find(text) != std::wstring::npos;
        });
      },
      timeout);
}

std::string RecordingHost::Format(const HostCall& call) {
  std::ostringstream line;
  line << KindName(call.kind);
  switch (call.kind) {
    case HostCall::Kind::SetEngineVersion:
      line << " version=" << Quote(std::string_view(call.version));
      break;
    case HostCall::Kind::ReportItem: {
      const RecordedReport& r = call.report;
      line << " patternId=" << r.patternId << " resultCode=" << r.resultCode << " genericPattern=" << r.genericPattern
           << " elementType=" << r.elementType << " controlData="
           << (r.controlDataNull ? std::string("null")
                                 : Quote(std::string_view(reinterpret_cast<const char*>(r.controlData.data()),
                                                          r.controlData.size())))
           << " controlPath=" << QuoteOptional(r.controlPath) << " userAction=" << QuoteOptional(r.userAction)
           << " desiredState=" << QuoteOptional(r.desiredState)
           << " patternVersion=" << QuoteOptional(r.patternVersion);
      if (r.reserved1 != 0 || r.reserved2 != 0) line << " reserved1=" << r.reserved1 << " reserved2=" << r.reserved2;
      break;
    }
    case HostCall::Kind::ReportProcessedTotal:
      line << " count=" << call.count;
      break;
    case HostCall::Kind::ReportProcessedItems:
      line << " window=0x" << std::hex << std::uppercase << call.window << std::dec << " count=" << call.count;
      break;
    case HostCall::Kind::TraceWrite:
      line << " level=" << call.level << ' ' << Quote(std::wstring_view(call.trace));
      break;
    case HostCall::Kind::BlockPatternAdded:
    case HostCall::Kind::TraceFlush:
    case HostCall::Kind::TraceRelease:
      break;
  }
  return line.str();
}

std::string RecordingHost::FormatCalls(bool includeTraces) const {
  std::string out;
  for (const HostCall& call : includeTraces ? AllCalls() : ServiceCalls()) {
    out += Format(call);
    out += '\n';
  }
  return out;
}

}  // namespace simwin

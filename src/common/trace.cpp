#include "common/trace.h"

#include <iomanip>
#include <mutex>

#include "common/text.h"

namespace installation_assistant {

namespace detail {
std::atomic<std::int32_t> traceThreshold{static_cast<std::int32_t>(TraceLevel::All)};
}  // namespace detail

namespace {

// A factory call on one thread may replace the sink while other threads are writing.
// Writers copy the pointer under this lock and call the sink outside it, so a replaced
// sink (and the host writer it releases) lives until its last write has returned.
struct SinkSlot {
  std::mutex mutex;
  std::shared_ptr<TraceSink> sink;  // null: discard, as at module load

  ~SinkSlot() {
    // Module unload: the adapter releases the host's writer here. Late writers see null.
    std::shared_ptr<TraceSink> last;
    std::lock_guard<std::mutex> lock(mutex);
    last.swap(sink);
  }
};
SinkSlot sinkSlot;

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Index just past the ')' matching the '(' at open, or npos.
std::size_t SkipParentheses(std::string_view text, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i + 1;
  }
  return std::string_view::npos;
}

}  // namespace

TraceLevel MapTraceLevel(unsigned int value) {
  return value <= static_cast<unsigned int>(TraceLevel::Off) ? static_cast<TraceLevel>(value) : TraceLevel::All;
}

std::shared_ptr<TraceSink> ExchangeTraceSink(std::shared_ptr<TraceSink> sink) {
  std::lock_guard<std::mutex> lock(sinkSlot.mutex);
  sinkSlot.sink.swap(sink);
  return sink;
}

std::shared_ptr<TraceSink> CurrentTraceSink() {
  std::lock_guard<std::mutex> lock(sinkSlot.mutex);
  return sinkSlot.sink;
}

void SetTraceThreshold(TraceLevel threshold) {
  detail::traceThreshold.store(static_cast<std::int32_t>(threshold), std::memory_order_relaxed);
}

TraceLevel TraceThreshold() {
  return static_cast<TraceLevel>(detail::traceThreshold.load(std::memory_order_relaxed));
}

void FlushTrace() {
  if (auto sink = CurrentTraceSink()) sink->Flush();
}

std::string NormalizeFunctionName(std::string_view signature) {
  // Find the '(' that opens the parameter list: the first one outside template
  // arguments that is not part of "operator()" or "(anonymous namespace)".
  std::size_t open = std::string_view::npos;
  int angle = 0;
  for (std::size_t i = 0; i < signature.size(); ++i) {
    const char c = signature[i];
    if (c == '<') {
      ++angle;
    } else if (c == '>') {
      if (angle > 0) --angle;
    } else if (c == '(' && angle == 0) {
      if (EndsWith(signature.substr(0, i), "operator") && StartsWith(signature.substr(i), "()(")) {
        ++i;
        continue;
      }
      if (StartsWith(signature.substr(i), "(anonymous ")) {
        const std::size_t end = SkipParentheses(signature, i);
        if (end == std::string_view::npos) break;
        i = end - 1;
        continue;
      }
      open = i;
      break;
    }
  }
  if (open == std::string_view::npos) return std::string(signature);

  // The name starts after the return type, if there is one.
  std::size_t start = 0;
  angle = 0;
  int parentheses = 0;
  for (std::size_t i = open; i-- > 0;) {
    const char c = signature[i];
    if (c == '>') ++angle;
    if (c == '<' && angle > 0) --angle;
    if (c == ')') ++parentheses;
    if (c == '(' && parentheses > 0) --parentheses;
    if (c == ' ' && angle == 0 && parentheses == 0) {
      start = i + 1;
      break;
    }
  }
  std::string name(signature.substr(start, open - start));

  const std::size_t close = SkipParentheses(signature, open);
  const std::string_view rest = close == std::string_view::npos ? std::string_view() : signature.substr(close);
  // GCC: "F()::<lambda()>"; Clang: "F()::(anonymous class)::operator()() const".
  if (rest.find("::<lambda") != std::string_view::npos || rest.find("::(anonymous class)") != std::string_view::npos ||
      rest.find("::(lambda") != std::string_view::npos) {
    name += "::<lambda_1>::operator ()";
  }
  return name;
}

std::wstring FunctionNameField(std::string_view qualifiedName, int line) {
  std::string_view name = qualifiedName;
  const std::size_t lambda = name.find("::<lambda_");
  const bool inLambda = lambda != std::string_view::npos;
  if (inLambda) name = name.substr(0, lambda);

  // Keep the last two components: drop everything up to the third ':' from the end.
  std::size_t hit = std::string_view::npos;
  std::size_t from = std::string_view::npos;
  for (int found = 0; found < 3; ++found) {
    hit = name.rfind(':', from);
    if (hit == std::string_view::npos || (found < 2 && hit == 0)) {
      hit = std::string_view::npos;
      break;
    }
    from = hit - 1;
  }
  if (hit != std::string_view::npos) name = name.substr(hit + 1);

  std::wstring field = Utf8ToWide(name);
  if (inLambda) field += L"::lambda_line_" + std::to_wstring(line);
  field += L'\t';
  return field;
}

void WritePointer(std::wostream& stream, const void* pointer) {
  const std::ios_base::fmtflags flags = stream.flags();
  const wchar_t fill = stream.fill();
  stream << std::hex << std::uppercase << std::setfill(L'0') << std::setw(8)
         << reinterpret_cast<std::uintptr_t>(pointer);
  stream.flags(flags);
  stream.fill(fill);
}

TraceRecord::TraceRecord(TraceLevel level, const char* function, int line) : enabled_(true), level_(level) {
  stream_ << FunctionNameField(NormalizeFunctionName(function ? function : ""), line);
}

TraceRecord::~TraceRecord() {
  if (!enabled_) return;
  try {
    if (auto sink = CurrentTraceSink()) sink->Write(stream_.str(), level_);
  } catch (...) {
    // A trace must never take its writer down.
  }
}

TraceRecord& TraceRecord::operator<<(std::string_view text) {
  stream_ << Utf8ToWide(text);
  return *this;
}

TraceRecord& TraceRecord::operator<<(std::wstring_view text) {
  stream_ << text;
  return *this;
}

TraceRecord& TraceRecord::operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
  stream_ << manipulator;
  return *this;
}

void TraceException(const char* where) noexcept {
  if (where == nullptr) where = "";
  try {
    try {
      throw;
    } catch (const std::logic_error& error) {
      TRACE_AS(Error, "TraceException") << "Logic error: " << where << ": " << error.what();
    } catch (const _com_error& error) {
      TRACE_AS(Error, "TraceException") << "COM Error 0x" << std::hex << static_cast<std::uint32_t>(error.Error())
                                        << ": " << where << ": " << error.ErrorMessage();
    } catch (const std::exception& error) {
      TRACE_AS(Error, "TraceException") << "Error: " << where << ": " << error.what();
    } catch (...) {
      TRACE_AS(Error, "TraceException") << "Unknown error: " << where;
    }
  } catch (...) {
    // Out of memory while tracing: the exception is consumed all the same.
  }
}

TraceScope::TraceScope(std::string name) : name_(std::move(name)) { TRACE(Debug) << "Enter scope " << name_; }

TraceScope::~TraceScope() {
  try {
    TRACE(Debug) << "Exit scope " << name_;
  } catch (...) {
  }
}

std::wstring DescribeWindow(HWND window) {
  wchar_t text[1001] = {};
  GetWindowTextW(window, text, 1001);
  wchar_t className[1024] = {};
  const int classLength = GetClassNameW(window, className, 1024);

  std::wostringstream description;
  description << L"{ Handle: ";
  WritePointer(description, window);
  description << L", Class: '" << std::wstring(className, classLength > 0 ? classLength : 0) << L"'";
  description << L", Parent: 0x";
  WritePointer(description, GetParent(window));
  description << L", Text: '" << text << L"'";
  description << L", Style: 0x" << std::hex << static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  description << L", ExStyle: 0x" << static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)) << L" }";
  return description.str();
}

}  // namespace installation_assistant

// The engine's diagnostic trace: one process-wide sink and threshold, records built on
// the writer's stack and handed to the sink when complete.
//
//   TRACE(Info) << "Started pid waiter, waiting for process " << pid << " to exit";
//   TRACE_AS(Error, "TraceException") << ...;   // when the written name is fixed
//
// Above the threshold a TRACE statement costs one comparison: its message parts are not
// evaluated.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/win32.h"

namespace installation_assistant {
enum class TraceLevel : std::int32_t { All = 0, Debug = 1, Info = 2, Warning = 3, Error = 4, Critical = 5, Off = 6 };

// 0 to 6 are levels; anything else, including what a host passes by mistake, is All.
TraceLevel MapTraceLevel(unsigned int value);

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Write(const std::wstring& text, TraceLevel level) = 0;
  virtual void Flush() = 0;
};

class NullTraceWriter final : public TraceSink {
 public:
  void Write(const std::wstring&, TraceLevel) override {}
  void Flush() override {}
};

// Process-wide state. A null sink discards. Exchange returns the replaced sink so that
// the caller decides when it is destroyed.
std::shared_ptr<TraceSink> ExchangeTraceSink(std::shared_ptr<TraceSink> sink);
std::shared_ptr<TraceSink> CurrentTraceSink();
void SetTraceThreshold(TraceLevel threshold);
TraceLevel TraceThreshold();
void FlushTrace();

namespace detail {
// Atomic because a factory call may change it while other threads write records.
extern std::atomic<std::int32_t> traceThreshold;
}  // namespace detail

inline bool IsTraceEnabled(TraceLevel level) {
  return detail::traceThreshold.load(std::memory_order_relaxed) <= static_cast<std::int32_t>(level);
}

// The compiler's signature of a function ("void ns::Engine::Run()", a lambda's
// "ns::Engine::Run()::<lambda()>") as a qualified name ("ns::Engine::Run", a lambda as
// "ns::Engine::Run::<lambda_1>::operator ()"). A plain name comes back unchanged.
std::string NormalizeFunctionName(std::string_view signature);
// The field every record starts with: the name cut to its last two components, the
// line for lambdas, a tab.
std::wstring FunctionNameField(std::string_view qualifiedName, int line);

// Pointers and handles in traces: 8 upper-case hex digits, zero-padded, no prefix.
void WritePointer(std::wostream& stream, const void* pointer);

class TraceRecord {
 public:
  TraceRecord(TraceLevel level, const char* function, int line);
  ~TraceRecord();
  TraceRecord(const TraceRecord&) = delete;
  TraceRecord& operator=(const TraceRecord&) = delete;

  TraceRecord& operator<<(std::string_view text);
  TraceRecord& operator<<(const std::string& text) { return *this << std::string_view(text); }
  TraceRecord& operator<<(const char* text) { return *this << std::string_view(text ? text : ""); }
  TraceRecord& operator<<(std::wstring_view text);
  TraceRecord& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }
  TraceRecord& operator<<(const wchar_t* text) { return *this << std::wstring_view(text ? text : L""); }
  TraceRecord& operator<<(char c) { return *this << std::string_view(&c, 1); }
  TraceRecord& operator<<(wchar_t c) { return *this << std::wstring_view(&c, 1); }
  TraceRecord& operator<<(bool value) { return Integer(value ? 1 : 0); }
  TraceRecord& operator<<(std::ios_base& (*manipulator)(std::ios_base&));

  template <typename T>
    requires(std::is_integral_v<T>)
  TraceRecord& operator<<(T value) {
    return Integer(value);
  }
  template <typename T>
    requires(std::is_enum_v<T>)
  TraceRecord& operator<<(T value) {
    return Integer(static_cast<std::underlying_type_t<T>>(value));
  }
  template <typename T>
    requires(!std::is_same_v<std::remove_cv_t<T>, char> && !std::is_same_v<std::remove_cv_t<T>, wchar_t>)
  TraceRecord& operator<<(T* pointer) {
    WritePointer(stream_, static_cast<const void*>(pointer));
    return *this;
  }

 private:
  template <typename T>
  TraceRecord& Integer(T value) {
    stream_ << value;
    return *this;
  }
  TraceRecord& Integer(signed char value) { return Integer(static_cast<int>(value)); }
  TraceRecord& Integer(unsigned char value) { return Integer(static_cast<unsigned>(value)); }

  bool enabled_;
  TraceLevel level_;
  std::wostringstream stream_;
};

// Lets a record be the last operand of the ?: in TRACE_AS.
struct TraceVoidify {
  void operator&(const TraceRecord&) const {}
};

// Traces the exception being handled; only valid inside a catch handler. Never throws.
void TraceException(const char* where) noexcept;

// "Enter scope <name>" now, "Exit scope <name>" when the scope ends.
class TraceScope {
 public:
  explicit TraceScope(std::string name);
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

 private:
  std::string name_;
};

// "{ Handle: ..., Class: '...', Parent: 0x..., Text: '...', Style: 0x..., ExStyle: 0x... }"
std::wstring DescribeWindow(HWND window);

}  // namespace installation_assistant

#if defined(__GNUC__) || defined(__clang__)
#define IAE_FUNCTION_SIGNATURE __PRETTY_FUNCTION__
#else
#define IAE_FUNCTION_SIGNATURE __FUNCTION__
#endif

#define TRACE_AS(level, functionName)                                                               \
  !::installation_assistant::IsTraceEnabled(::installation_assistant::TraceLevel::level)            \
      ? (void)0                                                                                     \
      : ::installation_assistant::TraceVoidify() &                                                  \
            ::installation_assistant::TraceRecord(::installation_assistant::TraceLevel::level, functionName, \
                                                  __LINE__)

// Inside a lambda the compiler's signature names the enclosing function, so records
// written there read "Enclosing::Function::lambda_line_N".
#define TRACE(level) TRACE_AS(level, IAE_FUNCTION_SIGNATURE)

// `iae sim run --json`: standard output carries the JSON records and nothing else.
#pragma once

#include <ostream>
#include <streambuf>

namespace iae_tool {

// While it lives, file descriptor 1 is standard error, so that whatever else in the process
// writes to standard output (the engine prints its pattern parser's messages there) lands on
// standard error; Stream() writes to the real standard output.
class JsonOnlyStdout {
 public:
  JsonOnlyStdout();
  ~JsonOnlyStdout();
  JsonOnlyStdout(const JsonOnlyStdout&) = delete;
  JsonOnlyStdout& operator=(const JsonOnlyStdout&) = delete;

  std::ostream& Stream() { return stream_; }

 private:
  class DescriptorBuffer final : public std::streambuf {
   public:
    explicit DescriptorBuffer(int fd) : fd_(fd) {}

   protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* data, std::streamsize count) override;

   private:
    int fd_;
  };

  int saved_;  // the original standard output
  DescriptorBuffer buffer_;
  std::ostream stream_;
};

}  // namespace iae_tool

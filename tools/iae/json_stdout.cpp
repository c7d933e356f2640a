#include "json_stdout.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace iae_tool {

namespace {

int FlushAndDuplicateStdout() {
  std::cout.flush();
  std::fflush(stdout);
  return ::dup(STDOUT_FILENO);
}

}  // namespace

JsonOnlyStdout::JsonOnlyStdout() : saved_(FlushAndDuplicateStdout()), buffer_(saved_), stream_(&buffer_) {
  if (saved_ < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) stream_.setstate(std::ios::badbit);
}

JsonOnlyStdout::~JsonOnlyStdout() {
  std::cout.flush();
  std::fflush(stdout);
  if (saved_ >= 0) {
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }
}

JsonOnlyStdout::DescriptorBuffer::int_type JsonOnlyStdout::DescriptorBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

// Unbuffered: each record leaves as the runner writes it, as on a terminal.
std::streamsize JsonOnlyStdout::DescriptorBuffer::xsputn(const char* data, std::streamsize count) {
  std::streamsize written = 0;
  while (written < count) {
    const ssize_t result = ::write(fd_, data + written, static_cast<std::size_t>(count - written));
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) break;
    written += result;
  }
  return written;
}

}  // namespace iae_tool

#include "watch/pass_figures.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "uielement/tree_bounds.h"

namespace installation_assistant {
namespace {

std::atomic<bool> keeping{false};
std::mutex figuresLock;
std::map<HWND, PassFigures> figures;

}  // namespace

void KeepPassFigures(bool keep) {
  std::lock_guard<std::mutex> guard(figuresLock);
  figures.clear();
  keeping = keep;
}

std::map<HWND, PassFigures> TakePassFigures() {
  std::lock_guard<std::mutex> guard(figuresLock);
  return std::exchange(figures, {});
}

PassMeter::PassMeter(HWND window) : window_(window), kept_(keeping.load()) {
  if (!kept_) return;
  elementsBefore_ = ElementsTakenOnThisThread();
  start_ = std::chrono::steady_clock::now();
}

PassMeter::~PassMeter() {
  if (!kept_) return;
  const auto took = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_).count());
  const long elements = ElementsTakenOnThisThread() - elementsBefore_;
  std::lock_guard<std::mutex> guard(figuresLock);
  if (!keeping) return;
  PassFigures& window = figures[window_];
  ++window.passes;
  window.microseconds += took;
  window.longestMicroseconds = std::max(window.longestMicroseconds, took);
  window.elements += static_cast<std::uint64_t>(elements);
}

}  // namespace installation_assistant

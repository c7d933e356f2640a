// --snapshots: PNG pictures of the installer's windows when a page is shown, shortly after each batch of the engine's
// actions, and in the final state. A thread of its own takes them, reading simwin's state directly.
#include "scenario_run.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "snapshot.h"

namespace iae_tool::detail {

namespace {

// Letters, digits, '-' and '_' of a name, lower case, runs of anything else as one '-'.
std::string FileNamePart(const std::string& name) {
  std::string part;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '_' || c == '-') {
      part += static_cast<char>(std::tolower(c));
    } else if (!part.empty() && part.back() != '-') {
      part += '-';
    }
  }
  while (!part.empty() && part.back() == '-') part.pop_back();
  return part.empty() ? "window" : part;
}

}  // namespace

bool ScenarioRun::StartPictures() {
  if (options_.snapshotDir.empty()) return true;
  namespace fs = std::filesystem;
  const fs::path dir(options_.snapshotDir);
  std::error_code error;
  fs::create_directories(dir, error);
  if (!error && !fs::is_directory(dir, error)) error = std::make_error_code(std::errc::not_a_directory);
  // A file written and removed tells whether pictures can go there, before the run rather than at its end.
  if (!error) {
    const fs::path probe = dir / ".iae-snapshots-probe";
    if (std::ofstream(probe, std::ios::binary | std::ios::trunc)) {
      std::error_code ignored;
      fs::remove(probe, ignored);
    } else {
      error = std::make_error_code(std::errc::permission_denied);
    }
  }
  if (error) {
    story_.Always("cannot write pictures in " + options_.snapshotDir + ": " + error.message() + "\n");
    return false;
  }
  host_->OnBatch([this](int window) {
    int batch;
    {
      std::lock_guard<std::mutex> lock(picturesMutex_);
      batch = ++batchCount_;
    }
    // Shortly after: the installer has then handled what the engine's last action made it do, and the engine may not
    // have gone on yet (its sticker for the batch is then half faded in).
    AskPicture(reinterpret_cast<HWND>(static_cast<std::intptr_t>(window)), "after-actions-" + std::to_string(batch),
               std::chrono::milliseconds(150));
  });
  pictureThread_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(picturesMutex_);
    while (!picturesStopping_) {
      if (pictureQueue_.empty()) {
        picturesChanged_.wait(lock);
        continue;
      }
      // A copy: while this waits, a request asked for meanwhile may move the queue's elements.
      const Clock::time_point due = pictureQueue_.front().due;
      if (picturesChanged_.wait_until(lock, due) != std::cv_status::timeout) continue;
      const PictureRequest request = pictureQueue_.front();
      pictureQueue_.erase(pictureQueue_.begin());
      lock.unlock();
      TakePictures(request);
      lock.lock();
    }
  });
  return true;
}

void ScenarioRun::AskPicture(HWND window, std::string moment, std::chrono::milliseconds delay) {
  if (options_.snapshotDir.empty()) return;
  {
    std::lock_guard<std::mutex> lock(picturesMutex_);
    if (picturesStopping_) return;
    PictureRequest request{Clock::now() + delay, window, std::move(moment)};
    const auto at = std::upper_bound(pictureQueue_.begin(), pictureQueue_.end(), request,
                                     [](const PictureRequest& a, const PictureRequest& b) { return a.due < b.due; });
    pictureQueue_.insert(at, std::move(request));
  }
  picturesChanged_.notify_all();
}

std::vector<std::pair<HWND, std::string>> ScenarioRun::InstallerWindows() {
  std::vector<std::pair<HWND, std::string>> windows;
  const std::optional<simwin::WindowView> desktop = simwin::ViewWindow(GetDesktopWindow());
  if (!desktop || !installer_) return windows;
  std::lock_guard<std::mutex> lock(pagesMutex_);
  for (const HWND hwnd : desktop->children) {
    const std::optional<simwin::WindowView> view = simwin::ViewWindow(hwnd);
    if (!view || view->processId != installer_->Id()) continue;
    std::string name = FileNamePart(WideToUtf8(view->text));
    for (std::size_t p = 0; p < pages_.size(); ++p) {
      const std::vector<HWND>& had = pages_[p].windows;
      if (std::find(had.begin(), had.end(), hwnd) != had.end()) name = FileNamePart(scenario_.installer.pages[p].name);
    }
    windows.emplace_back(hwnd, name);
  }
  return windows;
}

void ScenarioRun::TakePictures(const PictureRequest& request) {
  iae_snapshot::PictureOptions options;
  {
    std::lock_guard<std::mutex> lock(pagesMutex_);
    for (std::size_t p = 0; p < pages_.size(); ++p) {
      const std::vector<ScenarioControl>& controls = scenario_.installer.pages[p].controls;
      for (std::size_t c = 0; c < controls.size() && c < pages_[p].controls.size(); ++c) {
        if (!controls[c].toolkitClass.empty()) options.standardClasses[pages_[p].controls[c]] = controls[c].className;
      }
    }
  }
  std::vector<std::pair<HWND, std::string>> windows = InstallerWindows();
  // A batch's window is the top-level window of the control it was about; a window not the installer's, or none, asks
  // for every visible one.
  const HWND asked = request.window != nullptr ? GetAncestor(request.window, GA_ROOT) : nullptr;
  const bool known = std::any_of(windows.begin(), windows.end(), [&](const auto& w) { return w.first == asked; });
  std::erase_if(windows, [&](const auto& w) {
    return known ? w.first != asked : IsWindowVisible(w.first) == FALSE;
  });
  for (const auto& [hwnd, name] : windows) {
    int number;
    {
      std::lock_guard<std::mutex> lock(picturesMutex_);
      number = ++pictureCount_;
    }
    char prefix[16];
    std::snprintf(prefix, sizeof(prefix), "%02d-", number);
    const std::string file = prefix + name + "-" + request.moment + ".png";
    const std::string path = (std::filesystem::path(options_.snapshotDir) / file).string();
    const iae_snapshot::PictureResult result = iae_snapshot::WriteWindowPicture(hwnd, path, options);
    if (result.written) {
      story_.Line("snapshot", path + " (" + std::to_string(result.width) + "x" + std::to_string(result.height) + ")");
    } else {
      story_.Line("snapshot", file + " not written: " + result.error);
      if (result.error.rfind("cannot write", 0) == 0) Fail("picture " + result.error);
    }
  }
}

void ScenarioRun::FinalPictures() {
  if (options_.snapshotDir.empty()) return;
  StopPictures();
  std::vector<PictureRequest> pending;
  {
    std::lock_guard<std::mutex> lock(picturesMutex_);
    pending.swap(pictureQueue_);
  }
  for (const PictureRequest& request : pending) TakePictures(request);
  TakePictures(PictureRequest{Clock::now(), nullptr, "final"});
}

void ScenarioRun::StopPictures() {
  {
    std::lock_guard<std::mutex> lock(picturesMutex_);
    picturesStopping_ = true;
  }
  picturesChanged_.notify_all();
  if (pictureThread_.joinable()) pictureThread_.join();
}

}  // namespace iae_tool::detail

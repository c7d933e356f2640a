// Pictures of simwin's top-level windows as PNG files: the frame and title, the controls by class and style, what
// the windows painted (their display lists), the elements of custom accessible and UI Automation trees, and the
// layered sticker the engine puts next to a window, composited with its opacity.
#pragma once

#include <map>
#include <string>

#include "platform/win32.h"

namespace iae_snapshot {

struct PictureOptions {
  // Controls of a UI toolkit's own classes, by the standard class they behave as ("Button", "Static", "Edit").
  std::map<HWND, std::wstring> standardClasses;
  // Visible layered windows of this class are drawn into the picture of a window they touch or lie this near.
  std::wstring stickerClass = L"QuorvantaUncheckerNotification";
  int stickerReach = 100;
};

struct PictureResult {
  bool written = false;
  std::string error;  // why not, when not written
  int width = 0;
  int height = 0;
};

// Renders the top-level `window` as it stands now into a PNG at `path`. Reads simwin's state directly: safe from any
// thread, and no message goes to the window's thread.
PictureResult WriteWindowPicture(HWND window, const std::string& path, const PictureOptions& options = {});

}  // namespace iae_snapshot

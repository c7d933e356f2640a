// The sticker: a small layered window next to an installer window that tells the user what the engine did. It
// fades in, stays three seconds, fades out and closes itself, without ever taking the focus. Everything here
// runs on the thread that owns the sticker's window (the engine thread).
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "platform/win32.h"

namespace installation_assistant::notification {

inline constexpr wchar_t kStickerClassName[] = L"QuorvantaUncheckerNotification";
// Place yourself next to the target window again.
inline constexpr UINT kStickerReplaceMessage = WM_USER + 1;
// Close now.
inline constexpr UINT kStickerCloseMessage = WM_USER + 2;
// The timer's period; the sticker's clock advances by it on every tick, not by measured time.
inline constexpr UINT kStickerTickMs = 20;

// An icon handle with one owner.
class UniqueIcon {
 public:
  UniqueIcon() = default;
  explicit UniqueIcon(HICON icon) : icon_(icon) {}
  UniqueIcon(UniqueIcon&& other) noexcept : icon_(std::exchange(other.icon_, nullptr)) {}
  UniqueIcon& operator=(UniqueIcon&& other) noexcept {
    if (this != &other) {
      Reset();
      icon_ = std::exchange(other.icon_, nullptr);
    }
    return *this;
  }
  UniqueIcon(const UniqueIcon&) = delete;
  UniqueIcon& operator=(const UniqueIcon&) = delete;
  ~UniqueIcon() { Reset(); }

  HICON Get() const { return icon_; }
  HICON Release() { return std::exchange(icon_, nullptr); }
  void Reset() noexcept;

 private:
  HICON icon_ = nullptr;
};

// The sticker's window class. A class outlives the windows made from it (the system refuses to unregister a class
// while a window of it exists, WM_DESTROY included), so its owner, not a sticker, unregisters it, after the last
// sticker is gone and before the module that holds the window procedure may go.
class StickerClass {
 public:
  explicit StickerClass(HINSTANCE module);
  ~StickerClass();
  StickerClass(const StickerClass&) = delete;
  StickerClass& operator=(const StickerClass&) = delete;

  // Registers the class on first use; false when it cannot be registered and no class of that name exists.
  bool Ensure();
  HINSTANCE Module() const { return module_; }

 private:
  HINSTANCE module_;
  bool registered_ = false;
  HBRUSH background_ = nullptr;
};

// The icon a host's icon directory (the bytes of an .ico file) holds for the sticker's size, or none when the bytes
// are not a well-formed directory whose chosen image lies within them.
UniqueIcon IconFromDirectory(const unsigned char* bytes, std::size_t size);

// Shows a sticker with `text` (one line) and `icon` (taken; may be empty) next to `target`. Returns its window, or
// nullptr when none could be made (the icon is then destroyed).
HWND CreateNotificationSticker(StickerClass& stickerClass, HWND target, const std::wstring& text, UniqueIcon icon);

// The opacity at `elapsedMs` of the sticker's life: fade in over 300 ms, stay, fade out over the last 300 ms of
// 3.6 s; -1 once it is over.
int StickerOpacity(unsigned elapsedMs);

// Where a sticker of size (width, height) goes for a target window with rectangle `target` on a monitor whose work
// area is `workArea`: centred below the target, or inside its lower part when below would leave the work area.
POINT StickerPosition(const RECT& target, const RECT& workArea, int width, int height);

}  // namespace installation_assistant::notification

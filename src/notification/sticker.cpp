#include "notification/sticker.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <vector>

#include "common/trace.h"

namespace installation_assistant::notification {
namespace {

constexpr COLORREF kBackground = RGB(248, 248, 248);
constexpr COLORREF kBorder = RGB(160, 200, 160);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr int kMarginLeft = 10;
constexpr int kMarginTop = 5;
constexpr int kMarginRight = 10;
constexpr int kMarginBottom = 5;
constexpr int kSpacing = 5;
constexpr unsigned kFadeMs = 300;
constexpr unsigned kLifeMs = 3600;
constexpr UINT_PTR kTimerId = 0;

SIZE WindowSize(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return SIZE{0, 0};
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The controls side by side, each centred in the row's height.
class Row {
 public:
  void Add(HWND control) { controls_.push_back(control); }

  SIZE Measure() const {
    int width = kMarginLeft + kMarginRight + kSpacing * (static_cast<int>(controls_.size()) - 1);
    int height = 0;
    for (HWND control : controls_) {
      const SIZE size = WindowSize(control);
      width += size.cx;
      height = std::max<int>(height, size.cy);
    }
    return SIZE{width, kMarginTop + height + kMarginBottom};
  }

  void Arrange(int x0, int y0) const {
    const int rowHeight = Measure().cy;
    int x = x0 + kMarginLeft;
    for (HWND control : controls_) {
      const SIZE size = WindowSize(control);
      const int y = y0 + (kMarginTop - kMarginBottom - size.cy + rowHeight) / 2;
      SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      x += size.cx + kSpacing;
    }
  }

 private:
  std::vector<HWND> controls_;
};

// Owned by its window: deleted on WM_DESTROY.
class Sticker {
 public:
  Sticker(HWND target, std::wstring text, UniqueIcon icon)
      : target_(target),
        text_(std::move(text)),
        icon_(std::move(icon)),
        font_(CreateFontA(18, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, "Segoe UI")),
        background_(CreateSolidBrush(kBackground)) {}
  ~Sticker() {
    if (font_ != nullptr) DeleteObject(font_);
    if (background_ != nullptr) DeleteObject(background_);
  }
  Sticker(const Sticker&) = delete;
  Sticker& operator=(const Sticker&) = delete;

  // Adopts the window: from here on the window owns this object.
  void Attach(HWND window) {
    window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  void Start(HINSTANCE module) {
    SetTimer(window_, kTimerId, kStickerTickMs, nullptr);
    elapsed_ = 0;
    AddIconControl(module);
    AddTextControl(module);
    row_.Arrange(0, 0);
    Place();
    const SIZE size = WindowSize(window_);
    if (size.cx > 0 && size.cy > 0) {
      const HRGN region = CreateRoundRectRgn(0, 0, size.cx, size.cy, 4, 4);
      // The window owns the region only when the call succeeds.
      if (region != nullptr && !SetWindowRgn(window_, region, TRUE)) DeleteObject(region);
    }
    // Until the first tick the layered window has no opacity, so it shows nothing.
    ShowWindow(window_, SW_SHOWNOACTIVATE);
  }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_PAINT:
        Paint();
        Place();
        return 0;
      case WM_TIMER:
        Tick();  // may have closed the window: nothing of this object may be touched afterwards
        return 0;
      case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, kText);
        SetBkColor(dc, kBackground);
        return reinterpret_cast<LRESULT>(background_);
      }
      case kStickerReplaceMessage:
        Place();
        return 0;
      case kStickerCloseMessage:
        SendMessageW(window_, WM_CLOSE, 0, 0);
        return 0;
      default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
  }

  HWND Window() const { return window_; }

 private:
  void AddIconControl(HINSTANCE module) {
    const HWND control = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ICON, 0, 0, 0, 0, window_,
                                         nullptr, module, nullptr);
    if (control == nullptr) return;
    // The control sizes itself to the icon; without one it stays empty and 0 x 0.
    if (icon_.Get() != nullptr) SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon_.Get()), 0);
    row_.Add(control);
  }

  void AddTextControl(HINSTANCE module) {
    RECT measured{0, 0, 0, 0};
    if (const HDC screen = GetDC(nullptr)) {
      const HGDIOBJ previous = SelectObject(screen, font_);
      DrawTextW(screen, text_.c_str(), -1, &measured, DT_CALCRECT | DT_NOCLIP | DT_SINGLELINE);
      SelectObject(screen, previous);
      ReleaseDC(nullptr, screen);
    }
    const HWND control = CreateWindowExW(0, L"STATIC", text_.c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                                         measured.right - measured.left, measured.bottom - measured.top, window_,
                                         nullptr, module, nullptr);
    if (control == nullptr) return;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    row_.Add(control);
  }

  void Place() {
    RECT target{};
    // A target that is gone leaves the sticker where it is; its DESTROY event closes it.
    if (!GetWindowRect(target_, &target)) return;
    RECT workArea{INT_MIN / 2, INT_MIN / 2, INT_MAX / 2, INT_MAX / 2};  // no monitor: nothing stops it
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(target_, MONITOR_DEFAULTTONEAREST), &monitor)) workArea = monitor.rcWork;
    const SIZE size = row_.Measure();
    const POINT at = StickerPosition(target, workArea, size.cx, size.cy);
    SetWindowPos(window_, nullptr, at.x, at.y, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }

  void Paint() {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window_, &paint);
    if (dc == nullptr) return;
    const SIZE size = WindowSize(window_);
    const HPEN pen = CreatePen(PS_SOLID, 1, kBorder);
    const HGDIOBJ previousBrush = SelectObject(dc, background_);
    const HGDIOBJ previousPen = pen != nullptr ? SelectObject(dc, pen) : nullptr;
    RoundRect(dc, 0, 0, size.cx - 1, size.cy - 1, 5, 5);
    SelectObject(dc, previousBrush);
    if (pen != nullptr) {
      SelectObject(dc, previousPen);
      DeleteObject(pen);
    }
    EndPaint(window_, &paint);
  }

  void Tick() {
    elapsed_ += kStickerTickMs;
    const int opacity = StickerOpacity(elapsed_);
    if (opacity < 0) {
      // WM_CLOSE destroys the window, and WM_DESTROY deletes this object.
      SendMessageW(window_, WM_CLOSE, 0, 0);
      return;
    }
    SetLayeredWindowAttributes(window_, 0, static_cast<BYTE>(opacity), LWA_ALPHA);
  }

  HWND window_ = nullptr;
  HWND target_;
  std::wstring text_;
  UniqueIcon icon_;
  HFONT font_;
  HBRUSH background_;
  unsigned elapsed_ = 0;
  Row row_;
};

LRESULT CALLBACK StickerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* sticker = reinterpret_cast<Sticker*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (sticker == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_DESTROY) {
    KillTimer(window, kTimerId);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete sticker;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return sticker->Handle(message, wParam, lParam);
}

}  // namespace

void UniqueIcon::Reset() noexcept {
  if (icon_ != nullptr) DestroyIcon(std::exchange(icon_, nullptr));
}

StickerClass::StickerClass(HINSTANCE module) : module_(module) {}

StickerClass::~StickerClass() {
  if (!registered_) return;
  if (!UnregisterClassW(kStickerClassName, module_)) {
    // A sticker still exists (its thread could not destroy it): its class must keep its brush.
    TRACE(Warning) << "Sticker class left registered, error " << GetLastError();
    return;
  }
  DeleteObject(background_);
}

bool StickerClass::Ensure() {
  if (registered_) return true;
  if (background_ == nullptr) background_ = CreateSolidBrush(kBackground);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DROPSHADOW | CS_NOCLOSE | CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = &StickerProcedure;
  windowClass.hInstance = module_;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = background_;
  windowClass.lpszClassName = kStickerClassName;
  if (RegisterClassExW(&windowClass) != 0) {
    registered_ = true;
    return true;
  }
  // Someone else's class of that name would do as well: the window is made from whatever is registered.
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  return GetClassInfoExW(module_, kStickerClassName, &existing) != 0;
}

int StickerOpacity(unsigned elapsedMs) {
  if (elapsedMs < kFadeMs) return static_cast<int>(elapsedMs * 255 / kFadeMs);
  if (elapsedMs < kLifeMs - kFadeMs) return 255;
  if (elapsedMs < kLifeMs) return static_cast<int>((kLifeMs - elapsedMs) * 255 / kFadeMs);
  return -1;
}

POINT StickerPosition(const RECT& target, const RECT& workArea, int width, int height) {
  POINT at{(target.left + target.right - width) / 2, 0};
  // Strictly inside the work area below the target; otherwise over the target's lower part.
  at.y = target.bottom + 5 + height < workArea.bottom ? target.bottom + 5 : target.bottom - height - 80;
  return at;
}

HWND CreateNotificationSticker(StickerClass& stickerClass, HWND target, const std::wstring& text, UniqueIcon icon) {
  auto sticker = std::make_unique<Sticker>(target, text, std::move(icon));
  if (!stickerClass.Ensure()) {
    TRACE(Warning) << "Sticker class cannot be registered, error " << GetLastError();
    return nullptr;
  }
  const HWND window =
      CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW, kStickerClassName, nullptr, WS_POPUP | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                      stickerClass.Module(), nullptr);
  if (window == nullptr) {
    TRACE(Warning) << "Sticker window cannot be created, error " << GetLastError();
    return nullptr;
  }
  Sticker* owned = sticker.release();  // the window owns it from here on
  owned->Attach(window);
  owned->Start(stickerClass.Module());
  return window;
}

}  // namespace installation_assistant::notification

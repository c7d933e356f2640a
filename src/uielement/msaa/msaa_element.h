// One MSAA element (a full IAccessible object, or a simple element inside its parent's
// object) with what has been read from it. Reads are lazy and cached until Refresh; each
// failing call raises _com_error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/option.h"
#include "platform/win32.h"
#include "common/com_handles.h"
#include "uielement/element_type.h"
#include "uielement/tree_bounds.h"

namespace installation_assistant {

ElementType ElementTypeFromRole(LONG role);

class MSAAUIElement {
 public:
  MSAAUIElement(ComPtr<IAccessible> object, LONG childId, std::shared_ptr<TreeBounds> bounds);

  LONG ChildId() const { return childId_; }
  IAccessible* Object() const { return object_.Get(); }
  const std::shared_ptr<TreeBounds>& Bounds() const { return bounds_; }

  LONG Role();
  ElementType Type() { return ElementTypeFromRole(Role()); }
  LONG CachedState();
  LONG LiveState();
  Option<std::string> Name();
  HWND WindowHandle();
  // At most kMaxChildrenPerElement; a simple element has none.
  std::vector<MSAAUIElement>& RawChildren();
  // Not cached; None at the top.
  Option<MSAAUIElement> ParentObject();
  // An empty rectangle when the object cannot tell.
  RECT Location();
  HRESULT DoDefaultAction();
  void Refresh();

  // Exactly one visible raw child, and it has that window handle: a window object that
  // only wraps a client area.
  bool HasSingleVisibleChildOf(HWND window);
  // Kept type, except a window object that only wraps its own client area.
  bool IsInteresting();
  // When this object stands for a child window of `parent` whose style gives its frame no part but the client
  // area, that client object, fetched in one request. None otherwise (then the frame's parts must be read).
  Option<MSAAUIElement> ClientOfBareChildWindow(HWND parent);
  // The child window whose client object this is, when it was taken as one; 0 otherwise (an object's handle may
  // be its container's).
  HWND WindowOfClient() const { return clientOf_; }

  // The window whose UI Automation rectangle stands for this element when UI Automation
  // cannot convert the object itself. Throws std::logic_error when the handle is shared
  // with an ancestor that is itself an element.
  HWND LocationWindow();
  // The rectangle as UI Automation reports it (DPI-aware).
  RECT GetDPIAwareLocation();

 private:
  VARIANT Self() const { return ChildVariant(childId_); }

  ComPtr<IAccessible> object_;
  LONG childId_;
  std::shared_ptr<TreeBounds> bounds_;
  Option<std::vector<MSAAUIElement>> rawChildren_;
  Option<HWND> windowHandle_;
  HWND clientOf_ = nullptr;
  Option<LONG> role_;
  Option<Option<std::string>> name_;
  Option<LONG> state_;
};

}  // namespace installation_assistant

// RAII owners for the COM kinds the element backends hold: interface pointers, BSTRs
// and VARIANTs.
#pragma once

#include <utility>

#include <type_traits>
#include <vector>

#include "platform/win32.h"

namespace installation_assistant {

// One counted reference to an interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already owns (an out parameter's).
  static ComPtr Attach(T* pointer) {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* pointer) {
    if (pointer) pointer->AddRef();
    return Attach(pointer);
  }
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_) pointer_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For out parameters: releases what is held first.
  T** Receive() {
    Reset();
    return &pointer_;
  }
  void Reset() {
    if (T* pointer = std::exchange(pointer_, nullptr)) pointer->Release();
  }

 private:
  T* pointer_ = nullptr;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    std::swap(bstr_, other.bstr_);
    return *this;
  }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { SysFreeString(bstr_); }

  BSTR Get() const { return bstr_; }
  BSTR* Receive() {
    SysFreeString(std::exchange(bstr_, nullptr));
    return &bstr_;
  }

 private:
  BSTR bstr_ = nullptr;
};

class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&variant_); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { VariantClear(&variant_); }

  const VARIANT& Get() const { return variant_; }
  VARIANT* Receive() {
    VariantClear(&variant_);
    return &variant_;
  }

 private:
  VARIANT variant_;
};

// Calls such as AccessibleChildren fill a plain VARIANT array; a vector of owners is one,
// since an owner is exactly its VARIANT.
static_assert(sizeof(UniqueVariant) == sizeof(VARIANT) && std::is_standard_layout_v<UniqueVariant>);
inline VARIANT* VariantArrayData(std::vector<UniqueVariant>& variants) {
  return variants.empty() ? nullptr : reinterpret_cast<VARIANT*>(variants.data());
}

// A VT_I4 argument naming a child (CHILDID_SELF for the object itself); owns nothing.
inline VARIANT ChildVariant(LONG childId) {
  VARIANT variant;
  VariantInit(&variant);
  variant.vt = VT_I4;
  variant.lVal = childId;
  return variant;
}

}  // namespace installation_assistant

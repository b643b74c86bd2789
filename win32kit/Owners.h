// Owners for the Windows resources every Windows piece holds: kernel
// handles, registry keys, modules, device-information lists, BSTRs and
// SAFEARRAYs (one template over a small traits record each), COM references,
// VARIANTs and records borrowed from a type description. Each releases
// exactly once, moves without leaking what it held, and is empty at its
// resource's own "nothing" value.
#pragma once

#include <utility>

#include "win32kit/WinHeaders.h"

namespace win32kit {

// Owns one resource described by Traits: Type, Empty() and Close(value).
// Traits may also give IsEmpty(value) when more than one value means "none".
template <typename Traits>
class UniqueOwner {
 public:
  using Type = typename Traits::Type;

  UniqueOwner() noexcept : mValue(Traits::Empty()) {}
  // Takes ownership of `value`.
  explicit UniqueOwner(Type value) noexcept : mValue(value) {}
  ~UniqueOwner() { Reset(); }
  UniqueOwner(const UniqueOwner&) = delete;
  UniqueOwner& operator=(const UniqueOwner&) = delete;
  UniqueOwner(UniqueOwner&& other) noexcept : mValue(other.Detach()) {}
  UniqueOwner& operator=(UniqueOwner&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }

  Type Get() const { return mValue; }
  bool IsOpen() const { return !IsEmpty(mValue); }
  explicit operator bool() const { return IsOpen(); }
  // For out-parameters: releases what was held and gives the slot.
  Type* Put() {
    Reset();
    return &mValue;
  }
  // Releases what was held and takes `value`.
  void Reset(Type value = Traits::Empty()) {
    Type old = std::exchange(mValue, value);
    if (!IsEmpty(old)) Traits::Close(old);
  }
  // Hands the resource to the caller.
  Type Detach() { return std::exchange(mValue, Traits::Empty()); }

 private:
  static bool IsEmpty(Type value) {
    if constexpr (HasIsEmpty<Traits>(0)) {
      return Traits::IsEmpty(value);
    } else {
      return value == Traits::Empty();
    }
  }
  template <typename T>
  static constexpr auto HasIsEmpty(int) -> decltype(T::IsEmpty(T::Empty()), bool()) {
    return true;
  }
  template <typename T>
  static constexpr bool HasIsEmpty(...) {
    return false;
  }

  Type mValue;
};

// A kernel handle (file, pipe, event, process, thread, mutex, port). Some
// calls fail with NULL and others with INVALID_HANDLE_VALUE; neither is a
// handle to close, so both count as empty.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static bool IsEmpty(Type value) { return !value || value == INVALID_HANDLE_VALUE; }
  static void Close(Type value) { ::CloseHandle(value); }
};
using UniqueHandle = UniqueOwner<KernelHandleTraits>;

struct RegKeyTraits {
  using Type = HKEY;
  static Type Empty() { return nullptr; }
  static void Close(Type value) { ::RegCloseKey(value); }
};
using UniqueHkey = UniqueOwner<RegKeyTraits>;

struct ModuleTraits {
  using Type = HMODULE;
  static Type Empty() { return nullptr; }
  static void Close(Type value) { ::FreeLibrary(value); }
};
using UniqueHmodule = UniqueOwner<ModuleTraits>;

// A null BSTR is also the empty text.
struct BstrTraits {
  using Type = BSTR;
  static Type Empty() { return nullptr; }
  static void Close(Type value) { ::SysFreeString(value); }
};
using UniqueBstr = UniqueOwner<BstrTraits>;

struct SafeArrayTraits {
  using Type = SAFEARRAY*;
  static Type Empty() { return nullptr; }
  static void Close(Type value) { ::SafeArrayDestroy(value); }
};
using UniqueSafeArray = UniqueOwner<SafeArrayTraits>;

// A counted COM reference.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  // Adopts a reference the caller already owns.
  static ComRef Adopt(T* p) {
    ComRef ref;
    ref.mp = p;
    return ref;
  }
  // Adds a reference of its own.
  static ComRef Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }
  ~ComRef() { Reset(); }
  ComRef(const ComRef& other) : mp(other.mp) {
    if (mp) mp->AddRef();
  }
  ComRef& operator=(const ComRef& other) {
    ComRef copy(other);
    std::swap(mp, copy.mp);
    return *this;
  }
  ComRef(ComRef&& other) noexcept : mp(std::exchange(other.mp, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      mp = std::exchange(other.mp, nullptr);
    }
    return *this;
  }

  T* Get() const { return mp; }
  T* operator->() const { return mp; }
  explicit operator bool() const { return mp != nullptr; }
  // For out-parameters: releases what was held and gives the slot.
  T** Put() {
    Reset();
    return &mp;
  }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(mp, nullptr); }
  void Reset() {
    if (T* p = std::exchange(mp, nullptr)) p->Release();
  }

 private:
  T* mp = nullptr;
};

// A VARIANT, cleared on destruction. It moves, but is not assigned: a
// variant is filled through Get().
class UniqueVariant {
 public:
  UniqueVariant() { VariantInit(&mValue); }
  ~UniqueVariant() { VariantClear(&mValue); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  UniqueVariant(UniqueVariant&& other) noexcept : mValue(other.mValue) {
    VariantInit(&other.mValue);
  }
  UniqueVariant& operator=(UniqueVariant&&) = delete;
  VARIANT* Get() { return &mValue; }
  const VARIANT* Get() const { return &mValue; }

 private:
  VARIANT mValue;
};

// A record borrowed from a type description (FUNCDESC, TYPEATTR), given back
// to it on destruction.
template <typename T, void (STDMETHODCALLTYPE ITypeInfo::*GiveBack)(T*)>
class ScopedTypeRecord {
 public:
  ScopedTypeRecord(ITypeInfo* info, T* record) : mInfo(info), mRecord(record) {}
  ~ScopedTypeRecord() {
    if (mRecord) (mInfo->*GiveBack)(mRecord);
  }
  ScopedTypeRecord(const ScopedTypeRecord&) = delete;
  ScopedTypeRecord& operator=(const ScopedTypeRecord&) = delete;
  const T* operator->() const { return mRecord; }
  const T* Get() const { return mRecord; }

 private:
  ITypeInfo* mInfo;
  T* mRecord;
};

using ScopedFuncDesc = ScopedTypeRecord<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>;
using ScopedTypeAttr = ScopedTypeRecord<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>;

}  // namespace win32kit

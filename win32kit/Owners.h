// Owners for the COM and Win32 resources the automation frame holds: COM
// references, BSTRs, VARIANTs, registry keys and type-description records.
// Each releases exactly once and moves without leaking what it held.
#pragma once

#include <utility>

#include "service/win32/WinHeaders.h"

namespace quillvane::win32 {

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

class UniqueBstr {
 public:
  UniqueBstr() = default;
  explicit UniqueBstr(BSTR value) : mValue(value) {}
  ~UniqueBstr() { SysFreeString(mValue); }
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  UniqueBstr(UniqueBstr&& other) noexcept : mValue(std::exchange(other.mValue, nullptr)) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept {
    if (this != &other) {
      SysFreeString(mValue);
      mValue = std::exchange(other.mValue, nullptr);
    }
    return *this;
  }
  BSTR Get() const { return mValue; }
  BSTR* Put() {
    SysFreeString(std::exchange(mValue, nullptr));
    return &mValue;
  }
  BSTR Detach() { return std::exchange(mValue, nullptr); }

 private:
  BSTR mValue = nullptr;
};

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

class UniqueHkey {
 public:
  UniqueHkey() = default;
  ~UniqueHkey() { Reset(); }
  UniqueHkey(const UniqueHkey&) = delete;
  UniqueHkey& operator=(const UniqueHkey&) = delete;
  UniqueHkey(UniqueHkey&& other) noexcept : mKey(std::exchange(other.mKey, nullptr)) {}
  UniqueHkey& operator=(UniqueHkey&& other) noexcept {
    if (this != &other) {
      Reset();
      mKey = std::exchange(other.mKey, nullptr);
    }
    return *this;
  }
  HKEY Get() const { return mKey; }
  HKEY* Put() {
    Reset();
    return &mKey;
  }
  void Reset() {
    if (HKEY key = std::exchange(mKey, nullptr)) RegCloseKey(key);
  }

 private:
  HKEY mKey = nullptr;
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

}  // namespace quillvane::win32

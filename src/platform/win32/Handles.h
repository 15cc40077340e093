// Windows handles owned, one type per kind, each closed once by the call its
// kind needs; and the run mutex, whose acquire() returns the ownership it
// got as a guard that releases it.
#pragma once

#include <windows.h>

#include <utility>

namespace platform::win32 {

// Kind: Handle (the type), None() (the value that holds nothing) and
// Close(handle).
template <typename Kind>
class Unique {
 public:
  using Handle = typename Kind::Handle;
  Unique() noexcept = default;
  explicit Unique(Handle handle) noexcept : handle_(handle) {}
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~Unique() {
    if (*this) Kind::Close(handle_);
  }
  Handle get() const noexcept { return handle_; }
  // For a call that may replace the handle it is given (AddSIDToBoundaryDescriptor).
  Handle* address() noexcept { return &handle_; }
  Handle release() noexcept { return std::exchange(handle_, Kind::None()); }
  explicit operator bool() const noexcept { return handle_ != Kind::None(); }

 private:
  Handle handle_ = Kind::None();
};

struct KernelObject {  // a process token, a mutex: null when none
  using Handle = HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
struct OpenFile {  // CreateFileW: INVALID_HANDLE_VALUE when none
  using Handle = HANDLE;
  static Handle None() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { ::CloseHandle(handle); }
};
struct BoundaryDescriptor {
  using Handle = HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle handle) { ::DeleteBoundaryDescriptor(handle); }
};
// Closed, never destroyed (PRIVATE_NAMESPACE_FLAG_DESTROY): another run may
// be in it still, and it goes with its last handle.
struct PrivateNamespace {
  using Handle = HANDLE;
  static Handle None() { return nullptr; }
  static void Close(Handle handle) { ::ClosePrivateNamespace(handle, 0); }
};
struct LocalMemory {  // what a call allocated with LocalAlloc for its caller to free
  using Handle = HLOCAL;
  static Handle None() { return nullptr; }
  static void Close(Handle handle) { ::LocalFree(handle); }
};

using UniqueHandle = Unique<KernelObject>;
using UniqueFile = Unique<OpenFile>;
using UniqueBoundary = Unique<BoundaryDescriptor>;
using UniqueNamespace = Unique<PrivateNamespace>;
using UniqueLocal = Unique<LocalMemory>;

// A mutex owned, and the ownership that acquire() gets.
class Mutex {
 public:
  // Released when it goes, unless it holds nothing.
  class Ownership {
   public:
    Ownership() noexcept = default;
    Ownership(Ownership&& other) noexcept : mutex_(std::exchange(other.mutex_, nullptr)) {}
    Ownership& operator=(Ownership other) noexcept {
      std::swap(mutex_, other.mutex_);
      return *this;
    }
    ~Ownership() {
      if (mutex_ != nullptr) ::ReleaseMutex(mutex_);
    }
    explicit operator bool() const noexcept { return mutex_ != nullptr; }

   private:
    friend class Mutex;
    explicit Ownership(HANDLE mutex) noexcept : mutex_(mutex) {}
    HANDLE mutex_ = nullptr;
  };

  struct Acquired {
    Ownership ownership;         // empty unless the wait got the mutex
    ::DWORD wait = WAIT_FAILED;  // what WaitForSingleObject returned
    ::DWORD error = 0;           // GetLastError, for WAIT_FAILED
  };

  Mutex() noexcept = default;
  explicit Mutex(UniqueHandle handle) noexcept : handle_(std::move(handle)) {}
  explicit operator bool() const noexcept { return static_cast<bool>(handle_); }

  // Waits up to milliseconds. A mutex that its owner did not release
  // (WAIT_ABANDONED: killed, powered off) is owned as well.
  Acquired acquire(::DWORD milliseconds) {
    Acquired acquired;
    acquired.wait = ::WaitForSingleObject(handle_.get(), milliseconds);
    if (acquired.wait == WAIT_OBJECT_0 || acquired.wait == WAIT_ABANDONED)
      acquired.ownership = Ownership(handle_.get());
    else if (acquired.wait == WAIT_FAILED)
      acquired.error = ::GetLastError();
    return acquired;
  }

 private:
  UniqueHandle handle_;
};

}  // namespace platform::win32

// File system calls as the program makes them (kernel32), for telling
// whether the files a data source names are there, and the worker threads
// that bound a look which a server that does not answer would hold for
// minutes.
//
// Include this before <windows.h>: the constants below are macros there.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Registry.h"

namespace platform {

using HANDLE = void*;
using ULONGLONG = std::uint64_t;

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x40;

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_BAD_NETPATH = 53;
inline constexpr LONG ERROR_BAD_NET_NAME = 67;
inline constexpr LONG ERROR_CALL_NOT_IMPLEMENTED = 120;
inline constexpr LONG ERROR_INVALID_NAME = 123;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The attributes of a file or folder; INVALID_FILE_ATTRIBUTES when it
  // cannot be had, with the reason left for GetLastError.
  virtual DWORD GetFileAttributesA(const char* lpFileName) = 0;
  // The 32-bit system folder of 64-bit Windows; 0 with
  // ERROR_CALL_NOT_IMPLEMENTED on 32-bit Windows, which has none.
  virtual UINT GetSystemWow64DirectoryA(char* lpBuffer, UINT uSize) = 0;
  // The status the last failed call of the calling thread left.
  virtual DWORD GetLastError() = 0;

  // CreateThread running work (the start routine with its parameter); the
  // thread's handle, or null with the reason left for GetLastError. A
  // thread that is never waited for to the end may outlive its handle and
  // the caller: work must own everything it touches.
  virtual HANDLE CreateThread(std::function<void()> work) = 0;
  // WAIT_OBJECT_0 once the thread has ended, WAIT_TIMEOUT when it has not
  // within dwMilliseconds, WAIT_FAILED for a handle that is not one.
  virtual DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) = 0;
  // Asks that the call the thread is blocked in give up (its result is
  // then ERROR_OPERATION_ABORTED); does not wait for it. FALSE when there
  // is nothing it can cancel.
  virtual BOOL CancelSynchronousIo(HANDLE hThread) = 0;
  virtual BOOL CloseHandle(HANDLE hObject) = 0;
  // Milliseconds since the system started.
  virtual ULONGLONG GetTickCount64() = 0;
};

// Owns one handle of a FileSystem and closes it exactly once.
class UniqueHandle {
 public:
  UniqueHandle(FileSystem& files, HANDLE handle) noexcept : files_(&files), handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : files_(other.files_), handle_(other.handle_) {
    other.handle_ = nullptr;
  }
  UniqueHandle& operator=(UniqueHandle&&) = delete;
  ~UniqueHandle() {
    if (handle_ != nullptr) files_->CloseHandle(handle_);
  }
  HANDLE Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }

 private:
  FileSystem* files_;
  HANDLE handle_;
};

// Ends the program with uExitCode once what it wrote is flushed, as
// returning from main does, but without waiting for anything: a worker
// thread still blocked in a look that never came back does not hold it.
[[noreturn]] void ExitProcess(UINT uExitCode);

}  // namespace platform

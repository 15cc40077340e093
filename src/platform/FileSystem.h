// File system calls as the program makes them (kernel32), for telling
// whether the files a data source names are there, and a worker thread to
// bound a call that a server which does not answer would hold for minutes.
//
// Include this before <windows.h>: the constants below are macros there.
#pragma once

#include <functional>

#include "platform/Registry.h"

namespace platform {

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;

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
  // CreateThread running work, then WaitForSingleObject on that thread for
  // up to dwMilliseconds: WAIT_OBJECT_0 when work has returned, WAIT_TIMEOUT
  // when not (the thread is then abandoned and ends with the process, so
  // work must own everything it touches), WAIT_FAILED when no thread could
  // be started.
  virtual DWORD CreateThreadAndWait(std::function<void()> work, DWORD dwMilliseconds) = 0;
};

}  // namespace platform

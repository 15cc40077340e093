// Windows paths on a machine without Windows, laid out as Wine lays out a
// prefix, below a folder (the one holding HKLM.reg):
//
//   C:\Windows\odbcjt32.dll          dosdevices/c:/Windows/odbcjt32.dll
//   \\SERVER\SHARE\Current\x.mdb     dosdevices/unc/SERVER/SHARE/Current/x.mdb
//
// Names are compared without regard to case, as Windows does. A path may
// lead through symbolic links (as Wine's own dosdevices/c: -> ../drive_c
// does), but not out of the folder. A FIFO, device or socket is only looked
// at, never opened (FILE_ATTRIBUTE_DEVICE, as no file of a Windows drive or
// share is one).
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/FileSystem.h"

namespace platform::portable {

class PrefixFileSystem : public FileSystem {
 public:
  PrefixFileSystem(std::string folder, bool is32Bit) : folder_(std::move(folder)), is32Bit_(is32Bit) {}

  DWORD GetFileAttributesA(const char* lpFileName) override;
  // C:\Windows\SysWOW64 unless is32Bit: a processor identifier "x86 ...", which
  // makes this 32-bit Windows here as for the registry branch the program chooses.
  UINT GetSystemWow64DirectoryA(char* lpBuffer, UINT uSize) override;
  DWORD GetLastError() override;
  // Detached std::threads. A call blocked in the kernel cannot be cancelled
  // from another thread here: CancelSynchronousIo says
  // ERROR_CALL_NOT_IMPLEMENTED.
  HANDLE CreateThread(std::function<void()> work) override;
  DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) override;
  BOOL CancelSynchronousIo(HANDLE hThread) override;
  BOOL CloseHandle(HANDLE hObject) override;
  ULONGLONG GetTickCount64() override;

  static constexpr const char* kWow64Directory = "C:\\Windows\\SysWOW64";

 private:
  struct Thread;

  std::string folder_;
  bool is32Bit_;
  std::map<HANDLE, std::shared_ptr<Thread>> threads_;  // by handle, each shared with its thread
};

}  // namespace platform::portable

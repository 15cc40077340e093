// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/FileSystem.h"
#include "platform/win32/Backend.h"

#include <windows.h>
#include <process.h>
// clang-format on

#include <cstdio>
#include <memory>

// Outside namespace platform: the Windows macros spell DWORD and UINT
// unqualified, and mean Windows' own.
namespace {

unsigned __stdcall RunWork(void* parameter) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  (*work)();
  return 0;
}

class Win32FileSystem final : public platform::FileSystem {
 public:
  platform::DWORD GetFileAttributesA(const char* lpFileName) override {
    return ::GetFileAttributesA(lpFileName);
  }
  platform::UINT GetSystemWow64DirectoryA(char* lpBuffer, platform::UINT uSize) override {
    return ::GetSystemWow64DirectoryA(lpBuffer, uSize);
  }
  platform::DWORD GetLastError() override { return ::GetLastError(); }

  // The C runtime's thread start (the program's C runtime is msvcrt), so
  // that work may use it; the thread owns work. The handle has every
  // access to the thread, CancelSynchronousIo's THREAD_TERMINATE included.
  HANDLE CreateThread(std::function<void()> work) override {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    const auto thread =
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, RunWork, owned.get(), 0, nullptr));
    if (thread != nullptr) owned.release();
    return thread;
  }
  platform::DWORD WaitForSingleObject(HANDLE hHandle, platform::DWORD dwMilliseconds) override {
    return ::WaitForSingleObject(hHandle, dwMilliseconds);
  }
  platform::BOOL CancelSynchronousIo(HANDLE hThread) override { return ::CancelSynchronousIo(hThread); }
  platform::BOOL CloseHandle(HANDLE hObject) override { return ::CloseHandle(hObject); }
  platform::ULONGLONG GetTickCount64() override { return ::GetTickCount64(); }
};

}  // namespace

namespace platform {

namespace win32 {

FileSystem& TheFileSystem() {
  // Never destroyed: a thread that was not waited for to its end may still
  // be inside one of its calls while the program ends.
  static auto* const files = new Win32FileSystem;
  return *files;
}

}  // namespace win32

// ExitProcess ends the other threads without waiting for them; the C
// runtime's buffers are flushed first, as exit would.
void ExitProcess(UINT uExitCode) {
  std::fflush(nullptr);
  ::ExitProcess(uExitCode);
}

}  // namespace platform

// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/SystemInfo.h"
#include "platform/win32/Backend.h"

#include <windows.h>
#include "platform/win32/SystemTime.h"
// clang-format on

#include <cstring>

// Outside namespace platform: the Windows macros spell HKEY, DWORD and LONG
// unqualified, and mean Windows' own.
namespace {

using namespace platform::win32;

static_assert(sizeof(platform::OSVERSIONINFOA) == sizeof(::OSVERSIONINFOA));

class Win32SystemInfo final : public platform::SystemInfo {
 public:
  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* lpVersionInformation) override {
    if (!lpVersionInformation) return ::GetVersionExA(nullptr);
    // The size field says which record the caller means; room is made for
    // the extended one, and the part the program's record has is copied back.
    ::OSVERSIONINFOEXA native;
    std::memset(&native, 0, sizeof native);
    native.dwOSVersionInfoSize = lpVersionInformation->dwOSVersionInfoSize;
    BOOL ok = ::GetVersionExA(reinterpret_cast<::OSVERSIONINFOA*>(&native));
    if (ok) {
      lpVersionInformation->dwMajorVersion = native.dwMajorVersion;
      lpVersionInformation->dwMinorVersion = native.dwMinorVersion;
      lpVersionInformation->dwBuildNumber = native.dwBuildNumber;
      lpVersionInformation->dwPlatformId = native.dwPlatformId;
      static_assert(sizeof native.szCSDVersion == sizeof lpVersionInformation->szCSDVersion);
      std::memcpy(lpVersionInformation->szCSDVersion, native.szCSDVersion, sizeof native.szCSDVersion);
    }
    return ok;
  }

  platform::UINT GetSystemDirectoryA(char* lpBuffer, platform::UINT uSize) override {
    return ::GetSystemDirectoryA(lpBuffer, uSize);
  }

  void GetLocalTime(platform::SYSTEMTIME* lpSystemTime) override {
    ::SYSTEMTIME now;
    ::GetLocalTime(&now);
    *lpSystemTime = ProgramTime(now);
  }
};

}  // namespace

namespace platform::win32 {

std::unique_ptr<platform::SystemInfo> MakeSystemInfo() {
  return std::make_unique<Win32SystemInfo>();
}

}  // namespace platform::win32

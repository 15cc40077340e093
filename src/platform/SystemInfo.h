// System information calls as the program makes them (kernel32).
#pragma once

#include "platform/Registry.h"

namespace platform {

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record is 148 bytes");

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

inline constexpr UINT MAX_PATH = 260;

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;

  virtual BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation) = 0;
  virtual UINT GetSystemDirectoryA(char* lpBuffer, UINT uSize) = 0;
  virtual void GetLocalTime(SYSTEMTIME* lpSystemTime) = 0;
};

}  // namespace platform

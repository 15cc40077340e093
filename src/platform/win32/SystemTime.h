// The program's SYSTEMTIME from Windows' own. Include it after <windows.h>.
// It does not include platform/SystemInfo.h, where the program's record is:
// that header comes before <windows.h>, whose macros spell some of its names.
#pragma once

namespace platform::win32 {

// The same fields in the same order, copied one by one: the two records are
// separate types.
inline platform::SYSTEMTIME ProgramTime(const ::SYSTEMTIME& time) {
  return {time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
          time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
}

}  // namespace platform::win32

// marvane_hold_run_lock SECONDS: owns MarvaneSetup's run mutex, as a run in
// progress does, says "held" on standard output, and after SECONDS ends
// without releasing it, as a run that is killed does.
// clang-format off
#include "platform/win32/Session.h"

#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) return 87;
  HANDLE lock = ::CreateMutexA(nullptr, TRUE, platform::win32::kRunMutexName);
  if (lock == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  std::puts("held");
  std::fflush(stdout);
  ::Sleep(static_cast<DWORD>(std::atoi(argv[1])) * 1000);
  return 0;
}

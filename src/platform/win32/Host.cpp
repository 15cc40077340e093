// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/Host.h"
#include "platform/win32/Backend.h"
#include "platform/win32/Session.h"

namespace {
// Named before <windows.h> turns these names into macros.
constexpr platform::HKEY kLocalMachine = platform::HKEY_LOCAL_MACHINE;
constexpr platform::DWORD kCreateSubKey = platform::KEY_CREATE_SUB_KEY;
constexpr platform::LONG kSuccess = platform::ERROR_SUCCESS;
}  // namespace

#include <windows.h>
// clang-format on

#include <cstdio>
#include <string>

namespace platform {

namespace {

class Win32Host final : public Host {
 public:
  Win32Host()
      : registry_(win32::MakeRegistry()),
        system_(win32::MakeSystemInfo()),
        windowing_(win32::MakeWindowing()) {}

  Registry& registry() override { return *registry_; }
  SystemInfo& system() override { return *system_; }
  Windowing& windowing() override { return *windowing_; }
  FileSystem& files() override { return win32::TheFileSystem(); }

  bool Interactive() override { return win32::SomeoneCanSeeTheScreen(win32::CurrentSessionFacts()); }

  std::string UserName() override {
    char name[257] = {};
    ::DWORD size = sizeof name;
    if (!::GetUserNameA(name, &size)) return "(unknown)";
    return name;
  }

  // GetVersionExA reports Windows 8 (6.2) to a program whose manifest names
  // no later Windows; RtlGetVersion reports the real one. It is ntdll's, in
  // no import library this build links, so it is looked up at run time.
  std::string SystemVersion() override {
    using RtlGetVersionCall = ::LONG(WINAPI*)(::OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const FARPROC found = ntdll != nullptr ? ::GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    ::OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    // Through void (*)(): a cast between unrelated function types draws a warning.
    if (found == nullptr ||
        reinterpret_cast<RtlGetVersionCall>(reinterpret_cast<void (*)()>(found))(&info) != 0)
      return "Windows (version unknown)";
    char version[64];
    std::snprintf(version, sizeof version, "Windows %lu.%lu build %lu", info.dwMajorVersion,
                  info.dwMinorVersion, info.dwBuildNumber);
    return version;
  }

  // Creating keys under HKEY_LOCAL_MACHINE\SOFTWARE needs administrator rights.
  bool RegistryWritable() override {
    UniqueKey key(*registry_);
    if (registry_->RegOpenKeyExA(kLocalMachine, "SOFTWARE", 0, kCreateSubKey, key.Put()) != kSuccess) {
      key.Release();
      return false;
    }
    return true;
  }

  // Windows keeps every registry write itself: nothing is left to do.
  bool Close(std::string& error) override {
    error.clear();
    return true;
  }

 private:
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<SystemInfo> system_;
  std::unique_ptr<Windowing> windowing_;
};

}  // namespace

// A GUI program has no console of its own. Output redirected to a file or a
// pipe is used as it is; otherwise the console of the program that started
// this one, where there is one.
bool AttachStandardOutput() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN) return true;
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  if (std::freopen("CONOUT$", "w", stdout) == nullptr) return false;
  // Errors there too where that works; standard output is what matters.
  (void)std::freopen("CONOUT$", "w", stderr);
  return true;
}

OpenedHost OpenHost(bool) {
  // Reading only needs nothing special here: the program then never writes.
  return OpenedHost{std::make_unique<Win32Host>(), {}};
}

}  // namespace platform

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

#include <chrono>
#include <cstdio>
#include <string>

namespace platform {

namespace {

class Win32Host final : public Host {
 public:
  // runLock: the run mutex, owned, or null for a run that only reads.
  explicit Win32Host(HANDLE runLock)
      : runLock_(runLock),
        registry_(win32::MakeRegistry()),
        system_(win32::MakeSystemInfo()),
        windowing_(win32::MakeWindowing()) {}
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;
  ~Win32Host() override {
    if (runLock_ == nullptr) return;
    ::ReleaseMutex(runLock_);
    ::CloseHandle(runLock_);
  }

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
    return key.Open(kLocalMachine, "SOFTWARE", kCreateSubKey) == kSuccess;
  }

  // Windows keeps every registry write itself: nothing is left to do.
  bool Close(std::string& error) override {
    error.clear();
    return true;
  }

 private:
  HANDLE runLock_;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<SystemInfo> system_;
  std::unique_ptr<Windowing> windowing_;
};

}  // namespace

namespace {

// The C runtime leaves standard output unbuffered on a character device (a
// console, NUL, a port), and MinGW-w64's printf writes a character at a
// time: each would be a write of its own, and on every write the runtime
// asks again whether the handle is a console. Buffered, a line is one write
// (the log flushes each line). Decided once, from the handle's type.
void BufferCharacterDevice(HANDLE out) {
  if (::GetFileType(out) == FILE_TYPE_CHAR) std::setvbuf(stdout, nullptr, _IOFBF, 4096);
}

}  // namespace

// A GUI program has no console of its own. Output redirected to a file or a
// pipe is used as it is; otherwise the console of the program that started
// this one, where there is one. The console build has its console already.
bool AttachStandardOutput() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN) {
    BufferCharacterDevice(out);
    return true;
  }
  if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return false;
  if (std::freopen("CONOUT$", "w", stdout) == nullptr) return false;
  // Errors there too where that works; standard output is what matters.
  (void)std::freopen("CONOUT$", "w", stderr);
  BufferCharacterDevice(::GetStdHandle(STD_OUTPUT_HANDLE));
  return true;
}

OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds runWait) {
  // Reading only needs nothing special here: the program then never writes,
  // and a look at a registry that another run is changing is still a true
  // answer for that moment.
  if (readOnly) return OpenedHost{std::make_unique<Win32Host>(nullptr), {}, 0};

  // Without elevation every write would fail, one key after another.
  if (!win32::ProcessIsElevated()) {
    return {nullptr,
            "MarvaneSetup: installing or removing the data sources needs administrator rights. Run it "
            "from a prompt opened with \"Run as administrator\", or start MarvaneSetup.exe, which asks "
            "for them. Nothing was changed.",
            kElevationRequiredStatus};
  }

  // Not owned at creation: a mutex that exists already would not be granted
  // then (ERROR_ALREADY_EXISTS); the wait below takes it either way. A run
  // that may not open it with full access (made by another account) may
  // still wait on it.
  HANDLE lock = ::CreateMutexA(nullptr, FALSE, win32::kRunMutexName);
  if (lock == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED)
    lock = ::OpenMutexA(SYNCHRONIZE, FALSE, win32::kRunMutexName);
  if (lock == nullptr) {
    return {nullptr,
            "MarvaneSetup: the run lock " + std::string(win32::kRunMutexName) + " cannot be opened (error " +
                std::to_string(::GetLastError()) + "). Nothing was changed.",
            kCannotOpenStatus};
  }
  const auto milliseconds = static_cast<DWORD>(runWait.count());
  switch (::WaitForSingleObject(lock, milliseconds)) {
    case WAIT_OBJECT_0:
    // A run that ended without releasing it (killed, powered off) left its
    // work cut short; this run completes it, as after any interrupted run.
    case WAIT_ABANDONED:
      return OpenedHost{std::make_unique<Win32Host>(lock), {}, 0};
    case WAIT_TIMEOUT:
      ::CloseHandle(lock);
      return {nullptr,
              "MarvaneSetup: another run of setup has been changing this machine for " +
                  std::to_string(milliseconds / 1000) +
                  " seconds and has not finished. Nothing was changed; run it again once that run has ended.",
              kAlreadyRunningStatus};
    default: {
      const DWORD error = ::GetLastError();
      ::CloseHandle(lock);
      return {nullptr,
              "MarvaneSetup: waiting for the run lock failed (error " + std::to_string(error) +
                  "). Nothing was changed.",
              kCannotOpenStatus};
    }
  }
}

}  // namespace platform

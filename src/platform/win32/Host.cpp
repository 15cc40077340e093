// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/Host.h"
#include "platform/Process.h"
#include "platform/win32/Backend.h"
#include "platform/win32/Session.h"
#include "platform/win32/Utf8.h"

namespace {
// Named before <windows.h> turns these names into macros.
constexpr platform::HKEY kLocalMachine = platform::HKEY_LOCAL_MACHINE;
constexpr platform::DWORD kCreateSubKey = platform::KEY_CREATE_SUB_KEY;
constexpr platform::LONG kSuccess = platform::ERROR_SUCCESS;
}  // namespace

#include <windows.h>
#include <shellapi.h>
#include "platform/win32/RunTurn.h"
// clang-format on

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

class Win32Host final : public Host {
 public:
  // turn: taken, or none for a run that only reads.
  explicit Win32Host(win32::RunTurn turn)
      : turn_(std::move(turn)),
        registry_(win32::MakeRegistry()),
        system_(win32::MakeSystemInfo()),
        windowing_(win32::MakeWindowing()) {}
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

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
  win32::RunTurn turn_;  // given back when the host goes, after the registry is closed
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
  if (readOnly) return OpenedHost{std::make_unique<Win32Host>(win32::RunTurn{}), {}, 0};

  const auto milliseconds = static_cast<DWORD>(runWait.count());
  win32::TakenTurn taken = win32::TakeRunTurn(milliseconds);
  if (taken.turn.ownership) return OpenedHost{std::make_unique<Win32Host>(std::move(taken.turn)), {}, 0};
  if (taken.busy)
    return {nullptr,
            "MarvaneSetup: another run of setup has been changing this machine for " +
                std::to_string(milliseconds / 1000) +
                " seconds and has not finished. Nothing was changed; run it again once that run has ended.",
            kAlreadyRunningStatus};
  return {nullptr,
          "MarvaneSetup: the turn that runs of setup take cannot be had (" + std::string(taken.failed) +
              ": error " + std::to_string(taken.error) + "). Nothing was changed.",
          kCannotOpenStatus};
}

namespace {

class Win32Process final : public Process {
 public:
  bool AttachStandardOutput() override { return platform::AttachStandardOutput(); }
  bool ProcessIsElevated() override { return win32::ProcessIsElevated(); }
  OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds wait) override {
    return platform::OpenLogFile(path, wait);
  }
  LogStamps& ProcessLogStamps() override { return platform::ProcessLogStamps(); }
  OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds runWait) override {
    return platform::OpenHost(readOnly, runWait);
  }
};

// At namespace scope rather than a function's static: a guarded static
// brings the thread library's once-only machinery into the exe.
Win32Process thisProcess;

}  // namespace

Process& ThisProcess() {
  return thisProcess;
}

// Split as the C runtime splits it for main (CommandLineToArgvW follows the
// same rules for quotes and backslashes), but wide. Should that fail (for
// want of memory), the C runtime's arguments are used rather than none.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  const win32::UniqueLocal list(::CommandLineToArgvW(::GetCommandLineW(), &count));
  const auto* const arguments = static_cast<const LPWSTR*>(list.get());
  if (arguments == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  std::vector<std::string> utf8;
  for (int i = 1; i < count; ++i) utf8.push_back(win32::Utf8FromWide(arguments[i]));
  return utf8;
}

}  // namespace platform

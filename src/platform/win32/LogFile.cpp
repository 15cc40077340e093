// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/LogFile.h"
#include "platform/win32/Session.h"

#include <windows.h>
#include <aclapi.h>
#include "platform/win32/SystemTime.h"
// clang-format on

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

class Win32LogFile final : public platform::LogFile {
 public:
  explicit Win32LogFile(HANDLE file) : file_(file) {}
  Win32LogFile(const Win32LogFile&) = delete;
  Win32LogFile& operator=(const Win32LogFile&) = delete;
  ~Win32LogFile() override { ::CloseHandle(file_); }

  // Committed line by line: a deployment tool may restart the machine hard
  // right after the run, and the log is what says how far it got.
  bool Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
      DWORD put = 0;
      if (!::WriteFile(file_, bytes.data(), chunk, &put, nullptr) || put == 0) return false;
      bytes.remove_prefix(put);
    }
    return ::FlushFileBuffers(file_) != 0;
  }

 private:
  HANDLE file_;
};

class Win32LogStamps final : public platform::LogStamps {
 public:
  // One reading of the clock, converted: the local time and its offset from
  // UTC are then of the same instant, even across a daylight saving change.
  platform::SYSTEMTIME LocalTime(int& utcOffsetMinutes) override {
    FILETIME utcFile{};
    ::GetSystemTimeAsFileTime(&utcFile);
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FILETIME localFile{};
    utcOffsetMinutes = 0;
    if (!::FileTimeToSystemTime(&utcFile, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !::SystemTimeToFileTime(&local, &localFile)) {
      local = utc;
    } else {
      const auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                      t.dwLowDateTime);
      };
      // 100-ns ticks; rounded to the minute, since the conversion drops the milliseconds' remainder.
      const long long difference = ticks(localFile) - ticks(utcFile);
      utcOffsetMinutes =
          static_cast<int>((difference + (difference < 0 ? -300000000LL : 300000000LL)) / 600000000LL);
    }
    return platform::win32::ProgramTime(local);
  }
  unsigned long ProcessId() override { return ::GetCurrentProcessId(); }
  const char* LineEnd() override { return "\r\n"; }
};

// Each refusal names the file, what is wrong and what to do. Formatted
// rather than concatenated: a string built with + at every refusal made
// this file more than twice its size in the exe.
[[gnu::format(printf, 2, 3)]] platform::OpenedLogFile Refused(const std::string& path, const char* format,
                                                              ...) {
  char what[512];
  std::va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(what, sizeof what, format, arguments);
  va_end(arguments);
  std::string text(path.size() + sizeof what + 64, '\0');
  const int length =
      std::snprintf(text.data(), text.size(), "MarvaneSetup: the log file \"%s\" %s Nothing was changed.",
                    path.c_str(), what);
  text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return {nullptr, text};
}

const char* ErrorText(DWORD error, char (&buffer)[32]) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return "its folder does not exist";
    case ERROR_ACCESS_DENIED:
      return "access is denied";
    case ERROR_SHARING_VIOLATION:
      return "another program has it open for writing";
    default:
      std::snprintf(buffer, sizeof buffer, "Windows error %lu", static_cast<unsigned long>(error));
      return buffer;
  }
}

constexpr const char* kAdministratorsFolder =
    "name a file in a folder only administrators can write to (such as C:\\Windows\\Logs), and run it again.";

// The path as the program got it (in the ANSI code page), for the wide
// call; null when it is not valid there.
std::unique_ptr<wchar_t[]> Widen(const std::string& path) {
  const int length = static_cast<int>(path.size()) + 1;  // with its NUL
  const int needed = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.c_str(), length, nullptr, 0);
  if (needed <= 0) return nullptr;
  auto wide = std::make_unique<wchar_t[]>(static_cast<std::size_t>(needed));
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path.c_str(), length, wide.get(), needed) != needed)
    return nullptr;
  return wide;
}

// A token's user or default owner SID, kept in buffer.
PSID TokenSid(HANDLE token, TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size) {
  if (!::GetTokenInformation(token, what, buffer, size, &size)) return nullptr;
  return what == TokenUser ? static_cast<TOKEN_USER*>(buffer)->User.Sid
                           : static_cast<TOKEN_OWNER*>(buffer)->Owner;
}

// Whether a log file that this process may write with administrator rights
// is owned by someone trusted with those rights already: SYSTEM, the
// Administrators group, or this process's own account (its token's user, or
// the owner it gives the files it creates, so that a log this program made
// in an earlier run is accepted). Anyone else could have made the file a
// name of something they want changed. Unelevated, the program can write
// nothing that its user could not, and any owner will do.
bool OwnerTrusted(HANDLE file, const std::string& path, platform::OpenedLogFile& refusal) {
  char code[32];
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    refusal = Refused(path, "cannot be checked (OpenProcessToken: %s); run it again.",
                      ErrorText(::GetLastError(), code));
    return false;
  }
  // A record and its SID: at most SECURITY_MAX_SID_SIZE (68) bytes.
  alignas(TOKEN_USER) unsigned char userBuffer[128];
  alignas(TOKEN_OWNER) unsigned char ownerBuffer[128];
  const bool elevated = platform::win32::TokenIsElevated(token);
  const PSID user = TokenSid(token, TokenUser, userBuffer, sizeof userBuffer);
  const PSID defaultOwner = TokenSid(token, TokenOwner, ownerBuffer, sizeof ownerBuffer);
  ::CloseHandle(token);
  const bool system = user != nullptr && ::IsWellKnownSid(user, WinLocalSystemSid);
  if (!elevated && !system) return true;

  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                         nullptr, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    refusal = Refused(path, "cannot be checked (its owner: %s); run it again.", ErrorText(status, code));
    return false;
  }
  const bool trusted = owner != nullptr && (::IsWellKnownSid(owner, WinLocalSystemSid) ||
                                            ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                                            (user != nullptr && ::EqualSid(owner, user)) ||
                                            (defaultOwner != nullptr && ::EqualSid(owner, defaultOwner)));
  ::LocalFree(descriptor);
  if (!trusted)
    refusal = Refused(path,
                      "belongs to an account other than SYSTEM, the Administrators and this one, which could "
                      "have made it a name of another file; remove it, or %s",
                      kAdministratorsFolder);
  return trusted;
}

}  // namespace

namespace platform {

// Opened as the link or junction itself, never what it points to, and
// shared for reading only so that nothing else writes it meanwhile; then
// refused when it is a link, has a second name (a hard link made by someone
// who could not write the file they linked to), or has an untrusted owner.
OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds wait) {
  const std::unique_ptr<wchar_t[]> wide = Widen(path);
  if (!wide)
    return Refused(path,
                   "is not a valid name in this system's code page; name another file, and run it again.");
  // Shared for reading only, so another run that logs to the same file
  // waits here for its turn, as it would for the registry.
  const ULONGLONG giveUp = ::GetTickCount64() + static_cast<ULONGLONG>(wait.count());
  HANDLE file = INVALID_HANDLE_VALUE;
  for (;;) {
    file = ::CreateFileW(wide.get(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                         FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_SHARING_VIOLATION) break;
    if (::GetTickCount64() >= giveUp) {
      OpenedLogFile busy = Refused(path,
                                   "is kept open by another run of setup; nothing was changed. Run setup "
                                   "again once it has finished.");
      busy.busy = true;
      return busy;
    }
    ::Sleep(250);
  }
  char code[32];
  if (file == INVALID_HANDLE_VALUE)
    return Refused(
        path,
        "cannot be opened for writing (%s); name a file in a folder this account can write to, and "
        "run it again.",
        ErrorText(::GetLastError(), code));
  auto log = std::make_unique<Win32LogFile>(file);
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &information))
    return Refused(path, "is not a file on a disk; name another file, and run it again.");
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return Refused(path,
                   "is a link (a reparse point), which setup does not follow; name the real file, or remove "
                   "the link, and run it again.");
  if (information.nNumberOfLinks > 1)
    return Refused(path, "has %lu hard links, so it may be another file's name; remove it, or %s",
                   static_cast<unsigned long>(information.nNumberOfLinks), kAdministratorsFolder);
  OpenedLogFile refusal;
  if (!OwnerTrusted(file, path, refusal)) return refusal;
  return {std::move(log), ""};
}

// At namespace scope rather than a function's static: a guarded static
// brings the thread library's once-only machinery into the exe.
Win32LogStamps processStamps;

LogStamps& ProcessLogStamps() {
  return processStamps;
}

// Windows raises no signal for a failed write: WriteFile reports it.
void ReportFailedWritesAsErrors() {}

}  // namespace platform

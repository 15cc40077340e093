// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/LogFile.h"
#include "platform/win32/LogPath.h"
#include "platform/win32/Session.h"
#include "platform/win32/Utf8.h"

#include <windows.h>
#include <aclapi.h>
#include "platform/win32/Handles.h"
#include "platform/win32/SystemTime.h"
// clang-format on

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using platform::win32::UniqueFile;

class Win32LogFile final : public platform::LogFile {
 public:
  explicit Win32LogFile(UniqueFile file) : file_(std::move(file)) {}

  // Committed line by line: a deployment tool may restart the machine hard
  // right after the run, and the log is what says how far it got.
  bool Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
      DWORD put = 0;
      if (!::WriteFile(file_.get(), bytes.data(), chunk, &put, nullptr) || put == 0) return false;
      bytes.remove_prefix(put);
    }
    return ::FlushFileBuffers(file_.get()) != 0;
  }

 private:
  UniqueFile file_;
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

// printf into a string of the length it needs.
[[gnu::format(printf, 1, 0)]] std::string Formatted(const char* format, std::va_list arguments) {
  std::va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, arguments);
  std::string text(length > 0 ? static_cast<std::size_t>(length) + 1 : 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  text.pop_back();
  return text;
}

// Each refusal names the file, what is wrong and what to do. Formatted
// rather than concatenated: a string built with + at every refusal made
// this file more than twice its size in the exe.
[[gnu::format(printf, 2, 3)]] platform::OpenedLogFile Refused(const std::string& path, const char* format,
                                                              ...) {
  std::va_list arguments;
  va_start(arguments, format);
  const std::string what = Formatted(format, arguments);
  va_end(arguments);
  std::string text(path.size() + what.size() + 64, '\0');
  const int length =
      std::snprintf(text.data(), text.size(), "MarvaneSetup: the log file \"%s\" %s Nothing was changed.",
                    path.c_str(), what.c_str());
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
      return "another program has it open";
    default:
      std::snprintf(buffer, sizeof buffer, "Windows error %lu", static_cast<unsigned long>(error));
      return buffer;
  }
}

constexpr const char* kAdministratorsFolder =
    "name a file in a folder only administrators can write to (such as C:\\Windows\\Logs), and run it again.";

// The path GetFullPathNameW makes of path; empty when it fails.
std::wstring FullPath(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) break;
    if (length < full.size()) return full.substr(0, length);
    full.assign(length, L'\0');  // the size it needs, with its NUL
  }
  return std::wstring();
}

// The final path of an open file or folder: the path it was opened by once
// every link on the way was followed, with the volume's device name
// (VOLUME_NAME_NT: there is one even for a volume without a drive letter).
// Not normalized: over SMB that asks for each folder on the way, which the
// account may not read. Empty when it cannot be had.
std::wstring FinalPath(HANDLE handle) {
  std::wstring final(MAX_PATH, L'\0');
  for (int tries = 0; tries < 2; ++tries) {
    const DWORD length = ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                                     FILE_NAME_OPENED | VOLUME_NAME_NT);
    if (length == 0) break;
    if (length < final.size()) return final.substr(0, length);
    final.assign(length, L'\0');
  }
  return std::wstring();
}

// What the process's token says about whose files its writes could reach.
struct Rights {
  // Elevated or SYSTEM: it could write files its user could not, so the log
  // must be where its path says and belong to someone trusted already.
  bool guarded = false;
  PSID user = nullptr;          // the token's user
  PSID defaultOwner = nullptr;  // the owner it gives the files it creates
  // A record and its SID: at most SECURITY_MAX_SID_SIZE (68) bytes.
  alignas(TOKEN_USER) unsigned char userBuffer[128];
  alignas(TOKEN_OWNER) unsigned char ownerBuffer[128];
};

// A token's user or default owner SID, kept in buffer.
PSID TokenSid(HANDLE token, TOKEN_INFORMATION_CLASS what, void* buffer, DWORD size) {
  if (!::GetTokenInformation(token, what, buffer, size, &size)) return nullptr;
  return what == TokenUser ? static_cast<TOKEN_USER*>(buffer)->User.Sid
                           : static_cast<TOKEN_OWNER*>(buffer)->Owner;
}

// False, with the error, when the token cannot be opened.
bool ReadRights(Rights& rights, DWORD& error) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    error = ::GetLastError();
    return false;
  }
  const platform::win32::UniqueHandle token(opened);
  rights.user = TokenSid(token.get(), TokenUser, rights.userBuffer, sizeof rights.userBuffer);
  rights.defaultOwner = TokenSid(token.get(), TokenOwner, rights.ownerBuffer, sizeof rights.ownerBuffer);
  rights.guarded = platform::win32::TokenIsElevated(token.get()) ||
                   (rights.user != nullptr && ::IsWellKnownSid(rights.user, WinLocalSystemSid));
  return true;
}

// Whether a log file that this process may write with administrator rights
// is owned by someone trusted with those rights already: SYSTEM, the
// Administrators group, or this process's own account (its token's user, or
// the owner it gives the files it creates, so that a log this program made
// in an earlier run is accepted). Anyone else could have made the file a
// name of something they want changed.
bool OwnerTrusted(HANDLE file, const Rights& rights, const std::string& path,
                  platform::OpenedLogFile& refusal) {
  char code[32];
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                         nullptr, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    refusal = Refused(path, "cannot be checked (its owner: %s); run it again.", ErrorText(status, code));
    return false;
  }
  const platform::win32::UniqueLocal kept(descriptor);
  const bool trusted =
      owner != nullptr &&
      (::IsWellKnownSid(owner, WinLocalSystemSid) || ::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
       (rights.user != nullptr && ::EqualSid(owner, rights.user)) ||
       (rights.defaultOwner != nullptr && ::EqualSid(owner, rights.defaultOwner)));
  if (!trusted)
    refusal = Refused(path,
                      "belongs to an account other than SYSTEM, the Administrators and this one, which could "
                      "have made it a name of another file; remove it, or %s",
                      kAdministratorsFolder);
  return trusted;
}

// FILE_FLAG_OPEN_REPARSE_POINT keeps a link at the last name from being
// followed, not one on the way to it: a junction or symbolic link made in
// place of any folder of the path by someone who may write the folder above
// would send the writes of SYSTEM into any folder. So every folder below the
// root is opened as itself, and refused when it, or what its name shows, is
// a reparse point. The folders are kept open without FILE_SHARE_DELETE until
// the file is open, so that none of them can be renamed or replaced
// meanwhile. The last one opened is at the end of folders.
bool HoldFolders(const std::wstring& full, const std::string& path, std::vector<UniqueFile>& folders,
                 platform::OpenedLogFile& refusal) {
  char code[32];
  for (const std::size_t end : platform::win32::FolderEnds(full)) {
    const std::wstring folder = full.substr(0, end);
    UniqueFile held(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!held || !::GetFileInformationByHandle(held.get(), &information)) {
      const DWORD error = ::GetLastError();
      refusal = Refused(path, "cannot be opened for writing (the folder \"%s\": %s); %s",
                        platform::win32::Utf8FromWide(folder).c_str(), ErrorText(error, code),
                        kAdministratorsFolder);
      return false;
    }
    // The name's own attributes as well: Wine shows a Unix symbolic link
    // there, not on the handle.
    const DWORD named = ::GetFileAttributesW(folder.c_str());
    if (((information.dwFileAttributes | (named == INVALID_FILE_ATTRIBUTES ? 0 : named)) &
         FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      refusal =
          Refused(path,
                  "is reached through \"%s\", a link (a junction, symbolic link or other reparse point), "
                  "which setup does not follow; name the file by its real folder, or %s",
                  platform::win32::Utf8FromWide(folder).c_str(), kAdministratorsFolder);
      return false;
    }
    folders.push_back(std::move(held));
  }
  return true;
}

}  // namespace

namespace platform {

// Opened as the link or junction itself, never what it points to, and
// shared for reading only so that nothing else writes it meanwhile; then
// refused when it is a link, has a second name (a hard link made by someone
// who could not write the file they linked to), or, with administrator
// rights, lies elsewhere than its path says or has an untrusted owner.
// Unelevated, the program can write nothing that its user could not, and a
// link on the way or any owner will do.
OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds wait) {
  char code[32];
  bool valid = false;
  const std::wstring wide = win32::WideFromUtf8(path, valid);
  const std::wstring full = valid ? FullPath(wide) : std::wstring();
  if (full.empty() || wide.find(L'\0') != std::wstring::npos)
    return Refused(path, "is not a valid file name; name another file, and run it again.");
  Rights rights;
  if (::DWORD error = 0; !ReadRights(rights, error))
    return Refused(path, "cannot be checked (OpenProcessToken: %s); run it again.", ErrorText(error, code));
  std::vector<UniqueFile> folders;
  OpenedLogFile refusal;
  if (rights.guarded && !HoldFolders(full, path, folders, refusal)) return refusal;

  // Shared for reading only, so another run that logs to the same file
  // waits here for its turn, as it would for the registry. A file made here
  // is made with the right to delete it again, should it turn out to be
  // somewhere else than its path says.
  constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  const ULONGLONG giveUp = ::GetTickCount64() + static_cast<ULONGLONG>(wait.count());
  UniqueFile file;
  bool made = false;
  ::DWORD error = ERROR_SUCCESS;
  for (;;) {
    file = UniqueFile(
        ::CreateFileW(full.c_str(), kAccess, FILE_SHARE_READ, nullptr, OPEN_EXISTING, kFlags, nullptr));
    error = file ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
      file = UniqueFile(::CreateFileW(full.c_str(), kAccess | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      kFlags, nullptr));
      error = file ? ERROR_SUCCESS : ::GetLastError();
      made = static_cast<bool>(file);
    }
    // In use, or made by another between the two calls.
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_FILE_EXISTS) break;
    if (::GetTickCount64() >= giveUp) {
      if (error != ERROR_SHARING_VIOLATION) break;
      OpenedLogFile busy = Refused(path,
                                   "is in use by another process, which kept it open for all of the %lu "
                                   "seconds setup waits (another run of setup that logs to it, or another "
                                   "program); run setup again once it is closed.",
                                   static_cast<unsigned long>(wait.count() / 1000));
      busy.busy = true;
      return busy;
    }
    ::Sleep(250);
  }
  if (!file)
    return Refused(
        path,
        "cannot be opened for writing (%s); name a file in a folder this account can write to, and "
        "run it again.",
        ErrorText(error, code));
  // Before any refusal below: a file made here goes again with it.
  const auto refuse = [&](OpenedLogFile why) {
    FILE_DISPOSITION_INFO gone{TRUE};
    if (made) ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone);
    return why;
  };
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &information))
    return refuse(Refused(path, "is not a file on a disk; name another file, and run it again."));
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return refuse(Refused(path,
                          "is a link (a reparse point), which setup does not follow; name the real file, or "
                          "remove the link, and run it again."));
  if (information.nNumberOfLinks > 1)
    return refuse(Refused(path, "has %lu hard links, so it may be another file's name; remove it, or %s",
                          static_cast<unsigned long>(information.nNumberOfLinks), kAdministratorsFolder));
  if (!rights.guarded) return {std::make_unique<Win32LogFile>(std::move(file)), ""};
  if (!OwnerTrusted(file.get(), rights, path, refusal)) return refuse(std::move(refusal));
  // The folders held could not be replaced, but the last one could have
  // been made a junction in place meanwhile: the file must be in it.
  if (!folders.empty()) {
    const std::wstring where = FinalPath(file.get());
    const std::wstring folder = FinalPath(folders.back().get());
    if (where.empty() || folder.empty())
      return refuse(Refused(path, "cannot be checked (GetFinalPathNameByHandleW: %s); run it again.",
                            ErrorText(::GetLastError(), code)));
    if (!win32::DirectlyIn(where, folder))
      return refuse(Refused(path,
                            "was opened as \"%s\", not where its path says (a folder on the way became "
                            "a link meanwhile); %s",
                            win32::Utf8FromWide(where).c_str(), kAdministratorsFolder));
  }
  return {std::make_unique<Win32LogFile>(std::move(file)), ""};
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

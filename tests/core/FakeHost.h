// The fake platform as the program's host, with the files and the log a run
// reads and writes.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "FakePlatform.h"
#include "platform/FileSystem.h"
#include "platform/Host.h"
#include "platform/LogFile.h"
#include "platform/Process.h"

namespace fake {

// Files by lower-case path, on a clock of the fake's own that only waits
// move on: a look below a path in slow takes that many milliseconds
// (INFINITE: it never comes back, and what it would say is a plain file),
// and one made without a worker thread moves the clock itself. A thread's
// work runs inline as it is created, so that nothing outlives the test.
class FakeFiles : public Recorder, public FileSystem {
 public:
  std::map<std::string, DWORD> files, slow;
  std::string wow64Directory = "C:\\WINDOWS\\SysWOW64";  // empty: 32-bit Windows
  ULONGLONG now = 0;

  DWORD GetFileAttributesA(const char* lpFileName) override {
    const std::string path = Lower(lpFileName);
    if (auto status = Call("GetFileAttributesA", path)) return Failed(*status);
    DWORD takes = 0;
    for (const auto& [below, milliseconds] : slow)
      if (path.rfind(Lower(below), 0) == 0) takes = milliseconds;
    if (running_ != nullptr) *running_ = takes;
    if (running_ == nullptr) now += takes;
    if (takes == INFINITE) return FILE_ATTRIBUTE_ARCHIVE;
    return files.count(path) ? files[path] : Failed(ERROR_FILE_NOT_FOUND);
  }
  UINT GetSystemWow64DirectoryA(char* lpBuffer, UINT uSize) override {
    if (wow64Directory.empty()) Failed(ERROR_CALL_NOT_IMPLEMENTED);
    lpBuffer[wow64Directory.copy(lpBuffer, uSize - 1)] = '\0';
    return static_cast<UINT>(wow64Directory.size());
  }
  DWORD GetLastError() override { return lastError_; }
  // The handle is the thread's time left until it ends, in milliseconds.
  HANDLE CreateThread(std::function<void()> work) override {
    if (auto status = Call("CreateThread", "")) return Failed(*status), nullptr;
    running_ = &threads_.emplace_back(0);
    work();
    return std::exchange(running_, nullptr);
  }
  DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) override {
    Call("WaitForSingleObject", std::to_string(dwMilliseconds));
    DWORD& left = *static_cast<DWORD*>(hHandle);
    const DWORD waited = std::min(left, dwMilliseconds);
    now += waited;
    if (left != INFINITE) left -= waited;
    return left == 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  BOOL CancelSynchronousIo(HANDLE) override { return !Call("CancelSynchronousIo", ""); }
  BOOL CloseHandle(HANDLE) override { return !Call("CloseHandle", ""); }
  ULONGLONG GetTickCount64() override { return now; }

 private:
  DWORD Failed(LONG status) { return lastError_ = static_cast<DWORD>(status), INVALID_FILE_ATTRIBUTES; }
  DWORD lastError_ = 0;
  std::deque<DWORD> threads_;
  DWORD* running_ = nullptr;
};

// The host over a fake platform, with files of its own unless it is given some.
class FakeHost : public Host {
 public:
  explicit FakeHost(FakePlatform& fake, FakeFiles* files = nullptr)
      : fake_(fake), files_(files ? *files : ownFiles_) {}
  Registry& registry() override { return fake_; }
  SystemInfo& system() override { return fake_; }
  Windowing& windowing() override { return fake_; }
  FileSystem& files() override { return files_; }
  bool Interactive() override { return interactive; }
  std::string UserName() override { return "tester"; }
  std::string SystemVersion() override { return "Windows 10.0 build 19045"; }
  bool RegistryWritable() override { return true; }
  bool Close(std::string& error) override {
    error = closeError;
    return closeError.empty();
  }
  bool interactive = true;
  std::string closeError;

 private:
  FakePlatform& fake_;
  FakeFiles ownFiles_;
  FakeFiles& files_;
};

// The log file as text, stamped with a fixed time and process id so that its
// lines compare whole. The failAt-th append (counting from 1; 0: none)
// fails, as on a network share that dropped for a moment.
struct FakeLog : LogStamps {
  static constexpr const char* kStamp = "2026-12-08T23:41:07+01:00 [4242] ";
  std::string text;
  int failAt = 0;
  int appends = 0;

  std::unique_ptr<LogFile> File() {
    struct File : LogFile {
      explicit File(FakeLog& log) : log(log) {}
      bool Append(std::string_view bytes) override {
        if (++log.appends == log.failAt) return false;
        log.text += bytes;
        return true;
      }
      FakeLog& log;
    };
    return std::make_unique<File>(*this);
  }
  SYSTEMTIME LocalTime(int& utcOffsetMinutes) override {
    utcOffsetMinutes = 60;
    return {2026, 12, 2, 8, 23, 41, 7, 0};
  }
  unsigned long ProcessId() override { return 4242; }
  const char* LineEnd() override { return "\n"; }
};

// The process a run starts in: its rights as set, a log that the fake log
// takes (unless OpenLogFile is made to fail: refused, or in use for all of
// the wait with logInUse) and a host over its own fake platform, each
// opening recorded.
class FakeProcess : public Recorder, public Process {
 public:
  bool elevated = true;
  bool logInUse = false;
  FakePlatform platform;
  FakeLog log;

  bool AttachStandardOutput() override { return false; }
  bool ProcessIsElevated() override { return elevated; }
  OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds) override {
    if (Call("OpenLogFile", path)) return {nullptr, "refused: " + path, logInUse};
    return {log.File(), ""};
  }
  LogStamps& ProcessLogStamps() override { return log; }
  OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds) override {
    Call("OpenHost", readOnly ? "read-only" : "read-write");
    return {std::make_unique<FakeHost>(platform), "", 0};
  }
};

}  // namespace fake

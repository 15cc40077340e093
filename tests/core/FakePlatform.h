// A recording stand-in for the platform: the in-memory registry and the
// headless windows the program also runs on, every call logged and any call
// able to fail, with system information set by the test.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/HeadlessWindowing.h"
#include "platform/Host.h"
#include "platform/LogFile.h"
#include "platform/SystemInfo.h"
#include "platform/portable/MemoryRegistry.h"

namespace fake {

using platform::BYTE;
using platform::DWORD;
using platform::Form;
using platform::HKEY;
using platform::LONG;
using platform::UINT;
using Memory = platform::portable::MemoryRegistry;
using Windows = platform::HeadlessWindowing;

std::string Lower(std::string text);

struct Call {
  std::string op;    // the platform operation, e.g. "RegSetValueExA"
  std::string text;  // the call written out with its arguments
};

struct Value {
  std::string name;
  DWORD type = 0;
  std::string data;
};

struct MessageBox {
  std::string text, caption;
  UINT type = 0;
};

class FakePlatform : public Memory, public platform::SystemInfo, public Windows, public platform::FileSystem {
 public:
  FakePlatform();

  // Fails the occurrence-th call (counting from 1) of op; registry and system
  // calls return status, window calls throw. Occurrence 0 fails every call.
  void Fail(const std::string& op, int occurrence, LONG status = platform::ERROR_ACCESS_DENIED) {
    failures_[op][occurrence] = status;
  }
  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<std::string> CallTexts(const std::string& op = "") const;
  int CountOf(const std::string& op) const { return static_cast<int>(CallTexts(op).size()); }
  void ClearCalls() { calls_.clear(); }

  // Registry content by path below HKEY_LOCAL_MACHINE, reached below the
  // recording; keys below HARDWARE are volatile, as the hosts make them.
  bool HasKey(const std::string& path);
  std::optional<Value> GetValue(const std::string& path, const std::string& name);
  void PutValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
  void PutKey(const std::string& path);
  // Every kept key with its values as the registry file has them, by lower-case path.
  std::map<std::string, std::string> Snapshot() const;
  std::size_t OpenHandles() const { return OpenHandleCount(); }

  // System information returned by the stand-in.
  platform::OSVERSIONINFOA version{};
  bool versionFillsRecord = true;
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  UINT systemDirectoryResult = 0;  // 0: the length of systemDirectory
  platform::WORD year = 2026;

  std::vector<MessageBox> messageBoxes;
  std::optional<float> widthOverride;  // what width reads return instead, when set
  int keepResponsiveCalls = 0;

  LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                     HKEY* phkResult) override;
  LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override {
    return Reg("RegCreateKeyA", Quoted(lpSubKey), [&] {
      return Opened(Memory::RegCreateKeyA(hKey, lpSubKey, phkResult), phkResult, PathBelow(hKey, lpSubKey));
    });
  }
  LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override {
    return Reg("RegOpenKeyA", Quoted(lpSubKey), [&] {
      return Opened(Memory::RegOpenKeyA(hKey, lpSubKey, phkResult), phkResult, PathBelow(hKey, lpSubKey));
    });
  }
  LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override;
  LONG RegCloseKey(HKEY hKey) override {
    return Reg("RegCloseKey", paths_.count(hKey) ? paths_[hKey] : std::to_string(hKey), [&] {
      paths_.erase(hKey);
      return Memory::RegCloseKey(hKey);
    });
  }
  LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                        DWORD* lpcbData) override;
  LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) override {
    return Reg("RegDeleteKeyA", Quoted(PathBelow(hKey, lpSubKey).c_str()),
               [&] { return Memory::RegDeleteKeyA(hKey, lpSubKey); });
  }
  LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) override {
    return Reg("RegDeleteValueA", PathOf(hKey) + ", " + Quoted(lpValueName),
               [&] { return Memory::RegDeleteValueA(hKey, lpValueName); });
  }
  LONG RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) override {
    return Reg("RegQueryInfoKeyCounts", PathOf(hKey),
               [&] { return Memory::RegQueryInfoKeyCounts(hKey, lpcSubKeys, lpcValues); });
  }

  LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) override {
    return Reg("RegEnumKeyA", PathOf(hKey) + ", " + std::to_string(dwIndex),
               [&] { return Memory::RegEnumKeyA(hKey, dwIndex, lpName, cchName); });
  }

  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* lpVersionInformation) override;
  UINT GetSystemDirectoryA(char* lpBuffer, UINT uSize) override;
  void GetLocalTime(platform::SYSTEMTIME* lpSystemTime) override {
    Record("GetLocalTime", "GetLocalTime()");
    *lpSystemTime = platform::SYSTEMTIME{year, 12, 2, 8, 9, 0, 0, 0};
  }

  // Window calls are recorded, then done as headless windows do them.
  void Run(Form& f) override {
    Window("Run", f, [&] { Windows::Run(f); });
  }
  void Show(Form& f) override {
    Window("Show", f, [&] { Windows::Show(f); });
  }
  float Width(const Form& f) override {
    float width = 0;
    Window("Width", f, [&] { width = Windows::Width(f); });
    return widthOverride ? *widthOverride : width;
  }
  void SetWidth(Form& f, float t) override {
    Window(
        "SetWidth", f, [&] { Windows::SetWidth(f, t); }, t);
  }
  float Height(const Form& f) override {
    float height = 0;
    Window("Height", f, [&] { height = Windows::Height(f); });
    return height;
  }
  void SetHeight(Form& f, float t) override {
    Window(
        "SetHeight", f, [&] { Windows::SetHeight(f, t); }, t);
  }
  void SetLeft(Form& f, float t) override {
    Window(
        "SetLeft", f, [&] { Windows::SetLeft(f, t); }, t);
  }
  void SetTop(Form& f, float t) override {
    Window(
        "SetTop", f, [&] { Windows::SetTop(f, t); }, t);
  }
  void Refresh(Form& f) override {
    Window("Refresh", f, [&] { Windows::Refresh(f); });
  }
  void Unload(Form& f) override {
    Window("Unload", f, [&] { Windows::Unload(f); });
  }
  int MessageBoxA(const Form*, const char* lpText, const char* lpCaption, UINT uType) override {
    if (Record("MessageBoxA", std::string("MessageBoxA(") + lpCaption + ": " + lpText + ")")) return 0;
    messageBoxes.push_back({lpText, lpCaption, uType});
    return platform::IDOK;
  }
  void KeepResponsive() override { ++keepResponsiveCalls; }

  // Files by lower-case path; a call below stalled outlasts any time limit.
  // The thread's work runs inline, so that nothing outlives the test.
  std::map<std::string, DWORD> files;
  std::string stalled, wow64Directory = "C:\\WINDOWS\\SysWOW64";  // empty: 32-bit Windows
  DWORD GetFileAttributesA(const char* lpFileName) override {
    const std::string path = Lower(lpFileName);
    if (auto status = Record("GetFileAttributesA", "GetFileAttributesA(" + path + ")"))
      return Failed(*status);
    stalledCall_ |= !stalled.empty() && path.rfind(Lower(stalled), 0) == 0;
    return files.count(path) ? files[path] : Failed(platform::ERROR_FILE_NOT_FOUND);
  }
  UINT GetSystemWow64DirectoryA(char* lpBuffer, UINT uSize) override {
    if (wow64Directory.empty()) Failed(platform::ERROR_CALL_NOT_IMPLEMENTED);
    lpBuffer[wow64Directory.copy(lpBuffer, uSize - 1)] = '\0';
    return static_cast<UINT>(wow64Directory.size());
  }
  DWORD GetLastError() override { return lastError_; }
  DWORD CreateThreadAndWait(std::function<void()> work, DWORD dwMilliseconds) override {
    Record("CreateThreadAndWait", "CreateThreadAndWait(" + std::to_string(dwMilliseconds) + ")");
    stalledCall_ = false;
    work();
    return stalledCall_ ? platform::WAIT_TIMEOUT : platform::WAIT_OBJECT_0;
  }

 private:
  // Records the call; returns the injected status when this one is to fail.
  std::optional<LONG> Record(const std::string& op, const std::string& text);
  // A registry call: recorded as op(arguments), then done unless it is to fail.
  LONG Reg(const std::string& op, const std::string& arguments, const std::function<LONG()>& call) {
    if (auto status = Record(op, op + "(" + arguments + ")")) return *status;
    return call();
  }
  // A window call, with the twips it sets if any: recorded, then done or thrown.
  void Window(const std::string& op, const Form& form, const std::function<void()>& call,
              std::optional<float> twips = std::nullopt);
  static std::string Quoted(const char* text);
  // The path a handle was opened at ("" for HKEY_LOCAL_MACHINE, "invalid" for none).
  std::string PathOf(HKEY hKey) const;
  std::string PathBelow(HKEY hKey, const char* lpSubKey) const;
  // Remembers where a handle that a call opened points.
  LONG Opened(LONG status, const HKEY* phkResult, const std::string& path);

  DWORD Failed(LONG status) {
    return lastError_ = static_cast<DWORD>(status), platform::INVALID_FILE_ATTRIBUTES;
  }
  DWORD lastError_ = 0;
  bool stalledCall_ = false;
  std::vector<Call> calls_;
  std::map<std::string, int> counts_;
  std::map<std::string, std::map<int, LONG>> failures_;
  std::map<HKEY, std::string> paths_;
};

// The fake as the program's host.
class FakeHost : public platform::Host {
 public:
  explicit FakeHost(FakePlatform& fake) : fake_(fake) {}
  platform::Registry& registry() override { return fake_; }
  platform::SystemInfo& system() override { return fake_; }
  platform::Windowing& windowing() override { return fake_; }
  platform::FileSystem& files() override { return fake_; }
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
};

// The log file as text, stamped with a fixed time and process id so that its
// lines compare whole. The failAt-th append (counting from 1; 0: none)
// fails, as on a network share that dropped for a moment.
struct FakeLog : platform::LogStamps {
  static constexpr const char* kStamp = "2026-12-08T23:41:07+01:00 [4242] ";
  std::string text;
  int failAt = 0;
  int appends = 0;

  std::unique_ptr<platform::LogFile> File() {
    struct File : platform::LogFile {
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
  platform::SYSTEMTIME LocalTime(int& utcOffsetMinutes) override {
    utcOffsetMinutes = 60;
    return {2026, 12, 2, 8, 23, 41, 7, 0};
  }
  unsigned long ProcessId() override { return 4242; }
  const char* LineEnd() override { return "\n"; }
};

std::string Dword(DWORD number);  // the four little-endian bytes

}  // namespace fake

// A recording stand-in for the platform: the in-memory registry and headless
// windows the program also runs on, with every call logged and any call
// able to fail, and system information set by the test.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/HeadlessWindowing.h"
#include "platform/Host.h"
#include "platform/SystemInfo.h"
#include "platform/portable/MemoryRegistry.h"

namespace fake {

struct Call {
  std::string op;    // the platform operation, e.g. "RegSetValueExA"
  std::string text;  // the call written out with its arguments
};

struct Value {
  std::string name;
  platform::DWORD type = 0;
  std::string data;
};

struct MessageBox {
  std::string text;
  std::string caption;
  platform::UINT type = 0;
};

class FakePlatform : public platform::portable::MemoryRegistry,
                     public platform::SystemInfo,
                     public platform::HeadlessWindowing {
 public:
  FakePlatform();

  // Fails the occurrence-th call (counting from 1) of op; registry and system
  // calls return status, window calls throw. Occurrence 0 fails every call.
  void Fail(const std::string& op, int occurrence, platform::LONG status = platform::ERROR_ACCESS_DENIED);

  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<std::string> CallTexts(const std::string& op = "") const;
  int CountOf(const std::string& op) const;
  void ClearCalls() { calls_.clear(); }

  // Registry content by path below HKEY_LOCAL_MACHINE, bypassing the
  // recording; keys below HARDWARE are volatile, as the hosts make them.
  bool HasKey(const std::string& path);
  std::optional<Value> GetValue(const std::string& path, const std::string& name);
  void PutValue(const std::string& path, const std::string& name, platform::DWORD type,
                const std::string& data);
  void PutKey(const std::string& path);
  // Every kept key with its values written out, by lower-case path.
  std::map<std::string, std::string> Snapshot() const;
  std::size_t OpenHandles() const { return OpenHandleCount(); }

  // System information returned by the stand-in.
  platform::OSVERSIONINFOA version{};
  bool versionFillsRecord = true;
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  platform::UINT systemDirectoryResult = 0;  // 0: the length of systemDirectory
  platform::WORD year = 2026;

  std::vector<MessageBox> messageBoxes;
  // What the width reads return instead of the real one, when set.
  std::optional<float> widthOverride;
  int keepResponsiveCalls = 0;

  // platform::Registry
  platform::LONG RegOpenKeyExA(platform::HKEY hKey, const char* lpSubKey, platform::DWORD ulOptions,
                               platform::DWORD samDesired, platform::HKEY* phkResult) override;
  platform::LONG RegCreateKeyA(platform::HKEY hKey, const char* lpSubKey, platform::HKEY* phkResult) override;
  platform::LONG RegSetValueExA(platform::HKEY hKey, const char* lpValueName, platform::DWORD Reserved,
                                platform::DWORD dwType, const platform::BYTE* lpData,
                                platform::DWORD cbData) override;
  platform::LONG RegCloseKey(platform::HKEY hKey) override;
  platform::LONG RegOpenKeyA(platform::HKEY hKey, const char* lpSubKey, platform::HKEY* phkResult) override;
  platform::LONG RegQueryValueExA(platform::HKEY hKey, const char* lpValueName, platform::DWORD* lpReserved,
                                  platform::DWORD* lpType, platform::BYTE* lpData,
                                  platform::DWORD* lpcbData) override;
  platform::LONG RegDeleteKeyA(platform::HKEY hKey, const char* lpSubKey) override;
  platform::LONG RegDeleteValueA(platform::HKEY hKey, const char* lpValueName) override;
  platform::LONG RegQueryInfoKeyCounts(platform::HKEY hKey, platform::DWORD* lpcSubKeys,
                                       platform::DWORD* lpcValues) override;

  // platform::SystemInfo
  platform::BOOL GetVersionExA(platform::OSVERSIONINFOA* lpVersionInformation) override;
  platform::UINT GetSystemDirectoryA(char* lpBuffer, platform::UINT uSize) override;
  void GetLocalTime(platform::SYSTEMTIME* lpSystemTime) override;

  // platform::Windowing
  void Run(platform::Form& startup) override;
  void Show(platform::Form& form) override;
  float Width(const platform::Form& form) override;
  void SetWidth(platform::Form& form, float twips) override;
  float Height(const platform::Form& form) override;
  void SetHeight(platform::Form& form, float twips) override;
  void SetLeft(platform::Form& form, float twips) override;
  void SetTop(platform::Form& form, float twips) override;
  void Refresh(platform::Form& form) override;
  void Unload(platform::Form& form) override;
  int MessageBoxA(const platform::Form* owner, const char* lpText, const char* lpCaption,
                  platform::UINT uType) override;
  void KeepResponsive() override { ++keepResponsiveCalls; }

 private:
  // Records the call; returns the injected status when this one is to fail.
  std::optional<platform::LONG> Record(const std::string& op, const std::string& text);
  void RecordWindow(const std::string& op, const platform::Form& form, const std::string& detail = "");
  // The path a handle was opened at ("" for HKEY_LOCAL_MACHINE, "invalid" for none).
  std::string PathOf(platform::HKEY hKey) const;
  std::string PathBelow(platform::HKEY hKey, const char* lpSubKey) const;
  // Remembers where a handle that a call opened points.
  platform::LONG Opened(platform::LONG status, platform::HKEY* phkResult, const std::string& path);

  std::vector<Call> calls_;
  std::map<std::string, int> counts_;
  std::map<std::string, std::map<int, platform::LONG>> failures_;
  std::map<platform::HKEY, std::string> paths_;
};

// The fake as the program's host.
class FakeHost : public platform::Host {
 public:
  explicit FakeHost(FakePlatform& fake) : fake_(fake) {}
  platform::Registry& registry() override { return fake_; }
  platform::SystemInfo& system() override { return fake_; }
  platform::Windowing& windowing() override { return fake_; }
  bool Interactive() override { return interactive; }
  std::string UserName() override { return "tester"; }
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

std::string Lower(std::string text);
std::string Dword(platform::DWORD number);  // the four little-endian bytes

}  // namespace fake

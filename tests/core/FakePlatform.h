// A recording stand-in for the platform: an in-memory registry, system
// information and windows, which logs every call and can fail any of them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"

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

struct WindowState {
  bool loaded = false;
  bool visible = false;
  float width = 0, height = 0, left = 0, top = 0;
};

class FakePlatform : public platform::Registry, public platform::SystemInfo, public platform::Windowing {
 public:
  FakePlatform();

  // Fails the occurrence-th call (counting from 1) of op; registry and system
  // calls return status, window calls throw. Occurrence 0 fails every call.
  void Fail(const std::string& op, int occurrence, platform::LONG status = platform::ERROR_ACCESS_DENIED);

  const std::vector<Call>& Calls() const { return calls_; }
  std::vector<std::string> CallTexts(const std::string& op = "") const;
  int CountOf(const std::string& op) const;
  void ClearCalls() { calls_.clear(); }

  // Registry content, by path below HKEY_LOCAL_MACHINE (case-insensitive).
  bool HasKey(const std::string& path) const;
  std::optional<Value> GetValue(const std::string& path, const std::string& name) const;
  void PutValue(const std::string& path, const std::string& name, platform::DWORD type,
                const std::string& data);
  void PutKey(const std::string& path);
  std::size_t KeyCount() const { return keys_.size(); }
  // Every key with its values written out, by lower-case path.
  std::map<std::string, std::string> Snapshot() const;
  std::size_t OpenHandles() const { return handles_.size(); }

  // System information returned by the stand-in.
  platform::OSVERSIONINFOA version{};
  bool versionFillsRecord = true;
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  platform::UINT systemDirectoryResult = 0;  // 0: the length of systemDirectory
  platform::WORD year = 2026;

  // Windows.
  std::vector<MessageBox> messageBoxes;
  std::map<const platform::Form*, WindowState> windows;
  // Added to a window's client size to give its outer size.
  float frameWidth = 120, frameHeight = 405;
  // Values that the size reads return instead of the real ones, when set.
  std::optional<float> widthOverride;

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
  int keepResponsiveCalls = 0;

 private:
  struct Key {
    std::string path;
    std::vector<Value> values;
  };
  // Records the call; returns the injected status when this one is to fail.
  std::optional<platform::LONG> Record(const std::string& op, const std::string& text);
  void RecordWindow(const std::string& op, const platform::Form& form, const std::string& detail = "");
  WindowState& StateOf(const platform::Form& form);
  // Gives the window its outer size and runs its load handler.
  void Load(platform::Form& form);
  platform::LONG Open(platform::HKEY hKey, const char* lpSubKey, bool create, platform::HKEY* phkResult);
  Key* KeyOf(platform::HKEY hKey);
  std::string PathBelow(platform::HKEY hKey, const char* lpSubKey);
  std::size_t SubkeyCount(const std::string& path) const;

  std::vector<Call> calls_;
  std::map<std::string, int> counts_;
  std::map<std::string, std::map<int, platform::LONG>> failures_;
  std::map<std::string, Key> keys_;  // by lower-case path
  std::map<platform::HKEY, std::string> handles_;
  platform::HKEY nextHandle_ = 0x100;
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
  bool interactive = true;
  bool Close(std::string& error) override {
    error = closeError;
    return closeError.empty();
  }
  std::string closeError;

 private:
  FakePlatform& fake_;
};

std::string Lower(std::string text);
std::string Dword(platform::DWORD number);  // the four little-endian bytes

}  // namespace fake

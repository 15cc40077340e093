// A recording stand-in for the platform: the in-memory registry and the
// headless windows the program also runs on, every call logged and any call
// able to fail, with system information set by the test.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/HeadlessWindowing.h"
#include "platform/SystemInfo.h"
#include "platform/portable/MemoryRegistry.h"

namespace fake {

using namespace platform;
using Memory = platform::portable::MemoryRegistry;
using Windows = HeadlessWindowing;

std::string Lower(std::string text);
std::string Dword(DWORD number);  // the four little-endian bytes

struct Value {
  DWORD type = 0;
  std::string data;
};

struct MessageBox {
  std::string text, caption;
  UINT type = 0;
};

// Calls written out as "Op(arguments)" in the order they came; any can be made to fail.
class Recorder {
 public:
  // Fails the occurrence-th call (counting from 1) of op; registry and system
  // calls return status, window calls throw. Occurrence 0 fails every call.
  void Fail(const std::string& op, int occurrence, LONG status = ERROR_ACCESS_DENIED) {
    failures_[op][occurrence] = status;
  }
  std::vector<std::string> CallTexts(const std::string& op = "") const;
  int CountOf(const std::string& op) const { return static_cast<int>(CallTexts(op).size()); }
  void ClearCalls() { calls_.clear(); }

 protected:
  // Records the call; returns the injected status when this one is to fail.
  std::optional<LONG> Call(const std::string& op, const std::string& arguments);

 private:
  std::vector<std::string> calls_;
  std::map<std::string, int> counts_;
  std::map<std::string, std::map<int, LONG>> failures_;
};

class FakePlatform : public Recorder, public Memory, public SystemInfo, public Windows {
 public:
  // Registry content by path below HKEY_LOCAL_MACHINE, reached below the
  // recording; keys below HARDWARE are volatile, as the hosts make them.
  bool HasKey(const std::string& path) { return Key(path, false) != nullptr; }
  std::optional<Value> GetValue(const std::string& path, const std::string& name);
  void PutValue(const std::string& path, const std::string& name, DWORD type, const std::string& data);
  platform::portable::RegKey& PutKey(const std::string& path) { return *Key(path, true); }
  // Every kept key with its values as the registry file has them, by lower-case path.
  std::map<std::string, std::string> Snapshot() const;

  OSVERSIONINFOA version{0, 6, 2, 0, 2, {}};  // the system information returned, from here
  bool versionFillsRecord = true;
  std::string systemDirectory = "C:\\WINDOWS\\system32";
  UINT systemDirectoryResult = 0;  // 0: the length of systemDirectory
  WORD year = 2026;

  std::vector<MessageBox> messageBoxes;
  std::optional<float> widthOverride;  // what width reads return instead, when set
  int keepResponsiveCalls = 0;

  // Registry calls are recorded, then done by the in-memory registry unless they are to fail.
  LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                     HKEY* phkResult) override;
  LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override {
    if (auto failed = Call("RegCreateKeyA", Quoted(lpSubKey))) return *failed;
    return Opened(Memory::RegCreateKeyA(hKey, lpSubKey, phkResult), phkResult, PathBelow(hKey, lpSubKey));
  }
  LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override {
    if (auto failed = Call("RegOpenKeyA", Quoted(lpSubKey))) return *failed;
    return Opened(Memory::RegOpenKeyA(hKey, lpSubKey, phkResult), phkResult, PathBelow(hKey, lpSubKey));
  }
  LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override;
  LONG RegCloseKey(HKEY hKey) override {
    if (auto failed = Call("RegCloseKey", PathOf(hKey))) return *failed;
    paths_.erase(hKey);
    return Memory::RegCloseKey(hKey);
  }
  LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                        DWORD* lpcbData) override;
  LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) override {
    if (auto failed = Call("RegDeleteKeyA", Quoted(PathBelow(hKey, lpSubKey).c_str()))) return *failed;
    return Memory::RegDeleteKeyA(hKey, lpSubKey);
  }
  LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) override {
    if (auto failed = Call("RegDeleteValueA", PathOf(hKey) + ", " + Quoted(lpValueName))) return *failed;
    return Memory::RegDeleteValueA(hKey, lpValueName);
  }
  LONG RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) override {
    if (auto failed = Call("RegQueryInfoKeyCounts", PathOf(hKey))) return *failed;
    return Memory::RegQueryInfoKeyCounts(hKey, lpcSubKeys, lpcValues);
  }
  LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) override {
    if (auto failed = Call("RegEnumKeyA", PathOf(hKey) + ", " + std::to_string(dwIndex))) return *failed;
    return Memory::RegEnumKeyA(hKey, dwIndex, lpName, cchName);
  }
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                     DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override {
    if (auto failed = Call("RegEnumValueA", PathOf(hKey) + ", " + std::to_string(dwIndex))) return *failed;
    return Memory::RegEnumValueA(hKey, dwIndex, lpValueName, lpcchValueName, lpReserved, lpType, lpData,
                                 lpcbData);
  }

  BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation) override;
  UINT GetSystemDirectoryA(char* lpBuffer, UINT uSize) override;
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override {
    Call("GetLocalTime", "");
    *lpSystemTime = SYSTEMTIME{year, 12, 2, 8, 9, 0, 0, 0};
  }

  // Window calls are recorded, then done as headless windows do them.
  void Run(Form& f) override { Window("Run", f).Windows::Run(f); }
  void Show(Form& f) override { Window("Show", f).Windows::Show(f); }
  float Width(const Form& f) override { return widthOverride.value_or(Window("Width", f).Windows::Width(f)); }
  void SetWidth(Form& f, float t) override { Window("SetWidth", f, t).Windows::SetWidth(f, t); }
  float Height(const Form& f) override { return Window("Height", f).Windows::Height(f); }
  void SetHeight(Form& f, float t) override { Window("SetHeight", f, t).Windows::SetHeight(f, t); }
  void SetLeft(Form& f, float t) override { Window("SetLeft", f, t).Windows::SetLeft(f, t); }
  void SetTop(Form& f, float t) override { Window("SetTop", f, t).Windows::SetTop(f, t); }
  void Refresh(Form& f) override { Window("Refresh", f).Windows::Refresh(f); }
  void Unload(Form& f) override { Window("Unload", f).Windows::Unload(f); }
  int MessageBoxA(const Form*, const char* lpText, const char* lpCaption, UINT uType) override {
    if (Call("MessageBoxA", std::string(lpCaption) + ": " + lpText)) return 0;
    messageBoxes.push_back({lpText, lpCaption, uType});
    return IDOK;
  }
  void KeepResponsive() override { ++keepResponsiveCalls; }

 private:
  // Records a window call, with the twips it sets if any; throws when it is to fail.
  Windows& Window(const std::string& op, const Form& form, std::optional<float> twips = std::nullopt);
  static std::string Quoted(const char* text);
  // The path a handle was opened at ("" for HKEY_LOCAL_MACHINE, its number for none).
  std::string PathOf(HKEY hKey) const;
  std::string PathBelow(HKEY hKey, const char* lpSubKey) const;
  // Remembers where a handle that a call opened points.
  LONG Opened(LONG status, const HKEY* phkResult, const std::string& path);

  std::map<HKEY, std::string> paths_;
};

}  // namespace fake

#include "FakePlatform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/Registry.h"

using namespace platform;
using platform::portable::MemoryRegistry;

namespace fake {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Dword(DWORD number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return bytes;
}

namespace {
std::string Quoted(const char* text) {
  if (!text) return "null";
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  return quoted;
}

std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}
}  // namespace

FakePlatform::FakePlatform() {
  version.dwPlatformId = 2;
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 2;
}

void FakePlatform::Fail(const std::string& op, int occurrence, LONG status) {
  failures_[op][occurrence] = status;
}

std::optional<LONG> FakePlatform::Record(const std::string& op, const std::string& text) {
  calls_.push_back({op, text});
  const int n = ++counts_[op];
  auto failures = failures_.find(op);
  if (failures == failures_.end()) return std::nullopt;
  for (int key : {n, 0}) {
    auto it = failures->second.find(key);
    if (it != failures->second.end()) return it->second;
  }
  return std::nullopt;
}

std::vector<std::string> FakePlatform::CallTexts(const std::string& op) const {
  std::vector<std::string> texts;
  for (const Call& call : calls_)
    if (op.empty() || call.op == op) texts.push_back(call.text);
  return texts;
}

int FakePlatform::CountOf(const std::string& op) const {
  return static_cast<int>(
      std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.op == op; }));
}

// These reach the registry below the recording, so that setting up a test
// is no call of the program's.
bool FakePlatform::HasKey(const std::string& path) {
  HKEY key = 0;
  if (MemoryRegistry::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  MemoryRegistry::RegCloseKey(key);
  return true;
}

std::optional<Value> FakePlatform::GetValue(const std::string& path, const std::string& name) {
  HKEY key = 0;
  if (MemoryRegistry::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  Value value{name, 0, std::string(1 << 16, '\0')};
  DWORD size = static_cast<DWORD>(value.data.size());
  const LONG status = MemoryRegistry::RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                                                       reinterpret_cast<BYTE*>(value.data.data()), &size);
  MemoryRegistry::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  value.data.resize(size);
  return value;
}

void FakePlatform::PutValue(const std::string& path, const std::string& name, DWORD type,
                            const std::string& data) {
  if (Lower(path).rfind("hardware\\", 0) == 0) {
    AddVolatileValue(path, name, type, std::vector<BYTE>(data.begin(), data.end()));
    return;
  }
  HKEY key = 0;
  MemoryRegistry::RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  MemoryRegistry::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size()));
  MemoryRegistry::RegCloseKey(key);
}

void FakePlatform::PutKey(const std::string& path) {
  HKEY key = 0;
  MemoryRegistry::RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  MemoryRegistry::RegCloseKey(key);
}

std::map<std::string, std::string> FakePlatform::Snapshot() const {
  // One entry per section of the registry file text.
  std::map<std::string, std::string> snapshot;
  const std::string text = Export();
  for (std::size_t start = text.find("\n["); start != std::string::npos;) {
    const std::size_t end = text.find("\n[", start + 1);
    const std::string section = text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    const std::size_t close = section.find("]\n");
    snapshot[Lower(section.substr(section.find('\\') + 1, close - section.find('\\') - 1))] = section;
    start = end;
  }
  return snapshot;
}

std::string FakePlatform::PathOf(HKEY hKey) const {
  if (hKey == HKEY_LOCAL_MACHINE) return "";
  auto it = paths_.find(hKey);
  return it == paths_.end() ? "invalid" : it->second;
}

std::string FakePlatform::PathBelow(HKEY hKey, const char* lpSubKey) const {
  const std::string parent = PathOf(hKey);
  std::string path = parent;
  if (lpSubKey && *lpSubKey) path.append(parent.empty() ? "" : "\\").append(lpSubKey);
  return path;
}

LONG FakePlatform::Opened(LONG status, HKEY* phkResult, const std::string& path) {
  if (status == ERROR_SUCCESS && phkResult && !IsPredefinedKey(*phkResult)) paths_[*phkResult] = path;
  return status;
}

LONG FakePlatform::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                                 HKEY* phkResult) {
  char sam[16];
  std::snprintf(sam, sizeof sam, "0x%X", samDesired);
  if (auto status = Record("RegOpenKeyExA", "RegOpenKeyExA(" + Quoted(lpSubKey) + ", " +
                                                std::to_string(ulOptions) + ", " + sam + ")"))
    return *status;
  return Opened(MemoryRegistry::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult), phkResult,
                PathBelow(hKey, lpSubKey));
}

LONG FakePlatform::RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (auto status = Record("RegCreateKeyA", "RegCreateKeyA(" + Quoted(lpSubKey) + ")")) return *status;
  return Opened(MemoryRegistry::RegCreateKeyA(hKey, lpSubKey, phkResult), phkResult, PathBelow(hKey, lpSubKey));
}

LONG FakePlatform::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (auto status = Record("RegOpenKeyA", "RegOpenKeyA(" + Quoted(lpSubKey) + ")")) return *status;
  return Opened(MemoryRegistry::RegOpenKeyA(hKey, lpSubKey, phkResult), phkResult, PathBelow(hKey, lpSubKey));
}

LONG FakePlatform::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData) {
  if (auto status = Record("RegSetValueExA", "RegSetValueExA(" + PathOf(hKey) + ", " + Quoted(lpValueName) +
                                                 ", " + std::to_string(Reserved) + ", " +
                                                 std::to_string(dwType) + ", " + std::to_string(cbData) + ")"))
    return *status;
  return MemoryRegistry::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG FakePlatform::RegCloseKey(HKEY hKey) {
  const std::string path = paths_.count(hKey) ? paths_[hKey] : std::to_string(hKey);
  if (auto status = Record("RegCloseKey", "RegCloseKey(" + path + ")")) return *status;
  paths_.erase(hKey);
  return MemoryRegistry::RegCloseKey(hKey);
}

LONG FakePlatform::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                    BYTE* lpData, DWORD* lpcbData) {
  const std::string use = lpData ? "read " + std::to_string(lpcbData ? *lpcbData : 0) : "size";
  if (auto status = Record("RegQueryValueExA", "RegQueryValueExA(" + PathOf(hKey) + ", " +
                                                   Quoted(lpValueName) + ", " + use + ")"))
    return *status;
  return MemoryRegistry::RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

LONG FakePlatform::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  if (auto status = Record("RegDeleteKeyA", "RegDeleteKeyA(" + Quoted(PathBelow(hKey, lpSubKey).c_str()) + ")"))
    return *status;
  return MemoryRegistry::RegDeleteKeyA(hKey, lpSubKey);
}

LONG FakePlatform::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  if (auto status =
          Record("RegDeleteValueA", "RegDeleteValueA(" + PathOf(hKey) + ", " + Quoted(lpValueName) + ")"))
    return *status;
  return MemoryRegistry::RegDeleteValueA(hKey, lpValueName);
}

LONG FakePlatform::RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) {
  if (auto status = Record("RegQueryInfoKeyCounts", "RegQueryInfoKeyCounts(" + PathOf(hKey) + ")"))
    return *status;
  return MemoryRegistry::RegQueryInfoKeyCounts(hKey, lpcSubKeys, lpcValues);
}

BOOL FakePlatform::GetVersionExA(OSVERSIONINFOA* info) {
  if (Record("GetVersionExA", "GetVersionExA(" + std::to_string(info->dwOSVersionInfoSize) + ")")) return 0;
  if (!versionFillsRecord) return 0;
  const DWORD size = info->dwOSVersionInfoSize;
  *info = version;
  info->dwOSVersionInfoSize = size;
  return 1;
}

UINT FakePlatform::GetSystemDirectoryA(char* lpBuffer, UINT uSize) {
  if (Record("GetSystemDirectoryA", "GetSystemDirectoryA(" + std::to_string(uSize) + ")")) return 0;
  const std::size_t n = std::min<std::size_t>(systemDirectory.size(), uSize - 1);
  std::memcpy(lpBuffer, systemDirectory.data(), n);
  lpBuffer[n] = '\0';
  return systemDirectoryResult ? systemDirectoryResult : static_cast<UINT>(n);
}

void FakePlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
  Record("GetLocalTime", "GetLocalTime()");
  *lpSystemTime = SYSTEMTIME{year, 12, 2, 8, 9, 0, 0, 0};
}

void FakePlatform::RecordWindow(const std::string& op, const Form& form, const std::string& detail) {
  if (auto status = Record(op, op + "(" + form.Spec().caption + (detail.empty() ? "" : ", " + detail) + ")"))
    throw PlatformError(op + " failed", *status);
}

void FakePlatform::Run(Form& startup) {
  RecordWindow("Run", startup);
  HeadlessWindowing::Run(startup);
}

void FakePlatform::Show(Form& form) {
  RecordWindow("Show", form);
  HeadlessWindowing::Show(form);
}

float FakePlatform::Width(const Form& form) {
  RecordWindow("Width", form);
  const float width = HeadlessWindowing::Width(form);
  return widthOverride ? *widthOverride : width;
}

void FakePlatform::SetWidth(Form& form, float twips) {
  RecordWindow("SetWidth", form, Number(twips));
  HeadlessWindowing::SetWidth(form, twips);
}

float FakePlatform::Height(const Form& form) {
  RecordWindow("Height", form);
  return HeadlessWindowing::Height(form);
}

void FakePlatform::SetHeight(Form& form, float twips) {
  RecordWindow("SetHeight", form, Number(twips));
  HeadlessWindowing::SetHeight(form, twips);
}

void FakePlatform::SetLeft(Form& form, float twips) {
  RecordWindow("SetLeft", form, Number(twips));
  HeadlessWindowing::SetLeft(form, twips);
}

void FakePlatform::SetTop(Form& form, float twips) {
  RecordWindow("SetTop", form, Number(twips));
  HeadlessWindowing::SetTop(form, twips);
}

void FakePlatform::Refresh(Form& form) {
  RecordWindow("Refresh", form);
  HeadlessWindowing::Refresh(form);
}

void FakePlatform::Unload(Form& form) {
  RecordWindow("Unload", form);
  HeadlessWindowing::Unload(form);
}

int FakePlatform::MessageBoxA(const Form*, const char* lpText, const char* lpCaption, UINT uType) {
  if (Record("MessageBoxA", std::string("MessageBoxA(") + lpCaption + ": " + lpText + ")")) return 0;
  messageBoxes.push_back({lpText, lpCaption, uType});
  return IDOK;
}

}  // namespace fake

#include "FakePlatform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/Registry.h"

using namespace platform;

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

std::string FakePlatform::Quoted(const char* text) {
  if (!text) return "null";
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  return quoted;
}

namespace {
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

// These reach the registry below the recording, so that setting up a test
// is no call of the program's.
bool FakePlatform::HasKey(const std::string& path) {
  HKEY key = 0;
  if (Memory::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  Memory::RegCloseKey(key);
  return true;
}

std::optional<Value> FakePlatform::GetValue(const std::string& path, const std::string& name) {
  HKEY key = 0;
  if (Memory::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  Value value{name, 0, std::string(1 << 16, '\0')};
  DWORD size = static_cast<DWORD>(value.data.size());
  const LONG status = Memory::RegQueryValueExA(key, name.c_str(), nullptr, &value.type,
                                               reinterpret_cast<BYTE*>(value.data.data()), &size);
  Memory::RegCloseKey(key);
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
  Memory::RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  Memory::RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
  Memory::RegCloseKey(key);
}

void FakePlatform::PutKey(const std::string& path) {
  HKEY key = 0;
  Memory::RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key);
  Memory::RegCloseKey(key);
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

LONG FakePlatform::Opened(LONG status, const HKEY* phkResult, const std::string& path) {
  if (status == ERROR_SUCCESS && phkResult && !IsPredefinedKey(*phkResult)) paths_[*phkResult] = path;
  return status;
}

LONG FakePlatform::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                                 HKEY* phkResult) {
  char sam[16];
  std::snprintf(sam, sizeof sam, "0x%X", samDesired);
  return Reg("RegOpenKeyExA", Quoted(lpSubKey) + ", " + std::to_string(ulOptions) + ", " + sam, [&] {
    return Opened(Memory::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult), phkResult,
                  PathBelow(hKey, lpSubKey));
  });
}

LONG FakePlatform::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData) {
  if (auto status =
          Record("RegSetValueExA", "RegSetValueExA(" + PathOf(hKey) + ", " + Quoted(lpValueName) + ", " +
                                       std::to_string(Reserved) + ", " + std::to_string(dwType) + ", " +
                                       std::to_string(cbData) + ")"))
    return *status;
  return Memory::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG FakePlatform::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                    BYTE* lpData, DWORD* lpcbData) {
  const std::string use = lpData ? "read " + std::to_string(lpcbData ? *lpcbData : 0) : "size";
  return Reg("RegQueryValueExA", PathOf(hKey) + ", " + Quoted(lpValueName) + ", " + use, [&] {
    return Memory::RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
  });
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

void FakePlatform::Window(const std::string& op, const Form& form, const std::function<void()>& call,
                          std::optional<float> twips) {
  if (auto status = Record(op, op + "(" + form.Spec().caption + (twips ? ", " + Number(*twips) : "") + ")"))
    throw PlatformError(op + " failed", *status);
  call();
}

}  // namespace fake

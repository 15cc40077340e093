#include "FakePlatform.h"

#include <cctype>
#include <cstdio>

using platform::portable::RegKey;

namespace fake {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Dword(DWORD number) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(number >> shift);
  return bytes;
}

std::optional<LONG> Recorder::Call(const std::string& op, const std::string& arguments) {
  calls_.push_back(op + "(" + arguments + ")");
  const std::map<int, LONG>& failures = failures_[op];
  for (int occurrence : {++counts_[op], 0})
    if (failures.count(occurrence)) return failures.at(occurrence);
  return std::nullopt;
}

std::vector<std::string> Recorder::CallTexts(const std::string& op) const {
  std::vector<std::string> texts;
  for (const std::string& call : calls_)
    if (op.empty() || call.rfind(op + "(", 0) == 0) texts.push_back(call);
  return texts;
}

std::optional<Value> FakePlatform::GetValue(const std::string& path, const std::string& name) {
  const RegKey* key = Key(path, false);
  const platform::portable::RegValue* value = key ? key->FindValue(name) : nullptr;
  if (value == nullptr) return std::nullopt;
  return Value{value->type, std::string(value->data.begin(), value->data.end())};
}

void FakePlatform::PutValue(const std::string& path, const std::string& name, DWORD type,
                            const std::string& data) {
  std::vector<BYTE> bytes(data.begin(), data.end());
  if (Lower(path).rfind("hardware\\", 0) == 0) return AddVolatileValue(path, name, type, std::move(bytes));
  PutKey(path).SetValue({name, type, std::move(bytes)});
}

std::map<std::string, std::string> FakePlatform::Snapshot() const {
  std::map<std::string, std::string> snapshot;
  const std::string text = Export(), head = "\n[HKEY_LOCAL_MACHINE\\";
  for (std::size_t start = text.find(head), end; start != std::string::npos; start = end) {
    end = text.find(head, start + 1);
    const std::size_t path = start + head.size(), close = text.find("]\n", path);
    snapshot[Lower(text.substr(path, close - path))] = text.substr(start + 1, end - start - 1);
  }
  return snapshot;
}

std::string FakePlatform::Quoted(const char* text) {
  return text ? std::string(1, '"').append(text).append(1, '"') : "null";
}

std::string FakePlatform::PathOf(HKEY hKey) const {
  const auto it = paths_.find(hKey);
  return hKey == HKEY_LOCAL_MACHINE ? "" : it == paths_.end() ? std::to_string(hKey) : it->second;
}

std::string FakePlatform::PathBelow(HKEY hKey, const char* lpSubKey) const {
  std::string path = PathOf(hKey);
  if (lpSubKey && *lpSubKey) path.append(path.empty() ? "" : "\\").append(lpSubKey);
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
  if (auto failed = Call("RegOpenKeyExA", Quoted(lpSubKey) + ", " + std::to_string(ulOptions) + ", " + sam))
    return *failed;
  return Opened(Memory::RegOpenKeyExA(hKey, lpSubKey, ulOptions, samDesired, phkResult), phkResult,
                PathBelow(hKey, lpSubKey));
}

LONG FakePlatform::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData) {
  if (auto failed =
          Call("RegSetValueExA", PathOf(hKey) + ", " + Quoted(lpValueName) + ", " + std::to_string(Reserved) +
                                     ", " + std::to_string(dwType) + ", " + std::to_string(cbData)))
    return *failed;
  return Memory::RegSetValueExA(hKey, lpValueName, Reserved, dwType, lpData, cbData);
}

LONG FakePlatform::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                    BYTE* lpData, DWORD* lpcbData) {
  const std::string use = lpData ? "read " + std::to_string(lpcbData ? *lpcbData : 0) : "size";
  if (auto failed = Call("RegQueryValueExA", PathOf(hKey) + ", " + Quoted(lpValueName) + ", " + use))
    return *failed;
  return Memory::RegQueryValueExA(hKey, lpValueName, lpReserved, lpType, lpData, lpcbData);
}

BOOL FakePlatform::GetVersionExA(OSVERSIONINFOA* info) {
  if (Call("GetVersionExA", std::to_string(info->dwOSVersionInfoSize)) || !versionFillsRecord) return 0;
  const DWORD size = info->dwOSVersionInfoSize;
  *info = version;
  info->dwOSVersionInfoSize = size;
  return 1;
}

UINT FakePlatform::GetSystemDirectoryA(char* lpBuffer, UINT uSize) {
  if (Call("GetSystemDirectoryA", std::to_string(uSize))) return 0;
  const std::size_t n = systemDirectory.copy(lpBuffer, uSize - 1);
  lpBuffer[n] = '\0';
  return systemDirectoryResult ? systemDirectoryResult : static_cast<UINT>(n);
}

Windows& FakePlatform::Window(const std::string& op, const Form& form, std::optional<float> twips) {
  char number[32] = "";
  if (twips) std::snprintf(number, sizeof number, ", %g", static_cast<double>(*twips));
  if (auto status = Call(op, form.Spec().caption + number)) throw PlatformError(op + " failed", *status);
  return *this;
}

}  // namespace fake

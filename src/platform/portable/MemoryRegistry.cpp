#include "platform/portable/MemoryRegistry.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "platform/portable/RegText.h"

namespace platform::portable {

namespace {

constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericExecute = 0x20000000u;
constexpr DWORD kGenericAll = 0x10000000u;
constexpr DWORD kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

// Turns generic rights into the key rights they stand for.
DWORD MapGeneric(DWORD sam) {
  DWORD access = sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | MAXIMUM_ALLOWED);
  if (sam & (kGenericRead | kGenericExecute)) access |= KEY_READ;
  if (sam & kGenericWrite) access |= KEY_WRITE;
  if (sam & kGenericAll) access |= KEY_ALL_ACCESS;
  return access;
}

// Value names follow the key name rules except for length and backslashes.
bool ValidValueName(std::string_view name) {
  return name.size() <= kMaxValueNameLength && !HasControlByte(name);
}

std::string_view NameOf(const char* name) {
  return name == nullptr ? std::string_view() : std::string_view(name, std::strlen(name));
}

}  // namespace

LONG MemoryRegistry::RecordChange(const Change&) {
  return ERROR_SUCCESS;
}

DWORD MemoryRegistry::FullAccess() const noexcept {
  return readOnly_ ? KEY_READ : KEY_ALL_ACCESS;
}

MemoryRegistry::MemoryRegistry() : rootKey_{&store_.root(), KEY_ALL_ACCESS} {}

const MemoryRegistry::OpenKey* MemoryRegistry::Resolve(HKEY hKey) {
  if (hKey == HKEY_LOCAL_MACHINE) return &rootKey_;
  auto it = handles_.find(hKey);
  return it == handles_.end() ? nullptr : &it->second;
}

LONG MemoryRegistry::Usable(const OpenKey* open) noexcept {
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  return open->key == nullptr ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

HKEY MemoryRegistry::NewHandle(RegKey& key, DWORD access, LONG* status) {
  if (nextHandle_ >= 0x80000000u - 4) {
    *status = ERROR_NOT_ENOUGH_MEMORY;
    return 0;
  }
  HKEY handle = nextHandle_;
  nextHandle_ += 4;
  handles_.emplace(handle, OpenKey{&key, access});
  *status = ERROR_SUCCESS;
  return handle;
}

LONG MemoryRegistry::OpenExisting(const OpenKey& from, const char* lpSubKey, DWORD access, HKEY* phkResult) {
  if (LONG status = SplitKeyPath(lpSubKey, parts_); status != ERROR_SUCCESS) return status;
  std::size_t matched = 0;
  RegKey& key = RegStore::Walk(*from.key, parts_, &matched);
  if (matched != parts_.size()) return ERROR_FILE_NOT_FOUND;
  LONG status = ERROR_SUCCESS;
  *phkResult = NewHandle(key, access, &status);
  return status;
}

LONG MemoryRegistry::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, DWORD samDesired,
                                   HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  const OpenKey* from = Resolve(hKey);
  if (LONG status = Usable(from); status != ERROR_SUCCESS) return status;
  const DWORD access =
      (samDesired & MAXIMUM_ALLOWED) ? FullAccess() | MapGeneric(samDesired) : MapGeneric(samDesired);
  if (readOnly_ && (access & kWriteRights)) return ERROR_ACCESS_DENIED;
  return OpenExisting(*from, lpSubKey, access, phkResult);
}

LONG MemoryRegistry::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  const OpenKey* from = Resolve(hKey);
  if (from == nullptr) return ERROR_INVALID_HANDLE;
  if (lpSubKey == nullptr || *lpSubKey == '\0') {
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  if (LONG status = Usable(from); status != ERROR_SUCCESS) return status;
  return OpenExisting(*from, lpSubKey, FullAccess(), phkResult);
}

LONG MemoryRegistry::RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  const OpenKey* from = Resolve(hKey);
  if (LONG status = Usable(from); status != ERROR_SUCCESS) return status;
  if (LONG status = SplitKeyPath(lpSubKey, parts_); status != ERROR_SUCCESS) return status;
  std::size_t matched = 0;
  RegKey* key = &RegStore::Walk(*from->key, parts_, &matched);
  if (matched != parts_.size()) {
    if (readOnly_ || !(from->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (key->isVolatile()) return ERROR_CHILD_MUST_BE_VOLATILE;
    if (key->depth() + parts_.size() - matched > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    std::string path = key->path();
    for (std::size_t i = matched; i < parts_.size(); ++i) {
      if (!path.empty()) path += '\\';
      path.append(parts_[i]);
    }
    if (LONG status = RecordChange(Change{Change::Kind::kCreateKey, path, nullptr}); status != ERROR_SUCCESS)
      return status;
    for (std::size_t i = matched; i < parts_.size(); ++i) key = &RegStore::AddChild(*key, parts_[i], false);
  }
  LONG status = ERROR_SUCCESS;
  *phkResult = NewHandle(*key, FullAccess(), &status);
  return status;
}

LONG MemoryRegistry::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                    const BYTE* lpData, DWORD cbData) {
  const OpenKey* open = Resolve(hKey);
  if (LONG status = Usable(open); status != ERROR_SUCCESS) return status;
  if (Reserved != 0 || (lpData == nullptr && cbData != 0)) return ERROR_INVALID_PARAMETER;
  std::string_view name = NameOf(lpValueName);
  if (!ValidValueName(name)) return ERROR_INVALID_PARAMETER;
  if (readOnly_ || !(open->access & KEY_SET_VALUE) || open->key->isRoot()) return ERROR_ACCESS_DENIED;
  RegKey& key = *open->key;
  if (!RegStore::WouldChange(key, name, dwType, lpData, cbData)) return ERROR_SUCCESS;
  RegValue value;
  if (const RegValue* old = key.FindValue(name)) {
    value.name = old->name;
  } else {
    value.name = std::string(name);
  }
  value.type = dwType;
  if (cbData != 0) value.data.assign(lpData, lpData + cbData);
  if (!key.isVolatile()) {
    const std::string path = key.path();
    if (LONG status = RecordChange(Change{Change::Kind::kSetValue, path, &value}); status != ERROR_SUCCESS)
      return status;
  }
  RegStore::SetValue(key, std::move(value));
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegCloseKey(HKEY hKey) {
  if (IsPredefinedKey(hKey)) return ERROR_SUCCESS;
  return handles_.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG MemoryRegistry::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                      BYTE* lpData, DWORD* lpcbData) {
  const OpenKey* open = Resolve(hKey);
  if (LONG status = Usable(open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const RegValue* value = open->key->FindValue(NameOf(lpValueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (lpType != nullptr) *lpType = value->type;
  auto size = static_cast<DWORD>(value->data.size());
  if (lpcbData == nullptr) return ERROR_SUCCESS;
  if (lpData != nullptr && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData != nullptr && size != 0) std::memcpy(lpData, value->data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  const OpenKey* from = Resolve(hKey);
  if (LONG status = Usable(from); status != ERROR_SUCCESS) return status;
  if (lpSubKey == nullptr || *lpSubKey == '\0') return ERROR_INVALID_PARAMETER;
  if (LONG status = SplitKeyPath(lpSubKey, parts_); status != ERROR_SUCCESS) return status;
  std::size_t matched = 0;
  RegKey& key = RegStore::Walk(*from->key, parts_, &matched);
  if (matched != parts_.size()) return ERROR_FILE_NOT_FOUND;
  if (readOnly_ || key.isVolatile() || !key.children().empty()) return ERROR_ACCESS_DENIED;
  const std::string path = key.path();
  if (LONG status = RecordChange(Change{Change::Kind::kDeleteKey, path, nullptr}); status != ERROR_SUCCESS)
    return status;
  for (auto& [handle, open] : handles_) {
    if (open.key == &key) open.key = nullptr;
  }
  RegStore::RemoveChild(*key.parent(), key.name());
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  const OpenKey* open = Resolve(hKey);
  if (LONG status = Usable(open); status != ERROR_SUCCESS) return status;
  if (readOnly_ || !(open->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  RegKey& key = *open->key;
  const std::string_view name = NameOf(lpValueName);
  const RegValue* value = key.FindValue(name);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (!key.isVolatile()) {
    const std::string path = key.path();
    if (LONG status = RecordChange(Change{Change::Kind::kDeleteValue, path, value}); status != ERROR_SUCCESS)
      return status;
  }
  RegStore::RemoveValue(key, name);
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) {
  const OpenKey* open = Resolve(hKey);
  if (LONG status = Usable(open); status != ERROR_SUCCESS) return status;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(open->key->children().size());
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(open->key->values().size());
  return ERROR_SUCCESS;
}

void MemoryRegistry::AddVolatileValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                                      std::vector<BYTE> data) {
  std::vector<std::string_view> parts;
  if (SplitKeyPath(keyPath.c_str(), parts) != ERROR_SUCCESS || parts.empty() ||
      keyPath.size() != std::strlen(keyPath.c_str()) || !ValidValueName(valueName)) {
    throw std::invalid_argument("not a volatile key path or value name: " + keyPath + " " + valueName);
  }
  std::size_t matched = 0;
  RegKey* key = &RegStore::Walk(store_.root(), parts, &matched);
  if (!key->isVolatile() && (matched == parts.size() || !key->isRoot())) {
    throw std::invalid_argument("HKEY_LOCAL_MACHINE\\" + keyPath + " is not volatile");
  }
  key = &RegStore::EnsurePath(
      *key, std::vector<std::string_view>(parts.begin() + static_cast<std::ptrdiff_t>(matched), parts.end()),
      true);
  RegValue value;
  const RegValue* old = key->FindValue(valueName);
  value.name = old != nullptr ? old->name : valueName;
  value.type = type;
  value.data = std::move(data);
  RegStore::SetValue(*key, std::move(value));
}

LONG MemoryRegistry::RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
  const OpenKey* open = Resolve(hKey);
  if (LONG status = Usable(open); status != ERROR_SUCCESS) return status;
  if (!(open->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  const auto& children = open->key->children();
  if (dwIndex >= children.size()) return ERROR_NO_MORE_ITEMS;
  const std::string_view name = std::next(children.begin(), dwIndex)->first;
  if (lpName == nullptr || name.size() >= cchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.data(), name.size());
  lpName[name.size()] = '\0';
  return ERROR_SUCCESS;
}

std::string MemoryRegistry::Export() const {
  return WriteRegFile(store_);
}

}  // namespace platform::portable

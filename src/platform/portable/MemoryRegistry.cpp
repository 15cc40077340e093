#include "platform/portable/MemoryRegistry.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace platform::portable {

namespace {

unsigned char Fold(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

bool HasControlByte(std::string_view name) noexcept {
  return std::any_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

std::string_view NameOf(const char* name) {
  return name == nullptr ? std::string_view() : std::string_view(name);
}

}  // namespace

bool NameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Fold(x) < Fold(y); });
}

bool SameName(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

PathFault SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts) {
  parts.clear();
  for (std::size_t start = 0;; start += parts.back().size() + 1) {
    parts.push_back(path.substr(start, std::min(path.find('\\', start), path.size()) - start));
    if (parts.back().empty()) return PathFault::kEmptyName;
    if (HasControlByte(parts.back())) return PathFault::kControlByte;
    if (parts.back().size() > kMaxKeyNameLength) return PathFault::kTooLong;
    if (start + parts.back().size() == path.size()) return PathFault::kNone;
  }
}

const RegValue* RegKey::FindValue(std::string_view valueName) const {
  const auto it = valueIndex.find(valueName);
  return it == valueIndex.end() ? nullptr : &*it->second;
}

void RegKey::SetValue(RegValue value) {
  if (const auto it = valueIndex.find(value.name); it != valueIndex.end()) {
    it->second->type = value.type;
    it->second->data = std::move(value.data);
    return;
  }
  values.push_back(std::move(value));
  valueIndex.emplace(values.back().name, std::prev(values.end()));
}

void RegKey::RemoveValue(std::string_view valueName) {
  if (const auto it = valueIndex.find(valueName); it != valueIndex.end()) {
    const auto value = it->second;
    valueIndex.erase(it);  // while the name it views is still there
    values.erase(value);
  }
}

RegKey* FindKey(RegKey& from, const std::vector<std::string_view>& parts, bool create) {
  RegKey* key = &from;
  for (const std::string_view part : parts) {
    auto it = key->children.find(part);
    if (it == key->children.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<RegKey>(RegKey{std::string(part), key->isVolatile, key, {}, {}, {}});
      it = key->children.emplace(child->name, std::move(child)).first;
    }
    key = it->second.get();
  }
  return key;
}

MemoryRegistry::MemoryRegistry() : rootKey_{&root_, KEY_ALL_ACCESS, {}, {}} {
  FindKey(root_, {kVolatileTopKey}, true)->isVolatile = true;
}

RegKey* MemoryRegistry::Key(std::string_view path, bool create) {
  std::vector<std::string_view> parts;
  if (SplitKeyPath(path, parts) != PathFault::kNone) return nullptr;
  if (create) Changing(root_);
  return FindKey(root_, parts, create);
}

void MemoryRegistry::Changing(const RegKey& key) {
  changed_ = changed_ || !key.isVolatile;
  for (auto& [handle, open] : handles_) open.subkeys.index = open.values.index = 0;
  rootKey_.subkeys.index = rootKey_.values.index = 0;
}

LONG MemoryRegistry::Resolve(HKEY hKey, OpenKey*& open, DWORD needed) {
  const auto it = handles_.find(hKey);
  open = hKey == HKEY_LOCAL_MACHINE ? &rootKey_ : it == handles_.end() ? nullptr : &it->second;
  if (open == nullptr) return ERROR_INVALID_HANDLE;
  if (open->key == nullptr) return ERROR_KEY_DELETED;
  return (open->access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG MemoryRegistry::Walk(RegKey& from, const char* subKey, RegKey*& key, std::size_t& matched) {
  std::string_view path = NameOf(subKey);
  parts_.clear();
  if (!path.empty()) {
    if (path.front() == '\\') return ERROR_BAD_PATHNAME;
    if (path.back() == '\\') path.remove_suffix(1);  // one trailing backslash is allowed
    if (const PathFault fault = SplitKeyPath(path, parts_); fault != PathFault::kNone)
      return fault == PathFault::kEmptyName ? ERROR_BAD_PATHNAME : ERROR_INVALID_PARAMETER;
  }
  key = &from;
  for (matched = 0; matched < parts_.size(); ++matched) {
    const auto it = key->children.find(parts_[matched]);
    if (it == key->children.end()) break;
    key = it->second.get();
  }
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::NewHandle(RegKey& key, DWORD access, HKEY* phkResult) {
  if (nextHandle_ >= 0x80000000u - 4) return ERROR_NOT_ENOUGH_MEMORY;
  handles_.emplace(nextHandle_, OpenKey{&key, access, {}, {}});
  *phkResult = nextHandle_;
  nextHandle_ += 4;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, DWORD samDesired,
                                   HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  OpenKey* from = nullptr;
  if (LONG status = Resolve(hKey, from); status != ERROR_SUCCESS) return status;
  const DWORD full = readOnly_ ? KEY_READ : KEY_ALL_ACCESS;
  const DWORD access = (samDesired & MAXIMUM_ALLOWED) ? full : samDesired;
  if (readOnly_ && (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY))) return ERROR_ACCESS_DENIED;
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (LONG status = Walk(*from->key, lpSubKey, key, matched); status != ERROR_SUCCESS) return status;
  return matched == parts_.size() ? NewHandle(*key, access, phkResult) : ERROR_FILE_NOT_FOUND;
}

LONG MemoryRegistry::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (phkResult == nullptr || !NameOf(lpSubKey).empty())
    return MemoryRegistry::RegOpenKeyExA(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);  // not an override
  OpenKey* open = nullptr;
  const bool valid = Resolve(hKey, open) != ERROR_INVALID_HANDLE;
  *phkResult = valid ? hKey : 0;
  return valid ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG MemoryRegistry::RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  OpenKey* from = nullptr;
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (LONG status = Resolve(hKey, from); status != ERROR_SUCCESS) return status;
  if (LONG status = Walk(*from->key, lpSubKey, key, matched); status != ERROR_SUCCESS) return status;
  if (matched != parts_.size()) {
    if (readOnly_ || !(from->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (key->isVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
    std::size_t depth = parts_.size();
    for (const RegKey* above = from->key; above->parent != nullptr; above = above->parent) ++depth;
    if (depth > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    Changing(*key);
    key = FindKey(*key, {parts_.begin() + static_cast<std::ptrdiff_t>(matched), parts_.end()}, true);
  }
  return NewHandle(*key, readOnly_ ? KEY_READ : KEY_ALL_ACCESS, phkResult);
}

LONG MemoryRegistry::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                    const BYTE* lpData, DWORD cbData) {
  OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open); status != ERROR_SUCCESS) return status;
  const std::string_view name = NameOf(lpValueName);
  if (Reserved != 0 || (lpData == nullptr && cbData != 0) || name.size() > kMaxValueNameLength ||
      HasControlByte(name))
    return ERROR_INVALID_PARAMETER;
  RegKey& key = *open->key;
  if (readOnly_ || !(open->access & KEY_SET_VALUE) || key.parent == nullptr) return ERROR_ACCESS_DENIED;
  const RegValue* old = key.FindValue(name);
  const BYTE* end = lpData == nullptr ? lpData : lpData + cbData;
  if (old != nullptr && old->type == dwType && std::equal(lpData, end, old->data.begin(), old->data.end()))
    return ERROR_SUCCESS;  // nothing changes
  Changing(key);
  key.SetValue({std::string(name), dwType, std::vector<BYTE>(lpData, end)});
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegCloseKey(HKEY hKey) {
  if (IsPredefinedKey(hKey)) return ERROR_SUCCESS;
  return handles_.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG MemoryRegistry::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                      BYTE* lpData, DWORD* lpcbData) {
  OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const RegValue* value = open->key->FindValue(NameOf(lpValueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  return CopyData(*value, lpType, lpData, lpcbData);
}

LONG MemoryRegistry::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  OpenKey* from = nullptr;
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (LONG status = Resolve(hKey, from); status != ERROR_SUCCESS) return status;
  if (NameOf(lpSubKey).empty()) return ERROR_INVALID_PARAMETER;
  if (LONG status = Walk(*from->key, lpSubKey, key, matched); status != ERROR_SUCCESS) return status;
  if (matched != parts_.size()) return ERROR_FILE_NOT_FOUND;
  if (readOnly_ || key->isVolatile || !key->children.empty()) return ERROR_ACCESS_DENIED;
  for (auto& [handle, open] : handles_)
    if (open.key == key) open.key = nullptr;
  Changing(*key->parent);
  key->parent->children.erase(key->name);
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_SET_VALUE); status != ERROR_SUCCESS) return status;
  if (readOnly_) return ERROR_ACCESS_DENIED;
  if (open->key->FindValue(NameOf(lpValueName)) == nullptr) return ERROR_FILE_NOT_FOUND;
  Changing(*open->key);
  open->key->RemoveValue(NameOf(lpValueName));
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) {
  OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_QUERY_VALUE); status != ERROR_SUCCESS) return status;
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(open->key->children.size());
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(open->key->values.size());
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
  OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_ENUMERATE_SUB_KEYS); status != ERROR_SUCCESS) return status;
  auto& children = open->key->children;
  if (dwIndex >= children.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& name = open->subkeys.Seek(children, dwIndex)->first;
  if (lpName == nullptr || name.size() >= cchName) return ERROR_MORE_DATA;
  *std::copy(name.begin(), name.end(), lpName) = '\0';
  open->subkeys.Step();
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                                   DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_QUERY_VALUE); status != ERROR_SUCCESS) return status;
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  auto& values = open->key->values;
  if (dwIndex >= values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = *open->values.Seek(values, dwIndex);
  if (value.name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
  *std::copy(value.name.begin(), value.name.end(), lpValueName) = '\0';
  *lpcchValueName = static_cast<DWORD>(value.name.size());
  const LONG status = CopyData(value, lpType, lpData, lpcbData);
  if (status == ERROR_SUCCESS) open->values.Step();
  return status;
}

LONG MemoryRegistry::CopyData(const RegValue& value, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (lpType != nullptr) *lpType = value.type;
  if (lpcbData == nullptr) return ERROR_SUCCESS;
  const auto size = static_cast<DWORD>(value.data.size());
  const LONG status = lpData != nullptr && *lpcbData < size ? ERROR_MORE_DATA : ERROR_SUCCESS;
  if (lpData != nullptr && status == ERROR_SUCCESS) std::copy(value.data.begin(), value.data.end(), lpData);
  *lpcbData = size;
  return status;
}

void MemoryRegistry::AddVolatileValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                                      std::vector<BYTE> data) {
  std::vector<std::string_view> parts;
  if (SplitKeyPath(keyPath, parts) != PathFault::kNone || !SameName(parts[0], kVolatileTopKey))
    throw std::invalid_argument("not a volatile key: HKEY_LOCAL_MACHINE\\" + keyPath);
  FindKey(root_, parts, true)->SetValue({valueName, type, std::move(data)});
}

std::string MemoryRegistry::Export() const {
  return WriteRegFile(root_);
}

}  // namespace platform::portable

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

// Turns generic rights into the key rights they stand for.
DWORD MapGeneric(DWORD sam) {
  constexpr DWORD kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u, kGenericExecute = 0x20000000u,
                  kGenericAll = 0x10000000u;
  DWORD access = sam & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll | MAXIMUM_ALLOWED);
  if (sam & (kGenericRead | kGenericExecute)) access |= KEY_READ;
  if (sam & kGenericWrite) access |= KEY_WRITE;
  if (sam & kGenericAll) access |= KEY_ALL_ACCESS;
  return access;
}

bool HasControlByte(std::string_view name) noexcept {
  return std::any_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

// Value names follow the key name rules except for length and backslashes.
bool ValidValueName(std::string_view name) {
  return name.size() <= kMaxValueNameLength && !HasControlByte(name);
}

std::string_view NameOf(const char* name) {
  return name == nullptr ? std::string_view() : std::string_view(name, std::strlen(name));
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

RegKey::RegKey() : RegKey(nullptr, "", false) {
  Ensure({kVolatileTopKey}, true);
}

RegKey::RegKey(RegKey* parent, std::string_view name, bool isVolatile)
    : parent(parent), name(name), isVolatile(isVolatile) {}

RegKey::~RegKey() {
  // Empties the keys below from the last found up, so that no key frees
  // children that still have their own: a deep tree would overflow the stack.
  if (children.empty()) return;
  std::vector<RegKey*> keys{this};
  for (std::size_t i = 0; i < keys.size(); ++i) {
    for (auto& entry : keys[i]->children) keys.push_back(entry.second.get());
  }
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) (*it)->children.clear();
}

std::string RegKey::Path() const {
  std::vector<const RegKey*> chain;
  for (const RegKey* key = this; key->parent != nullptr; key = key->parent) chain.push_back(key);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    path.append(path.empty() ? "" : "\\").append((*it)->name);
  return path;
}

RegKey* RegKey::FindChild(std::string_view childName) const {
  auto it = children.find(childName);
  return it == children.end() ? nullptr : it->second.get();
}

const RegValue* RegKey::FindValue(std::string_view valueName) const {
  auto it = valueIndex.find(valueName);
  return it == valueIndex.end() ? nullptr : &*it->second;
}

RegKey& RegKey::Walk(const std::vector<std::string_view>& parts, std::size_t* matched) {
  RegKey* key = this;
  for (*matched = 0; *matched < parts.size(); ++*matched) {
    RegKey* child = key->FindChild(parts[*matched]);
    if (child == nullptr) break;
    key = child;
  }
  return *key;
}

RegKey& RegKey::Ensure(const std::vector<std::string_view>& parts, bool asVolatile) {
  std::size_t matched = 0;
  return Walk(parts, &matched).AddBelow(parts, matched, asVolatile);
}

RegKey& RegKey::AddBelow(const std::vector<std::string_view>& parts, std::size_t first, bool asVolatile) {
  RegKey* key = this;
  for (std::size_t i = first; i < parts.size(); ++i) {
    auto child = std::make_unique<RegKey>(key, parts[i], asVolatile);
    key = child.get();
    key->parent->children.emplace(key->name, std::move(child));
  }
  return *key;
}

void RegKey::SetValue(RegValue value) {
  if (auto it = valueIndex.find(value.name); it != valueIndex.end()) {
    it->second->type = value.type;
    it->second->data = std::move(value.data);
    return;
  }
  values.push_back(std::move(value));
  valueIndex.emplace(values.back().name, std::prev(values.end()));
}

void RegKey::RemoveValue(std::string_view valueName) {
  auto it = valueIndex.find(valueName);
  if (it == valueIndex.end()) return;
  const auto value = it->second;
  valueIndex.erase(it);  // while the name it views is still there
  values.erase(value);
}

void RegKey::RemoveChild(std::string_view childName) {
  if (auto it = children.find(childName); it != children.end()) children.erase(it);
}

MemoryRegistry::MemoryRegistry() : rootKey_{&root_, KEY_ALL_ACCESS} {}

LONG MemoryRegistry::RecordChange(const Change&) {
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::Resolve(HKEY hKey, const OpenKey*& open, DWORD needed) const {
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
  key = &from.Walk(parts_, &matched);
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::NewHandle(RegKey& key, DWORD access, HKEY* phkResult) {
  if (nextHandle_ >= 0x80000000u - 4) return ERROR_NOT_ENOUGH_MEMORY;
  handles_.emplace(nextHandle_, OpenKey{&key, access});
  *phkResult = nextHandle_;
  nextHandle_ += 4;
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::Record(Change::Kind kind, const RegKey& key, const RegValue* value) {
  if (key.isVolatile) return ERROR_SUCCESS;
  const std::string path = key.Path();
  return RecordChange(Change{kind, path, value});
}

LONG MemoryRegistry::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, DWORD samDesired,
                                   HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  const OpenKey* from = nullptr;
  if (LONG status = Resolve(hKey, from); status != ERROR_SUCCESS) return status;
  const DWORD access =
      (samDesired & MAXIMUM_ALLOWED) ? FullAccess() | MapGeneric(samDesired) : MapGeneric(samDesired);
  if (readOnly_ && (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY))) return ERROR_ACCESS_DENIED;
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (LONG status = Walk(*from->key, lpSubKey, key, matched); status != ERROR_SUCCESS) return status;
  return matched == parts_.size() ? NewHandle(*key, access, phkResult) : ERROR_FILE_NOT_FOUND;
}

LONG MemoryRegistry::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (phkResult == nullptr || !NameOf(lpSubKey).empty())
    return MemoryRegistry::RegOpenKeyExA(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);  // not an override
  const OpenKey* open = nullptr;
  const bool valid = Resolve(hKey, open) != ERROR_INVALID_HANDLE;
  *phkResult = valid ? hKey : 0;
  return valid ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG MemoryRegistry::RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
  *phkResult = 0;
  const OpenKey* from = nullptr;
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (LONG status = Resolve(hKey, from); status != ERROR_SUCCESS) return status;
  if (LONG status = Walk(*from->key, lpSubKey, key, matched); status != ERROR_SUCCESS) return status;
  if (matched != parts_.size()) {
    if (readOnly_ || !(from->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    if (key->isVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
    std::string path = key->Path();
    for (std::size_t i = matched; i < parts_.size(); ++i)
      path.append(path.empty() ? "" : "\\").append(parts_[i]);
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxKeyDepth)
      return ERROR_INVALID_PARAMETER;
    if (LONG status = RecordChange(Change{Change::Kind::kCreateKey, path, nullptr}); status != ERROR_SUCCESS)
      return status;
    key = &key->AddBelow(parts_, matched, false);
  }
  return NewHandle(*key, FullAccess(), phkResult);
}

LONG MemoryRegistry::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                    const BYTE* lpData, DWORD cbData) {
  const OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open); status != ERROR_SUCCESS) return status;
  const std::string_view name = NameOf(lpValueName);
  if (Reserved != 0 || (lpData == nullptr && cbData != 0) || !ValidValueName(name))
    return ERROR_INVALID_PARAMETER;
  RegKey& key = *open->key;
  if (readOnly_ || !(open->access & KEY_SET_VALUE) || key.parent == nullptr) return ERROR_ACCESS_DENIED;
  const RegValue* old = key.FindValue(name);
  const BYTE* end = lpData == nullptr ? lpData : lpData + cbData;
  if (old != nullptr && old->type == dwType && std::equal(lpData, end, old->data.begin(), old->data.end()))
    return ERROR_SUCCESS;  // nothing changes, nothing is recorded
  RegValue value{old != nullptr ? old->name : std::string(name), dwType, std::vector<BYTE>(lpData, end)};
  if (LONG status = Record(Change::Kind::kSetValue, key, &value); status != ERROR_SUCCESS) return status;
  key.SetValue(std::move(value));
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegCloseKey(HKEY hKey) {
  if (IsPredefinedKey(hKey)) return ERROR_SUCCESS;
  return handles_.erase(hKey) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG MemoryRegistry::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                      BYTE* lpData, DWORD* lpcbData) {
  const OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open); status != ERROR_SUCCESS) return status;
  if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr)) return ERROR_INVALID_PARAMETER;
  if (!(open->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  const RegValue* value = open->key->FindValue(NameOf(lpValueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  return CopyData(*value, lpType, lpData, lpcbData);
}

LONG MemoryRegistry::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  const OpenKey* from = nullptr;
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (LONG status = Resolve(hKey, from); status != ERROR_SUCCESS) return status;
  if (NameOf(lpSubKey).empty()) return ERROR_INVALID_PARAMETER;
  if (LONG status = Walk(*from->key, lpSubKey, key, matched); status != ERROR_SUCCESS) return status;
  if (matched != parts_.size()) return ERROR_FILE_NOT_FOUND;
  if (readOnly_ || key->isVolatile || !key->children.empty()) return ERROR_ACCESS_DENIED;
  if (LONG status = Record(Change::Kind::kDeleteKey, *key, nullptr); status != ERROR_SUCCESS) return status;
  for (auto& [handle, open] : handles_) {
    if (open.key == key) open.key = nullptr;
  }
  key->parent->RemoveChild(key->name);
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  const OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_SET_VALUE); status != ERROR_SUCCESS) return status;
  if (readOnly_) return ERROR_ACCESS_DENIED;
  const RegValue* value = open->key->FindValue(NameOf(lpValueName));
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (LONG status = Record(Change::Kind::kDeleteValue, *open->key, value); status != ERROR_SUCCESS)
    return status;
  open->key->RemoveValue(value->name);
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) {
  const OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_QUERY_VALUE); status != ERROR_SUCCESS) return status;
  if (lpcSubKeys != nullptr) *lpcSubKeys = static_cast<DWORD>(open->key->children.size());
  if (lpcValues != nullptr) *lpcValues = static_cast<DWORD>(open->key->values.size());
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) {
  const OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_ENUMERATE_SUB_KEYS); status != ERROR_SUCCESS) return status;
  if (dwIndex >= open->key->children.size()) return ERROR_NO_MORE_ITEMS;
  const std::string_view name = std::next(open->key->children.begin(), dwIndex)->first;
  if (lpName == nullptr || name.size() >= cchName) return ERROR_MORE_DATA;
  *std::copy(name.begin(), name.end(), lpName) = '\0';
  return ERROR_SUCCESS;
}

LONG MemoryRegistry::RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                                   DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  const OpenKey* open = nullptr;
  if (LONG status = Resolve(hKey, open, KEY_QUERY_VALUE); status != ERROR_SUCCESS) return status;
  if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
      (lpData != nullptr && lpcbData == nullptr))
    return ERROR_INVALID_PARAMETER;
  if (dwIndex >= open->key->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& value = *std::next(open->key->values.begin(), dwIndex);
  if (value.name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
  *std::copy(value.name.begin(), value.name.end(), lpValueName) = '\0';
  *lpcchValueName = static_cast<DWORD>(value.name.size());
  return CopyData(value, lpType, lpData, lpcbData);
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
  RegKey* key = nullptr;
  std::size_t matched = 0;
  if (keyPath.empty() || keyPath.size() != std::strlen(keyPath.c_str()) ||
      Walk(root_, keyPath.c_str(), key, matched) != ERROR_SUCCESS || !ValidValueName(valueName)) {
    throw std::invalid_argument("not a volatile key path or value name: " + keyPath + " " + valueName);
  }
  // Only a new key directly below the root may start a volatile branch.
  if (!key->isVolatile && (matched == parts_.size() || key->parent != nullptr)) {
    throw std::invalid_argument("HKEY_LOCAL_MACHINE\\" + keyPath + " is not volatile");
  }
  key->AddBelow(parts_, matched, true).SetValue({valueName, type, std::move(data)});
}

std::string MemoryRegistry::Export() const {
  return WriteRegFile(root_);
}

}  // namespace platform::portable

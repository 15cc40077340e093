#include "platform/portable/RegStore.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace platform::portable {

namespace {

unsigned char Fold(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool NameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (Fold(a[i]) != Fold(b[i])) return Fold(a[i]) < Fold(b[i]);
  }
  return a.size() < b.size();
}

bool HasControlByte(std::string_view name) noexcept {
  return std::any_of(name.begin(), name.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

LONG SplitKeyPath(const char* subKey, std::vector<std::string_view>& parts) {
  parts.clear();
  if (subKey == nullptr || *subKey == '\0') return ERROR_SUCCESS;
  std::string_view path(subKey, std::strlen(subKey));
  if (path.front() == '\\') return ERROR_BAD_PATHNAME;
  if (path.back() == '\\') path.remove_suffix(1);
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (part.size() > kMaxKeyNameLength || HasControlByte(part)) return ERROR_INVALID_PARAMETER;
    parts.push_back(part);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

RegKey::RegKey(RegKey* parent, std::string name, bool isVolatile)
    : parent_(parent), name_(std::move(name)), volatile_(isVolatile) {}

RegKey::~RegKey() {
  // Frees the keys below level by level: a deep tree would overflow the stack
  // if each key freed its own children. A key taken apart here has none left.
  std::vector<std::unique_ptr<RegKey>> doomed;
  auto takeChildren = [&doomed](RegKey& key) {
    for (auto& entry : key.children_) {
      if (entry.second != nullptr) doomed.push_back(std::move(entry.second));
    }
  };
  takeChildren(*this);
  while (!doomed.empty()) {
    std::unique_ptr<RegKey> key = std::move(doomed.back());
    doomed.pop_back();
    takeChildren(*key);
  }
}

std::string RegKey::path() const {
  std::vector<const RegKey*> chain;
  for (const RegKey* key = this; !key->isRoot(); key = key->parent_) chain.push_back(key);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += (*it)->name_;
  }
  return path;
}

std::size_t RegKey::depth() const noexcept {
  std::size_t depth = 0;
  for (const RegKey* key = this; !key->isRoot(); key = key->parent_) ++depth;
  return depth;
}

RegKey* RegKey::FindChild(std::string_view name) const {
  auto it = children_.find(name);
  return it == children_.end() ? nullptr : it->second.get();
}

const RegValue* RegKey::FindValue(std::string_view name) const {
  auto it = valueIndex_.find(name);
  return it == valueIndex_.end() ? nullptr : &*it->second;
}

RegStore::RegStore() : root_(std::make_unique<RegKey>(nullptr, std::string(), false)) {
  AddChild(*root_, kVolatileTopKey, true);
}

RegKey& RegStore::AddChild(RegKey& parent, std::string_view name, bool isVolatile) {
  auto child = std::make_unique<RegKey>(&parent, std::string(name), isVolatile);
  RegKey& added = *child;
  parent.children_.emplace(added.name(), std::move(child));
  return added;
}

bool RegStore::RemoveChild(RegKey& parent, std::string_view name) {
  auto it = parent.children_.find(name);
  if (it == parent.children_.end()) return false;
  parent.children_.erase(it);
  return true;
}

RegKey& RegStore::Walk(RegKey& from, const std::vector<std::string_view>& parts, std::size_t* matched) {
  RegKey* key = &from;
  std::size_t i = 0;
  for (; i < parts.size(); ++i) {
    RegKey* child = key->FindChild(parts[i]);
    if (child == nullptr) break;
    key = child;
  }
  *matched = i;
  return *key;
}

RegKey& RegStore::EnsurePath(RegKey& from, const std::vector<std::string_view>& parts, bool isVolatile) {
  std::size_t matched = 0;
  RegKey* key = &Walk(from, parts, &matched);
  for (std::size_t i = matched; i < parts.size(); ++i) key = &AddChild(*key, parts[i], isVolatile);
  return *key;
}

bool RegStore::WouldChange(const RegKey& key, std::string_view name, DWORD type, const BYTE* data,
                           std::size_t size) {
  const RegValue* old = key.FindValue(name);
  if (old == nullptr || old->type != type || old->data.size() != size) return true;
  return size != 0 && std::memcmp(old->data.data(), data, size) != 0;
}

void RegStore::SetValue(RegKey& key, RegValue value) {
  if (auto it = key.valueIndex_.find(value.name); it != key.valueIndex_.end()) {
    it->second->type = value.type;
    it->second->data = std::move(value.data);
    return;
  }
  key.values_.push_back(std::move(value));
  key.valueIndex_.emplace(key.values_.back().name, std::prev(key.values_.end()));
}

bool RegStore::RemoveValue(RegKey& key, std::string_view name) {
  auto it = key.valueIndex_.find(name);
  if (it == key.valueIndex_.end()) return false;
  const RegKey::Values::iterator value = it->second;
  key.valueIndex_.erase(it);  // while the name it views is still there
  key.values_.erase(value);
  return true;
}

}  // namespace platform::portable

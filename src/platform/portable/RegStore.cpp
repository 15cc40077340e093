#include "platform/portable/RegStore.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace platform::portable {

namespace {

// Each byte with ASCII upper case folded to lower case.
constexpr std::array<unsigned char, 256> FoldTable() {
  std::array<unsigned char, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + ('a' - 'A') : i);
  }
  return table;
}
constexpr std::array<unsigned char, 256> kFolded = FoldTable();

unsigned char Fold(char c) noexcept {
  return kFolded[static_cast<unsigned char>(c)];
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  if (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0) return true;  // mostly spelled alike
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

bool NameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    unsigned char x = Fold(a[i]);
    unsigned char y = Fold(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::size_t NameHash::operator()(std::string_view name) const noexcept {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the folded bytes
  for (char c : name) hash = (hash ^ Fold(c)) * 1099511628211ull;
  return static_cast<std::size_t>(hash);
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

const std::string& RegKey::path() const {
  if (path_.empty() && parent_ != nullptr) {
    if (parent_->isRoot()) {
      path_ = name_;
    } else {
      const std::string& above = parent_->path();
      path_.reserve(above.size() + 1 + name_.size());
      path_.append(above).append(1, '\\').append(name_);
    }
  }
  return path_;
}

namespace {

template <typename Iterator>
Iterator LowerBound(Iterator begin, Iterator end, std::string_view name) {
  return std::lower_bound(begin, end, name, [](const auto& child, std::string_view wanted) {
    return NameLess()(child.first, wanted);
  });
}

}  // namespace

RegKey::Children::iterator RegKey::ChildPosition(std::string_view name) {
  // Keys are mostly added in order: check the end first.
  if (children_.empty() || NameLess()(children_.back().first, name)) return children_.end();
  return LowerBound(children_.begin(), children_.end(), name);
}

RegKey::Children::const_iterator RegKey::ChildPosition(std::string_view name) const {
  return LowerBound(children_.begin(), children_.end(), name);
}

RegKey* RegKey::FindChild(std::string_view name) const {
  if (!childIndex_.empty()) {
    RegKey* const* found =
        childIndex_.Find(name, [](const RegKey* child) -> std::string_view { return child->name(); });
    return found == nullptr ? nullptr : *found;
  }
  auto it = ChildPosition(name);
  return it == children_.end() || !NamesEqual(it->first, name) ? nullptr : it->second.get();
}

std::size_t RegKey::IndexOf(std::string_view name) const {
  if (valueIndex_.empty()) {
    for (std::size_t i = 0; i < values_.size(); ++i) {
      if (NamesEqual(values_[i].name, name)) return i;
    }
    return kNoValue;
  }
  const std::size_t* found =
      valueIndex_.Find(name, [this](std::size_t i) -> std::string_view { return values_[i].name; });
  return found == nullptr ? kNoValue : *found;
}

void RegKey::IndexChildren() {
  childIndex_.Clear();
  if (children_.size() < kIndexedChildren) return;
  for (const auto& [name, child] : children_) childIndex_.Add(child->name(), child.get());
}

void RegKey::IndexValues() {
  valueIndex_.Clear();
  if (values_.size() < kIndexedValues) return;
  for (std::size_t i = 0; i < values_.size(); ++i) valueIndex_.Add(values_[i].name, i);
}

const RegValue* RegKey::FindValue(std::string_view name) const {
  std::size_t i = IndexOf(name);
  return i == kNoValue ? nullptr : &values_[i];
}

RegStore::RegStore() : root_(std::make_unique<RegKey>(nullptr, std::string(), false)) {
  AddChild(*root_, kVolatileTopKey, true);
}

RegKey& RegStore::AddChild(RegKey& parent, std::string_view name, bool isVolatile) {
  auto child = std::make_unique<RegKey>(&parent, std::string(name), isVolatile);
  RegKey& added = *child;
  parent.children_.emplace(parent.ChildPosition(name), std::string(name), std::move(child));
  if (!parent.childIndex_.empty()) {
    parent.childIndex_.Add(added.name(), &added);
  } else {
    parent.IndexChildren();
  }
  return added;
}

bool RegStore::RemoveChild(RegKey& parent, std::string_view name) {
  auto it = parent.ChildPosition(name);
  if (it == parent.children_.end() || !NamesEqual(it->first, name)) return false;
  parent.childIndex_.Remove(name, [](const RegKey* child) -> std::string_view { return child->name(); });
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
  if (std::size_t i = key.IndexOf(value.name); i != RegKey::kNoValue) {
    RegValue& old = key.values_[i];
    old.type = value.type;
    old.data = std::move(value.data);
    return;
  }
  AddValue(key, std::move(value));
}

void RegStore::ReserveValues(RegKey& key, std::size_t more) {
  key.values_.reserve(key.values_.size() + more);
}

void RegStore::AddValue(RegKey& key, RegValue value) {
  key.values_.push_back(std::move(value));
  if (!key.valueIndex_.empty()) {
    key.valueIndex_.Add(key.values_.back().name, key.values_.size() - 1);
  } else {
    key.IndexValues();
  }
}

bool RegStore::RemoveValue(RegKey& key, std::string_view name) {
  const std::size_t removed = key.IndexOf(name);
  if (removed == RegKey::kNoValue) return false;
  key.valueIndex_.Remove(name, [&key](std::size_t i) -> std::string_view { return key.values_[i].name; });
  key.values_.erase(key.values_.begin() + static_cast<std::ptrdiff_t>(removed));
  key.valueIndex_.ForEach([removed](std::size_t& i) {
    if (i > removed) --i;  // the values after it moved up
  });
  return true;
}

}  // namespace platform::portable

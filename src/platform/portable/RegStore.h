// The key tree behind the portable registry: keys with their values, the
// naming rules and the case-insensitive ordering. No handles and no access
// rights here; MemoryRegistry adds those, RegText reads and writes the tree.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace platform::portable {

// Names compare with ASCII case folding only; other bytes compare as they are.
bool NamesEqual(std::string_view a, std::string_view b) noexcept;

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// A hash under the same folding: names that are NamesEqual hash alike.
struct NameHash {
  std::size_t operator()(std::string_view name) const noexcept;
};

inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

// The key directly below HKEY_LOCAL_MACHINE that exists only in memory.
inline constexpr std::string_view kVolatileTopKey = "HARDWARE";

// True when a name holds a control byte (below 0x20, or 0x7F).
bool HasControlByte(std::string_view name) noexcept;

// Splits a subkey path as the registry calls take it. Null or "" gives no
// components. A single trailing backslash is allowed. Returns
// ERROR_BAD_PATHNAME for a leading backslash or an empty component and
// ERROR_INVALID_PARAMETER for a component with a control byte or longer than
// kMaxKeyNameLength.
LONG SplitKeyPath(const char* subKey, std::vector<std::string_view>& parts);

// Items found by a case-folded name: open addressing over one flat table,
// so that a lookup in a large key touches a slot and the item, not a chain
// of nodes. The names stay with the items; nameOf(item) gives an item's.
template <typename Item>
class NameIndex {
 public:
  bool empty() const noexcept { return used_ == 0; }
  void Clear() noexcept {
    slots_.clear();
    used_ = 0;
  }
  // Adds an item whose name is not in the index yet.
  void Add(std::string_view name, Item item) {
    if ((used_ + 1) * 4 > slots_.size() * 3) Grow();
    Place(NameHash()(name), item);
    ++used_;
  }
  // The item named name, or null when there is none.
  template <typename NameOf>
  const Item* Find(std::string_view name, const NameOf& nameOf) const {
    const std::size_t i = SlotOf(name, nameOf);
    return i == kNowhere ? nullptr : &slots_[i].item;
  }
  // Takes out the item named name, if there is one; while the names are still there to compare.
  template <typename NameOf>
  void Remove(std::string_view name, const NameOf& nameOf) {
    std::size_t hole = SlotOf(name, nameOf);
    if (hole == kNowhere) return;
    // Moves back each later slot of the run that may sit in the hole, so that
    // every item stays reachable from its own slot without gaps.
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t j = (hole + 1) & mask; slots_[j].used; j = (j + 1) & mask) {
      const std::size_t home = slots_[j].hash & mask;
      const bool between = hole <= j ? hole < home && home <= j : hole < home || home <= j;
      if (between) continue;
      slots_[hole] = slots_[j];
      hole = j;
    }
    slots_[hole] = Slot{};
    --used_;
  }
  // Applies change to every item in place.
  template <typename Change>
  void ForEach(const Change& change) {
    for (Slot& slot : slots_) {
      if (slot.used) change(slot.item);
    }
  }

 private:
  struct Slot {
    std::size_t hash = 0;
    Item item{};
    bool used = false;
  };
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);

  template <typename NameOf>
  std::size_t SlotOf(std::string_view name, const NameOf& nameOf) const {
    if (slots_.empty()) return kNowhere;
    const std::size_t hash = NameHash()(name);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (!slot.used) return kNowhere;
      if (slot.hash == hash && NamesEqual(nameOf(slot.item), name)) return i;
    }
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 32 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
      if (slot.used) Place(slot.hash, slot.item);
    }
  }
  void Place(std::size_t hash, Item item) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].used) i = (i + 1) & mask;
    slots_[i] = Slot{hash, item, true};
  }

  std::vector<Slot> slots_;  // a power of two of them, at most three quarters used
  std::size_t used_ = 0;
};

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class RegKey {
 public:
  // Sorted by name with NameLess; a file lists keys in that order, so loading
  // one appends.
  using Children = std::vector<std::pair<std::string, std::unique_ptr<RegKey>>>;

  RegKey(RegKey* parent, std::string name, bool isVolatile);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  const std::string& name() const noexcept { return name_; }
  // Below HKEY_LOCAL_MACHINE, components joined by backslashes; "" for the root.
  // Made when first asked for: reading a file asks for none.
  const std::string& path() const;
  RegKey* parent() const noexcept { return parent_; }
  bool isRoot() const noexcept { return parent_ == nullptr; }
  bool isVolatile() const noexcept { return volatile_; }
  const Children& children() const noexcept { return children_; }
  // In the order they were first set.
  const std::vector<RegValue>& values() const noexcept { return values_; }

  RegKey* FindChild(std::string_view name) const;
  const RegValue* FindValue(std::string_view name) const;

 private:
  friend class RegStore;

  // A key with fewer values than this is searched value by value; from this
  // many on, valueIndex_ holds every value's position (it is empty otherwise).
  static constexpr std::size_t kIndexedValues = 16;
  static constexpr std::size_t kNoValue = static_cast<std::size_t>(-1);
  std::size_t IndexOf(std::string_view name) const;
  // Where a child of that name is, or would go.
  Children::iterator ChildPosition(std::string_view name);
  Children::const_iterator ChildPosition(std::string_view name) const;

  RegKey* parent_;
  std::string name_;
  mutable std::string path_;  // "" until path() makes it
  bool volatile_;
  Children children_;
  // From kIndexedChildren children on, every child; empty otherwise.
  static constexpr std::size_t kIndexedChildren = 16;
  NameIndex<RegKey*> childIndex_;
  std::vector<RegValue> values_;
  NameIndex<std::size_t> valueIndex_;

  void IndexChildren();
  void IndexValues();
};

class RegStore {
 public:
  // Starts with the root and the volatile HARDWARE key below it.
  RegStore();

  RegKey& root() noexcept { return *root_; }
  const RegKey& root() const noexcept { return *root_; }

  // Adds a child that must not exist yet, spelled as given.
  RegKey& AddChild(RegKey& parent, std::string_view name, bool isVolatile);
  // Removes a child with everything below it. False when there is none.
  static bool RemoveChild(RegKey& parent, std::string_view name);
  // Walks the components, adding the missing ones.
  RegKey& EnsurePath(RegKey& from, const std::vector<std::string_view>& parts, bool isVolatile);
  // Follows the components as far as they exist; *matched receives how many did.
  RegKey& Walk(RegKey& from, const std::vector<std::string_view>& parts, std::size_t* matched);

  // True when setting this would change anything (new value, or other type or bytes).
  static bool WouldChange(const RegKey& key, std::string_view name, DWORD type, const BYTE* data,
                          std::size_t size);
  // Creates or replaces; a replaced value keeps its first spelling and place.
  static void SetValue(RegKey& key, RegValue value);
  // Adds a value the key does not have yet (FindValue gave null).
  static void AddValue(RegKey& key, RegValue value);
  // Makes room for that many more values.
  static void ReserveValues(RegKey& key, std::size_t more);
  // Removes a value; the others keep their order. False when there is none.
  static bool RemoveValue(RegKey& key, std::string_view name);

 private:
  std::unique_ptr<RegKey> root_;
};

}  // namespace platform::portable

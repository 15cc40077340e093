// The key tree behind the portable registry: keys with their values, the
// naming rules and the case-insensitive ordering. No handles and no access
// rights here; MemoryRegistry adds those, RegText reads and writes the tree.
//
// A registry holds about a thousand data sources at most, but a file may be
// hostile: every lookup is a balanced-tree search, so loading stays near
// linear in whatever order the keys come, and nothing walks the tree by
// recursion, so depth costs no stack.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace platform::portable {

// Names compare with ASCII case folding only; other bytes compare as they are.
bool NamesEqual(std::string_view a, std::string_view b) noexcept;

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};

inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;  // levels below HKEY_LOCAL_MACHINE, as on Windows

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

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class RegKey {
 public:
  // Keyed by a view of each child's own name, which lives as long as the child.
  using Children = std::map<std::string_view, std::unique_ptr<RegKey>, NameLess>;
  // In the order they were first set; list nodes stay put, so the index may view their names.
  using Values = std::list<RegValue>;

  RegKey(RegKey* parent, std::string name, bool isVolatile);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey();

  const std::string& name() const noexcept { return name_; }
  // Below HKEY_LOCAL_MACHINE, components joined by backslashes; "" for the root.
  std::string path() const;
  // Levels below HKEY_LOCAL_MACHINE; 0 for the root.
  std::size_t depth() const noexcept;
  RegKey* parent() const noexcept { return parent_; }
  bool isRoot() const noexcept { return parent_ == nullptr; }
  bool isVolatile() const noexcept { return volatile_; }
  const Children& children() const noexcept { return children_; }
  const Values& values() const noexcept { return values_; }

  RegKey* FindChild(std::string_view name) const;
  const RegValue* FindValue(std::string_view name) const;

 private:
  friend class RegStore;

  RegKey* parent_;
  std::string name_;
  bool volatile_;
  Children children_;
  Values values_;
  std::map<std::string_view, Values::iterator, NameLess> valueIndex_;
};

class RegStore {
 public:
  // Starts with the root and the volatile HARDWARE key below it.
  RegStore();

  RegKey& root() noexcept { return *root_; }
  const RegKey& root() const noexcept { return *root_; }

  // Adds a child that must not exist yet, spelled as given.
  static RegKey& AddChild(RegKey& parent, std::string_view name, bool isVolatile);
  // Removes a child with everything below it. False when there is none.
  static bool RemoveChild(RegKey& parent, std::string_view name);
  // Walks the components, adding the missing ones.
  static RegKey& EnsurePath(RegKey& from, const std::vector<std::string_view>& parts, bool isVolatile);
  // Follows the components as far as they exist; *matched receives how many did.
  static RegKey& Walk(RegKey& from, const std::vector<std::string_view>& parts, std::size_t* matched);

  // True when setting this would change anything (new value, or other type or bytes).
  static bool WouldChange(const RegKey& key, std::string_view name, DWORD type, const BYTE* data,
                          std::size_t size);
  // Creates or replaces; a replaced value keeps its first spelling and place.
  static void SetValue(RegKey& key, RegValue value);
  // Removes a value; the others keep their order. False when there is none.
  static bool RemoveValue(RegKey& key, std::string_view name);

 private:
  std::unique_ptr<RegKey> root_;
};

}  // namespace platform::portable

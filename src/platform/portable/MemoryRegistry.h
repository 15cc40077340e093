// The registry in memory: a key tree, the registry calls over it with the
// status codes Windows gives, and its REGEDIT4 text (RegText.cpp). The base
// of the portable machine registry, and what the tests' fake runs on.
//
// Only HKEY_LOCAL_MACHINE exists; the other predefined roots are invalid
// handles here. HKEY_LOCAL_MACHINE\HARDWARE and everything below it is
// volatile: built at start with AddVolatileValue and never saved.
#pragma once

#include <cstddef>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"

namespace platform::portable {

inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxKeyDepth = 512;  // levels below HKEY_LOCAL_MACHINE, as on Windows
inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";
inline constexpr std::string_view kVolatileTopKey = "HARDWARE";

// Names compare with ASCII case folding only; other bytes compare as they are.
struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};
bool SameName(std::string_view a, std::string_view b) noexcept;

// Splits a key path at its backslashes. A name may hold no control byte
// (below 0x20, or 0x7F), which the registry file could not hold.
enum class PathFault { kNone, kEmptyName, kControlByte, kTooLong };
PathFault SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts);

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegKey {
  const RegValue* FindValue(std::string_view valueName) const;
  // Creates or replaces; a replaced value keeps its first spelling and place.
  void SetValue(RegValue value);
  void RemoveValue(std::string_view valueName);

  std::string name;
  bool isVolatile = false;
  RegKey* parent = nullptr;  // null for HKEY_LOCAL_MACHINE
  std::map<std::string, std::unique_ptr<RegKey>, NameLess> children;
  std::list<RegValue> values;  // in the order they were first set
  std::map<std::string_view, std::list<RegValue>::iterator, NameLess> valueIndex;  // views the names above
};

// The key at parts below from; with create, made with what is missing
// (as volatile as from); otherwise null when it is not there.
RegKey* FindKey(RegKey& from, const std::vector<std::string_view>& parts, bool create);

// The whole registry file text for the kept (non-volatile) keys below root.
std::string WriteRegFile(const RegKey& root);
// Reads a registry file into the tree below root: "" when it loaded, else
// "displayPath:line: what is wrong".
std::string ReadRegFile(std::string_view text, const std::string& displayPath, RegKey& root);

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();

  // Null or "" opens a new handle to hKey's key (so does RegCreateKeyA).
  LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                     HKEY* phkResult) override;
  // A key deeper than kMaxKeyDepth gives ERROR_INVALID_PARAMETER: it could not be read back.
  LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override;
  // HKEY_LOCAL_MACHINE itself holds no values: ERROR_ACCESS_DENIED.
  LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override;
  LONG RegCloseKey(HKEY hKey) override;
  // As Windows does: null or "" gives back hKey itself, not a new handle.
  LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override;
  LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                        DWORD* lpcbData) override;
  // The access rights of hKey do not matter. Handles still open to the
  // deleted key answer ERROR_KEY_DELETED from then on, and can be closed.
  LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) override;
  LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) override;
  LONG RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) override;
  // Subkeys in case-insensitive order of their names; each handle keeps its
  // place, so that walking a key's subkeys by index costs one step each.
  LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) override;
  // Values in the order they were first set, each handle keeping its place as above.
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                     DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override;

  // For the host to publish machine facts at start, even in a read-only
  // registry: keyPath lies below HARDWARE, and missing keys are created.
  void AddVolatileValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                        std::vector<BYTE> data);

  // A read-only registry refuses every change with ERROR_ACCESS_DENIED.
  void SetReadOnly(bool readOnly) noexcept { readOnly_ = readOnly; }
  bool IsReadOnly() const noexcept { return readOnly_; }
  // Whether a kept key or value has changed since the registry was made.
  bool Changed() const noexcept { return changed_; }

  std::size_t OpenHandleCount() const noexcept { return handles_.size(); }

  // The REGEDIT4 text of the kept keys: what the registry file would hold.
  std::string Export() const;

 protected:
  // The tree itself, bypassing handles and access rights.
  RegKey& root() noexcept { return root_; }
  // The key at path below the root (a path SplitKeyPath takes), created
  // with what is missing above it when create; null when it is not there.
  RegKey* Key(std::string_view path, bool create);

 private:
  // Where an enumeration by index stands: the element at index is *at, so
  // that the next index is one step on. index 0 starts from the beginning.
  template <typename Container>
  struct Cursor {
    DWORD index = 0;
    typename Container::iterator at{};
    typename Container::iterator Seek(Container& container, DWORD wanted) {
      if (index == 0 || index > wanted) at = container.begin(), index = 0;
      at = std::next(at, wanted - index);
      index = wanted;
      return at;
    }
    void Step() { ++at, ++index; }
  };

  struct OpenKey {
    RegKey* key;  // null once the key has been deleted
    DWORD access;
    Cursor<std::map<std::string, std::unique_ptr<RegKey>, NameLess>> subkeys;  // RegEnumKeyA's place
    Cursor<std::list<RegValue>> values;                                        // RegEnumValueA's
  };

  // ERROR_SUCCESS when hKey is open on a key that still exists, with the rights needed.
  LONG Resolve(HKEY hKey, OpenKey*& open, DWORD needed = 0);
  // Follows subKey from `from` as far as it exists, into parts_ and key.
  LONG Walk(RegKey& from, const char* subKey, RegKey*& key, std::size_t& matched);
  LONG NewHandle(RegKey& key, DWORD access, HKEY* phkResult);
  // A change to a key's subkeys or values: every enumeration starts again.
  void Changing(const RegKey& key);
  // A value's type, and its data or size, as the query and enumeration calls give them.
  static LONG CopyData(const RegValue& value, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);

  RegKey root_;
  OpenKey rootKey_;  // what HKEY_LOCAL_MACHINE stands for
  std::unordered_map<HKEY, OpenKey> handles_;
  HKEY nextHandle_ = 0x100;
  bool readOnly_ = false;
  bool changed_ = false;
  std::vector<std::string_view> parts_;  // reused for splitting paths
};

}  // namespace platform::portable

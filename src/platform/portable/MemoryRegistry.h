// The registry in memory: the key tree, its REGEDIT4 text (RegText.cpp) and
// the registry calls over it, with the status codes Windows gives. Used on its
// own by tests and benchmarks, and as the base of the file-backed registry.
//
// Only HKEY_LOCAL_MACHINE exists; the other predefined roots are invalid
// handles here. HKEY_LOCAL_MACHINE\HARDWARE and everything below it is
// volatile: it is built by the host with AddVolatileValue and never saved.
#pragma once

#include <cstddef>
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
inline constexpr std::string_view kVolatileTopKey = "HARDWARE";

// Names compare with ASCII case folding only; other bytes compare as they are.
struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept;
};
bool SameName(std::string_view a, std::string_view b) noexcept;

// Splits a key path at its backslashes. A name may hold no control byte (below 0x20, or 0x7F).
enum class PathFault { kNone, kEmptyName, kControlByte, kTooLong };
PathFault SplitKeyPath(std::string_view path, std::vector<std::string_view>& parts);

struct RegValue {
  std::string name;  // "" is the key's default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  std::size_t line = 0;  // where the registry file set it; 0 when it did not
};

// A key of the tree. A file may be hostile: every lookup is a balanced-tree
// search, so loading stays near linear in whatever order the keys come, and
// nothing walks the tree by recursion, so depth costs no stack.
struct RegKey {
  // HKEY_LOCAL_MACHINE, with the volatile HARDWARE key below it.
  RegKey();
  RegKey(RegKey* parent, std::string_view name, bool isVolatile);
  ~RegKey();

  // Below HKEY_LOCAL_MACHINE, components joined by backslashes; "" for the root.
  std::string Path() const;
  RegKey* FindChild(std::string_view childName) const;
  const RegValue* FindValue(std::string_view valueName) const;
  // Follows parts as far as they exist; *matched receives how many did.
  RegKey& Walk(const std::vector<std::string_view>& parts, std::size_t* matched);
  // Follows parts, adding the missing keys, spelled as given.
  RegKey& Ensure(const std::vector<std::string_view>& parts, bool asVolatile);
  // Adds parts[first], parts[first + 1], ... one below the other below this key; the last added.
  RegKey& AddBelow(const std::vector<std::string_view>& parts, std::size_t first, bool asVolatile);
  // Creates or replaces; a replaced value keeps its first spelling and place.
  void SetValue(RegValue value);
  void RemoveValue(std::string_view valueName);
  void RemoveChild(std::string_view childName);  // with everything below it

  RegKey* parent;  // null for the root
  std::string name;
  bool isVolatile;
  std::size_t line = 0;  // of its section in the registry file; 0 when it has none
  // Keyed by a view of each child's own name, which lives as long as the child.
  std::map<std::string_view, std::unique_ptr<RegKey>, NameLess> children;
  // In the order they were first set; list nodes stay put, so the index may view their names.
  std::list<RegValue> values;
  std::map<std::string_view, std::list<RegValue>::iterator, NameLess> valueIndex;
};

// The registry as REGEDIT4 text: the machine registry file (as README.md
// shows it) and its change log. Reading also takes hex(1):/hex(3): forms,
// sections whose parent keys have none, and bytes 0x80..0xFF in quotes (such
// a REG_SZ is written back as hex(1):).
//
// The change log holds the same lines, hex data kept on one line; sections and
// values may repeat there, the last one wins. Deletions, as regedit writes
// them, are taken only there: [-HKEY_LOCAL_MACHINE\Key] (with whatever is
// below it), "Name"=- and @=-; a key or value already gone is no error.
inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

// Reads a whole registry file into the tree below root. Returns "" when it
// loaded, or "path:line: what is wrong", path being displayPath.
std::string ReadRegFile(std::string_view text, const std::string& displayPath, RegKey& root);

// Replays a change log onto the tree. A last line without its line end is
// an unfinished write and is skipped; *completeBytes receives the length of
// the lines that were replayed. Returns "" or "path:line: what is wrong".
std::string ReplayRegLog(std::string_view text, const std::string& displayPath, RegKey& root,
                         std::size_t* completeBytes);

// The whole file text for the kept (non-volatile) keys below root.
std::string WriteRegFile(const RegKey& root);

// The same lines appended to out: "[HKEY_LOCAL_MACHINE\path]\n", or with
// deleted "[-HKEY_LOCAL_MACHINE\path]\n"; a value line; "\"name\"=-\n".
void AppendKeyLine(std::string& out, std::string_view keyPath, bool deleted);
void AppendValueLine(std::string& out, const RegValue& value, bool wrapHex);
void AppendValueDeleteLine(std::string& out, std::string_view valueName);

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
  // Subkeys in case-insensitive order of their names.
  LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) override;
  // Values in the order they were first set.
  LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                     DWORD* lpType, BYTE* lpData, DWORD* lpcbData) override;

  // For the host to publish machine facts at start, even in a read-only
  // registry: missing keys on the path are created volatile. Throws
  // std::invalid_argument for a malformed path or one through a kept key.
  void AddVolatileValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                        std::vector<BYTE> data);

  // A read-only registry refuses every change with ERROR_ACCESS_DENIED.
  void SetReadOnly(bool readOnly) noexcept { readOnly_ = readOnly; }
  bool IsReadOnly() const noexcept { return readOnly_; }

  std::size_t OpenHandleCount() const noexcept { return handles_.size(); }

  // The REGEDIT4 text of the kept (non-volatile) keys: what the registry file would hold.
  std::string Export() const;

 protected:
  // The tree itself, bypassing handles, access rights and RecordChange.
  RegKey& root() noexcept { return root_; }

  // One change to a key that is kept (not volatile), told before it is made.
  struct Change {
    enum class Kind {
      kCreateKey,    // keyPath is created, with any missing keys above it
      kSetValue,     // *value is set in keyPath
      kDeleteKey,    // keyPath, which has no subkeys, goes with its values
      kDeleteValue,  // the value named value->name goes from keyPath
    };
    Kind kind;
    std::string_view keyPath;  // spelled as it is, or will be, stored
    const RegValue* value;     // for kSetValue and kDeleteValue; null otherwise
  };

  // Called before each real change to a kept key (setting a value to what it
  // holds is none). Any other status than ERROR_SUCCESS cancels the change
  // and is what the call returns.
  virtual LONG RecordChange(const Change& change);

 private:
  struct OpenKey {
    RegKey* key;  // null once the key has been deleted
    DWORD access;
  };

  // ERROR_SUCCESS when hKey is open on a key that still exists, with the rights needed.
  LONG Resolve(HKEY hKey, const OpenKey*& open, DWORD needed = 0) const;
  // Splits subKey into parts_ and follows it from `from` as far as it exists.
  LONG Walk(RegKey& from, const char* subKey, RegKey*& key, std::size_t& matched);
  LONG NewHandle(RegKey& key, DWORD access, HKEY* phkResult);
  // A value's type, and its data or size, as the query and enumeration calls give them.
  static LONG CopyData(const RegValue& value, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
  // RecordChange for a change to key or its values, unless the key is volatile.
  LONG Record(Change::Kind kind, const RegKey& key, const RegValue* value);
  DWORD FullAccess() const noexcept { return readOnly_ ? KEY_READ : KEY_ALL_ACCESS; }

  RegKey root_;
  OpenKey rootKey_;  // what HKEY_LOCAL_MACHINE stands for
  std::unordered_map<HKEY, OpenKey> handles_;
  HKEY nextHandle_ = 0x100;
  bool readOnly_ = false;
  std::vector<std::string_view> parts_;  // reused for splitting paths
};

}  // namespace platform::portable

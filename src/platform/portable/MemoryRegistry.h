// The registry calls over an in-memory key tree, with the status codes Windows
// gives. Used on its own by tests and benchmarks, and as the base of the
// file-backed machine registry.
//
// Only HKEY_LOCAL_MACHINE exists; the other predefined roots are invalid
// handles here. HKEY_LOCAL_MACHINE\HARDWARE and everything below it is
// volatile: it is built by the host with AddVolatileValue and never saved.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Registry.h"
#include "platform/portable/RegStore.h"

namespace platform::portable {

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();
  MemoryRegistry(const MemoryRegistry&) = delete;
  MemoryRegistry& operator=(const MemoryRegistry&) = delete;

  // Null or "" opens a new handle to hKey's key. ulOptions is not looked at.
  LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                     HKEY* phkResult) override;
  // Null or "" opens a new handle to hKey's key. A key deeper than
  // kMaxKeyDepth gives ERROR_INVALID_PARAMETER: it could not be read back.
  LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override;
  // lpData null with cbData > 0 gives ERROR_INVALID_PARAMETER. The key
  // HKEY_LOCAL_MACHINE itself holds no values: ERROR_ACCESS_DENIED.
  LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                      DWORD cbData) override;
  LONG RegCloseKey(HKEY hKey) override;
  // As Windows does: null or "" gives back hKey itself, not a new handle.
  LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) override;
  LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                        DWORD* lpcbData) override;
  // lpSubKey is relative to hKey and may not be null or "". The access rights
  // of hKey do not matter; a key with subkeys, a volatile key or any key in a
  // read-only registry gives ERROR_ACCESS_DENIED. Handles still open to the
  // deleted key answer ERROR_KEY_DELETED from then on, and can be closed.
  LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) override;
  // Needs a handle with KEY_SET_VALUE. The other values keep their order.
  LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) override;
  LONG RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) override;
  // Subkeys in case-insensitive order of their names.
  LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) override;

  // Puts a value into a volatile key, creating the missing keys on the path
  // (backslash-separated, below HKEY_LOCAL_MACHINE) as volatile ones. For the
  // host to publish machine facts at start; allowed in a read-only registry.
  // Throws std::invalid_argument for a malformed path or a path that reaches
  // an existing key that is not volatile.
  void AddVolatileValue(const std::string& keyPath, const std::string& valueName, DWORD type,
                        std::vector<BYTE> data);

  // A read-only registry refuses every change with ERROR_ACCESS_DENIED.
  void SetReadOnly(bool readOnly) noexcept { readOnly_ = readOnly; }
  bool IsReadOnly() const noexcept { return readOnly_; }

  // Handles handed out and not closed yet; predefined roots not counted.
  std::size_t OpenHandleCount() const noexcept { return handles_.size(); }

  // The REGEDIT4 text of the kept (non-volatile) keys: what the registry file would hold.
  std::string Export() const;

 protected:
  // The tree itself, bypassing handles, access rights and RecordChange.
  RegStore& store() noexcept { return store_; }

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

  // Called before each real change to a kept key: a new key, a new value, a
  // value given another type or other bytes, a deleted key or value. Any
  // status but ERROR_SUCCESS cancels the change and is what the call returns.
  virtual LONG RecordChange(const Change& change);

 private:
  struct OpenKey {
    RegKey* key;  // null once the key has been deleted
    DWORD access;
  };

  const OpenKey* Resolve(HKEY hKey);
  // ERROR_SUCCESS when open names a key that still exists.
  static LONG Usable(const OpenKey* open) noexcept;
  HKEY NewHandle(RegKey& key, DWORD access, LONG* status);
  // A new handle with the given access to an existing key below from.
  LONG OpenExisting(const OpenKey& from, const char* lpSubKey, DWORD access, HKEY* phkResult);
  DWORD FullAccess() const noexcept;

  RegStore store_;
  OpenKey rootKey_;  // what HKEY_LOCAL_MACHINE stands for
  std::unordered_map<HKEY, OpenKey> handles_;
  HKEY nextHandle_ = 0x100;
  bool readOnly_ = false;
  std::vector<std::string_view> parts_;  // reused for splitting paths
};

}  // namespace platform::portable

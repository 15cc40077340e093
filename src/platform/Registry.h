// Registry calls as the program makes them: the advapi32 operations it uses,
// with their argument order and status codes. Key handles are 32-bit values;
// 0 means that no key is open.
//
// Include this before <windows.h>: the names below are macros there.
#pragma once

#if defined(HKEY_LOCAL_MACHINE) || defined(ERROR_SUCCESS) || defined(KEY_ALL_ACCESS)
#error "include the platform headers before <windows.h>"
#endif

#include <cstdint>

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using HKEY = std::uint32_t;

inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

// Predefined roots lie at 0x80000000 and above; they are never closed.
constexpr bool IsPredefinedKey(HKEY key) {
  return key >= 0x80000000u && key <= 0x80000006u;
}

// Status codes, as Windows returns them.
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_WRITE_FAULT = 29;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_KEY_DELETED = 1018;  // the handle's key has been deleted
inline constexpr LONG ERROR_CHILD_MUST_BE_VOLATILE = 1021;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Access rights.
inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr DWORD KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD DELETE = 0x00010000;
inline constexpr DWORD MAXIMUM_ALLOWED = 0x02000000;

class Registry {
 public:
  virtual ~Registry() = default;

  virtual LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                             HKEY* phkResult) = 0;
  virtual LONG RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) = 0;
  virtual LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) = 0;
  virtual LONG RegCloseKey(HKEY hKey) = 0;
  virtual LONG RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) = 0;
  virtual LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                BYTE* lpData, DWORD* lpcbData) = 0;
  // Deletes a key that has no subkeys, with its values (a key that has
  // subkeys: ERROR_ACCESS_DENIED; one that does not exist: ERROR_FILE_NOT_FOUND).
  virtual LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) = 0;
  virtual LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) = 0;
  // RegQueryInfoKeyA narrowed to the two counts the program asks for: the
  // key's subkeys and values. Either pointer may be null. Needs a handle
  // with KEY_QUERY_VALUE.
  virtual LONG RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) = 0;
  // The name of the dwIndex-th subkey, NUL-terminated, in a buffer of
  // cchName bytes; ERROR_NO_MORE_ITEMS past the last one. Needs a handle
  // with KEY_ENUMERATE_SUB_KEYS.
  virtual LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD cchName) = 0;
  // The dwIndex-th value of a key: its name, NUL-terminated, in a buffer of
  // *lpcchValueName bytes, which then holds the name's length without the
  // NUL (a name that does not fit: ERROR_MORE_DATA); its type and data as
  // RegQueryValueExA gives them, where asked for. ERROR_NO_MORE_ITEMS past
  // the last one. lpReserved must be null. Needs a handle with KEY_QUERY_VALUE.
  virtual LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                             DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) = 0;
};

// Owns one key handle and closes it exactly once. A predefined root is held
// but never closed. Going out of scope, Reset() and Put() close only a
// handle that is open: 0 is nothing to close. Close() alone closes whatever
// is held, 0 included, and returns what RegCloseKey said: the registry
// value reader (basRegistry) ends every call with a close, also when its
// open left the handle at 0, and keeps that close's status. Open into a
// local handle, then Reset() with it, or use Put() to receive a handle
// straight into a cleared holder.
class UniqueKey {
 public:
  explicit UniqueKey(Registry& registry) noexcept : registry_(&registry) {}
  UniqueKey(Registry& registry, HKEY key) noexcept : registry_(&registry), key_(key) {}
  UniqueKey(const UniqueKey&) = delete;
  UniqueKey& operator=(const UniqueKey&) = delete;
  UniqueKey(UniqueKey&& other) noexcept : registry_(other.registry_), key_(other.Release()) {}
  UniqueKey& operator=(UniqueKey&& other) noexcept {
    if (this != &other) {
      Reset(other.Release());
      registry_ = other.registry_;
    }
    return *this;
  }
  ~UniqueKey() { Reset(); }

  HKEY Get() const noexcept { return key_; }
  explicit operator bool() const noexcept { return key_ != 0; }

  // Closes what is held and hands out the address of the now zero handle.
  HKEY* Put() noexcept {
    Reset();
    return &key_;
  }

  // Opens subKey of parent with RegOpenKeyExA; the handle is held only
  // when the open succeeded, since a failed one leaves nothing to close.
  LONG Open(HKEY parent, const char* subKey, DWORD access) {
    HKEY opened = 0;
    const LONG status = registry_->RegOpenKeyExA(parent, subKey, 0, access, &opened);
    if (status == ERROR_SUCCESS) Reset(opened);
    return status;
  }

  HKEY Release() noexcept {
    HKEY key = key_;
    key_ = 0;
    return key;
  }

  void Reset(HKEY key = 0) noexcept {
    HKEY old = key_;
    key_ = key;
    if (old != 0 && !IsPredefinedKey(old)) registry_->RegCloseKey(old);
  }

  // Closes the held handle, whatever it is (0 included), and returns what
  // RegCloseKey said. Afterwards nothing is held.
  LONG Close() noexcept {
    HKEY key = Release();
    if (IsPredefinedKey(key)) return ERROR_SUCCESS;
    return registry_->RegCloseKey(key);
  }

 private:
  Registry* registry_;
  HKEY key_ = 0;
};

}  // namespace platform

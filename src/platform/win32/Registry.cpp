// The platform names in Registry.h are macros in <windows.h>: these headers
// come first, and below only the Windows spellings are used.
// clang-format off
#include "platform/Registry.h"
#include "platform/win32/Backend.h"
#include "platform/win32/KeyView.h"

#include <windows.h>
// clang-format on

#include <array>
#include <map>

// Outside namespace platform: the Windows macros spell HKEY, DWORD and LONG
// unqualified, and mean Windows' own.
namespace {

using namespace platform::win32;

using ProgramKey = platform::HKEY;
using NativeKey = ::HKEY;
using ProgramStatus = platform::LONG;
using ProgramDword = platform::DWORD;

constexpr ProgramKey kFirstPredefined = 0x80000000u;

// The predefined roots, in the order of their program values from 0x80000000.
const std::array<NativeKey, 7> kPredefined = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,     HKEY_LOCAL_MACHINE,
                                              HKEY_USERS,        HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG,
                                              HKEY_DYN_DATA};

class Win32Registry final : public platform::Registry {
 public:
  explicit Win32Registry(bool wow64) : wow64_(wow64) {}
  Win32Registry(const Win32Registry&) = delete;
  Win32Registry& operator=(const Win32Registry&) = delete;

  ~Win32Registry() override {
    for (auto& [key, native] : open_) ::RegCloseKey(native);
  }

  ProgramStatus RegOpenKeyExA(ProgramKey hKey, const char* lpSubKey, ProgramDword ulOptions,
                              ProgramDword samDesired, ProgramKey* phkResult) override {
    NativeKey parent;
    if (!Resolve(hKey, parent)) return Fail(phkResult);
    KeyCallChoice choice = ChooseKeyCall(KeyCall::OpenEx, samDesired, wow64_);
    return Receive(::RegOpenKeyExA(parent, lpSubKey, ulOptions, choice.samDesired, Out(phkResult)),
                   phkResult);
  }

  ProgramStatus RegCreateKeyA(ProgramKey hKey, const char* lpSubKey, ProgramKey* phkResult) override {
    NativeKey parent;
    if (!Resolve(hKey, parent)) return Fail(phkResult);
    KeyCallChoice choice = ChooseKeyCall(KeyCall::Create, 0, wow64_);
    if (choice.call == NativeCall::RegCreateKeyExA) {
      return Receive(::RegCreateKeyExA(parent, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       choice.samDesired, nullptr, Out(phkResult), nullptr),
                     phkResult);
    }
    return Receive(::RegCreateKeyA(parent, lpSubKey, Out(phkResult)), phkResult);
  }

  ProgramStatus RegOpenKeyA(ProgramKey hKey, const char* lpSubKey, ProgramKey* phkResult) override {
    NativeKey parent;
    if (!Resolve(hKey, parent)) return Fail(phkResult);
    KeyCallChoice choice = ChooseKeyCall(KeyCall::Open, 0, wow64_);
    if (choice.call == NativeCall::RegOpenKeyExA) {
      return Receive(::RegOpenKeyExA(parent, lpSubKey, 0, choice.samDesired, Out(phkResult)), phkResult);
    }
    return Receive(::RegOpenKeyA(parent, lpSubKey, Out(phkResult)), phkResult);
  }

  ProgramStatus RegSetValueExA(ProgramKey hKey, const char* lpValueName, ProgramDword Reserved,
                               ProgramDword dwType, const platform::BYTE* lpData,
                               ProgramDword cbData) override {
    NativeKey key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    return ::RegSetValueExA(key, lpValueName, Reserved, dwType, lpData, cbData);
  }

  ProgramStatus RegQueryValueExA(ProgramKey hKey, const char* lpValueName, ProgramDword* lpReserved,
                                 ProgramDword* lpType, platform::BYTE* lpData,
                                 ProgramDword* lpcbData) override {
    NativeKey key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    // The native DWORD is an unsigned long: go through locals of that type.
    DWORD reserved = lpReserved ? *lpReserved : 0;
    DWORD type = lpType ? *lpType : 0;
    DWORD size = lpcbData ? *lpcbData : 0;
    LONG status = ::RegQueryValueExA(key, lpValueName, lpReserved ? &reserved : nullptr,
                                     lpType ? &type : nullptr, lpData, lpcbData ? &size : nullptr);
    if (lpType) *lpType = static_cast<ProgramDword>(type);
    if (lpcbData) *lpcbData = static_cast<ProgramDword>(size);
    return status;
  }

  ProgramStatus RegDeleteKeyA(ProgramKey hKey, const char* lpSubKey) override {
    NativeKey parent;
    if (!Resolve(hKey, parent)) return ERROR_INVALID_HANDLE;
    return ::RegDeleteKeyExA(parent, lpSubKey, DeleteKeyView(wow64_), 0);
  }

  ProgramStatus RegDeleteValueA(ProgramKey hKey, const char* lpValueName) override {
    NativeKey key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    return ::RegDeleteValueA(key, lpValueName);
  }

  ProgramStatus RegQueryInfoKeyCounts(ProgramKey hKey, ProgramDword* lpcSubKeys,
                                      ProgramDword* lpcValues) override {
    NativeKey key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    DWORD subKeys = 0;
    DWORD values = 0;
    LONG status = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                     nullptr, nullptr, nullptr, nullptr);
    if (lpcSubKeys) *lpcSubKeys = static_cast<ProgramDword>(subKeys);
    if (lpcValues) *lpcValues = static_cast<ProgramDword>(values);
    return status;
  }

  ProgramStatus RegEnumKeyA(ProgramKey hKey, ProgramDword dwIndex, char* lpName,
                            ProgramDword cchName) override {
    NativeKey key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    return ::RegEnumKeyA(key, dwIndex, lpName, cchName);
  }

  ProgramStatus RegEnumValueA(ProgramKey hKey, ProgramDword dwIndex, char* lpValueName,
                              ProgramDword* lpcchValueName, ProgramDword* lpReserved, ProgramDword* lpType,
                              platform::BYTE* lpData, ProgramDword* lpcbData) override {
    NativeKey key;
    if (!Resolve(hKey, key)) return ERROR_INVALID_HANDLE;
    // Through locals of the native DWORD, as in RegQueryValueExA.
    DWORD length = lpcchValueName ? *lpcchValueName : 0;
    DWORD reserved = lpReserved ? *lpReserved : 0;
    DWORD type = lpType ? *lpType : 0;
    DWORD size = lpcbData ? *lpcbData : 0;
    LONG status = ::RegEnumValueA(key, dwIndex, lpValueName, lpcchValueName ? &length : nullptr,
                                  lpReserved ? &reserved : nullptr, lpType ? &type : nullptr, lpData,
                                  lpcbData ? &size : nullptr);
    if (lpcchValueName) *lpcchValueName = static_cast<ProgramDword>(length);
    if (lpType) *lpType = static_cast<ProgramDword>(type);
    if (lpcbData) *lpcbData = static_cast<ProgramDword>(size);
    return status;
  }

  ProgramStatus RegCloseKey(ProgramKey hKey) override {
    if (platform::IsPredefinedKey(hKey)) return ERROR_SUCCESS;
    auto it = open_.find(hKey);
    if (it == open_.end()) return ERROR_INVALID_HANDLE;
    NativeKey native = it->second;
    open_.erase(it);
    return ::RegCloseKey(native);
  }

 private:
  // A native key for a program handle: a predefined root, the null handle
  // for 0 (Windows itself then answers the call), or one opened before.
  bool Resolve(ProgramKey key, NativeKey& native) const {
    if (key == 0) {
      native = nullptr;
      return true;
    }
    if (platform::IsPredefinedKey(key)) {
      native = kPredefined[key - kFirstPredefined];
      return true;
    }
    auto it = open_.find(key);
    if (it == open_.end()) return false;
    native = it->second;
    return true;
  }

  // Where the native call writes the key it opened: nowhere when the
  // program gave nowhere, so that Windows answers that case as it does.
  NativeKey* Out(ProgramKey* phkResult) {
    received_ = nullptr;
    return phkResult ? &received_ : nullptr;
  }

  ProgramStatus Receive(LONG status, ProgramKey* phkResult) {
    if (!phkResult) return status;
    *phkResult = 0;
    if (status != ERROR_SUCCESS || received_ == nullptr) return status;
    *phkResult = Adopt(received_);
    received_ = nullptr;
    return status;
  }

  static ProgramStatus Fail(ProgramKey* phkResult) {
    if (phkResult) *phkResult = 0;
    return ERROR_INVALID_HANDLE;
  }

  ProgramKey Adopt(NativeKey native) {
    for (std::size_t i = 0; i < kPredefined.size(); ++i) {
      if (kPredefined[i] == native) return kFirstPredefined + static_cast<ProgramKey>(i);
    }
    // Opening a key with no subkey may hand back the handle it was given.
    for (auto& [key, held] : open_) {
      if (held == native) return key;
    }
    do {
      next_ = (next_ + 1) % kFirstPredefined;
    } while (next_ == 0 || open_.count(next_) != 0);
    open_.emplace(next_, native);
    return next_;
  }

  bool wow64_;
  std::map<ProgramKey, NativeKey> open_;
  ProgramKey next_ = 0;
  NativeKey received_ = nullptr;
};

}  // namespace

namespace platform::win32 {

bool ProcessIsWow64() {
  ::BOOL wow64 = FALSE;  // Windows' own BOOL: here platform::BOOL is nearer
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

std::unique_ptr<platform::Registry> MakeRegistry(bool processIsWow64) {
  return std::make_unique<Win32Registry>(processIsWow64);
}

std::unique_ptr<platform::Registry> MakeRegistry() {
  return MakeRegistry(ProcessIsWow64());
}

}  // namespace platform::win32

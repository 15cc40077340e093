#include "registry/basRegistry.h"

#include <vector>

using namespace platform;

std::string RegistryValueText(const RegistryValue& value) {
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  return std::get<std::string>(value);
}

// The subkey and the value name are the routine's own copies.
// cppcheck-suppress passedByValue
RegistryValue basRegistry::GetRegistryValue(HKEY rootKey, std::string subKey, std::string valueName) {
  RegistryValue result = std::string();
  UniqueKey key(registry_);
  DWORD size = 0;

  LastRegistryResult = registry_.RegOpenKeyA(rootKey, subKey.c_str(), key.Put());
  // Whether a key is open is decided by the handle, not by the return code.
  if (key) {
    DWORD type = 0;
    LastRegistryResult =
        registry_.RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (type == REG_SZ) {
      // The buffer starts as spaces: whatever the read leaves untouched stays a space.
      std::string buffer(size, ' ');
      DWORD spareType = 0;
      DWORD length = size;
      LastRegistryResult = registry_.RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &spareType,
                                                      reinterpret_cast<BYTE*>(buffer.data()), &length);
      if (LastRegistryResult == ERROR_SUCCESS) {
        // Up to the first NUL, or the whole buffer when it holds none,
        // however long the text is.
        std::string::size_type nul = buffer.find('\0');
        if (nul != std::string::npos) buffer.resize(nul);
        result = std::move(buffer);
      }
    } else if (type == REG_DWORD) {
      std::int32_t number = 0;
      DWORD length = 4;
      LastRegistryResult = registry_.RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type,
                                                      reinterpret_cast<BYTE*>(&number), &length);
      if (LastRegistryResult == ERROR_SUCCESS) result = number;
    }
  }
  // The close comes last on every path, of handle 0 too when the open
  // failed: kept as the reader's contract, so LastRegistryResult ends
  // holding what that close said.
  LastRegistryResult = key.Close();
  return result;
}

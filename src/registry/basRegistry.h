// Reads single values from the registry, as text or as a 32-bit number.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/Registry.h"

// Text for a REG_SZ value, the number for a REG_DWORD value; the empty text
// for every failure and every other type.
using RegistryValue = std::variant<std::string, std::int32_t>;

// A number as its decimal digits, text unchanged.
std::string RegistryValueText(const RegistryValue& value);

class basRegistry {
 public:
  explicit basRegistry(platform::Registry& registry) : registry_(registry) {}

  RegistryValue GetRegistryValue(platform::HKEY rootKey, std::string subKey, std::string valueName);

  // The return code of the registry call made last by GetRegistryValue,
  // which is always its close, also of a handle that never opened (0).
  // Nothing in the program decides by it; it is kept as the registry
  // reader's contract: after a call it tells how the call's last registry
  // operation ended.
  std::int32_t LastRegistryResult = 0;

 private:
  platform::Registry& registry_;
};

// Which native call and access mask serve a key call of the program.
//
// A 32-bit process on 64-bit Windows (WOW64) sees a redirected SOFTWARE
// branch. Windows 7 and later take a path that names SOFTWARE\Wow6432Node
// itself as the 32-bit view's own place and do not redirect it again. Wine
// 8.0 (the one tested here) does, and "SOFTWARE\WOW6432node\..." lands
// under "SOFTWARE\Wow6432Node\WOW6432node\..." there; a later Wine may not
// (the backend's tests record which it is, either way). Under WOW64 every
// key is therefore opened and created in the 64-bit view, where the key
// named is the key used on all of them. Keys are created with the access RegCreateKeyA
// itself asks for (MAXIMUM_ALLOWED), so the 32-bit program succeeds wherever
// the 64-bit one does. Everywhere else the calls are made as the program
// makes them.
#pragma once

#include <cstdint>

namespace platform::win32 {

inline constexpr std::uint32_t kViewWow64_64Key = 0x0100;  // KEY_WOW64_64KEY
inline constexpr std::uint32_t kViewWow64_32Key = 0x0200;  // KEY_WOW64_32KEY
inline constexpr std::uint32_t kViewMask = kViewWow64_64Key | kViewWow64_32Key;

enum class KeyCall {
  OpenEx,  // RegOpenKeyExA
  Create,  // RegCreateKeyA
  Open,    // RegOpenKeyA
};

enum class NativeCall {
  RegOpenKeyExA,
  RegCreateKeyA,
  RegCreateKeyExA,
  RegOpenKeyA,
};

struct KeyCallChoice {
  NativeCall call;
  std::uint32_t samDesired;  // unused by the calls that take no access mask
};

// samDesired is what the program asked for (RegOpenKeyExA only). A view
// the program names itself is left as it is.
KeyCallChoice ChooseKeyCall(KeyCall call, std::uint32_t samDesired, bool processIsWow64);

// Deleting a key (RegDeleteKeyA) goes through RegDeleteKeyExA: under WOW64
// in the 64-bit view, like every other key call; elsewhere in the process's
// own view. The access mask it takes is only the view.
std::uint32_t DeleteKeyView(bool processIsWow64);

}  // namespace platform::win32

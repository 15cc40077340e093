#include "platform/win32/KeyView.h"

namespace platform::win32 {

namespace {
constexpr std::uint32_t kMaximumAllowed = 0x02000000;

std::uint32_t In64BitView(std::uint32_t sam) {
  return (sam & kViewMask) != 0 ? sam : sam | kViewWow64_64Key;
}
}  // namespace

KeyCallChoice ChooseKeyCall(KeyCall call, std::uint32_t samDesired, bool processIsWow64) {
  switch (call) {
    case KeyCall::OpenEx:
      return {NativeCall::RegOpenKeyExA, processIsWow64 ? In64BitView(samDesired) : samDesired};
    case KeyCall::Create:
      if (processIsWow64) return {NativeCall::RegCreateKeyExA, In64BitView(kMaximumAllowed)};
      return {NativeCall::RegCreateKeyA, 0};
    case KeyCall::Open:
      if (processIsWow64) return {NativeCall::RegOpenKeyExA, In64BitView(kMaximumAllowed)};
      return {NativeCall::RegOpenKeyA, 0};
  }
  return {NativeCall::RegOpenKeyExA, samDesired};
}

std::uint32_t DeleteKeyView(bool processIsWow64) {
  return processIsWow64 ? kViewWow64_64Key : 0;
}

}  // namespace platform::win32

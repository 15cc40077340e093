#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/win32/KeyView.h"

namespace {

using platform::win32::ChooseKeyCall;
using platform::win32::KeyCall;
using platform::win32::NativeCall;

constexpr platform::DWORD kWow64_64Key = 0x0100;
constexpr platform::DWORD kWow64_32Key = 0x0200;

TEST(ChooseKeyCall, OutsideWow64MakesTheCallsAsGiven) {
  for (platform::DWORD sam : {platform::KEY_READ, platform::KEY_ALL_ACCESS, platform::KEY_QUERY_VALUE}) {
    auto open = ChooseKeyCall(KeyCall::OpenEx, sam, false);
    EXPECT_EQ(open.call, NativeCall::RegOpenKeyExA);
    EXPECT_EQ(open.samDesired, sam);
  }
  EXPECT_EQ(ChooseKeyCall(KeyCall::Create, 0, false).call, NativeCall::RegCreateKeyA);
  EXPECT_EQ(ChooseKeyCall(KeyCall::Open, 0, false).call, NativeCall::RegOpenKeyA);
}

TEST(ChooseKeyCall, UnderWow64EveryCallUsesThe64BitView) {
  for (platform::DWORD sam : {platform::KEY_READ, platform::KEY_ALL_ACCESS, platform::KEY_QUERY_VALUE}) {
    auto open = ChooseKeyCall(KeyCall::OpenEx, sam, true);
    EXPECT_EQ(open.call, NativeCall::RegOpenKeyExA);
    EXPECT_EQ(open.samDesired, sam | kWow64_64Key) << sam;
  }
  // Both ask for what RegCreateKeyA and RegOpenKeyA ask for themselves: what
  // is allowed, never more (full access would fail where they succeed).
  for (KeyCall call : {KeyCall::Create, KeyCall::Open}) {
    auto choice = ChooseKeyCall(call, 0, true);
    EXPECT_EQ(choice.call, call == KeyCall::Create ? NativeCall::RegCreateKeyExA : NativeCall::RegOpenKeyExA);
    EXPECT_EQ(choice.samDesired, platform::MAXIMUM_ALLOWED | kWow64_64Key) << static_cast<int>(call);
  }
}

TEST(ChooseKeyCall, AViewTheProgramNamesIsKept) {
  EXPECT_EQ(ChooseKeyCall(KeyCall::OpenEx, platform::KEY_READ | kWow64_32Key, true).samDesired,
            platform::KEY_READ | kWow64_32Key);
  EXPECT_EQ(ChooseKeyCall(KeyCall::OpenEx, platform::KEY_READ | kWow64_64Key, true).samDesired,
            platform::KEY_READ | kWow64_64Key);
}

TEST(DeleteKeyView, UnderWow64DeletesInThe64BitView) {
  EXPECT_EQ(platform::win32::DeleteKeyView(true), kWow64_64Key);
  EXPECT_EQ(platform::win32::DeleteKeyView(false), 0u);
}

}  // namespace

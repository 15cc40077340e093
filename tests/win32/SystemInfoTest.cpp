#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Native.h"
#include "platform/SystemInfo.h"
#include "platform/win32/Backend.h"

namespace {

using namespace platform;

TEST(SystemInfo, VersionRecordIsFilledAsWindowsAnswers) {
  auto system = win32::MakeSystemInfo();
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_NE(system->GetVersionExA(&info), 0);
  EXPECT_EQ(info.dwOSVersionInfoSize, sizeof info);
  EXPECT_EQ(info.dwMajorVersion, native::MajorVersion());
  EXPECT_EQ(info.dwMinorVersion, native::MinorVersion());
  EXPECT_NE(info.dwPlatformId, 0u);
  EXPECT_LT(std::strlen(info.szCSDVersion), sizeof info.szCSDVersion);

  // The size is passed through: Windows refuses a record it does not know.
  OSVERSIONINFOA wrong;
  std::memset(&wrong, 0, sizeof wrong);
  wrong.dwOSVersionInfoSize = 100;
  EXPECT_EQ(system->GetVersionExA(&wrong), 0);
}

TEST(SystemInfo, SystemDirectoryAndLocalTime) {
  auto system = win32::MakeSystemInfo();
  char buffer[MAX_PATH] = {};
  UINT length = system->GetSystemDirectoryA(buffer, MAX_PATH);
  ASSERT_GT(length, 3u);
  ASSERT_LT(length, MAX_PATH);
  EXPECT_EQ(std::strlen(buffer), length);
  EXPECT_EQ(buffer[1], ':');
  // Too small a buffer: the length it needs, terminator included.
  char small[2] = {};
  EXPECT_EQ(system->GetSystemDirectoryA(small, sizeof small), length + 1);

  SYSTEMTIME now{};
  system->GetLocalTime(&now);
  EXPECT_GE(now.wYear, 2024);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
  EXPECT_GE(now.wDay, 1);
  EXPECT_LE(now.wDay, 31);
  EXPECT_LE(now.wDayOfWeek, 6);
  EXPECT_LE(now.wHour, 23);
}

}  // namespace

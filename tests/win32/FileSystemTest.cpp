// The file system through kernel32, and the worker thread that bounds a call.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "Native.h"
#include "platform/FileSystem.h"
#include "platform/SystemInfo.h"
#include "platform/win32/Backend.h"

namespace {

using namespace platform;

TEST(FileSystem, AttributesWithTheStatusAsWindowsGivesThem) {
  FileSystem& files = win32::TheFileSystem();
  char system[MAX_PATH] = {};
  ASSERT_GT(win32::MakeSystemInfo()->GetSystemDirectoryA(system, MAX_PATH), 0u);
  EXPECT_NE(files.GetFileAttributesA(system) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(files.GetFileAttributesA((std::string(system) + "\\no-such.dll").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(files.GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  char wow64[MAX_PATH] = {};
  const UINT length = files.GetSystemWow64DirectoryA(wow64, MAX_PATH);
  // Only 64-bit Windows has one, whichever exe asks.
  EXPECT_EQ(length != 0, native::SystemIs64Bit());
  EXPECT_EQ(length != 0 ? length : files.GetLastError(), native::SystemIs64Bit() ? std::strlen(wow64) : 120u);
}

TEST(FileSystem, WorkThatOutlivesTheLimitIsAbandoned) {
  FileSystem& files = win32::TheFileSystem();
  const auto start = std::chrono::steady_clock::now();
  // The abandoned thread holds nothing of this test's: it sleeps and ends.
  EXPECT_EQ(files.CreateThreadAndWait([] { native::SleepMilliseconds(3000); }, 50), WAIT_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(files.CreateThreadAndWait([] {}, 5000), WAIT_OBJECT_0);
}

}  // namespace

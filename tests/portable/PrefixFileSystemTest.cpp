// Windows paths in a Wine-style prefix below the registry's folder, and the
// worker thread that bounds a call.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/portable/PrefixFileSystem.h"

using namespace platform;
namespace fs = std::filesystem;

TEST(PrefixFileSystem, ResolvesAsWineDoesAndNeverLeavesTheFolder) {
  const fs::path root = fs::path(::testing::TempDir()) / ("prefix-" + std::to_string(getpid()));
  fs::remove_all(root);
  const fs::path folder = root / "state";
  fs::create_directories(folder / "drive_c/Windows/SysWOW64");
  fs::create_directories(folder / "dosdevices/unc/SERVER/Share/Current");
  fs::create_directories(root / "outside");
  std::ofstream(folder / "drive_c/Windows/SysWOW64/odbcjt32.dll") << "x";
  std::ofstream(folder / "dosdevices/unc/SERVER/Share/Current/a.mdb") << "x";
  std::ofstream(root / "outside/b.mdb") << "x";
  fs::create_directory_symlink("../drive_c", folder / "dosdevices/c:");  // as Wine makes it
  fs::create_directory_symlink(root / "outside", folder / "dosdevices/unc/SERVER/Share/Abs");
  fs::create_directory_symlink("../../../../../outside", folder / "dosdevices/unc/SERVER/Share/Up");
  fs::create_directory_symlink("Loop", folder / "dosdevices/unc/SERVER/Share/Loop");

  portable::PrefixFileSystem files(folder.string());
  struct Case {
    const char* path;
    DWORD attributes;  // or INVALID_FILE_ATTRIBUTES with error
    LONG error;
  };
  const Case cases[] = {
      {"C:\\WINDOWS\\syswow64\\ODBCJT32.DLL", FILE_ATTRIBUTE_ARCHIVE, 0},
      {"c:/windows/../Windows/./SysWOW64", FILE_ATTRIBUTE_DIRECTORY, 0},
      {"C:\\Windows\\System32\\odbcjt32.dll", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"C:\\Windows\\SysWOW64\\nope.dll", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
      {"\\\\server\\SHARE\\current\\A.MDB", FILE_ATTRIBUTE_ARCHIVE, 0},
      {"\\\\other\\Share\\Current\\a.mdb", INVALID_FILE_ATTRIBUTES, ERROR_BAD_NETPATH},
      {"\\\\SERVER\\other\\Current\\a.mdb", INVALID_FILE_ATTRIBUTES, ERROR_BAD_NET_NAME},
      {"\\\\SERVER\\Share\\..\\..\\..\\outside\\b.mdb", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"\\\\SERVER\\Share\\Abs\\b.mdb", INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED},
      {"\\\\SERVER\\Share\\Up\\b.mdb", INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED},
      {"\\\\SERVER\\Share\\Loop\\b.mdb", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
      {"odbcjt32.dll", INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(files.GetFileAttributesA(c.path), c.attributes) << c.path;
    EXPECT_EQ(c.attributes == INVALID_FILE_ATTRIBUTES ? files.GetLastError() : 0u, DWORD(c.error)) << c.path;
  }
  fs::remove_all(root);
}

TEST(PrefixFileSystem, WorkThatOutlivesTheLimitIsAbandoned) {
  portable::PrefixFileSystem files("/nonexistent");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(files.CreateThreadAndWait([] { std::this_thread::sleep_for(std::chrono::seconds(3)); }, 50),
            WAIT_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(files.CreateThreadAndWait([] {}, 5000), WAIT_OBJECT_0);
}

// The paths the log file's checks go by: the folders held on the way to it,
// and whether the file opened lies directly in the last of them.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/LogPath.h"

using platform::win32::DirectlyIn;
using platform::win32::FolderEnds;

namespace {

TEST(LogPathTest, FoldersBelowTheRootOfEachKindOfPath) {
  struct Case {
    const wchar_t* path;
    std::vector<std::wstring> folders;
  };
  const Case cases[] = {
      {L"C:\\Windows\\Logs\\x.log", {L"C:\\Windows", L"C:\\Windows\\Logs"}},
      {L"C:\\x.log", {}},
      {L"\\\\server\\share\\logs\\x.log", {L"\\\\server\\share\\logs"}},
      {L"\\\\server\\share\\x.log", {}},
      {L"\\\\?\\C:\\a\\\\b\\x.log", {L"\\\\?\\C:\\a", L"\\\\?\\C:\\a\\\\b"}},
      {L"\\\\?\\UNC\\server\\share\\a\\x.log", {L"\\\\?\\UNC\\server\\share\\a"}},
      {L"C:\\ProgramData\\Журнал\\x.log", {L"C:\\ProgramData", L"C:\\ProgramData\\Журнал"}},
  };
  for (const Case& c : cases) {
    const std::wstring path = c.path;
    std::vector<std::wstring> folders;
    for (const std::size_t end : FolderEnds(path)) folders.push_back(path.substr(0, end));
    EXPECT_EQ(folders, c.folders) << std::string(path.begin(), path.end());
  }
}

TEST(LogPathTest, AFileElsewhereThanItsFolderIsNotInIt) {
  const std::wstring logs = L"\\Device\\HarddiskVolume3\\Windows\\Logs";
  EXPECT_TRUE(DirectlyIn(logs + L"\\x.log", logs));
  EXPECT_FALSE(DirectlyIn(L"\\Device\\HarddiskVolume3\\Windows\\System32\\x.log",
                          logs));  // the folder became a junction
  EXPECT_FALSE(DirectlyIn(logs + L"\\deeper\\x.log", logs));
  EXPECT_FALSE(DirectlyIn(logs + L"2\\x.log", logs));
  EXPECT_FALSE(DirectlyIn(logs + L"\\", logs));
  EXPECT_FALSE(DirectlyIn(L"\\Device\\HarddiskVolume4\\Windows\\Logs\\x.log", logs));
}

}  // namespace

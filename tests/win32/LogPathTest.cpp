// The paths the log file's checks go by: the folders held on the way to it,
// and whether the file opened lies directly in the last of them.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/LogPath.h"

namespace {

TEST(LogPathTest, FoldersBelowTheRootOfEachKindOfPath) {
  const std::pair<std::wstring, std::vector<std::wstring>> cases[] = {
      {L"C:\\Windows\\Logs\\x.log", {L"C:\\Windows", L"C:\\Windows\\Logs"}},
      {L"C:\\x.log", {}},
      {L"\\\\server\\share\\logs\\x.log", {L"\\\\server\\share\\logs"}},
      {L"\\\\server\\share\\x.log", {}},
      {L"\\\\?\\C:\\a\\\\b\\x.log", {L"\\\\?\\C:\\a", L"\\\\?\\C:\\a\\\\b"}},
      {L"\\\\?\\UNC\\server\\share\\a\\x.log", {L"\\\\?\\UNC\\server\\share\\a"}},
      {L"C:\\ProgramData\\Журнал\\x.log", {L"C:\\ProgramData", L"C:\\ProgramData\\Журнал"}},
  };
  for (const auto& [path, expected] : cases) {
    std::vector<std::wstring> folders;
    for (const std::size_t end : platform::win32::FolderEnds(path)) folders.push_back(path.substr(0, end));
    EXPECT_EQ(folders, expected) << folders.size();
  }
}

TEST(LogPathTest, AFileElsewhereThanItsFolderIsNotInIt) {
  const std::wstring logs = L"\\Device\\HarddiskVolume3\\Windows\\Logs";
  const std::pair<std::wstring, bool> cases[] = {
      {logs + L"\\x.log", true},
      {L"\\Device\\HarddiskVolume3\\Windows\\System32\\x.log", false},  // the folder became a junction
      {logs + L"\\deeper\\x.log", false},
      {logs + L"2\\x.log", false},
      {logs + L"\\", false},
      {L"\\Device\\HarddiskVolume4\\Windows\\Logs\\x.log", false},
  };
  for (const auto& [file, in] : cases) EXPECT_EQ(platform::win32::DirectlyIn(file, logs), in) << file.size();
}

}  // namespace

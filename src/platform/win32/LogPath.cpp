#include "platform/win32/LogPath.h"

namespace platform::win32 {

namespace {

// Past count backslash-ended parts from position from, or the end.
std::size_t SkipParts(std::wstring_view path, std::size_t from, int count) {
  for (; count > 0; --count) {
    const std::size_t backslash = path.find(L'\\', from);
    if (backslash == std::wstring_view::npos) return path.size();
    from = backslash + 1;
  }
  return from;
}

std::size_t RootLength(std::wstring_view path) {
  if (path.substr(0, 8) == L"\\\\?\\UNC\\") return SkipParts(path, 8, 2);
  if (path.substr(0, 4) == L"\\\\?\\" || path.substr(0, 4) == L"\\\\.\\") return SkipParts(path, 4, 1);
  if (path.substr(0, 2) == L"\\\\") return SkipParts(path, 2, 2);
  if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return 3;
  return 0;
}

}  // namespace

std::vector<std::size_t> FolderEnds(std::wstring_view fullPath) {
  std::vector<std::size_t> ends;
  std::size_t start = RootLength(fullPath);
  for (std::size_t end = fullPath.find(L'\\', start); end != std::wstring_view::npos;
       start = end + 1, end = fullPath.find(L'\\', start))
    if (end > start) ends.push_back(end);  // "a\\b": no folder between the two
  return ends;
}

bool DirectlyIn(std::wstring_view file, std::wstring_view folder) {
  return file.size() > folder.size() + 1 && file.substr(0, folder.size()) == folder &&
         file[folder.size()] == L'\\' && file.find(L'\\', folder.size() + 1) == std::wstring_view::npos;
}

}  // namespace platform::win32

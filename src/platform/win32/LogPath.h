// The paths the log file's checks go by: full paths as GetFullPathNameW
// gives them, final ones as GetFinalPathNameByHandleW does. Kept apart from
// the calls, so that they can be tested.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace platform::win32 {

// The folders of a full path below its root ("C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\"), outermost first, down to the one
// that holds its last name: the length of each one's path.
std::vector<std::size_t> FolderEnds(std::wstring_view fullPath);

// Whether a file's final path names it directly in the folder with the
// final path folder.
bool DirectlyIn(std::wstring_view file, std::wstring_view folder);

}  // namespace platform::win32

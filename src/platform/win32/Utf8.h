// Texts the program got wide from Windows (its command line) are carried as
// UTF-8, and made wide again where they go back (a file's path).
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

// Empty, with valid false, for bytes that are not UTF-8.
std::wstring WideFromUtf8(std::string_view text, bool& valid);

// An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(std::wstring_view text);

}  // namespace platform::win32

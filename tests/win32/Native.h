// Direct Windows calls for the checks, kept apart so that the tests keep the
// platform names (<windows.h> is not included here).
#pragma once

#include <string>

namespace native {

// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER, in the 64-bit registry view
// (the only one on 32-bit Windows).
enum class Root { LocalMachine, CurrentUser };

bool KeyExists(Root root, const std::string& path);
bool DeleteTree(Root root, const std::string& path);
bool CanWrite(Root root, const std::string& path);

bool SystemIs64Bit();

// Wine's version when running under Wine (ntdll's wine_get_version), else
// empty: for recording where Wine differs from Windows.
std::string WineVersion();

// GetVersion's packed major and minor version.
unsigned MajorVersion();
unsigned MinorVersion();

}  // namespace native

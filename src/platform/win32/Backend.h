// The Win32 implementations of the platform interfaces. This header does not
// include <windows.h>, so its users keep the platform names.
#pragma once

#include <memory>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"

namespace platform::win32 {

// The machine registry through advapi32. Program handles map to native
// keys in a table; keys still open when the object goes are closed then.
std::unique_ptr<Registry> MakeRegistry();

// As MakeRegistry, with the registry view fixed rather than found out
// (see KeyView.h).
std::unique_ptr<Registry> MakeRegistry(bool processIsWow64);

std::unique_ptr<SystemInfo> MakeSystemInfo();

std::unique_ptr<Windowing> MakeWindowing();

// Files through kernel32, worker threads through the C runtime. One for the
// process, never destroyed: a worker thread may outlive whoever started it.
FileSystem& TheFileSystem();

// True for a 32-bit process on 64-bit Windows (IsWow64Process). False when
// that call fails.
bool ProcessIsWow64();

}  // namespace platform::win32

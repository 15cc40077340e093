// System information on a machine without Windows: the version Windows
// reports to programs that declare no compatibility, a fixed system
// directory, and the processor identifier in Windows' own form.
#pragma once

#include <string>

#include "platform/SystemInfo.h"

namespace platform::portable {

class PortableSystemInfo : public SystemInfo {
 public:
  BOOL GetVersionExA(OSVERSIONINFOA* lpVersionInformation) override;
  UINT GetSystemDirectoryA(char* lpBuffer, UINT uSize) override;
  void GetLocalTime(SYSTEMTIME* lpSystemTime) override;

  static constexpr const char* kSystemDirectory = "C:\\Windows\\System32";
};

// The identifier Windows records for this machine's processor, e.g.
// "Intel64 Family 6 Model 85 Stepping 7"; the same from a vendor and signature.
std::string ProcessorIdentifier();
std::string X86ProcessorIdentifier(const std::string& vendor, unsigned signature, bool is64Bit);

// Copies path into a buffer of size bytes and returns its length; to too
// small a buffer, nothing, and the size needed with the NUL, as Windows does.
UINT CopyPath(const char* path, char* buffer, UINT size);

// Now, in local time, and how far that is ahead of UTC.
SYSTEMTIME LocalTime(int& utcOffsetMinutes);

}  // namespace platform::portable

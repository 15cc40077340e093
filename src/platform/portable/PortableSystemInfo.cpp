#include "platform/portable/PortableSystemInfo.h"

#include <sys/utsname.h>

#include <cstring>
#include <ctime>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif
#if defined(__x86_64__)
constexpr bool kIs64Bit = true;
#else
constexpr bool kIs64Bit = false;
#endif

namespace platform::portable {

BOOL PortableSystemInfo::GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) return 0;
  info->dwMajorVersion = 6;
  info->dwMinorVersion = 2;
  info->dwBuildNumber = 9200;
  info->dwPlatformId = 2;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return 1;
}

UINT PortableSystemInfo::GetSystemDirectoryA(char* lpBuffer, UINT uSize) {
  return CopyPath(kSystemDirectory, lpBuffer, uSize);
}

void PortableSystemInfo::GetLocalTime(SYSTEMTIME* st) {
  int utcOffsetMinutes = 0;
  *st = LocalTime(utcOffsetMinutes);
}

UINT CopyPath(const char* path, char* buffer, UINT size) {
  const UINT length = static_cast<UINT>(std::strlen(path));
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, path, length + 1);
  return length;
}

SYSTEMTIME LocalTime(int& utcOffsetMinutes) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  utcOffsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
  return SYSTEMTIME{static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                    static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
                    static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
                    static_cast<WORD>(local.tm_sec),         0};
}

std::string X86ProcessorIdentifier(const std::string& vendor, unsigned signature, bool is64Bit) {
  const unsigned stepping = signature & 0xF;
  unsigned model = (signature >> 4) & 0xF;
  unsigned family = (signature >> 8) & 0xF;
  if (family == 0xF) family += (signature >> 20) & 0xFF;
  if (family == 0x6 || family >= 0xF) model += ((signature >> 16) & 0xF) << 4;

  std::string architecture = "x86";
  if (is64Bit) architecture = vendor == "AuthenticAMD" ? "AMD64" : "Intel64";
  return architecture + " Family " + std::to_string(family) + " Model " + std::to_string(model) +
         " Stepping " + std::to_string(stepping);
}

std::string ProcessorIdentifier() {
#if defined(__i386__) || defined(__x86_64__)
  // Each cpuid is expensive in a virtual machine (it traps to the host), so
  // each leaf is asked for once: __get_cpuid would ask for leaf 0 again
  // before each of them.
  const bool hasCpuid = kIs64Bit || __get_cpuid_max(0, nullptr) >= 1;  // a 32-bit processor may lack it
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (hasCpuid) __cpuid(0, eax, ebx, ecx, edx);
  if (hasCpuid && eax >= 1) {
    const unsigned vendor[4] = {ebx, edx, ecx, 0};  // twelve characters and a NUL
    __cpuid(1, eax, ebx, ecx, edx);
    return X86ProcessorIdentifier(reinterpret_cast<const char*>(vendor), eax, kIs64Bit);
  }
#endif
  // Elsewhere, the machine's own name for its architecture, e.g.
  // "ARMv8 (64-bit) aarch64" style: "<machine> Family 0 Model 0 Stepping 0".
  utsname name{};
  std::string machine = uname(&name) == 0 ? name.machine : "unknown";
  return machine + " Family 0 Model 0 Stepping 0";
}

}  // namespace platform::portable

#include "Native.h"

#include <windows.h>

namespace native {

namespace {
HKEY RootKey(Root root) {
  return root == Root::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}
}  // namespace

bool KeyExists(Root root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

bool DeleteTree(Root root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key);
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (status != ERROR_SUCCESS) return false;
  status = RegDeleteTreeA(key, nullptr);
  RegCloseKey(key);
  return status == ERROR_SUCCESS &&
         RegDeleteKeyExA(RootKey(root), path.c_str(), KEY_WOW64_64KEY, 0) == ERROR_SUCCESS;
}

bool CanWrite(Root root, const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

bool SystemIs64Bit() {
  SYSTEM_INFO info;
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
         info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
}

std::string WineVersion() {
  using WineGetVersionFn = const char*(CDECL*)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  FARPROC proc = ntdll ? GetProcAddress(ntdll, "wine_get_version") : nullptr;
  if (!proc) return {};
  const char* version = reinterpret_cast<WineGetVersionFn>(reinterpret_cast<void*>(proc))();
  return version ? version : "";
}

unsigned MajorVersion() {
  return LOBYTE(LOWORD(GetVersion()));
}
unsigned MinorVersion() {
  return HIBYTE(LOWORD(GetVersion()));
}

}  // namespace native

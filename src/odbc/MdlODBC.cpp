#include "odbc/MdlODBC.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace platform;

namespace {

// Collects whether every create and set of one registration succeeded.
class LayoutWriter {
 public:
  explicit LayoutWriter(Registry& registry) : registry_(registry), key_(registry) {}

  void Create(const std::string& path) {
    Check(registry_.RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), key_.Put()));
  }

  // Strings are written without a terminating NUL in their byte count.
  void SetText(const char* name, const std::string& text) {
    Check(registry_.RegSetValueExA(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                   static_cast<DWORD>(text.size())));
  }

  void SetNumber(const char* name, DWORD number) {
    BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                    static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    Check(registry_.RegSetValueExA(key_.Get(), name, 0, REG_DWORD, data, 4));
  }

  // Closed before the next key is created; what the close says decides nothing.
  void Close() { key_.Close(); }

  bool AllSucceeded() const { return succeeded_; }

 private:
  void Check(LONG status) {
    if (status != ERROR_SUCCESS) succeeded_ = false;
  }

  Registry& registry_;
  UniqueKey key_;
  bool succeeded_ = true;
};

}  // namespace

bool MdlODBC::IsPresent(const std::string& keyPath) {
  HKEY probed = 0;
  if (registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_ALL_ACCESS, &probed) !=
      ERROR_SUCCESS)
    return false;
  UniqueKey(registry_, probed).Close();
  return true;
}

bool MdlODBC::DriverDirectoryFailed() {
  windowing_.MessageBoxA(nullptr, kFailedMessage, kApplicationTitle, MB_OK);
  return false;
}

bool MdlODBC::WriteLayout(const Branch& branch, const std::string& name, const std::string& path,
                          const std::string& description, const std::string& driverDirectory) {
  const std::string key = branch.root + name;
  LayoutWriter writer(registry_);

  writer.Create(key);
  writer.SetText("DBQ", path);
  writer.SetText("Description", description);
  writer.SetText("Driver", driverDirectory + kDriverFile);
  writer.SetNumber("DriverId", 25);
  writer.SetText("FIL", "MS Access;");
  writer.SetNumber("SafeTransactions", 0);
  writer.SetText("UID", "");
  writer.Close();

  writer.Create(key + "\\Engines");
  writer.Close();

  writer.Create(key + "\\Engines\\Jet");
  writer.SetText("ImplicitCommitSync", "");
  writer.SetNumber("MaxBufferSize", 2048);
  writer.SetNumber("PageTimeout", 5);
  writer.SetNumber("Threads", 3);
  writer.SetText("UserCommitSync", "Yes");
  writer.Close();

  writer.Create(branch.listing);
  writer.SetText(name.c_str(), kDriverName);
  writer.Close();

  return writer.AllSucceeded();
}

bool MdlODBC::CreateDataSource(const std::string& name, const std::string& path,
                               const std::string& description) {
  const Branch branch{kNativeRoot, kNativeListing};
  if (IsPresent(branch.root + name)) return true;

  const std::string directory = GetSystemDir();
  if (directory.empty()) return DriverDirectoryFailed();
  return WriteLayout(branch, name, path, description, directory);
}

bool MdlODBC::CreateDataSourceWow64(const std::string& name, const std::string& path,
                                    const std::string& description) {
  const Branch branch{kWow64Root, kWow64Listing};
  if (IsPresent(branch.root + name)) return true;

  // Tested in this order; a version not named here gets the NT directory.
  struct Rule {
    const char* version;
    const char* directory;  // null: no directory can be named
  };
  static constexpr Rule rules[] = {{"Win2000", "C:\\WinNT\\System32"},
                                   {"WinNT4", "C:\\WinNT\\System32"},
                                   {"Win95", "C:\\Windows\\System"},
                                   {"Win98", "C:\\Windows\\System"},
                                   {"Failed", nullptr}};
  const std::string version = GetWindowsVersionName();
  std::string directory = "C:\\WinNT\\System32";
  for (const Rule& rule : rules) {
    if (version != rule.version) continue;
    if (rule.directory == nullptr) return DriverDirectoryFailed();
    directory = rule.directory;
    break;
  }
  return WriteLayout(branch, name, path, description, directory);
}

std::string MdlODBC::GetWindowsVersionName() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  system_.GetVersionExA(&info);

  const DWORD major = info.dwMajorVersion;
  const DWORD minor = info.dwMinorVersion;
  switch (info.dwPlatformId) {
    case 0:
      return "Win32s";
    case 1:
      if (minor == 0) return "Win95";
      if (minor == 10) return "Win98";
      return "";
    case 2:
      if (major == 3) return "WinNT361";
      if (major == 4) return "WinNT4";
      if (major == 5) {
        if (minor == 0) return "Win2000";
        if (minor == 1) return "WinXP";
        if (minor == 2) return "Win2003";
        return "";
      }
      if (major == 6) return "Vista";
      return "";
    case 3:
      return "WinCE";
    default:
      return "Failed";
  }
}

std::string MdlODBC::GetSystemDir() {
  std::vector<char> buffer(MAX_PATH, '\0');
  if (system_.GetSystemDirectoryA(buffer.data(), MAX_PATH) == 0) return "";
  // The length is where the first NUL stands, whatever the call returned.
  return std::string(buffer.begin(), std::find(buffer.begin(), buffer.end(), '\0'));
}

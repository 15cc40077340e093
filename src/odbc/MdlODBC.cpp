#include "odbc/MdlODBC.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

using namespace platform;

std::string StatusText(LONG status) {
  struct Known {
    LONG status;
    const char* text;
  };
  static constexpr Known known[] = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {3, "The system cannot find the path specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {29, "The system cannot write to the specified device."},
      {53, "The network path was not found."},
      {67, "The network name cannot be found."},
      {87, "The parameter is incorrect."},
      {123, "The filename, directory name, or volume label syntax is incorrect."},
      {161, "The specified path is invalid."},
      {234, "More data is available."},
      {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
  };
  for (const Known& entry : known)
    if (entry.status == status) return std::to_string(status) + " (" + entry.text + ")";
  return std::to_string(status);
}

std::string FailureDetail(const std::string& call, LONG status) {
  if (status == ERROR_SUCCESS) return call + " failed";
  return call + " returned " + StatusText(status);
}

namespace {

// Where the data of a layout value comes from.
enum class Source : std::uint32_t { Path, Description, Driver, Text, Number };

struct LayoutValue {
  const char* name;
  Source source;
  DWORD number = 0;
  const char* text = "";
};

struct LayoutKey {
  const char* suffix;  // appended to the data source key
  std::span<const LayoutValue> values;
};

constexpr LayoutValue kDataSourceValues[] = {
    {"DBQ", Source::Path},
    {"Description", Source::Description},
    {"Driver", Source::Driver},
    {"DriverId", Source::Number, 25},
    {"FIL", Source::Text, 0, "MS Access;"},
    {"SafeTransactions", Source::Number, 0},
    {"UID", Source::Text},
};

constexpr LayoutValue kJetValues[] = {
    {"ImplicitCommitSync", Source::Text},       {"MaxBufferSize", Source::Number, 2048},
    {"PageTimeout", Source::Number, 5},         {"Threads", Source::Number, 3},
    {"UserCommitSync", Source::Text, 0, "Yes"},
};

// The keys of one data source in the order they are written; the entry
// under ODBC Data Sources follows them.
constexpr LayoutKey kLayoutKeys[] = {
    {"", kDataSourceValues},
    {"\\Engines", {}},
    {"\\Engines\\Jet", kJetValues},
};

// Writes keys and values one key at a time. The first create or set that
// fails ends the writing (keys still get closed), so a data source is never
// listed without everything before its entry, and the next run completes
// it in the layout's order. When completing, a value that is there already
// is left as it is.
class LayoutWriter {
 public:
  LayoutWriter(Registry& registry, bool onlyMissing)
      : registry_(registry), key_(registry), onlyMissing_(onlyMissing) {}

  void Create(const std::string& path) {
    if (Failed()) return;
    Check(registry_.RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), key_.Put()), "RegCreateKeyA", path);
  }

  // Strings are written without a terminating NUL in their byte count.
  void SetText(const char* name, const std::string& text) {
    Set(name, REG_SZ, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()));
  }

  void SetNumber(const char* name, DWORD number) {
    const BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                          static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    Set(name, REG_DWORD, data, 4);
  }

  // Closed before the next key is created; what the close says decides nothing.
  void Close() { key_.Close(); }

  DataSourceResult Result(const std::string& name, Verdict success) const {
    if (failedCall_.empty()) return {name, success, ""};
    return {name, Verdict::Failed, FailureDetail(failedCall_, status_)};
  }

 private:
  bool Failed() const { return !failedCall_.empty(); }

  void Set(const char* name, DWORD type, const BYTE* data, DWORD size) {
    if (Failed()) return;
    if (onlyMissing_ && !IsMissing(name)) return;
    Check(registry_.RegSetValueExA(key_.Get(), name, 0, type, data, size), "RegSetValueExA", name);
  }

  // A value whose presence cannot be told is left alone, and the
  // registration is not counted as done.
  bool IsMissing(const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    const LONG status = registry_.RegQueryValueExA(key_.Get(), name, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    Check(status, "RegQueryValueExA", name);
    return false;
  }

  void Check(LONG status, const char* call, const std::string& argument) {
    if (status == ERROR_SUCCESS || Failed()) return;
    failedCall_ = std::string(call) + "(\"" + argument + "\")";
    status_ = status;
  }

  Registry& registry_;
  UniqueKey key_;
  bool onlyMissing_;
  std::string failedCall_;
  LONG status_ = ERROR_SUCCESS;
};

}  // namespace

DataSourcePresence MdlODBC::Inspect(const Branch& branch, const std::string& name, DWORD access) {
  DataSourcePresence presence;
  UniqueKey key(registry_);
  if (registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, (branch.root + name).c_str(), 0, access, key.Put()) !=
      ERROR_SUCCESS) {
    key.Release();  // a failed open leaves nothing to close
    return presence;
  }
  presence.key = true;
  DWORD type = 0;
  DWORD size = 0;
  presence.driver =
      registry_.RegQueryValueExA(key.Get(), "Driver", nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
  key.Close();

  UniqueKey listing(registry_);
  if (registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, branch.listing, 0, KEY_QUERY_VALUE, listing.Put()) ==
      ERROR_SUCCESS) {
    presence.listed = registry_.RegQueryValueExA(listing.Get(), name.c_str(), nullptr, &type, nullptr,
                                                 &size) == ERROR_SUCCESS;
    listing.Close();
  } else {
    listing.Release();
  }
  return presence;
}

DataSourceResult MdlODBC::WriteLayout(const Branch& branch, const DataSourceSpec& spec,
                                      const std::string& driverDirectory, const DataSourcePresence& present) {
  const std::string key = branch.root + spec.name;
  LayoutWriter writer(registry_, present.key);

  for (const LayoutKey& layoutKey : kLayoutKeys) {
    writer.Create(key + layoutKey.suffix);
    for (const LayoutValue& value : layoutKey.values) {
      switch (value.source) {
        case Source::Path:
          writer.SetText(value.name, spec.path);
          break;
        case Source::Description:
          writer.SetText(value.name, spec.description);
          break;
        case Source::Driver:
          writer.SetText(value.name, driverDirectory + kDriverFile);
          break;
        case Source::Text:
          writer.SetText(value.name, value.text);
          break;
        case Source::Number:
          writer.SetNumber(value.name, value.number);
          break;
      }
    }
    writer.Close();
  }

  if (!present.listed) {
    writer.Create(branch.listing);
    writer.SetText(spec.name.c_str(), kDriverName);
    writer.Close();
  }
  return writer.Result(spec.name, present.key ? Verdict::Completed : Verdict::Registered);
}

DataSourceResult MdlODBC::Register(const Branch& branch, const DataSourceSpec& spec) {
  const DataSourcePresence present = Inspect(branch, spec.name, KEY_ALL_ACCESS);
  if (present.Complete()) return {spec.name, Verdict::AlreadyPresent, ""};

  // A Driver value that is there already is kept, so its directory is not needed.
  std::string directory;
  if (!present.driver) {
    directory = DriverDirectory(branch);
    if (directory.empty()) {
      windowing_.MessageBoxA(nullptr, kFailedMessage, kApplicationTitle, MB_OK);
      return {spec.name, Verdict::Failed,
              FailureDetail(branch.native ? "GetSystemDirectoryA" : "GetVersionExA", ERROR_SUCCESS)};
    }
  }
  return WriteLayout(branch, spec, directory, present);
}

DataSourceResult MdlODBC::CheckDataSource(const Branch& branch, const DataSourceSpec& spec) {
  const DataSourcePresence presence = Inspect(branch, spec.name, KEY_READ);
  if (presence.Complete()) return {spec.name, Verdict::Present, ""};
  return {spec.name, Verdict::Missing,
          !presence.key      ? "no key"
          : !presence.driver ? "no Driver value"
                             : "not listed under ODBC Data Sources"};
}

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// A text value, or nothing when it is absent; another type reads as "<type N>".
std::optional<std::string> ReadText(Registry& registry, HKEY key, const char* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ) return "<type " + std::to_string(type) + ">";
  std::vector<BYTE> data(size);
  if (size != 0 && registry.RegQueryValueExA(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
    return "<unreadable>";
  std::string text(data.begin(),
                   data.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(size, data.size())));
  return text.substr(0, text.find('\0'));
}

}  // namespace

DataSourceResult MdlODBC::RemoveDataSource(const Branch& branch, const DataSourceSpec& spec) {
  const std::string& name = spec.name;
  const std::string& path = spec.path;
  const std::string key = branch.root + name;
  const auto failed = [&](const std::string& call, const std::string& argument, LONG status) {
    return DataSourceResult{name, Verdict::Failed, FailureDetail(call + "(\"" + argument + "\")", status)};
  };
  const auto left = [&](const std::string& why) { return DataSourceResult{name, Verdict::Left, why}; };

  // Whether it is still the data source this program writes: its keys are
  // the layout's (a run cut short may have left fewer), and its driver and
  // path are this program's wherever they are there.
  {
    UniqueKey dataSource(registry_);
    LONG status = registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, dataSource.Put());
    if (status == ERROR_FILE_NOT_FOUND) {
      dataSource.Release();
      return {name, Verdict::Absent, ""};
    }
    if (status != ERROR_SUCCESS) {
      dataSource.Release();
      return failed("RegOpenKeyExA", key, status);
    }
    const std::optional<std::string> driver = ReadText(registry_, dataSource.Get(), "Driver");
    if (driver) {
      const std::string file = driver->substr(driver->find_last_of('\\') + 1);
      if (!SameText(file, "odbcjt32.dll")) return left("its Driver is \"" + *driver + "\"");
    }
    const std::optional<std::string> dbq = ReadText(registry_, dataSource.Get(), "DBQ");
    if (dbq && !SameText(*dbq, path)) return left("its DBQ is \"" + *dbq + "\"");

    // Below it only Engines, below that only Jet, below that nothing.
    std::string below = key;
    HKEY current = dataSource.Get();
    UniqueKey child(registry_);
    for (const char* expected : {"Engines", "Jet", ""}) {
      DWORD count = 0;
      status = registry_.RegQueryInfoKeyCounts(current, &count, nullptr);
      if (status != ERROR_SUCCESS) return failed("RegQueryInfoKeyCounts", below, status);
      if (count == 0) break;
      if (count > 1 || *expected == '\0')
        return left("it has keys below " + below + " that this program does not write");
      below += std::string("\\") + expected;
      UniqueKey next(registry_);
      status = registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, below.c_str(), 0, KEY_READ, next.Put());
      if (status != ERROR_SUCCESS) {
        next.Release();
        return left("it has keys below " + below.substr(0, below.rfind('\\')) +
                    " that this program does not write");
      }
      child = std::move(next);
      current = child.Get();
    }
  }

  // Unlisted first, as it was listed last: a removal cut short leaves a key
  // that the next removal finds again.
  {
    UniqueKey listing(registry_);
    LONG status =
        registry_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, branch.listing, 0, KEY_SET_VALUE, listing.Put());
    if (status == ERROR_SUCCESS) {
      status = registry_.RegDeleteValueA(listing.Get(), name.c_str());
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return failed("RegDeleteValueA", std::string(branch.listing) + "\\" + name, status);
    } else {
      listing.Release();
      if (status != ERROR_FILE_NOT_FOUND) return failed("RegOpenKeyExA", branch.listing, status);
    }
  }
  for (const char* suffix : {"\\Engines\\Jet", "\\Engines", ""}) {
    const std::string doomed = key + suffix;
    const LONG status = registry_.RegDeleteKeyA(HKEY_LOCAL_MACHINE, doomed.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return failed("RegDeleteKeyA", doomed, status);
  }
  return {name, Verdict::Removed, ""};
}

std::string MdlODBC::DriverDirectory(const Branch& branch) {
  return branch.native ? NativeDriverDirectory() : Wow64DriverDirectory();
}

DataSourceResult MdlODBC::CreateDataSource(const std::string& name, const std::string& path,
                                           const std::string& description) {
  return Register(kNativeBranch, {name, path, description});
}

DataSourceResult MdlODBC::CreateDataSourceWow64(const std::string& name, const std::string& path,
                                                const std::string& description) {
  return Register(kWow64Branch, {name, path, description});
}

std::string MdlODBC::NativeDriverDirectory() {
  return GetSystemDir();
}

std::string MdlODBC::Wow64DriverDirectory() {
  // Tested in this order. Every other version is named by the system
  // directory that Windows reports: a 32-bit program on 64-bit Windows is
  // shown its 32-bit system folder there, where the 32-bit driver lives.
  struct Rule {
    const char* version;
    const char* directory;  // empty: no directory can be named
  };
  static constexpr Rule rules[] = {{"Win2000", "C:\\WinNT\\System32"},
                                   {"WinNT4", "C:\\WinNT\\System32"},
                                   {"Win95", "C:\\Windows\\System"},
                                   {"Win98", "C:\\Windows\\System"},
                                   {"Failed", ""}};
  const std::string version = GetWindowsVersionName();
  for (const Rule& rule : rules)
    if (version == rule.version) return rule.directory;
  std::string directory = GetSystemDir();
  return directory.empty() ? kDefaultDriverDirectory : directory;
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

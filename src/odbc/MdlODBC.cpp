#include "odbc/MdlODBC.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
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

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string FailureDetail(const std::string& call, LONG status) {
  if (status == ERROR_SUCCESS) return call + " failed";
  return call + " returned " + StatusText(status);
}

namespace {

// A call as a failure names it: RegOpenKeyExA("SOFTWARE\ODBC\ODBC.INI").
std::string CallText(const char* call, const std::string& argument) {
  return std::string(call) + "(\"" + argument + "\")";
}

// A DWORD's bytes as the registry keeps them, least significant first.
std::string DwordBytes(DWORD number) {
  return {static_cast<char>(number), static_cast<char>(number >> 8), static_cast<char>(number >> 16),
          static_cast<char>(number >> 24)};
}

// The folders older Windows versions name for the driver, by the version's
// name; every other version is named by the system directory it reports.
struct VersionDirectory {
  const char* version;
  const char* directory;  // empty: no directory can be named
};
constexpr VersionDirectory kVersionDirectories[] = {{"Win2000", "C:\\WinNT\\System32"},
                                                    {"WinNT4", "C:\\WinNT\\System32"},
                                                    {"Win95", "C:\\Windows\\System"},
                                                    {"Win98", "C:\\Windows\\System"},
                                                    {"Failed", ""}};

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
    const std::string data = DwordBytes(number);
    Set(name, REG_DWORD, reinterpret_cast<const BYTE*>(data.data()), 4);
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
    failedCall_ = CallText(call, argument);
    status_ = status;
  }

  Registry& registry_;
  UniqueKey key_;
  bool onlyMissing_;
  std::string failedCall_;
  LONG status_ = ERROR_SUCCESS;
};

// A text value's data without the terminating NUL it may be stored with.
std::string TextOf(const std::string& data) {
  return data.empty() || data.back() != '\0' ? data : data.substr(0, data.size() - 1);
}

// A value's data for a message: printable ASCII only, and not too long.
std::string Shown(const std::string& value) {
  const std::string data = TextOf(value);
  std::string shown;
  for (char c : data.substr(0, 80)) shown += c >= 0x20 && c < 0x7F ? c : '?';
  return "\"" + shown + (data.size() > 80 ? "...\"" : "\"");
}

// What a value that is not this program's holds, for a message.
std::string Described(DWORD type, const std::string& data) {
  return type == REG_SZ ? Shown(data) : "of type " + std::to_string(type);
}

// The most a value of the layout can hold; a larger one is not ours.
constexpr DWORD kLargestLayoutValue = 1024;

// Reads a value of at most kLargestLayoutValue bytes; a larger one reads as
// that many bytes and more, which no layout value matches. present says
// whether it is there; the status is that of a query that failed.
LONG ReadValue(Registry& registry, HKEY key, const char* name, DWORD& type, std::string& data,
               bool& present) {
  DWORD size = 0;
  LONG status = registry.RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  present = status != ERROR_FILE_NOT_FOUND;
  if (!present) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  data.assign(std::min(size, kLargestLayoutValue + 1), '\0');
  if (size > kLargestLayoutValue) return ERROR_SUCCESS;
  status = registry.RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  data.resize(std::min<std::size_t>(size, data.size()));
  return status;
}

// The result that ends an install or a removal at once: an entry that is
// not this program's is left, one that cannot be read is a failure.
std::optional<DataSourceResult> Refusal(const std::string& name, const DataSourceEntry& entry) {
  if (entry.kind == DataSourceEntry::Kind::NotOurs)
    return DataSourceResult{name, Verdict::Left, entry.detail};
  if (entry.kind == DataSourceEntry::Kind::Unread)
    return DataSourceResult{name, Verdict::Failed, entry.detail};
  return std::nullopt;
}

}  // namespace

DataSourceEntry MdlODBC::Entry(const Branch& branch, const std::string& name) {
  using Kind = DataSourceEntry::Kind;
  UniqueKey listing(registry_);
  const LONG opened = listing.Open(HKEY_LOCAL_MACHINE, branch.listing, KEY_QUERY_VALUE);
  if (opened == ERROR_FILE_NOT_FOUND) return {};
  if (opened != ERROR_SUCCESS)
    return {Kind::Unread, FailureDetail(CallText("RegOpenKeyExA", branch.listing), opened)};
  DWORD type = 0;
  std::string data;
  bool present = false;
  if (const LONG status = ReadValue(registry_, listing.Get(), name.c_str(), type, data, present);
      status != ERROR_SUCCESS)
    return {Kind::Unread,
            FailureDetail(CallText("RegQueryValueExA", std::string(branch.listing) + "\\" + name), status)};
  if (!present) return {};
  if (type == REG_SZ && TextOf(data) == kDriverName) return {Kind::Ours, ""};
  return {Kind::NotOurs, "its entry under ODBC Data Sources is " + Described(type, data)};
}

DataSourcePresence MdlODBC::Inspect(const Branch& branch, const std::string& name, DWORD access) {
  DataSourcePresence presence;
  UniqueKey key(registry_);
  if (key.Open(HKEY_LOCAL_MACHINE, (branch.root + name).c_str(), access) == ERROR_SUCCESS) {
    presence.key = true;
    DWORD type = 0;
    DWORD size = 0;
    presence.driver =
        registry_.RegQueryValueExA(key.Get(), "Driver", nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    key.Close();
  }
  // Whether or not the key is there: an entry of another driver is never taken over.
  presence.entry = Entry(branch, name);
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

  // An entry that is there already names the driver, and is kept byte for byte.
  const bool listed = present.entry.kind == DataSourceEntry::Kind::Ours;
  if (!listed) {
    writer.Create(branch.listing);
    writer.SetText(spec.name.c_str(), kDriverName);
    writer.Close();
  }
  return writer.Result(spec.name, present.key || listed ? Verdict::Completed : Verdict::Registered);
}

DataSourceResult MdlODBC::Register(const Branch& branch, const DataSourceSpec& spec) {
  const DataSourcePresence present = Inspect(branch, spec.name, KEY_ALL_ACCESS);
  if (std::optional<DataSourceResult> refused = Refusal(spec.name, present.entry)) return *refused;
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
  if (presence.entry.kind == DataSourceEntry::Kind::Unread)
    return {spec.name, Verdict::Failed, presence.entry.detail};
  if (presence.entry.kind == DataSourceEntry::Kind::NotOurs)
    return {spec.name, Verdict::Missing, "not this program's: " + presence.entry.detail};
  if (presence.Complete()) return {spec.name, Verdict::Present, ""};
  return {spec.name, Verdict::Missing,
          !presence.key      ? "no key"
          : !presence.driver ? "no Driver value"
                             : "not listed under ODBC Data Sources"};
}

namespace {

// What a removal found: nothing to say (the data source is this program's),
// or the result that ends it (left, or a call failed).
using Finding = std::optional<DataSourceResult>;

// Reads the keys of one data source to tell whether they are still exactly
// what this program writes, allowing for a run that was cut short.
class Ownership {
 public:
  Ownership(Registry& registry, const DataSourceSpec& spec, std::vector<std::string> driverDirectories)
      : registry_(registry), spec_(spec), driverDirectories_(std::move(driverDirectories)) {}

  // Each key of the layout in turn: only layout values, each with the
  // layout's type and bytes, and below it only the next key of the layout.
  // present says whether the data source's own key is there.
  Finding Keys(const std::string& dataSourceKey, bool& present) {
    for (std::size_t k = 0; k < std::size(kLayoutKeys); ++k) {
      const std::string path = dataSourceKey + kLayoutKeys[k].suffix;
      UniqueKey key(registry_);
      const LONG status = key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ);
      if (k == 0) present = status == ERROR_SUCCESS;
      if (status == ERROR_FILE_NOT_FOUND && k == 0) return std::nullopt;
      // The one subkey the count above found is not the layout's next key.
      if (status == ERROR_FILE_NOT_FOUND)
        return Left("it has keys below " + dataSourceKey + kLayoutKeys[k - 1].suffix +
                    " that this program does not write");
      if (status != ERROR_SUCCESS) return Failed("RegOpenKeyExA", path, status);
      DWORD subkeys = 0;
      DWORD values = 0;
      if (LONG counted = registry_.RegQueryInfoKeyCounts(key.Get(), &subkeys, &values);
          counted != ERROR_SUCCESS)
        return Failed("RegQueryInfoKeyCounts", path, counted);
      DWORD ours = 0;
      for (const LayoutValue& value : kLayoutKeys[k].values) {
        bool present = false;
        if (Finding found = Value(key.Get(), path, kLayoutKeys[k].suffix, value, present)) return found;
        ours += present ? 1 : 0;
      }
      if (values != ours) return Left("it has values in " + path + " that this program does not write");
      const bool last = k + 1 == std::size(kLayoutKeys);
      if (subkeys > (last ? 0u : 1u))
        return Left("it has keys below " + path + " that this program does not write");
      // A run cut short may have made fewer keys.
      if (subkeys == 0) return std::nullopt;
    }
    return std::nullopt;
  }

  // The result of a call that failed: call("argument") and its status.
  Finding Failed(const char* call, const std::string& argument, LONG status) const {
    return DataSourceResult{spec_.name, Verdict::Failed, FailureDetail(CallText(call, argument), status)};
  }

 private:
  static bool IsText(const std::string& data, const std::string& text) { return TextOf(data) == text; }

  // One value: absent, or there with the layout's data. suffix is where the
  // key lies below the data source's own ("" or "\\Engines\\Jet").
  Finding Value(HKEY key, const std::string& path, const char* suffix, const LayoutValue& value,
                bool& present) {
    DWORD type = 0;
    std::string data;
    if (Finding found = Read(key, path + "\\" + value.name, value.name, type, data, present)) return found;
    if (!present) return std::nullopt;
    bool same = false;
    switch (value.source) {
      case Source::Path:
        same = type == REG_SZ && IsText(data, spec_.path);
        break;
      case Source::Description:
        same = type == REG_SZ && IsText(data, spec_.description);
        break;
      case Source::Driver:
        for (const std::string& directory : driverDirectories_)
          same = same || (type == REG_SZ && SameText(TextOf(data), directory + MdlODBC::kDriverFile));
        break;
      case Source::Text:
        same = type == REG_SZ && IsText(data, value.text);
        break;
      case Source::Number:
        same = type == REG_DWORD && data == DwordBytes(value.number);
        break;
    }
    if (same) return std::nullopt;
    const std::string below = *suffix == '\0' ? "" : std::string(suffix + 1) + " ";
    return Left("its " + below + value.name + " is " + Described(type, data));
  }

  // ReadValue, with a query that fails as the finding; where names the value.
  Finding Read(HKEY key, const std::string& where, const char* name, DWORD& type, std::string& data,
               bool& present) {
    if (const LONG status = ReadValue(registry_, key, name, type, data, present); status != ERROR_SUCCESS)
      return Failed("RegQueryValueExA", where, status);
    return std::nullopt;
  }

  Finding Left(const std::string& why) const { return DataSourceResult{spec_.name, Verdict::Left, why}; }

  Registry& registry_;
  const DataSourceSpec& spec_;
  std::vector<std::string> driverDirectories_;
};

}  // namespace

std::vector<std::string> MdlODBC::DriverDirectories() {
  std::vector<std::string> directories;
  for (const VersionDirectory& rule : kVersionDirectories)
    if (*rule.directory &&
        std::find(directories.begin(), directories.end(), rule.directory) == directories.end())
      directories.emplace_back(rule.directory);
  const std::string system = GetSystemDir();
  if (!system.empty()) directories.push_back(system);
  return directories;
}

DataSourceResult MdlODBC::RemoveDataSource(const Branch& branch, const DataSourceSpec& spec) {
  const std::string key = branch.root + spec.name;
  // Removed only when every value and key is still what this program
  // writes and its entry is this program's; anything else is left as it is.
  const DataSourceEntry entry = Entry(branch, spec.name);
  if (std::optional<DataSourceResult> refused = Refusal(spec.name, entry)) return *refused;
  const bool listed = entry.kind == DataSourceEntry::Kind::Ours;
  Ownership ownership(registry_, spec, DriverDirectories());
  bool keyPresent = false;
  if (Finding found = ownership.Keys(key, keyPresent)) return *found;
  if (!keyPresent && !listed) return {spec.name, Verdict::Absent, ""};

  // Unlisted first, as it was listed last: a removal cut short leaves a key
  // that the next removal finds again.
  if (listed) {
    UniqueKey listing(registry_);
    LONG status = listing.Open(HKEY_LOCAL_MACHINE, branch.listing, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return *ownership.Failed("RegOpenKeyExA", branch.listing, status);
    status = registry_.RegDeleteValueA(listing.Get(), spec.name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return *ownership.Failed("RegDeleteValueA", std::string(branch.listing) + "\\" + spec.name, status);
  }
  for (const char* suffix : {"\\Engines\\Jet", "\\Engines", ""}) {
    if (!keyPresent) break;
    const std::string doomed = key + suffix;
    const LONG status = registry_.RegDeleteKeyA(HKEY_LOCAL_MACHINE, doomed.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return *ownership.Failed("RegDeleteKeyA", doomed, status);
  }
  return {spec.name, Verdict::Removed, ""};
}

std::vector<std::string> MdlODBC::DataSourceNames(const Branch& branch, std::string& failure) {
  std::vector<std::string> names;
  failure.clear();
  std::string root = branch.root;
  root.pop_back();
  const auto fail = [&failure](const char* call, const std::string& path, LONG status) {
    if (failure.empty()) failure = FailureDetail(CallText(call, path), status);
  };
  // The keys below ODBC.INI, then the names listed under ODBC Data Sources.
  for (const bool entries : {false, true}) {
    const std::string path = entries ? branch.listing : root;
    UniqueKey key(registry_);
    const LONG opened = key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ);
    if (opened != ERROR_SUCCESS) {
      if (opened != ERROR_FILE_NOT_FOUND) fail("RegOpenKeyExA", path, opened);
      continue;
    }
    // A name too long for the buffer is none of this program's.
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      const LONG status = entries ? registry_.RegEnumValueA(key.Get(), index, name, &length, nullptr, nullptr,
                                                            nullptr, nullptr)
                                  : registry_.RegEnumKeyA(key.Get(), index, name, sizeof name);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) {
        fail(entries ? "RegEnumValueA" : "RegEnumKeyA", path, status);
        break;
      }
      names.emplace_back(name);
    }
  }
  return names;
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
  // A 32-bit program on 64-bit Windows is shown its 32-bit system folder
  // as the system directory, where the 32-bit driver lives.
  const std::string version = GetWindowsVersionName();
  for (const VersionDirectory& rule : kVersionDirectories)
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

#include "odbc/MdlODBC.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// The layout of a data source, listed once: what an install writes and
// completes, what /check calls complete, what /remove calls exactly this
// program's. Where the data of a layout value comes from:
enum class Source : std::uint32_t { Path, Description, Driver, Text, Number };

struct LayoutValue {
  const char* name;
  Source source;
  DWORD number = 0;
  const char* text = "";
  bool needed = false;  // a data source without it is not complete
};

struct LayoutKey {
  const char* suffix;  // appended to the data source key
  std::span<const LayoutValue> values;
};

constexpr LayoutValue kDataSourceValues[] = {
    {"DBQ", Source::Path},
    {"Description", Source::Description},
    {"Driver", Source::Driver, 0, "", true},
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

// A value's type and bytes.
struct ValueData {
  DWORD type = REG_NONE;
  std::string data;
};

// What a layout value holds when this program writes it: strings without a
// terminating NUL, numbers as their four bytes.
ValueData Expected(const LayoutValue& value, const DataSourceSpec& spec, const std::string& driverDirectory) {
  switch (value.source) {
    case Source::Path:
      return {REG_SZ, spec.path};
    case Source::Description:
      return {REG_SZ, spec.description};
    case Source::Driver:
      return {REG_SZ, driverDirectory + MdlODBC::kDriverFile};
    case Source::Text:
      return {REG_SZ, value.text};
    case Source::Number:
      return {REG_DWORD, DwordBytes(value.number)};
  }
  return {};
}

// A text value's data without the terminating NUL it may be stored with.
std::string TextOf(const std::string& data) {
  return data.empty() || data.back() != '\0' ? data : data.substr(0, data.size() - 1);
}

// Whether a value that is there is what this program writes: the layout's
// type and bytes (a string with or without one terminating NUL), the Driver
// naming the driver file in any of driverDirectories, in any case of letters.
bool Matches(const LayoutValue& value, const ValueData& found, const DataSourceSpec& spec,
             const std::vector<std::string>& driverDirectories) {
  if (value.source == Source::Driver)
    return found.type == REG_SZ &&
           std::any_of(driverDirectories.begin(), driverDirectories.end(), [&](const std::string& directory) {
             return SameText(TextOf(found.data), directory + MdlODBC::kDriverFile);
           });
  const ValueData expected = Expected(value, spec, "");
  if (found.type != expected.type) return false;
  return expected.type == REG_SZ ? TextOf(found.data) == expected.data : found.data == expected.data;
}

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
  void Set(const char* name, const ValueData& value) {
    if (Failed()) return;
    if (onlyMissing_ && !IsMissing(name)) return;
    Check(registry_.RegSetValueExA(key_.Get(), name, 0, value.type,
                                   reinterpret_cast<const BYTE*>(value.data.data()),
                                   static_cast<DWORD>(value.data.size())),
          "RegSetValueExA", name);
  }

  // Closed before the next key is created; what the close says decides nothing.
  void Close() { key_.Close(); }

  DataSourceResult Result(const std::string& name, Verdict success) const {
    if (failedCall_.empty()) return {name, success, ""};
    return {name, Verdict::Failed, FailureDetail(failedCall_, status_)};
  }

  bool Failed() const { return !failedCall_.empty(); }

 private:
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

// A value's type and bytes, so that it could be typed back by hand: a
// printable string in quotes, a number as regedit writes it, anything else
// as its bytes in regedit's hex form.
std::string Logged(const ValueData& value) {
  if (value.data.size() > kLargestLayoutValue)
    return "of type " + std::to_string(value.type) + " and more than " + std::to_string(kLargestLayoutValue) +
           " bytes";
  const std::string text = TextOf(value.data);
  if (value.type == REG_SZ &&
      std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
    return "\"" + text + "\"";
  char hex[16];
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number = 0;
    for (std::size_t i = 4; i-- > 0;) number = number << 8 | static_cast<unsigned char>(value.data[i]);
    std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(number));
    return hex;
  }
  std::string bytes = value.type == REG_BINARY ? "hex:" : "hex(" + std::to_string(value.type) + "):";
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%s%02x", i == 0 ? "" : ",", static_cast<unsigned char>(value.data[i]));
    bytes += hex;
  }
  return bytes;
}

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
    return {Kind::Unread, FailureDetail(CallText("RegOpenKeyExA", branch.listing), opened), ""};
  DWORD type = 0;
  std::string data;
  bool present = false;
  if (const LONG status = ReadValue(registry_, listing.Get(), name.c_str(), type, data, present);
      status != ERROR_SUCCESS)
    return {Kind::Unread,
            FailureDetail(CallText("RegQueryValueExA", std::string(branch.listing) + "\\" + name), status),
            ""};
  if (!present) return {};
  if (type == REG_SZ && TextOf(data) == kDriverName) return {Kind::Ours, "", ""};
  return {Kind::NotOurs, "its entry under ODBC Data Sources is " + Described(type, data),
          Logged({type, data})};
}

DataSourcePresence MdlODBC::Inspect(const Branch& branch, const std::string& name, DWORD access) {
  DataSourcePresence presence;
  UniqueKey key(registry_);
  if (key.Open(HKEY_LOCAL_MACHINE, (branch.root + name).c_str(), access) == ERROR_SUCCESS) {
    presence.key = true;
    presence.driver = true;
    for (const LayoutValue& value : kDataSourceValues) {
      DWORD type = 0;
      DWORD size = 0;
      if (value.needed)
        presence.driver = presence.driver && registry_.RegQueryValueExA(key.Get(), value.name, nullptr, &type,
                                                                        nullptr, &size) == ERROR_SUCCESS;
    }
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
    for (const LayoutValue& value : layoutKey.values)
      writer.Set(value.name, Expected(value, spec, driverDirectory));
    writer.Close();
  }

  // An entry that is there already names the driver, and is kept byte for byte.
  const bool listed = present.entry.kind == DataSourceEntry::Kind::Ours;
  if (!listed) {
    writer.Create(branch.listing);
    writer.Set(spec.name.c_str(), {REG_SZ, kDriverName});
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
    if (directory.empty()) return NoDriverDirectory(branch, spec);
  }
  return WriteLayout(branch, spec, directory, present);
}

DataSourceResult MdlODBC::NoDriverDirectory(const Branch& branch, const DataSourceSpec& spec) {
  windowing_.MessageBoxA(nullptr, kFailedMessage, kApplicationTitle, MB_OK);
  return {spec.name, Verdict::Failed,
          FailureDetail(branch.native ? "GetSystemDirectoryA" : "GetVersionExA", ERROR_SUCCESS)};
}

DataSourceResult MdlODBC::CheckDataSource(const Branch& branch, const DataSourceSpec& spec) {
  const DataSourcePresence presence = Inspect(branch, spec.name, KEY_READ);
  if (presence.entry.kind == DataSourceEntry::Kind::Unread)
    return {spec.name, Verdict::Failed, presence.entry.detail};
  if (presence.entry.kind == DataSourceEntry::Kind::NotOurs)
    return {spec.name, Verdict::Missing, "not this program's: " + presence.entry.detail};
  if (presence.Complete()) return {spec.name, Verdict::Present, ""};
  const std::string key = branch.root + spec.name;
  std::string missing = !presence.key ? "no key " + key : !presence.driver ? "no Driver value in " + key : "";
  if (presence.entry.kind == DataSourceEntry::Kind::Absent)
    missing += (missing.empty() ? "" : "; ") + std::string("not listed under ") + branch.listing;
  return {spec.name, Verdict::Missing, missing};
}

namespace {

// What of a data source's keys is not as the layout has it, in the
// layout's order.
struct Difference {
  enum class Kind {
    MissingKey,   // a key of the layout is not there (its values are Value differences too)
    Value,        // a value of the layout is missing, or holds something else
    ExtraValues,  // values the layout does not have
    ExtraKeys,    // keys the layout does not have
  };
  Kind kind;
  std::size_t key;                     // which of kLayoutKeys
  const LayoutValue* value = nullptr;  // Value
  std::optional<ValueData> found;      // Value: what is there; none when it is missing
  std::string names;                   // ExtraValues, ExtraKeys: which, for a message
};

// "its Engines\Jet Threads": a layout value as messages name it.
std::string ValueLabel(std::size_t key, const LayoutValue& value) {
  const char* suffix = kLayoutKeys[key].suffix;
  return (*suffix == '\0' ? std::string() : std::string(suffix + 1) + " ") + value.name;
}

// Reads the keys of one data source against the layout, allowing for a run
// that was cut short (values and keys missing at the end are not
// something else).
class Survey {
 public:
  Survey(Registry& registry, const DataSourceSpec& spec, std::vector<std::string> driverDirectories)
      : registry_(registry), spec_(spec), driverDirectories_(std::move(driverDirectories)) {}

  // Each key of the layout in turn: the layout's values, each with the
  // layout's type and bytes, no others, and below it only the next key of
  // the layout. firstOnly: ends at the first difference that is more than
  // something missing. A call that fails ends it with that failure.
  std::optional<DataSourceResult> Walk(const std::string& dataSourceKey, bool firstOnly) {
    for (std::size_t k = 0; k < std::size(kLayoutKeys); ++k) {
      const std::string path = dataSourceKey + kLayoutKeys[k].suffix;
      UniqueKey key(registry_);
      const LONG status = key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ);
      if (k == 0) keyPresent = status == ERROR_SUCCESS;
      if (status == ERROR_FILE_NOT_FOUND && k == 0) return MissingFrom(0);
      // The one subkey the count below the previous key found is not the layout's next key.
      if (status == ERROR_FILE_NOT_FOUND) return Extra(Difference::Kind::ExtraKeys, k - 1, dataSourceKey);
      if (status != ERROR_SUCCESS) return Failed("RegOpenKeyExA", path, status);
      DWORD subkeys = 0;
      DWORD values = 0;
      if (LONG counted = registry_.RegQueryInfoKeyCounts(key.Get(), &subkeys, &values);
          counted != ERROR_SUCCESS)
        return Failed("RegQueryInfoKeyCounts", path, counted);
      DWORD ours = 0;
      for (const LayoutValue& value : kLayoutKeys[k].values) {
        ValueData found;
        bool present = false;
        if (const LONG read = ReadValue(registry_, key.Get(), value.name, found.type, found.data, present);
            read != ERROR_SUCCESS)
          return Failed("RegQueryValueExA", path + "\\" + value.name, read);
        ours += present ? 1 : 0;
        if (present && Matches(value, found, spec_, driverDirectories_)) continue;
        differences.push_back({Difference::Kind::Value, k, &value,
                               present ? std::optional<ValueData>(std::move(found)) : std::nullopt, ""});
        if (present && firstOnly) return std::nullopt;
      }
      if (values != ours) {
        if (auto failed = Extra(Difference::Kind::ExtraValues, k, dataSourceKey)) return failed;
        if (firstOnly) return std::nullopt;
      }
      const bool last = k + 1 == std::size(kLayoutKeys);
      if (subkeys > (last ? 0u : 1u)) return Extra(Difference::Kind::ExtraKeys, k, dataSourceKey);
      if (subkeys == 0) return MissingFrom(k + 1);
    }
    return std::nullopt;
  }

  // The first difference that is more than something missing; null when none.
  const Difference* Other() const {
    for (const Difference& difference : differences)
      if (difference.kind != Difference::Kind::MissingKey &&
          (difference.kind != Difference::Kind::Value || difference.found))
        return &difference;
    return nullptr;
  }

  // Why a data source with that difference is not this program's.
  std::string Why(const Difference& difference, const std::string& dataSourceKey) const {
    const std::string path = dataSourceKey + kLayoutKeys[difference.key].suffix;
    switch (difference.kind) {
      case Difference::Kind::Value:
        return "its " + ValueLabel(difference.key, *difference.value) + " is " +
               Described(difference.found->type, difference.found->data);
      case Difference::Kind::ExtraValues:
        return "it has values in " + path + " that this program does not write: " + difference.names;
      case Difference::Kind::ExtraKeys:
        return "it has keys below " + path + " that this program does not write: " + difference.names;
      case Difference::Kind::MissingKey:
        break;
    }
    return "its key " + path + " is missing";
  }

  bool Has(Difference::Kind kind) const {
    return std::any_of(differences.begin(), differences.end(),
                       [kind](const Difference& difference) { return difference.kind == kind; });
  }

  // The result of a call that failed: call("argument") and its status.
  DataSourceResult Failed(const char* call, const std::string& argument, LONG status) const {
    return {spec_.name, Verdict::Failed, FailureDetail(CallText(call, argument), status)};
  }

  bool keyPresent = false;
  std::vector<Difference> differences;

 private:
  // Every key of the layout from the k-th on, with its values, is missing.
  std::optional<DataSourceResult> MissingFrom(std::size_t k) {
    for (; k < std::size(kLayoutKeys); ++k) {
      differences.push_back({Difference::Kind::MissingKey, k, nullptr, std::nullopt, ""});
      for (const LayoutValue& value : kLayoutKeys[k].values)
        differences.push_back({Difference::Kind::Value, k, &value, std::nullopt, ""});
    }
    return std::nullopt;
  }

  // The values or the keys of the k-th key that the layout does not have,
  // named (the first ten, then how many more).
  std::optional<DataSourceResult> Extra(Difference::Kind kind, std::size_t k,
                                        const std::string& dataSourceKey) {
    const std::string path = dataSourceKey + kLayoutKeys[k].suffix;
    const bool values = kind == Difference::Kind::ExtraValues;
    // The name of the layout's next key below this one, "Engines" or "Jet".
    std::string_view next = k + 1 < std::size(kLayoutKeys) ? kLayoutKeys[k + 1].suffix : "";
    next.remove_prefix(next.empty() ? 0 : next.rfind('\\') + 1);
    UniqueKey key(registry_);
    if (const LONG status = key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ); status != ERROR_SUCCESS)
      return Failed("RegOpenKeyExA", path, status);
    std::vector<char> name(values ? 16384 : 256);
    std::string names;
    std::size_t count = 0;
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(name.size());
      const LONG status = values ? registry_.RegEnumValueA(key.Get(), index, name.data(), &length, nullptr,
                                                           nullptr, nullptr, nullptr)
                                 : registry_.RegEnumKeyA(key.Get(), index, name.data(), length);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) return Failed(values ? "RegEnumValueA" : "RegEnumKeyA", path, status);
      const std::string found(name.data());
      const auto& layout = kLayoutKeys[k].values;
      const bool ours =
          values ? std::any_of(layout.begin(), layout.end(),
                               [&](const LayoutValue& value) { return SameText(found, value.name); })
                 : SameText(found, next);
      if (ours) continue;
      if (++count <= 10) names += (count == 1 ? "" : ", ") + (found.empty() ? "(default)" : Shown(found));
    }
    if (count > 10) names += " and " + std::to_string(count - 10) + " more";
    differences.push_back({kind, k, nullptr, std::nullopt, names});
    return std::nullopt;
  }

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
  Survey survey(registry_, spec, DriverDirectories());
  if (std::optional<DataSourceResult> failed = survey.Walk(key, true)) return *failed;
  if (const Difference* other = survey.Other()) return {spec.name, Verdict::Left, survey.Why(*other, key)};
  const bool keyPresent = survey.keyPresent;
  if (!keyPresent && !listed) return {spec.name, Verdict::Absent, ""};

  // Unlisted first, as it was listed last: a removal cut short leaves a key
  // that the next removal finds again.
  if (listed) {
    UniqueKey listing(registry_);
    LONG status = listing.Open(HKEY_LOCAL_MACHINE, branch.listing, KEY_SET_VALUE);
    if (status != ERROR_SUCCESS) return survey.Failed("RegOpenKeyExA", branch.listing, status);
    status = registry_.RegDeleteValueA(listing.Get(), spec.name.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return survey.Failed("RegDeleteValueA", std::string(branch.listing) + "\\" + spec.name, status);
  }
  for (const char* suffix : {"\\Engines\\Jet", "\\Engines", ""}) {
    if (!keyPresent) break;
    const std::string doomed = key + suffix;
    const LONG status = registry_.RegDeleteKeyA(HKEY_LOCAL_MACHINE, doomed.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
      return survey.Failed("RegDeleteKeyA", doomed, status);
  }
  return {spec.name, Verdict::Removed, ""};
}

DataSourceResult MdlODBC::RepairDataSource(const Branch& branch, const DataSourceSpec& spec,
                                           const Note& note) {
  const std::string key = branch.root + spec.name;
  const DataSourceEntry entry = Entry(branch, spec.name);
  if (entry.kind == DataSourceEntry::Kind::Unread) return {spec.name, Verdict::Failed, entry.detail};
  const std::string directory = DriverDirectory(branch);
  if (directory.empty()) return NoDriverDirectory(branch, spec);
  Survey survey(registry_, spec, {directory});
  if (std::optional<DataSourceResult> failed = survey.Walk(key, false)) return *failed;
  // A key the layout does not have may be somebody's: nothing of it is written.
  for (const Difference& difference : survey.differences)
    if (difference.kind == Difference::Kind::ExtraKeys)
      return {spec.name, Verdict::Left, survey.Why(difference, key)};
  if (!survey.keyPresent && entry.kind == DataSourceEntry::Kind::Absent)
    return WriteLayout(branch, spec, directory, DataSourcePresence{});

  // Each change is said before it is made, with what was there, so that the
  // log holds everything a repair changed, even when it is cut short.
  const auto say = [&](const std::string& what, const std::string& was, const std::string& now) {
    if (note) note(spec.name + ": " + what + " was " + was + ", now " + now);
  };
  LayoutWriter writer(registry_, false);
  bool changed = false;
  for (std::size_t k = 0; k < std::size(kLayoutKeys) && !writer.Failed(); ++k) {
    bool opened = false;
    for (const Difference& difference : survey.differences) {
      if (difference.key != k || writer.Failed()) continue;
      if (difference.kind != Difference::Kind::MissingKey && difference.kind != Difference::Kind::Value)
        continue;
      if (difference.kind == Difference::Kind::MissingKey)
        say("key " + spec.name + kLayoutKeys[k].suffix, "not there", "created");
      if (!opened) writer.Create(key + kLayoutKeys[k].suffix);
      opened = changed = true;
      if (difference.kind != Difference::Kind::Value || writer.Failed()) continue;
      const ValueData want = Expected(*difference.value, spec, directory);
      say(ValueLabel(k, *difference.value), difference.found ? Logged(*difference.found) : "not there",
          Logged(want));
      writer.Set(difference.value->name, want);
    }
    if (opened) writer.Close();
  }
  // The entry last, as an install writes it: never listed before the rest is there.
  if (entry.kind != DataSourceEntry::Kind::Ours && !writer.Failed()) {
    const ValueData want{REG_SZ, kDriverName};
    say("its entry under ODBC Data Sources",
        entry.kind == DataSourceEntry::Kind::Absent ? "not there" : entry.value, Logged(want));
    writer.Create(branch.listing);
    writer.Set(spec.name.c_str(), want);
    writer.Close();
    changed = true;
  }
  DataSourceResult written = writer.Result(spec.name, changed ? Verdict::Repaired : Verdict::Exact);
  if (written.verdict == Verdict::Failed) return written;
  // Values the layout does not have stay, and it is not exactly what this program writes.
  for (const Difference& difference : survey.differences)
    if (difference.kind == Difference::Kind::ExtraValues)
      return {spec.name, Verdict::Left, survey.Why(difference, key)};
  return written;
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

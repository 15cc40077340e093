// Registers one ODBC system data source for the Microsoft Access driver by
// writing its keys straight into HKEY_LOCAL_MACHINE, in the native branch or
// in the branch that 32-bit programs see on 64-bit Windows.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"

// The three texts that describe one data source.
struct DataSourceSpec {
  std::string name;
  std::string path;
  std::string description;
};

// What became of one data source, in every mode of the program.
enum class Verdict {
  Registered,      // written by this run
  AlreadyPresent,  // complete before the run, left as it is
  Completed,       // cut short before, completed by this run
  Removed,         // removed by this run
  Absent,          // not there, nothing to remove
  Present,         // there and complete (detection)
  Missing,         // absent or incomplete (detection)
  Repaired,        // made exactly what this program writes by this run (repair)
  Exact,           // exactly what this program writes before the run, left as it is (repair)
  Left,            // not this program's as it stands, left as it is (install, removal, repair)
  Failed,          // a call failed
  Usable,          // can work on this machine (verification)
  Unusable,        // cannot, for the reasons given (verification)
};

struct DataSourceResult {
  std::string name;
  Verdict verdict = Verdict::Failed;
  std::string detail;  // why it was left or is missing, or which call failed and how
};

// "RegSetValueExA("DBQ") returned 5 (Access is denied.)"
std::string FailureDetail(const std::string& call, platform::LONG status);
// "5 (Access is denied.)": a status and what it means.
std::string StatusText(platform::LONG status);

// Names as Windows compares them: without regard to the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);
std::string LowerCase(std::string text);

// A data source's entry under its branch's ODBC Data Sources, as every mode
// judges it: this program's only when it is a REG_SZ whose bytes are the
// Access driver's name, with or without one terminating NUL. An entry that
// is not this program's is never changed, whatever its key holds.
struct DataSourceEntry {
  enum class Kind { Absent, Ours, NotOurs, Unread };
  Kind kind = Kind::Absent;
  // NotOurs: what it is ("its entry under ODBC Data Sources is "SQL Server"");
  // Unread: the call that failed and its status.
  std::string detail;
  // NotOurs: its type and bytes, as a repair's log line gives an old value.
  std::string value;
};

// What of a data source is there. It is complete, and so usable, when its
// key has a Driver value and its entry under ODBC Data Sources is this
// program's.
struct DataSourcePresence {
  bool key = false;
  bool driver = false;
  DataSourceEntry entry;
  bool Complete() const { return key && driver && entry.kind == DataSourceEntry::Kind::Ours; }
};

class MdlODBC {
 public:
  struct Branch {
    const char* root;
    const char* listing;
    bool native;  // the driver directory from the system directory, else from the version name
  };

  MdlODBC(platform::Registry& registry, platform::SystemInfo& system, platform::Windowing& windowing)
      : registry_(registry), system_(system), windowing_(windowing) {}

  // A present data source is left exactly as it is when it is complete; one
  // cut short is completed without changing anything that is there. One
  // whose entry under ODBC Data Sources is not this program's is Left, and
  // nothing of it is written.
  DataSourceResult CreateDataSource(const std::string& name, const std::string& path,
                                    const std::string& description);
  DataSourceResult CreateDataSourceWow64(const std::string& name, const std::string& path,
                                         const std::string& description);

  // Looks, without writing, at what of a data source is there, opening its
  // key with the access given.
  DataSourcePresence Inspect(const Branch& branch, const std::string& name, platform::DWORD access);

  // Reads and judges a data source's entry under ODBC Data Sources.
  DataSourceEntry Entry(const Branch& branch, const std::string& name);

  // Present when the data source is there and complete, Missing (with what
  // is missing, naming the key or listing it looked at, or why it is not
  // this program's) when not; reads only. The one test of completeness,
  // for /check and /verify.
  DataSourceResult CheckDataSource(const Branch& branch, const DataSourceSpec& spec);

  // Deletes a data source that is still exactly what this program writes
  // (a run cut short may have written less): its entry under ODBC Data
  // Sources, its Engines\Jet and Engines subkeys and its key. Anything else
  // under its name (another value, type or byte, a key below it, an entry
  // naming another driver) is left as it is, and so is every other data
  // source; the branch keys themselves are never deleted. An entry without
  // its key goes only when it is this program's.
  DataSourceResult RemoveDataSource(const Branch& branch, const DataSourceSpec& spec);

  // Says one change a repair is about to make, as a line for the log.
  using Note = std::function<void(const std::string&)>;

  // Makes a data source exactly what this program writes in the branch
  // (what /remove then takes): each layout value that is missing or holds
  // another type or other bytes is written, missing keys are made, and the
  // entry under ODBC Data Sources is set to the Access driver, whatever it
  // named (the one change of an entry that is not this program's). Every
  // change is handed to note before it is made, with the old value and the
  // new one. Registered when nothing of it was there, Repaired when
  // something changed, Exact when nothing needed to. Values the layout does
  // not have are left, and so is the data source then (Left, naming them,
  // once the rest is repaired); a data source with a key below it that the
  // layout does not have is Left with nothing written.
  DataSourceResult RepairDataSource(const Branch& branch, const DataSourceSpec& spec, const Note& note);

  // The names of the keys directly below the branch's ODBC.INI and of the
  // entries under its ODBC Data Sources, where a data source may be listed
  // without its key. failure is empty when they could all be read (a
  // missing key holds no names and is no failure), else the first call
  // that failed and its status.
  std::vector<std::string> DataSourceNames(const Branch& branch, std::string& failure);

  // The folders a Driver value of this program may name: this machine's
  // system directory and the fixed ones of older Windows versions.
  std::vector<std::string> DriverDirectories();

  // The directory the Driver value of a branch names; empty when none can be.
  std::string DriverDirectory(const Branch& branch);

  std::string GetWindowsVersionName();
  std::string GetSystemDir();

  static constexpr const char* kNativeRoot = "SOFTWARE\\ODBC\\ODBC.INI\\";
  static constexpr const char* kNativeListing = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
  static constexpr const char* kWow64Root = "SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\";
  static constexpr const char* kWow64Listing = "SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources";
  static constexpr Branch kNativeBranch{kNativeRoot, kNativeListing, true};
  static constexpr Branch kWow64Branch{kWow64Root, kWow64Listing, false};
  static constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";
  static constexpr const char* kDriverFile = "\\odbcjt32.dll";
  static constexpr const char* kDefaultDriverDirectory = "C:\\WinNT\\System32";
  static constexpr const char* kFailedMessage = "Failed to get OS Version";
  static constexpr const char* kApplicationTitle = "Setup";

 private:
  DataSourceResult Register(const Branch& branch, const DataSourceSpec& spec);
  // "Failed to get OS Version", shown, and the data source's failure.
  DataSourceResult NoDriverDirectory(const Branch& branch, const DataSourceSpec& spec);
  DataSourceResult WriteLayout(const Branch& branch, const DataSourceSpec& spec,
                               const std::string& driverDirectory, const DataSourcePresence& present);
  std::string NativeDriverDirectory();
  std::string Wow64DriverDirectory();

  platform::Registry& registry_;
  platform::SystemInfo& system_;
  platform::Windowing& windowing_;
};

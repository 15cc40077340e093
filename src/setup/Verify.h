// Whether each registered data source can actually work on this machine
// (/verify): registered and complete, its driver file there as a 32-bit
// ODBC program loads it, the driver it is listed with registered, and its
// database file reachable for the user running the check. Reads only.
#pragma once

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "odbc/MdlODBC.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

class DataSourceVerifier {
 public:
  // How long, in all, the looks at the files of one share or drive may
  // take, in milliseconds; once it is spent, every file still to be looked
  // at there is reported as unreachable.
  static constexpr platform::DWORD kAnswerTimeLimit = 5000;

  // Whether a data source is registered and complete, odbc tells, as for /check.
  DataSourceVerifier(MdlODBC& odbc, platform::Registry& registry, platform::SystemInfo& system,
                     platform::FileSystem& files, platform::DWORD timeLimit = kAnswerTimeLimit)
      : odbc_(odbc), registry_(registry), system_(system), files_(files), timeLimit_(timeLimit) {}
  DataSourceVerifier(const DataSourceVerifier&) = delete;
  DataSourceVerifier& operator=(const DataSourceVerifier&) = delete;
  // Asks once more that the looks still blocked give up.
  ~DataSourceVerifier();

  // Usable, or Unusable with every reason that applies ("; " between them),
  // each naming the key or path it looked at.
  DataSourceResult Verify(const MdlODBC::Branch& branch, const DataSourceSpec& spec);

 private:
  // "" when the file is there; else why not. Asked once per file and run.
  std::string CheckFile(const std::string& what, const std::string& path, bool loadedBy32BitProgram);
  std::string LookAt(const std::string& what, const std::string& path, bool loadedBy32BitProgram);
  // GetFileAttributesA of path on a worker thread, waited for as long as
  // what is left of root's time; false, with that time spent, when it did
  // not come back within it.
  bool Attributes(const std::string& root, const std::string& path, platform::DWORD& attributes,
                  platform::DWORD& error);
  // The path a 32-bit program reaches on 64-bit Windows: the system
  // directory redirected to the 32-bit one.
  std::string As32BitProgramSees(const std::string& path);
  // The text values names of key, without what follows a NUL; each empty
  // when it is not there or cannot be read. keyFound: whether key opened.
  std::vector<std::optional<std::string>> ReadTexts(const std::string& key,
                                                    std::initializer_list<const char*> names, bool& keyFound);

  MdlODBC& odbc_;
  platform::Registry& registry_;
  platform::SystemInfo& system_;
  platform::FileSystem& files_;
  platform::DWORD timeLimit_;
  std::map<std::string, platform::DWORD> spent_;                 // time taken, by root, lower case
  std::vector<platform::UniqueHandle> blocked_;                  // threads still in a look
  std::map<std::string, std::string> checked_;                   // CheckFile's answers
  std::optional<std::pair<std::string, std::string>> redirect_;  // system folder -> 32-bit one; "" none
};

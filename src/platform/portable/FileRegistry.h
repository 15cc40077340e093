// The machine registry kept in a REGEDIT4 text file, e.g.
// $HOME/.local/state/MarvaneSetup/HKLM.reg: read whole at open, written
// whole at Close through HKLM.reg.tmp and a rename, and only when something
// changed, so a run that changes nothing leaves the file as it was. A run
// cut short loses its changes; the next run makes them again.
//
// HKLM.reg.lock beside it is flock'ed from open to Close, shared by a run
// that only reads, so runs take turns. When this user may not write the
// file or its folder, the registry opens read-only, as for a user without
// administrator rights on Windows.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/portable/MemoryRegistry.h"

namespace platform::portable {

class FileRegistry : public MemoryRegistry {
 public:
  struct Opened {
    std::unique_ptr<FileRegistry> registry;  // null when it could not be opened
    std::string error;                       // then: names the file, says what is wrong and what to do
    bool busy = false;                       // then: another run held the lock for all of lockWait
  };

  // Creates missing folders (unless readOnly), waits up to lockWait for the
  // lock and loads the file. A malformed file is reported as "path:line:
  // what is wrong" and left as it is.
  static Opened Open(const std::string& path, bool readOnly, std::chrono::milliseconds lockWait);

  ~FileRegistry() override;

  // Saves what changed, then releases the lock; afterwards the registry is
  // read-only. False with a reason when saving failed.
  bool Close(std::string& error);

  const std::string& directory() const noexcept { return directory_; }

 private:
  explicit FileRegistry(std::string path);
  std::string Load(bool readOnly, std::chrono::milliseconds lockWait, bool& busy);
  std::string Save();

  std::string path_;
  std::string directory_;
  int lock_ = -1;
  bool writable_ = false;
  bool closed_ = false;
};

}  // namespace platform::portable

// The machine registry kept in a REGEDIT4 text file, e.g.
// $HOME/.local/state/MarvaneSetup/HKLM.reg, with three files beside it:
//   HKLM.reg.log   each change appended as it is made, one write per call, so a
//                  killed run loses nothing it reported; replayed at open and
//                  removed once folded into HKLM.reg at Close.
//   HKLM.reg.tmp   the new HKLM.reg while Close writes it; renamed over it.
//   HKLM.reg.lock  flock'ed from open to Close, so runs take turns; never removed.
//                  A run waits for its turn a limited time (Open's lockWait).
//
// Runs as root: no file here is followed through a symbolic link or waited on
// as a FIFO, and a state folder that another user could write to is refused,
// so nothing planted there can redirect a run's reads and writes.
// When this user may not write the file or its directory, the registry opens
// read-only, as for a non-admin on Windows.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/UniqueFd.h"

namespace platform::portable {

class FileRegistry : public MemoryRegistry {
 public:
  enum class Access {
    kReadWrite,  // writable when the file system lets this user write
    kReadOnly,   // never writes, whatever the file system allows
  };

  struct Opened {
    std::unique_ptr<FileRegistry> registry;  // null when it could not be opened
    std::string error;                       // then: names the file, says what is wrong and what to do
    bool busy = false;                       // then: another run held the lock for all of lockWait
  };

  // Creates missing directories (mode 0755), waits up to lockWait for the
  // lock, loads the file and replays a log left by an interrupted run. A
  // malformed file or log is reported as "path:line: what is wrong" and left
  // as it is.
  static Opened Open(const std::string& path, Access access = Access::kReadWrite,
                     std::chrono::milliseconds lockWait = std::chrono::milliseconds(60000));

  static std::string LogPath(const std::string& path) { return path + ".log"; }
  static std::string TempPath(const std::string& path) { return path + ".tmp"; }
  static std::string LockPath(const std::string& path) { return path + ".lock"; }

  // Closes without reporting; Close() first to learn whether saving worked.
  ~FileRegistry() override;

  // If anything changed (or a log was replayed), writes the whole registry to
  // the temporary file, syncs it, renames it over the file, syncs the
  // directory and removes the log; otherwise leaves the file untouched. Then
  // releases the lock. Afterwards the registry is read-only. False with a
  // reason when saving failed; the log then still holds every change.
  bool Close(std::string& error);

  const std::string& directory() const noexcept { return directory_; }
  bool writable() const noexcept { return writable_; }  // false when opened read-only

 protected:
  LONG RecordChange(const Change& change) override;

 private:
  using Fd = UniqueFd;

  explicit FileRegistry(std::string path);
  // Opens a regular file beside the registry file, as OpenRegular does: 0, an errno, or kNotRegular.
  int OpenBeside(const std::string& path, int flags, Fd& file, struct stat& st);
  // Opens and reads a file beside the registry file; a missing one is read as absent.
  std::string ReadBeside(const std::string& path, int flags, Fd& file, std::string& text, struct stat& st);
  std::string Load(bool wantWrite, std::chrono::milliseconds lockWait, bool& busy);
  std::string Fold();  // "" when saved, else what went wrong

  std::string path_;
  std::string directory_;
  bool writable_ = false;
  bool closed_ = false;
  bool changed_ = false;    // something to fold at Close
  bool logBroken_ = false;  // a failed append left bytes that could not be taken back
  mode_t fileMode_ = 0644;
  Fd directoryFd_;  // every file is opened relative to it: the folder cannot be swapped mid-run
  Fd lock_;
  Fd log_;
  off_t logSize_ = 0;
  std::string lastLoggedKey_;  // key of the last log record; "" for none yet
  std::string record_;         // the record being appended, kept for its buffer
};

}  // namespace platform::portable
